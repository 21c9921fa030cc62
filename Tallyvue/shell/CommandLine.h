// SPDX-License-Identifier: MIT
#pragma once

#include <optional>

namespace tallyvue {

/// Reads tallyvue's command line before any GUI object exists, so --help and --version work
/// without a display or a session bus. Returns the exit status when the program is done (help,
/// version, or a usage error: 2, with the usage on standard error); nothing when it should start.
/// Qt's own options (-platform, -style, ...) are left for QApplication.
std::optional<int> handleCommandLine(int argc, char** argv);

} // namespace tallyvue
