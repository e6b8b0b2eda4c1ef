// recover --dfxml and carve --out --dfxml through quarvell-cli: each report validates against
// the schema and agrees, file by file, with the command's JSON report, and its byte runs read
// back from the image give the bytes that were saved.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>

#include <filesystem>
#include <map>

#include "RunCommand.h"
#include "../scan/TempFolder.h"
#include "ReportXml.h"

using namespace quarvell::testing;
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

using Outcome = CommandOutcome;

Outcome run(const std::string& command) { return runCommand(command + " 2>/dev/null"); }

std::string q(const std::string& s) { return "'" + s + "'"; }

// The image bytes a fileobject's byte runs name (zeros for runs with no image offset).
std::string bytesByRuns(const ReportXml& xml, xmlNodePtr file, const std::string& image) {
    std::string out;
    for (xmlNodePtr r : xml.nodes("d:byte_runs/d:byte_run", file)) {
        EXPECT_EQ(std::stoull(attr(r, "file_offset")), out.size());
        const uint64_t len = std::stoull(attr(r, "len"));
        const std::string img = attr(r, "img_offset");
        out += img.empty() ? std::string(len, '\0') : image.substr(std::stoull(img), len);
    }
    return out;
}

class ReportCli : public ::testing::Test {
protected:
    // Unpacks tests/fixtures/<kind>/<name>.img.xz into the test's folder.
    std::string unpack(const std::string& relative) {
        const std::string source = std::string(QUARVELL_SOURCE_DIR) + "/" + relative;
        if (!fs::exists(source)) return {};
        const std::string target = dir.str() + "/image.img";
        if (std::system(("xz -dc " + q(source) + " > " + q(target)).c_str()) != 0) return {};
        return target;
    }
    const std::string cli = QUARVELL_CLI;
    TempFolder dir;
};

TEST_F(ReportCli, RecoverReportAgreesWithTheJsonReportFileByFile) {
    const std::string image = unpack("tests/fixtures/fat16/fat16_basic.img.xz");
    if (image.empty()) GTEST_SKIP() << "no fat16_basic fixture";
    const json manifest =
        json::parse(slurp(std::string(QUARVELL_SOURCE_DIR) + "/tests/fixtures/fat16/fat16_basic.manifest.json"));
    const std::string report = dir.str() + "/reports/recovery.xml";
    const Outcome r = run(cli + " recover " + q(image) + " --start 0 --fs FAT16 --path ROOT --out " + q(dir.str() + "/out") +
                      " --yes --json --dfxml " + q(report));
    ASSERT_EQ(r.code, 0);
    const json saved = json::parse(r.out);
    ASSERT_GT(saved.size(), 3u);
    ReportXml xml(report);
    ASSERT_TRUE(xml.loaded());
    EXPECT_VALID_REPORT(report);

    EXPECT_EQ(xml.one("/d:dfxml/d:source/d:image_filename"), image);
    EXPECT_EQ(xml.one("/d:dfxml/d:source/d:image_size"), std::to_string(fs::file_size(image)));
    EXPECT_EQ(xml.one("/d:dfxml/d:volume/d:ftype_str"), "FAT16");
    EXPECT_EQ(xml.one("/d:dfxml/d:creator/d:program"), "quarvell-cli");
    EXPECT_NE(xml.one("//d:command_line").find("recover " + image + " --start 0 --fs FAT16"), std::string::npos);
    EXPECT_LE(xml.one("//d:start_time"), xml.one("//q:end_time"));
    EXPECT_EQ(xml.one("//q:outcome"), "complete");

    std::map<std::string, bool> deleted;
    for (const auto& e : manifest["entries"]) deleted[e["path"].get<std::string>()] = e["deleted"].get<bool>();
    const std::string bytes = slurp(image);
    const auto files = xml.nodes("//d:fileobject");
    ASSERT_EQ(files.size(), saved.size());
    EXPECT_EQ(xml.one("//q:file_count"), std::to_string(saved.size()));
    for (size_t i = 0; i < files.size(); ++i) {
        const json& j = saved[i];
        xmlNodePtr f = files[i];
        const std::string name = xml.one("d:filename", f);
        SCOPED_TRACE(name);
        EXPECT_EQ("ROOT/" + name, j["path"].get<std::string>());
        EXPECT_EQ(xml.one("q:output_path", f), j["output"].get<std::string>());
        EXPECT_EQ(xml.one("d:filesize", f), std::to_string(j["size"].get<uint64_t>()));
        EXPECT_EQ(xml.one("d:hashdigest[@type='sha256']", f), j["sha256"].get<std::string>());
        EXPECT_EQ(xml.one("q:unreadable_bytes", f), std::to_string(j["unreadableBytes"].get<uint64_t>()));
        EXPECT_EQ(xml.one("q:missing_bytes", f), std::to_string(j["missingBytes"].get<uint64_t>()));
        EXPECT_EQ(xml.one("q:status", f), j["status"].get<std::string>());
        ASSERT_TRUE(deleted.count(name));
        EXPECT_EQ(xml.nodes(deleted[name] ? "d:unalloc" : "d:alloc", f).size(), 1u);
        EXPECT_EQ(sha256Hex(bytesByRuns(xml, f, bytes)), j["sha256"].get<std::string>());
    }
    EXPECT_NE(xml.nodes("//d:fileobject[d:unalloc]").size(), 0u) << "the fixture's deleted file is reported";

    // A second run never replaces the report, and refuses before anything is written.
    const std::string first = slurp(report);
    const Outcome again = run(cli + " recover " + q(image) + " --start 0 --fs FAT16 --path ROOT --out " +
                          q(dir.str() + "/out2") + " --yes --dfxml " + q(report));
    EXPECT_EQ(again.code, 2);
    EXPECT_EQ(slurp(report), first);
    EXPECT_FALSE(fs::exists(dir.path() / "out2"));
    for (const auto& e : fs::directory_iterator(dir.path() / "reports"))
        EXPECT_EQ(e.path().filename(), "recovery.xml") << "no temporary report is left";
}

