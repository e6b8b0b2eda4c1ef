#include "raw/SignatureEditor.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/TextFormat.h"
#include "common/UiSink.h"
#include "raw/SignatureFileRecord.h"
#include "raw/SignatureLoader.h"

namespace quarvell {

SignatureEditor::~SignatureEditor() { close(); }

void SignatureEditor::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool SignatureEditor::refuse(const std::string& message) {
    if (sink_) sink_->messageBox(message, kCaption, MsgIcon::Information);
    return false;
}

bool SignatureEditor::chooseFile(const std::string& path) {
    close();
    path_.clear();
    created_ = false;
    int fd = -1;
    if (!path.empty()) {
        // An existing file is opened as it is; only a missing one is created, and remembered as
        // made here, so that a file nothing was written to can go again.
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            created_ = fd >= 0;
        }
    }
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        fd = -1;
        created_ = false;
    }
    if (fd < 0) return refuse(kFileCannotBeCreatedText);
    fd_ = fd;
    path_ = path;
    return true;
}

void SignatureEditor::discardIfCreatedAndEmpty() {
    if (fd_ < 0 || !created_) return;
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && st.st_size == 0) {
        ::unlink(path_.c_str());
        close();
        path_.clear();
    }
    created_ = false;
}

std::optional<std::vector<uint8_t>> SignatureEditor::parseSignatureBytes(const std::string& text,
                                                                        std::string* badPiece) {
    std::vector<uint8_t> out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        std::string piece = trim(text.substr(start, comma - start));
        start = comma + 1;
        if (piece.empty()) continue;
        std::string digits = piece;
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits = digits.substr(2);
        bool hex = !digits.empty() && digits.size() <= 8;
        unsigned long value = 0;
        for (char c : digits) {
            int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
            if (d < 0) hex = false;
            else value = value * 16 + unsigned(d);
        }
        if (!hex || value > 0xFF) {
            if (badPiece) *badPiece = piece;
            return std::nullopt;
        }
        out.push_back(uint8_t(value));
    }
    return out;
}

std::string SignatureEditor::buildRecord(const SignatureForm& form, SignatureFileRecord& r) {
    if (form.extension.empty()) return kExtensionEmptyText;
    r.setExtension(form.extension);

    std::string bad;
    auto header = parseSignatureBytes(form.header, &bad);
    if (!header) return "not a valid signature byte: " + bad;
    if (header->empty()) return kSignatureEmptyText;
    auto footer = parseSignatureBytes(form.footer, &bad);
    if (!footer) return "not a valid signature byte: " + bad;
    if (header->size() > kMaxSignatureBytes || footer->size() > kMaxSignatureBytes) return kSignatureTooLongText;
    std::copy(header->begin(), header->end(), r.header.begin());
    std::copy(footer->begin(), footer->end(), r.footer.begin());
    r.headerLength = uint8_t(header->size());
    r.footerLength = uint8_t(footer->size());

    if (form.sizeFieldByteCount < 0 || form.sizeFieldByteCount > 8) return kSizeBytesTooManyText;
    if (form.sizeFieldOffset < 0 || form.sizeFieldOffset > INT32_MAX || form.headerSize < 0 ||
        form.headerSize > int64_t(UINT32_MAX) || form.skipAmount < 0 || form.approximateSize < 0)
        return kNegativeNumberText;
    if (form.sizeFieldOffset != 0) r.sizeFieldOffset = int32_t(form.sizeFieldOffset);
    r.sizeFieldByteCount = uint32_t(form.sizeFieldByteCount);
    r.headerSize = uint32_t(form.headerSize);
    r.sizeIncludesHeader = form.sizeIncludesHeader ? 1 : 0;
    r.skipAmount = form.skipAmount;
    r.approximateSize = form.approximateSize;
    if (!form.category.empty()) r.setCategory(form.category);
    return {};
}

std::string SignatureEditor::formProblem(const SignatureForm& form) {
    SignatureFileRecord r;
    return buildRecord(form, r);
}

bool SignatureEditor::appendRecord(const SignatureForm& form) {
    if (fd_ < 0) return false;
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return refuse(kRecordNotWrittenText);
    // Appending to a file that is not whole records would shift every record after it.
    if (st.st_size % off_t(kSignatureRecordSize) != 0) return refuse(kNotValidFileText);

    SignatureFileRecord r;
    if (std::string problem = buildRecord(form, r); !problem.empty()) return refuse(problem);
    r.index = uint8_t(uint64_t(st.st_size) / kSignatureRecordSize);

    const auto bytes = r.toBytes();
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, st.st_size + off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // Leave the file as whole records.
            (void)!::ftruncate(fd_, st.st_size);
            return refuse(kRecordNotWrittenText);
        }
        done += size_t(n);
    }
    if (sink_) sink_->messageBox(kRecordWrittenText, kCaption, MsgIcon::Information);
    return true;
}

}  // namespace quarvell
