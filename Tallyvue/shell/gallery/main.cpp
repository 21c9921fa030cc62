// SPDX-License-Identifier: MIT
// tallyvue-gallery DIR: draws, offscreen and from fixed sample data, the tray icons in every
// style and level, each popover page and state, the Trends tab and the details window, light and
// dark, as PNG files in DIR.
#include "shell/gallery/Gallery.h"

#include "alerts/ThresholdAlerts.h"
#include "model/ClaudeMetrics.h"
#include "model/Preferences.h"
#include "model/Timestamp.h"
#include "shell/TrayLabel.h"
#include "views/charts/UsageHistoryChart.h"
#include "views/common/Style.h"
#include "views/details/DetailWindowView.h"
#include "views/local/ComputerName.h"
#include "views/popover/MenuBarView.h"
#include "views/popover/TrendsView.h"
#include "views/settings/SettingsView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <ctime>

using namespace tallyvue;
using namespace tallyvue::gallery;
using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tallyvue-gallery DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "tallyvue-gallery: cannot create %s\n", argv[1]);
        return 1;
    }
    // Offscreen, in UTC, with preferences of its own: never the user's.
    QTemporaryDir sandbox;
    if (!sandbox.isValid())
        return 1;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TZ", "UTC");
    tzset();
    qputenv("XDG_CONFIG_HOME", (sandbox.path() + u"/config"_s).toUtf8());
    qputenv("XDG_DATA_HOME", (sandbox.path() + u"/data"_s).toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    pinFonts(sandbox);

    QApplication app(argc, argv);
    QApplication::setOrganizationName(u"Tallyvue"_s);
    QApplication::setApplicationName(u"Tallyvue"_s);
    QFont font(u"DejaVu Sans"_s);
    font.setPointSizeF(10);
    QApplication::setFont(font);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    style::setUseThemeSymbols(false);
    setViewClock([] { return kNow; });
    ComputerName::instance().setName(u"workstation"_s);

    const WorkspacePage claude{AIProvider::Claude};
    if (qEnvironmentVariableIsSet("TALLYVUE_GALLERY_SCALED")) {
        // The second pass, at scale 2: the popover as a HiDPI screen shows it.
        bool ok = true;
        for (bool dark : {false, true}) {
            QApplication::setPalette(themePalette(dark));
            ok &= renderPopover(dir, u"claude"_s, dark, makeState(true, true, true), claude);
            // The tabs whose tiles and rows are tightest at scale 2.
            ok &= renderTab(dir, u"thiscomputer-claude"_s, dark, makeState(true, true, true), claude, AppTab::ThisMac);
            ok &= renderTab(dir, u"stats-claude-expanded"_s, dark, makeState(true, true, true), claude, AppTab::Stats,
                            true);
            ok &= renderStateScenes(dir, dark);
            ok &= renderComputer(dir, u"computer"_s, dark, makeState(true, true, true), false);
            UsageState twoWeeks = makeState(true, true, true);
            twoWeeks.history = twoWeekHistory();
            ok &= renderFocusRings(dir, dark, twoWeeks);
            ok &= renderContrast(dir, dark);
        }
        return ok ? 0 : 1;
    }

    bool ok = renderTrayIcons(dir);
    ok &= renderPercentIcons(dir + u"/tray-percent-icons.png"_s, {{"dark", QColor(0x2B2B2B), QColor(0xF2F2F2)},
                                                                  {"light", QColor(0xE8E8E8), QColor(0x1D1D1F)}});
    // A guess gone wrong, as on XFCE's dark panel beside a light palette: still legible.
    ok &= renderPercentIcons(dir + u"/tray-percent-icons-misjudged.png"_s,
                             {{"dark panel\ntaken light", QColor(0x2B2B2B), QColor(0x1D1D1F)},
                              {"light panel\ntaken dark", QColor(0xF0F0F0), QColor(0xF2F2F2)}});
    const WorkspacePage chatgpt{AIProvider::ChatGPT};
    const WorkspacePage copilot{AIProvider::Copilot};
    for (bool dark : {false, true}) {
        QApplication::setPalette(themePalette(dark));
        const UsageState full = makeState(true, true, true);
        UsageState failed = makeState(false, false, false);
        failed.errorMessage = u"Claude Code credentials were not found. Sign in with `claude` first."_s;
        failed.codexError = u"The ChatGPT session expired. Run `codex login` again."_s;
        failed.copilotError = u"No GitHub Copilot sign-in was found on this computer."_s;
        UsageState loading = makeState(false, false, false);
        loading.isLoading = true;
        UsageState partial = makeState(true, false, false);
        partial.codexError = failed.codexError;

        ok &= renderPopover(dir, u"claude"_s, dark, full, claude);
        ok &= renderPopover(dir, u"claude-remaining"_s, dark, full, claude, QuotaDisplayMode::Remaining);
        ok &= renderPopover(dir, u"claude-error"_s, dark, failed, claude);
        ok &= renderPopover(dir, u"claude-loading"_s, dark, loading, claude);
        ok &= renderPopover(dir, u"chatgpt"_s, dark, full, chatgpt);
        ok &= renderPopover(dir, u"chatgpt-unavailable"_s, dark, failed, chatgpt);
        ok &= renderPopover(dir, u"copilot"_s, dark, full, copilot);
        ok &= renderPopover(dir, u"copilot-unavailable"_s, dark, failed, copilot);
        ok &= renderPopover(dir, u"overview"_s, dark, full, WorkspacePage{});
        ok &= renderPopover(dir, u"overview-partial"_s, dark, partial, WorkspacePage{});
        ok &= renderStateScenes(dir, dark);

        // The Stats and This Computer tabs, and the Overview with this computer's part.
        UsageState quiet = full;
        quiet.localUsage = std::make_shared<const std::vector<LocalUsageEvent>>();
        UsageState bare = full;
        bare.usage->extraUsage.reset();
        for (const auto& [key, page] :
             {std::pair{u"claude"_s, claude}, std::pair{u"chatgpt"_s, chatgpt}, std::pair{u"copilot"_s, copilot}}) {
            ok &= renderTab(dir, u"stats-"_s + key, dark, full, page, AppTab::Stats);
            ok &= renderTab(dir, u"thiscomputer-"_s + key, dark, full, page, AppTab::ThisMac);
        }
        ok &= renderTab(dir, u"stats-claude-expanded"_s, dark, full, claude, AppTab::Stats, true);
        ok &= renderTab(dir, u"stats-claude-empty"_s, dark, quiet, claude, AppTab::Stats);
        ok &= renderTab(dir, u"stats-claude-nostatistics"_s, dark, bare, claude, AppTab::Stats);
        ok &= renderTab(dir, u"stats-copilot-loading"_s, dark, loading, copilot, AppTab::Stats);
        ok &= renderTab(dir, u"thiscomputer-claude-empty"_s, dark, quiet, claude, AppTab::ThisMac);
        ok &= renderTab(dir, u"overview-local"_s, dark, full, WorkspacePage{}, AppTab::Models);
        ok &= renderTab(dir, u"overview-local-empty"_s, dark, quiet, WorkspacePage{}, AppTab::Models);

        using Status = NotificationAuthorization;
        ok &= renderSettings(dir, u"metrics"_s, dark, full, false, Status::Authorized);
        ok &= renderSettings(dir, u"no-metrics"_s, dark, loading, false, Status::Authorized);
        ok &= renderSettings(dir, u"alerts-denied"_s, dark, full, true, Status::Denied);
        ok &= renderSettings(dir, u"alerts-no-previews"_s, dark, full, true, Status::Authorized, ShowPreviews::Never);

        UsageState twoWeeks = full;
        twoWeeks.history = twoWeekHistory();
        UsageState noHistory = full;
        noHistory.history.clear();
        ok &= renderTrends(dir, u"claude"_s, dark, twoWeeks, AIProvider::Claude);
        ok &= renderTrends(dir, u"claude-hover"_s, dark, twoWeeks, AIProvider::Claude, true);
        ok &= renderTrends(dir, u"chatgpt"_s, dark, twoWeeks, AIProvider::ChatGPT);
        ok &= renderTrends(dir, u"empty"_s, dark, noHistory, AIProvider::Claude);
        ok &= renderDetails(dir, u"overview"_s, dark, twoWeeks, WorkspacePage{});
        ok &= renderDetails(dir, u"claude"_s, dark, twoWeeks, claude);
        ok &= renderDetails(dir, u"claude-bottom"_s, dark, twoWeeks, claude, 1);
        ok &= renderDetails(dir, u"chatgpt"_s, dark, twoWeeks, chatgpt);
        ok &= renderDetails(dir, u"copilot"_s, dark, twoWeeks, copilot);
        ok &= renderDetails(dir, u"empty"_s, dark, noHistory, claude, 1);
        UsageState unavailable = twoWeeks;
        unavailable.copilotUsage.reset();
        unavailable.allMetrics = unavailable.metrics(AIProvider::Claude) + unavailable.metrics(AIProvider::ChatGPT);
        unavailable.copilotError = failed.copilotError;
        ok &= renderDetails(dir, u"copilot-unavailable"_s, dark, unavailable, copilot);
        ok &= renderComputer(dir, u"computer"_s, dark, twoWeeks, false);
        ok &= renderComputer(dir, u"computer-empty"_s, dark, twoWeeks, true);
        ok &= renderFocusRings(dir, dark, twoWeeks);
        ok &= renderContrast(dir, dark);
    }
    // Scale is fixed per process: the 2x popover is drawn by a second run of this program.
    QProcess scaled;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"TALLYVUE_GALLERY_SCALED"_s, u"1"_s);
    env.insert(u"QT_SCALE_FACTOR"_s, u"2"_s);
    scaled.setProcessEnvironment(env);
    scaled.setProcessChannelMode(QProcess::ForwardedChannels);
    scaled.start(QCoreApplication::applicationFilePath(), {dir});
    ok &= scaled.waitForFinished(120000) && scaled.exitStatus() == QProcess::NormalExit && scaled.exitCode() == 0;
    return ok ? 0 : 1;
}
