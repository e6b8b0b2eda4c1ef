#include "cli/Json.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace quarvell::cli {

namespace {

// Printable ASCII without quote or backslash stands in JSON as it is; anything else goes through
// the library's escaper.
struct PlainTable {
    bool plain[256] = {};
    constexpr PlainTable() {
        for (int c = 0x20; c < 0x7f; ++c) plain[c] = c != '"' && c != '\\';
    }
};
constexpr PlainTable kPlain;

void appendString(std::string& out, const std::string& text) {
    const size_t start = out.size();
    out += '"';
    for (unsigned char c : text) {
        if (!kPlain.plain[c]) {
            out.resize(start);
            out += jsonString(text);
            return;
        }
    }
    out += text;
    out += '"';
}

constexpr size_t kFlushAt = 1 << 16;

}  // namespace

// Names read from a volume need not be valid UTF-8: invalid bytes become U+FFFD instead of
// making the output unreadable.
std::string jsonString(const std::string& text) {
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

JsonArrayWriter::JsonArrayWriter() { line_ = "["; }

JsonArrayWriter::~JsonArrayWriter() {
    line_ += firstObject_ ? "]\n" : "\n]\n";
    flush();
    std::fflush(stdout);
}

void JsonArrayWriter::beginObject() {
    line_ += firstObject_ ? "\n{" : ",\n{";
    firstObject_ = false;
    firstField_ = true;
}

void JsonArrayWriter::field(const char* key, const std::string& value) {
    writeKey(key);
    appendString(line_, value);
}

void JsonArrayWriter::field(const char* key, int64_t value) {
    writeKey(key);
    line_ += std::to_string(value);
}

void JsonArrayWriter::field(const char* key, uint64_t value) {
    writeKey(key);
    line_ += std::to_string(value);
}

void JsonArrayWriter::field(const char* key, bool value) {
    writeKey(key);
    line_ += value ? "true" : "false";
}

// Keys are this program's own plain names: they stand in the output as they are.
void JsonArrayWriter::writeKey(const char* key) {
    line_ += firstField_ ? "\"" : ", \"";
    line_ += key;
    line_ += "\": ";
    firstField_ = false;
}

void JsonArrayWriter::endObject() {
    line_ += '}';
    if (line_.size() >= kFlushAt) flush();
}

void JsonArrayWriter::flush() {
    std::fwrite(line_.data(), 1, line_.size(), stdout);
    line_.clear();
}

}  // namespace quarvell::cli
