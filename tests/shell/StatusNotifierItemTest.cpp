// SPDX-License-Identifier: MIT
// The tray item against a StatusNotifierWatcher of our own on a private session bus.
#include "shell/StatusNotifierItem.h"
#include "platform/TestBus.h"
#include "refresh/UsageViewModel.h"
#include "shell/Popover.h"
#include "shell/TrayApplication.h"
#include "shell/TrayItem.h"
#include "shell/TrayMenu.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {

/// Just enough of a StatusNotifierWatcher: it remembers who registered.
class FakeWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)

public:
    bool hostRegistered() const { return true; }
    QStringList registrations;

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service) { registrations.append(service); }

Q_SIGNALS:
    void StatusNotifierItemUnregistered(const QString& service);
};

/// Receives the item's signals on the host's side of the bus.
class SignalCatcher : public QObject
{
    Q_OBJECT

public:
    QStringList labels;
    int toolTips = 0;
    int icons = 0;

    int layoutUpdates = 0;

public Q_SLOTS:
    void onLabel(const QString& text, const QString&) { labels.append(text); }
    void onLayoutUpdated(uint, int) { ++layoutUpdates; }
    void onToolTip() { ++toolTips; }
    void onIcon() { ++icons; }
};

/// A call answered by this very process: asynchronous, with the event loop turning meanwhile.
QDBusMessage call(const QDBusConnection& bus, const QDBusMessage& message)
{
    QDBusPendingCall pending = bus.asyncCall(message);
    test::waitUntil([&] { return pending.isFinished(); });
    return pending.reply();
}

QVariant property(const QDBusConnection& bus, const QString& service, const QString& name,
                  const QString& path = u"/StatusNotifierItem"_s,
                  const QString& interface = u"org.kde.StatusNotifierItem"_s)
{
    QDBusMessage get = QDBusMessage::createMethodCall(service, path, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << interface << name;
    const QDBusMessage reply = call(bus, get);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

class StatusNotifierItemTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_bus.start());
        m_watcherBus = m_bus.connect(u"watcher"_s);
        m_itemBus = m_bus.connect(u"item"_s);
        ASSERT_TRUE(m_watcherBus.isConnected() && m_itemBus.isConnected());
    }

    void startWatcher()
    {
        ASSERT_TRUE(m_watcherBus.registerObject(u"/StatusNotifierWatcher"_s, &m_watcher,
                                                QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties |
                                                    QDBusConnection::ExportAllSignals));
        ASSERT_TRUE(m_watcherBus.registerService(u"org.kde.StatusNotifierWatcher"_s));
    }
    void stopWatcher()
    {
        m_watcherBus.unregisterService(u"org.kde.StatusNotifierWatcher"_s);
        m_watcherBus.unregisterObject(u"/StatusNotifierWatcher"_s);
    }

    test::TestBus m_bus;
    QDBusConnection m_watcherBus{u"unset"_s};
    QDBusConnection m_itemBus{u"unset"_s};
    FakeWatcher m_watcher;
};

} // namespace

// A watcher that appears only after we started gets the item, and so does every watcher that
// appears again (the tray restarts) without being asked.
TEST_F(StatusNotifierItemTest, RegistersWheneverAWatcherAppears)
{
    TrayItem tray(m_itemBus);
    QSignalSpy shown(&tray, &TrayItem::shown);
    tray.start();
    QCoreApplication::processEvents();
    EXPECT_EQ(tray.kind(), TrayItem::Kind::None);
    startWatcher();
    ASSERT_TRUE(test::waitUntil([&] { return shown.size() == 1; }));
    EXPECT_EQ(tray.kind(), TrayItem::Kind::StatusNotifier);
    const QString service = tray.statusNotifierItem()->serviceName();
    EXPECT_EQ(m_watcher.registrations, QStringList{service});
    EXPECT_TRUE(service.startsWith(u"org.kde.StatusNotifierItem-"));

    stopWatcher();
    ASSERT_TRUE(test::waitUntil([&] { return !tray.statusNotifierItem()->isRegistered(); }));
    startWatcher();
    ASSERT_TRUE(test::waitUntil([&] { return m_watcher.registrations.size() == 2; }));
    EXPECT_EQ(m_watcher.registrations.last(), service);
    EXPECT_TRUE(test::waitUntil([&] { return tray.statusNotifierItem()->isRegistered(); }));

    // A host that drops the item while both of us stay on the bus gets it back within a second;
    // another item's leaving changes nothing.
    Q_EMIT m_watcher.StatusNotifierItemUnregistered(u"org.kde.StatusNotifierItem-1-1"_s);
    Q_EMIT m_watcher.StatusNotifierItemUnregistered(m_itemBus.baseService() + u"/StatusNotifierItem"_s);
    QElapsedTimer dropped;
    dropped.start();
    ASSERT_TRUE(test::waitUntil([&] { return m_watcher.registrations.size() == 3; }));
    EXPECT_LT(dropped.elapsed(), 1000);
    QTest::qWait(300);
    EXPECT_EQ(m_watcher.registrations.size(), 3);
}

