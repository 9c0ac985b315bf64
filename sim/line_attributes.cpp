#include "sim/line_attributes.h"

#include <utility>

namespace sim {

namespace {

const std::pair<speed_t, unsigned> kSpeeds[] = {
    {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
};

int flag(tcflag_t field, tcflag_t mask) {
    return (field & mask) != 0 ? 1 : 0;
}

int dataBits(const termios& settings) {
    switch (settings.c_cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

}  // namespace

unsigned baudOf(speed_t speed) {
    for (const auto& [code, bits] : kSpeeds) {
        if (code == speed) return bits;
    }
    return 0;
}

bool isRaw(const termios& s) {
    return (s.c_lflag & (ICANON | ECHO | ECHONL | ISIG)) == 0 && (s.c_oflag & OPOST) == 0 &&
           (s.c_iflag & (ISTRIP | INLCR | IGNCR | ICRNL | PARMRK)) == 0;
}

std::string describeAttributes(const termios& s) {
    std::string text;
    auto field = [&text](const char* name, long value) {
        if (!text.empty()) text += ' ';
        text += name;
        text += '=';
        text += std::to_string(value);
    };
    field("baud", baudOf(cfgetospeed(&s)));
    field("ispeed", baudOf(cfgetispeed(&s)));
    field("csize", dataBits(s));
    field("cstopb", flag(s.c_cflag, CSTOPB));
    field("parenb", flag(s.c_cflag, PARENB));
    field("parodd", flag(s.c_cflag, PARODD));
    field("crtscts", flag(s.c_cflag, CRTSCTS));
    field("clocal", flag(s.c_cflag, CLOCAL));
    field("cread", flag(s.c_cflag, CREAD));
    field("raw", isRaw(s) ? 1 : 0);
    field("icanon", flag(s.c_lflag, ICANON));
    field("echo", flag(s.c_lflag, ECHO));
    field("isig", flag(s.c_lflag, ISIG));
    field("iexten", flag(s.c_lflag, IEXTEN));
    field("opost", flag(s.c_oflag, OPOST));
    field("icrnl", flag(s.c_iflag, ICRNL));
    field("inlcr", flag(s.c_iflag, INLCR));
    field("igncr", flag(s.c_iflag, IGNCR));
    field("istrip", flag(s.c_iflag, ISTRIP));
    field("ixon", flag(s.c_iflag, IXON));
    field("ixoff", flag(s.c_iflag, IXOFF));
    field("vmin", s.c_cc[VMIN]);
    field("vtime", s.c_cc[VTIME]);
    return text;
}

}  // namespace sim
