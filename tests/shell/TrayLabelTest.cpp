// SPDX-License-Identifier: MIT
// The tray label's rules, and the geometry and colours of its image.
#include "shell/TrayLabel.h"
#include "model/Formatting.h"
#include "model/Timestamp.h"
#include "shell/PlatformChoice.h"
#include "shell/Popover.h"
#include "shell/TrayIconFiles.h"
#include "shell/TrayItem.h"
#include "support/Contrast.h"
#include "views/common/Style.h"
#include "views/popover/MenuBarView.h"

#include <QWindow>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QPainter>

#include <algorithm>
#include <string_view>

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
    using enum UsageLevel;
    const auto glyph = TrayLabel::Image::BarGlyph;
    const auto ring = TrayLabel::Image::Ring;
    const auto percent = MenuBarStyle::Percent;
    const QList<ProviderMetric> over100 = {
        {AIProvider::Claude, u"session"_s, u"5-Hour"_s, 130, std::nullopt, std::nullopt}};
    struct Case
    {
        const char* name;
        TrayLabelSettings settings;
        const char* text;
        TrayLabel::Image image;
        std::optional<UsageLevel> level;
        double ring;
        QList<ProviderMetric> metrics = kMetrics;
    };
    const Case cases[] = {
        {"fresh install", settings(), "42%  ·  7d 63%", glyph, Green, 0},
        {"first badge only", settings(u"Claude:weekly_all"_s), "63%", glyph, Yellow, 0},
        {"second equals first", settings(u"weekly_all"_s, u"Claude:weekly_all"_s), "63%", glyph, Yellow, 0},
        {"same provider: window labels", settings(u"Claude:weekly_all"_s, u"Claude:session"_s), "63%  ·  5h 42%", glyph,
         Yellow, 0},
        {"different providers: letters", settings(u"ChatGPT:primary"_s, u"Copilot:premium"_s), "G 90%  ·  P 0%", glyph,
         Red, 0},
        {"countdown under 36 hours", settings({}, {}, percent, false, true), "42% · 2h 5m  ·  7d 63%", glyph, Green, 0},
        {"countdown 40 hours away adds nothing", settings(u"Claude:weekly_all"_s, {}, percent, false, true), "63%",
         glyph, Yellow, 0},
        {"countdown already past adds nothing", settings(u"ChatGPT:primary"_s, {}, percent, false, true), "90%", glyph,
         Red, 0},
        {"monochrome", settings(u"ChatGPT:primary"_s, {}, percent, true), "90%", glyph, std::nullopt, 0},
        {"icon only keeps no text", settings({}, {}, MenuBarStyle::IconOnly), "", glyph, Green, 0},
        {"ring shows the used share", settings({}, {}, MenuBarStyle::Ring), "42%  ·  7d 63%", ring, Green, 0.427},
        {"ring in remaining mode: 90 used shows 10, red",
         settings(u"ChatGPT:primary"_s, {}, MenuBarStyle::Ring, false, false, QuotaDisplayMode::Remaining), "10%", ring,
         Red, 0.10},
        {"ring at 0 % keeps 2 %", settings(u"Copilot:premium"_s, {}, MenuBarStyle::Ring), "0%", ring, Green, 0.02},
        {"ring above 100 % is full", settings({}, {}, MenuBarStyle::Ring), "100%", ring, Red, 1.0, over100},
        {"chosen badge without data falls back to Claude's 5 hours, lettered", settings(u"Copilot:chat"_s), "C 42%",
         glyph, Green, 0},
        {"nor a Claude session: the first window, lettered", settings(u"Copilot:chat"_s), "G 90%", glyph, Red, 0,
         kMetrics.mid(2)},
        {"no data: the glyph alone", settings({}, {}, MenuBarStyle::Ring), "", glyph, std::nullopt, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TrayLabel label = makeTrayLabel(c.metrics, c.settings, kNow);
        EXPECT_EQ(label.text, QString::fromUtf8(c.text));
        EXPECT_EQ(label.image, c.image);
        EXPECT_EQ(label.level, c.level);
        EXPECT_NEAR(label.ringFraction, c.ring, 1e-9);
    }
    // The tooltip always carries the whole text, also when the image stands alone.
    EXPECT_EQ(makeTrayLabel(kMetrics, settings({}, {}, MenuBarStyle::IconOnly), kNow).toolTip, u"42%  ·  7d 63%");
    EXPECT_EQ(makeTrayLabel({}, settings(), kNow).toolTip, u"Tallyvue");

    // A stand-in figure says why the chosen provider has none; last values say their time and
    // dim the image.
    const TrayLabelNotes notes{{{AIProvider::ChatGPT, kNow.addSecs(-300)}},
                               {{AIProvider::Claude, u"unable to load data"_s}}};
    const TrayLabel standIn = makeTrayLabel(kMetrics.mid(2), settings(), kNow, notes);
    const QString asOf = clockTimeText(kNow.addSecs(-300));
    EXPECT_EQ(standIn.text, u"G 90%");
    EXPECT_EQ(standIn.toolTip, u"G 90%\nChatGPT: last values, as of "_s + asOf + u"\nClaude: unable to load data"_s);
    EXPECT_TRUE(standIn.stale);
    EXPECT_FALSE(makeTrayLabel(kMetrics, settings(), kNow, notes).stale);
    // The digits drawn in the icon for hosts without a label: the shown percent, no sign.
    EXPECT_EQ(makeTrayLabel(kMetrics,
                            settings({}, {}, MenuBarStyle::Percent, false, false, QuotaDisplayMode::Remaining), kNow)
                  .digits,
              u"57");
}

