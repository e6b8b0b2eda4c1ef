#pragma once
// Helpers shared by the raw recovery tests: signature records, settings files in a temporary
// folder, an engine over bytes in memory and a sink that keeps every message.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "FaultyReader.h"
#include "common/UiSink.h"
#include "controls/MemoryTree.h"
#include "raw/SignatureFileRecord.h"
#include "raw/SignatureLoader.h"
#include "raw/myJpg.h"

namespace rawtest {

using namespace quarvell;

struct RecordingSink : NullSink {
    std::vector<std::string> messages;
    MsgResult messageBox(const std::string& t, const std::string&, MsgIcon, MsgButtons) override {
        messages.push_back(t);
        return MsgResult::Ok;
    }
};

inline SignatureFileRecord record(const std::string& ext, std::initializer_list<uint8_t> header,
                                  std::initializer_list<uint8_t> footer = {}, int64_t approx = 0,
                                  const std::string& category = "Things") {
    SignatureFileRecord r;
    r.setExtension(ext);
    std::copy(header.begin(), header.end(), r.header.begin());
    std::copy(footer.begin(), footer.end(), r.footer.begin());
    r.headerLength = uint8_t(header.size());
    r.footerLength = uint8_t(footer.size());
    r.approximateSize = approx;
    r.setCategory(category);
    return r;
}

// A folder under the system's temporary folder, removed with the object.
struct TempDir {
    std::filesystem::path path;
    TempDir() {
        path = std::filesystem::temp_directory_path() /
               ("raw_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter()++));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name) const { return (path / name).string(); }
    static int& counter() {
        static int n = 0;
        return n;
    }
};

inline void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeRecords(const std::string& path, std::vector<SignatureFileRecord> records) {
    std::vector<uint8_t> bytes;
    for (size_t k = 0; k < records.size(); ++k) {
        records[k].index = uint8_t(k);
        auto b = records[k].toBytes();
        bytes.insert(bytes.end(), b.begin(), b.end());
    }
    writeBytes(path, bytes);
}

inline void put(std::vector<uint8_t>& medium, size_t at, std::initializer_list<uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), medium.begin() + long(at));
}

// Loads the records into an engine, carves the medium and keeps everything for inspection.
struct Carving {
    TempDir dir;
    RecordingSink sink;
    MemoryTree tree;
    quarvell::testing::FaultyReader reader;
    SignatureLoader loader{&sink};

    Carving(std::vector<SignatureFileRecord> records, std::vector<uint8_t> medium) : reader(std::move(medium)) {
        writeRecords(dir.file("sig.bin"), std::move(records));
        loader.loadDefaultSignatures(dir.file("sig.bin"));
        engine().reader = &reader;
        engine().mediumSize = int64_t(reader.data.size());
        engine().sink = &sink;
        engine().tree = &tree;
    }
    myJpg& engine() { return *loader.engine; }
    bool run() { return engine().carve(); }
    // (start, length) of every carved item in order.
    std::vector<std::pair<int64_t, int64_t>> items() {
        std::vector<std::pair<int64_t, int64_t>> out;
        for (const auto& c : engine().carvedItems) out.emplace_back(c.start, c.length);
        return out;
    }
};

using Items = std::vector<std::pair<int64_t, int64_t>>;

}  // namespace rawtest
