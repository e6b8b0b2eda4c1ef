#define PCRE2_CODE_UNIT_WIDTH 8
#include "scan/NamePattern.h"

#include <pcre2.h>

namespace quarvell {

namespace {
// Enough for any sensible pattern on a 255-character name; a catastrophic one stops here.
constexpr uint32_t kMatchLimit = 200000;
constexpr uint32_t kDepthLimit = 10000;
}  // namespace

struct NamePattern::Compiled {
    pcre2_code* code = nullptr;
    pcre2_match_context* context = nullptr;
    ~Compiled() {
        pcre2_match_context_free(context);
        pcre2_code_free(code);
    }
};

std::optional<NamePattern> NamePattern::compile(const std::string& pattern) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    auto compiled = std::make_shared<Compiled>();
    compiled->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                   PCRE2_CASELESS | PCRE2_UTF | PCRE2_MATCH_INVALID_UTF, &error, &offset, nullptr);
    if (!compiled->code) return std::nullopt;
    compiled->context = pcre2_match_context_create(nullptr);
    if (!compiled->context) return std::nullopt;
    pcre2_set_match_limit(compiled->context, kMatchLimit);
    pcre2_set_depth_limit(compiled->context, kDepthLimit);
    return NamePattern(std::move(compiled));
}

NamePattern::Result NamePattern::search(const std::string& name) const {
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(compiled_->code, nullptr);
    if (!data) return Result::TooComplex;
    const int rc = pcre2_match(compiled_->code, reinterpret_cast<PCRE2_SPTR>(name.data()), name.size(), 0, 0, data,
                               compiled_->context);
    pcre2_match_data_free(data);
    if (rc >= 0) return Result::Match;
    if (rc == PCRE2_ERROR_NOMATCH) return Result::NoMatch;
    return Result::TooComplex;
}

}  // namespace quarvell
