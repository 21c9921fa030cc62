// SPDX-License-Identifier: MIT
#pragma once

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

} // namespace tallyvue::test
