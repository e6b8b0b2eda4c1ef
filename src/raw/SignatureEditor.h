#pragma once
// The signature editor's rules without its window: choose a settings file (an existing one is
// opened for appending, never emptied) and append one record built from the form's fields.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarvell {

class UiSink;
struct SignatureFileRecord;

inline constexpr const char* kFileCannotBeCreatedText = "file can not be created";
inline constexpr const char* kExtensionEmptyText = "extention length is zero..";
inline constexpr const char* kSignatureEmptyText = "signature length is zero..";
inline constexpr const char* kRecordWrittenText = "everything initialized well.....";
inline constexpr const char* kSignatureTooLongText = "signature is longer than 10 bytes..";
inline constexpr const char* kSizeBytesTooManyText = "number of bytes in size must be at most 8..";
inline constexpr const char* kNegativeNumberText = "sizes and offsets are whole numbers from 0..";
inline constexpr const char* kRecordNotWrittenText = "record could not be written..";

// The editor's fields; the number fields hold what the digit-only edits give (empty = 0).
struct SignatureForm {
    std::string extension;
    std::string header;  // "0x89,0x50,..." or "89,50,..."
    std::string footer;
    int64_t sizeFieldOffset = 0;  // 0 = none
    int64_t sizeFieldByteCount = 0;
    int64_t headerSize = 0;
    bool sizeIncludesHeader = false;
    int64_t skipAmount = 0;
    int64_t approximateSize = 0;
    std::string category;
};

class SignatureEditor {
public:
    explicit SignatureEditor(UiSink* sink = nullptr) : sink_(sink) {}
    ~SignatureEditor();
    SignatureEditor(const SignatureEditor&) = delete;
    SignatureEditor& operator=(const SignatureEditor&) = delete;

    // Opens the file for appending, creating it when it does not exist ("file can not be
    // created" otherwise). An existing file keeps its records.
    bool chooseFile(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // Appends one record at the file's end with the messages of the editor; does nothing
    // without an open file.
    bool appendRecord(const SignatureForm& form);
    // Removes (and closes) the file when chooseFile created it and it is still empty: for a
    // caller whose one append failed, so that no empty settings file stays behind.
    void discardIfCreatedAndEmpty();

    // Why the form cannot make a record (the editor's message), or empty when it can: for
    // callers that check everything before they create or open a file.
    static std::string formProblem(const SignatureForm& form);

    // Splits "0x89, 50,,0x4E" at commas (empty pieces skipped), each piece a hexadecimal byte.
    // Returns nothing and names the bad piece when one is not a byte.
    static std::optional<std::vector<uint8_t>> parseSignatureBytes(const std::string& text, std::string* badPiece);

private:
    static std::string buildRecord(const SignatureForm& form, SignatureFileRecord& record);
    bool refuse(const std::string& message);
    void close();

    UiSink* sink_;
    int fd_ = -1;
    bool created_ = false;  // chooseFile made the file
    std::string path_;
};

}  // namespace quarvell
