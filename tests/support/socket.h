// A TCP connection for test clients, the few calls that differ between the
// platforms (socket_linux.cpp, socket_windows.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testing_support {

using SocketHandle = std::intptr_t;
constexpr SocketHandle kNoSocket = -1;

// kNoSocket with `error` when the connection cannot be made.
SocketHandle connectTcp(const std::string& host, std::uint16_t port, std::string& error);
bool sendAll(SocketHandle socket, const char* bytes, std::size_t count);
// Bytes received (> 0), 0 when the peer closed, -1 on failure, -2 when
// nothing arrived within timeoutMs.
int receiveSome(SocketHandle socket, char* buffer, std::size_t size, int timeoutMs);
void closeSocket(SocketHandle socket);

}  // namespace testing_support