// What the host reads (icon, tooltip, label), the change signals it receives on the bus, and Activate.
TEST_F(StatusNotifierItemTest, PropertiesSignalsAndActivate)
{
    startWatcher();
    TrayItem tray(m_itemBus);
    tray.start();
    ASSERT_TRUE(test::waitUntil([&] { return tray.isShown(); }));
    const QString service = tray.statusNotifierItem()->serviceName();
    SignalCatcher catcher;
    const QString path = u"/StatusNotifierItem"_s;
    const QString interface = u"org.kde.StatusNotifierItem"_s;
    ASSERT_TRUE(m_watcherBus.connect(service, path, interface, u"XAyatanaNewLabel"_s, &catcher,
                                     SLOT(onLabel(QString, QString))));
    ASSERT_TRUE(m_watcherBus.connect(service, path, interface, u"NewToolTip"_s, &catcher, SLOT(onToolTip())));
    ASSERT_TRUE(m_watcherBus.connect(service, path, interface, u"NewIcon"_s, &catcher, SLOT(onIcon())));

    TrayLabel label;
    label.level = UsageLevel::Yellow;
    label.text = u"63%  ·  7d 40%"_s;
    label.toolTip = label.text;
    tray.setLabel(label);
    ASSERT_TRUE(
        test::waitUntil([&] { return !catcher.labels.isEmpty() && catcher.toolTips > 0 && catcher.icons > 0; }));
    EXPECT_EQ(catcher.labels, QStringList{label.text});
    EXPECT_EQ(property(m_watcherBus, service, u"XAyatanaLabel"_s).toString(), u"63%  ·  7d 40%");
    EXPECT_EQ(property(m_watcherBus, service, u"XAyatanaLabelGuide"_s).toString(), u"100%  ·  88d 100%");
    EXPECT_EQ(property(m_watcherBus, service, u"Id"_s).toString(), u"tallyvue");
    EXPECT_EQ(property(m_watcherBus, service, u"Status"_s).toString(), u"Active");

    SniToolTip toolTip;
    property(m_watcherBus, service, u"ToolTip"_s).value<QDBusArgument>() >> toolTip;
    EXPECT_EQ(toolTip.title, u"Tallyvue");
    EXPECT_EQ(toolTip.description, u"63%  ·  7d 40%");

    SniIconPixmapList pixmaps;
    property(m_watcherBus, service, u"IconPixmap"_s).value<QDBusArgument>() >> pixmaps;
    QList<int> sides;
    for (const SniIconPixmap& pixmap : pixmaps) {
        sides.append(pixmap.width);
        EXPECT_EQ(pixmap.bytes.size(), pixmap.width * pixmap.height * 4);
    }
    EXPECT_EQ(sides, (QList<int>{16, 22, 24, 32, 44, 48, 64}));

    // A second label that is the same sends no signal, neither for the text nor the image.
    QSignalSpy labels(tray.statusNotifierItem(), &StatusNotifierItem::newLabel);
    QSignalSpy icons(tray.statusNotifierItem(), &StatusNotifierItem::newIcon);
    tray.setLabel(label);
    EXPECT_EQ(labels.size(), 0);
    EXPECT_EQ(icons.size(), 0);
    label.level = UsageLevel::Red;
    tray.setLabel(label);
    EXPECT_EQ(icons.size(), 1);

    QSignalSpy activated(&tray, &TrayItem::activated);
    QDBusMessage activate = QDBusMessage::createMethodCall(service, path, interface, u"Activate"_s);
    activate << 1200 << 14;
    EXPECT_EQ(call(m_watcherBus, activate).type(), QDBusMessage::ReplyMessage);
    ASSERT_EQ(activated.size(), 1);
    EXPECT_EQ(activated[0][0].toPoint(), QPoint(1200, 14));
    // Ayatana's call without a point is refused where a host has SecondaryActivate(x, y) to fall
    // back on (GNOME tries it first), and taken from the Ayatana services.
    QDBusMessage ayatana = QDBusMessage::createMethodCall(service, path, interface, u"XAyatanaSecondaryActivate"_s);
    ayatana << 0u;
    EXPECT_EQ(call(m_watcherBus, ayatana).errorName(), u"org.freedesktop.DBus.Error.UnknownMethod");
    tray.statusNotifierItem()->setAnswersAyatanaActivation(true);
    EXPECT_EQ(call(m_watcherBus, ayatana).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(activated.size(), 2);
}

/// The top-level labels of the item's dbusmenu as a host reads them ("-" for a separator).
QStringList menuEntries(const QDBusConnection& bus, const QString& service, const QString& path)
{
    QDBusMessage get = QDBusMessage::createMethodCall(service, path, u"com.canonical.dbusmenu"_s, u"GetLayout"_s);
    get << 0 << -1 << QStringList();
    const QDBusMessage reply = call(bus, get);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        return {u"error: "_s + reply.errorMessage()};
    DBusMenuLayoutItem root;
    reply.arguments().at(1).value<QDBusArgument>() >> root;
    QStringList entries;
    for (const DBusMenuLayoutItem& item : root.children)
        entries.append(item.properties.value(u"type"_s).toString() == u"separator"
                           ? u"-"_s
                           : item.properties.value(u"label"_s).toString());
    return entries;
}

// The item serves a real dbusmenu with the app's entries: hosts draw it themselves. Entries
// that appear later reach a host that already cached the menu through LayoutUpdated, and a
// "clicked" event runs the entry.
TEST_F(StatusNotifierItemTest, MenuOverTheBus)
{
    startWatcher();
    UsageViewModel viewModel({.startLoops = false, .clock = {}});
    TrayApplication shell(viewModel, m_itemBus);
    shell.start();
    ASSERT_TRUE(test::waitUntil([&] { return shell.trayItem().isShown(); }));
    const QString service = shell.trayItem().statusNotifierItem()->serviceName();
    const QString path = qvariant_cast<QDBusObjectPath>(property(m_watcherBus, service, u"Menu"_s)).path();
    ASSERT_EQ(path, u"/MenuBar");
    EXPECT_EQ(menuEntries(m_watcherBus, service, path),
              (QStringList{u"Open Tallyvue"_s, u"Refresh Now"_s, u"-"_s, u"Quit"_s}));
    EXPECT_EQ(property(m_watcherBus, service, u"Version"_s, path, u"com.canonical.dbusmenu"_s).toUInt(), 3u);

    SignalCatcher catcher;
    ASSERT_TRUE(m_watcherBus.connect(service, path, u"com.canonical.dbusmenu"_s, u"LayoutUpdated"_s, &catcher,
                                     SLOT(onLayoutUpdated(uint, int))));
    int detailsOpened = 0;
    shell.setOpenDetails([&] { ++detailsOpened; });
    shell.setOpenSettings([] {});
    ASSERT_TRUE(test::waitUntil([&] { return catcher.layoutUpdates >= 2; }));
    const QStringList entries = menuEntries(m_watcherBus, service, path);
    EXPECT_EQ(entries, (QStringList{u"Open Tallyvue"_s, u"Refresh Now"_s, u"Open Details…"_s, u"Settings…"_s, u"-"_s,
                                    u"Quit"_s}));

    const auto event = [&](int id, const QString& kind) {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, u"com.canonical.dbusmenu"_s, u"Event"_s);
        message << id << kind << QVariant::fromValue(QDBusVariant(QVariant(0))) << 0u;
        return call(m_watcherBus, message).type();
    };
    EXPECT_EQ(event(int(entries.indexOf(u"Open Details…"_s) + 1), u"clicked"_s), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(test::waitUntil([&] { return detailsOpened == 1; }));
    // Only "clicked" runs an entry; a hover does nothing.
    EXPECT_EQ(event(1, u"hovered"_s), QDBusMessage::ReplyMessage);
    event(1, u"clicked"_s);
    EXPECT_TRUE(test::waitUntil([&] { return shell.popover().isVisible(); }));
    EXPECT_EQ(detailsOpened, 1);
}

#include "StatusNotifierItemTest.moc"
