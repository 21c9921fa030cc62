// SPDX-License-Identifier: MIT
#include "shell/StatusNotifierItem.h"

#include "model/Log.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDateTime>
#include <QtEndian>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyvue {

SniIconPixmap SniIconPixmap::fromImage(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    SniIconPixmap pixmap{argb.width(), argb.height(), {}};
    pixmap.bytes.resize(qsizetype(argb.width()) * argb.height() * 4);
    auto* out = reinterpret_cast<uchar*>(pixmap.bytes.data());
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const quint32*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x, out += 4)
            qToBigEndian<quint32>(line[x], out); // the protocol wants A, R, G, B bytes
    }
    return pixmap;
}

QDBusArgument& operator<<(QDBusArgument& argument, const SniIconPixmap& pixmap)
{
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.bytes;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniIconPixmap& pixmap)
{
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.bytes;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& toolTip)
{
    argument.beginStructure();
    argument << toolTip.iconName << toolTip.iconPixmap << toolTip.title << toolTip.description;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& toolTip)
{
    argument.beginStructure();
    argument >> toolTip.iconName >> toolTip.iconPixmap >> toolTip.title >> toolTip.description;
    argument.endStructure();
    return argument;
}

namespace detail {

/// The org.kde.StatusNotifierItem interface on the bus; everything is forwarded to the item.
class StatusNotifierItemAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(tallyvue::SniIconPixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ emptyText)
    Q_PROPERTY(tallyvue::SniIconPixmapList OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ emptyText)
    Q_PROPERTY(tallyvue::SniIconPixmapList AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ emptyText)
    Q_PROPERTY(QString IconThemePath READ iconThemePath)
    Q_PROPERTY(tallyvue::SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(QString XAyatanaLabel READ label)
    Q_PROPERTY(QString XAyatanaLabelGuide READ labelGuide)
    Q_PROPERTY(uint XAyatanaOrderingIndex READ orderingIndex)

public:
    explicit StatusNotifierItemAdaptor(StatusNotifierItem* item) : QDBusAbstractAdaptor(item), m_item(item)
    {
        connect(item, &StatusNotifierItem::newIcon, this, &StatusNotifierItemAdaptor::NewIcon);
        connect(item, &StatusNotifierItem::newIconThemePath, this, &StatusNotifierItemAdaptor::NewIconThemePath);
        connect(item, &StatusNotifierItem::newToolTip, this, &StatusNotifierItemAdaptor::NewToolTip);
        connect(item, &StatusNotifierItem::newLabel, this, &StatusNotifierItemAdaptor::XAyatanaNewLabel);
    }

    QString category() const { return u"ApplicationStatus"_s; }
    QString id() const { return u"tallyvue"_s; }
    QString title() const { return u"Tallyvue"_s; }
    QString status() const { return u"Active"_s; }
    int windowId() const { return 0; }
    QString emptyText() const { return {}; }
    SniIconPixmapList iconPixmap() const { return m_item->iconPixmap(); }
    QString iconName() const { return m_item->iconName(); }
    QString iconThemePath() const { return m_item->iconThemePath(); }
    SniIconPixmapList noPixmaps() const { return {}; }
    SniToolTip toolTip() const { return m_item->toolTip(); }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return QDBusObjectPath(m_item->menuPath()); }
    QString label() const { return m_item->label(); }
    QString labelGuide() const { return m_item->labelGuide(); }
    uint orderingIndex() const { return 0; }

public Q_SLOTS:
    void Activate(int x, int y) { m_item->activate(x, y); }
    void SecondaryActivate(int x, int y) { m_item->secondaryActivate(x, y); }
    void ContextMenu(int x, int y) { m_item->contextMenu(x, y); }
    void Scroll(int, const QString&) {}
    /// Ayatana's middle click. GNOME's extension tries it before SecondaryActivate(x, y), whose
    /// point it would then not send: only the Ayatana services get an answer.
    void XAyatanaSecondaryActivate(uint, const QDBusMessage& message)
    {
        if (m_item->answersAyatanaActivation()) {
            m_item->secondaryActivate(0, 0);
            return;
        }
        message.setDelayedReply(true);
        m_item->bus().send(message.createErrorReply(QDBusError::UnknownMethod, u"Use SecondaryActivate"_s));
    }
    void ProvideXdgActivationToken(const QString& token)
    {
        // Lets a Wayland compositor hand focus to the popover we are about to open.
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    }

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewIconThemePath(const QString& path);
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);
    void XAyatanaNewLabel(const QString& label, const QString& guide);

