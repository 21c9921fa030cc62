// SPDX-License-Identifier: MIT
#pragma once

#include "providers/Network.h"
#include "providers/UsageService.h"
#include "support/Files.h"
#include "support/HttpServer.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <list>
#include <optional>

// Readable failures in gtest output.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << '"' << bytes.toStdString() << '"';
}

namespace tallyvue {
inline void PrintTo(const UsageServiceError& error, std::ostream* out)
{
    *out << error.debugDescription().toStdString();
}
} // namespace tallyvue

namespace tallyvue::test {

/// Sets (or, with nothing, removes) an environment variable for one scope.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value)
        : m_name(name), m_old(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        set(value);
    }
    ~ScopedEnv() { set(m_old); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void set(const std::optional<QByteArray>& value)
    {
        if (value)
            qputenv(m_name, *value);
        else
            qunsetenv(m_name);
    }
    const char* m_name;
    std::optional<QByteArray> m_old;
};

/// `actual` holds the value `expected` holds, or the same error.
template<typename T>
void expectResult(const ServiceResult<T>& actual, const ServiceResult<T>& expected)
{
    ASSERT_EQ(actual.hasValue(), expected.hasValue());
    if (expected) {
        EXPECT_EQ(actual.value(), expected.value());
    } else {
        EXPECT_EQ(actual.error(), expected.error());
    }
}

/// A GET of `target` that carries each of `headers` exactly once with its value.
inline void expectRequest(const RecordedRequest& request, const char* target,
                          std::initializer_list<std::pair<const char*, QByteArray>> headers)
{
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, target);
    EXPECT_TRUE(request.body.isEmpty());
    for (const auto& [name, value] : headers)
        EXPECT_EQ(request.value(name), value) << name;
}

/// A test whose home folder starts empty again and whose three services point at `server`.
class ServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        for (const char* name : {"TALLYVUE_CLAUDE_API", "TALLYVUE_CHATGPT_API", "TALLYVUE_COPILOT_API"})
            m_env.emplace_back(name, server.origin().toUtf8());
        detail::setTransferTimeout(std::chrono::milliseconds(10000)); // never reached unless a test stalls
    }
    void TearDown() override
    {
        detail::setTransferTimeout(detail::kDefaultTransferTimeout);
        QDir(QDir::homePath()).removeRecursively();
        QDir().mkpath(QDir::homePath());
    }

    HttpServer server;

private:
    std::list<ScopedEnv> m_env;
};

} // namespace tallyvue::test
