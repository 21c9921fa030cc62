// SPDX-License-Identifier: MIT
#include "local/LocalOverviewModel.h"

#include "local/LocalUsageScanner.h"

#include <QDir>
#include <QFileInfo>

#include <array>

using namespace Qt::StringLiterals;

namespace tallyvue {

QString rawValue(LocalRange range)
{
    return range == LocalRange::Day ? u"24h"_s : u"7d"_s;
}

qint64 spanSeconds(LocalRange range)
{
    return range == LocalRange::Day ? 86'400 : 604'800;
}

int chartDays(LocalRange range)
{
    return range == LocalRange::Day ? 2 : 7;
}

LocalOverviewData LocalOverviewData::build(std::span<const LocalUsageEvent> allEvents,
                                           std::optional<AIProvider> provider, LocalRange range, const QDateTime& now,
                                           int limit)
{
    LocalOverviewData data;
    const QDateTime start = now.addSecs(-spanSeconds(range));
    const EpochMs from = start.toMSecsSinceEpoch();
    // Narrowed once to the provider and the range start: everything below reads only these.
    std::vector<LocalUsageEvent> events;
    std::vector<bool> seenProject;
    std::vector<bool> seenModel;
    std::array<bool, kAllProviders.size()> present{};
    const auto mark = [](std::vector<bool>& seen, InternedString name, int& count) {
        if (name.handle() >= seen.size())
            seen.resize(name.handle() + 1, false);
        if (!seen[name.handle()]) {
            seen[name.handle()] = true;
            ++count;
        }
    };
    for (const LocalUsageEvent& e : allEvents) {
        if ((provider && e.provider != *provider) || e.timestamp < from)
            continue;
        events.push_back(e);
        present[std::size_t(e.provider)] = true;
        mark(seenProject, e.project, data.projects);
        mark(seenModel, e.model, data.models);
    }
    data.hasEvents = !events.empty();
    for (AIProvider p : kAllProviders) {
        if (present[std::size_t(p)])
            data.providers.append(p);
    }
    if (!data.hasEvents)
        return data;
    data.totals = localUsageTotals(events, start, now);
    data.projectStacks = tallyvue::projectStacks(events, start, now, limit);
    data.modelStacks = tallyvue::modelStacks(events, start, now, limit);
    // The daily chart reaches back to the start of the oldest day, before the range start.
    std::vector<LocalUsageEvent> dayEvents;
    const EpochMs firstDay = now.toLocalTime().date().addDays(-(chartDays(range) - 1)).startOfDay().toMSecsSinceEpoch();
    for (const LocalUsageEvent& e : allEvents) {
        if ((!provider || e.provider == *provider) && e.timestamp >= firstDay)
            dayEvents.push_back(e);
    }
    for (LocalUsageStack& stack : dailyStacks(dayEvents, chartDays(range), now)) {
        if (present[std::size_t(stack.provider)])
            data.daily.push_back(std::move(stack));
    }
    return data;
}

std::vector<LocalSummaryTile> LocalOverviewData::tiles() const
{
    QStringList providerNames;
    for (AIProvider p : providers)
        providerNames.append(rawValue(p));
    return {
        {u"Tokens"_s, shortTokenCount(totals.tokens()), shortTokenCount(totals.outputTokens) + u" output"_s},
        {u"Requests"_s, QString::number(totals.requests), shortTokenCount(totals.cacheReadTokens) + u" from cache"_s},
        {u"Projects"_s, QString::number(projects), providerNames.join(u" · "_s)},
        {u"Models"_s, QString::number(models), {}},
    };
}

QString transcriptFolderText(AIProvider provider)
{
    if (provider == AIProvider::Copilot)
        return {}; // keeps no transcripts
    const QString home = QDir::cleanPath(QDir::homePath());
    const auto shown = [&home](const QString& path) -> QString {
        const QString clean = QDir::cleanPath(path);
        if (clean == home)
            return u"~"_s;
        if (home != u"/" && clean.startsWith(home + u'/'))
            return u"~"_s + clean.mid(home.size());
        return clean;
    };
    QStringList all;
    QStringList existing;
    for (const LocalUsageSource& source : LocalUsageScanner::defaultSources()) {
        if ((source.provider == AIProvider::ChatGPT) != (provider == AIProvider::ChatGPT))
            continue;
        all.append(shown(source.root));
        if (QFileInfo(source.root).isDir())
            existing.append(shown(source.root));
    }
    if (all.isEmpty())
        return {};
    // Several candidates (Claude Code's two default folders): name the ones in use, else the
    // usual one, which is listed last.
    if (all.size() > 1)
        return existing.isEmpty() ? all.back() : existing.join(u" and "_s);
    return all.front();
}

} // namespace tallyvue
