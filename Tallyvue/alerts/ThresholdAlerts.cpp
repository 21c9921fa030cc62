// SPDX-License-Identifier: MIT
#include "alerts/ThresholdAlerts.h"

#include "model/Formatting.h"
#include "model/Log.h"
#include "model/Preferences.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue {

QString displayText(NotificationAuthorization status)
{
    switch (status) {
    case NotificationAuthorization::NotDetermined: return u"not determined"_s;
    case NotificationAuthorization::Denied: return u"denied"_s;
    case NotificationAuthorization::Authorized: return u"authorized"_s;
    case NotificationAuthorization::Provisional: return u"provisional"_s;
    case NotificationAuthorization::Ephemeral: return u"ephemeral"_s;
    }
    return {};
}

QString displayText(ShowPreviews setting)
{
    switch (setting) {
    case ShowPreviews::Always: return u"always"_s;
    case ShowPreviews::WhenUnlocked: return u"when unlocked"_s;
    case ShowPreviews::Never: return u"never"_s;
    }
    return {};
}

namespace ThresholdAlerts {
namespace {

const QString kNotifiedAlertsKey = u"TallyvueNotifiedAlerts"_s;
const QString kNotifiedCyclesKey = u"TallyvueNotifiedCycles"_s;
const QString kSingleThresholdKey = u"alertThreshold"_s;
const QString kResetsAt = u"resetsAt"_s;
const QString kPercent = u"percent"_s;
constexpr double kDefaultThreshold = 90;
// A reset time that moves by up to an hour is the same window; providers jitter it.
constexpr double kSameWindowTolerance = 3600;
constexpr qint64 kTestResetSeconds = 5700;

/// Answers for the desktop while no notification service is installed.
class NullNotifier final : public AlertNotifier
{
public:
    void post(const AlertNotification&) override {}
    QCoro::Task<NotificationAuthorization> authorizationStatus() override
    {
        co_return NotificationAuthorization::Denied;
    }
    QCoro::Task<ShowPreviews> showPreviewsSetting() override { co_return ShowPreviews::Never; }
    QCoro::Task<Result<bool, QString>> requestAuthorization() override
    {
        co_return u"no notification service is available"_s;
    }
    void openNotificationSettings() override {}
};

std::shared_ptr<AlertNotifier>& installedNotifier()
{
    static std::shared_ptr<AlertNotifier> notifier;
    return notifier;
}

AlertNotifier& current()
{
    static NullNotifier none;
    AlertNotifier* notifier = installedNotifier().get();
    return notifier ? *notifier : none;
}

/// Whole-number text for the body and the log; values that are not numbers must not stop us.
QString wholeNumberText(double value)
{
    if (!std::isfinite(value))
        return u"?"_s;
    return QString::number(static_cast<qint64>(std::trunc(std::clamp(value, -1.0e15, 1.0e15))));
}

std::optional<QDateTime> validReset(const ProviderMetric& metric)
{
    if (metric.resetsAt && metric.resetsAt->isValid())
        return metric.resetsAt;
    return std::nullopt;
}

/// The remembered alerts; anything but an object of objects of numbers reads as empty.
QJsonObject readRecord()
{
    const QVariant stored = Preferences::instance().value(kNotifiedAlertsKey);
    if (stored.typeId() != QMetaType::QString && stored.typeId() != QMetaType::QByteArray)
        return {};
    const QJsonDocument document = QJsonDocument::fromJson(stored.toString().toUtf8());
    if (!document.isObject())
        return {};
    const QJsonObject record = document.object();
    for (const QJsonValue& entry : record) {
        if (!entry.isObject())
            return {};
        const QJsonObject fields = entry.toObject();
        if (!std::all_of(fields.begin(), fields.end(), [](const QJsonValue& v) { return v.isDouble(); }))
            return {};
    }
    return record;
}

void writeRecord(const QJsonObject& record)
{
    Preferences::instance().setValue(kNotifiedAlertsKey,
                                     QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact)));
}

bool isDue(const QJsonObject& record, const QString& id, double resetsAt)
{
    if (record.isEmpty() || !record.contains(id))
        return true;
    const QJsonObject entry = record.value(id).toObject();
    if (!entry.contains(kResetsAt))
        return true;
    const double stored = entry.value(kResetsAt).toDouble();
    return stored >= 0 && resetsAt >= 0 && resetsAt - stored > kSameWindowTolerance;
}

} // namespace

double threshold(AIProvider provider)
{
    const Preferences& prefs = Preferences::instance();
    if (const double own = prefs.alertThreshold(provider); own > 0)
        return own;
    if (const double shared = prefs.number(kSingleThresholdKey); shared > 0)
        return shared;
    return kDefaultThreshold;
}

