// The DFXML report of a save walk over a worn medium, read back field by field: byte runs that
// give back the saved bytes, the unreadable block's range, deleted marks, failures; the
// unreadable ranges the run writer keeps; the report's name only when it is finished; the free
// name a report beside the saved files takes.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "../scan/FakeEntries.h"
#include "../scan/TempFolder.h"
#include "FaultyReader.h"
#include "ReportXml.h"
#include "controls/MemoryTree.h"
#include "fs/RunWriter.h"
#include "report/DfxmlReport.h"
#include "report/SaveReportSession.h"
#include "scan/SaveWalk.h"

using namespace quarvell;
using namespace quarvell::testing;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

constexpr int64_t kOrigin = 4096;  // the volume starts 8 sectors into the medium

std::vector<uint8_t> pattern(size_t n) {
    std::vector<uint8_t> bytes(n);
    uint32_t x = 12345;
    for (auto& b : bytes) b = uint8_t((x = x * 1103515245u + 12345u) >> 16);
    return bytes;
}

// Entries whose data lies on the faulty medium, by runs.
class MediumEntries : public FakeEntries {
public:
    FaultyReader* reader = nullptr;
    std::map<EntryKey, FileData> layouts;
    FileData fileData(EntryKey key) const override {
        auto it = layouts.find(key);
        if (it == layouts.end()) return FakeEntries::fileData(key);
        FileData d = it->second;
        d.source = reader;
        return d;
    }
};

// The bytes a report's byte runs say the file holds, zeros for what it lists as unreadable.
std::string bytesByRuns(const ReportXml& xml, xmlNodePtr file, const std::vector<uint8_t>& image) {
    std::string out;
    for (xmlNodePtr run : xml.nodes("d:byte_runs/d:byte_run", file)) {
        const uint64_t at = std::stoull(attr(run, "file_offset")), len = std::stoull(attr(run, "len"));
        EXPECT_EQ(at, out.size());
        if (attr(run, "img_offset").empty()) {
            out.append(len, '\0');
            continue;
        }
        const uint64_t img = std::stoull(attr(run, "img_offset"));
        out.append(reinterpret_cast<const char*>(image.data() + img), len);
    }
    for (xmlNodePtr r : xml.nodes("q:unreadable_ranges/q:range", file))
        std::fill_n(out.begin() + std::stoll(attr(r, "file_offset")), std::stoll(attr(r, "len")), '\0');
    return out;
}

class ReportOfAWalk : public ::testing::Test {
protected:
    void SetUp() override {
        reader.data = pattern(64 * 1024);
        reader.mediumLength = reader.data.size();
        reader.volumeOrigin = kOrigin;
        // Sector 11 of the medium: volume bytes 1536..2047, the file's bytes 512..1023.
        reader.badSectors = {11};
        entries.reader = &reader;
        entries.add(kNoData, 1, "ROOT", true);
        entries.add(1, 2, "docs", true);
        entries.add(2, 3, "worn.bin", false);
        entries.add(2, 4, "gone 100%.txt", false, "kept in the record");
        entries.entries[4].deleted = true;
        entries.add(1, 5, "broken", false, "x");
        FileData worn;
        worn.size = 5000;
        worn.runs = {{DataRun::Kind::Volume, 1024, 2048}, {DataRun::Kind::Hole, 0, 1000},
                     {DataRun::Kind::Volume, 8192, 4000}};
        worn.modificationTime = 1700000000;
        entries.layouts[3] = worn;
        FileData broken;
        broken.unsupported = "the data is encrypted";
        broken.size = 1;
        entries.layouts[5] = broken;
        rootItem = tree.insertItem("ROOT", kIconFolder, kNoItem, 1);
    }

    // Saves ROOT with the report attached; the report is finished with `outcome`.
    std::string saveWithReport(ReportOutcome outcome = ReportOutcome::Incomplete) {
        const std::string path = folder.str() + "/report.xml";
        DfxmlReport report;
        EXPECT_TRUE(report.begin(path, {"quarvell-cli", "", "quarvell-cli recover x", "Recovery Report"},
                                 {"/images/worn.img", reader.mediumLength, "raw"}))
            << report.problem();
        report.beginVolume({uint64_t(kOrigin), 60 * 1024, "FAT16"});
        SaveWalk walk(tree, entries, sink, control);
        walk.onFileDetail([&](const SavedFile& f) { report.addSaved({}, f); });
        fs::create_directories(folder.path() / "out");
        totals = walk.saveSelection(rootItem, (folder.path() / "out").string());
        EXPECT_FALSE(fs::exists(path)) << "a report has its name only when finished";
        EXPECT_TRUE(report.finish(outcome)) << report.problem();
        return path;
    }