// The ring (shown beside a label) starts at the top and covers the used share; the rest is the
// faint track. The gallery's tray picture shows its geometry at every level.
TEST(TrayLabel, RingImage)
{
    TrayLabel label;
    label.image = TrayLabel::Image::Ring;
    label.level = UsageLevel::Red;
    label.ringFraction = 0.25;
    const QImage image = renderTrayImage(label, 32, 1.0, Qt::black);
    EXPECT_GT(image.pixelColor(17, 16 - 11).red(), 200);             // the arc at twelve o'clock
    EXPECT_NEAR(image.pixelColor(16 - 11, 16).alphaF(), 0.25, 0.05); // the track at nine
}

// Which hosts get the label text and which the digits in the icon, and the user's override.
TEST(TrayLabel, HostClassification)
{
    const std::pair<const char*, bool> hosts[] = {
        {"/usr/bin/gnome-shell", true},
        {"/usr/libexec/ayatana-indicator-application/ayatana-indicator-application-service", true},
        {"/usr/lib/x86_64-linux-gnu/indicator-application/indicator-application-service", true},
        {"/usr/bin/kded5", false},
        {"/usr/bin/plasmashell --no-respawn", false},
        {"/usr/lib/xfce4/panel/wrapper-2.0 /usr/lib/xfce4/panel/plugins/libsystray.so 2 16777223 systray", false},
        // A plugin argument that names another host must not count.
        {"/usr/lib/xfce4/panel/wrapper-2.0 /usr/lib/xfce4/panel/plugins/libsntray-xfce.so 3 gnome-shell", false},
        {"waybar", false},
        {"/usr/bin/python3 fake_watcher.py", false},
        {"/usr/lib/mate-panel/notification-area-applet", true},
        {"", false},
    };
    for (const auto& [commandLine, showsLabel] : hosts) {
        EXPECT_EQ(hostShowsLabel(QString::fromUtf8(commandLine)), showsLabel) << commandLine;
        // Only the indicator services need the image as files.
        EXPECT_EQ(hostNeedsIconFiles(QString::fromUtf8(commandLine)),
                  std::string_view(commandLine).ends_with("indicator-application-service"));
    }

    EXPECT_TRUE(iconShowsPercent(TrayIconPercent::Automatic, false));
    EXPECT_FALSE(iconShowsPercent(TrayIconPercent::Automatic, true));
    EXPECT_TRUE(iconShowsPercent(TrayIconPercent::Always, true));
    EXPECT_FALSE(iconShowsPercent(TrayIconPercent::Never, false));
    EXPECT_EQ(trayIconPercentFromRaw(u"never"), TrayIconPercent::Never);
    EXPECT_EQ(trayIconPercentFromRaw(u"Never"), std::nullopt);
}

