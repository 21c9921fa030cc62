// SPDX-License-Identifier: MIT
#include "alerts/ThresholdAlerts.h"
#include "alerts/AppRoutes.h"
#include "model/Preferences.h"
#include "support/OutputCapture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace tallyvue;
using tallyvue::test::OutputCapture;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kT0 = QDateTime::fromString(u"2026-01-05T12:00:00Z"_s, Qt::ISODate);
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr qint64 kNoReset = std::numeric_limits<qint64>::min();

/// A window whose reset lies `resetAt` seconds after kT0 (kNoReset: none).
ProviderMetric window(AIProvider provider, const char* kind, double percent, qint64 resetAt = 3600)
{
    ProviderMetric metric;
    metric.provider = provider;
    metric.kind = QString::fromLatin1(kind);
    metric.title = u"5-Hour"_s;
    metric.percent = percent;
    if (resetAt != kNoReset)
        metric.resetsAt = kT0.addSecs(resetAt);
    return metric;
}

ProviderMetric claude(double percent, qint64 resetAt = 3600)
{
    return window(AIProvider::Claude, "session", percent, resetAt);
}

class RecordingNotifier : public AlertNotifier
{
public:
    QList<AlertNotification> posted;
    Result<bool, QString> authorization = true;

    void post(const AlertNotification& notification) override { posted.append(notification); }
    QCoro::Task<NotificationAuthorization> authorizationStatus() override
    {
        co_return NotificationAuthorization::Authorized;
    }
    QCoro::Task<ShowPreviews> showPreviewsSetting() override { co_return ShowPreviews::Always; }
    QCoro::Task<Result<bool, QString>> requestAuthorization() override { co_return authorization; }
    void openNotificationSettings() override {}

    QStringList takeIds()
    {
        QStringList ids;
        for (const AlertNotification& n : std::as_const(posted))
            ids << n.metricId;
        posted.clear();
        return ids;
    }
};

class ThresholdAlertsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QSettings(u"Tallyvue"_s, u"Tallyvue"_s).clear();
        ThresholdAlerts::installNotifier(notifier);
    }
    void TearDown() override { ThresholdAlerts::installNotifier(nullptr); }

    static QVariant stored(const QString& key) { return Preferences::instance().value(key); }
    static QJsonObject record()
    {
        return QJsonDocument::fromJson(stored(u"TallyvueNotifiedAlerts"_s).toString().toUtf8()).object();
    }

    std::shared_ptr<RecordingNotifier> notifier = std::make_shared<RecordingNotifier>();
};

} // namespace

// Fallback order: the provider's own key, then the single old key, then 90; zero or negative
// values count as "not set".
TEST_F(ThresholdAlertsTest, ThresholdFallsBack)
{
    // The ChatGPT key, the old shared key, the threshold.
    const std::tuple<QVariant, QVariant, double> rows[] = {
        {{}, {}, 90},     {{}, 75, 75}, {0, 75, 75},  {-5, 75, 75},
        {80.5, 75, 80.5}, {0, 0, 90},   {-1, -1, 90}, {u"abc"_s, {}, 90},
    };
    for (const auto& [own, shared, expected] : rows) {
        QSettings settings(u"Tallyvue"_s, u"Tallyvue"_s);
        settings.clear();
        if (own.isValid())
            settings.setValue(u"alertThreshold.ChatGPT"_s, own);
        if (shared.isValid())
            settings.setValue(u"alertThreshold"_s, shared);
        settings.sync();
        SCOPED_TRACE(own.toString().toStdString() + " / " + shared.toString().toStdString());
        EXPECT_EQ(ThresholdAlerts::threshold(AIProvider::ChatGPT), expected);
        EXPECT_EQ(ThresholdAlerts::threshold(AIProvider::Claude), shared.toDouble() > 0 ? shared.toDouble() : 90);
    }
}

