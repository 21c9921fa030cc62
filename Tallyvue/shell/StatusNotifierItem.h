// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QTimer>

class QDBusServiceWatcher;

namespace tallyvue {

/// One icon image as the StatusNotifierItem protocol sends it: ARGB32 in network byte order.
struct SniIconPixmap
{
    int width = 0;
    int height = 0;
    QByteArray bytes;

    static SniIconPixmap fromImage(const QImage& image);
    friend bool operator==(const SniIconPixmap&, const SniIconPixmap&) = default;
};
using SniIconPixmapList = QList<SniIconPixmap>;

struct SniToolTip
{
    QString iconName;
    SniIconPixmapList iconPixmap;
    QString title;
    QString description;
};

QDBusArgument& operator<<(QDBusArgument& argument, const SniIconPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniIconPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& toolTip);

/**
 * Our tray item as a StatusNotifierItem on the session bus, done by hand so that we can offer
 * the label text (XAyatanaLabel, shown beside the icon by GNOME's AppIndicator extension and
 * Ubuntu) as well as the icon and tooltip. It registers with the StatusNotifierWatcher, again
 * whenever a watcher appears or changes hands, and again when the watcher drops the item while
 * we are still here (hosts do, when an early read of a property went wrong on their side).
 * Every call it makes is asynchronous.
 */
class StatusNotifierItem : public QObject
{
    Q_OBJECT

public:
    static constexpr QStringView kWatcherService = u"org.kde.StatusNotifierWatcher";
    static constexpr QStringView kItemPath = u"/StatusNotifierItem";

    explicit StatusNotifierItem(const QDBusConnection& bus, QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    /// Claims our bus name, exports the item and registers with the watcher if there is one.
    bool start();
    /// Whether a watcher currently owns its name on the bus.
    static bool watcherPresent(const QDBusConnection& bus);
    /// Whether `entry`, as a watcher names an item in its signals and RegisteredStatusNotifierItems
    /// ("org.kde.StatusNotifierItem-1-1", ":1.42/StatusNotifierItem", ...), is this item.
    bool isOurEntry(const QString& entry) const;

    QString serviceName() const { return m_serviceName; }
    QDBusConnection bus() const { return m_bus; }
    bool isRegistered() const { return m_registered; }

    /// Whether the image changed.
    bool setIcon(const SniIconPixmapList& pixmaps);
    /// The same image as a file, named `name` in the folder `themePath`, for hosts that draw
    /// only what IconName says.
    void setIconFile(const QString& name, const QString& themePath);
    void setToolTip(const QString& title, const QString& description);
    /// The text beside the icon; `guide` is the longest text expected, for a steady width.
    void setLabel(const QString& label, const QString& guide);
    /// Where our dbusmenu is served on the same connection; set before start().
    void setMenuPath(const QString& path) { m_menuPath = path; }
    QString menuPath() const { return m_menuPath; }
    /// Whether a middle click through Ayatana's own call (without a point) reaches us.
    void setAnswersAyatanaActivation(bool answers) { m_answersAyatanaActivation = answers; }
    bool answersAyatanaActivation() const { return m_answersAyatanaActivation; }

    // What the bus reads.
    const SniIconPixmapList& iconPixmap() const { return m_icon; }
    QString iconName() const { return m_iconName; }
    QString iconThemePath() const { return m_iconThemePath; }
    SniToolTip toolTip() const;
    QString label() const { return m_label; }
    QString labelGuide() const { return m_guide; }

    // What the bus calls.
    void activate(int x, int y);
    void secondaryActivate(int x, int y);
    void contextMenu(int x, int y);

Q_SIGNALS:
    /// The watcher accepted us.
    void registered();
    /// The host asked for the item's main action at a screen point (may be 0, 0).
    void activated(QPoint where);
    void contextMenuRequested(QPoint where);
    // Mirrored on the bus by the adaptor.
    void newIcon();
    void newIconThemePath(const QString& path);
    void newToolTip();
    void newLabel(const QString& label, const QString& guide);

private Q_SLOTS:
    void onItemUnregistered(const QString& entry);
    void onRegisteredItemsChanged(const QString& interface, const QVariantMap& changed, const QStringList&);

private:
    void registerWithWatcher();
    /// Registers again after `m_retryDelay`, growing for a host that keeps dropping us.
    void scheduleRegistration();
    /// Asks the watcher whether we are still on its list, and registers again if not.
    void verifyRegistration();
    /// Sends the properties a host needs first as PropertiesChanged, for hosts that forgot them.
    void announceProperties();

    QDBusConnection m_bus;
    QString m_serviceName;
    QDBusServiceWatcher* m_watcher;
    SniIconPixmapList m_icon;
    QString m_iconName;
    QString m_iconThemePath;
    QString m_toolTipTitle;
    QString m_toolTipText;
    QString m_label;
    QString m_guide;
    QString m_menuPath = QStringLiteral("/NO_DBUSMENU");
    bool m_registered = false;
    bool m_answersAyatanaActivation = false;
    QTimer m_retry;
    QTimer m_verify;
    int m_retryDelayMs = 0;
    qint64 m_registeredAtMs = 0;
};

} // namespace tallyvue

Q_DECLARE_METATYPE(tallyvue::SniIconPixmap)
Q_DECLARE_METATYPE(tallyvue::SniToolTip)