// The panel's shade is a guess (XFCE's dark panel beside a light palette gets it wrong), so
// the number must read on a light and on a dark panel whichever shade was guessed: the two
// colours that make up the middle of the drawn icon differ by at least 3:1, and one of them
// is the level colour.
TEST(TrayLabel, PercentIconReadsOnAnyPanel)
{
    const auto glyph = TrayLabel::Image::BarGlyph;
    const std::tuple<const char*, std::optional<UsageLevel>, QString, TrayLabel::Image> cases[] = {
        {"green", UsageLevel::Green, u"42"_s, glyph},
        {"yellow", UsageLevel::Yellow, u"63"_s, glyph},
        {"red", UsageLevel::Red, u"93"_s, glyph},
        {"monochrome", std::nullopt, u"63"_s, glyph},
        {"ring", UsageLevel::Yellow, u"63"_s, TrayLabel::Image::Ring},
        {"no data: the glyph", std::nullopt, {}, glyph},
    };
    for (const QColor panel : {QColor(0xF0F0F0), QColor(0x2B2B2B)}) {
        for (const QColor guessedText : {QColor(0xF2F2F2), QColor(0x1D1D1F)}) {
            for (const auto& [name, level, digits, image] : cases) {
                TrayLabel label;
                label.level = level;
                label.digits = digits;
                label.image = image;
                // Everything is sized in device pixels, so 1x and 2x icons differ only in size.
                for (const int pixels : {16, 22, 24, 32, 44, 48, 64}) {
                    SCOPED_TRACE(testing::Message()
                                 << name << ", " << pixels << " px, " << guessedText.name().toStdString() << " text on "
                                 << panel.name().toStdString());
                    QImage seen(pixels, pixels, QImage::Format_ARGB32);
                    seen.fill(panel);
                    QPainter(&seen).drawImage(0, 0, renderPercentIcon(label, pixels, 1.0, guessedText));
                    // The middle of the digits (or glyph): the upper middle of the square.
                    QHash<QRgb, int> counts;
                    for (int y = pixels / 5; y < pixels * 3 / 5; ++y) {
                        for (int x = pixels / 4; x < pixels * 3 / 4; ++x)
                            ++counts[seen.pixel(x, y)];
                    }
                    QList<QRgb> ranked = counts.keys();
                    std::ranges::sort(ranked, std::greater<>(),
                                      [&counts](QRgb rgb) { return std::pair(counts[rgb], rgb); });
                    ASSERT_GE(ranked.size(), 2);
                    const QColor first = QColor::fromRgb(ranked[0]);
                    const QColor second = QColor::fromRgb(ranked[1]);
                    EXPECT_GE(test::contrast(first, second), 3.0)
                        << first.name().toStdString() << " beside " << second.name().toStdString();
                    if (level) {
                        const QColor light = style::levelColor(*level, false);
                        const QColor dark = style::levelColor(*level, true);
                        EXPECT_TRUE(first == light || first == dark || second == light || second == dark)
                            << first.name().toStdString() << ", " << second.name().toStdString();
                    }
                }
            }
        }
    }
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

    // Always fully on screen: scale 2 on a 1080-line screen leaves 540 lines, less a panel.
    const std::pair<QRect, QRect> cases[] = {
        {QRect(930, 2, 12, 12), QRect(0, 15, 960, 525)},   // top panel, 15 lines
        {QRect(930, 530, 12, 8), QRect(0, 0, 960, 510)},   // bottom panel, 30 lines
        {QRect(0, 0, 1, 1), QRect(0, 0, 960, 540)},        // no panel
        {QRect(5000, 5000, 1, 1), QRect(0, 24, 360, 500)}, // anchor off screen, tiny screen
    };
    for (const auto& [anchor, available] : cases) {
        const QRect frame = popoverGeometry(anchor, size, available);
        EXPECT_TRUE(available.contains(frame))
            << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
        EXPECT_EQ(frame.width(), std::min(380, available.width()));
        EXPECT_EQ(frame.height(), std::min(520, available.height()));
    }

    // Without a click to go by: the right end of the edge a panel takes, top by default.
    const QRect full(0, 0, 1920, 1080);
    EXPECT_EQ(trayEdgeAnchor(full, QRect(0, 28, 1920, 1052)).topLeft(), QPoint(1918, 28));
    EXPECT_EQ(trayEdgeAnchor(full, QRect(0, 0, 1920, 1040)).topLeft(), QPoint(1918, 1039));
    EXPECT_EQ(trayEdgeAnchor(full, full).topLeft(), QPoint(1918, 0));
    const QRect bottomAnchor = trayEdgeAnchor(full, QRect(0, 0, 1920, 1040));
    EXPECT_LT(popoverGeometry(bottomAnchor, size, QRect(0, 0, 1920, 1040)).bottom(), 1040);

    // A host's point in display pixels, on a screen at 2x beside one at 1x.
    const QList<QPair<QRect, qreal>> screens = {{QRect(0, 0, 960, 540), 2.0}, {QRect(1920, 0, 1280, 1024), 1.0}};
    EXPECT_EQ(nativeToLogical(QPoint(1900, 20), screens), QPoint(950, 10));
    EXPECT_EQ(nativeToLogical(QPoint(2000, 20), screens), QPoint(2000, 20));
    EXPECT_TRUE(nativeToLogical(QPoint(), screens).isNull());

    // A host's point inside its own applet (MATE sends 22, 25) or none: the pointer, if known.
    const QPoint pointer(1500, 12);
    EXPECT_EQ(activationPoint(QPoint(1490, 30), pointer), QPoint(1490, 30));
    EXPECT_EQ(activationPoint(QPoint(22, 25), pointer), pointer);
    EXPECT_EQ(activationPoint(QPoint(), pointer), pointer);
    EXPECT_EQ(activationPoint(QPoint(22, 25), std::nullopt), QPoint(22, 25));
}

