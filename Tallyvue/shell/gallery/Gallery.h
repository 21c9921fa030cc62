// SPDX-License-Identifier: MIT
// The gallery's pieces: fixed sample data, the picture helpers and one file of scenes per screen.
#pragma once

#include "alerts/AlertNotifier.h"
#include "model/Preferences.h"
#include "views/common/UsageState.h"

#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QList>
#include <QPalette>
#include <QString>

#include <memory>
#include <vector>

class QTemporaryDir;

namespace tallyvue::gallery {

/// The moment every scene is drawn at.
extern const QDateTime kNow;

// Sample data (SampleData.cpp).
QString iso(const QDateTime& date);
UsageResponse sampleClaude();
CodexUsage sampleCodex();
CopilotUsage sampleCopilot();
QList<UsageSnapshot> sampleHistory();
std::shared_ptr<const std::vector<LocalUsageEvent>> sampleEvents();
QList<UsageSnapshot> twoWeekHistory();
UsageState makeState(bool claude, bool codex, bool copilot);

// Pictures (Pictures.cpp).
QPalette themePalette(bool dark);
QImage onBackdrop(const QImage& panel, bool dark);
bool save(const QImage& image, const QString& path);
void pinFonts(const QTemporaryDir& sandbox);

// Scenes, one file per screen.
bool renderPopover(const QString& dir, const QString& name, bool dark, const UsageState& state, WorkspacePage page,
                   QuotaDisplayMode mode = QuotaDisplayMode::Used, AppTab tab = AppTab::Models);
bool renderTab(const QString& dir, const QString& name, bool dark, const UsageState& state, WorkspacePage page,
               AppTab tab, bool expand = false);
bool renderTrends(const QString& dir, const QString& name, bool dark, const UsageState& state, AIProvider provider,
                  bool hover = false);
bool renderSettings(const QString& dir, const QString& name, bool dark, const UsageState& state, bool alertsOn,
                    NotificationAuthorization status, ShowPreviews previews = ShowPreviews::Always);
bool renderDetails(const QString& dir, const QString& name, bool dark, const UsageState& state, WorkspacePage page,
                   double scroll = 0);
bool renderComputer(const QString& dir, const QString& name, bool dark, const UsageState& state, bool empty);
bool renderTrayIcons(const QString& dir);
/// The popover with keyboard focus on each kind of control, side by side.
bool renderFocusRings(const QString& dir, bool dark, const UsageState& state);
/// Secondary text, the focus ring and the chart colours on the panel and a card, with their ratios.
bool renderContrast(const QString& dir, bool dark);
/**
 * The states where a figure is not current or a provider needs the user: stale last values,
 * another provider's figure standing in, not signed in, an expired sign-in and a rate limit.
 * Each is drawn as the popover page and, beside it, the tray label with its tooltip, in the
 * palette and scale in force; `dark` names the file. False when a file could not be written.
 */
bool renderStateScenes(const QString& dir, bool dark);

struct PanelShade
{
    const char* name;
    QColor background;
    QColor foreground; ///< the text colour Tallyvue takes the panel to have
};
bool renderPercentIcons(const QString& file, const PanelShade (&panels)[2]);

} // namespace tallyvue::gallery
