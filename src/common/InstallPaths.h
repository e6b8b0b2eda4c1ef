#pragma once
// Where the programs find the files that ship with them: beside the program first, then where
// the package puts them relative to it (../share/quarvell/, ../share/doc/quarvell/), so an
// unpacked package works wherever it lies.
#include <string>

namespace quarvell {

// The folder of the running program (from /proc/self/exe); empty when it cannot be told.
std::string programFolder();

// The first existing file among programFolder()/name and programFolder()/../shareSubdir/name;
// empty when neither exists.
std::string findShippedFile(const std::string& name, const std::string& shareSubdir);

// The default signature catalogue ("FileSetting.txt"): beside the program, in
// ../share/quarvell/, or (a program run from its build folder) the source tree's copy. When none
// exists, the path beside the program, so that a message names where it was looked for.
std::string defaultCataloguePath();

// The help (README.md): beside the program or in ../share/doc/quarvell/; empty when absent.
std::string helpPath();

}  // namespace quarvell
