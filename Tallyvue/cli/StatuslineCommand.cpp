// SPDX-License-Identifier: MIT
// `tallyvue-cli statusline`: the line Claude Code shows under its prompt. Claude Code runs it
// after every message, so it reads stdin and one small file, never the network or a transcript,
// and prints a line whatever it is given.
#include "cli/Commands.h"
#include "cli/StatuslineSettings.h"
#include "insights/Presentation.h"
#include "model/Formatting.h"
#include "widget_snapshot/ClaudeCodeLimits.h"
#include "widget_snapshot/WidgetSnapshot.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tallyvue::cli {
namespace {

// Claude Code's object is a few kilobytes. More is not what it sends: drain it (so the writer is
// not cut off) but do not parse it.
constexpr qsizetype kMaxInputBytes = 1024 * 1024;
constexpr qsizetype kMaxDrainBytes = 64 * 1024 * 1024;
// A writer that never closes stdin must not hold the line back.
constexpr int kInputIdleMs = 1000;
constexpr qsizetype kMaxModelLength = 40;

enum class Segment { Claude, Codex, Copilot, Model, Cost, Context, Resets };

struct SegmentName
{
    QStringView name;
    Segment segment;
};

constexpr SegmentName kSegmentNames[] = {
    {u"claude", Segment::Claude}, {u"codex", Segment::Codex},     {u"copilot", Segment::Copilot},
    {u"model", Segment::Model},   {u"cost", Segment::Cost},       {u"context", Segment::Context},
    {u"resets", Segment::Resets},
};

struct Options
{
    QList<Segment> segments{Segment::Claude, Segment::Codex, Segment::Copilot, Segment::Model, Segment::Cost};
    bool compact = false;
    bool install = false;
    bool uninstall = false;
    bool force = false;
    QStringList lineArgs; ///< the options that shape the line, for the installed command
};

std::optional<QString> parseSegments(const QString& list, QList<Segment>& segments)
{
    segments.clear();
    for (const QString& name : list.split(u',', Qt::SkipEmptyParts)) {
        const auto known = std::find_if(std::begin(kSegmentNames), std::end(kSegmentNames),
                                        [&](const SegmentName& entry) { return entry.name == name.trimmed(); });
        if (known == std::end(kSegmentNames))
            return u"statusline: unknown segment '"_s + name + u"' (known: claude, codex, copilot, model, cost, "
                                                              u"context, resets)"_s;
        if (!segments.contains(known->segment))
            segments.append(known->segment);
    }
    if (segments.isEmpty())
        return u"statusline: --segments needs a list, for example claude,codex,model"_s;
    return std::nullopt;
}

std::optional<QString> parseOptions(const QStringList& args, Options& options)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == u"--compact") {
            options.compact = true;
            options.lineArgs.append(arg);
        } else if (arg == u"--segments" || arg.startsWith(u"--segments=")) {
            const bool inline_ = arg.startsWith(u"--segments=");
            if (!inline_ && i + 1 >= args.size())
                return u"statusline: --segments needs a list, for example claude,codex,model"_s;
            const QString list = inline_ ? arg.mid(11) : args[++i];
            if (const auto why = parseSegments(list, options.segments))
                return why;
            options.lineArgs << u"--segments"_s << list;
        } else if (arg == u"--install") {
            options.install = true;
        } else if (arg == u"--uninstall") {
            options.uninstall = true;
        } else if (arg == u"--force") {
            options.force = true;
        } else {
            return u"statusline: unexpected argument '"_s + arg + u'\'';
        }
    }
    if (options.install && options.uninstall)
        return u"statusline: --install and --uninstall exclude each other"_s;
    if (options.force && !options.install && !options.uninstall)
        return u"statusline: --force goes with --install or --uninstall"_s;
    return std::nullopt;
}

