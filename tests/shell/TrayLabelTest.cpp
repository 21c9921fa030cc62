// SPDX-License-Identifier: MIT
// The tray label's rules, and the geometry and colours of its image.
#include "shell/TrayLabel.h"
#include "model/Timestamp.h"
#include "shell/Popover.h"
#include "shell/TrayItem.h"
#include "views/MenuBarView.h"

#include <QWindow>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kNow = *parseTimestamp(u"2026-01-05T12:00:00Z"_s);

const QList<ProviderMetric> kMetrics = {
    {AIProvider::Claude, u"session"_s, u"5-Hour"_s, 42.7, kNow.addSecs(7500), 18000},
    {AIProvider::Claude, u"weekly_all"_s, u"7-Day"_s, 63, kNow.addSecs(40 * 3600), 604800},
    {AIProvider::ChatGPT, u"primary"_s, u"5-Hour"_s, 90, kNow.addSecs(-60), 18000},
    {AIProvider::Copilot, u"premium"_s, u"Premium"_s, 0, std::nullopt, std::nullopt},
};

TrayLabelSettings settings(const QString& first = {}, const QString& second = {},
                           MenuBarStyle style = MenuBarStyle::Percent, bool monochrome = false, bool countdown = false,
                           QuotaDisplayMode mode = QuotaDisplayMode::Used)
{
    return {first, second, style, monochrome, countdown, mode};
}

} // namespace

TEST(TrayLabel, Rules)
{
    struct Case
    {
        const char* name;
        QList<ProviderMetric> metrics;
        TrayLabelSettings settings;
        const char* text;
        TrayLabel::Image image;
        std::optional<UsageLevel> level;
        double ring;
    };
    const auto glyph = TrayLabel::Image::BarGlyph;
    const auto ring = TrayLabel::Image::Ring;
    const Case cases[] = {
        {"fresh install", kMetrics, settings(), "42%  ·  7d 63%", glyph, UsageLevel::Green, 0},
        {"first badge only", kMetrics, settings(u"Claude:weekly_all"_s), "63%", glyph, UsageLevel::Yellow, 0},
        {"second equals first", kMetrics, settings(u"weekly_all"_s, u"Claude:weekly_all"_s), "63%", glyph,
         UsageLevel::Yellow, 0},
        {"same provider: window labels", kMetrics, settings(u"Claude:weekly_all"_s, u"Claude:session"_s),
         "63%  ·  5h 42%", glyph, UsageLevel::Yellow, 0},
        {"different providers: letters", kMetrics, settings(u"ChatGPT:primary"_s, u"Copilot:premium"_s),
         "G 90%  ·  P 0%", glyph, UsageLevel::Red, 0},
        {"countdown under 36 hours", kMetrics, settings({}, {}, MenuBarStyle::Percent, false, true),
         "42% · 2h 5m  ·  7d 63%", glyph, UsageLevel::Green, 0},
        {"countdown 40 hours away adds nothing", kMetrics,
         settings(u"Claude:weekly_all"_s, {}, MenuBarStyle::Percent, false, true), "63%", glyph, UsageLevel::Yellow, 0},
        {"countdown already past adds nothing", kMetrics,
         settings(u"ChatGPT:primary"_s, {}, MenuBarStyle::Percent, false, true), "90%", glyph, UsageLevel::Red, 0},
        {"monochrome", kMetrics, settings(u"ChatGPT:primary"_s, {}, MenuBarStyle::Percent, true), "90%", glyph,
         std::nullopt, 0},
        {"icon only keeps no text", kMetrics, settings({}, {}, MenuBarStyle::IconOnly), "", glyph, UsageLevel::Green,
         0},
        {"ring shows the used share", kMetrics, settings({}, {}, MenuBarStyle::Ring), "42%  ·  7d 63%", ring,
         UsageLevel::Green, 0.427},
        {"ring in remaining mode: 90 used shows 10, red", kMetrics,
         settings(u"ChatGPT:primary"_s, {}, MenuBarStyle::Ring, false, false, QuotaDisplayMode::Remaining), "10%", ring,
         UsageLevel::Red, 0.10},
        {"ring at 0 % keeps 2 %", kMetrics, settings(u"Copilot:premium"_s, {}, MenuBarStyle::Ring), "0%", ring,
         UsageLevel::Green, 0.02},
        {"ring above 100 % is full",
         {{AIProvider::Claude, u"session"_s, u"5-Hour"_s, 130, std::nullopt, std::nullopt}},
         settings({}, {}, MenuBarStyle::Ring),
         "100%",
         ring,
         UsageLevel::Red,
         1.0},
        {"chosen badge without data falls back to Claude's 5 hours", kMetrics, settings(u"Copilot:chat"_s), "42%",
         glyph, UsageLevel::Green, 0},
        {"no data: the glyph alone", {}, settings({}, {}, MenuBarStyle::Ring), "", glyph, std::nullopt, 0},
    };
    for (const Case& c : cases) {
        const TrayLabel label = makeTrayLabel(c.metrics, c.settings, kNow);
        EXPECT_EQ(label.text, QString::fromUtf8(c.text)) << c.name;
        EXPECT_EQ(label.image, c.image) << c.name;
        EXPECT_EQ(label.level, c.level) << c.name;
        EXPECT_NEAR(label.ringFraction, c.ring, 1e-9) << c.name;
    }
    // The tooltip always carries the whole text, also when the image stands alone.
    EXPECT_EQ(makeTrayLabel(kMetrics, settings({}, {}, MenuBarStyle::IconOnly), kNow).toolTip, u"42%  ·  7d 63%");
    EXPECT_EQ(makeTrayLabel({}, settings(), kNow).toolTip, u"Tallyvue");
    EXPECT_EQ(labelGuide(u"42% · 2h 5m  ·  7d 63%"_s), u"100% · 88h 88m  ·  88d 100%");
}

