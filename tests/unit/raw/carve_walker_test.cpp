// Structure-aware ends: real files made by real tools (tests/fixtures/carve) carved from media
// in memory with the default catalogue, and files built here for types no tool at hand writes.
#include <openssl/evp.h>

#include <nlohmann/json.hpp>
#include <random>

#include "RawTestSupport.h"
#include "raw/walkers/Walker.h"

using namespace rawtest;

namespace {

constexpr int64_t MiB = 1048576;
const std::string kSamples = QUARVELL_SOURCE_DIR "/tests/fixtures/carve/";

std::string sha256(const uint8_t* data, size_t size) {
    unsigned char digest[32];
    unsigned int n = 0;
    EVP_Digest(data, size, digest, &n, EVP_sha256(), nullptr);
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < n; ++i) out += {hex[digest[i] >> 4], hex[digest[i] & 15]};
    return out;
}

struct Sample {
    std::string file, type, sha;
    std::vector<uint8_t> bytes;
};

std::vector<Sample> samples() {
    std::vector<Sample> out;
    std::ifstream in(kSamples + "samples.json");
    const nlohmann::json manifest = nlohmann::json::parse(in);
    for (const auto& s : manifest["samples"]) {
        Sample x{s["file"], s["type"], s["sha256"], readBytes(kSamples + std::string(s["file"]))};
        EXPECT_EQ(sha256(x.bytes.data(), x.bytes.size()), x.sha) << x.file;
        out.push_back(std::move(x));
    }
    return out;
}

std::vector<uint8_t> randomBytes(size_t n, unsigned seed) {
    std::vector<uint8_t> m(n);
    std::mt19937 rng(seed);
    for (auto& b : m) b = uint8_t(rng());
    return m;
}

int64_t alignUp(int64_t v) { return (v + 511) / 512 * 512; }

// The default catalogue over a medium.
struct DefaultCarving {
    RecordingSink sink;
    quarvell::testing::FaultyReader reader;
    SignatureLoader loader{&sink};
    explicit DefaultCarving(std::vector<uint8_t> medium) : reader(std::move(medium)) {
        loader.loadDefaultSignatures(QUARVELL_SOURCE_DIR "/resources/FileSetting.txt");
        engine().reader = &reader;
        engine().mediumSize = int64_t(reader.data.size());
    }
    myJpg& engine() { return *loader.engine; }
    const CarvedItem* at(int64_t start) {
        for (const auto& c : engine().carvedItems)
            if (c.start == start) return &c;
        return nullptr;
    }
    std::string hashOf(const CarvedItem& c) { return sha256(reader.data.data() + c.start, size_t(c.length)); }
};

struct Placed {
    const Sample* sample;
    int64_t offset;
};

// Every placed sample is found where it was put, ended by its walker, byte for byte; nothing
// else is found.
void expectExactly(DefaultCarving& c, const std::vector<Placed>& placed) {
    ASSERT_TRUE(c.engine().carve());
    for (const auto& p : placed) {
        const CarvedItem* item = c.at(p.offset);
        ASSERT_NE(item, nullptr) << p.sample->file << " at " << p.offset;
        EXPECT_TRUE(item->exact) << p.sample->file;
        EXPECT_EQ(c.engine().formatText(size_t(item - c.engine().carvedItems.data())), p.sample->type) << p.sample->file;
        EXPECT_EQ(item->length, int64_t(p.sample->bytes.size())) << p.sample->file;
        EXPECT_EQ(c.hashOf(*item), p.sample->sha) << p.sample->file;
    }
    EXPECT_EQ(c.engine().carvedItems.size(), placed.size());
}

}  // namespace

TEST(CarveWalkers, RealFilesBackToBackInRandomFiller) {
    const auto all = samples();
    ASSERT_GE(all.size(), 20u);
    std::vector<uint8_t> m = randomBytes(4 * MiB, 11);
    std::vector<Placed> placed;
    int64_t at = 1024;
    for (const auto& s : all) {  // each starts at the first sector after the one before
        std::copy(s.bytes.begin(), s.bytes.end(), m.begin() + at);
        placed.push_back({&s, at});
        at = alignUp(at + int64_t(s.bytes.size()));
    }
    DefaultCarving c(m);
    expectExactly(c, placed);
}

