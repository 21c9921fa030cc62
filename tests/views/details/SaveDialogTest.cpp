// SPDX-License-Identifier: MIT
// The save dialog through a desktop portal on a private bus, and the fall-back to our own dialog.
#include "views/details/SaveDialog.h"
#include "platform/TestBus.h"
#include "support/ViewSupport.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QFileDialog>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

/// Answers FileChooser.SaveFile with a request path and then, as a real portal does once the
/// user has chosen, sends Response on that path.
class FakePortal : public QDBusVirtualObject
{
public:
    explicit FakePortal(const QDBusConnection& bus) : m_bus(bus) {}

    uint response = 0;
    QString chosenUri;
    bool refuse = false;
    QVariantMap options;
    QString title;

    bool start()
    {
        return m_bus.registerVirtualObject(u"/org/freedesktop/portal/desktop"_s, this) &&
               m_bus.registerService(u"org.freedesktop.portal.Desktop"_s);
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != u"SaveFile")
            return false;
        if (refuse) {
            connection.send(message.createErrorReply(u"org.freedesktop.DBus.Error.AccessDenied"_s, u"no"_s));
            return true;
        }
        title = message.arguments().value(1).toString();
        options = qdbus_cast<QVariantMap>(message.arguments().value(2));
        const QString sender = message.service().mid(1).replace(u'.', u'_');
        const QString path =
            u"/org/freedesktop/portal/desktop/request/"_s + sender + u'/' + options.value(u"handle_token"_s).toString();
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(path))));
        QDBusMessage signal = QDBusMessage::createSignal(path, u"org.freedesktop.portal.Request"_s, u"Response"_s);
        signal << response << QVariantMap{{u"uris"_s, QStringList{chosenUri}}};
        connection.send(signal);
        return true;
    }

private:
    QDBusConnection m_bus;
};

const SaveRequest kRequest{
    u"Export History as CSV"_s, u"tallyvue-history.csv"_s, u"CSV"_s, {u"*.csv"_s}, u"text/csv"_s};

} // namespace

using SaveDialogTest = BusTest;

// The portal is asked with the proposed name; its answer (a file, a cancel) reaches the caller
// once; a portal that refuses leaves the user with our own dialog instead of nothing.
TEST_F(SaveDialogTest, DesktopPortal)
{
    QDBusConnection portalBus = bus.connect(u"portal"_s);
    QDBusConnection clientBus = bus.connect(u"client"_s);
    ASSERT_TRUE(portalBus.isConnected() && clientBus.isConnected());
    FakePortal portal(portalBus);
    ASSERT_TRUE(portal.start());

    const std::tuple<uint, QString, std::optional<QString>> rows[] = {
        {0, u"file:///tmp/chosen%20name.csv"_s, u"/tmp/chosen name.csv"_s},
        {1, {}, std::nullopt},
        {0, u"https://example.invalid/x.csv"_s, std::nullopt}, // not a local file: nothing to write to
    };
    for (const auto& [response, uri, expected] : rows) {
        portal.response = response;
        portal.chosenUri = uri;
        int calls = 0;
        std::optional<QString> chosen;
        askSaveLocation(
            nullptr, kRequest,
            [&](std::optional<QString> path) {
                ++calls;
                chosen = std::move(path);
            },
            clientBus);
        ASSERT_TRUE(waitUntil([&] { return calls > 0; }, 10000)) << uri.toStdString();
        settle(50);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(chosen, expected);
        EXPECT_EQ(portal.title, u"Export History as CSV"_s);
        EXPECT_EQ(portal.options.value(u"current_name"_s).toString(), u"tallyvue-history.csv"_s);
    }

    portal.refuse = true;
    std::optional<QString> chosen = u"unset"_s;
    askSaveLocation(
        nullptr, kRequest, [&](std::optional<QString> path) { chosen = std::move(path); }, clientBus);
    auto* dialog = waitForDialog<QFileDialog>(u"saveDialog"_s);
    ASSERT_NE(dialog, nullptr);
    dialog->reject();
    QCoreApplication::processEvents();
    EXPECT_EQ(chosen, std::nullopt);
}
