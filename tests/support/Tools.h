// SPDX-License-Identifier: MIT
#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <initializer_list>
#include <optional>
#include <string>

namespace tallyvue::test {

/// Why a test that runs these programs cannot run here ("dbus-daemon is not installed"), or
/// nothing when all of them are. For GTEST_SKIP() << *why.
inline std::optional<std::string> missingTools(std::initializer_list<const char*> tools)
{
    for (const char* tool : tools) {
        if (QStandardPaths::findExecutable(QString::fromLocal8Bit(tool)).isEmpty())
            return std::string(tool) + " is not installed";
    }
    return std::nullopt;
}

/// As missingTools(), for Python modules that /usr/bin/python3 must import ("dbus, gi").
inline std::optional<std::string> missingPythonModules(const char* modules)
{
    if (auto why = missingTools({"/usr/bin/python3"}))
        return why;
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QStringLiteral("import ") + QString::fromLatin1(modules)});
    if (python.waitForFinished(30000) && python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0)
        return std::nullopt;
    return std::string("/usr/bin/python3 cannot import ") + modules;
}

} // namespace tallyvue::test