TEST(CarveWalkers, RealFilesCrossingPieceEdgesAndCutAtTheMediumsEnd) {
    const auto all = samples();
    const size_t n = all.size();
    std::vector<uint8_t> m = randomBytes(size_t(n + 1) * MiB, 12);
    std::vector<Placed> placed;
    for (size_t i = 0; i < n; ++i) {  // the k-th sample straddles the k-th MiB boundary
        const int64_t at = int64_t(i + 1) * MiB - alignUp(int64_t(all[i].bytes.size()) / 2);
        std::copy(all[i].bytes.begin(), all[i].bytes.end(), m.begin() + at);
        placed.push_back({&all[i], at});
    }
    DefaultCarving c(m);
    expectExactly(c, placed);

    // Each sample cut by the medium's end comes out as far as the medium holds it.
    for (const auto& s : all) {
        std::vector<uint8_t> cut = randomBytes(8192, 13);
        const size_t keep = s.bytes.size() * 2 / 3;
        cut.insert(cut.end(), s.bytes.begin(), s.bytes.begin() + long(keep));
        DefaultCarving t(cut);
        ASSERT_TRUE(t.engine().carve());
        const CarvedItem* item = t.at(8192);
        ASSERT_NE(item, nullptr) << s.file;
        EXPECT_EQ(item->length, int64_t(keep)) << s.file;
        EXPECT_FALSE(item->exact) << s.file;
    }
}

TEST(CarveWalkers, RandomDataAndHostileHeadersStayBounded) {
    DefaultCarving random(randomBytes(16 * MiB, 14));
    ASSERT_TRUE(random.engine().carve());
    EXPECT_TRUE(random.engine().carvedItems.empty());

    // "II*\0" on every sector, once before random bytes and once before a plausible directory
    // offset: the finds together hold no more than the medium.
    for (int variant = 0; variant < 2; ++variant) {
        std::vector<uint8_t> m = randomBytes(4 * MiB, 15);
        for (size_t p = 0; p < m.size(); p += 512) {
            put(m, p, {'I', 'I', '*', 0});
            if (variant == 1) put(m, p + 4, {8, 0, 0, 0, 1, 0, 0x00, 0x01, 3, 0, 1, 0, 0, 0, 64, 0});
        }
        DefaultCarving c(m);
        ASSERT_TRUE(c.engine().carve());
        int64_t total = 0;
        for (const auto& item : c.engine().carvedItems) total += item.length;
        EXPECT_LE(total, int64_t(m.size())) << variant;
        EXPECT_LE(c.engine().carvedItems.size(), m.size() / 512) << variant;
    }
}

// A ZIP local header every 4 KiB and no end record: each walk searches on for the record, but
// never through bytes an earlier walk searched, so carving reads the medium a few times at most
// (it read the rest of the medium again for every header).
TEST(CarveWalkers, ArchivesWithoutAnEndRecordAreSearchedOnce) {
    struct CountingReader : quarvell::testing::FaultyReader {
        using FaultyReader::FaultyReader;
        int64_t bytes = 0;
        bool read(void* buffer, uint32_t count) override {
            bytes += count;
            return FaultyReader::read(buffer, count);
        }
    };
    std::vector<uint8_t> m(8 * MiB, 0);
    for (size_t p = 0; p < m.size(); p += 4096) {
        put(m, p, {'P', 'K', 3, 4, 20, 0, 0, 0, 8, 0});
        put(m, p + 26, {5, 0});
        put(m, p + 30, {'a', '.', 't', 'x', 't'});
    }
    RecordingSink sink;
    CountingReader reader(m);
    SignatureLoader loader{&sink};
    loader.loadDefaultSignatures(QUARVELL_SOURCE_DIR "/resources/FileSetting.txt");
    loader.engine->reader = &reader;
    loader.engine->mediumSize = int64_t(m.size());
    ASSERT_TRUE(loader.engine->carve());
    EXPECT_LE(reader.bytes, 4 * int64_t(m.size()));
    for (const auto& item : loader.engine->carvedItems) EXPECT_FALSE(item.exact);
}

