// SPDX-License-Identifier: MIT
// The tray item against a StatusNotifierWatcher of our own on a private session bus.
#include "shell/StatusNotifierItem.h"
#include "platform/TestServers.h"
#include "shell/TrayItem.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusVariant>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>

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
};

/// Receives the item's signals on the host's side of the bus.
class SignalCatcher : public QObject
{
    Q_OBJECT

public:
    QStringList labels;
    int toolTips = 0;
    int icons = 0;

public Q_SLOTS:
    void onLabel(const QString& text, const QString&) { labels.append(text); }
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

QVariant property(const QDBusConnection& bus, const QString& service, const QString& name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(service, u"/StatusNotifierItem"_s,
                                                      u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << u"org.kde.StatusNotifierItem"_s << name;
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
        m_watcherBus = QDBusConnection::connectToBus(m_bus.address(), u"watcher"_s);
        m_itemBus = QDBusConnection::connectToBus(m_bus.address(), u"item"_s);
        ASSERT_TRUE(m_watcherBus.isConnected());
        ASSERT_TRUE(m_itemBus.isConnected());
    }
    void TearDown() override
    {
        QDBusConnection::disconnectFromBus(u"watcher"_s);
        QDBusConnection::disconnectFromBus(u"item"_s);
    }

    void startWatcher()
    {
        ASSERT_TRUE(
            m_watcherBus.registerObject(u"/StatusNotifierWatcher"_s, &m_watcher,
                                        QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
        ASSERT_TRUE(m_watcherBus.registerService(u"org.kde.StatusNotifierWatcher"_s));
    }
    void stopWatcher()
    {
        m_watcherBus.unregisterService(u"org.kde.StatusNotifierWatcher"_s);
        m_watcherBus.unregisterObject(u"/StatusNotifierWatcher"_s);
    }

    test::PrivateBus m_bus;
    QDBusConnection m_watcherBus{u"unset"_s};
    QDBusConnection m_itemBus{u"unset"_s};
    FakeWatcher m_watcher;
};

} // namespace

// Registration at start, and again whenever a watcher (re)appears.
TEST_F(StatusNotifierItemTest, RegistersAndRegistersAgain)
{
    startWatcher();
    TrayItem tray(m_itemBus);
    QSignalSpy shown(&tray, &TrayItem::shown);
    tray.start();
    ASSERT_TRUE(test::waitUntil([&] { return shown.size() == 1; }));
    EXPECT_EQ(tray.kind(), TrayItem::Kind::StatusNotifier);
    const QString service = tray.statusNotifierItem()->serviceName();
    EXPECT_EQ(m_watcher.registrations, QStringList{service});
    EXPECT_TRUE(service.startsWith(u"org.kde.StatusNotifierItem-"));

    // The tray restarts: the new watcher hears from us without being asked.
    stopWatcher();
    ASSERT_TRUE(test::waitUntil([&] { return !tray.statusNotifierItem()->isRegistered(); }));
    startWatcher();
    ASSERT_TRUE(test::waitUntil([&] { return m_watcher.registrations.size() == 2; }));
    EXPECT_EQ(m_watcher.registrations.last(), service);
    EXPECT_TRUE(test::waitUntil([&] { return tray.statusNotifierItem()->isRegistered(); }));
}

// A watcher that appears only after we started still gets the item.
TEST_F(StatusNotifierItemTest, WatcherAppearingLater)
{
    TrayItem tray(m_itemBus);
    QSignalSpy shown(&tray, &TrayItem::shown);
    tray.start();
    QCoreApplication::processEvents();
    EXPECT_EQ(tray.kind(), TrayItem::Kind::None);
    startWatcher();
    ASSERT_TRUE(test::waitUntil([&] { return shown.size() == 1; }));
    EXPECT_EQ(tray.kind(), TrayItem::Kind::StatusNotifier);
}

// What the host reads (icon, tooltip, label) and the change signals it listens to; Activate.
TEST_F(StatusNotifierItemTest, PropertiesSignalsAndActivate)
{
    startWatcher();
    TrayItem tray(m_itemBus);
    tray.start();
    ASSERT_TRUE(test::waitUntil([&] { return tray.isShown(); }));
    const QString service = tray.statusNotifierItem()->serviceName();

    QSignalSpy labels(tray.statusNotifierItem(), &StatusNotifierItem::newLabel);

    TrayLabel label;
    label.level = UsageLevel::Yellow;
    label.text = u"63%  ·  7d 40%"_s;
    label.toolTip = label.text;
    tray.setLabel(label);
    EXPECT_EQ(labels.size(), 1);
    EXPECT_EQ(property(m_watcherBus, service, u"XAyatanaLabel"_s).toString(), u"63%  ·  7d 40%");
    EXPECT_EQ(property(m_watcherBus, service, u"XAyatanaLabelGuide"_s).toString(), u"100%  ·  88d 100%");
    EXPECT_EQ(property(m_watcherBus, service, u"Id"_s).toString(), u"tallyvue");
    EXPECT_EQ(property(m_watcherBus, service, u"Status"_s).toString(), u"Active");

    const QVariant toolTip = property(m_watcherBus, service, u"ToolTip"_s);
    SniToolTip decodedTip;
    toolTip.value<QDBusArgument>() >> decodedTip;
    EXPECT_EQ(decodedTip.title, u"Tallyvue");
    EXPECT_EQ(decodedTip.description, u"63%  ·  7d 40%");

    const QVariant icon = property(m_watcherBus, service, u"IconPixmap"_s);
    SniIconPixmapList pixmaps;
    icon.value<QDBusArgument>() >> pixmaps;
    QList<int> sides;
    for (const SniIconPixmap& pixmap : pixmaps) {
        sides.append(pixmap.width);
        EXPECT_EQ(pixmap.bytes.size(), pixmap.width * pixmap.height * 4);
    }
    EXPECT_EQ(sides, (QList<int>{16, 22, 32, 44}));

    // A second label that is the same sends no signal.
    tray.setLabel(label);
    EXPECT_EQ(labels.size(), 1);

    QSignalSpy activated(&tray, &TrayItem::activated);
    QDBusMessage activate = QDBusMessage::createMethodCall(service, u"/StatusNotifierItem"_s,
                                                           u"org.kde.StatusNotifierItem"_s, u"Activate"_s);
    activate << 1200 << 14;
    EXPECT_EQ(call(m_watcherBus, activate).type(), QDBusMessage::ReplyMessage);
    ASSERT_EQ(activated.size(), 1);
    EXPECT_EQ(activated[0][0].toPoint(), QPoint(1200, 14));
}

// The change signals a host listens to really go out on the bus.
TEST_F(StatusNotifierItemTest, ChangeSignalsReachTheBus)
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
    label.text = u"12%"_s;
    label.toolTip = label.text;
    tray.setLabel(label);
    ASSERT_TRUE(
        test::waitUntil([&] { return !catcher.labels.isEmpty() && catcher.toolTips > 0 && catcher.icons > 0; }));
    EXPECT_EQ(catcher.labels, QStringList{u"12%"_s});
}

#include "StatusNotifierItemTest.moc"
