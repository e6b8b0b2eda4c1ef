#include "raw/SignatureLoader.h"

#include <fstream>
#include <vector>

#include "common/UiSink.h"
#include "raw/SignatureFileRecord.h"

namespace quarvell {

namespace {

// A record the engine cannot use safely makes the whole file invalid.
bool usable(const SignatureFileRecord& r) {
    return r.headerLength >= 1 && r.headerLength <= kMaxSignatureBytes && r.footerLength <= kMaxSignatureBytes &&
           r.sizeFieldByteCount <= 8;
}

}  // namespace

void SignatureLoader::loadDefaultSignatures(const std::string& path) {
    engine = std::make_unique<myJpg>();
    appendRecords(path, true);
}

bool SignatureLoader::loadSignatureFile(const std::string& path) {
    if (path.empty()) return false;
    if (!engine) engine = std::make_unique<myJpg>();
    return appendRecords(path, false);
}

bool SignatureLoader::appendRecords(const std::string& path, bool quietWhenMissing) {
    std::ifstream in(path, std::ios::binary);
    if (in) in.seekg(0, std::ios::end);
    std::streamoff length = in ? std::streamoff(in.tellg()) : -1;
    if (!in || length < 0) {
        if (!quietWhenMissing && sink_) sink_->messageBox(kCannotOpenFileText, kCaption, MsgIcon::Information);
        return false;
    }
    auto refuse = [this] {
        if (sink_) sink_->messageBox(kNotValidFileText, kCaption, MsgIcon::Information);
        return false;
    };
    const int64_t size = int64_t(length);
    if (size < int64_t(kSignatureRecordSize) || size % int64_t(kSignatureRecordSize) != 0 ||
        size - int64_t(kSignatureRecordSize) > kMaxLastRecordPosition)
        return refuse();

    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return refuse();
    const size_t count = size_t(size) / kSignatureRecordSize;
    std::vector<SignatureFileRecord> records;
    records.reserve(count);
    for (size_t k = 0; k < count; ++k) {
        records.push_back(SignatureFileRecord::fromBytes(bytes.data() + k * kSignatureRecordSize));
        if (!usable(records.back())) return refuse();
    }

    const int64_t base = numberingBase();
    for (size_t k = 0; k < count; ++k) {
        const SignatureFileRecord& r = records[k];
        SignatureMatchEntry m;
        m.extension = r.extension;
        m.extensionLength = r.extensionLength;
        m.header = r.header;
        m.footer = r.footer;
        m.headerLength = r.headerLength;
        m.footerLength = r.footerLength;
        m.index = base + int64_t(k);
        engine->matchEntries.push_back(m);

        RawSignature s;
        s.headerLength = r.headerLength;
        s.footerLength = r.footerLength;
        s.extension = r.extension;
        s.sizeFieldOffset = r.sizeFieldOffset > 0 ? r.sizeFieldOffset : -1;
        s.sizeFieldByteCount = r.sizeFieldByteCount;
        s.headerSize = r.headerSize;
        s.sizeIncludesHeader = r.sizeIncludesHeader;
        s.reserved = r.reserved;
        s.approximateSize = r.approximateSize;
        s.skipAmount = r.skipAmount;
        s.category = r.category;
        engine->signatures.push_back(s);
    }
    return true;
}

}  // namespace quarvell
