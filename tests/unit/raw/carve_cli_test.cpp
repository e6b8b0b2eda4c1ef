// The carve and signature commands end to end: real JPEG, PNG, GIF, PDF and ZIP files embedded
// in an image at sector starts, carved with the default catalogue and checked by hash.
#include <cstdio>
#include <random>
#include <regex>
#include <sys/wait.h>

#include <filesystem>

#include "RunCommand.h"
#include "RawTestSupport.h"
#include "../partition_cli/FaultyFuse.h"

using namespace rawtest;

namespace {

using Outcome = CommandOutcome;

Outcome run(const std::string& command) { return runCommand(command + " 2>/dev/null"); }

std::string quote(const std::string& s) { return "'" + s + "'"; }

std::string sha256(const std::vector<uint8_t>& bytes) {
    TempDir dir;
    writeBytes(dir.file("b"), bytes);
    return run("sha256sum " + quote(dir.file("b"))).out.substr(0, 64);
}

std::string sha256File(const std::string& path) { return run("sha256sum " + quote(path)).out.substr(0, 64); }

struct Found {
    std::string name, category;
    int64_t offset, length;
    std::string type;
    bool exact;
    std::string sha256;
};

std::vector<Found> parseJson(const std::string& text) {
    std::vector<Found> out;
    static const std::regex row(
        R"re(\{"name": "([^"]*)", "category": "((?:[^"\\]|\\.)*)", "offset": (\d+), "length": (\d+), "type": "([^"]*)", "exact": (true|false)(?:, "sha256": "([0-9a-f]*)")?\})re");
    for (std::sregex_iterator it(text.begin(), text.end(), row), end; it != end; ++it)
        out.push_back({(*it)[1], (*it)[2], std::stoll((*it)[3]), std::stoll((*it)[4]), (*it)[5], (*it)[6] == "true",
                       (*it)[7]});
    return out;
}

const std::string kCli = QUARVELL_CLI;
constexpr int64_t MiB = 1048576;

}  // namespace

TEST(CarveCommand, RealFilesComeOutAtTheirOffsetsAndByHash) {
    TempDir dir;
    Outcome made = run(std::string("sh ") + QUARVELL_SOURCE_DIR "/tests/raw/make-carve-files.sh " + quote(dir.file("files")));
    if (made.code == 77) GTEST_SKIP() << "ImageMagick, Ghostscript or zip is missing";
    ASSERT_EQ(made.code, 0);

    struct Embedded {
        std::string file, category;
        int64_t offset;
        std::vector<uint8_t> expected;  // what the catalogue's record can give back
    };
    std::vector<Embedded> files = {{"photo.jpg", "Pictures", 4096, {}},
                                   {"pic.png", "Pictures", MiB - 1024, {}},  // crosses the first chunk's end
                                   {"anim.gif", "Pictures", MiB + 512 * 400, {}},
                                   {"doc.pdf", "Documents", MiB + 512 * 420, {}},
                                   {"arch.zip", "Archives", 2 * MiB + 3 * 512, {}}};
    std::vector<uint8_t> image(3 * MiB + 777);
    std::mt19937 rng(2024);
    for (auto& b : image) b = uint8_t(rng());
    for (auto& f : files) {
        auto bytes = readBytes(dir.file("files/" + f.file));
        ASSERT_FALSE(bytes.empty()) << f.file;
        std::copy(bytes.begin(), bytes.end(), image.begin() + f.offset);
        f.expected = bytes;  // every one ended by its own structure
    }
    writeBytes(dir.file("disk.img"), image);

    Outcome carved = run(kCli + " carve " + quote(dir.file("disk.img")) + " --json --out " + quote(dir.file("out")));
    ASSERT_EQ(carved.code, 0);
    std::vector<Found> found = parseJson(carved.out);
    ASSERT_EQ(found.size(), files.size()) << carved.out;
    for (const auto& f : files) {
        auto it = std::find_if(found.begin(), found.end(), [&](const Found& x) { return x.offset == f.offset; });
        ASSERT_NE(it, found.end()) << f.file;
        EXPECT_EQ(it->category, f.category);
        EXPECT_EQ(it->length, int64_t(f.expected.size())) << f.file;
        EXPECT_EQ(it->name, std::to_string(f.offset) + " ." + f.file.substr(f.file.find('.') + 1));
        EXPECT_EQ(sha256File(dir.file("out/" + it->name)), sha256(f.expected)) << f.file;
        EXPECT_EQ(it->sha256, sha256(f.expected)) << f.file;
        EXPECT_TRUE(it->exact) << f.file;
        EXPECT_NE(it->type, "signature") << f.file;
    }
    // --out holds the carved files and nothing else.
    size_t saved = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("out"))) saved += e.is_regular_file() ? 1 : 100;
    EXPECT_EQ(saved, files.size());
    // PNG, JPEG and a PDF ending in "%%EOF\n" come out whole.
    EXPECT_EQ(sha256File(dir.file("out/4096 .jpg")), sha256File(dir.file("files/photo.jpg")));
    EXPECT_EQ(sha256File(dir.file("out/" + std::to_string(MiB + 512 * 420) + " .pdf")), sha256File(dir.file("files/doc.pdf")));
    EXPECT_EQ(sha256File(dir.file("out/1047552 .png")), sha256File(dir.file("files/pic.png")));

    // A volume starting at 1 MiB: offsets count from the volume's start.
    Outcome volume = run(kCli + " carve " + quote(dir.file("disk.img")) + " --start 2048 --json");
    ASSERT_EQ(volume.code, 0);
    std::vector<Found> inVolume = parseJson(volume.out);
    ASSERT_EQ(inVolume.size(), 3u) << volume.out;
    EXPECT_EQ(inVolume[0].offset, 512 * 400);
    EXPECT_EQ(inVolume[0].name, "204800 .gif");
}

