#include "cli/Json.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace quarvell::cli {

// Names read from a volume need not be valid UTF-8: invalid bytes become U+FFFD instead of
// making the output unreadable.
std::string jsonString(const std::string& text) {
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

JsonArrayWriter::JsonArrayWriter() { std::fputs("[", stdout); }

JsonArrayWriter::~JsonArrayWriter() {
    std::fputs(firstObject_ ? "]\n" : "\n]\n", stdout);
    std::fflush(stdout);
}

void JsonArrayWriter::beginObject() {
    line_ = firstObject_ ? "\n{" : ",\n{";
    firstObject_ = false;
    firstField_ = true;
}

void JsonArrayWriter::field(const char* key, const std::string& value) { raw(key, jsonString(value)); }
void JsonArrayWriter::field(const char* key, int64_t value) { raw(key, nlohmann::json(value).dump()); }
void JsonArrayWriter::field(const char* key, uint64_t value) { raw(key, nlohmann::json(value).dump()); }
void JsonArrayWriter::field(const char* key, bool value) { raw(key, nlohmann::json(value).dump()); }

void JsonArrayWriter::raw(const char* key, const std::string& value) {
    line_ += (firstField_ ? "" : ", ") + jsonString(key) + ": " + value;
    firstField_ = false;
}

void JsonArrayWriter::endObject() {
    line_ += "}";
    std::fputs(line_.c_str(), stdout);
}

}  // namespace quarvell::cli
