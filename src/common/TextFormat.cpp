#include "common/TextFormat.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace quarvell {

std::string format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        std::vector<char> buf(size_t(n) + 1);
        std::vsnprintf(buf.data(), buf.size(), fmt, args);
        out.assign(buf.data(), size_t(n));
    }
    va_end(args);
    return out;
}

std::string sizeText(uint64_t bytes) {
    const double b = double(bytes);
    if (bytes >= (uint64_t(1) << 30)) return format("%.2f GB", b / double(uint64_t(1) << 30));
    if (bytes >= (uint64_t(1) << 20)) return format("%.2f MB", b / double(uint64_t(1) << 20));
    if (bytes >= (uint64_t(1) << 10)) return format("%.2f KB", b / 1024.0);
    return format("%lld Bytes", static_cast<long long>(bytes));
}

std::string dateText(const std::tm& t) {
    int hour = t.tm_hour % 12;
    if (hour == 0) hour = 12;
    return format("%02d/%02d/%d  %02d:%02d %s", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900, hour, t.tm_min,
                  t.tm_hour < 12 ? "AM" : "PM");
}

std::string dateTextFromUnix(int64_t unixSeconds) {
    std::time_t tt = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
    if (!localtime_r(&tt, &local)) return {};
    return dateText(local);
}

int64_t leadingNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int64_t v = 0;
    bool any = false;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        if (v > (INT64_MAX - 9) / 10) break;
        v = v * 10 + (text[i++] - '0');
        any = true;
    }
    if (!any) return 0;
    return negative ? -v : v;
}

std::string trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    size_t b = text.find_first_not_of(blanks);
    if (b == std::string::npos) return {};
    size_t e = text.find_last_not_of(blanks);
    return text.substr(b, e - b + 1);
}

std::string toLower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool equalsNoCase(const std::string& a, const std::string& b) { return toLower(a) == toLower(b); }

}  // namespace quarvell
