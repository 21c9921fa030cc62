// SPDX-License-Identifier: MIT
// What the views decide: texts, colours, visibility and order, offscreen.
#include "model/ClaudeMetrics.h"
#include "model/Timestamp.h"
#include "support/Contrast.h"
#include "support/Files.h"
#include "support/ViewSupport.h"
#include "views/charts/ChartPalette.h"
#include "views/common/MetricViews.h"
#include "views/common/ProgressBarView.h"
#include "views/popover/OverviewView.h"
#include "views/popover/ProviderCards.h"

#include <QAccessible>
#include <QApplication>
#include <QIcon>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kNow = *parseTimestamp(u"2026-01-05T12:00:00Z"_s);
using ViewsTest = ViewTest;

} // namespace

// Bar length follows the mode, colour always the used percent; out-of-range values are clamped.
TEST_F(ViewsTest, ProgressBar)
{
    const std::tuple<double, QuotaDisplayMode, double, UsageLevel> cases[] = {
        {50, QuotaDisplayMode::Used, 0.5, UsageLevel::Green},
        {80.1, QuotaDisplayMode::Used, 0.801, UsageLevel::Red},
        {30, QuotaDisplayMode::Remaining, 0.7, UsageLevel::Green},
        {120, QuotaDisplayMode::Used, 1.0, UsageLevel::Red},
        {120, QuotaDisplayMode::Remaining, 0.0, UsageLevel::Red},
        {-5, QuotaDisplayMode::Used, 0.0, UsageLevel::Green},
    };
    for (const auto& [used, mode, fraction, colour] : cases) {
        ProgressBarView bar(used, mode, 8);
        bar.resize(200, 8);
        EXPECT_NEAR(bar.targetFraction(), fraction, 1e-9) << used;
        EXPECT_NEAR(bar.barWidth(), 200 * fraction, 1e-6) << used;
        EXPECT_EQ(bar.barColor(), style::levelColor(colour, bar.palette())) << used;
    }
}

TEST_F(ViewsTest, MetricRowTextsAndCaption)
{
    const ProviderMetric metric{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 90, kNow.addSecs(7500), 18000};
    QList<UsageSnapshot> history;
    for (int minutes : {60, 30, 0})
        history.append({kNow.addSecs(-minutes * 60), {{AIProvider::Claude, u"session"_s, 90 - minutes / 6.0, {}, {}}}});

    MetricRow row(metric, history, QuotaDisplayMode::Remaining, u"clock"_s);
    EXPECT_EQ(label(row, u"title"_s)->text(), u"5-Hour");
    EXPECT_EQ(label(row, u"percent"_s)->text(), u"10%");
    EXPECT_EQ(label(row, u"percent"_s)->textColor(),
              style::usageColor(90, QApplication::palette())); // red, though 10 % is shown
    EXPECT_EQ(row.findChild<ResetCountdownText*>()->text(), u"Resets in 2h 5m");
    // 10 points an hour with 2 h 5 m left reaches 100 % in an hour.
    EXPECT_EQ(texts(row, u"captionText"_s), (QStringList{u"+10% last hour"_s, u"100% in ~1h"_s}));

    // No history and no reset: no countdown, no caption.
    row.setMetric({AIProvider::Claude, u"x"_s, u"X"_s, 10, std::nullopt, std::nullopt}, {}, QuotaDisplayMode::Used);
    EXPECT_TRUE(row.findChild<ResetCountdownText*>()->text().isEmpty());
    EXPECT_TRUE(row.findChild<MetricInsightCaption*>()->isHidden());
}