TEST(CarveWalkers, HeadersInsideAWalkedFileAreNotNewFiles) {
    const auto all = samples();
    auto find = [&](const std::string& name) -> const Sample& {
        return *std::find_if(all.begin(), all.end(), [&](const Sample& s) { return s.file == name; });
    };
    const auto& jpeg = find("photo.jpg").bytes;
    const auto& png = find("picture.png").bytes;
    // A JPEG carrying a whole PNG (with its own FF D9 bytes around it) in an APP2 segment that
    // puts the PNG on a sector start; the JPEG's EOI comes after.
    std::vector<uint8_t> file(jpeg.begin(), jpeg.begin() + 2);
    std::vector<uint8_t> payload(512 - 6, 0xD9);
    payload[0] = 0xFF;
    payload.insert(payload.end(), png.begin(), png.end());
    payload.insert(payload.end(), {0xFF, 0xD9});
    ASSERT_LT(payload.size() + 2, 65536u);
    file.insert(file.end(), {0xFF, 0xE2, uint8_t((payload.size() + 2) >> 8), uint8_t(payload.size() + 2)});
    file.insert(file.end(), payload.begin(), payload.end());
    file.insert(file.end(), jpeg.begin() + 2, jpeg.end());
    ASSERT_EQ(std::search(file.begin(), file.end(), png.begin(), png.begin() + 8) - file.begin(), 512);
    std::vector<uint8_t> m = randomBytes(MiB, 16);
    std::copy(file.begin(), file.end(), m.begin() + 4096);
    DefaultCarving c(m);
    ASSERT_TRUE(c.engine().carve());
    ASSERT_EQ(c.engine().carvedItems.size(), 1u);
    EXPECT_EQ(c.engine().carvedItems[0].length, int64_t(file.size()));
}

TEST(CarveWalkers, ADamagedJpegFallsBackToItsFooter) {
    auto jpeg = readBytes(kSamples + "photo.jpg");
    // A marker with a length below 2 after the frame: the structure cannot be followed.
    const std::vector<uint8_t> marker{0xFF, 0xDA};
    auto sos = std::search(jpeg.begin(), jpeg.end(), marker.begin(), marker.end());
    ASSERT_NE(sos, jpeg.end());
    sos[2] = 0;
    sos[3] = 1;
    std::vector<uint8_t> m = randomBytes(MiB, 17);
    for (auto& b : m) if (b == 0xFF) b = 0;  // the filler holds no footer
    std::copy(jpeg.begin(), jpeg.end(), m.begin() + 8192);
    DefaultCarving c(m);
    ASSERT_TRUE(c.engine().carve());
    ASSERT_EQ(c.engine().carvedItems.size(), 1u);
    EXPECT_EQ(c.engine().carvedItems[0].length, int64_t(jpeg.size()));
    EXPECT_TRUE(c.engine().carvedItems[0].exact);
    EXPECT_EQ(c.engine().formatText(0), "signature");
}

namespace {

struct Writer {
    std::vector<uint8_t> b;
    bool big = false;
    void at(size_t off, uint64_t v, int n) {
        if (b.size() < off + size_t(n)) b.resize(off + size_t(n));
        for (int i = 0; i < n; ++i) b[off + size_t(i)] = uint8_t(v >> (8 * (big ? n - 1 - i : i)));
    }
    // One IFD at `off`: entries of (tag, type, count, value), then the next IFD's offset.
    void ifd(size_t off, std::vector<std::array<uint32_t, 4>> entries, uint32_t next) {
        at(off, entries.size(), 2);
        for (size_t i = 0; i < entries.size(); ++i) {
            const auto& e = entries[i];
            at(off + 2 + 12 * i, e[0], 2);
            at(off + 4 + 12 * i, e[1], 2);
            at(off + 6 + 12 * i, e[2], 4);
            if (e[1] == 3 && e[2] == 1) at(off + 10 + 12 * i, e[3], 2);
            else at(off + 10 + 12 * i, e[3], 4);
        }
        at(off + 2 + 12 * entries.size(), next, 4);
    }
};

int64_t walked(const std::vector<uint8_t>& file, const char* extension, size_t pad = 4096) {
    std::vector<uint8_t> m = randomBytes(file.size() + pad, 18);
    std::copy(file.begin(), file.end(), m.begin());
    quarvell::testing::FaultyReader reader(m);
    WalkSource src(reader, int64_t(m.size()));
    const Walker* w = walkerForExtension(extension);
    EXPECT_NE(w, nullptr);
    WalkResult r = walkFile(*w, src, 0, 100 * MiB);
    return r.end == WalkEnd::Exact ? r.length : -int64_t(r.end) - 1;
}

}  // namespace