/// Standard input as Claude Code pipes it; nothing from a terminal, and nothing when it is too
/// large to be Claude Code's.
QByteArray readInput()
{
    if (::isatty(STDIN_FILENO))
        return {};
    QByteArray input;
    qsizetype total = 0;
    char buffer[64 * 1024];
    while (total <= kMaxDrainBytes) {
        pollfd wait{STDIN_FILENO, POLLIN, 0};
        const int ready = ::poll(&wait, 1, kInputIdleMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        total += got;
        if (total <= kMaxInputBytes)
            input.append(buffer, got);
    }
    return total <= kMaxInputBytes ? input : QByteArray();
}

struct Window
{
    QString label; ///< "5h", "7d"
    double used = 0;
    std::optional<QDateTime> resetsAt;
};

/// A window past its reset has started again: its old figure no longer holds.
Window current(Window window, const QDateTime& now)
{
    if (window.resetsAt && *window.resetsAt <= now) {
        window.used = 0;
        window.resetsAt.reset();
    }
    return window;
}

QList<Window> claudeFromInput(const QJsonObject& rateLimits, const QDateTime& now)
{
    QList<Window> windows;
    for (const auto& [key, label] : {std::pair{u"five_hour"_s, u"5h"_s}, std::pair{u"seven_day"_s, u"7d"_s}}) {
        const QJsonObject window = rateLimits.value(key).toObject();
        const QJsonValue used = window.value(u"used_percentage");
        if (!used.isDouble() || !std::isfinite(used.toDouble()))
            continue;
        Window figure{label, used.toDouble(), std::nullopt};
        const double resets = window.value(u"resets_at").toDouble(NAN);
        if (std::isfinite(resets) && std::abs(resets) < 1e11)
            figure.resetsAt = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(resets), Qt::UTC);
        windows.append(current(figure, now));
    }
    return windows;
}

QList<Window> claudeFromSnapshot(const WidgetSnapshot& snapshot, const QDateTime& now)
{
    QList<Window> windows;
    for (const auto& [kind, label] : {std::pair{u"session"_s, u"5h"_s}, std::pair{u"weekly_all"_s, u"7d"_s}}) {
        for (const ProviderMetric& metric : snapshot.metrics) {
            if (metric.provider == AIProvider::Claude && metric.kind == kind)
                windows.append(current({label, metric.percent, metric.resetsAt}, now));
        }
    }
    return windows;
}

/// The provider's most used window: the one that stops it first.
std::optional<double> mostUsed(const WidgetSnapshot& snapshot, AIProvider provider, const QDateTime& now)
{
    std::optional<double> most;
    for (const ProviderMetric& metric : snapshot.metrics) {
        if (metric.provider == provider && !std::isnan(metric.percent))
            most = std::max(most.value_or(0), current({{}, metric.percent, metric.resetsAt}, now).used);
    }
    return most;
}

class LineWriter
{
public:
    LineWriter(const Options& options, QuotaDisplayMode mode)
        : m_compact(options.compact), m_mode(mode),
          // https://no-color.org: any non-empty NO_COLOR; and a terminal that says it has none.
          m_colour(qEnvironmentVariableIsEmpty("NO_COLOR") && qgetenv("TERM") != "dumb")
    {
    }

    QString labelled(const QString& label, const QString& shortLabel, double used) const
    {
        return (m_compact ? shortLabel : label + u' ') + figure(used, m_mode);
    }

    /// The percent in its level's colour; the context window is always shown as used.
    QString figure(double used, QuotaDisplayMode mode) const
    {
        const QString text = percentText(used, mode);
        if (!m_colour)
            return text;
        const char* code = "32";
        switch (usageLevel(used)) {
        case UsageLevel::Green: break;
        case UsageLevel::Yellow: code = "33"; break;
        case UsageLevel::Red: code = "31"; break;
        }
        return u"\x1b["_s + QLatin1StringView(code) + u'm' + text + u"\x1b[0m"_s;
    }

    /// Session parts (model, cost, context) share a group; every quota is a group of its own.
    void add(const QString& text, bool session)
    {
        if (text.isEmpty())
            return;
        if (!m_line.isEmpty())
            m_line += session && m_lastSession ? (m_compact ? u" "_s : u" · "_s) : (m_compact ? u"│"_s : u" │ "_s);
        m_line += text;
        m_lastSession = session;
    }

    bool compact() const { return m_compact; }
    QString line() const { return m_line; }

private:
    bool m_compact;
    QuotaDisplayMode m_mode;
    bool m_colour;
    QString m_line;
    bool m_lastSession = false;
};

QString claudeText(const QList<Window>& windows, const LineWriter& writer)
{
    QStringList parts;
    for (const Window& window : windows)
        parts.append(writer.labelled(window.label, window.label, window.used));
    return parts.join(writer.compact() ? u" "_s : u" · "_s);
}