TEST_F(ViewsTest, ClaudeCard)
{
    UsageResponse usage;
    usage.fiveHour = UsageWindow{42.7, std::nullopt};
    usage.sevenDay = UsageWindow{63, std::nullopt};
    usage.sevenDayOpus = UsageWindow{71, std::nullopt};
    usage.sevenDaySonnet = UsageWindow{28, std::nullopt};
    usage.extraUsage = ExtraUsage{true, 20.0, std::nullopt, std::nullopt};
    UsageCardView card(usage, {}, QuotaDisplayMode::Used);
    EXPECT_EQ(texts(card, u"name"_s), (QStringList{u"Sonnet"_s, u"Opus"_s}));
    EXPECT_EQ(texts(card, u"title"_s), (QStringList{u"5-Hour"_s, u"7-Day"_s}));
    EXPECT_EQ(label(card, u"extraUsage"_s)->text(), u"Enabled");

    // The limit list form: per-model weekly windows go under the breakdown, after the fixed ones.
    usage.limits = QList<UsageLimit>{{u"session"_s, 10, std::nullopt, std::nullopt},
                                     {u"weekly_opus"_s, 20, std::nullopt, std::nullopt}};
    usage.extraUsage = ExtraUsage{true, 20.0, 1.5, std::nullopt};
    card.setData(usage, {}, QuotaDisplayMode::Used);
    EXPECT_EQ(texts(card, u"title"_s), QStringList{u"5-Hour"_s});
    EXPECT_EQ(texts(card, u"name"_s, true), (QStringList{u"Sonnet"_s, u"Opus"_s, u"Weekly Opus"_s}));
    EXPECT_EQ(label(card, u"extraUsage"_s)->text(), u"$1.50 / $20.00");

    usage.extraUsage = ExtraUsage{false, 20.0, 1.5, std::nullopt};
    usage.sevenDayOpus.reset();
    usage.sevenDaySonnet.reset();
    usage.limits.reset();
    card.setData(usage, {}, QuotaDisplayMode::Used);
    EXPECT_EQ(label(card, u"extraUsage"_s)->text(), u"Disabled");
    EXPECT_FALSE(card.findChild<TextLabel*>(u"modelBreakdown"_s));
}

TEST_F(ViewsTest, CodexCard)
{
    CodexUsage usage;
    usage.plan = u"pro lite"_s;
    usage.limitReached = true;
    usage.fetchedAt = kNow;
    CodexUsageView card(usage, {}, QuotaDisplayMode::Used);
    EXPECT_EQ(label(card, u"plan"_s)->text(), u"Pro Lite");
    EXPECT_EQ(label(card, u"noWindows"_s)->text(), u"No usage windows reported.");
    EXPECT_EQ(label(card, u"limitReached"_s)->text(), u"Limit reached");
    EXPECT_FALSE(label(card, u"credits"_s));

    usage.windows = {{u"primary"_s, u"5-Hour"_s, 17, 3600, 300}};
    usage.limitReached = false;
    usage.creditBalance = 4.2;
    card.setData(usage, {}, QuotaDisplayMode::Remaining);
    EXPECT_FALSE(label(card, u"noWindows"_s));
    EXPECT_EQ(label(card, u"percent"_s)->text(), u"83%");
    EXPECT_EQ(label(card, u"credits"_s)->text(), u"Credits: $4.20");
    EXPECT_FALSE(label(card, u"limitReached"_s));
}

TEST_F(ViewsTest, CopilotCard)
{
    CopilotUsage usage;
    usage.plan = u"individual_pro"_s;
    usage.quotas = {{u"chat"_s, u"Chat"_s, true, 100, 0, 0},
                    {u"premium_interactions"_s, u"Premium Requests"_s, false, 60, 120, 300}};
    CopilotUsageView card(usage, {}, QuotaDisplayMode::Used);
    EXPECT_EQ(label(card, u"plan"_s)->text(), u"Individual Pro");
    EXPECT_EQ(label(card, u"unlimited"_s)->text(), u"Unlimited");
    EXPECT_EQ(texts(card, u"title"_s), QStringList{u"Premium Requests"_s});
    EXPECT_EQ(label(card, u"subtitle"_s)->text(), u"120 / 300 used");
    EXPECT_EQ(label(card, u"percent"_s)->text(), u"40%");
}