TEST(CarveCommand, JsonObjectsKeysAndTheTextSummary) {
    TempDir dir;
    std::vector<uint8_t> image(8192, 0);
    put(image, 512, {0xF1, 0xF2, 0xF3});
    writeBytes(dir.file("disk.img"), image);
    writeRecords(dir.file("sig"), {record("abc", {0xF1, 0xF2, 0xF3}, {}, 100, "Tests \"quoted\"")});
    Outcome r = run(kCli + " carve " + quote(dir.file("disk.img")) + " --no-default --catalogue " + quote(dir.file("sig")) +
                " --json");
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "[\n{\"name\": \"512 .abc\", \"category\": \"Tests \\\"quoted\\\"\", \"offset\": 512, \"length\": 100, "
                     "\"type\": \"signature\", \"exact\": false}\n]\n");
    // With --out each object also has the saved bytes' hash; an approximate end still exits 0.
    r = run(kCli + " carve " + quote(dir.file("disk.img")) + " --no-default --catalogue " + quote(dir.file("sig")) +
            " --json --out " + quote(dir.file("out")));
    ASSERT_EQ(r.code, 0);
    std::vector<uint8_t> expected(image.begin() + 512, image.begin() + 612);
    std::vector<Found> found = parseJson(r.out);
    ASSERT_EQ(found.size(), 1u) << r.out;
    EXPECT_EQ(found[0].sha256, sha256(expected));
    // Text mode ends with one line: the finds per category, how many were saved and where.
    r = run(kCli + " carve " + quote(dir.file("disk.img")) + " --no-default --catalogue " + quote(dir.file("sig")) +
            " --out " + quote(dir.file("out2")));
    ASSERT_EQ(r.code, 0);
    const std::string last = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
    EXPECT_EQ(last, "1 files carved (Tests \"quoted\" 1), 1 saved in " + dir.file("out2") + "\n");
}

