#pragma once
// Runs the built quarvell-cli and unpacks the compressed disk images the tests read.
#include <string>
#include <vector>

#include "JsonValue.h"

namespace quarvell::testing {

struct CliResult {
    int exitCode = -1;     // the program's exit status; 128 + signal when a signal ended it
    std::string out;       // stdout
    std::string err;       // stderr
};

CliResult runCli(const std::vector<std::string>& args);

// A folder for this test program's files, removed when the program ends.
const std::string& scratchDir();

// Unpacks SOURCE (an .xz file) into the scratch folder once and returns the unpacked path.
std::string unpacked(const std::string& xzSource);

// tests/fixtures/partition/NAME.img.xz, unpacked, and NAME.json.
std::string fixtureImage(const std::string& name);
JsonValue fixtureManifest(const std::string& name);

JsonValue readJsonFile(const std::string& path);

}  // namespace quarvell::testing
