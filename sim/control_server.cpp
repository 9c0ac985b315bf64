#include "sim/control_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

// A command longer than this is no command (a "send" of 16 KiB still fits).
constexpr std::size_t kMaxLine = 64 * 1024;

void makeNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

}  // namespace

ControlServer::~ControlServer() {
    for (const Client& client : clients_) close(client.socket);
    if (listener_ >= 0) close(listener_);
}

bool ControlServer::listen(std::uint16_t port, std::string& error) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int yes = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    makeNonBlocking(listener_);
    return true;
}

void ControlServer::watch(std::vector<pollfd>& fds) const {
    fds.push_back({listener_, POLLIN, 0});
    for (const Client& client : clients_) {
        const short events = client.output.empty() ? POLLIN : static_cast<short>(POLLIN | POLLOUT);
        fds.push_back({client.socket, events, 0});
    }
}

void ControlServer::service(const pollfd* fds, std::size_t count, const Handler& handler) {
    if (count == 0) return;
    // Clients after the listener, in the order watch() listed them; a client
    // accepted now is looked at in the next round.
    std::vector<Client> kept;
    for (std::size_t i = 0; i < clients_.size(); ++i) {
        Client& client = clients_[i];
        const short ready = i + 1 < count ? fds[i + 1].revents : 0;
        bool alive = true;
        if (ready & (POLLIN | POLLHUP | POLLERR)) alive = readFrom(client, handler);
        if (alive && (ready & POLLOUT)) alive = flush(client);
        if (alive) {
            kept.push_back(std::move(client));
        } else {
            close(client.socket);
        }
    }
    clients_ = std::move(kept);
    if (fds[0].revents & POLLIN) accept();
}

void ControlServer::accept() {
    for (;;) {
        const int socket = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket < 0) return;
        const int yes = 1;
        setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        Client client;
        client.socket = socket;
        clients_.push_back(std::move(client));
    }
}

bool ControlServer::readFrom(Client& client, const Handler& handler) {
    char buffer[4096];
    bool closed = false;
    for (;;) {
        const ssize_t got = recv(client.socket, buffer, sizeof buffer, 0);
        if (got == 0) {
            // Commands sent just before closing still count.
            closed = true;
            break;
        }
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) break;
            return false;
        }
        client.input.append(buffer, static_cast<std::size_t>(got));
        if (client.input.size() > kMaxLine && client.input.find('\n') == std::string::npos) {
            client.output += "error command line too long\n";
            flush(client);
            return false;
        }
    }
    std::string::size_type end;
    while ((end = client.input.find('\n')) != std::string::npos) {
        std::string line = client.input.substr(0, end);
        client.input.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        client.output += handler(line);
        client.output += '\n';
    }
    return flush(client) && !closed;
}

bool ControlServer::flush(Client& client) {
    while (!client.output.empty()) {
        const ssize_t sent =
            send(client.socket, client.output.data(), client.output.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        client.output.erase(0, static_cast<std::size_t>(sent));
    }
    return true;
}

}  // namespace sim
