#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tests/support/socket.h"

namespace testing_support {

SocketHandle connectTcp(const std::string& host, std::uint16_t port, std::string& error) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        error = "not an IPv4 address: " + host;
        return kNoSocket;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = std::strerror(errno);
        if (fd >= 0) close(fd);
        return kNoSocket;
    }
    const int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    return fd;
}

bool sendAll(SocketHandle socket, const char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t sent = send(static_cast<int>(socket), bytes, count, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes += sent;
        count -= static_cast<std::size_t>(sent);
    }
    return true;
}

int receiveSome(SocketHandle socket, char* buffer, std::size_t size, int timeoutMs) {
    pollfd watched{static_cast<int>(socket), POLLIN, 0};
    int ready;
    do {
        ready = poll(&watched, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) return -2;
    if (ready < 0) return -1;
    const ssize_t got = recv(static_cast<int>(socket), buffer, size, 0);
    return got < 0 ? -1 : static_cast<int>(got);
}

void closeSocket(SocketHandle socket) {
    if (socket != kNoSocket) close(static_cast<int>(socket));
}

}  // namespace testing_support
