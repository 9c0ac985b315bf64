// The control channel: TCP on 127.0.0.1, one text command per line, one
// reply line per command. Several clients may be connected at once.
#pragma once

#include <poll.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim {

class ControlServer {
public:
    using Handler = std::function<std::string(const std::string& command)>;

    ControlServer() = default;
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Port 0 lets the system choose; port() tells which.
    bool listen(std::uint16_t port, std::string& error);
    std::uint16_t port() const { return port_; }

    // Appends the sockets to watch; service() takes the same range back.
    void watch(std::vector<pollfd>& fds) const;
    void service(const pollfd* fds, std::size_t count, const Handler& handler);

private:
    struct Client {
        int socket = -1;
        std::string input;
        std::string output;
    };

    void accept();
    // False when the client has gone or misbehaved and is to be dropped.
    bool readFrom(Client& client, const Handler& handler);
    bool flush(Client& client);

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::vector<Client> clients_;
};

}  // namespace sim
