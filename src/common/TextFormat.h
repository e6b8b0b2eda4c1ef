#pragma once
// Texts shared by every parser and page: printf-style formatting, size texts, date texts.
#include <cstdint>
#include <ctime>
#include <string>

namespace quarvell {

// printf into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// "%.2f GB" from 2^30 bytes, "%.2f MB" from 2^20, "%.2f KB" from 2^10, otherwise "%lld Bytes".
std::string sizeText(uint64_t bytes);

// "%02d/%02d/%d  %02d:%02d AM|PM" (month, day, year, 12-hour clock) of a local broken-down time.
std::string dateText(const std::tm& local);
// The same for seconds since 1970-01-01 UTC, shown in local time; "" when out of range.
std::string dateTextFromUnix(int64_t unixSeconds);

// The leading decimal number of a text such as "100   MB" (0 when there is none).
int64_t leadingNumber(const std::string& text);

// Trims blanks (spaces, tabs, CR, LF) at both ends.
std::string trim(const std::string& text);
std::string toLower(std::string text);
bool equalsNoCase(const std::string& a, const std::string& b);

}  // namespace quarvell
