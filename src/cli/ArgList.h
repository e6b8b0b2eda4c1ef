#pragma once
// Reads a command's arguments once main has checked them against the command's description
// (CommandLine.h): flags and options are taken out of the list, what remains is positional.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarvell::cli {

class ArgList {
public:
    explicit ArgList(std::vector<std::string>& args) : args_(args) {}

    // True when the flag was present (all occurrences removed).
    bool flag(const std::string& name);
    // The value after the option (last occurrence wins); error set when the value is missing.
    std::optional<std::string> value(const std::string& name);
    // Every value of a repeatable option, in order.
    std::vector<std::string> values(const std::string& name);
    // A whole decimal number (optionally negative); error set when malformed.
    std::optional<int64_t> number(const std::string& name);

    // After all options were taken: the positional arguments. Unknown "--x" options set an error.
    std::vector<std::string> positional();

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    void fail(const std::string& message) { if (error_.empty()) error_ = message; }

private:
    std::vector<std::string>& args_;
    std::string error_;
};

// Parses a whole decimal number; false on anything else.
bool parseInt64(const std::string& text, int64_t& out);

}  // namespace quarvell::cli
