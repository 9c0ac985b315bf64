// One walker for the command lines of the host program, its calibration,
// the simulator and the benchmarks: each program lists its options in a
// table, as the plug-in lists its option keywords, and the walker does the
// rest in one way for all of them.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace hostkit {

struct ArgumentRule {
    std::vector<std::string> names;
    // What the option's value is, for "--name needs ..." when it is missing
    // or refused; empty for an option without a value.
    std::string needs;
    // Takes the value ("" for an option without one); false refuses it.
    std::function<bool(const std::string& value)> take;
    // Said instead of "--name needs ..." when a value is refused.
    std::string refusal = {};
};

struct ArgumentTable {
    std::vector<ArgumentRule> rules;
    // Takes a word that is no option; an error text, or "" when taken.
    // Without it every word outside the table is an unknown option.
    std::function<std::string(const std::string& word)> positional = {};
    // Follows "unknown option WORD".
    std::string unknownHint = {};
};

// Walks the words in order; the first error, or "" when every word was taken.
std::string walkArguments(const std::vector<std::string>& words, const ArgumentTable& table);

}  // namespace hostkit
