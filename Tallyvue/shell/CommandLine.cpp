// SPDX-License-Identifier: MIT
#include "shell/CommandLine.h"

#include "BuildInfo.h"

#include <QByteArrayView>

#include <cstdio>

namespace tallyvue {
namespace {

const char kUsage[] = R"(Usage: tallyvue [options]

Shows in the system tray how much of your Claude, ChatGPT/Codex and GitHub Copilot quotas you
have used. One copy runs per user; starting another brings the running one forward.

Options:
  -h, --help       show this help
  -v, --version    show the version

Qt's own options (-platform, -style, ...) are passed on to Qt.
)";

/// How many arguments one of QApplication's own options takes (it removes them itself), or -1
/// when `arg` is not one of them.
int qtOptionValues(QByteArrayView arg)
{
    if (arg.startsWith("--"))
        arg = arg.sliced(1); // Qt accepts both spellings
    static constexpr QByteArrayView withValue[] = {
        "-platform",
        "-platformpluginpath",
        "-platformtheme",
        "-plugin",
        "-qwindowgeometry",
        "-geometry",
        "-qwindowtitle",
        "-title",
        "-qwindowicon",
        "-icon",
        "-session",
        "-display",
        "-name",
        "-style",
        "-stylesheet",
    };
    static constexpr QByteArrayView switches[] = {"-reverse", "-testability", "-widgetcount",
                                                  "-nograb",  "-dograb",      "-sync"};
    for (const QByteArrayView option : withValue) {
        if (arg == option)
            return 1;
        if (arg.startsWith(option) && arg.size() > option.size() && arg[option.size()] == '=')
            return 0;
    }
    for (const QByteArrayView option : switches) {
        if (arg == option)
            return 0;
    }
    return arg.startsWith("-qmljsdebugger=") ? 0 : -1;
}

int usageError(const char* what, const char* arg)
{
    std::fprintf(stderr, "tallyvue: %s '%s'\n\n%s", what, arg, kUsage);
    return 2;
}

} // namespace

std::optional<int> handleCommandLine(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArrayView arg(argv[i]);
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "-v" || arg == "--version") {
            std::printf("tallyvue %s (%s)\n", build::kVersion, build::kBuildNumber);
            return 0;
        }
        const int values = qtOptionValues(arg);
        if (values < 0)
            return usageError(arg.startsWith("-") ? "unknown option" : "unexpected argument", argv[i]);
        i += values;
    }
    return std::nullopt;
}

} // namespace tallyvue
