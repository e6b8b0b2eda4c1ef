#include "app/InstanceGuard.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quarvell {

InstanceGuard::InstanceGuard(const std::string& name) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // Abstract namespace: the address starts with a NUL byte and names no file.
    const size_t length = std::min(name.size(), sizeof(address.sun_path) - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);
    const socklen_t size = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + length);

    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;  // no guard to be had: let this copy run
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
        refused_ = errno == EADDRINUSE;
        ::close(fd);
        return;
    }
    fd_ = fd;
}

InstanceGuard::~InstanceGuard() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace quarvell
