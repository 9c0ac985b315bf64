// The simulator's end of the serial line: the master side of a
// pseudo-terminal whose slave the driver opens, published under a stable path.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <string>

namespace sim {

class PtyLine {
public:
    // linkPath may be empty: the line is then found only by its slave path.
    explicit PtyLine(std::string linkPath);
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // A new pseudo-terminal (after hanging up the old one), slave in raw
    // mode, and the link swung over to it in one step. False with `error`.
    bool plug(std::string& error);
    // Closes the master as a pulled-out adapter does: reads on the driver's
    // slave then fail with EIO. The link stays, pointing at nothing (not at
    // the terminal's old name, which the system hands out again).
    void hangup();

    bool isUp() const { return master_ >= 0; }
    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    const std::string& linkPath() const { return link_; }

    // The settings the driver applied to its side (read on the master).
    bool attributes(termios& settings) const;
    // Drops whatever either side has not read yet.
    void discardPending() const;

private:
    bool publishLink(const std::string& target, std::string& error) const;
    std::string unpluggedTarget() const;
    void startTerminalHolder();

    std::string link_;
    std::string slavePath_;
    int master_ = -1;
    // The simulator holds the slave open too, so that the driver's settings
    // survive its closing and reopening the port, and the master never sees
    // a hang-up of its own.
    int slave_ = -1;
    // A child process whose own session has the slave as its controlling
    // terminal. Without it, the first session leader that opens the slave
    // without O_NOCTTY takes it over (Wine's wineserver does) and is sent
    // SIGHUP when the line is hung up.
    pid_t holder_ = -1;
};

}  // namespace sim
