// SPDX-License-Identifier: MIT
#include "local/CodexLimitsTimeline.h"

#include "local/TranscriptLine.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <string>

namespace tallyvue {

namespace {

/// Every change of the newest figures while reading one file from its start.
void readFile(const QString& path, detail::LineParser& parser, std::vector<CodexRateLimits>& out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    detail::CodexContext context;
    std::string line;
    while (!file.atEnd()) {
        const QByteArray read = file.readLine();
        if (!read.endsWith('\n'))
            break; // a line still being written
        if (!read.contains("\"rate_limits\"") || !read.contains("token_count"))
            continue; // not a line with quota figures: no need to parse it
        line.assign(read.data(), std::size_t(read.size()) - 1);
        const std::size_t length = line.size();
        line.append(detail::kLinePadding, ' ');
        const auto before = context.lastLimits;
        parser.parse(detail::TranscriptKind::Codex, std::string_view(line.data(), length), {}, context);
        if (context.lastLimits && context.lastLimits != before)
            out.push_back(*context.lastLimits);
    }
}

} // namespace

std::vector<CodexRateLimits> codexLimitsTimeline(const QString& sessionsRoot, EpochMs now)
{
    const EpochMs cutoff = now - kCodexTimelineMs;
    std::vector<CodexRateLimits> lines;
    detail::LineParser parser;
    QDirIterator files(sessionsRoot, {QStringLiteral("rollout-*.jsonl")}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QFileInfo info(files.next());
        const EpochMs modified = info.lastModified().toMSecsSinceEpoch();
        if (modified >= cutoff)
            readFile(info.filePath(), parser, lines);
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const CodexRateLimits& a, const CodexRateLimits& b) { return a.timestamp < b.timestamp; });

    // One point per distinct value of each window: two sessions running at once repeat each other.
    std::vector<CodexRateLimits> timeline;
    const CodexLimitWindow* lastPrimary = nullptr;
    const CodexLimitWindow* lastSecondary = nullptr;
    const auto changed = [](const CodexLimitWindow& window, const CodexLimitWindow*& last) {
        if (!window.present || (last && last->usedPercent == window.usedPercent))
            return false;
        last = &window;
        return true;
    };
    for (const CodexRateLimits& read : lines) {
        if (read.timestamp < cutoff || read.timestamp > now)
            continue;
        CodexRateLimits point{read.timestamp, {}, {}};
        if (changed(read.primary, lastPrimary))
            point.primary = read.primary;
        if (changed(read.secondary, lastSecondary))
            point.secondary = read.secondary;
        if (point.primary.present || point.secondary.present)
            timeline.push_back(point);
    }
    return timeline;
}

} // namespace tallyvue