// GNOME's Wayland session runs us through XWayland when it can; nothing overrides the user's
// choice, and a session whose plugin is missing gets a reason, not Qt's abort.
TEST(PlatformChoice, PlatformsToTry)
{
    SessionDisplays gnome{{}, u"wayland"_s, u"ubuntu:GNOME"_s, true, true, true, true};
    EXPECT_EQ(choosePlatform(gnome).platform, u"xcb;wayland");
    SessionDisplays kde = gnome;
    kde.desktop = u"KDE"_s;
    EXPECT_EQ(choosePlatform(kde).platform, u"wayland;xcb");
    gnome.x11 = false;
    EXPECT_EQ(choosePlatform(gnome).platform, u"wayland");
    gnome.userPlatform = u"offscreen"_s;
    EXPECT_TRUE(choosePlatform(gnome).platform.isEmpty());
    SessionDisplays sway{{}, u"wayland"_s, u"sway"_s, true, false, false, true};
    EXPECT_TRUE(choosePlatform(sway).error.contains(u"qt6-wayland"));
    EXPECT_TRUE(choosePlatform(SessionDisplays{{}, {}, {}, false, false, true, true}).error.contains(u"DISPLAY"));
}

// Every image gets a new name and folder; the one before stays for a host still reading it,
// older ones and finally the whole folder go.
TEST(TrayIconFiles, NewNamePerImageOldFilesRemoved)
{
    const QString root = QDir::tempPath() + u"/icons-test-"_s + QString::number(QCoreApplication::applicationPid());
    QStringList paths;
    {
        TrayIconFiles files(root);
        for (int i = 0; i < 3; ++i) {
            QImage image(22, 22, QImage::Format_ARGB32);
            image.fill(QColor(i * 100, 0, 0));
            ASSERT_TRUE(files.write({image, image.scaled(44, 44)}));
            paths.append(files.themePath() + u'/' + files.iconName() + u".png"_s);
            EXPECT_EQ(QImage(paths.last()).size(), QSize(44, 44));
            EXPECT_EQ(
                QImage(files.themePath() + u"/hicolor/22x22/apps/"_s + files.iconName() + u".png"_s).pixelColor(0, 0),
                QColor(i * 100, 0, 0));
        }
        EXPECT_FALSE(QFile::exists(paths[0]));
        EXPECT_TRUE(QFile::exists(paths[1]));
        EXPECT_NE(paths[1], paths[2]);
    }
    EXPECT_FALSE(QDir(root).exists());
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
