#include <cstring>

#include "disk/ImageBackend.h"

namespace quarvell {

namespace {

bool startsWith(const uint8_t* data, size_t len, const char* magic, size_t magicLen) {
    return len >= magicLen && std::memcmp(data, magic, magicLen) == 0;
}

// ".000", ".001" (three digits), or ".aa"/".aaa": the names split(1) and imaging tools give the
// first part of a split raw image.
bool hasFirstPartName(const std::string& path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || dot == 0 || (slash != std::string::npos && dot < slash + 2)) return false;
    const std::string suffix = path.substr(dot + 1);
    if (suffix == "000" || suffix == "001") return true;
    return suffix == "aa" || suffix == "aaa";
}

}  // namespace

ImageFormat detectImageFormat(const std::string& path, const uint8_t* head, size_t headLen, const uint8_t* tail,
                              size_t tailLen) {
    if (startsWith(head, headLen, "EVF\x09\x0d\x0a\xff\x00", 8)) return ImageFormat::Ewf;
    if (startsWith(head, headLen, "vhdxfile", 8)) return ImageFormat::Vhdx;
    if (startsWith(head, headLen, "QFI\xfb", 4)) return ImageFormat::Qcow;
    if (startsWith(head, headLen, "KDMV", 4) || startsWith(head, headLen, "COWD", 4) ||
        startsWith(head, headLen, "# Disk DescriptorFile", 21))
        return ImageFormat::Vmdk;
    // A dynamic VHD carries a copy of its footer at the start; a fixed one only at the end
    // (512 bytes, or 511 from the oldest writers).
    if (startsWith(head, headLen, "conectix", 8)) return ImageFormat::Vhd;
    if (tailLen >= 512 && std::memcmp(tail + tailLen - 512, "conectix", 8) == 0) return ImageFormat::Vhd;
    if (tailLen >= 511 && std::memcmp(tail + tailLen - 511, "conectix", 8) == 0) return ImageFormat::Vhd;
    if (hasFirstPartName(path)) return ImageFormat::SplitRaw;
    return ImageFormat::Plain;
}

}  // namespace quarvell