    FaultyReader reader;
    MediumEntries entries;
    MemoryTree tree;
    TreeItem rootItem = kNoItem;
    RecordingSink sink;
    WorkerControl control;
    TempFolder folder;
    SaveTotals totals;
};

TEST_F(ReportOfAWalk, EveryFileIsReportedAsTheWriterSavedIt) {
    const std::string path = saveWithReport();
    ASSERT_EQ(totals.filesSaved, 2u);
    ASSERT_EQ(totals.filesFailed, 1u);
    ReportXml xml(path);
    ASSERT_TRUE(xml.loaded());
    EXPECT_VALID_REPORT(path);

    EXPECT_EQ(xml.one("/d:dfxml/d:source/d:image_filename"), "/images/worn.img");
    EXPECT_EQ(xml.one("/d:dfxml/d:source/d:image_size"), "65536");
    EXPECT_EQ(xml.one("/d:dfxml/d:source/q:image_format"), "raw");
    EXPECT_EQ(xml.one("/d:dfxml/d:creator/d:version"), QUARVELL_VERSION);
    EXPECT_EQ(xml.one("/d:dfxml/d:volume/@offset"), "4096");
    EXPECT_EQ(xml.one("/d:dfxml/q:summary/q:outcome"), "incomplete");
    EXPECT_EQ(xml.one("/d:dfxml/q:summary/q:file_count"), "3");
    EXPECT_EQ(xml.all("//d:fileobject/d:filename"),
              (std::vector<std::string>{"docs/worn.bin", "docs/gone 100%25.txt", "broken"}));

    // The worn file: its runs on the image, the hole, the cut last run, the unreadable block.
    const auto files = xml.nodes("//d:fileobject");
    ASSERT_EQ(files.size(), 3u);
    xmlNodePtr worn = files[0];
    EXPECT_EQ(xml.one("d:filesize", worn), "5000");
    EXPECT_EQ(xml.one("d:alloc", worn), "1");
    EXPECT_EQ(xml.one("d:mtime", worn), "2023-11-14T22:13:20Z");
    const auto runs = xml.nodes("d:byte_runs/d:byte_run", worn);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(attr(runs[0], "img_offset"), "5120");
    EXPECT_EQ(attr(runs[0], "fs_offset"), "1024");
    EXPECT_EQ(attr(runs[1], "type"), "hole");
    EXPECT_EQ(attr(runs[1], "fill"), "0");
    EXPECT_EQ(attr(runs[2], "file_offset"), "3048");
    EXPECT_EQ(attr(runs[2], "len"), "1952");
    const auto ranges = xml.nodes("q:unreadable_ranges/q:range", worn);
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(attr(ranges[0], "file_offset"), "512");
    EXPECT_EQ(attr(ranges[0], "len"), "512");
    EXPECT_EQ(xml.one("q:unreadable_bytes", worn), "512");
    EXPECT_EQ(xml.one("q:status", worn), "incomplete");
    const std::string saved = slurp(xml.one("q:output_path", worn));
    EXPECT_EQ(saved.size(), 5000u);
    EXPECT_EQ(xml.one("d:hashdigest[@type='sha256']", worn), sha256Hex(saved));
    EXPECT_EQ(bytesByRuns(xml, worn, reader.data), saved) << "the byte runs give back the saved bytes";

    // The deleted file kept in its record, and the file that could not be saved.
    EXPECT_EQ(xml.one("d:unalloc", files[1]), "1");
    EXPECT_EQ(attr(xml.nodes("d:byte_runs/d:byte_run", files[1]).at(0), "type"), "resident");
    EXPECT_EQ(xml.one("d:hashdigest", files[1]), sha256Hex("kept in the record"));
    EXPECT_EQ(xml.one("q:status", files[2]), "failed");
    EXPECT_EQ(xml.one("q:problem", files[2]), "the data is encrypted");
    EXPECT_TRUE(xml.nodes("d:hashdigest|q:output_path|d:byte_runs", files[2]).empty());
}

