#include "raw/CarvedFileSaver.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "common/TextFormat.h"
#include "common/WriteAll.h"
#include "disk/SalvagingRead.h"
#include "disk/readWriteInterface.h"
#include "fs/OutputPath.h"

namespace quarvell {

namespace {

constexpr size_t kPiece = 1048576;

std::string withSuffix(const std::string& name, int n) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return name + format(" (%d)", n);
    return name.substr(0, dot) + format("(%d)", n) + name.substr(dot);
}

}  // namespace

CarvedSaveResult CarvedFileSaver::save(readWriteInterface& reader, const std::string& folder, const std::string& name,
                                       int64_t start, int64_t length) {
    CarvedSaveResult result;
    const std::string base = safeComponent(name);
    const std::string dir = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    int fd = -1;
    for (int n = 1; fd < 0 && n < 10000; ++n) {
        result.path = dir + (n == 1 ? base : withSuffix(base, n));
        fd = ::open(result.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        result.error = "cannot create " + result.path + ": " + std::strerror(errno);
        return result;
    }
    std::vector<uint8_t> piece(std::min<size_t>(kPiece, size_t(std::max<int64_t>(length, 0))));
    bool written = true;
    for (int64_t done = 0; written && done < length;) {
        size_t n = size_t(std::min<int64_t>(int64_t(piece.size()), length - done));
        result.unreadableBytes += int64_t(readSalvaging(reader, start + done, piece.data(), uint32_t(n)));
        written = writeAll(fd, piece.data(), n);
        done += int64_t(n);
    }
    if (::close(fd) != 0) written = false;
    if (!written) {
        result.error = "cannot write " + result.path + ": " + std::strerror(errno);
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace quarvell
