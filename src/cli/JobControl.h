#pragma once
// The command line's one job control: SIGINT, SIGTERM and SIGHUP ask the running job to stop at
// its next check (a save removes its temporary file), and the command then exits with
// 128 + the signal's number.
#include "common/WorkerControl.h"

namespace quarvell::cli {

// The control every long job of this process polls; installs the signal handlers on first use.
WorkerControl& jobControl();
// The signal that asked for the stop, or 0.
int stopSignal();
// 128 + stopSignal() when a signal arrived, else code.
int exitCodeAfterSignals(int code);

}  // namespace quarvell::cli
