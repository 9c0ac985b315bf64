#include "tests/support/pty_peer.h"

namespace testing_support {

std::unique_ptr<PtyPeer> PtyPeer::open() {
    return nullptr;
}

const char* PtyPeer::unavailableReason() {
    return "no pseudo-terminal from inside a Windows process";
}

std::unique_ptr<StandardInputProbe> StandardInputProbe::install() {
    return nullptr;
}

}  // namespace testing_support
