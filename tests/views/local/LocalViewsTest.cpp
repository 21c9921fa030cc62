// SPDX-License-Identifier: MIT
// The Stats and This Computer tabs: what they decide to show, and that the events are
// aggregated once per scan result rather than on every redraw. Runs in New York time.
#include "support/ViewSupport.h"
#include "views/charts/StackedBarChart.h"
#include "views/common/MetricViews.h"
#include "views/local/ComputerName.h"
#include "views/local/LocalOverviewView.h"
#include "views/local/LocalUsageCard.h"
#include "views/local/ProviderStatsView.h"
#include "views/local/StatsView.h"
#include "views/popover/MenuBarView.h"
#include "views/popover/SelectorBar.h"

#include <QAccessible>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kNow = *parseTimestamp(u"2026-01-05T17:00:00Z"_s);

class LocalViewsTest : public ViewTest
{
protected:
    LocalViewsTest() : ViewTest(kNow) {}
    void SetUp() override
    {
        ViewTest::SetUp();
        ComputerName::instance().setName(u"workstation"_s);
    }
};

LocalUsageEvent event(AIProvider provider, qint64 secondsAgo, std::int64_t tokens, const char* project = "app")
{
    LocalUsageEvent e;
    e.provider = provider;
    e.timestamp = kNow.addSecs(-secondsAgo).toMSecsSinceEpoch();
    e.model = InternedString(std::string_view(provider == AIProvider::ChatGPT ? "gpt-5-codex" : "claude-opus-4-1"));
    e.project = InternedString(std::string_view(project));
    e.inputTokens = tokens;
    return e;
}

UsageState stateWith(std::vector<LocalUsageEvent> events)
{
    UsageState state;
    state.now = kNow;
    state.localUsage = std::make_shared<const std::vector<LocalUsageEvent>>(std::move(events));
    return state;
}

/// A popover on Claude's Stats tab showing `state`.
std::unique_ptr<MenuBarView> claudeStats(UsageState state)
{
    Preferences::instance().setSelectedPage({AIProvider::Claude});
    Preferences::instance().setSelectedTab(AppTab::Stats);
    state.usage = UsageResponse{};
    auto view = std::make_unique<MenuBarView>();
    view->setState(state);
    view->show();
    return view;
}

} // namespace

// Copilot never has local data; an empty range names the provider's real folder; the subtitle
// leaves out what is missing.
TEST_F(LocalViewsTest, OverviewContentTable)
{
    struct Case
    {
        std::optional<AIProvider> provider;
        std::vector<LocalUsageEvent> events;
        LocalRange range;
        LocalOverviewView::Content content;
        const char* title;
        const char* message;
    };
    const std::vector<LocalUsageEvent> recent{event(AIProvider::Claude, 60, 10), event(AIProvider::ChatGPT, 60, 10)};
    const std::vector<LocalUsageEvent> old{event(AIProvider::Claude, 2 * 86400, 10),
                                           event(AIProvider::ChatGPT, 2 * 86400, 10)};
    const std::vector<LocalUsageEvent> none;
    const Case cases[] = {
        {AIProvider::Copilot, recent, LocalRange::Week, LocalOverviewView::Content::NoLocalData, "No local data",
         "GitHub Copilot keeps no session transcripts on this computer, so only the account quotas are available."},
        {AIProvider::Claude, old, LocalRange::Day, LocalOverviewView::Content::Empty, "Nothing recorded yet",
         "Claude Code sessions on this computer (~/.claude/projects) will show up here."},
        {AIProvider::ChatGPT, none, LocalRange::Week, LocalOverviewView::Content::Empty, "Nothing recorded yet",
         "Codex sessions on this computer (~/.codex/sessions) will show up here."},
        {std::nullopt, old, LocalRange::Day, LocalOverviewView::Content::Empty, "Nothing recorded yet",
         "Claude Code and Codex sessions on this computer will show up here."},
        {AIProvider::ChatGPT, old, LocalRange::Week, LocalOverviewView::Content::Data, "", ""},
    };
    for (const Case& c : cases) {
        LocalOverviewView view(c.provider, true);
        view.setState(stateWith(c.events));
        QTest::mouseClick(view.rangePicker()->button(rawValue(c.range)), Qt::LeftButton);
        SCOPED_TRACE(std::string(c.title) + " " + rawValue(c.range).toStdString());
        EXPECT_EQ(view.range(), c.range);
        EXPECT_EQ(view.content(), c.content);
        if (c.content != LocalOverviewView::Content::Data) {
            EXPECT_EQ(text(view, u"messageTitle"_s), QLatin1String(c.title));
            EXPECT_EQ(text(view, u"messageText"_s), QLatin1String(c.message));
        }
    }

    LocalOverviewView claude(AIProvider::Claude, true);
    EXPECT_EQ(text(claude, u"localSubtitle"_s), u"workstation · Claude Code");
    ComputerName::instance().setName({});
    EXPECT_EQ(text(claude, u"localSubtitle"_s), u"Claude Code");
    LocalOverviewView all(std::nullopt, false);
    EXPECT_TRUE(all.findChild<TextLabel*>(u"localSubtitle"_s)->isHidden());
}