private:
    StatusNotifierItem* m_item;
};

} // namespace detail

StatusNotifierItem::StatusNotifierItem(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_bus(bus), m_watcher(new QDBusServiceWatcher(kWatcherService.toString(), bus,
                                                                     QDBusServiceWatcher::WatchForOwnerChange, this))
{
    static const bool typesRegistered = [] {
        qDBusRegisterMetaType<SniIconPixmap>();
        qDBusRegisterMetaType<SniIconPixmapList>();
        qDBusRegisterMetaType<SniToolTip>();
        return true;
    }();
    Q_UNUSED(typesRegistered);
    new detail::StatusNotifierItemAdaptor(this);
    static int instances = 0;
    m_serviceName = u"org.kde.StatusNotifierItem-%1-%2"_s.arg(QCoreApplication::applicationPid()).arg(++instances);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                // A tray started after us, restarted, or handed its watcher to another
                // process: the new owner knows nothing of us yet.
                m_registered = false;
                m_verify.stop();
                if (!newOwner.isEmpty())
                    registerWithWatcher();
            });
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (!m_registered && watcherPresent(m_bus))
            registerWithWatcher();
    });
    m_verify.setSingleShot(true);
    connect(&m_verify, &QTimer::timeout, this, &StatusNotifierItem::verifyRegistration);
}

StatusNotifierItem::~StatusNotifierItem()
{
    m_bus.unregisterObject(kItemPath.toString());
    m_bus.unregisterService(m_serviceName);
}

bool StatusNotifierItem::watcherPresent(const QDBusConnection& bus)
{
    return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(kWatcherService.toString());
}

bool StatusNotifierItem::start()
{
    if (!m_bus.isConnected())
        return false;
    if (!m_bus.registerObject(kItemPath.toString(), this, QDBusConnection::ExportAdaptors)) {
        log(u"Could not export the tray item: "_s + m_bus.lastError().message());
        return false;
    }
    if (!m_bus.registerService(m_serviceName)) {
        log(u"Could not claim the tray item's bus name: "_s + m_bus.lastError().message());
        return false;
    }
    const QString watcherPath = u"/StatusNotifierWatcher"_s;
    m_bus.connect(kWatcherService.toString(), watcherPath, u"org.kde.StatusNotifierWatcher"_s,
                  u"StatusNotifierItemUnregistered"_s, this, SLOT(onItemUnregistered(QString)));
    m_bus.connect(kWatcherService.toString(), watcherPath, u"org.freedesktop.DBus.Properties"_s, u"PropertiesChanged"_s,
                  this, SLOT(onRegisteredItemsChanged(QString, QVariantMap, QStringList)));
    if (watcherPresent(m_bus))
        registerWithWatcher();
    return true;
}

bool StatusNotifierItem::isOurEntry(const QString& entry) const
{
    // Watchers name items by the service we gave, by our unique connection name, either one
    // with the object path after a slash, or by the path alone.
    const auto names = [&](const QString& name) {
        return !name.isEmpty() && (entry == name || entry.startsWith(name + u'/'));
    };
    return names(m_serviceName) || names(m_bus.baseService());
}

void StatusNotifierItem::onItemUnregistered(const QString& entry)
{
    if (!isOurEntry(entry))
        return;
    log(u"The tray dropped our item; registering again"_s);
    m_registered = false;
    scheduleRegistration();
}

void StatusNotifierItem::onRegisteredItemsChanged(const QString& interface, const QVariantMap& changed,
                                                  const QStringList&)
{
    const auto items = changed.constFind(u"RegisteredStatusNotifierItems"_s);
    if (!m_registered || interface != u"org.kde.StatusNotifierWatcher" || items == changed.cend())
        return;
    const QStringList entries = items->toStringList();
    if (std::none_of(entries.begin(), entries.end(), [this](const QString& entry) { return isOurEntry(entry); })) {
        log(u"Our item is no longer on the tray's list; registering again"_s);
        m_registered = false;
        scheduleRegistration();
    }
}

void StatusNotifierItem::scheduleRegistration()
{
    // A host that drops us right after taking us again and again gets longer and longer pauses,
    // so the two of us never spin.
    constexpr int kFirstDelayMs = 250;
    constexpr int kLongestDelayMs = 60'000;
    const bool droppedSoon = m_registeredAtMs && QDateTime::currentMSecsSinceEpoch() - m_registeredAtMs < 10'000;
    m_retryDelayMs = droppedSoon && m_retryDelayMs ? std::min(m_retryDelayMs * 2, kLongestDelayMs) : kFirstDelayMs;
    m_verify.stop();
    m_retry.start(m_retryDelayMs);
}