// Successive refreshes of one window, each step with the alerts it must send.
TEST_F(ThresholdAlertsTest, ReportsEachWindowOnce)
{
    // Each step: the window as refreshed, and whether it alerts.
    const std::pair<const char*, QList<std::pair<ProviderMetric, bool>>> scenarios[] = {
        {"stays above: once", {{claude(92), true}, {claude(97), false}, {claude(100), false}}},
        {"exactly the threshold", {{claude(90), true}, {claude(89.99), false}, {claude(90), true}}},
        {"reset moved 3600 s is the same window, 3601 s a new one",
         {{claude(95, 3600), true}, {claude(95, 7200), false}, {claude(95, 7201), true}, {claude(95, 7201), false}}},
        {"an earlier reset is the same window", {{claude(95, 7200), true}, {claude(95, 60), false}}},
        {"falls below and crosses again in one window", {{claude(95), true}, {claude(40), false}, {claude(95), true}}},
        {"no reset time: again only after falling below",
         {{claude(95, kNoReset), true},
          {claude(95, kNoReset), false},
          {claude(80, kNoReset), false},
          {claude(95, kNoReset), true}}},
        {"a percent that is no number counts as below",
         {{claude(95), true}, {claude(kNaN), false}, {claude(95), true}}},
        {"an infinite percent is remembered like any other", {{claude(kInf), true}, {claude(kInf), false}}},
        {"no reset then one: both must be known to compare",
         {{claude(95, kNoReset), true}, {claude(95, 90000), false}}},
    };
    for (const auto& [name, steps] : scenarios) {
        SCOPED_TRACE(name);
        QSettings(u"Tallyvue"_s, u"Tallyvue"_s).clear();
        int index = 0;
        for (const auto& [metric, alerts] : steps) {
            SCOPED_TRACE(index++);
            ThresholdAlerts::evaluate({metric}, kT0.addSecs(60 * index));
            EXPECT_EQ(notifier->takeIds(), alerts ? QStringList{u"Claude:session"_s} : QStringList{});
        }
    }
}

// Each provider has its own threshold, and windows are compared in list order.
TEST_F(ThresholdAlertsTest, ProvidersUseTheirOwnThresholds)
{
    Preferences::instance().setAlertThreshold(AIProvider::Copilot, 50);
    Preferences::instance().setValue(u"alertThreshold"_s, 70);
    ThresholdAlerts::evaluate({window(AIProvider::Claude, "weekly_all", 69), window(AIProvider::ChatGPT, "primary", 70),
                               window(AIProvider::Copilot, "premium", 50), window(AIProvider::Claude, "session", 99)},
                              kT0);
    EXPECT_EQ(notifier->takeIds(), (QStringList{u"ChatGPT:primary"_s, u"Copilot:premium"_s, u"Claude:session"_s}));
}

// The record is JSON text: reset time (seconds since 1970, -1 for none) and percent per window.
// Windows that vanish keep their entry; the old cycles key is removed at every evaluation.
TEST_F(ThresholdAlertsTest, RecordIsKeptInTheSettingsStore)
{
    Preferences::instance().setValue(u"TallyvueNotifiedCycles"_s, u"old"_s);
    ThresholdAlerts::evaluate({claude(92.5), window(AIProvider::Copilot, "chat", 99, kNoReset)}, kT0);
    EXPECT_FALSE(stored(u"TallyvueNotifiedCycles"_s).isValid());
    const QJsonObject expected{{u"Claude:session"_s, QJsonObject{{u"resetsAt"_s, double(kT0.toSecsSinceEpoch() + 3600)},
                                                                 {u"percent"_s, 92.5}}},
                               {u"Copilot:chat"_s, QJsonObject{{u"resetsAt"_s, -1}, {u"percent"_s, 99}}}};
    EXPECT_EQ(record(), expected);

    ThresholdAlerts::evaluate({}, kT0.addSecs(60));
    EXPECT_EQ(record(), expected);
    ThresholdAlerts::evaluate({claude(10)}, kT0.addSecs(120));
    EXPECT_EQ(record().keys(), QStringList{u"Copilot:chat"_s});
    ThresholdAlerts::evaluate({window(AIProvider::Copilot, "chat", 99, kNoReset)}, kT0.addSecs(180));
    EXPECT_TRUE(notifier->takeIds() == (QStringList{u"Claude:session"_s, u"Copilot:chat"_s}));
}

