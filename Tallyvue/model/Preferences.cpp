// SPDX-License-Identifier: MIT
#include "model/Preferences.h"

#include <QSettings>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

QSettings store()
{
    return QSettings(u"Tallyvue"_s, u"Tallyvue"_s);
}

template<typename Enum, std::size_t N>
std::optional<Enum> fromRaw(QStringView raw, const std::pair<Enum, QStringView> (&table)[N])
{
    for (const auto& [value, name] : table) {
        if (raw == name)
            return value;
    }
    return std::nullopt;
}

template<typename Enum, std::size_t N>
QString toRaw(Enum value, const std::pair<Enum, QStringView> (&table)[N])
{
    for (const auto& [candidate, name] : table) {
        if (candidate == value)
            return name.toString();
    }
    return {};
}

constexpr std::pair<MenuBarStyle, QStringView> kMenuBarStyles[] = {
    {MenuBarStyle::Percent, u"percent"}, {MenuBarStyle::IconOnly, u"iconOnly"}, {MenuBarStyle::Ring, u"ring"}};
constexpr std::pair<HotKeyPreset, QStringView> kHotKeyPresets[] = {{HotKeyPreset::Off, u"off"},
                                                                   {HotKeyPreset::CtrlOptQ, u"ctrlOptQ"},
                                                                   {HotKeyPreset::CtrlOptU, u"ctrlOptU"},
                                                                   {HotKeyPreset::CtrlOptSpace, u"ctrlOptSpace"},
                                                                   {HotKeyPreset::CtrlShiftOptQ, u"ctrlShiftOptQ"}};
constexpr std::pair<AppTab, QStringView> kAppTabs[] = {{AppTab::Models, u"Models"},
                                                       {AppTab::Stats, u"Stats"},
                                                       {AppTab::Trends, u"Trends"},
                                                       {AppTab::ThisMac, u"This Mac"}};

const QString kSelectedMenuBadge = u"selectedMenuBadge"_s;
const QString kSecondaryMenuBadge = u"secondaryMenuBadge"_s;
const QString kMenuBarStyle = u"menuBarStyle"_s;
const QString kMenuBarMonochrome = u"menuBarMonochrome"_s;
const QString kBadgeShowsCountdown = u"badgeShowsCountdown"_s;
const QString kHotKeyPreset = u"hotKeyPreset"_s;
const QString kRefreshIntervalMinutes = u"refreshIntervalMinutes"_s;
const QString kQuotaDisplayMode = u"quotaDisplayMode"_s;
const QString kAlertsEnabled = u"alertsEnabled"_s;
const QString kSelectedPage = u"selectedPage"_s;
const QString kSelectedTab = u"selectedTab"_s;
const QString kDetailPage = u"detailPage"_s;

QString thresholdKey(AIProvider provider)
{
    return u"alertThreshold."_s + rawValue(provider);
}

} // namespace

QString rawValue(MenuBarStyle style)
{
    return toRaw(style, kMenuBarStyles);
}
QString rawValue(HotKeyPreset preset)
{
    return toRaw(preset, kHotKeyPresets);
}
QString rawValue(AppTab tab)
{
    return toRaw(tab, kAppTabs);
}
QString rawValue(WorkspacePage page)
{
    if (page.thisComputer)
        return u"computer"_s;
    return page.provider ? rawValue(*page.provider) : u"overview"_s;
}
std::optional<MenuBarStyle> menuBarStyleFromRaw(QStringView raw)
{
    return fromRaw(raw, kMenuBarStyles);
}
std::optional<HotKeyPreset> hotKeyPresetFromRaw(QStringView raw)
{
    return fromRaw(raw, kHotKeyPresets);
}
std::optional<AppTab> appTabFromRaw(QStringView raw)
{
    return fromRaw(raw, kAppTabs);
}

std::optional<WorkspacePage> workspacePageFromRaw(QStringView raw)
{
    if (raw == u"overview")
        return WorkspacePage{};
    if (raw == u"computer")
        return WorkspacePage{std::nullopt, true};
    if (const auto provider = providerFromRaw(raw))
        return WorkspacePage{provider};
    return std::nullopt;
}

Preferences& Preferences::instance()
{
    static Preferences preferences;
    return preferences;
}

QVariant Preferences::value(const QString& key) const
{
    return store().value(key);
}

void Preferences::setValue(const QString& key, const QVariant& value)
{
    bool same = false;
    {
        QSettings settings = store();
        const QVariant stored = settings.value(key);
        // The INI file hands back text, so compare as text too. Writing what is already stored
        // is no change: listeners restart the refresh loop or re-grab the shortcut on changed().
        same = stored.isValid() &&
               (stored == value || (stored.typeId() == QMetaType::QString && value.canConvert<QString>() &&
                                    stored.toString() == value.toString()));
        settings.setValue(key, value);
    }
    if (!same)
        Q_EMIT changed(key);
}