void StatusNotifierItem::verifyRegistration()
{
    if (!m_registered)
        return;
    QDBusMessage get = QDBusMessage::createMethodCall(kWatcherService.toString(), u"/StatusNotifierWatcher"_s,
                                                      u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << u"org.kde.StatusNotifierWatcher"_s << u"RegisteredStatusNotifierItems"_s;
    auto* pending = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusMessage reply = finished->reply();
        if (finished->isError() || reply.arguments().isEmpty())
            return; // a watcher without the list: trust its signals
        QVariantMap changed;
        changed.insert(u"RegisteredStatusNotifierItems"_s,
                       reply.arguments().constFirst().value<QDBusVariant>().variant());
        onRegisteredItemsChanged(u"org.kde.StatusNotifierWatcher"_s, changed, {});
    });
}

void StatusNotifierItem::announceProperties()
{
    // GNOME's extension forgets Id and Menu when it first sees our name appear and reads them
    // again a second later, failing if nothing came meanwhile; sending them now fills the gap.
    QDBusMessage changed =
        QDBusMessage::createSignal(kItemPath.toString(), u"org.freedesktop.DBus.Properties"_s, u"PropertiesChanged"_s);
    QVariantMap values;
    values.insert(u"Id"_s, u"tallyvue"_s);
    values.insert(u"Title"_s, u"Tallyvue"_s);
    values.insert(u"Status"_s, u"Active"_s);
    values.insert(u"Menu"_s, QVariant::fromValue(QDBusObjectPath(m_menuPath)));
    changed << u"org.kde.StatusNotifierItem"_s << values << QStringList();
    m_bus.send(changed);
}

void StatusNotifierItem::registerWithWatcher()
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(kWatcherService.toString(), u"/StatusNotifierWatcher"_s,
                                       u"org.kde.StatusNotifierWatcher"_s, u"RegisterStatusNotifierItem"_s);
    call << m_serviceName;
    auto* pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        if (finished->isError()) {
            log(u"The tray did not take our item: "_s + finished->error().message());
            return;
        }
        m_registered = true;
        m_registeredAtMs = QDateTime::currentMSecsSinceEpoch();
        // Tell the fields again once the host has set itself up, then check it kept us.
        QTimer::singleShot(400, this, [this] {
            if (m_registered)
                announceProperties();
        });
        m_verify.start(1500);
        Q_EMIT registered();
    });
}

bool StatusNotifierItem::setIcon(const SniIconPixmapList& pixmaps)
{
    // Hosts fetch and redraw the whole icon on every NewIcon: only send real changes.
    if (pixmaps == m_icon)
        return false;
    m_icon = pixmaps;
    Q_EMIT newIcon();
    return true;
}

void StatusNotifierItem::setIconFile(const QString& name, const QString& themePath)
{
    if (name == m_iconName && themePath == m_iconThemePath)
        return;
    m_iconName = name;
    if (themePath != m_iconThemePath) {
        m_iconThemePath = themePath;
        Q_EMIT newIconThemePath(themePath); // Ayatana's own signal, before the name that needs it
    }
    Q_EMIT newIcon();
}

void StatusNotifierItem::setToolTip(const QString& title, const QString& description)
{
    if (title == m_toolTipTitle && description == m_toolTipText)
        return;
    m_toolTipTitle = title;
    m_toolTipText = description;
    Q_EMIT newToolTip();
}

void StatusNotifierItem::setLabel(const QString& label, const QString& guide)
{
    if (label == m_label && guide == m_guide)
        return;
    m_label = label;
    m_guide = guide;
    Q_EMIT newLabel(label, guide);
}

SniToolTip StatusNotifierItem::toolTip() const
{
    return {{}, {}, m_toolTipTitle, m_toolTipText};
}

void StatusNotifierItem::activate(int x, int y)
{
    Q_EMIT activated(QPoint(x, y));
}

void StatusNotifierItem::secondaryActivate(int x, int y)
{
    Q_EMIT activated(QPoint(x, y));
}

void StatusNotifierItem::contextMenu(int x, int y)
{
    Q_EMIT contextMenuRequested(QPoint(x, y));
}

} // namespace tallyvue

#include "StatusNotifierItem.moc"
