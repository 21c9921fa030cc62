// SPDX-License-Identifier: MIT
#include "cli/Commands.h"
#include "model/Formatting.h"
#include "model/Preferences.h"
#include "model/Timestamp.h"
#include "refresh/UsageViewModel.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <QTextStream>

using namespace Qt::StringLiterals;

namespace tallyvue::cli {
namespace {

QString resetText(const ProviderMetric& metric, const QDateTime& now)
{
    if (!metric.resetsAt)
        return {};
    const double seconds = now.msecsTo(*metric.resetsAt) / 1000.0;
    return seconds <= 0 ? u"resets soon"_s : u"resets in "_s + durationText(seconds);
}

QByteArray jsonString(const QString& text)
{
    QByteArray out;
    detail::appendJsonString(out, text);
    return out;
}

} // namespace

int runFetch(const QStringList& args)
{
    bool json = false;
    for (const QString& arg : args) {
        if (arg == u"--json")
            json = true;
        else
            return usageError(u"fetch: unknown option '"_s + arg + u'\'');
    }

    UsageViewModel model(UsageViewModel::Options{.startLoops = false, .clock = {}});
    QCoro::waitFor(model.refresh(true));

    const QList<ProviderMetric> metrics = model.allMetrics();
    const std::pair<AIProvider, std::optional<QString>> errors[] = {
        {AIProvider::Claude, model.errorMessage()},
        {AIProvider::ChatGPT, model.codexError()},
        {AIProvider::Copilot, model.copilotError()},
    };
    const bool delivered = (model.usage() && !model.errorMessage()) || (model.codexUsage() && !model.codexError()) ||
                           (model.copilotUsage() && !model.copilotError());
    const QDateTime now = QDateTime::currentDateTimeUtc();

    // What could not be stored is said on standard error and fails the command, whatever was fetched.
    const QStringList storageErrors = model.storageErrors();
    const int status = delivered && storageErrors.isEmpty() ? 0 : 1;
    const auto reportStorage = [&storageErrors] {
        for (const QString& error : storageErrors)
            QTextStream(stderr) << "tallyvue-cli: " << printableText(error) << '\n';
    };

    QTextStream out(stdout);
    if (json) {
        QByteArray document = R"({"timestamp":")" + formatWholeSecondTimestamp(now).toLatin1() + R"(","metrics":[)";
        for (qsizetype i = 0; i < metrics.size(); ++i) {
            document += (i ? "," : "") + QByteArray(R"({"id":)") + jsonString(metrics[i].id()) + ',' +
                        encodeMetric(metrics[i], model.source(metrics[i].provider)).mid(1);
        }
        document += R"(],"errors":{)";
        bool first = true;
        for (const auto& [provider, error] : errors) {
            if (!error)
                continue;
            document += (first ? "" : ",") + jsonString(rawValue(provider)) + ':' + jsonString(*error);
            first = false;
        }
        document += R"(},"hints":{)";
        first = true;
        for (const AIProvider provider : kAllProviders) {
            const auto& notice = model.notice(provider);
            if (!notice || notice->headline.isEmpty())
                continue;
            document += (first ? "" : ",") + jsonString(rawValue(provider)) + ':' + jsonString(notice->headline);
            first = false;
        }
        document += "}}";
        out << QString::fromUtf8(document) << '\n';
        out.flush();
        reportStorage();
        return status;
    }

    const QuotaDisplayMode mode = Preferences::instance().quotaDisplayMode();
    qsizetype titleWidth = 0;
    for (const ProviderMetric& metric : metrics)
        titleWidth = std::max(titleWidth, metric.title.size());
    for (const ProviderMetric& metric : metrics) {
        out << rawValue(metric.provider).leftJustified(8) << ' '
            << printableText(metric.title).leftJustified(titleWidth) << "  "
            << metric.percentText(mode).rightJustified(4) << "  " << resetText(metric, now);
        if (const auto& source = model.source(metric.provider))
            out << "  (" << figureSourceText(*source, now) << ')';
        out << '\n';
    }
    for (const auto& [provider, error] : errors) {
        if (!error)
            continue;
        out << rawValue(provider) << " error: " << printableText(*error) << '\n';
        // What to do about it, as the popover says it.
        if (const auto& notice = model.notice(provider); notice && !notice->headline.isEmpty())
            out << "  " << printableText(notice->headline) << '\n';
    }
    out.flush();
    reportStorage();
    return status;
}

} // namespace tallyvue::cli