QString resetsText(const QList<Window>& windows, const LineWriter& writer, const QDateTime& now)
{
    const Window* soonest = nullptr;
    for (const Window& window : windows) {
        if (window.resetsAt && (!soonest || *window.resetsAt < *soonest->resetsAt))
            soonest = &window;
    }
    if (!soonest)
        return {};
    const QString in = durationText(now.msecsTo(*soonest->resetsAt) / 1000.0);
    if (writer.compact())
        return u"↻"_s + in;
    return soonest->label + u" resets in "_s + in;
}

QString statusLine(const Options& options, const QByteArray& input)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QJsonObject stdinObject = QJsonDocument::fromJson(input).object();
    const QJsonValue rateLimits = stdinObject.value(u"rate_limits");
    if (rateLimits.isObject()) {
        if (const auto why = storeClaudeCodeLimits(rateLimits.toObject(), now))
            QTextStream(stderr) << "tallyvue-cli: " << printableText(*why) << '\n';
    }

    const auto usesSnapshot = [&](Segment segment) { return options.segments.contains(segment); };
    std::optional<WidgetSnapshot> snapshot;
    if (usesSnapshot(Segment::Codex) || usesSnapshot(Segment::Copilot) || !rateLimits.isObject()) {
        if (auto read = readWidgetSnapshotFile(); read && !isSnapshotStale(read.value().timestamp.secsTo(now)))
            snapshot = std::move(read.value());
    }
    const QList<Window> claude = rateLimits.isObject() ? claudeFromInput(rateLimits.toObject(), now)
                                 : snapshot           ? claudeFromSnapshot(*snapshot, now)
                                                      : QList<Window>();

    // Used or remaining, as the app shows them (the snapshot carries its choice).
    LineWriter writer(options, snapshot ? snapshot->displayMode : QuotaDisplayMode::Used);
    for (const Segment segment : options.segments) {
        switch (segment) {
        case Segment::Claude: writer.add(claudeText(claude, writer), false); break;
        case Segment::Codex:
        case Segment::Copilot: {
            const bool codex = segment == Segment::Codex;
            const auto used = snapshot ? mostUsed(*snapshot, codex ? AIProvider::ChatGPT : AIProvider::Copilot, now)
                                       : std::nullopt;
            if (used)
                writer.add(writer.labelled(codex ? u"Codex"_s : u"Copilot"_s, codex ? u"Cx"_s : u"Cp"_s, *used), false);
            break;
        }
        case Segment::Resets: writer.add(resetsText(claude, writer, now), false); break;
        case Segment::Model: {
            const QString name = printableText(
                stdinObject.value(u"model").toObject().value(u"display_name").toString().simplified());
            writer.add(name.size() > kMaxModelLength ? name.left(kMaxModelLength - 1) + u'…' : name, true);
            break;
        }
        case Segment::Cost: {
            const double cost = stdinObject.value(u"cost").toObject().value(u"total_cost_usd").toDouble(NAN);
            if (std::isfinite(cost) && cost >= 0)
                writer.add(moneyText(cost), true);
            break;
        }
        case Segment::Context: {
            const QJsonValue used = stdinObject.value(u"context_window").toObject().value(u"used_percentage");
            if (used.isDouble() && std::isfinite(used.toDouble()))
                writer.add((writer.compact() ? u"ctx"_s : u"ctx "_s) +
                               writer.figure(used.toDouble(), QuotaDisplayMode::Used),
                           true);
            break;
        }
        }
    }
    return writer.line();
}

} // namespace

int runStatusline(const QStringList& args)
{
    Options options;
    const auto bad = parseOptions(args, options);
    // Whichever option the parse stopped at, a settings edit is never taken for a status line run.
    if (args.contains(u"--install"_s) || args.contains(u"--uninstall"_s)) {
        if (bad)
            return usageError(*bad);
        return options.install ? installStatusline(options.lineArgs, options.force)
                               : uninstallStatusline(options.force);
    }
    // A broken line in Claude Code helps nobody: say what is wrong, then print what can be printed.
    if (bad) {
        QTextStream(stderr) << "tallyvue-cli: " << printableText(*bad) << '\n';
        options = Options{};
    }
    const QByteArray line = statusLine(options, readInput()).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
    return 0;
}

} // namespace tallyvue::cli
