// SPDX-License-Identifier: MIT
#include "local/LocalOverviewModel.h"

#include "local/LocalUsageScanner.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>

#include <algorithm>
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

namespace {

/// Sums per name and provider, names looked up once per distinct interned text.
class StackGroups
{
public:
    template<class NameOf>
    void add(InternedString key, const LocalUsageEvent& e, const NameOf& nameOf)
    {
        if (key.handle() >= m_groupOfHandle.size())
            m_groupOfHandle.resize(key.handle() + 1, -1);
        int& group = m_groupOfHandle[key.handle()];
        if (group < 0) {
            const QString name = nameOf(key);
            auto it = m_groupOfName.find(name);
            if (it == m_groupOfName.end()) {
                it = m_groupOfName.insert(name, int(m_groups.size()));
                m_groups.push_back({name, {}, {}});
            }
            group = it.value();
        }
        Group& g = m_groups[std::size_t(group)];
        g.totals[std::size_t(e.provider)].add(e);
        g.used[std::size_t(e.provider)] = true;
    }

    /// The same order and entries as the stack functions of the aggregation.
    std::vector<LocalUsageStack> stacks(int limit)
    {
        std::vector<std::pair<std::int64_t, const Group*>> ranked;
        for (const Group& g : m_groups) {
            std::int64_t total = 0;
            for (const LocalUsageTotals& t : g.totals)
                total += t.tokens();
            ranked.emplace_back(total, &g);
        }
        std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
            return a.first != b.first ? a.first > b.first : a.second->name < b.second->name;
        });
        ranked.resize(std::min(ranked.size(), std::size_t(std::max(limit, 0))));
        std::vector<LocalUsageStack> out;
        for (const auto& [total, g] : ranked) {
            for (AIProvider p : kAllProviders) {
                if (g->used[std::size_t(p)])
                    out.push_back({g->name, p, g->totals[std::size_t(p)].tokens(), std::nullopt});
            }
        }
        return out;
    }

private:
    struct Group
    {
        QString name;
        std::array<LocalUsageTotals, kAllProviders.size()> totals;
        std::array<bool, kAllProviders.size()> used;
    };
    std::vector<int> m_groupOfHandle;
    QHash<QString, int> m_groupOfName;
    std::vector<Group> m_groups;
};

LocalSummaryTile costTile(const LocalUsageCost& cost)
{
    LocalSummaryTile tile{u"API value"_s, approximateCostText(cost.usd), u"at list prices"_s, {}};
    // Nothing priced is no value at all, not "$0"; unpriced requests are counted, never guessed.
    if (cost.pricedRequests == 0 && cost.unpricedRequests > 0)
        tile.value = u"—"_s;
    if (cost.unpricedRequests > 0)
        tile.note = QString::number(cost.unpricedRequests) +
                    (cost.unpricedRequests == 1 ? u" request not priced"_s : u" requests not priced"_s);
    return tile;
}

bool markSeen(std::vector<bool>& seen, InternedString name)
{
    if (name.handle() >= seen.size())
        seen.resize(name.handle() + 1, false);
    if (seen[name.handle()])
        return false;
    seen[name.handle()] = true;
    return true;
}

} // namespace

LocalOverviewData LocalOverviewData::build(std::span<const LocalUsageEvent> allEvents,
                                           std::optional<AIProvider> provider, LocalRange range, const QDateTime& now,
                                           int limit, const PriceTable& prices)
{
    // One pass over the events, copying none: 200,000 of them stay in the low milliseconds.
    LocalOverviewData data;
    const QDateTime start = now.addSecs(-spanSeconds(range));
    const EpochMs from = start.toMSecsSinceEpoch();
    const EpochMs to = now.toMSecsSinceEpoch();

    // The daily chart's days: local calendar days of their real length, today last.
    struct Day
    {
        QDateTime start;
        EpochMs from;
        EpochMs to;
        std::array<LocalUsageTotals, kAllProviders.size()> totals;
    };
    std::vector<Day> days;
    const QDate today = now.toLocalTime().date();
    for (int k = -(chartDays(range) - 1); k <= 0; ++k) {
        const QDateTime dayStart = today.addDays(k).startOfDay();
        const QDateTime dayEnd = today.addDays(k + 1).startOfDay();
        if (dayStart.isValid() && dayEnd.isValid())
            days.push_back({dayStart, dayStart.toMSecsSinceEpoch(), dayEnd.toMSecsSinceEpoch(), {}});
    }
    const EpochMs firstDay = days.empty() ? from : days.front().from;
    const EpochMs earliest = std::min(from, firstDay);

    std::vector<bool> seenProject;
    std::vector<bool> seenModel;
    std::array<bool, kAllProviders.size()> present{};
    StackGroups projects;
    StackGroups models;
    std::size_t dayHint = 0;
    detail::EventPricer pricer(prices);
    double costNano = 0;
    for (const LocalUsageEvent& e : allEvents) {
        if (e.timestamp < earliest || (provider && e.provider != *provider))
            continue;
        if (!days.empty() && e.timestamp >= firstDay) {
            // Events come mostly in time order: the previous event's day is the first guess.
            if (!(days[dayHint].from <= e.timestamp && e.timestamp < days[dayHint].to)) {
                const auto it = std::upper_bound(days.begin(), days.end(), e.timestamp,
                                                 [](EpochMs t, const Day& day) { return t < day.to; });
                dayHint = it == days.end() ? dayHint : std::size_t(it - days.begin());
            }
            if (days[dayHint].from <= e.timestamp && e.timestamp < days[dayHint].to)
                days[dayHint].totals[std::size_t(e.provider)].add(e);
        }
        if (e.timestamp < from)
            continue;
        present[std::size_t(e.provider)] = true;
        data.projects += markSeen(seenProject, e.project) ? 1 : 0;
        data.models += markSeen(seenModel, e.model) ? 1 : 0;
        if (e.timestamp >= to)
            continue;
        data.totals.add(e);
        if (const auto nano = pricer.nanoUsd(e)) {
            costNano += *nano;
            ++data.cost.pricedRequests;
        } else {
            ++data.cost.unpricedRequests;
        }
        projects.add(e.project, e, [](InternedString project) { return project.text(); });
        models.add(e.model, e, [](InternedString model) { return displayModelName(model.text()); });
    }
    data.cost.usd = costNano / 1e9;
    for (AIProvider p : kAllProviders) {
        if (present[std::size_t(p)])
            data.providers.append(p);
    }
    data.hasEvents = !data.providers.isEmpty();
    if (!data.hasEvents)
        return data;
    data.projectStacks = projects.stacks(limit);
    data.modelStacks = models.stacks(limit);
    const QLocale locale = QLocale::system();
    for (const Day& day : days) {
        const QString name = locale.toString(day.start, u"ddd"_s);
        for (AIProvider p : data.providers)
            data.daily.push_back({name, p, day.totals[std::size_t(p)].tokens(), day.start});
    }
    return data;
}

std::vector<LocalSummaryTile> LocalOverviewData::tiles() const
{
    QStringList providerNames;
    for (AIProvider p : providers)
        providerNames.append(rawValue(p));
    return {
        {u"Tokens"_s, shortTokenCount(totals.tokens()), shortTokenCount(totals.outputTokens) + u" output"_s, {}},
        {u"Requests"_s,
         QString::number(totals.requests),
         shortTokenCount(totals.cacheReadTokens) + u" from cache"_s,
         {}},
        {u"Projects"_s, QString::number(projects), providerNames.join(u" · "_s), {}},
        {u"Models"_s, QString::number(models), {}, {}},
        costTile(cost),
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
