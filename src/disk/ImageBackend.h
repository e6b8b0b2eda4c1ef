#pragma once
// What FileReadSeek delegates to when the opened file is a container (EWF, VHD/VHDX, VMDK,
// QCOW2) or the first part of a split raw image: a read-only byte medium of a known size.
#include <cstdint>
#include <memory>
#include <string>

namespace quarvell {

class ImageBackend {
public:
    virtual ~ImageBackend() = default;
    // Bytes of the medium the container holds.
    virtual uint64_t size() const = 0;
    // Reads [offset, offset + count) into out, count <= kImagePiece, offset + count <= size().
    // Returns the bytes that were read correctly from the start (count when all were); what
    // lies in out past them is undefined. A chunk that fails its checksum or cannot be
    // decompressed ends the good bytes like a bad sector does.
    virtual uint32_t readAt(uint64_t offset, uint8_t* out, uint32_t count) = 0;
    // The container's name for messages ("EWF", "VHD", "split raw", ...).
    virtual const char* formatName() const = 0;
};

// Largest single readAt: reads are passed on in pieces of this size through one bounded buffer.
constexpr uint32_t kImagePiece = 1u << 20;

// What the content (or, for split raw, the name) says the file at path is.
enum class ImageFormat { Plain, Ewf, Vhd, Vhdx, Vmdk, Qcow, SplitRaw };

// head: the file's first bytes (up to 512), tail: its last 512 bytes (or fewer for a short file).
ImageFormat detectImageFormat(const std::string& path, const uint8_t* head, size_t headLen, const uint8_t* tail,
                              size_t tailLen);

// Each opens path read-only; on failure returns null and sets error to what is wrong, naming the
// file when it is not path itself.
std::unique_ptr<ImageBackend> openSplitRawImage(const std::string& path, std::string& error);
std::unique_ptr<ImageBackend> openEwfImage(const std::string& path, std::string& error);
std::unique_ptr<ImageBackend> openVhdImage(const std::string& path, std::string& error);
std::unique_ptr<ImageBackend> openVmdkImage(const std::string& path, std::string& error);
// A text descriptor whose extents are all flat or zero; null (error empty) for other VMDKs.
std::unique_ptr<ImageBackend> openVmdkFlatDescriptor(const std::string& path, std::string& error);
std::unique_ptr<ImageBackend> openQcowImage(const std::string& path, std::string& error);

}  // namespace quarvell
