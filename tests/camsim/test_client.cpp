#include "test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace camsim_test {

int Connect(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

namespace {

std::string Receive(int fd, std::size_t maxBytes, int timeoutMs, bool* reset) {
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < maxBytes) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buf[65536];
        const ssize_t n = ::recv(fd, buf, std::min(sizeof buf, maxBytes - out.size()), 0);
        if (n < 0 && errno == ECONNRESET && reset) *reset = true;
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

}  // namespace

std::string ReadAll(int fd, int timeoutMs) {
    return Receive(fd, 1 << 20, timeoutMs, nullptr);
}

std::string Exchange(uint16_t port, const std::string& request, std::size_t maxBytes, int timeoutMs,
                     bool* reset) {
    if (reset) *reset = false;
    const int fd = Connect(port);
    if (fd < 0) return {};
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string out = Receive(fd, maxBytes, timeoutMs, reset);
    ::close(fd);
    return out;
}

std::string ViewerGet(uint16_t port, const std::string& path, const std::string& authorization) {
    const std::string host = "127.0.0.1:" + std::to_string(port);
    return "GET http://" + host + path + " HTTP/1.1\r\nHOST: " + host +
           "\r\nConnection: close\r\nCache-Control: no-cache\r\n" + authorization + "\r\n";
}

std::string ViewerPost(uint16_t port, const std::string& path, const std::string& body,
                       const std::string& authorization) {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nUser-Agent: Lumaro ActiveX Viewer\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n" + authorization + "\r\n" + body;
}

int BindUdp(uint16_t port, uint16_t* bound) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *bound = ntohs(a.sin_port);
    return fd;
}

UdpPair::UdpPair() {
    // Ports the system hands out are not used by another run at the same time; the one above may be, so a
    // few draws are tried.
    for (int attempt = 0; attempt < 50 && rtcp < 0; ++attempt) {
        data = BindUdp(0, &port);
        if (data < 0 || port == 65535) continue;
        uint16_t above = 0;
        rtcp = BindUdp(static_cast<uint16_t>(port + 1), &above);
        if (rtcp < 0) ::close(data);
    }
    if (rtcp < 0) data = -1;
}

UdpPair::~UdpPair() {
    if (rtcp >= 0) ::close(rtcp), ::close(data);
}

std::string ReceiveDatagram(int fd, int timeoutMs, uint16_t* fromPort) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return {};
    char buf[2048];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (fromPort) *fromPort = ntohs(from.sin_port);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

void SendDatagram(int fd, uint16_t port, const std::string& data) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
}

std::string BodyOf(const std::string& reply) {
    const auto e = reply.find("\r\n\r\n");
    return e == std::string::npos ? std::string() : reply.substr(e + 4);
}

int StatusOf(const std::string& reply) {
    return reply.size() > 12 ? std::atoi(reply.c_str() + 9) : 0;
}

}  // namespace camsim_test
