#pragma once
// Reads settings files into a carving engine: the default catalogue first (which starts a new
// engine and numbers from 0), then any chosen file, numbered after the signatures already loaded.
#include <cstdint>
#include <memory>
#include <string>

#include "raw/myJpg.h"

namespace quarvell {

class UiSink;

inline constexpr const char* kNotValidFileText = "not a valid file..";
inline constexpr const char* kCannotOpenFileText = "can not open file";
inline constexpr int64_t kMaxLastRecordPosition = 1048576;

class SignatureLoader {
public:
    explicit SignatureLoader(UiSink* sink = nullptr) : sink_(sink) {}

    // The default catalogue: a missing file loads nothing and says nothing.
    void loadDefaultSignatures(const std::string& path);
    // A chosen settings file; false (with a message) when it cannot be read or is not valid.
    bool loadSignatureFile(const std::string& path);

    // The number the next loaded signature gets.
    int64_t numberingBase() const { return engine ? int64_t(engine->signatures.size()) : 0; }

    std::unique_ptr<myJpg> engine;

private:
    bool appendRecords(const std::string& path, bool quietWhenMissing);

    UiSink* sink_;
};

}  // namespace quarvell
