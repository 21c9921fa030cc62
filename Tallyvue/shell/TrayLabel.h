// SPDX-License-Identifier: MIT
#pragma once

#include "insights/Presentation.h"
#include "model/MenuBarLabelText.h"
#include "model/Preferences.h"
#include "providers/UsageServiceError.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QPair>

#include <optional>

namespace tallyvue {

/// The six stored choices the label follows.
struct TrayLabelSettings
{
    QString selectedBadge;
    QString secondaryBadge;
    MenuBarStyle style = MenuBarStyle::Percent;
    bool monochrome = false;
    bool showsCountdown = false;
    QuotaDisplayMode mode = QuotaDisplayMode::Used;

    static TrayLabelSettings fromPreferences();
    /// The preference keys that change the label.
    static bool concerns(QStringView key);
};

/// What the label says besides its figures.
struct TrayLabelNotes
{
    /// Providers whose figures are last good values, and their time.
    QList<QPair<AIProvider, QDateTime>> stale;
    /// Why a failing provider has no current figures ("unable to load data").
    QList<QPair<AIProvider, QString>> problems;
    /// Providers whose figures an agent's stand in for, with "from Claude Code, 3 min ago".
    QList<QPair<AIProvider, QString>> sources = {};
};

/// The tooltip's short reason for a failure.
QString trayProblemText(const std::optional<ProviderNotice>& notice);

/// What the tray shows: the image (bar glyph or ring) with its colour and the text.
struct TrayLabel
{
    enum class Image { BarGlyph, Ring };

    Image image = Image::BarGlyph;
    /// The level colour of the primary metric; none means the primary label colour (no data,
    /// or monochrome).
    std::optional<UsageLevel> level;
    double ringFraction = 0;
    /// Shown beside the image; empty for "icon only" and without data.
    QString text;
    /// The whole label ("42%  ·  7d 63%"), even when the image stands alone, then a line for
    /// figures that are not current and one for a provider standing in for the chosen one.
    QString toolTip;
    /// The primary figure is a last good value: the image is drawn dimmed.
    bool stale = false;
    /// The primary metric's shown percentage without the sign ("42"); empty without data.
    QString digits;
};

TrayLabel makeTrayLabel(const QList<ProviderMetric>& metrics, const TrayLabelSettings& settings, const QDateTime& now,
                        const TrayLabelNotes& notes = {});

/// The level colour on a panel whose text colour is `primary` (light text: a dark panel).
QColor trayLevelColor(UsageLevel level, const QColor& primary);

/**
 * The label's image in a square icon of `side` pixels (scaled by `devicePixelRatio`): the
 * ring is 14 and the glyph 15 of 16 units, centred. `primary` is the panel's text colour.
 */
QImage renderTrayImage(const TrayLabel& label, int side, qreal devicePixelRatio, const QColor& primary);

/**
 * The icon for trays that show no text: the primary percentage as bold digits in the level
 * colour, as large as the square allows, over a short usage bar (or inside the ring where the
 * square is large enough for both); without data, the bar glyph. All of it on an opaque plate
 * of the panel's guessed shade, so that it reads on any panel when the guess is wrong.
 */
QImage renderPercentIcon(const TrayLabel& label, int side, qreal devicePixelRatio, const QColor& primary);

/// The text colour of the panel the tray lives on: light on desktops whose panel is dark by
/// default (GNOME, Cinnamon, ...), else the palette's text colour.
QColor trayForeground();

} // namespace tallyvue
