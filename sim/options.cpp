#include "sim/options.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/kit/arguments.h"

namespace sim {

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    const auto flag = [](bool& into) {
        return [&into](const std::string&) { return into = true; };
    };
    const auto text = [](std::string& into) {
        return [&into](const std::string& value) {
            into = value;
            return true;
        };
    };
    const hostkit::ArgumentTable table{
        {{{"--help", "-h"}, "", flag(options.help)},
         {{"--version"}, "", flag(options.version)},
         {{"--link"}, "a value", text(options.link)},
         {{"--control-port"},
          "a value",
          [&options](const std::string& value) {
              char* end = nullptr;
              const long port = std::strtol(value.c_str(), &end, 10);
              options.controlPort = static_cast<int>(port);
              return !value.empty() && *end == '\0' && port >= 0 && port <= 65535;
          },
          "--control-port takes a port number (0 to 65535)"},
         {{"--port-file"}, "a value", text(options.portFile)},
         {{"--mode"},
          "a value",
          [&options](const std::string& value) {
              options.mode = value;
              return value == "rest" || value == "sweep" || value == "fresh" || value == "passive";
          },
          "--mode is one of rest, sweep, fresh, passive"},
         {{"--frame"}, "a value", text(options.frame)},
         {{"--script"}, "a value", text(options.script)},
         {{"--rest-point"}, "a value", text(options.restPoint)},
         {{"--travel"}, "a value", text(options.travel)},
         {{"--noise"}, "a value", text(options.noise)},
         {{"--noise-seed"}, "a value", text(options.noiseSeed)},
         {{"--exit-with-parent"}, "", flag(options.exitWithParent)},
         {{"--verbose", "-v"}, "", flag(options.verbose)}},
        nullptr,
        " (see --help)"};
    error = hostkit::walkArguments(std::vector<std::string>(argv + 1, argv + argc), table);
    return error.empty();
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
