#include "common/TextFormat.h"

#include <cctype>
#include <charconv>
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

namespace {

// "N.NN UNIT": to_chars rounds exactly as printf's "%.2f" does, without the format parsing.
std::string twoDecimals(double value, const char* unit) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf - 8, value, std::chars_format::fixed, 2);
    std::string out(buf, r.ptr);
    out += unit;
    return out;
}

char* twoDigits(char* at, int v) {
    at[0] = char('0' + v / 10 % 10);
    at[1] = char('0' + v % 10);
    return at + 2;
}

}  // namespace

std::string sizeText(uint64_t bytes) {
    const double b = double(bytes);
    if (bytes >= (uint64_t(1) << 30)) return twoDecimals(b / double(uint64_t(1) << 30), " GB");
    if (bytes >= (uint64_t(1) << 20)) return twoDecimals(b / double(uint64_t(1) << 20), " MB");
    if (bytes >= (uint64_t(1) << 10)) return twoDecimals(b / 1024.0, " KB");
    return std::to_string(bytes) + " Bytes";
}

std::string dateText(const std::tm& t) {
    int hour = t.tm_hour % 12;
    if (hour == 0) hour = 12;
    const int year = t.tm_year + 1900;
    // The common case, a four-digit year and fields in range, is written digit by digit; anything
    // else goes through printf so odd values keep their printf form.
    if (year < 1000 || year > 9999 || t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 0 || t.tm_mday > 99 ||
        t.tm_hour < 0 || t.tm_hour > 23 || t.tm_min < 0 || t.tm_min > 59)
        return format("%02d/%02d/%d  %02d:%02d %s", t.tm_mon + 1, t.tm_mday, year, hour, t.tm_min,
                      t.tm_hour < 12 ? "AM" : "PM");
    char buf[20];
    char* at = twoDigits(buf, t.tm_mon + 1);
    *at++ = '/';
    at = twoDigits(at, t.tm_mday);
    *at++ = '/';
    at = twoDigits(twoDigits(at, year / 100), year % 100);
    *at++ = ' ';
    *at++ = ' ';
    at = twoDigits(at, hour);
    *at++ = ':';
    at = twoDigits(at, t.tm_min);
    *at++ = ' ';
    *at++ = t.tm_hour < 12 ? 'A' : 'P';
    *at++ = 'M';
    return std::string(buf, at);
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