// The overview's highest figure leaves out Claude's per-model weekly windows; of equal figures the first wins;
// a provider without figures says why.
TEST_F(ViewsTest, OverviewCards)
{
    UsageState state;
    state.usage = UsageResponse{};
    state.allMetrics = {{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 30, std::nullopt, 18000},
                        {AIProvider::Claude, u"weekly_opus"_s, u"Opus"_s, 99, std::nullopt, 604800},
                        {AIProvider::Claude, u"weekly_all"_s, u"7-Day"_s, 85, std::nullopt, 604800}};
    EXPECT_EQ(highestMetric(overviewMetrics(state, AIProvider::Claude))->kind, u"weekly_all");
    // A provider without figures shows its error in their place, also when the card is updated in place.
    state.codexError = u"The ChatGPT session expired."_s;
    OverviewView view(true);
    for (int pass = 0; pass < 2; ++pass)
        view.setState(state, QuotaDisplayMode::Used);
    EXPECT_EQ(view.card(AIProvider::ChatGPT)->findChild<ElidedLabel*>(u"emptyText"_s)->fullText(),
              u"The ChatGPT session expired.");
    EXPECT_EQ(highestMetric({{AIProvider::Copilot, u"a"_s, u"A"_s, 50, {}, {}},
                             {AIProvider::Copilot, u"b"_s, u"B"_s, 50, {}, {}}})
                  ->kind,
              u"a");
}

// A theme change while running recolours text and usage colours without rebuilding the views.
TEST_F(ViewsTest, FollowsThemeChanges)
{
    const QPalette original = QApplication::palette();
    MetricRow row({AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42, std::nullopt, std::nullopt}, {},
                  QuotaDisplayMode::Used);
    row.show();
    QPalette dark = original;
    for (auto role : {QPalette::Window, QPalette::Base})
        dark.setColor(role, QColor(0x1E1E20));
    for (auto role : {QPalette::WindowText, QPalette::Text})
        dark.setColor(role, QColor(0xF2F2F7));
    QApplication::setPalette(dark);
    QCoreApplication::processEvents();
    EXPECT_EQ(row.findChild<ResetCountdownText*>()->findChild<TextLabel*>()->textColor(),
              style::textColor(style::Tone::Tertiary, dark));
    EXPECT_EQ(label(row, u"percent"_s)->textColor(), style::accentColor(style::Accent::Green, dark));
    EXPECT_EQ(label(row, u"title"_s)->textColor(), QColor(0xF2F2F7));
    QApplication::setPalette(original);
    QCoreApplication::processEvents();
    EXPECT_EQ(label(row, u"percent"_s)->textColor(), style::accentColor(style::Accent::Green, original));
}

// The colour table is readable: text at least 4.5:1 and bars, rings and glyphs at least 3:1
// against every background it is drawn on (panel, card on panel, widget, tray panels).
TEST_F(ViewsTest, ColourTableContrast)
{
    for (const bool dark : {false, true}) {
        QPalette palette;
        palette.setColor(QPalette::Window, dark ? QColor(0x1E1E20) : QColor(0xEDEDF0));
        palette.setColor(QPalette::WindowText, dark ? QColor(0xF2F2F7) : QColor(0x1D1D1F));
        ASSERT_EQ(style::isDark(palette), dark);
        const QColor panel = over(style::panelColor(palette), dark ? Qt::black : Qt::white);
        const QList<QColor> textBackgrounds = {panel, over(style::cardFill(palette), panel),
                                               dark ? QColor(0x1F1F22) : QColor(0xF7F7F8), // the widget
                                               dark ? QColor(0x2A2A2E) : QColor(Qt::white)};
        // Tray panels of either kind, a little darker or lighter than a window.
        const QList<QColor> trayPanels = dark ? QList<QColor>{QColor(0x303030), QColor(Qt::black)}
                                              : QList<QColor>{QColor(0xDCDCDC), QColor(0xFFFFFF)};
        for (const auto accent : {style::Accent::Green, style::Accent::Yellow, style::Accent::Red,
                                  style::Accent::Orange, style::Accent::Blue}) {
            const QColor colour = style::accentColor(accent, palette);
            for (const QColor& background : textBackgrounds)
                EXPECT_GE(contrast(colour, background), 4.5)
                    << colour.name().toStdString() << " on " << background.name().toStdString();
            for (const QColor& background : trayPanels)
                EXPECT_GE(contrast(colour, background), 3.0)
                    << colour.name().toStdString() << " on " << background.name().toStdString();
        }
        // Secondary text (resets, axis labels, hints) and the chart lines drawn on cards and panels.
        for (const QColor& background : textBackgrounds) {
            for (const auto tone : {style::Tone::Primary, style::Tone::Secondary, style::Tone::Tertiary})
                EXPECT_GE(contrast(over(style::textColor(tone, palette), background), background), 4.5)
                    << int(tone) << " on " << background.name().toStdString();
            for (int series = 0; series < style::kChartColorCount; ++series)
                EXPECT_GE(contrast(style::chartColor(series, palette), background), 3.0)
                    << "series " << series << " on " << background.name().toStdString();
        }
    }
}

