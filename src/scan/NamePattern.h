#pragma once
// A search pattern, compiled once, matched against file names in bounded time: a name that
// would need more than the match limit's steps counts as no match and is counted.
#include <memory>
#include <optional>
#include <string>

namespace quarvell {

class NamePattern {
public:
    enum class Result { Match, NoMatch, TooComplex };

    // Case-insensitive, UTF-8 aware; nothing when the pattern is not a valid expression.
    static std::optional<NamePattern> compile(const std::string& pattern);

    // Whether the name contains a match somewhere.
    Result search(const std::string& name) const;

private:
    struct Compiled;
    explicit NamePattern(std::shared_ptr<const Compiled> compiled) : compiled_(std::move(compiled)) {}
    std::shared_ptr<const Compiled> compiled_;
};

}  // namespace quarvell
