#include "common/InstallPaths.h"

#include <filesystem>
#include <system_error>

namespace quarvell {

namespace fs = std::filesystem;

std::string programFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

std::string findShippedFile(const std::string& name, const std::string& shareSubdir) {
    const std::string dir = programFolder();
    if (dir.empty()) return {};
    std::error_code ec;
    for (const fs::path& candidate : {fs::path(dir) / name, fs::path(dir) / ".." / shareSubdir / name}) {
        if (fs::is_regular_file(candidate, ec)) return fs::weakly_canonical(candidate, ec).string();
    }
    return {};
}

std::string defaultCataloguePath() {
    constexpr const char* kName = "FileSetting.txt";
    std::string found = findShippedFile(kName, "share/quarvell");
    if (!found.empty()) return found;
    std::error_code ec;
    const fs::path source = fs::path(__FILE__).parent_path().parent_path().parent_path() / "resources" / kName;
    if (fs::is_regular_file(source, ec)) return source.string();
    return (fs::path(programFolder()) / kName).string();
}

std::string helpPath() { return findShippedFile("README.md", "share/doc/quarvell"); }

}  // namespace quarvell