void Preferences::remove(const QString& key)
{
    QSettings settings = store();
    if (!settings.contains(key))
        return;
    settings.remove(key);
    Q_EMIT changed(key);
}

QString Preferences::text(const QString& key) const
{
    return value(key).toString();
}

bool Preferences::flag(const QString& key) const
{
    const QVariant stored = value(key);
    // INI stores text; only a clear yes counts, so a damaged value reads as the default (off).
    return stored.isValid() && (stored.toString() == u"true" || stored.toString() == u"1");
}

double Preferences::number(const QString& key) const
{
    bool ok = false;
    const double stored = value(key).toDouble(&ok);
    return ok && std::isfinite(stored) ? stored : 0.0;
}

QString Preferences::selectedMenuBadge() const
{
    return text(kSelectedMenuBadge);
}
void Preferences::setSelectedMenuBadge(const QString& id)
{
    setValue(kSelectedMenuBadge, id);
}
QString Preferences::secondaryMenuBadge() const
{
    return text(kSecondaryMenuBadge);
}
void Preferences::setSecondaryMenuBadge(const QString& id)
{
    setValue(kSecondaryMenuBadge, id);
}

MenuBarStyle Preferences::menuBarStyle() const
{
    return menuBarStyleFromRaw(text(kMenuBarStyle)).value_or(MenuBarStyle::Percent);
}
void Preferences::setMenuBarStyle(MenuBarStyle style)
{
    setValue(kMenuBarStyle, rawValue(style));
}

bool Preferences::menuBarMonochrome() const
{
    return flag(kMenuBarMonochrome);
}
void Preferences::setMenuBarMonochrome(bool on)
{
    setValue(kMenuBarMonochrome, on);
}
bool Preferences::badgeShowsCountdown() const
{
    return flag(kBadgeShowsCountdown);
}
void Preferences::setBadgeShowsCountdown(bool on)
{
    setValue(kBadgeShowsCountdown, on);
}

HotKeyPreset Preferences::hotKeyPreset() const
{
    return hotKeyPresetFromRaw(text(kHotKeyPreset)).value_or(HotKeyPreset::Off);
}
void Preferences::setHotKeyPreset(HotKeyPreset preset)
{
    setValue(kHotKeyPreset, rawValue(preset));
}

int Preferences::refreshIntervalMinutes() const
{
    bool ok = false;
    const int minutes = value(kRefreshIntervalMinutes).toInt(&ok);
    return ok ? minutes : 0;
}
void Preferences::setRefreshIntervalMinutes(int minutes)
{
    setValue(kRefreshIntervalMinutes, minutes);
}

QuotaDisplayMode Preferences::quotaDisplayMode() const
{
    return displayModeFromRaw(text(kQuotaDisplayMode));
}
void Preferences::setQuotaDisplayMode(QuotaDisplayMode mode)
{
    setValue(kQuotaDisplayMode, rawValue(mode));
}

bool Preferences::alertsEnabled() const
{
    return flag(kAlertsEnabled);
}
void Preferences::setAlertsEnabled(bool on)
{
    setValue(kAlertsEnabled, on);
}

double Preferences::alertThreshold(AIProvider provider) const
{
    return number(thresholdKey(provider));
}
void Preferences::setAlertThreshold(AIProvider provider, double percent)
{
    setValue(thresholdKey(provider), percent);
}

WorkspacePage Preferences::selectedPage() const
{
    // The popover has no This Computer page; it shows that as a tab.
    const auto page = workspacePageFromRaw(text(kSelectedPage));
    return page && !page->thisComputer ? *page : WorkspacePage{AIProvider::Claude};
}
void Preferences::setSelectedPage(WorkspacePage page)
{
    setValue(kSelectedPage, rawValue(page));
}

AppTab Preferences::selectedTab() const
{
    return appTabFromRaw(text(kSelectedTab)).value_or(AppTab::Models);
}
void Preferences::setSelectedTab(AppTab tab)
{
    setValue(kSelectedTab, rawValue(tab));
}

WorkspacePage Preferences::detailPage() const
{
    return workspacePageFromRaw(text(kDetailPage)).value_or(WorkspacePage{AIProvider::Claude});
}
void Preferences::setDetailPage(WorkspacePage page)
{
    setValue(kDetailPage, rawValue(page));
}

} // namespace tallyvue
