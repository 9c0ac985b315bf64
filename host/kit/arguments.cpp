#include "host/kit/arguments.h"

#include <algorithm>

namespace hostkit {

namespace {

const ArgumentRule* ruleNamed(const ArgumentTable& table, const std::string& word) {
    for (const ArgumentRule& rule : table.rules) {
        if (std::find(rule.names.begin(), rule.names.end(), word) != rule.names.end()) {
            return &rule;
        }
    }
    return nullptr;
}

}  // namespace

std::string walkArguments(const std::vector<std::string>& words, const ArgumentTable& table) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        const ArgumentRule* rule = ruleNamed(table, word);
        if (rule == nullptr) {
            // A lone "-" is a name (standard input, by convention), not an option.
            const bool option = word.size() > 1 && word[0] == '-';
            if (option || !table.positional) {
                return "unknown option " + word + table.unknownHint;
            }
            if (std::string error = table.positional(word); !error.empty()) {
                return error;
            }
            continue;
        }
        if (rule->needs.empty()) {
            rule->take("");
            continue;
        }
        if (i + 1 >= words.size()) {
            return word + " needs " + rule->needs;
        }
        if (!rule->take(words[++i])) {
            return rule->refusal.empty() ? word + " needs " + rule->needs : rule->refusal;
        }
    }
    return {};
}

}  // namespace hostkit
