#include "bench/sim_control.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

constexpr int kReplyTimeoutMs = 10000;

}  // namespace

SimControl::SimControl(const std::string& address) {
    const auto colon = address.rfind(':');
    if (colon == std::string::npos) {
        return;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<std::uint16_t>(std::atoi(address.c_str() + colon + 1)));
    if (inet_pton(AF_INET, address.substr(0, colon).c_str(), &peer.sin_addr) != 1) {
        return;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        ::close(fd);
        return;
    }
    socket_ = fd;
}

SimControl::~SimControl() {
    if (socket_ >= 0) {
        ::close(socket_);
    }
}

std::string SimControl::command(const std::string& line) {
    if (socket_ < 0) {
        return {};
    }
    const std::string out = line + "\n";
    std::size_t sent = 0;
    while (sent < out.size()) {
        const ssize_t n = ::send(socket_, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return {};
        }
        sent += static_cast<std::size_t>(n);
    }
    for (;;) {
        const auto end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string reply = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!reply.empty() && reply.back() == '\r') {
                reply.pop_back();
            }
            return reply;
        }
        pollfd ready{socket_, POLLIN, 0};
        const int polled = ::poll(&ready, 1, kReplyTimeoutMs);
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0) {
            return {};
        }
        char buffer[65536];
        const ssize_t n = ::recv(socket_, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return {};
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}