// Without a notification service (tallyvue-cli fetch) nothing is evaluated, so no window is
// marked as reported behind the user's back.
TEST_F(ThresholdAlertsTest, NothingHappensWithoutANotifier)
{
    ThresholdAlerts::installNotifier(nullptr);
    Preferences::instance().setValue(u"TallyvueNotifiedCycles"_s, u"old"_s);
    OutputCapture output;
    ThresholdAlerts::evaluate({claude(99)}, kT0);
    EXPECT_EQ(output.text(), QByteArray());
    EXPECT_FALSE(stored(u"TallyvueNotifiedAlerts"_s).isValid());
    EXPECT_TRUE(stored(u"TallyvueNotifiedCycles"_s).isValid());
}

// A damaged record is dropped whole: every window may be reported again, and the record is
// replaced by a valid one.
TEST_F(ThresholdAlertsTest, MalformedRecordReadsAsEmpty)
{
    const QString remembered = u"\"Claude:session\":{\"resetsAt\":1767618000,\"percent\":95}"_s;
    const QString rows[] = {
        u"not json"_s,
        u"[1,2]"_s,
        u"{\"Claude:session\":5}"_s,
        u"{" + remembered + u",\"Copilot:chat\":{\"resetsAt\":\"soon\"}}"_s,
        u"{" + remembered + u",\"Copilot:chat\":{\"resetsAt\":null}}"_s,
    };
    for (const QString& text : rows) {
        SCOPED_TRACE(text.toStdString());
        Preferences::instance().setValue(u"TallyvueNotifiedAlerts"_s, text);
        ThresholdAlerts::evaluate({claude(95, 3600)}, kT0);
        EXPECT_EQ(notifier->takeIds(), QStringList{u"Claude:session"_s});
        EXPECT_EQ(record().keys(), QStringList{u"Claude:session"_s});
    }
    // The same entry in a sound record is honoured; one without a reset time is always due.
    Preferences::instance().setValue(u"TallyvueNotifiedAlerts"_s, QString(u"{" + remembered + u'}'));
    ThresholdAlerts::evaluate({claude(95, 3600)}, kT0);
    EXPECT_TRUE(notifier->takeIds().isEmpty());
    Preferences::instance().setValue(u"TallyvueNotifiedAlerts"_s, u"{\"Claude:session\":{\"percent\":95}}"_s);
    ThresholdAlerts::evaluate({claude(95, 3600)}, kT0);
    EXPECT_EQ(notifier->takeIds(), QStringList{u"Claude:session"_s});
}

// What one alert says, in both display modes, with and without a future reset.
TEST_F(ThresholdAlertsTest, AlertContent)
{
    // Mode, percent, reset (seconds after kT0), threshold, then the subtitle and body shown.
    const std::tuple<QuotaDisplayMode, double, qint64, double, QString, QString> rows[] = {
        {QuotaDisplayMode::Used, 92.7, 5400, 90, u"92% used"_s, u"Alert threshold 90% · resets in 1h 30m"_s},
        {QuotaDisplayMode::Remaining, 87.6, kNoReset, 75.9, u"12% left"_s, u"Alert threshold 75%"_s},
        {QuotaDisplayMode::Used, 104, -60, 90, u"100% used"_s, u"Alert threshold 90%"_s},
        {QuotaDisplayMode::Used, 95, 0, 90, u"95% used"_s, u"Alert threshold 90%"_s},
        {QuotaDisplayMode::Used, 95, 3 * 86400 + 7300, kInf, u"95% used"_s, u"Alert threshold ?% · resets in 3d 2h"_s},
    };
    for (const auto& [mode, percent, resetAt, threshold, subtitle, body] : rows) {
        SCOPED_TRACE(body.toStdString());
        const AlertNotification alert =
            ThresholdAlerts::content(window(AIProvider::ChatGPT, "primary", percent, resetAt), mode, kT0, threshold);
        EXPECT_EQ(alert.title, u"ChatGPT / Codex · 5-Hour"_s);
        EXPECT_EQ(alert.subtitle, subtitle);
        EXPECT_EQ(alert.body, body);
        EXPECT_EQ(alert.categoryIdentifier, u"quota.threshold"_s);
        EXPECT_EQ(alert.threadIdentifier, u"ChatGPT"_s);
        EXPECT_EQ(alert.metricId, u"ChatGPT:primary"_s);
        EXPECT_EQ(alert.requestIdentifier, u"quota-ChatGPT:primary-"_s + QString::number(kT0.toSecsSinceEpoch()));
    }
}

