#include "CliRun.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace quarvell::testing {

namespace {

std::string quoted(const std::string& arg) {
    std::string q = "'";
    for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct ScratchFolder {
    std::string path;
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "quarvell-partition-cli-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a scratch folder");
        path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

}  // namespace

const std::string& scratchDir() {
    static ScratchFolder folder;
    return folder.path;
}

CliResult runCli(const std::vector<std::string>& args) {
    const std::string errFile = scratchDir() + "/stderr.txt";
    std::string command = quoted(QUARVELL_CLI);
    for (const auto& a : args) command += " " + quoted(a);
    command += " 2>" + quoted(errFile);
    CliResult r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::array<char, 4096> chunk;
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) r.out.append(chunk.data(), n);
    const int status = pclose(pipe);
    // The shell reports a program ended by a signal as 128 + the signal.
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.err = slurp(errFile);
    return r;
}

std::string unpacked(const std::string& xzSource) {
    static std::map<std::string, std::string> done;
    if (auto it = done.find(xzSource); it != done.end()) return it->second;
    std::string name = fs::path(xzSource).filename().string();
    name = name.substr(0, name.size() - 3);  // without ".xz"
    const std::string target = scratchDir() + "/" + name;
    const std::string command = "xz -dc " + quoted(xzSource) + " > " + quoted(target);
    if (std::system(command.c_str()) != 0) throw std::runtime_error("could not unpack " + xzSource);
    done[xzSource] = target;
    return target;
}

std::string fixtureImage(const std::string& name) {
    return unpacked(std::string(QUARVELL_SOURCE_DIR) + "/tests/fixtures/partition/" + name + ".img.xz");
}

JsonValue fixtureManifest(const std::string& name) {
    return readJsonFile(std::string(QUARVELL_SOURCE_DIR) + "/tests/fixtures/partition/" + name + ".json");
}

JsonValue readJsonFile(const std::string& path) {
    if (!fs::exists(path)) throw std::runtime_error("missing " + path);
    return JsonValue::parse(slurp(path));
}

}  // namespace quarvell::testing