// Ring geometry: the arc starts at the top and runs clockwise; the rest is the faint track.
TEST(TrayLabel, RingImage)
{
    TrayLabel label;
    label.image = TrayLabel::Image::Ring;
    label.level = UsageLevel::Red;
    label.ringFraction = 0.25;
    const QImage image = renderTrayImage(label, 32, 1.0, Qt::black);
    ASSERT_EQ(image.size(), QSize(32, 32));
    // Line 2.5/14 of the 28-pixel ring: 5 pixels, centred on radius 11.5 around (16, 16).
    const QColor top = image.pixelColor(17, 16 - 11);
    const QColor right = image.pixelColor(16 + 11, 16);
    const QColor bottom = image.pixelColor(16, 16 + 11);
    const QColor left = image.pixelColor(16 - 11, 16);
    EXPECT_GT(top.red(), 200);
    EXPECT_EQ(top.alpha(), 255);
    EXPECT_GT(right.red(), 150);    // a quarter reaches three o'clock
    EXPECT_LT(bottom.alpha(), 100); // the track: black at 25 %
    EXPECT_NEAR(left.alphaF(), 0.25, 0.05);
    EXPECT_EQ(image.pixelColor(16, 16).alpha(), 0);

    // The bar glyph: four bars at 3u, the last one at 55 %.
    TrayLabel glyph;
    glyph.level = UsageLevel::Green;
    const QImage bars = renderTrayImage(glyph, 48, 1.0, Qt::black); // 15/16 of 48: u = 1.875
    const qreal u = 45.0 / 24;
    const auto at = [&](qreal x, qreal y) { return bars.pixelColor(int(1.5 + x * u), int(1.5 + y * u)); };
    EXPECT_EQ(at(6, 5.6), QColor(0x34C759));
    EXPECT_EQ(at(12, 5.6).alpha(), 0); // the first bar is 8 units long
    EXPECT_NEAR(at(19, 20.6).alphaF(), 0.55, 0.02);
    EXPECT_EQ(at(6, 8.4).alpha(), 0); // the gap between bars
}

TEST(Popover, Placement)
{
    const QRect screen(0, 0, 1920, 1080);
    const QSize size(380, 520);
    // Under a top-right tray icon, kept 8 pixels inside the screen.
    EXPECT_EQ(popoverPosition(QRect(1890, 2, 22, 22), size, screen), QPoint(1920 - 8 - 380, 2 + 22 + 6));
    // Over a bottom panel, centred on the icon.
    EXPECT_EQ(popoverPosition(QRect(800, 1050, 24, 24), size, screen), QPoint(811 - 190, 1050 - 6 - 520));
    // Left edge.
    EXPECT_EQ(popoverPosition(QRect(0, 0, 10, 10), size, screen).x(), 8);
    // A second screen to the right: kept inside it.
    EXPECT_EQ(popoverPosition(QRect(2000, 0, 20, 20), size, QRect(1920, 0, 1280, 1024)).x(), 1920 + 8);
}

// Tiling window managers (sway, i3) float a window whose minimum and maximum sizes agree and
// tile any other, which would stretch the popover across the screen; so its size stays fixed,
// as a panel and as the window shown without a tray.
TEST(Popover, FixedSizeSoTilingManagersFloatIt)
{
    Popover popover(new MenuBarView);
    popover.openAt(QRect(1890, 2, 22, 22));
    EXPECT_EQ(popover.windowType(), Qt::Tool);
    for (const bool panel : {true, false}) {
        if (!panel)
            popover.openAsWindow();
        const QWindow* window = popover.windowHandle();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->minimumSize(), MenuBarView::kSize) << panel;
        EXPECT_EQ(window->maximumSize(), MenuBarView::kSize) << panel;
    }
}
