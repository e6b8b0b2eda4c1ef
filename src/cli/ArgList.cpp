#include "cli/ArgList.h"

#include <cerrno>
#include <cstdlib>

namespace quarvell::cli {

bool parseInt64(const std::string& text, int64_t& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    out = v;
    return true;
}

bool ArgList::flag(const std::string& name) {
    bool found = false;
    for (size_t i = 0; i < args_.size();) {
        if (args_[i] == name) {
            args_.erase(args_.begin() + long(i));
            found = true;
        } else {
            ++i;
        }
    }
    return found;
}

std::vector<std::string> ArgList::values(const std::string& name) {
    std::vector<std::string> out;
    for (size_t i = 0; i < args_.size();) {
        if (args_[i] == name) {
            if (i + 1 >= args_.size()) {
                fail(name + " needs a value");
                args_.erase(args_.begin() + long(i));
                continue;
            }
            out.push_back(args_[i + 1]);
            args_.erase(args_.begin() + long(i), args_.begin() + long(i) + 2);
        } else if (args_[i].rfind(name + "=", 0) == 0) {
            out.push_back(args_[i].substr(name.size() + 1));
            args_.erase(args_.begin() + long(i));
        } else {
            ++i;
        }
    }
    return out;
}

std::optional<std::string> ArgList::value(const std::string& name) {
    auto all = values(name);
    if (all.empty()) return std::nullopt;
    return all.back();
}

std::optional<int64_t> ArgList::number(const std::string& name) {
    auto v = value(name);
    if (!v) return std::nullopt;
    int64_t n = 0;
    if (!parseInt64(*v, n)) {
        fail(name + " takes a whole number, not '" + *v + "'");
        return std::nullopt;
    }
    return n;
}

std::vector<std::string> ArgList::positional() {
    std::vector<std::string> out;
    for (const auto& a : args_) {
        if (a.size() > 1 && a[0] == '-' && a != "-") {
            fail("unknown option " + a);
            continue;
        }
        out.push_back(a);
    }
    return out;
}

}  // namespace quarvell::cli