TEST(CarveCommand, CarvedNamesStayInTheOutputFolder) {
    TempDir dir;
    std::vector<uint8_t> image(4096, 0);
    put(image, 0, {0xF1, 0xF2, 0xF3});
    writeBytes(dir.file("disk.img"), image);
    writeRecords(dir.file("sig"), {record("../x", {0xF1, 0xF2, 0xF3}, {}, 64), record("/", {0xF4, 0xF5}, {}, 64)});
    put(image, 512, {0xF4, 0xF5});
    writeBytes(dir.file("disk.img"), image);
    std::filesystem::create_directories(dir.file("a/out"));
    Outcome r = run(kCli + " carve " + quote(dir.file("disk.img")) + " --no-default --catalogue " + quote(dir.file("sig")) +
                " --out " + quote(dir.file("a/out")));
    ASSERT_EQ(r.code, 0);
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.file("a"))) names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{dir.file("a/out"), dir.file("a/out/0 ..._x"), dir.file("a/out/512 ._")}));
    EXPECT_EQ(readBytes(dir.file("a/out/0 ..._x")).size(), 64u);
}

TEST(CarveCommand, BadCataloguesAndMedia) {
    TempDir dir;
    writeBytes(dir.file("tiny.img"), {0xFF, 0xD8, 0xFF, 0xE0, 0x00});
    writeBytes(dir.file("empty.img"), {});
    writeBytes(dir.file("short.sig"), std::vector<uint8_t>(170, 0));
    EXPECT_EQ(run(kCli + " carve " + quote(dir.file("tiny.img")) + " --json").code, 0);
    EXPECT_EQ(run(kCli + " carve " + quote(dir.file("empty.img"))).code, 1);
    EXPECT_EQ(run(kCli + " carve " + quote(dir.file("tiny.img")) + " --catalogue " + quote(dir.file("short.sig"))).code, 2);
    EXPECT_EQ(run(kCli + " carve " + quote(dir.file("tiny.img")) + " --no-default").code, 2);
    EXPECT_EQ(run(kCli + " carve " + quote(dir.file("missing.img"))).code, 2);
}

// Each way a form can be refused leaves no settings file behind, and an existing file as it was.
TEST(SignatureCommand, ARefusedAddCreatesNoFile) {
    TempDir dir;
    const std::string path = dir.file("new.txt");
    for (const char* bad : {" --ext x --header ,,", " --header 11,22", " --ext x --header 11,zz",
                            " --ext x --header 1,2,3,4,5,6,7,8,9,10,11", " --ext x --header 11 --size-bytes 9",
                            " --ext x --header 11 --skip -1"}) {
        auto r = run(kCli + " signature add " + quote(path) + bad);
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_FALSE(std::filesystem::exists(path)) << bad;
    }
    ASSERT_EQ(run(kCli + " signature add " + quote(path) + " --ext a --header 11").code, 0);
    EXPECT_EQ(run(kCli + " signature add " + quote(path) + " --ext b --header 11 --size-bytes 9").code, 2);
    EXPECT_EQ(readBytes(path).size(), 171u);
}

TEST(SignatureCommand, AppendsWithTheEditorsRules) {
    TempDir dir;
    const std::string file = quote(dir.file("mine.txt"));
    EXPECT_EQ(run(kCli + " signature add " + file + " --ext png --header 0x89,0x50,0x4E,0x47 --footer "
                         "49,45,4E,44,AE,42,60,82 --approx 1000 --category Pictures")
                  .code,
              0);
    EXPECT_EQ(run(kCli + " signature add " + file + " --ext wav --header 52,49,46,46 --size-offset 4 --size-bytes 4 "
                         "--header-size 8 --size-includes-header --skip 4096")
                  .code,
              0);
    EXPECT_EQ(run(kCli + " signature add " + file + " --ext x --header ,,").code, 2);
    EXPECT_EQ(run(kCli + " signature add " + file + " --header 11,22").code, 2);
    auto bytes = readBytes(dir.file("mine.txt"));
    ASSERT_EQ(bytes.size(), 342u);
    SignatureFileRecord wav = SignatureFileRecord::fromBytes(bytes.data() + 171);
    EXPECT_EQ(wav.index, 1);
    EXPECT_EQ(wav.sizeFieldOffset, 4);
    EXPECT_EQ(wav.sizeFieldByteCount, 4u);
    EXPECT_EQ(wav.headerSize, 8u);
    EXPECT_EQ(wav.sizeIncludesHeader, 1);
    EXPECT_EQ(wav.skipAmount, 4096);
    EXPECT_EQ(wav.approximateSize, 0);
}

