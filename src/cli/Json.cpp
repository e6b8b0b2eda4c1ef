#include "cli/Json.h"

#include <cstdio>

#include "common/TextFormat.h"

namespace quarvell::cli {

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) out += format("\\u%04x", c);
                else out.push_back(char(c));
        }
    }
    out += "\"";
    return out;
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

void JsonArrayWriter::field(const char* key, const std::string& value) {
    line_ += (firstField_ ? "" : ", ") + jsonString(key) + ": " + jsonString(value);
    firstField_ = false;
}

void JsonArrayWriter::field(const char* key, int64_t value) {
    line_ += (firstField_ ? "" : ", ") + jsonString(key) + ": " + format("%lld", static_cast<long long>(value));
    firstField_ = false;
}

void JsonArrayWriter::field(const char* key, uint64_t value) {
    line_ += (firstField_ ? "" : ", ") + jsonString(key) + ": " + format("%llu", static_cast<unsigned long long>(value));
    firstField_ = false;
}

void JsonArrayWriter::field(const char* key, bool value) {
    line_ += (firstField_ ? "" : ", ") + jsonString(key) + ": " + (value ? "true" : "false");
    firstField_ = false;
}

void JsonArrayWriter::endObject() {
    line_ += "}";
    std::fputs(line_.c_str(), stdout);
}

}  // namespace quarvell::cli
