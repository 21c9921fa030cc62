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

#include <limits>

using namespace tallyvue;
using tallyvue::test::OutputCapture;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kT0 = QDateTime::fromString(u"2026-01-05T12:00:00Z"_s, Qt::ISODate);
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr qint64 kNoReset = std::numeric_limits<qint64>::min();

/// A window whose reset lies `resetAt` seconds after kT0 (kNoReset: none).
ProviderMetric window(AIProvider provider, const char* kind, double percent, qint64 resetAt = 3600)
{
    const auto resetsAt = resetAt == kNoReset ? std::nullopt : std::optional(kT0.addSecs(resetAt));
    return {provider, QString::fromLatin1(kind), u"5-Hour"_s, percent, resetsAt, std::nullopt};
}

ProviderMetric claude(double percent, qint64 resetAt = 3600)
{
    return window(AIProvider::Claude, "session", percent, resetAt);
}

class RecordingNotifier : public AlertNotifier
{
public:
    QList<AlertNotification> posted;

    void post(const AlertNotification& notification) override { posted.append(notification); }
    QCoro::Task<NotificationAuthorization> authorizationStatus() override
    {
        co_return NotificationAuthorization::Authorized;
    }
    QCoro::Task<ShowPreviews> showPreviewsSetting() override { co_return ShowPreviews::Always; }
    QCoro::Task<Result<bool, QString>> requestAuthorization() override { co_return true; }
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
    Preferences::instance().setValue(u"TallyvueNotifiedCycles"_s, u"old"_s); // the old record's key goes
    for (const QString& text : rows) {
        SCOPED_TRACE(text.toStdString());
        Preferences::instance().setValue(u"TallyvueNotifiedAlerts"_s, text);
        ThresholdAlerts::evaluate({claude(95, 3600)}, kT0);
        EXPECT_EQ(notifier->takeIds(), QStringList{u"Claude:session"_s});
        // Reset time in seconds since 1970 and the percent, per window.
        EXPECT_EQ(record(),
                  (QJsonObject{{u"Claude:session"_s, QJsonObject{{u"resetsAt"_s, 1767618000}, {u"percent"_s, 95}}}}));
    }
    EXPECT_FALSE(stored(u"TallyvueNotifiedCycles"_s).isValid());
    // The same entry in a sound record is honoured, also when the reset moved up to an hour
    // (the same window); one more second is a new window. One without a reset time is always due.
    Preferences::instance().setValue(u"TallyvueNotifiedAlerts"_s, QString(u"{" + remembered + u'}'));
    ThresholdAlerts::evaluate({claude(95, 3600)}, kT0);
    ThresholdAlerts::evaluate({claude(95, 7200)}, kT0);
    EXPECT_TRUE(notifier->takeIds().isEmpty());
    ThresholdAlerts::evaluate({claude(95, 7201)}, kT0);
    EXPECT_EQ(notifier->takeIds(), QStringList{u"Claude:session"_s});
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
        {QuotaDisplayMode::Used, 99.99, 59, 90, u"99% used"_s, u"Alert threshold 90% · resets in 1m"_s},
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