TEST(DefaultCatalogue, IsWhatTheBuildScriptMakesFromTheList) {
    TempDir dir;
    Outcome built = run(std::string("sh ") + QUARVELL_SOURCE_DIR "/resources/catalogue/build-catalogue.sh " + quote(kCli) +
                    " " + QUARVELL_SOURCE_DIR "/resources/catalogue/signatures.list " + quote(dir.file("built.txt")));
    ASSERT_EQ(built.code, 0);
    auto committed = readBytes(QUARVELL_SOURCE_DIR "/resources/FileSetting.txt");
    EXPECT_GT(committed.size(), 40 * 171u);
    EXPECT_TRUE(committed == readBytes(dir.file("built.txt")));
}

TEST(CarveCommand, VolumeFromThePartitionTableSetsTheOrigin) {
    TempDir dir;
    std::vector<uint8_t> image(8 * 1048576, 0);
    // One primary partition (type 0x83) from sector 2048, 12288 sectors long.
    put(image, 446 + 4, {0x83});
    put(image, 446 + 8, {0x00, 0x08, 0x00, 0x00, 0x00, 0x30, 0x00, 0x00});
    put(image, 510, {0x55, 0xAA});
    put(image, 2048 * 512 + 4096, {0xF1, 0xF2, 0xF3});
    put(image, 1024, {0xF1, 0xF2, 0xF3});  // before the volume: not part of it
    writeBytes(dir.file("disk.img"), image);
    writeRecords(dir.file("sig"), {record("abc", {0xF1, 0xF2, 0xF3}, {}, 100)});
    Outcome r = run(kCli + " carve " + quote(dir.file("disk.img")) + " --volume 0 --no-default --catalogue " +
                    quote(dir.file("sig")) + " --json");
    ASSERT_EQ(r.code, 0);
    std::vector<Found> found = parseJson(r.out);
    ASSERT_EQ(found.size(), 1u) << r.out;
    EXPECT_EQ(found[0].offset, 4096);
    EXPECT_EQ(found[0].name, "4096 .abc");
}

// A carved file saved with a sector the medium could not give (written as zeros) is incomplete:
// exit 3, while the same carving of a sound medium exits 0.
TEST(CarveCommand, UnreadableBytesInASavedFileExitThree) {
    TempDir dir;
    std::vector<uint8_t> image(MiB, 0);
    auto png = readBytes(QUARVELL_SOURCE_DIR "/tests/fixtures/carve/picture.png");
    ASSERT_FALSE(png.empty());
    std::copy(png.begin(), png.end(), image.begin() + 8192);
    writeBytes(dir.file("disk.img"), image);
    EXPECT_EQ(run(kCli + " carve " + quote(dir.file("disk.img")) + " --out " + quote(dir.file("good"))).code, 0);
    quarvell::testing::FaultyFuse disk({dir.file("disk.img"), {8192 / 512 + 40}, 0}, dir.file("fuse"));
    if (!disk.ok()) GTEST_SKIP() << disk.skipReason();
    Outcome r = run(kCli + " carve " + quote(disk.path()) + " --json --out " + quote(dir.file("bad")));
    EXPECT_EQ(r.code, 3) << r.out;
    std::vector<Found> found = parseJson(r.out);
    ASSERT_EQ(found.size(), 1u) << r.out;
    EXPECT_EQ(found[0].offset, 8192);
}
