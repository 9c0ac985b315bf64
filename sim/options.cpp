#include "sim/options.h"

#include <cstdlib>
#include <cstring>

namespace sim {

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                error = option + " needs a value";
                return false;
            }
            into = argv[++i];
            return true;
        };
        std::string text;
        if (option == "--help" || option == "-h") {
            options.help = true;
        } else if (option == "--version") {
            options.version = true;
        } else if (option == "--link") {
            if (!value(options.link)) return false;
        } else if (option == "--control-port") {
            if (!value(text)) return false;
            char* end = nullptr;
            const long port = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || port < 0 || port > 65535) {
                error = "--control-port takes a port number (0 to 65535)";
                return false;
            }
            options.controlPort = static_cast<int>(port);
        } else if (option == "--port-file") {
            if (!value(options.portFile)) return false;
        } else if (option == "--mode") {
            if (!value(options.mode)) return false;
            if (options.mode != "rest" && options.mode != "sweep" && options.mode != "fresh" &&
                options.mode != "passive") {
                error = "--mode is one of rest, sweep, fresh, passive";
                return false;
            }
        } else if (option == "--frame") {
            if (!value(options.frame)) return false;
        } else if (option == "--script") {
            if (!value(options.script)) return false;
        } else if (option == "--rest-point") {
            if (!value(options.restPoint)) return false;
        } else if (option == "--travel") {
            if (!value(options.travel)) return false;
        } else if (option == "--noise") {
            if (!value(options.noise)) return false;
        } else if (option == "--noise-seed") {
            if (!value(options.noiseSeed)) return false;
        } else if (option == "--exit-with-parent") {
            options.exitWithParent = true;
        } else if (option == "--verbose" || option == "-v") {
            options.verbose = true;
        } else {
            error = "unknown option " + option + " (see --help)";
            return false;
        }
    }
    return true;
}

std::string usageText() {
    return R"(Usage: pallador-sim [options]

Simulates a Pallador on a pseudo-terminal: every request byte 0x55 is answered
with a 14-byte frame, paced at the baud rate the driver set on the line.

Options:
  --link PATH          publish the line under PATH (a symlink to the slave,
                       replaced atomically on replug), e.g. a Wine prefix's
                       dosdevices/com7 so that COM7 opens it
  --control-port N     control channel on 127.0.0.1:N (default 0: any free port)
  --port-file FILE     write the control port number to FILE once ready
  --mode MODE          rest (default), sweep, fresh or passive
  --frame HEX          answer with this frame (14 bytes in hex)
  --script FILE        answer with the frames of FILE (see below)
  --rest-point LIST    where the valuators rest (default 512): one reading
                       for all six, or six separated by commas
  --travel LIST        how far each valuator reaches (default 0-1023): LO-HI
                       for all six, or six such ranges separated by commas
  --noise LIST         each valuator's reading wanders up to N counts about
                       its value (default 0): one N, or six separated by commas
  --noise-seed S       the noise's seed (default 1): the same seed, the same
                       readings
  --exit-with-parent   end when the process that started the simulator ends
  --verbose, -v        log control commands and line events to stderr
  --version            print the release version and end
  --help, -h           this text

Frame modes:
  rest     all buttons released, valuators at their rest points
  sweep    valuators swinging smoothly through their whole travel, each
           button held now and then
  fresh    valuator 1 counts 0..1023, so every frame differs from the last
  passive  never answer: only collect what the driver sends

Script file: one frame per line, 14 bytes in hex (blanks between bytes
allowed), optionally followed by "* N" to send it N times; blank lines and
lines starting with # are skipped; after the last line it starts over.

Control channel: one command per line, one reply line per command, "ok ..."
or "error ...". Send "help" for the list; sim/README.md documents each.

Runs until Ctrl-C, SIGTERM or the control command "quit".
)";
}

}  // namespace sim
