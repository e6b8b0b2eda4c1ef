#include "JsonValue.h"

#include <cctype>
#include <stdexcept>

namespace quarvell::testing {

namespace {

class Reader {
public:
    explicit Reader(const std::string& s) : s_(s) {}

    JsonValue document() {
        JsonValue v = value();
        blanks();
        if (at_ != s_.size()) fail("text after the value");
        return v;
    }

private:
    [[noreturn]] void fail(const std::string& why) const {
        throw std::runtime_error("JSON: " + why + " at offset " + std::to_string(at_));
    }
    void blanks() {
        while (at_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[at_]))) ++at_;
    }
    char peek() {
        blanks();
        if (at_ >= s_.size()) fail("unexpected end");
        return s_[at_];
    }
    void expect(char c) {
        if (peek() != c) fail(std::string("expected '") + c + "'");
        ++at_;
    }
    bool literal(const char* word) {
        const std::string w(word);
        if (s_.compare(at_, w.size(), w) != 0) return false;
        at_ += w.size();
        return true;
    }

    JsonValue value() {
        JsonValue v;
        const char c = peek();
        if (c == '{') {
            v.kind = JsonValue::Kind::Object;
            ++at_;
            if (peek() == '}') { ++at_; return v; }
            for (;;) {
                if (peek() != '"') fail("expected a key");
                std::string key = string();
                expect(':');
                if (v.fields.count(key)) fail("duplicate key " + key);
                v.keys.push_back(key);
                v.fields.emplace(key, value());
                if (peek() == ',') { ++at_; continue; }
                expect('}');
                return v;
            }
        }
        if (c == '[') {
            v.kind = JsonValue::Kind::Array;
            ++at_;
            if (peek() == ']') { ++at_; return v; }
            for (;;) {
                v.items.push_back(value());
                if (peek() == ',') { ++at_; continue; }
                expect(']');
                return v;
            }
        }
        if (c == '"') {
            v.kind = JsonValue::Kind::String;
            v.text = string();
            return v;
        }
        if (literal("true")) { v.kind = JsonValue::Kind::Bool; v.boolean = true; return v; }
        if (literal("false")) { v.kind = JsonValue::Kind::Bool; return v; }
        if (literal("null")) return v;
        if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
            v.kind = JsonValue::Kind::Number;
            const size_t begin = at_;
            if (s_[at_] == '-') ++at_;
            while (at_ < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[at_])) || s_[at_] == '.' ||
                                       s_[at_] == 'e' || s_[at_] == 'E' || s_[at_] == '+' || s_[at_] == '-'))
                ++at_;
            v.text = s_.substr(begin, at_ - begin);
            return v;
        }
        fail("unexpected character");
    }

    static void utf8(std::string& out, uint32_t cp) {
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }

    uint32_t hex4() {
        if (at_ + 4 > s_.size()) fail("short \\u escape");
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = s_[at_++];
            v <<= 4;
            if (h >= '0' && h <= '9') v |= uint32_t(h - '0');
            else if (h >= 'a' && h <= 'f') v |= uint32_t(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F') v |= uint32_t(h - 'A' + 10);
            else fail("bad \\u escape");
        }
        return v;
    }

    std::string string() {
        expect('"');
        std::string out;
        for (;;) {
            if (at_ >= s_.size()) fail("unterminated string");
            const char c = s_[at_++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) fail("control character in a string");
            if (c != '\\') { out += c; continue; }
            if (at_ >= s_.size()) fail("unterminated escape");
            const char e = s_[at_++];
            switch (e) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    uint32_t cp = hex4();
                    if (cp >= 0xD800 && cp < 0xDC00 && s_.compare(at_, 2, "\\u") == 0) {
                        at_ += 2;
                        const uint32_t low = hex4();
                        if (low < 0xDC00 || low > 0xDFFF) fail("unpaired surrogate");
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    }
                    utf8(out, cp);
                    break;
                }
                default: fail("unknown escape");
            }
        }
    }

    const std::string& s_;
    size_t at_ = 0;
};

}  // namespace

JsonValue JsonValue::parse(const std::string& text) { return Reader(text).document(); }

bool JsonValue::isInteger() const {
    if (kind != Kind::Number || text.empty()) return false;
    for (size_t i = text[0] == '-' ? 1 : 0; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
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
