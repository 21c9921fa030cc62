// SPDX-License-Identifier: MIT
// The computer's name from a stand-in hostname service on a private bus.
#include "views/local/ComputerName.h"
#include "platform/TestBus.h"

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
    QString prettyHostname() const { return pretty; }
    QString pretty;
};

using ComputerNameTest = test::BusTest;

} // namespace

// The pretty name replaces the host name once it arrives; an empty one, or no service, keeps it.
TEST_F(ComputerNameTest, PrettyNameFromTheHostnameService)
{
    FakeHostnamed fake;
    QDBusConnection service = bus.connect(u"service"_s);
    ASSERT_TRUE(service.registerObject(u"/org/freedesktop/hostname1"_s, &fake, QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(service.registerService(u"org.freedesktop.hostname1"_s));
    const std::pair<const char*, const char*> cases[] = {
        {"Anna's ThinkPad", "Anna's ThinkPad"}, {"   ", "host"}, {nullptr, "host"}, // the service has gone
    };
    int round = 0;
    for (const auto& [pretty, expected] : cases) {
        SCOPED_TRACE(round);
        if (!pretty)
            service.unregisterService(u"org.freedesktop.hostname1"_s);
        fake.pretty = QString::fromUtf8(pretty);
        ComputerName::instance().setName(u"host"_s);
        ComputerName::instance().lookUp(bus.connect(u"client%1"_s.arg(round++)));
        // The call never waits: the name is still the old one right after asking.
        EXPECT_EQ(ComputerName::instance().name(), u"host");
        QSignalSpy changed(&ComputerName::instance(), &ComputerName::changed);
        if (fake.pretty.trimmed().isEmpty())
            changed.wait(300);
        else
            EXPECT_TRUE(changed.wait(10000));
        EXPECT_EQ(ComputerName::instance().name(), QString::fromUtf8(expected));
    }
}

#include "ComputerNameTest.moc"
