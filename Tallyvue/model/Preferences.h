// SPDX-License-Identifier: MIT
#pragma once

#include "model/AIProvider.h"
#include "model/ProviderMetric.h"

#include <QObject>
#include <QString>
#include <QVariant>

#include <optional>

namespace tallyvue {

enum class MenuBarStyle { Percent, IconOnly, Ring };
enum class HotKeyPreset { Off, CtrlOptQ, CtrlOptU, CtrlOptSpace, CtrlShiftOptQ };
enum class AppTab { Models, Stats, Trends, ThisMac };

/// A popover page: one provider, or the overview when `provider` is empty. The details window
/// also has a This Computer page.
struct WorkspacePage
{
    std::optional<AIProvider> provider;
    bool thisComputer = false;
    friend bool operator==(const WorkspacePage&, const WorkspacePage&) = default;
};

QString rawValue(MenuBarStyle style);
QString rawValue(HotKeyPreset preset);
QString rawValue(AppTab tab);
QString rawValue(WorkspacePage page);
std::optional<MenuBarStyle> menuBarStyleFromRaw(QStringView raw);
std::optional<HotKeyPreset> hotKeyPresetFromRaw(QStringView raw);
std::optional<AppTab> appTabFromRaw(QStringView raw);
std::optional<WorkspacePage> workspacePageFromRaw(QStringView raw);

/// The four refresh choices, in minutes.
inline constexpr int kRefreshIntervals[] = {2, 5, 10, 30};

/**
 * The user's choices, one typed accessor per key over QSettings ("Tallyvue"/"Tallyvue").
 * Every read goes to the store at the moment of use; nothing is cached here. Unreadable or
 * unknown stored values read as the key's default.
 */
class Preferences : public QObject
{
    Q_OBJECT

public:
    static Preferences& instance();

    QString selectedMenuBadge() const;
    void setSelectedMenuBadge(const QString& id);
    QString secondaryMenuBadge() const;
    void setSecondaryMenuBadge(const QString& id);
    MenuBarStyle menuBarStyle() const;
    void setMenuBarStyle(MenuBarStyle style);
    bool menuBarMonochrome() const;
    void setMenuBarMonochrome(bool on);
    bool badgeShowsCountdown() const;
    void setBadgeShowsCountdown(bool on);
    HotKeyPreset hotKeyPreset() const;
    void setHotKeyPreset(HotKeyPreset preset);
    /// The stored integer as it is (0 when nothing usable is stored); the coordinator maps it.
    int refreshIntervalMinutes() const;
    void setRefreshIntervalMinutes(int minutes);
    QuotaDisplayMode quotaDisplayMode() const;
    void setQuotaDisplayMode(QuotaDisplayMode mode);
    bool alertsEnabled() const;
    void setAlertsEnabled(bool on);
    /// 0 means "not set"; the alerts decide the fallback.
    double alertThreshold(AIProvider provider) const;
    void setAlertThreshold(AIProvider provider, double percent);
    WorkspacePage selectedPage() const;
    void setSelectedPage(WorkspacePage page);
    AppTab selectedTab() const;
    void setSelectedTab(AppTab tab);
    WorkspacePage detailPage() const;
    void setDetailPage(WorkspacePage page);

    /// Raw access for keys owned by one component (the alerts' bookkeeping, older keys).
    QVariant value(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    /// Number stored under `key`, or 0 when absent or not a number.
    double number(const QString& key) const;

Q_SIGNALS:
    /// A key's stored value changed (writing the value already stored emits nothing).
    void changed(const QString& key);

private:
    Preferences() = default;
    QString text(const QString& key) const;
    bool flag(const QString& key) const;
};

} // namespace tallyvue