// Camera raw layouts: CR2's chain of four directories with the raw strip in the last, a
// big-endian NEF-like file whose raw data hangs off a SubIFD and EXIF directory (maker note
// farthest), and a DNG-like file with tiles.
TEST(CarveWalkers, CameraRawEndsAtTheFarthestStripTileOrValue) {
    Writer cr2;
    cr2.at(0, 0x002A4949, 4);
    cr2.at(4, 16, 4);
    cr2.at(8, 0x0002'5243, 4);  // "CR", version 2
    cr2.ifd(16, {{256, 3, 1, 64}, {273, 4, 1, 2000}, {279, 4, 1, 3000}, {34665, 4, 1, 200}}, 100);
    cr2.ifd(200, {{33434, 5, 1, 400}}, 0);                           // EXIF: a rational at 400
    cr2.ifd(100, {{513, 4, 1, 5000}, {514, 4, 1, 1500}}, 140);       // thumbnail to 6500
    cr2.ifd(140, {{273, 4, 1, 6500}, {279, 4, 1, 20}}, 240);
    cr2.ifd(240, {{273, 4, 1, 7000}, {279, 4, 1, 9000}}, 0);         // the raw strip: to 16000
    cr2.at(15999, 0x55, 1);
    EXPECT_EQ(walked(cr2.b, "cr2"), 16000);

    Writer nef;
    nef.big = true;
    nef.at(0, 0x4D4D002A, 4);
    nef.at(4, 8, 4);
    nef.ifd(8, {{256, 3, 1, 160}, {273, 4, 1, 300}, {279, 4, 1, 100}, {330, 4, 1, 100}, {34665, 4, 1, 150}}, 0);
    nef.ifd(100, {{273, 4, 2, 600}, {279, 4, 2, 608}}, 0);           // two strips, arrays at 600/608
    nef.at(600, 1000, 4), nef.at(604, 5000, 4), nef.at(608, 4000, 4), nef.at(612, 2500, 4);  // ends 5000, 7500
    nef.ifd(150, {{37500, 7, 1200, 7600}}, 0);                       // maker note: 7600..8800
    nef.at(8799, 0xAA, 1);
    EXPECT_EQ(walked(nef.b, "nef"), 8800);

    Writer dng;
    dng.at(0, 0x002A4949, 4);
    dng.at(4, 8, 4);
    dng.ifd(8, {{256, 3, 1, 32}, {324, 4, 2, 100}, {325, 4, 2, 108}}, 0);
    dng.at(100, 200, 4), dng.at(104, 900, 4), dng.at(108, 700, 4), dng.at(112, 50, 4);  // ends 900, 950
    dng.at(949, 1, 1);
    EXPECT_EQ(walked(dng.b, "dng"), 950);

    // A directory that points at itself ends the walk instead of looping.
    Writer loop;
    loop.at(0, 0x002A4949, 4);
    loop.at(4, 8, 4);
    loop.ifd(8, {{256, 3, 1, 32}}, 8);
    EXPECT_EQ(walked(loop.b, "tif"), 8 + 2 + 12 + 4);
    // Impossible first directories are no TIFF.
    loop.at(8, 0, 2);
    EXPECT_EQ(walked(loop.b, "tif"), -int64_t(WalkEnd::NotThisType) - 1);
}

// An OLE2 file (an MSG or a DOC): header, one FAT sector, a directory and data sectors; the
// length is the sector after the highest one the FAT uses, whatever lies beyond.
TEST(CarveWalkers, CompoundFileEndsAfterTheHighestUsedSector) {
    for (uint16_t major : {3, 4}) {
        const size_t sector = major == 3 ? 512 : 4096;
        Writer f;
        f.b.assign(sector * 8, 0x33);
        f.at(0, 0xE11AB1A1E011CFD0ull, 8);
        std::fill(f.b.begin() + 8, f.b.begin() + 0x4C, 0);
        f.at(0x18, 0x3E, 2), f.at(0x1A, major, 2), f.at(0x1C, 0xFFFE, 2), f.at(0x1E, major == 3 ? 9 : 12, 2);
        f.at(0x20, 6, 2), f.at(0x2C, 1, 4), f.at(0x30, 1, 4), f.at(0x3C, 0xFFFFFFFE, 4), f.at(0x44, 0xFFFFFFFE, 4);
        f.at(0x4C, 0, 4);  // the FAT is sector 0
        for (size_t i = 1; i < 109; ++i) f.at(0x4C + 4 * i, 0xFFFFFFFF, 4);
        const size_t fat = sector;  // sector 0 starts after the header
        for (size_t i = 0; i < sector / 4; ++i) f.at(fat + 4 * i, 0xFFFFFFFF, 4);
        f.at(fat, 0xFFFFFFFD, 4);       // sector 0: the FAT itself
        f.at(fat + 4, 0xFFFFFFFE, 4);   // sector 1: the directory
        f.at(fat + 8, 3, 4);            // sectors 2-4: a stream
        f.at(fat + 12, 4, 4);
        f.at(fat + 16, 0xFFFFFFFE, 4);
        EXPECT_EQ(walked(f.b, major == 3 ? "msg" : "doc"), int64_t(6 * sector)) << major;
        f.at(0x1C, 0xFEFF, 2);  // wrong byte order mark: no compound file
        EXPECT_EQ(walked(f.b, "doc"), -int64_t(WalkEnd::NotThisType) - 1);
    }
}

// The GIF sample's image data holds 00 3B; the PDF samples end with and without an end-of-line
// after an incremental update: each ends where the walker says, never at the first footer.
TEST(CarveWalkers, HardCasesAmongTheSamples) {
    auto gif = readBytes(kSamples + "anim.gif");
    const std::vector<uint8_t> trailer{0x00, 0x3B};
    EXPECT_LT(std::search(gif.begin(), gif.end(), trailer.begin(), trailer.end()) - gif.begin(), long(gif.size()) - 2);
    EXPECT_EQ(walked(gif, "gif"), int64_t(gif.size()));
    for (const char* name : {"updated.pdf", "updated-no-eol.pdf"}) {
        auto pdf = readBytes(kSamples + name);
        const std::string eof = "%%EOF";
        EXPECT_LT(std::search(pdf.begin(), pdf.end(), eof.begin(), eof.end()) - pdf.begin(), long(pdf.size()) - 7);
        // followed by the next file's header rather than filler
        std::vector<uint8_t> two = pdf;
        two.insert(two.end(), {'%', 'P', 'D', 'F', '-', '1', '.', '4', '\n'});
        EXPECT_EQ(walked(two, "pdf", 0), int64_t(pdf.size())) << name;
    }
}

// Every built-in signature's header on every sector, followed by random bytes: no walker takes
// the noise for a whole file, and the finds together hold no more than the medium.
TEST(CarveWalkers, NoWalkerEndsRandomBytesBehindItsHeader) {
    DefaultCarving probe(std::vector<uint8_t>(512, 0));
    const myJpg& catalogue = probe.engine();
    for (size_t s = 0; s < catalogue.signatures.size(); ++s) {
        if (!walkerForExtension(catalogue.extensionText(s))) continue;
        std::vector<uint8_t> m = randomBytes(2 * MiB, unsigned(100 + s));
        const auto& entry = catalogue.matchEntries[s];
        for (size_t p = 0; p < m.size(); p += 512)
            for (size_t k = 0; k < entry.headerLength; ++k)
                if (entry.header[k] != 0x2A) m[p + k] = entry.header[k];
        DefaultCarving c(m);
        ASSERT_TRUE(c.engine().carve());
        int64_t total = 0, exact = 0;
        for (const auto& item : c.engine().carvedItems) {
            total += item.length;
            exact += item.format >= 0 && item.exact;
        }
        EXPECT_LE(total, int64_t(m.size())) << catalogue.extensionText(s);
        EXPECT_EQ(exact, 0) << catalogue.extensionText(s);
    }
}
