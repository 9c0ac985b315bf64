// Putting calibrated curves into a configuration text: the earlier curve
// lines of those channels go, every other line and comment stays as it was.
#pragma once

#include <map>
#include <string>

namespace host {

// `curves` maps a real valuator (1..6) of controller 1 to its new line. A
// line that set the curve of calibrated channels only is dropped; one that
// also covers others keeps them, its comment included. The new lines stand
// where the first dropped one stood, but never after a valuator order (which
// may lower the count a curve line is checked against), else at the end; in
// the text's own line ending.
std::string withCurves(const std::string& text, const std::map<int, std::string>& curves);

}  // namespace host
