#pragma once
// Turning names read from a volume into paths inside the output folder. A name is untrusted:
// it becomes one safe path component, so nothing is ever written outside the output folder,
// and a clash with an existing file gets a numbered suffix instead of replacing it.
#include <string>

namespace quarvell {

// One path component: "/" , "\" , NUL and control characters become "_", "." and ".." and the
// empty name become "_", and the result is cut to 255 bytes at a character boundary.
std::string safeComponent(const std::string& name);

// "name (n).ext" within the component limit; a leading dot does not start an extension.
std::string numberedName(const std::string& name, int n);

// The largest n that numberedName is tried with before a name counts as taken for good.
inline constexpr int kMaxNameSuffix = 100000;

// dir + "/" + component (dir without a trailing slash, or "/" itself).
std::string childPath(const std::string& dir, const std::string& component);

// A path in dir for a new file named after `name` that no file or folder holds yet:
// "name", then "name (1).ext", "name (2).ext", ...
std::string freeFilePath(const std::string& dir, const std::string& name);

// The sub-folder of dir for `name`: an existing real folder of that name is reused; when the
// name is taken by a file or a link, a numbered name is created instead. "" on failure.
std::string ensureSubfolder(const std::string& dir, const std::string& name, std::string& problem);

}  // namespace quarvell