// Tiles and charts; the events are aggregated once per scan result, clock
// minute and range, not on every state the popover passes on.
TEST_F(LocalViewsTest, OverviewDataAndAggregation)
{
    std::vector<LocalUsageEvent> events;
    events.push_back(event(AIProvider::Claude, 120, 1'234'567));
    for (int i = 0; i < 1233; ++i)
        events.push_back(event(AIProvider::ChatGPT, 3600, 0, "api"));
    LocalOverviewView view(std::nullopt, false);
    UsageState state = stateWith(events);
    view.setState(state);
    ASSERT_EQ(view.content(), LocalOverviewView::Content::Data);
    const auto* tokens = view.findChild<SummaryTile*>(u"tile:Tokens"_s);
    ASSERT_TRUE(tokens);
    EXPECT_EQ(text(*tokens, u"value"_s), u"1.2M");
    EXPECT_EQ(text(*view.findChild<SummaryTile*>(u"tile:Requests"_s), u"value"_s), u"1234");
    EXPECT_EQ(text(*view.findChild<SummaryTile*>(u"tile:Projects"_s), u"detail"_s), u"Claude · ChatGPT");

    const auto* daily = view.findChild<StackedBarChart*>(u"dailyChart"_s);
    EXPECT_EQ(daily->categories().size(), 7);
    EXPECT_EQ(daily->series().size(), 2); // Copilot has no events and no colour in the chart
    EXPECT_EQ(daily->valueLabels(), (QStringList{u"0"_s, u"500K"_s, u"1.0M"_s, u"1.5M"_s}));

    const int once = view.aggregations();
    view.setState(state);
    UsageState copy = state;
    copy.isLoading = true;
    view.setState(copy);
    EXPECT_EQ(view.aggregations(), once);
    copy.localUsage = std::make_shared<const std::vector<LocalUsageEvent>>(events);
    view.setState(copy);
    EXPECT_EQ(view.aggregations(), once + 1);
    copy.now = kNow.addSecs(60);
    view.setState(copy);
    view.setRange(LocalRange::Day);
    EXPECT_EQ(view.aggregations(), once + 3);
}

