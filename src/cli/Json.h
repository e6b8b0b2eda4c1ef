#pragma once
// JSON output: string escaping and an array-of-objects writer that streams one object a line.
#include <cstdint>
#include <string>

namespace quarvell::cli {

std::string jsonString(const std::string& text);

// Writes `[{...},{...}]` one object per line to stdout, in blocks of a few dozen KiB.
class JsonArrayWriter {
public:
    JsonArrayWriter();
    ~JsonArrayWriter();
    void beginObject();
    // `key` is a plain ASCII name (no quote, backslash or control character).
    void field(const char* key, const std::string& value);
    void field(const char* key, const char* value) { field(key, std::string(value)); }
    void field(const char* key, int64_t value);
    void field(const char* key, uint64_t value);
    void field(const char* key, bool value);
    void endObject();

private:
    void writeKey(const char* key);
    void flush();

    bool firstObject_ = true;
    bool firstField_ = true;
    std::string line_;  // what is not yet written
};

}  // namespace quarvell::cli
