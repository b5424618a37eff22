// Small POSIX socket helpers shared by the HTTP and RTP sides.
#ifndef CAMSIM_SOCKET_UTIL_H
#define CAMSIM_SOCKET_UTIL_H

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace camsim {

// An owned file descriptor.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& o) noexcept : fd_(o.Release()) {}
    Fd& operator=(Fd&& o) noexcept;
    ~Fd() { Close(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int Release();
    void Close();

  private:
    int fd_ = -1;
};

// Fills `out` from a dotted IPv4 address and port; false when the text is not an address.
bool MakeAddress(const std::string& dotted, uint16_t port, sockaddr_in* out);
std::string AddressText(const sockaddr_in& a);  // "a.b.c.d:port"
std::string HostText(const sockaddr_in& a);     // "a.b.c.d"

// Sends all of `data` (no SIGPIPE); false when the peer is gone.
bool SendAll(int fd, std::string_view data);

}  // namespace camsim

#endif
