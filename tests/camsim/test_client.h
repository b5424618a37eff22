// A minimal blocking client for the simulator's tests: raw HTTP over TCP and UDP sockets on loopback.
#ifndef TESTS_CAMSIM_TEST_CLIENT_H
#define TESTS_CAMSIM_TEST_CLIENT_H

#include <cstdint>
#include <string>

namespace camsim_test {

// Connects to 127.0.0.1:port, sends `request` and reads until the peer closes, `maxBytes` arrive or
// `timeoutMs` pass. `*reset` tells whether the connection was reset.
std::string Exchange(uint16_t port, const std::string& request, std::size_t maxBytes, int timeoutMs,
                     bool* reset = nullptr);

// A TCP connection to 127.0.0.1:port, or -1.
int Connect(uint16_t port);
// Reads from `fd` until the peer closes or `timeoutMs` pass.
std::string ReadAll(int fd, int timeoutMs);

// "GET <target> HTTP/1.1" with the viewer's header lines and an optional authorization line.
std::string ViewerGet(uint16_t port, const std::string& path, const std::string& authorization = {});
std::string ViewerPost(uint16_t port, const std::string& path, const std::string& body,
                       const std::string& authorization = {});

// A UDP socket bound on 127.0.0.1 to `port` (0: any); returns the descriptor and the bound port.
int BindUdp(uint16_t port, uint16_t* bound);
// A client's RTP pair on 127.0.0.1: a data port chosen by the system and the RTCP port above it (where the
// camera sends its reports). `rtcp` is -1 when no such pair could be bound.
struct UdpPair {
    int data = -1, rtcp = -1;
    uint16_t port = 0;
    UdpPair();
    ~UdpPair();
    UdpPair(const UdpPair&) = delete;
    UdpPair& operator=(const UdpPair&) = delete;
};
// Receives one datagram within `timeoutMs`; empty on time-out.
std::string ReceiveDatagram(int fd, int timeoutMs, uint16_t* fromPort = nullptr);
void SendDatagram(int fd, uint16_t port, const std::string& data);

// The body after the reply header, and the status code of a reply.
std::string BodyOf(const std::string& reply);
int StatusOf(const std::string& reply);

}  // namespace camsim_test

#endif
