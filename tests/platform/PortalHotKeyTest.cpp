// SPDX-License-Identifier: MIT
// The Wayland shortcut through a fake GlobalShortcuts portal on a private session bus, and the
// manager following the stored preset.
#include "platform/TestBus.h"
#include "platform/linux/HotKeyManager.h"
#include "platform/linux/PortalHotKeyBackend.h"
#include "support/OutputCapture.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

const QString kDesktop = u"/org/freedesktop/portal/desktop"_s;

/// Answers CreateSession and BindShortcuts through Request objects, as the real portal does.
class FakePortal : public QDBusVirtualObject
{
public:
    struct Binding
    {
        QString session, id, description, trigger;
    };
    QList<Binding> bindings;
    QStringList sessions;
    QStringList closed;
    uint createAnswer = 0;
    uint bindAnswer = 0;

    explicit FakePortal(const QDBusConnection& bus) : m_bus(bus) {}
    bool start()
    {
        return m_bus.registerVirtualObject(kDesktop, this, QDBusConnection::SubPath) &&
               m_bus.registerService(u"org.freedesktop.portal.Desktop"_s);
    }
    void activate(const QString& session, const QString& id)
    {
        QDBusMessage signal =
            QDBusMessage::createSignal(kDesktop, u"org.freedesktop.portal.GlobalShortcuts"_s, u"Activated"_s);
        signal.setArguments({QVariant::fromValue(QDBusObjectPath(session)), id, qulonglong(0), QVariantMap()});
        m_bus.send(signal);
    }
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QVariantList args = message.arguments();
        QString sender = message.service().mid(1);
        sender.replace(u'.', u'_');
        if (message.member() == u"Close") {
            closed << message.path();
            connection.send(message.createReply());
            return true;
        }
        const QVariantMap options = qdbus_cast<QVariantMap>(args.constLast().value<QDBusArgument>());
        const QString request = kDesktop + u"/request/"_s + sender + u'/' + options.value(u"handle_token"_s).toString();
        uint answer = 0;
        QVariantMap results;
        if (message.member() == u"CreateSession") {
            const QString session =
                kDesktop + u"/session/"_s + sender + u'/' + options.value(u"session_handle_token"_s).toString();
            sessions << session;
            results.insert(u"session_handle"_s, session);
            answer = createAnswer;
        } else if (message.member() == u"BindShortcuts") {
            const QString session = args[0].value<QDBusObjectPath>().path();
            const QDBusArgument list = args[1].value<QDBusArgument>();
            list.beginArray();
            while (!list.atEnd()) {
                QString id;
                QVariantMap properties;
                list.beginStructure();
                list >> id >> properties;
                list.endStructure();
                bindings.append({session, id, properties.value(u"description"_s).toString(),
                                 properties.value(u"preferred_trigger"_s).toString()});
            }
            list.endArray();
            answer = bindAnswer;
        } else {
            return false;
        }
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QDBusMessage response = QDBusMessage::createSignal(request, u"org.freedesktop.portal.Request"_s, u"Response"_s);
        response.setArguments({answer, results});
        connection.send(response);
        return true;
    }

private:
    QDBusConnection m_bus;
};

} // namespace

class PortalHotKeyTest : public BusTest
{
protected:
    void SetUp() override
    {
        BusTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        portalBus = bus.connect(u"portal"_s);
        clientBus = bus.connect(u"portal-client"_s);
        portal = std::make_unique<FakePortal>(portalBus);
        manager.setBackend(std::make_unique<PortalHotKeyBackend>(clientBus));
        manager.setAction([this] { ++presses; });
    }
    void TearDown() override
    {
        manager.setBackend(nullptr);
        manager.setAction({});
        portal.reset();
    }
    /// Fires the shortcut in `session` and reports how many times the action ran.
    int pressIn(const QString& session, const QString& id = u"open-tallyvue"_s)
    {
        presses = 0;
        portal->activate(session, id);
        settle(200);
        return presses;
    }

    QDBusConnection portalBus{QString()};
    QDBusConnection clientBus{QString()};
    std::unique_ptr<FakePortal> portal;
    HotKeyManager& manager = HotKeyManager::shared();
    int presses = 0;
};

// Switching again before the portal has answered leaves only the last choice bound.
TEST_F(PortalHotKeyTest, QuickSwitchKeepsTheLastChoice)
{
    ASSERT_TRUE(portal->start());
    manager.registerPreset(HotKeyPreset::CtrlOptQ);
    manager.registerPreset(HotKeyPreset::CtrlOptSpace);
    ASSERT_TRUE(waitUntil([&] { return !portal->bindings.isEmpty() && portal->closed.size() == 1; }));
    settle(200);
    ASSERT_EQ(portal->bindings.size(), 1);
    EXPECT_EQ(portal->bindings[0].trigger, u"CTRL+ALT+space"_s);
    EXPECT_EQ(portal->bindings[0].description, u"Open Tallyvue"_s);
    EXPECT_EQ(PortalHotKeyBackend::trigger(*hotKeyCombination(HotKeyPreset::CtrlShiftOptQ)), u"CTRL+SHIFT+ALT+q"_s);
    EXPECT_EQ(portal->closed, QStringList{portal->sessions[0]});
    EXPECT_EQ(pressIn(portal->bindings[0].session), 1);

    manager.registerPreset(HotKeyPreset::Off);
    ASSERT_TRUE(waitUntil([&] { return portal->closed.size() == 2; }));
    EXPECT_EQ(pressIn(portal->bindings[0].session), 0);
}

// A refusal by the portal, or no portal at all, gives the log line with the status; the first
// one also names the key-binding workaround.
TEST_F(PortalHotKeyTest, RefusalIsLogged)
{
    // Whether the portal runs, its answers to CreateSession and BindShortcuts, the log.
    const std::tuple<bool, uint, uint, const char*> rows[] = {
        {true, 0, 2,
         "[Tallyvue] RegisterEventHotKey failed: 2\n[Tallyvue] No global shortcut from this desktop; bind a key to "
         "run `tallyvue` instead, which opens the running copy's popover (sway/i3: bindsym Ctrl+Alt+q exec "
         "tallyvue)\n"},
        {true, 1, 0, "[Tallyvue] RegisterEventHotKey failed: 1\n"},
        {false, 0, 0, "[Tallyvue] RegisterEventHotKey failed: -1\n"},
    };
    ASSERT_TRUE(portal->start());
    for (const auto& [portalRuns, createAnswer, bindAnswer, line] : rows) {
        if (!portalRuns)
            portalBus.unregisterService(u"org.freedesktop.portal.Desktop"_s);
        portal->createAnswer = createAnswer;
        portal->bindAnswer = bindAnswer;
        OutputCapture output;
        manager.registerPreset(HotKeyPreset::CtrlOptU);
        settle(300);
        EXPECT_EQ(output.text(), line);
    }
}