TEST_F(ReportOfAWalk, AnUnfinishedReportLeavesNothingAndAnExistingFileIsNeverReplaced) {
    {
        DfxmlReport report;
        ASSERT_TRUE(report.begin(folder.str() + "/r.xml", {"p", "1", "c", ""}, {"i", 0, "raw"}));
        report.addFile({"a"}, false, FileData{}, SaveReport{});
    }
    EXPECT_TRUE(fs::is_empty(folder.path())) << "the temporary file goes with an unfinished report";

    const std::string path = saveWithReport(ReportOutcome::Stopped);
    const std::string first = slurp(path);
    DfxmlReport again;
    EXPECT_FALSE(again.begin(path, {"p", "1", "c", ""}, {"i", 0, "raw"}));
    EXPECT_NE(again.problem().find("exists already"), std::string::npos);
    EXPECT_FALSE(again.finish(ReportOutcome::Complete));
    EXPECT_EQ(slurp(path), first);
    EXPECT_EQ(ReportXml(path).one("//q:outcome"), "stopped");
}

TEST(ReportText, WhatXmlCannotCarryIsEscapedAndTheReportStaysWellFormed) {
    EXPECT_EQ(reportText("a/b%c\x01\x7f"), "a/b%25c%01%7F");
    EXPECT_EQ(reportText("a/b", true), "a%2Fb");
    EXPECT_EQ(reportText("caf\xc3\xa9 \xe2\x82\xac"), "caf\xc3\xa9 \xe2\x82\xac");
    // A lone continuation byte, an overlong "/", a cut sequence, a surrogate, U+FFFE.
    EXPECT_EQ(reportText("\x80|\xc0\xaf|\xe2\x82|\xed\xa0\x80|\xef\xbf\xbe"),
              "%80|%C0%AF|%E2%82|%ED%A0%80|%EF%BF%BE");

    TempFolder folder;
    const std::string path = folder.str() + "/r.xml";
    DfxmlReport report;
    ASSERT_TRUE(report.begin(path, {"p", "1", "c\x1b[0m", ""}, {"<img>&\"", 0, "raw"}));
    FileData data;
    SaveReport saved;
    saved.problem = "\xff\x00 bad"s;
    report.addFile({"\x00\x00HFS+ Private Data"s, "x\xfe/y"}, false, data, saved);
    ASSERT_TRUE(report.finish(ReportOutcome::Failed));
    ReportXml xml(path);
    ASSERT_TRUE(xml.loaded());
    EXPECT_EQ(xml.one("//d:filename"), "%00%00HFS+ Private Data/x%FE%2Fy");
    EXPECT_EQ(xml.one("//d:image_filename"), "<img>&\"");
    EXPECT_EQ(xml.one("//q:problem"), "%FF%00 bad");
    EXPECT_VALID_REPORT(path);
}

