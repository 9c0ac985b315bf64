#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/support/socket.h"

namespace testing_support {

namespace {

bool startWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

}  // namespace

SocketHandle connectTcp(const std::string& host, std::uint16_t port, std::string& error) {
    if (!startWinsock()) {
        error = "WSAStartup failed";
        return kNoSocket;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = inet_addr(host.c_str());
    if (address.sin_addr.s_addr == INADDR_NONE) {
        error = "not an IPv4 address: " + host;
        return kNoSocket;
    }
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET ||
        connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = "winsock error " + std::to_string(WSAGetLastError());
        if (s != INVALID_SOCKET) closesocket(s);
        return kNoSocket;
    }
    const BOOL yes = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes), sizeof yes);
    return static_cast<SocketHandle>(s);
}

bool sendAll(SocketHandle socket, const char* bytes, std::size_t count) {
    while (count > 0) {
        const int sent = send(static_cast<SOCKET>(socket), bytes, static_cast<int>(count), 0);
        if (sent <= 0) return false;
        bytes += sent;
        count -= static_cast<std::size_t>(sent);
    }
    return true;
}

int receiveSome(SocketHandle socket, char* buffer, std::size_t size, int timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(socket), &readable);
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int ready = select(0, &readable, nullptr, nullptr, &timeout);
    if (ready == 0) return -2;
    if (ready < 0) return -1;
    const int got = recv(static_cast<SOCKET>(socket), buffer, static_cast<int>(size), 0);
    return got < 0 ? -1 : got;
}

void closeSocket(SocketHandle socket) {
    if (socket != kNoSocket) closesocket(static_cast<SOCKET>(socket));
}

}  // namespace testing_support
