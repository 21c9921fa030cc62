// SPDX-License-Identifier: MIT
#include "logic/SnapshotDecoder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>

using namespace Qt::StringLiterals;

namespace tallyvue::widget {

namespace {

/// Reads fixed-width fields of a date-time from left to right.
class DateReader
{
public:
    explicit DateReader(QStringView text) : m_text(text) {}

    bool atEnd() const { return m_pos == m_text.size(); }
    bool peek(char16_t c) const { return m_pos < m_text.size() && m_text[m_pos] == c; }
    bool take(char16_t c)
    {
        if (!peek(c))
            return false;
        ++m_pos;
        return true;
    }
    bool atDigit() const { return m_pos < m_text.size() && m_text[m_pos] >= u'0' && m_text[m_pos] <= u'9'; }
    int digit() { return m_text[m_pos++].unicode() - u'0'; }

    /// Exactly `count` digits, at most `max`.
    std::optional<int> number(int count, int max)
    {
        int value = 0;
        for (int i = 0; i < count; ++i) {
            if (!atDigit())
                return std::nullopt;
            value = value * 10 + digit();
        }
        return value <= max ? std::optional(value) : std::nullopt;
    }

private:
    QStringView m_text;
    qsizetype m_pos = 0;
};

std::optional<QString> stringValue(const QJsonValue& value)
{
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

/// Optional keys: absent and null both mean none; a value of another type than expected refuses the file.
enum class Optional { Absent, Present, Invalid };
Optional optionalKind(const QJsonValue& value, QJsonValue::Type type)
{
    if (value.isUndefined() || value.isNull())
        return Optional::Absent;
    return value.type() == type ? Optional::Present : Optional::Invalid;
}

std::optional<ProviderMetric> decodeMetric(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const auto providerText = stringValue(object.value(u"provider"));
    const auto provider = providerText ? providerFromRaw(*providerText) : std::nullopt;
    const auto kind = stringValue(object.value(u"kind"));
    const auto title = stringValue(object.value(u"title"));
    const QJsonValue percent = object.value(u"percent");
    if (!provider || !kind || !title || !percent.isDouble())
        return std::nullopt;

    ProviderMetric metric{*provider, *kind, *title, percent.toDouble(), std::nullopt, std::nullopt};
    const QJsonValue resetsAt = object.value(u"resetsAt");
    switch (optionalKind(resetsAt, QJsonValue::String)) {
    case Optional::Absent: break;
    case Optional::Invalid: return std::nullopt;
    case Optional::Present:
        metric.resetsAt = parseSnapshotDate(resetsAt.toString());
        if (!metric.resetsAt)
            return std::nullopt;
        break;
    }
    const QJsonValue windowLength = object.value(u"windowLength");
    switch (optionalKind(windowLength, QJsonValue::Double)) {
    case Optional::Absent: break;
    case Optional::Invalid: return std::nullopt;
    case Optional::Present: metric.windowLength = windowLength.toDouble(); break;
    }
    return metric;
}

} // namespace

std::optional<QDateTime> parseSnapshotDate(QStringView text)
{
    using namespace std::chrono;
    DateReader in(text);
    const auto y = in.number(4, 9999);
    const bool dash1 = y && in.take(u'-');
    const auto mo = dash1 ? in.number(2, 12) : std::nullopt;
    const bool dash2 = mo && in.take(u'-');
    const auto d = dash2 ? in.number(2, 31) : std::nullopt;
    if (!d)
        return std::nullopt;
    const year_month_day date{year(*y), month(unsigned(*mo)), day(unsigned(*d))};
    if (!date.ok())
        return std::nullopt;
    const qint64 midnight = duration_cast<milliseconds>(sys_days(date).time_since_epoch()).count();
    if (in.atEnd()) // a bare date, as the application's reader also takes it: midnight UTC
        return QDateTime::fromMSecsSinceEpoch(midnight, Qt::UTC);
    if (!in.take(u'T'))
        return std::nullopt;

    const auto h = in.number(2, 23);
    const bool colon1 = h && in.take(u':');
    const auto mi = colon1 ? in.number(2, 59) : std::nullopt;
    const bool colon2 = mi && in.take(u':');
    const auto s = colon2 ? in.number(2, 59) : std::nullopt;
    if (!s)
        return std::nullopt;

    qint64 millis = 0;
    if (in.take(u'.')) {
        if (!in.atDigit())
            return std::nullopt;
        for (int scale = 100; in.atDigit(); scale /= 10)
            millis += in.digit() * scale; // digits past the third add nothing
    }

    qint64 offsetMinutes = 0;
    if (!in.take(u'Z')) {
        const bool plus = in.peek(u'+');
        if (!plus && !in.peek(u'-'))
            return std::nullopt; // without a zone the moment is unknown
        in.take(plus ? u'+' : u'-');
        const auto oh = in.number(2, 23);
        const bool colon = oh && in.take(u':');
        const auto om = colon ? in.number(2, 59) : std::nullopt;
        if (!om)
            return std::nullopt;
        offsetMinutes = (plus ? 1 : -1) * (*oh * 60 + *om);
    }
    if (!in.atEnd())
        return std::nullopt;

    const qint64 local = midnight + ((qint64(*h) * 60 + *mi) * 60 + *s) * 1000 + millis;
    return QDateTime::fromMSecsSinceEpoch(local - offsetMinutes * 60'000, Qt::UTC);
}

std::optional<WidgetSnapshot> decodeSnapshot(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();

    WidgetSnapshot snapshot;
    const auto timestamp = stringValue(root.value(u"timestamp"));
    const auto date = timestamp ? parseSnapshotDate(*timestamp) : std::nullopt;
    const QJsonValue metrics = root.value(u"metrics");
    if (!date || !metrics.isArray())
        return std::nullopt;
    snapshot.timestamp = *date;
    for (const QJsonValue& value : metrics.toArray()) {
        auto metric = decodeMetric(value);
        if (!metric)
            return std::nullopt;
        snapshot.metrics.append(std::move(*metric));
    }

    const QJsonValue primary = root.value(u"primaryMetricID");
    switch (optionalKind(primary, QJsonValue::String)) {
    case Optional::Absent: break;
    case Optional::Invalid: return std::nullopt;
    case Optional::Present: snapshot.primaryMetricID = primary.toString(); break;
    }
    const QJsonValue mode = root.value(u"displayMode");
    switch (optionalKind(mode, QJsonValue::String)) {
    case Optional::Absent: break;
    case Optional::Invalid: return std::nullopt;
    case Optional::Present: {
        const auto parsed = displayModeFromRaw(mode.toString());
        if (!parsed)
            return std::nullopt;
        snapshot.displayMode = *parsed;
        break;
    }
    }
    return snapshot;
}

} // namespace tallyvue::widget