// A heavy week's counts and cost put the cost on a line of its own rather than widen the card
// past the popover; an ordinary week keeps one line.
TEST_F(LocalViewsTest, WindowRowsKeepTheCardsWidth)
{
    std::optional<int> ordinaryWidth;
    for (const int requests : {100, 12345}) {
        std::vector<LocalUsageEvent> events(std::size_t(requests), event(AIProvider::Claude, 600, 100'000));
        for (LocalUsageEvent& e : events) {
            e.outputTokens = 3000;
            e.cacheReadTokens = 100'000;
        }
        const auto view = claudeStats(stateWith(events));
        for (int pass = 0; pass < 4; ++pass)
            QApplication::processEvents();
        const auto* card = view->content()->findChild<LocalUsageCard*>();
        ASSERT_TRUE(card);
        const QStringList details = texts(*card, u"windowDetail"_s);
        ASSERT_EQ(details.size(), 3);
        SCOPED_TRACE(details.front().toStdString());
        if (!ordinaryWidth) {
            ordinaryWidth = card->width();
            EXPECT_FALSE(details.front().contains(u'\n'));
        } else {
            EXPECT_EQ(card->width(), *ordinaryWidth);
            EXPECT_EQ(details.front(), u"12345 requests · 37.0M out · 1234.5M cached\n$23,146.88");
        }
    }
}

// Claude's statistics: extra usage, spend with its money texts, or the empty state.
TEST_F(LocalViewsTest, ClaudeStatistics)
{
    const std::pair<SpendAmount, const char*> amounts[] = {
        {{1250, std::nullopt, 2}, "$12.50 USD"},
        {{1250, u"EUR"_s, 0}, "$1250.00 EUR"},
        {{1250, std::nullopt, std::nullopt}, "$0.00 USD"},
        {{std::nullopt, u"USD"_s, 2}, "$0.00 USD"},
        {{5, std::nullopt, 400}, "$0.00 USD"},
        {{5, std::nullopt, -400}, "$0.00 USD"},
    };
    for (const auto& [amount, shown] : amounts)
        EXPECT_EQ(spendAmountText(amount), QLatin1String(shown));

    UsageResponse usage;
    StatsView none(usage);
    EXPECT_EQ(text(none, u"title"_s), u"No Statistics Available");
    EXPECT_EQ(text(none, u"message"_s), u"Your account does not have extra usage or spend data configured.");

    usage.extraUsage = ExtraUsage{true, 50.0, std::nullopt, std::nullopt};
    usage.spend = Spend{SpendAmount{1250, std::nullopt, 2}, 100.0, 12.5, u"low"_s, std::nullopt, 87.5};
    StatsView both(usage);
    EXPECT_EQ(texts(both, u"value"_s),
              (QStringList{u"Enabled"_s, u"$50.00"_s, u"Disabled"_s, u"$12.50 USD"_s, u"$100.00"_s, u"$87.50"_s}));
}

// ChatGPT's windows in both modes, Copilot's quotas with a reset date that stays on its day.
TEST_F(LocalViewsTest, ProviderStatistics)
{
    const CodexWindow window{u"primary"_s, u"5-Hour"_s, 42.7, 7200, 300};
    EXPECT_EQ(codexWindowStatText(window, QuotaDisplayMode::Used, kNow), u"42% used · resets in 2 hr.");
    EXPECT_EQ(codexWindowStatText(window, QuotaDisplayMode::Remaining, kNow), u"57% left · resets in 2 hr.");
    EXPECT_EQ(codexWindowStatText({u"x"_s, u"X"_s, 120, std::nullopt, std::nullopt}, QuotaDisplayMode::Used, kNow),
              u"100% used");

    UsageState state = stateWith({});
    state.codexUsage = CodexUsage{u"plus"_s, {window}, 4.2, true, kNow};
    ProviderStatsView codex(AIProvider::ChatGPT, false);
    codex.setState(state, QuotaDisplayMode::Used);
    EXPECT_EQ(texts(codex, u"value"_s), (QStringList{u"42% used · resets in 2 hr."_s, u"$4.20"_s, u"Yes"_s}));
    // The same record again leaves the rows alone; another display mode redraws them.
    const QPointer<StatRow> row = codex.findChild<StatRow*>();
    codex.setState(state, QuotaDisplayMode::Used);
    EXPECT_TRUE(row);
    codex.setState(state, QuotaDisplayMode::Remaining);
    EXPECT_EQ(texts(codex, u"value"_s).front(), u"57% left · resets in 2 hr.");
    ASSERT_TRUE(codex.localCard());
    EXPECT_EQ(text(*codex.localCard(), u"noSessions"_s), u"No Codex sessions found in ~/.codex/sessions.");

    ProviderStatsView copilot(AIProvider::Copilot, false);
    copilot.setState(state, QuotaDisplayMode::Used);
    EXPECT_FALSE(copilot.localCard());
    EXPECT_EQ(text(copilot, u"noCopilotStatistics"_s), u"No Copilot statistics yet.");
    state.copilotUsage = CopilotUsage{std::nullopt,
                                      u"2026-02-01"_s,
                                      {{u"chat"_s, u"Chat"_s, true, 100, 0, 0},
                                       {u"premium_interactions"_s, u"Premium Requests"_s, false, 60, 120, 300}}};
    copilot.setState(state, QuotaDisplayMode::Used);
    EXPECT_EQ(texts(copilot, u"value"_s), (QStringList{u"Unlimited"_s, u"120 / 300"_s, u"Feb 1"_s}));
    state.copilotUsage->resetDate = u"soon"_s;
    EXPECT_FALSE(copilotResetText(*state.copilotUsage));
}

// The card: three windows, four lines collapsed and ten expanded, largest first; a click
// expands it and the popover keeps that while it lives.
TEST_F(LocalViewsTest, LocalCardAndTabs)
{
    std::vector<LocalUsageEvent> events;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "project-" + std::to_string(i);
        events.push_back(event(AIProvider::Claude, 600 + i, 100 * (i + 1), name.c_str()));
    }
    UsageState state = stateWith(events);
    const auto popover = claudeStats(state);
    MenuBarView& view = *popover;
    EXPECT_EQ(view.contentKey(), u"Claude/Stats/stats");
    auto* card = view.content()->findChild<LocalUsageCard*>();
    ASSERT_TRUE(card);
    EXPECT_EQ(texts(*card, u"windowTokens"_s).front(), u"7.8K tokens");
    QStringList projects = texts(*card, u"shareName"_s);
    EXPECT_EQ(projects.size(), 1 + 4); // one model, four projects
    EXPECT_EQ(projects[1], u"project-11");
    EXPECT_TRUE(card->findChildren<StackedBarChart*>().isEmpty());

    QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_TRUE(card->isExpanded());
    // Assistive tools press it like a button.
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(card);
    ASSERT_TRUE(accessible && accessible->actionInterface());
    EXPECT_EQ(accessible->role(), QAccessible::Button);
    EXPECT_TRUE(accessible->state().expanded);
    accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_FALSE(card->isExpanded());
    accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(card->isExpanded());
    EXPECT_EQ(texts(*card, u"shareName"_s).size(), 1 + 10);
    EXPECT_EQ(card->findChild<StackedBarChart*>(u"dayChart"_s)->categories().size(), 7);

    // Another tab and back: still expanded. Without data the Stats tab shows the state view.
    QTest::mouseClick(view.tabBar()->button(u"This Mac"_s), Qt::LeftButton);
    EXPECT_EQ(Preferences::instance().value(u"selectedTab"_s).toString(), u"This Mac");
    EXPECT_EQ(view.contentKey(), u"Claude/This Mac/local");
    QTest::mouseClick(view.tabBar()->button(u"Stats"_s), Qt::LeftButton);
    EXPECT_TRUE(view.content()->findChild<LocalUsageCard*>()->isExpanded());
    view.setState(state); // no Claude data
    EXPECT_EQ(view.contentKey(), u"Claude/Stats/loading");
}
