// SPDX-License-Identifier: MIT
#pragma once

#include "model/Preferences.h"
#include "views/common/UsageState.h"
#include "views/settings/SettingsView.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QAbstractButton;
class QScrollArea;
class QVBoxLayout;

namespace tallyvue {

class GlassButton;
class SelectorBar;
class TextLabel;
class SymbolLabel;

/// What a provider page's Models tab shows for the state at hand.
enum class ProviderContent { Card, ClaudeError, Message, Loading };
ProviderContent providerContent(AIProvider provider, const UsageState& state);

/// The tabs this build has; a stored tab that is not among them shows the first.
QList<AppTab> availableTabs();

/**
 * The popover's content: header with the refresh button, the provider selector, the tab bar,
 * the page (a provider's state view or the overview) and the footer with "Updated" and "Quit".
 * It remembers the page and tab in the preferences and draws only while it is shown.
 */
class MenuBarView : public QWidget
{
    Q_OBJECT

public:
    static constexpr QSize kSize{380, 520};

    explicit MenuBarView(QWidget* parent = nullptr);

    void setState(const UsageState& state);
    const UsageState& state() const { return m_state; }
    /// Round corners and an edge of its own (off inside an ordinary window).
    void setFramed(bool framed);
    /// Square corners for a framed panel where see-through corners would show black.
    void setRounded(bool rounded);

    WorkspacePage page() const { return m_page; }
    AppTab tab() const { return m_tab; }
    /// The page's content widget now shown, and what it is ("Claude/Models/card", "overview").
    QWidget* content() const { return m_content; }
    QString contentKey() const { return m_contentKey; }
    /// The footer's text, empty while hidden.
    QString updatedText() const;
    GlassButton* refreshButton() const { return m_refresh; }
    SelectorBar* providerSelector() const { return m_providers; }
    SelectorBar* tabBar() const { return m_tabs; }
    bool isTabBarShown() const;

    /// The settings panel in place of the selector and the page (the footer stays).
    bool isShowingSettings() const { return m_showingSettings; }
    void setShowingSettings(bool showing, bool animate = true);
    /// Built the first time settings are shown.
    SettingsView* settingsView() const { return m_settings; }
    GlassButton* settingsButton() const { return m_settingsButton; }
    /// What the settings panel uses for autostart, version texts and updates.
    void setSettingsServices(SettingsServices services) { m_settingsServices = std::move(services); }

Q_SIGNALS:
    void refreshRequested(bool force);
    void quitRequested();
    /// The header's details button: open (or raise) the details window.
    void detailsRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    /// Moves the footer's Quit after every control of the page and of settings, which are built later.
    void keepQuitLast();
    void restyleScrollAreas();
    QWidget* band(QWidget* content, int vertical = 8);
    void readPreferences();
    void render(bool animate);
    QWidget* makeContent(const QString& kind);
    void updateContent(const QString& kind);
    void swapContent(QWidget* next, bool animate);
    void updateFooter();
    void crossFade(bool toSettings, bool animate);

    UsageState m_state;
    WorkspacePage m_page;
    AppTab m_tab = AppTab::Models;
    bool m_framed = true;
    bool m_rounded = true;
    bool m_dirty = true;
    /// The Stats tab's local card, expanded or not, for as long as the popover lives.
    bool m_localCardExpanded = false;

    GlassButton* m_refresh;
    GlassButton* m_settingsButton;
    bool m_showingSettings = false;
    SettingsServices m_settingsServices = SettingsServices::platform();
    QScrollArea* m_settingsScroll = nullptr;
    SettingsView* m_settings = nullptr;
    QWidget* m_providerBand;
    QWidget* m_contentDivider;
    SelectorBar* m_providers;
    QWidget* m_tabBand;
    SelectorBar* m_tabs;
    QScrollArea* m_scroll;
    QVBoxLayout* m_holder;
    QPointer<QWidget> m_content;
    QString m_contentKey;
    QString m_pageKey;
    QWidget* m_footerUpdated;
    QAbstractButton* m_quit;
    TextLabel* m_updated;
};

} // namespace tallyvue