TEST_F(ReportCli, CarveReportNamesEachCarvedFilesImageRange) {
    const std::string image = unpack("resources/demo/demo-disk.img.xz");
    if (image.empty()) GTEST_SKIP() << "no demo disk";
    const std::string report = dir.str() + "/carve.xml";
    EXPECT_EQ(run(cli + " carve " + q(image) + " --json --dfxml " + q(report)).code, 2) << "--dfxml goes with --out";
    const Outcome r = run(cli + " carve " + q(image) + " --json --out " + q(dir.str() + "/out") + " --dfxml " + q(report));
    ASSERT_EQ(r.code, 0);
    const json carved = json::parse(r.out);
    ASSERT_GT(carved.size(), 0u);
    ReportXml xml(report);
    ASSERT_TRUE(xml.loaded());
    EXPECT_VALID_REPORT(report);
    EXPECT_EQ(xml.one("//dc:type"), "Carve Report");
    EXPECT_TRUE(xml.nodes("//d:volume").empty()) << "the whole medium was carved";
    const std::string bytes = slurp(image);
    const auto files = xml.nodes("//d:fileobject");
    ASSERT_EQ(files.size(), carved.size());
    for (size_t i = 0; i < files.size(); ++i) {
        const json& j = carved[i];
        xmlNodePtr f = files[i];
        SCOPED_TRACE(j["name"].get<std::string>());
        EXPECT_EQ(xml.one("d:filename", f), j["name"].get<std::string>());
        EXPECT_EQ(xml.one("q:category", f), j["category"].get<std::string>());
        EXPECT_EQ(xml.one("d:filesize", f), std::to_string(j["length"].get<int64_t>()));
        const auto runs = xml.nodes("d:byte_runs/d:byte_run", f);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(attr(runs[0], "img_offset"), std::to_string(j["offset"].get<int64_t>()));
        EXPECT_EQ(attr(runs[0], "len"), std::to_string(j["length"].get<int64_t>()));
        const std::string output = xml.one("q:output_path", f);
        EXPECT_EQ(xml.one("q:status", f), "complete");
        EXPECT_EQ(xml.one("d:hashdigest", f), sha256Hex(slurp(output)));
        EXPECT_EQ(xml.one("d:hashdigest", f), sha256Hex(bytesByRuns(xml, f, bytes)));
    }
}

}  // namespace
