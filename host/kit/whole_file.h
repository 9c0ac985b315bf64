// A file read whole, bytes as they are: the one way the programs read a file.
#pragma once

#include <optional>
#include <string>

namespace hostkit {

// Nothing when the file cannot be opened (errno says why).
std::optional<std::string> wholeFile(const std::string& path);

}  // namespace hostkit
