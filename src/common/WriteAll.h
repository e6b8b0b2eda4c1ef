#pragma once
// Writes a whole buffer to a file descriptor, going on after partial writes and interrupts.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <unistd.h>

namespace quarvell {

inline bool writeAll(int fd, const uint8_t* data, size_t count) {
    while (count > 0) {
        ssize_t n = ::write(fd, data, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        count -= size_t(n);
    }
    return true;
}

}  // namespace quarvell
