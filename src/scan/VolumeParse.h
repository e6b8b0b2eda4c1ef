#pragma once
// Runs the parse of one volume with the file system its label dispatches to, on the caller's
// thread, filling a result tree; the scan page and the command line both use it.
#include <string>

#include "fs/FileSystemKind.h"

namespace quarvell {

// Looks the label up in the file-system table (without regard to case, in the scan page's
// order) and runs that kind's parse; adds the placeholders below the top level when it
// completed. A label no kind answers to gives the message "not a valid drive.".
ParseResult parseVolume(const ParseRequest& request);

}  // namespace quarvell
