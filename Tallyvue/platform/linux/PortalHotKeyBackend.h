// SPDX-License-Identifier: MIT
#pragma once

#include "model/Result.h"
#include "platform/linux/HotKeyManager.h"

#include <QDBusConnection>
#include <QVariantMap>

#include <qcoro/qcorotask.h>

class QDBusObjectPath;

namespace tallyvue {

/**
 * The global shortcut on Wayland, through the desktop portal's GlobalShortcuts interface.
 * Each grab opens a fresh portal session (the desktop may ask the user to confirm the
 * combination); release closes it. Refusals arrive later, through `refused`.
 */
class PortalHotKeyBackend : public HotKeyBackend
{
    Q_OBJECT

public:
    explicit PortalHotKeyBackend(const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~PortalHotKeyBackend() override;

    int grab(const HotKeyCombination& combination) override;
    void release() override;

    /// The portal's trigger text of a combination ("CTRL+ALT+q").
    static QString trigger(const HotKeyCombination& combination);

private Q_SLOTS:
    // QDBusConnection::connect only takes slots by signature in Qt 6.4.
    void onActivated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong timestamp,
                     const QVariantMap& options);

private:
    QCoro::Task<> bind(HotKeyCombination combination, quint64 generation);
    /// Reports a refusal and, the first time, how to open the popover without the portal.
    void refuse(int status);
    /// Calls a portal method that answers through a Request object; its results or a status.
    QCoro::Task<Result<QVariantMap, int>> request(const QString& interface, const QString& method,
                                                  QVariantList arguments);

    QDBusConnection m_bus;
    QString m_session;
    quint64 m_generation = 0;
    quint64 m_tokens = 0;
    bool m_hinted = false;
};

} // namespace tallyvue
