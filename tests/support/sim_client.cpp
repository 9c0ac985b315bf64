#include "tests/support/sim_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace testing_support {

namespace {

constexpr int kReplyTimeoutMs = 10000;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string replyData(const std::string& reply) {
    if (reply.rfind("ok", 0) != 0) return {};
    return reply.size() > 3 ? reply.substr(3) : std::string();
}

}  // namespace

std::string toHex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

std::vector<std::uint8_t> fromHex(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    std::string digits;
    for (const char c : text) {
        if (c != ' ') digits += c;
    }
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::unique_ptr<SimClient> SimClient::fromEnvironment() {
    const std::string control = environment("PALLADOR_SIM_CONTROL");
    const std::string port = environment("PALLADOR_SIM_PORT");
    if (control.empty() || port.empty()) {
        ADD_FAILURE() << "PALLADOR_SIM_CONTROL and PALLADOR_SIM_PORT are not set: run this test "
                         "through tests/with_sim.sh (ctest does)";
        return nullptr;
    }
    const auto colon = control.rfind(':');
    const int number = colon == std::string::npos ? 0 : std::atoi(control.c_str() + colon + 1);
    if (number <= 0 || number > 65535) {
        ADD_FAILURE() << "PALLADOR_SIM_CONTROL is not HOST:PORT: " << control;
        return nullptr;
    }
    std::string error;
    const SocketHandle socket =
        connectTcp(control.substr(0, colon), static_cast<std::uint16_t>(number), error);
    if (socket == kNoSocket) {
        ADD_FAILURE() << "cannot reach the simulator at " << control << ": " << error;
        return nullptr;
    }
    return std::unique_ptr<SimClient>(new SimClient(socket, port));
}

SimClient::SimClient(SocketHandle socket, std::string portName)
    : socket_(socket), portName_(std::move(portName)) {}

SimClient::~SimClient() {
    closeSocket(socket_);
}

std::string SimClient::command(const std::string& line) {
    const std::string request = line + "\n";
    if (!sendAll(socket_, request.data(), request.size()))
        return "error cannot send to the simulator";
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
    for (;;) {
        const auto end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string reply = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return reply;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return "error no reply from the simulator";
        char buffer[4096];
        const int got = receiveSome(socket_, buffer, sizeof buffer, static_cast<int>(left));
        if (got == 0 || got == -1) return "error the simulator closed the control channel";
        if (got > 0) pending_.append(buffer, static_cast<std::size_t>(got));
    }
}

bool SimClient::ok(const std::string& line) {
    const std::string reply = command(line);
    const bool accepted = reply == "ok" || reply.rfind("ok ", 0) == 0;
    EXPECT_TRUE(accepted) << "simulator command '" << line << "' answered: " << reply;
    return accepted;
}

std::map<std::string, std::string> SimClient::attrs() {
    std::map<std::string, std::string> fields;
    std::istringstream words(replyData(command("attrs")));
    std::string word;
    while (words >> word) {
        const auto equals = word.find('=');
        if (equals != std::string::npos) fields[word.substr(0, equals)] = word.substr(equals + 1);
    }
    return fields;
}

bool SimClient::send(const std::vector<std::uint8_t>& bytes) {
    return ok("send " + toHex(bytes));
}

std::vector<std::uint8_t> SimClient::received() {
    return fromHex(replyData(command("received")));
}

std::vector<std::uint8_t> SimClient::receivedAtLeast(std::size_t count, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<std::uint8_t> bytes = received();
    while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const std::vector<std::uint8_t> more = received();
        bytes.insert(bytes.end(), more.begin(), more.end());
    }
    return bytes;
}

std::vector<SimClient::Stamp> SimClient::stamps() {
    std::vector<Stamp> result;
    std::istringstream words(replyData(command("stamps")));
    std::string word;
    while (words >> word) {
        const auto colon = word.find(':');
        if (colon == std::string::npos) continue;
        result.push_back({std::stoll(word.substr(0, colon)), std::stoi(word.substr(colon + 1))});
    }
    return result;
}

}  // namespace testing_support
