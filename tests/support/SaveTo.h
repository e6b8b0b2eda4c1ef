#pragma once
// Saves one entry to a given path through the run writer, as the save walk does.
#include <string>

#include "common/WorkerControl.h"
#include "fs/EntryAdapter.h"
#include "fs/RunWriter.h"

namespace quarvell::testing {

// With sha256 (the default) the report carries the hash of the bytes written.
inline SaveReport saveTo(const EntryAdapter& adapter, EntryKey key, const std::string& target, bool sha256 = true) {
    WorkerControl control;
    const size_t cut = target.rfind('/');
    const std::string folder = cut == std::string::npos ? "." : target.substr(0, cut);
    return RunWriter(control, sha256).save(adapter.fileData(key), folder, target.substr(cut + 1));
}

}  // namespace quarvell::testing
