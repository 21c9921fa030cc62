// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <optional>

namespace tallyvue {

/**
 * The in-app updater. Linux distributions update Tallyvue through their packages, so no feed is
 * ever configured here: the wrapper says so once in the log and never allows a check. It keeps
 * the configured-or-not rule so the settings panel reads the same on every platform.
 */
class UpdaterController : public QObject
{
    Q_OBJECT

public:
    static UpdaterController& shared();

    /// Configured when there is a feed address that is no placeholder ("REPLACE-ME") and a key.
    static bool isConfiguredFor(const QString& feedUrl, const QString& publicKey);

    bool isConfigured() const { return m_configured; }
    bool canCheckForUpdates() const { return m_canCheck; }
    bool automaticallyChecksForUpdates() const { return false; }
    void setAutomaticallyChecksForUpdates(bool) {}
    std::optional<QDateTime> lastUpdateCheckDate() const { return std::nullopt; }
    /// A user-initiated check; there is nothing to check without a feed.
    void checkForUpdates() {}

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);

private:
    UpdaterController(const QString& feedUrl, const QString& publicKey);

    bool m_configured;
    bool m_canCheck = false;
};

} // namespace tallyvue