TEST(ReportTimes, UtcSecondsAndTimesNoReportCanCarry) {
    EXPECT_EQ(isoUtcTime(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(isoUtcTime(-1), "1969-12-31T23:59:59Z");
    EXPECT_EQ(isoUtcTime(253402300799), "9999-12-31T23:59:59Z");
    EXPECT_EQ(isoUtcTime(253402300800), "");
    EXPECT_EQ(isoUtcTime(INT64_MIN), "");
    EXPECT_EQ(shellCommandLine({"quarvell-cli", "recover", "my disk.img", "--path", "ROOT/it's", "--out", "/o"}),
              "quarvell-cli recover 'my disk.img' --path 'ROOT/it'\\''s' --out /o");
}

// Saves `data` from reader and returns the writer's report.
SaveReport save(const FileData& data) {
    TempFolder folder;
    WorkerControl control;
    return RunWriter(control).save(data, folder.str(), "f");
}

TEST(UnreadableRanges, MergedInFileOrderAndCappedWithEveryByteStillCounted) {
    FaultyReader reader(pattern(1 << 20));
    reader.badSectors = {3, 4, 9, 100};  // 3 and 4 adjacent; 100 lies in the second run
    FileData data;
    data.source = &reader;
    data.size = 12 * 512;
    data.runs = {{DataRun::Kind::Volume, 0, 10 * 512}, {DataRun::Kind::Volume, 99 * 512, 2 * 512}};
    SaveReport r = save(data);
    ASSERT_EQ(r.unreadableRanges.size(), 3u);
    EXPECT_EQ(r.unreadableRanges[0].offset, 3u * 512);
    EXPECT_EQ(r.unreadableRanges[0].length, 2u * 512);
    EXPECT_EQ(r.unreadableRanges[1].offset, 9u * 512);
    EXPECT_EQ(r.unreadableRanges[2].offset, 11u * 512) << "sector 100 is the file's 12th";
    EXPECT_EQ(r.unreadableBytes, 4u * 512);
    EXPECT_FALSE(r.unreadableRangesCapped);

    // Sector 9 ends the first run and sector 99 starts the second: one range across both.
    reader.badSectors = {9, 99};
    r = save(data);
    ASSERT_EQ(r.unreadableRanges.size(), 1u);
    EXPECT_EQ(r.unreadableRanges[0].length, 1024u);

    // Every other sector bad: more ranges than are kept.
    const size_t n = kMaxUnreadableRanges + 10;
    reader.data = pattern(5 << 20);
    reader.mediumLength = reader.data.size();
    reader.badSectors.clear();
    for (size_t i = 0; i < n; ++i) reader.badSectors.insert(2 * i);
    data.size = 2 * n * 512;
    data.runs = {{DataRun::Kind::Volume, 0, data.size}};
    r = save(data);
    EXPECT_TRUE(r.unreadableRangesCapped);
    EXPECT_EQ(r.unreadableRanges.size(), kMaxUnreadableRanges);
    EXPECT_EQ(r.unreadableBytes, n * 512);
    EXPECT_EQ(r.unreadableRanges.back().offset, 2 * (kMaxUnreadableRanges - 1) * 512);
}

TEST(UnreadableRanges, DecodedDataNamesItsUnreadableStretchesAndHasNoImageRuns) {
    FileData data;
    data.size = 300;
    data.produce = [](DataOutput& out) {
        const std::vector<uint8_t> bytes(100, 7);
        return out.putBytes(bytes.data(), 100) && out.putUnreadable(50) && out.putBytes(bytes.data(), 100) &&
               out.putUnreadable(80);
    };
    const SaveReport r = save(data);
    ASSERT_EQ(r.unreadableRanges.size(), 2u);
    EXPECT_EQ(r.unreadableRanges[0].offset, 100u);
    EXPECT_EQ(r.unreadableRanges[0].length, 50u);
    EXPECT_EQ(r.unreadableRanges[1].offset, 250u);
    EXPECT_EQ(r.unreadableRanges[1].length, 50u) << "cut at the file's size";

    TempFolder folder;
    DfxmlReport report;
    ASSERT_TRUE(report.begin(folder.str() + "/r.xml", {"p", "1", "c", ""}, {"i", 0, "raw"}));
    report.addFile({"packed"}, false, data, r);
    ASSERT_TRUE(report.finish(ReportOutcome::Incomplete));
    ReportXml xml(folder.str() + "/r.xml");
    EXPECT_EQ(xml.one("//q:decoded"), "1");
    EXPECT_TRUE(xml.nodes("//d:byte_runs").empty());
    EXPECT_EQ(xml.all("//q:range/@file_offset"), (std::vector<std::string>{"100", "250"}));
    EXPECT_VALID_REPORT(folder.str() + "/r.xml");
}

}  // namespace

// Named by the local time; a name any entry has (a dangling link too) is passed over, and when
// every name is taken there is none rather than one that replaces a file.
TEST(FreeReportPath, TheLocalTimeAndNeverANameThatIsTaken) {
    const char* zone = std::getenv("TZ");
    const std::string previous = zone ? zone : "";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    TempFolder folder;
    const int64_t noon = 1714564800;  // 2024-05-01 12:00:00 UTC
    const std::string stem = folder.str() + "/quarvell-report-20240501-120000";
    EXPECT_EQ(freeReportPath(folder.str(), noon), stem + ".xml");
    EXPECT_EQ(freeReportPath(folder.str() + "/", noon), stem + ".xml");
    { std::ofstream(stem + ".xml") << "kept"; }
    EXPECT_EQ(freeReportPath(folder.str(), noon), stem + "-2.xml");
    fs::create_symlink(folder.path() / "nowhere", stem + "-2.xml");
    EXPECT_EQ(freeReportPath(folder.str(), noon), stem + "-3.xml");
    EXPECT_EQ(freeReportPath(folder.str(), noon + 61), folder.str() + "/quarvell-report-20240501-120101.xml");
    for (int n = 3; n <= 1000; ++n) std::ofstream(stem + "-" + std::to_string(n) + ".xml");
    EXPECT_EQ(freeReportPath(folder.str(), noon), "");
    EXPECT_EQ(slurp(stem + ".xml"), "kept");
    if (zone) ::setenv("TZ", previous.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
}
