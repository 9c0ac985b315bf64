// The line-rate benchmark's hold on the device simulator's control channel:
// one TCP connection, one command line out and one reply line back.
#pragma once

#include <string>

class SimControl {
public:
    // Connects to "HOST:PORT"; connected() tells whether it worked.
    explicit SimControl(const std::string& address);
    ~SimControl();
    SimControl(const SimControl&) = delete;
    SimControl& operator=(const SimControl&) = delete;

    bool connected() const { return socket_ >= 0; }
    // The reply line without its end of line; empty when the channel failed.
    std::string command(const std::string& line);

private:
    int socket_ = -1;
    std::string pending_;
};
