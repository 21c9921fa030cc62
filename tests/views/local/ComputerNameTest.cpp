// SPDX-License-Identifier: MIT
// The computer's name from a stand-in hostname service on a private bus.
#include "views/local/ComputerName.h"
#include "platform/TestServers.h"

#include <QDBusConnection>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {

/// Answers org.freedesktop.DBus.Properties.Get for PrettyHostname, as hostnamed does.
class FakeHostnamed : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.hostname1")
    Q_PROPERTY(QString PrettyHostname READ prettyHostname)

public:
    explicit FakeHostnamed(QString pretty) : m_pretty(std::move(pretty)) {}
    QString prettyHostname() const { return m_pretty; }

private:
    QString m_pretty;
};

class ComputerNameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const auto why = test::missingTools({"dbus-daemon"}))
            GTEST_SKIP() << *why;
        ASSERT_TRUE(m_bus.start());
    }
    void TearDown() override
    {
        for (const QString& name : m_connections)
            QDBusConnection::disconnectFromBus(name);
    }
    QDBusConnection connect(const QString& name)
    {
        m_connections.append(name);
        return QDBusConnection::connectToBus(m_bus.address(), name);
    }

    test::PrivateBus m_bus;
    QStringList m_connections;
};

} // namespace

// The pretty name replaces the host name once it arrives; an empty one, or no service, keeps it.
TEST_F(ComputerNameTest, PrettyNameFromTheHostnameService)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Anna's ThinkPad", "Anna's ThinkPad"},
        {"   ", "host"},
        {nullptr, "host"},
    };
    int round = 0;
    for (const auto& [pretty, expected] : cases) {
        SCOPED_TRACE(round);
        ComputerName::instance().setName(u"host"_s);
        QDBusConnection service = connect(u"service%1"_s.arg(round));
        FakeHostnamed fake(QString::fromUtf8(pretty ? pretty : ""));
        if (pretty) {
            ASSERT_TRUE(
                service.registerObject(u"/org/freedesktop/hostname1"_s, &fake, QDBusConnection::ExportAllProperties));
            ASSERT_TRUE(service.registerService(u"org.freedesktop.hostname1"_s));
        }
        QDBusConnection client = connect(u"client%1"_s.arg(round));
        ComputerName::instance().lookUp(client);
        // The call never waits: the name is still the old one right after asking.
        EXPECT_EQ(ComputerName::instance().name(), u"host");
        QSignalSpy changed(&ComputerName::instance(), &ComputerName::changed);
        if (pretty && QString::fromUtf8(pretty).trimmed().size() > 0)
            EXPECT_TRUE(changed.wait(10000));
        else
            changed.wait(300);
        EXPECT_EQ(ComputerName::instance().name(), QString::fromUtf8(expected));
        if (pretty) {
            service.unregisterService(u"org.freedesktop.hostname1"_s);
            service.unregisterObject(u"/org/freedesktop/hostname1"_s);
        }
        ++round;
    }
}

#include "ComputerNameTest.moc"