// The log line always speaks of the used percent, whatever the display mode.
TEST_F(ThresholdAlertsTest, LogLineSaysUsed)
{
    Preferences::instance().setQuotaDisplayMode(QuotaDisplayMode::Remaining);
    Preferences::instance().setAlertThreshold(AIProvider::Claude, 80);
    OutputCapture output;
    ThresholdAlerts::evaluate({claude(87.6)}, kT0.addMSecs(999));
    EXPECT_EQ(output.text(), "[Tallyvue] Sent threshold alert for Claude:session (87% used)\n");
    ASSERT_EQ(notifier->posted.size(), 1);
    EXPECT_EQ(notifier->posted[0].subtitle, u"12% left"_s);
    EXPECT_TRUE(notifier->posted[0].requestIdentifier.endsWith(QString::number(kT0.toSecsSinceEpoch())));
}

// Without a metric the sample Claude window is used, its reset just under 5700 s ahead even on
// a clock that does not move. The remembered alerts are left alone.
TEST_F(ThresholdAlertsTest, TestAlert)
{
    Preferences::instance().setValue(u"TallyvueNotifiedAlerts"_s, u"{\"x\":1}"_s);
    Preferences::instance().setAlertThreshold(AIProvider::Copilot, 60);
    const ThresholdAlerts::Clock clock = [] { return kT0; };

    ThresholdAlerts::sendTestAlert(std::nullopt, clock);
    ThresholdAlerts::sendTestAlert(window(AIProvider::Copilot, "premium", 12.5, kNoReset), clock);
    ASSERT_EQ(notifier->posted.size(), 2);
    EXPECT_EQ(notifier->posted[0].title, u"Test alert · Claude Code · 5-Hour"_s);
    EXPECT_EQ(notifier->posted[0].subtitle, u"87% used"_s);
    EXPECT_EQ(notifier->posted[0].body, u"Alert threshold 90% · resets in 1h 34m"_s);
    EXPECT_EQ(notifier->posted[1].body, u"Alert threshold 60%"_s);
    EXPECT_EQ(stored(u"TallyvueNotifiedAlerts"_s).toString(), u"{\"x\":1}"_s);
}

// The settings panel tests with the fullest window, the first among equals.
TEST_F(ThresholdAlertsTest, TestAlertMetricIsTheFullest)
{
    EXPECT_FALSE(ThresholdAlerts::testAlertMetric({}));
    const auto chosen =
        ThresholdAlerts::testAlertMetric({window(AIProvider::Claude, "a", kNaN), window(AIProvider::Claude, "b", 40),
                                          window(AIProvider::ChatGPT, "c", 80), window(AIProvider::Copilot, "d", 80)});
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->id(), u"ChatGPT:c"_s);
}

// Asked from another thread, the route still runs on the main thread.
TEST(AppRoutesTest, RunsOnTheMainThread)
{
    QThread* ranOn = nullptr;
    AppRoutes::instance().setOpenPopover([&] {
        ranOn = QThread::currentThread();
        return true;
    });
    std::unique_ptr<QThread> worker(QThread::create([] { AppRoutes::instance().bringForward(); }));
    worker->start();
    worker->wait();
    for (int i = 0; i < 100 && !ranOn; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
    AppRoutes::instance().setOpenPopover({});
}
