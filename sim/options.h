// The simulator's command line.
#pragma once

#include <string>

namespace sim {

struct Options {
    std::string link;      // stable path of the line (a symlink to the slave)
    int controlPort = 0;   // 0: the system picks one
    std::string portFile;  // where the chosen control port is written when ready
    std::string mode = "rest";
    std::string frame;   // 28 hex digits: answer with this frame
    std::string script;  // frame script file
    // The channels of an imperfect device, as the commands of those names
    // take them; empty: the command's default.
    std::string restPoint;
    std::string travel;
    std::string noise;
    std::string noiseSeed;
    bool exitWithParent = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
};

// False with `error` on an unknown option or a missing or bad value.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);

std::string usageText();

}  // namespace sim
