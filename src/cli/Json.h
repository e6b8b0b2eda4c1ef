#pragma once
// JSON output: string escaping and an array-of-objects writer that streams one object a line.
#include <cstdint>
#include <string>

namespace quarvell::cli {

std::string jsonString(const std::string& text);

// Writes `[{...},{...}]` one object per line to stdout.
class JsonArrayWriter {
public:
    JsonArrayWriter();
    ~JsonArrayWriter();
    void beginObject();
    void field(const char* key, const std::string& value);
    void field(const char* key, const char* value) { field(key, std::string(value)); }
    void field(const char* key, int64_t value);
    void field(const char* key, uint64_t value);
    void field(const char* key, bool value);
    void endObject();

private:
    void raw(const char* key, const std::string& value);

    bool firstObject_ = true;
    bool firstField_ = true;
    std::string line_;
};

}  // namespace quarvell::cli
