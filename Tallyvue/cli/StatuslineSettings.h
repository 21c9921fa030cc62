// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace tallyvue::cli {

/// What an edit of Claude Code's settings came to: the new text, or why nothing changes.
struct SettingsEdit
{
    std::optional<QByteArray> text; ///< nothing: leave the file as it is
    QString message;                ///< for the user, success or refusal
    bool refused = false;
};

/**
 * `settings` (Claude Code's settings.json, empty when missing) with its "statusLine" member set
 * to run `command`, every other byte kept. Refuses text that is not a JSON object, and another
 * program's status line unless `force`.
 */
SettingsEdit withStatusLine(const QByteArray& settings, const QString& command, bool force);
/// `settings` without our status line; another program's is kept unless `force`.
SettingsEdit withoutStatusLine(const QByteArray& settings, bool force);

/// `tallyvue-cli statusline --install [line options] [--force]` and `--uninstall [--force]`.
int installStatusline(const QStringList& lineArgs, bool force);
int uninstallStatusline(bool force);

} // namespace tallyvue::cli