// What a screen reader says for a window and a model row; long model names are elided.
TEST_F(ViewsTest, SpokenTexts)
{
    const std::pair<double, const char*> durations[] = {
        {0, "1 minute"},   {59, "1 minute"},        {150, "2 minutes"}, {3600, "1 hour"},  {7500, "2 hours 5 minutes"},
        {7230, "2 hours"}, {90000, "1 day 1 hour"}, {172800, "2 days"}, {NAN, "1 minute"},
    };
    for (const auto& [seconds, text] : durations)
        EXPECT_EQ(spokenDurationText(seconds), QString::fromUtf8(text)) << seconds;

    const ProviderMetric session{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42.7, kNow.addSecs(7500), 18000};
    EXPECT_EQ(spokenMetricText(session, QuotaDisplayMode::Used, kNow),
              u"Claude, 5-Hour, 42 percent used, resets in 2 hours 5 minutes");
    EXPECT_EQ(spokenMetricText(session, QuotaDisplayMode::Remaining, kNow.addSecs(8000)),
              u"Claude, 5-Hour, 57 percent left");

    ModelRow model(u"Weekly Opus"_s, 71, QuotaDisplayMode::Used);
    model.resize(300, 20);
    model.show();
    QCoreApplication::processEvents();
    const TextLabel* name = label(model, u"name"_s);
    EXPECT_TRUE(name->text().endsWith(u'…')) << name->text().toStdString();
    EXPECT_EQ(name->toolTip(), u"Weekly Opus");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&model)->text(QAccessible::Name), u"Weekly Opus, 71 percent used");
}

// A theme symbol comes out at its logical size at any scale, centred: QIcon::pixmap(QSize)
// already returns device pixels, which must not be scaled by the ratio again.
TEST_F(ViewsTest, ThemeSymbolsAtHighDensity)
{
    QTemporaryDir themes;
    writeFile(themes.path() + u"/probe/index.theme"_s,
              "[Icon Theme]\nName=probe\nDirectories=scalable/actions\n\n"
              "[scalable/actions]\nSize=16\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    writeFile(themes.path() + u"/probe/scalable/actions/view-refresh-symbolic.svg"_s,
              R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16">)"
              R"(<rect x="4" y="4" width="8" height="8" fill="#222"/></svg>)");
    const QStringList oldPaths = QIcon::themeSearchPaths();
    const QString oldTheme = QIcon::themeName();
    QIcon::setThemeSearchPaths({themes.path()});
    QIcon::setThemeName(u"probe"_s);
    style::setUseThemeSymbols(true);

    for (const qreal ratio : {1.0, 2.0}) {
        const QPixmap pixmap = style::symbol(u"arrow.clockwise"_s, 14, Qt::red, ratio);
        EXPECT_EQ(pixmap.size(), QSize(14, 14) * ratio) << ratio;
        EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(14, 14)) << ratio;
        // The square sits in the middle: its centre pixel is drawn, the corners are not.
        const QImage image = pixmap.toImage();
        const int mid = image.width() / 2;
        EXPECT_GT(qAlpha(image.pixel(mid, mid)), 200) << ratio;
        EXPECT_EQ(qAlpha(image.pixel(1, 1)), 0) << ratio;
        EXPECT_EQ(qAlpha(image.pixel(image.width() - 2, image.height() - 2)), 0) << ratio;
    }

    QIcon::setThemeSearchPaths(oldPaths);
    QIcon::setThemeName(oldTheme);
}
