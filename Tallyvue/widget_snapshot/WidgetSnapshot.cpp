// SPDX-License-Identifier: MIT
#include "widget_snapshot/WidgetSnapshot.h"

#include "history/FileLock.h"
#include "history/HistoryStore.h"
#include "model/SafeFile.h"
#include "model/Timestamp.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

using detail::appendJsonString;

std::optional<QDateTime> dateFrom(const QJsonValue& value)
{
    if (!value.isString())
        return std::nullopt;
    return parseTimestamp(value.toString());
}

std::optional<ProviderMetric> decodeMetric(const QJsonValue& value)
{
    const QJsonObject object = value.toObject();
    const auto provider = providerFromRaw(object.value(u"provider").toString());
    if (!value.isObject() || !provider || !object.value(u"kind").isString() || !object.value(u"title").isString() ||
        !object.value(u"percent").isDouble())
        return std::nullopt;
    ProviderMetric metric{*provider,
                          object.value(u"kind").toString(),
                          object.value(u"title").toString(),
                          object.value(u"percent").toDouble(),
                          std::nullopt,
                          std::nullopt};
    const QJsonValue resetsAt = object.value(u"resetsAt");
    if (!resetsAt.isUndefined() && !resetsAt.isNull()) {
        metric.resetsAt = dateFrom(resetsAt);
        if (!metric.resetsAt)
            return std::nullopt;
    }
    const QJsonValue windowLength = object.value(u"windowLength");
    if (windowLength.isDouble())
        metric.windowLength = windowLength.toDouble();
    else if (!windowLength.isUndefined() && !windowLength.isNull())
        return std::nullopt;
    return metric;
}

/// The agent named in a metric; only the agents this version knows, with a valid time.
std::optional<FigureSource> decodeSource(const QJsonObject& metric)
{
    const auto asOf = dateFrom(metric.value(u"sourceAsOf"));
    const QString id = metric.value(u"source").toString();
    if (!asOf || (id != u"claude-code" && id != u"codex-log"))
        return std::nullopt;
    return FigureSource{id, id == u"claude-code" ? u"Claude Code"_s : u"Codex's log"_s, *asOf, {}};
}

} // namespace

std::optional<QString> widgetSnapshotPath()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return std::nullopt;
    return data + u"/K2V8R4NW7T.com.tallyvue.shared/widgetSnapshot.json"_s;
}

QByteArray encodeMetric(const ProviderMetric& metric, const std::optional<FigureSource>& source)
{
    QByteArray out = R"({"provider":)";
    appendJsonString(out, rawValue(metric.provider));
    out.append(R"(,"kind":)");
    appendJsonString(out, metric.kind);
    out.append(R"(,"title":)");
    appendJsonString(out, metric.title);
    // JSON has no NaN or infinity; such a value (never sent by a service) is written as 0.
    out.append(R"(,"percent":)").append(detail::shortestDouble(metric.percent).value_or("0"));
    if (metric.resetsAt)
        out.append(R"(,"resetsAt":")").append(formatWholeSecondTimestamp(*metric.resetsAt).toLatin1()).append('"');
    if (metric.windowLength) {
        if (const auto length = detail::shortestDouble(*metric.windowLength))
            out.append(R"(,"windowLength":)").append(*length);
    }
    if (source) {
        out.append(R"(,"source":)");
        appendJsonString(out, source->id);
        out.append(R"(,"sourceAsOf":")").append(formatWholeSecondTimestamp(source->asOf).toLatin1()).append('"');
    }
    out.append('}');
    return out;
}

QByteArray encodeWidgetSnapshot(const WidgetSnapshot& snapshot)
{
    QByteArray out = R"({"timestamp":")";
    out.append(formatWholeSecondTimestamp(snapshot.timestamp).toLatin1()).append(R"(","metrics":[)");
    for (qsizetype i = 0; i < snapshot.metrics.size(); ++i)
        out.append(i ? "," : "")
            .append(encodeMetric(snapshot.metrics[i], snapshot.sources[std::size_t(snapshot.metrics[i].provider)]));
    out.append(']');
    if (snapshot.primaryMetricID) {
        out.append(R"(,"primaryMetricID":)");
        appendJsonString(out, *snapshot.primaryMetricID);
    }
    out.append(R"(,"displayMode":)");
    appendJsonString(out, rawValue(snapshot.displayMode));
    out.append('}');
    return out;
}

std::optional<WidgetSnapshot> decodeWidgetSnapshot(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();

    WidgetSnapshot snapshot;
    const auto timestamp = dateFrom(root.value(u"timestamp"));
    if (!timestamp || !root.value(u"metrics").isArray())
        return std::nullopt;
    snapshot.timestamp = *timestamp;
    for (const QJsonValue& value : root.value(u"metrics").toArray()) {
        auto metric = decodeMetric(value);
        if (!metric)
            return std::nullopt;
        if (auto source = decodeSource(value.toObject()))
            snapshot.sources[std::size_t(metric->provider)] = std::move(source);
        snapshot.metrics.append(std::move(*metric));
    }
    const QJsonValue primary = root.value(u"primaryMetricID");
    if (primary.isString())
        snapshot.primaryMetricID = primary.toString();
    else if (!primary.isUndefined() && !primary.isNull())
        return std::nullopt;
    const QJsonValue mode = root.value(u"displayMode");
    if (!mode.isUndefined() && !mode.isNull()) {
        const auto parsed = strictDisplayModeFromRaw(mode.toString());
        if (!mode.isString() || !parsed)
            return std::nullopt;
        snapshot.displayMode = *parsed;
    }
    return snapshot;
}

std::optional<QString> writeWidgetSnapshotFile(const WidgetSnapshot& snapshot)
{
    const auto path = widgetSnapshotPath();
    if (!path)
        return u"the data folder is unknown"_s;
    if (const auto why = safefile::makePrivateFolder(QFileInfo(*path).path()))
        return why;
    const FileLock lock(*path); // the app and tallyvue-cli replace it one at a time
    return safefile::writeFileAtomically(*path, encodeWidgetSnapshot(snapshot));
}

Result<WidgetSnapshot, safefile::ReadError> readWidgetSnapshotFile()
{
    const auto path = widgetSnapshotPath();
    if (!path)
        return safefile::ReadError{true, u"the data folder is unknown"_s, u"the data folder is unknown"_s};
    const auto bytes = safefile::readRegularFile(*path, safefile::kMaxSmallFileBytes);
    if (!bytes)
        return bytes.error();
    auto snapshot = decodeWidgetSnapshot(*bytes);
    if (!snapshot)
        return safefile::ReadError{false, u"cannot read "_s + *path + u": it is not a valid snapshot"_s,
                                   u"it is not a valid snapshot"_s};
    return std::move(*snapshot);
}

void reloadWidgetTimelines()
{
    // tallyvue-widget watches the snapshot's folder and reloads when the file is replaced.
}

} // namespace tallyvue
