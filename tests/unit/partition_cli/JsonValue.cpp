#include "JsonValue.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace quarvell::testing {

namespace {

JsonValue convert(const nlohmann::ordered_json& j) {
    JsonValue v;
    switch (j.type()) {
        case nlohmann::ordered_json::value_t::null: break;
        case nlohmann::ordered_json::value_t::boolean:
            v.kind = JsonValue::Kind::Bool;
            v.boolean = j.get<bool>();
            break;
        case nlohmann::ordered_json::value_t::number_integer:
        case nlohmann::ordered_json::value_t::number_unsigned:
        case nlohmann::ordered_json::value_t::number_float:
            v.kind = JsonValue::Kind::Number;
            v.text = j.dump();
            break;
        case nlohmann::ordered_json::value_t::string:
            v.kind = JsonValue::Kind::String;
            v.text = j.get<std::string>();
            break;
        case nlohmann::ordered_json::value_t::array:
            v.kind = JsonValue::Kind::Array;
            for (const auto& item : j) v.items.push_back(convert(item));
            break;
        case nlohmann::ordered_json::value_t::object:
            v.kind = JsonValue::Kind::Object;
            for (const auto& [key, item] : j.items()) {
                if (!v.fields.count(key)) v.keys.push_back(key);
                v.fields[key] = convert(item);
            }
            break;
        default: throw std::runtime_error("JSON: unexpected value");
    }
    return v;
}

}  // namespace

JsonValue JsonValue::parse(const std::string& text) {
    try {
        return convert(nlohmann::ordered_json::parse(text));
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error(std::string("JSON: ") + e.what());
    }
}

bool JsonValue::isInteger() const {
    if (kind != Kind::Number || text.empty()) return false;
    for (size_t i = text[0] == '-' ? 1 : 0; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

int64_t JsonValue::integer() const {
    if (!isInteger()) throw std::runtime_error("JSON: not an integer: " + text);
    return std::stoll(text);
}

const JsonValue& JsonValue::operator[](const std::string& key) const {
    auto it = fields.find(key);
    if (it == fields.end()) throw std::runtime_error("JSON: no key " + key);
    return it->second;
}

}  // namespace quarvell::testing
