#include "socket_util.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace camsim {

Fd& Fd::operator=(Fd&& o) noexcept {
    if (this != &o) {
        Close();
        fd_ = o.Release();
    }
    return *this;
}

int Fd::Release() {
    return std::exchange(fd_, -1);
}

void Fd::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool MakeAddress(const std::string& dotted, uint16_t port, sockaddr_in* out) {
    std::memset(out, 0, sizeof *out);
    out->sin_family = AF_INET;
    out->sin_port = htons(port);
    return inet_pton(AF_INET, dotted.c_str(), &out->sin_addr) == 1;
}

std::string HostText(const sockaddr_in& a) {
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, buf, sizeof buf);
    return buf;
}

std::string AddressText(const sockaddr_in& a) {
    return HostText(a) + ":" + std::to_string(ntohs(a.sin_port));
}

bool SendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace camsim
