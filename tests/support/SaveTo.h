#pragma once
// Saves one entry to a given path through the run writer, as the save walk does.
#include <string>

#include "common/WorkerControl.h"
#include "fs/EntryAdapter.h"
#include "fs/RunWriter.h"

namespace quarvell::testing {

inline SaveReport saveTo(const EntryAdapter& adapter, EntryKey key, const std::string& target) {
    WorkerControl control;
    const size_t cut = target.rfind('/');
    const std::string folder = cut == std::string::npos ? "." : target.substr(0, cut);
    return RunWriter(control, true).save(adapter.fileData(key), folder, target.substr(cut + 1));
}

}  // namespace quarvell::testing
