// SPDX-License-Identifier: MIT
// The settings panel in each alert state.
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

using namespace Qt::StringLiterals;

namespace tallyvue::gallery {

namespace {

/// A notification service with fixed answers, for the alert states of the settings panel.
class GalleryNotifier : public AlertNotifier
{
public:
    void post(const AlertNotification&) override {}
    QCoro::Task<NotificationAuthorization> authorizationStatus() override { co_return status; }
    QCoro::Task<ShowPreviews> showPreviewsSetting() override { co_return previews; }
    QCoro::Task<Result<bool, QString>> requestAuthorization() override { co_return true; }
    void openNotificationSettings() override {}
    bool canOpenNotificationSettings() const override { return true; }

    NotificationAuthorization status = NotificationAuthorization::Authorized;
    ShowPreviews previews = ShowPreviews::Always;
};

SettingsServices gallerySettingsServices()
{
    SettingsServices services;
    services.launchAtLoginEnabled = [] { return true; };
    services.setLaunchAtLogin = [](bool) { return true; };
    services.shortVersion = [] { return u"0.1.0"_s; };
    services.buildNumber = [] { return u"1"_s; };
    services.localBuildLabel = [] { return std::optional<QString>(u"Local build"_s); };
    services.executablePath = [] { return u"/home/dev/src/tallyvue/build/RelWithDebInfo/bin/tallyvue"_s; };
    services.updater = [] { return UpdaterState{}; };
    return services;
}

} // namespace

/// The settings panel in one alert state: the whole panel at the popover's width, and the
/// popover opened on it.
bool renderSettings(const QString& dir, const QString& name, bool dark, const UsageState& state, bool alertsOn,
                    NotificationAuthorization status, ShowPreviews previews)
{
    auto notifier = std::make_shared<GalleryNotifier>();
    notifier->status = status;
    notifier->previews = previews;
    ThresholdAlerts::installNotifier(notifier);
    Preferences::instance().setAlertsEnabled(alertsOn);
    Preferences::instance().setQuotaDisplayMode(QuotaDisplayMode::Used);
    const auto settle = [] {
        for (int pass = 0; pass < 4; ++pass)
            QApplication::processEvents();
    };
    const QString suffix = dark ? u"-dark.png"_s : u"-light.png"_s;

    QWidget panel;
    panel.setAutoFillBackground(true);
    QPalette palette = panel.palette();
    palette.setColor(QPalette::Window, style::panelColor(palette));
    panel.setPalette(palette);
    auto* layout = new QVBoxLayout(&panel);
    layout->setContentsMargins(12, 12, 12, 12);
    auto* settings = new SettingsView(gallerySettingsServices());
    settings->setMetrics(state.allMetrics);
    layout->addWidget(settings);
    panel.setFixedWidth(MenuBarView::kSize.width());
    panel.show();
    settle();
    panel.setFixedHeight(panel.sizeHint().height());
    settle();
    bool ok = save(onBackdrop(panel.grab().toImage(), dark), dir + u"/settings-"_s + name + suffix);
    panel.hide();

    MenuBarView view;
    view.setSettingsServices(gallerySettingsServices());
    view.setState(state);
    view.show();
    view.setShowingSettings(true, false);
    settle();
    ok &= save(onBackdrop(view.grab().toImage(), dark), dir + u"/popover-settings-"_s + name + suffix);
    view.hide();
    ThresholdAlerts::installNotifier(nullptr);
    Preferences::instance().setAlertsEnabled(false);
    return ok;
}

} // namespace tallyvue::gallery
