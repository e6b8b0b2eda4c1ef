#pragma once
// A small JSON reader for the tests: the CLI's --json output and the fixture manifests.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quarvell::testing {

class JsonValue {
public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    // Parses a whole document; throws std::runtime_error with the offset on malformed input.
    static JsonValue parse(const std::string& text);

    Kind kind = Kind::Null;
    bool boolean = false;
    std::string text;                    // a string's value, or a number's digits as written
    std::vector<JsonValue> items;        // array elements
    std::vector<std::string> keys;       // object keys in document order
    std::map<std::string, JsonValue> fields;

    bool isInteger() const;
    int64_t integer() const;             // throws unless isInteger()
    bool has(const std::string& key) const { return fields.count(key) != 0; }
    const JsonValue& operator[](const std::string& key) const;  // throws when absent
};

}  // namespace quarvell::testing
