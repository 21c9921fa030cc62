// SPDX-License-Identifier: MIT
// The private bus with named connections of its own, and a fixture that starts one per test.
#pragma once

#include "platform/TestServers.h"

#include <QDBusConnection>

#include <gtest/gtest.h>

namespace tallyvue::test {

/// A PrivateBus whose connections opened with connect() close before it stops.
class TestBus : public PrivateBus
{
public:
    ~TestBus()
    {
        for (const QString& name : m_connections)
            QDBusConnection::disconnectFromBus(name);
    }
    QDBusConnection connect(const QString& name)
    {
        m_connections.append(name);
        return QDBusConnection::connectToBus(address(), name);
    }

private:
    QStringList m_connections;
};

/// A test with a private bus of its own; it skips where dbus-daemon is not installed. A SetUp()
/// that goes on after this one's returns when IsSkipped() or HasFatalFailure().
class BusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const auto why = missingTools({"dbus-daemon"}))
            GTEST_SKIP() << *why;
        ASSERT_TRUE(bus.start()) << "dbus-daemon did not start";
    }

    TestBus bus;
};

} // namespace tallyvue::test