void evaluate(const QList<ProviderMetric>& metrics, const QDateTime& now)
{
    // Without a desktop to show them (tallyvue-cli fetch, a headless run), alerts are not
    // evaluated at all: remembering a window as reported would swallow its real alert later.
    if (!installedNotifier())
        return;
    Preferences& prefs = Preferences::instance();
    prefs.remove(kNotifiedCyclesKey);
    QJsonObject record = readRecord();
    const QuotaDisplayMode mode = prefs.quotaDisplayMode();

    for (const ProviderMetric& metric : metrics) {
        const double limit = threshold(metric.provider);
        const double used = metric.percent;
        const QString id = metric.id();
        if (limit <= used) {
            const auto reset = validReset(metric);
            const double resetsAt = reset ? double(reset->toMSecsSinceEpoch()) / 1000.0 : -1.0;
            if (!isDue(record, id, resetsAt))
                continue;
            send(metric, mode, now, limit);
            QJsonObject entry{{kResetsAt, resetsAt}};
            // JSON has no infinity; an entry must stay all numbers or the whole record is lost.
            if (std::isfinite(used))
                entry.insert(kPercent, used);
            record.insert(id, entry);
        } else {
            record.remove(id);
        }
    }
    writeRecord(record);
}

AlertNotification content(const ProviderMetric& metric, QuotaDisplayMode mode, const QDateTime& now, double threshold)
{
    const QString id = metric.id();
    AlertNotification alert;
    alert.title = productName(metric.provider) + u" · "_s + metric.title;
    alert.subtitle = metric.percentText(mode) + (mode == QuotaDisplayMode::Remaining ? u" left"_s : u" used"_s);
    alert.body = u"Alert threshold "_s + wholeNumberText(threshold) + u'%';
    if (const auto reset = validReset(metric); reset && *reset > now)
        alert.body += u" · resets in "_s + durationText(double(now.msecsTo(*reset)) / 1000.0);
    alert.categoryIdentifier = kCategory.toString();
    alert.threadIdentifier = rawValue(metric.provider);
    alert.metricId = id;
    alert.requestIdentifier = u"quota-"_s + id + u'-' + QString::number(now.toSecsSinceEpoch());
    return alert;
}

void send(const ProviderMetric& metric, QuotaDisplayMode mode, const QDateTime& now, double threshold)
{
    current().post(content(metric, mode, now, threshold));
    log(u"Sent threshold alert for "_s + metric.id() + u" ("_s + wholeNumberText(metric.percent) + u"% used)"_s);
}

std::optional<ProviderMetric> testAlertMetric(const QList<ProviderMetric>& metrics)
{
    std::optional<ProviderMetric> highest;
    for (const ProviderMetric& metric : metrics) {
        // A percent that is not a number never outranks a real one.
        if (!highest || (metric.percent > highest->percent) ||
            (std::isnan(highest->percent) && !std::isnan(metric.percent)))
            highest = metric;
    }
    return highest;
}

void sendTestAlert(const std::optional<ProviderMetric>& metric, const Clock& clock)
{
    // One clock read. The sample is built before it is sent, so sending is taken one millisecond
    // later: its countdown is always just under 5700 s ("resets in 1h 34m"), never 1h 35m when
    // two reads happen to fall in the same millisecond.
    const QDateTime built = clock();
    ProviderMetric chosen;
    if (metric) {
        chosen = *metric;
    } else {
        chosen.provider = AIProvider::Claude;
        chosen.kind = u"session"_s;
        chosen.title = u"5-Hour"_s;
        chosen.percent = 87;
        chosen.resetsAt = built.addSecs(kTestResetSeconds);
        chosen.windowLength = 18000;
    }
    const QDateTime sent = built.addMSecs(1);
    // Said in the title, which every notification server shows: sample figures must not pass
    // for real ones.
    AlertNotification alert =
        content(chosen, Preferences::instance().quotaDisplayMode(), sent, threshold(chosen.provider));
    alert.title = u"Test alert · "_s + alert.title;
    alert.requestIdentifier = u"test-"_s + alert.requestIdentifier;
    current().post(alert);
    log(u"Sent a test alert for "_s + chosen.id());
}

QCoro::Task<NotificationAuthorization> authorizationStatus()
{
    const auto keep = installedNotifier(); // the notifier must outlive the call
    co_return co_await current().authorizationStatus();
}

QCoro::Task<ShowPreviews> showPreviewsSetting()
{
    const auto keep = installedNotifier();
    co_return co_await current().showPreviewsSetting();
}

QCoro::Task<bool> requestAuthorization()
{
    const auto keep = installedNotifier();
    const Result<bool, QString> outcome = co_await current().requestAuthorization();
    if (!outcome) {
        log(u"Notification authorization failed: "_s + outcome.error());
        co_return false;
    }
    co_return outcome.value();
}

void openNotificationSettings()
{
    current().openNotificationSettings();
}

bool canOpenNotificationSettings()
{
    return current().canOpenNotificationSettings();
}

void installNotifier(std::shared_ptr<AlertNotifier> notifier)
{
    installedNotifier() = std::move(notifier);
}

std::shared_ptr<AlertNotifier> notifier()
{
    return installedNotifier();
}

} // namespace ThresholdAlerts
} // namespace tallyvue
