// A refused second open leaves the line to the port that holds it: the
// terminal's exclusive flag, which keeps other programs out, stays set.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "device/CRS232H.h"
#include "tests/serial/port_fixture.h"
#include "tests/support/pty_peer.h"

namespace serial_tests {
namespace {

// TIOCGEXCL through a descriptor of its own (a privileged opener gets one
// even while the flag is set).
int exclusiveFlag(const std::string& name) {
    const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    int flag = -1;
    ioctl(fd, TIOCGEXCL, &flag);
    ::close(fd);
    return flag;
}

TEST(ExclusiveOpen, RefusedSecondOpenLeavesTheHoldersFlagSet) {
    auto peer = testing_support::PtyPeer::open();
    ASSERT_TRUE(peer);
    const std::string name = peer->portName();
    CMessageH log = plainLog();
    CRS232H holder(&log);
    ASSERT_TRUE(holder.openPort(name.c_str()));
    if (geteuid() != 0) {
        GTEST_SKIP() << "only a privileged opener gets past the flag to look at it";
    }
    ASSERT_EQ(exclusiveFlag(name), 1);
    CRS232H second(&log);
    testing_support::captureOutput([&] { EXPECT_FALSE(second.openPort(name.c_str())); });
    EXPECT_EQ(exclusiveFlag(name), 1);
    EXPECT_TRUE(holder.closePort());
    EXPECT_EQ(exclusiveFlag(name), 0);
}

}  // namespace
}  // namespace serial_tests
