// SPDX-License-Identifier: MIT
// Builders for transcript lines and trees of real files, and a price table, shared by the local-usage tests.
#pragma once

#include "local/LocalUsageScanner.h"
#include "model/Timestamp.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

#include <fcntl.h>
#include <sys/stat.h>

namespace tallyvue::test {

/// 2026-01-10T12:00:00Z
inline constexpr EpochMs kNow = 1768046400000;
inline constexpr EpochMs kHour = 3'600'000;
inline constexpr EpochMs kDay = 24 * kHour;

/// The moment an ISO 8601 text names, as a date or in milliseconds.
inline QDateTime utc(const char* iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}
inline EpochMs at(const char* iso)
{
    return utc(iso).toMSecsSinceEpoch();
}

inline std::string iso(EpochMs ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs).toStdString();
}

struct ClaudeRow
{
    std::string id = "msg_1";
    EpochMs at = kNow - kHour;
    std::int64_t input = 10;
    std::int64_t output = 20;
    std::int64_t cacheWrite = 30;
    std::int64_t cacheRead = 40;
    std::string model = "claude-sonnet-4-5-20250929";
    std::string cwd = "/home/me/app";
    std::string cacheCreation = {}; ///< JSON text of "usage"."cache_creation", or nothing
};

/// One Claude Code assistant row as Claude Code writes it (type after the message).
inline std::string claudeLine(const ClaudeRow& r)
{
    std::string idPart = r.id.empty() ? std::string() : "\"id\":\"" + r.id + "\",";
    std::string modelPart = r.model.empty() ? std::string() : "\"model\":\"" + r.model + "\",";
    std::string cwdPart = r.cwd.empty() ? std::string() : "\"cwd\":\"" + r.cwd + "\",";
    return "{\"parentUuid\":\"p\"," + cwdPart + "\"message\":{" + idPart +
           "\"type\":\"message\",\"role\":\"assistant\"," + modelPart +
           "\"content\":[{\"type\":\"text\",\"text\":\"hi \\\"there\\\"\"}],\"usage\":{\"input_tokens\":" +
           std::to_string(r.input) + ",\"cache_creation_input_tokens\":" + std::to_string(r.cacheWrite) +
           ",\"cache_read_input_tokens\":" + std::to_string(r.cacheRead) +
           ",\"output_tokens\":" + std::to_string(r.output) +
           (r.cacheCreation.empty() ? std::string() : ",\"cache_creation\":" + r.cacheCreation) +
           "}},\"type\":\"assistant\",\"uuid\":\"u\",\"timestamp\":\"" + iso(r.at) + "\"}\n";
}

inline std::string userLine(std::size_t padding = 40)
{
    return "{\"type\":\"user\",\"message\":{\"role\":\"user\",\"content\":\"" + std::string(padding, 'x') + "\"}}\n";
}

inline std::string codexMeta(const std::string& type, const std::string& cwd, const std::string& model)
{
    std::string payload = "\"cwd\":\"" + cwd + "\"";
    if (!model.empty())
        payload += ",\"model\":\"" + model + "\"";
    return "{\"timestamp\":\"" + iso(kNow - 2 * kHour) + "\",\"type\":\"" + type + "\",\"payload\":{" + payload +
           "}}\n";
}

/// `total`: the JSON text of "total_token_usage", or nothing.
inline std::string codexTokens(EpochMs at, std::int64_t input, std::int64_t cached, std::int64_t output,
                               const std::string& total = {})
{
    const std::string totalPart = total.empty() ? std::string() : "\"total_token_usage\":" + total + ",";
    return "{\"timestamp\":\"" + iso(at) +
           "\",\"type\":\"event_msg\",\"payload\":{\"type\":\"token_count\",\"info\":{" + totalPart +
           "\"last_token_usage\":{\"input_tokens\":" + std::to_string(input) +
           ",\"cached_input_tokens\":" + std::to_string(cached) + ",\"output_tokens\":" + std::to_string(output) +
           "}}}}\n";
}

// Round prices in USD per million tokens, so that each expected cost is easy to check by hand.
inline constexpr char kTestPrices[] = R"({"source": "test", "version": "1", "date": "2026-01-01", "providers": [
{"id": "anthropic", "providerMatch": {"contains": "anthropic"}, "modelMatch": {"contains": "claude"}, "models": [
{"id": "claude-flat", "match": {"starts_with": "claude-flat"},
 "prices": [{"input": 3, "output": 15, "cacheWrite": 3.75, "cacheWrite1h": 6, "cacheRead": 0.3}]},
{"id": "claude-tiered", "match": {"starts_with": "claude-tiered"},
 "prices": [{"input": {"base": 3, "tiers": [{"start": 200000, "price": 6}]},
             "output": {"base": 15, "tiers": [{"start": 200000, "price": 22.5}]},
             "cacheRead": {"base": 0.3, "tiers": [{"start": 200000, "price": 0.6}]}}]},
{"id": "claude-later", "match": {"regex": "^claude-later-\\d{8}$"}, "prices": [{"input": 10}, {"since": "2026-03-13", "input": 5}]},
{"id": "claude-audio", "match": {"equals": "claude-audio"}, "prices": [{}]}]},
{"id": "openai", "providerMatch": {"contains": "openai"}, "modelMatch": {"or": [{"starts_with": "gpt-"}, {"regex": "^o[134]"}]}, "models": [
{"id": "gpt-5", "match": {"or": [{"equals": "gpt-5"}, {"equals": "gpt-5-codex"}]}, "prices": [{"input": 1.25, "output": 10, "cacheRead": 0.125}]},
{"id": "gpt-4.1", "match": {"equals": "gpt-4.1-2025-04-14"}, "prices": [{"input": 2, "output": 8}]}]}]})";

/// What a run of tallyvue-cli printed.
struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

/// A home folder with both transcript trees, written as real files.
class TranscriptTreeFixture : public ::testing::Test
{
protected:
    QTemporaryDir m_dir;

    QString claudeRoot() const { return m_dir.path() + u"/claude/projects"; }
    QString codexRoot() const { return m_dir.path() + u"/codex/sessions"; }

    std::unique_ptr<LocalUsageScanner> makeScanner() const
    {
        return std::make_unique<LocalUsageScanner>(
            std::vector<LocalUsageSource>{{AIProvider::Claude, claudeRoot()}, {AIProvider::ChatGPT, codexRoot()}});
    }

    QString pathOf(const QString& relative) const { return m_dir.path() + u'/' + relative; }

    void write(const QString& relative, const std::string& bytes, bool append = false) const
    {
        const QString path = pathOf(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(append ? QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
    }

    void append(const QString& relative, const std::string& bytes) const { write(relative, bytes, true); }

    /// tallyvue-cli with this folder as its home, in Berlin time, at the prices in `prices` if given.
    CliRun runCli(const QStringList& args, const QString& prices = {}) const
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        env.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin"));
        if (!prices.isEmpty())
            env.insert(QStringLiteral("TALLYVUE_PRICES"), prices);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TALLYVUE_BINARY_DIR "/bin/tallyvue-cli"), args);
        EXPECT_TRUE(process.waitForFinished(30000));
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }

    void setModified(const QString& relative, EpochMs at) const
    {
        const timespec t{at / 1000, (at % 1000) * 1'000'000};
        const timespec times[2] = {t, t};
        ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(pathOf(relative)).constData(), times, 0), 0);
    }
};

} // namespace tallyvue::test
