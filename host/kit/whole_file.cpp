#include "host/kit/whole_file.h"

#include <fstream>
#include <sstream>

namespace hostkit {

std::optional<std::string> wholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace hostkit
