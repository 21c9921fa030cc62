// SPDX-License-Identifier: MIT
#include "views/popover/MenuBarView.h"

#include "insights/Presentation.h"
#include "views/common/Glyphs.h"
#include "views/common/MetricViews.h"
#include "views/common/Widgets.h"
#include "views/local/LocalOverviewView.h"
#include "views/local/ProviderStatsView.h"
#include "views/popover/OverviewView.h"
#include "views/popover/ProviderCards.h"
#include "views/popover/SelectorBar.h"
#include "views/popover/TrendsView.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

namespace {

constexpr int kFadeMs = 150;
constexpr int kSettingsFadeMs = 200;

/// The tab's label; the stored raw value of This Mac stays as it is.
QString tabTitle(AppTab tab)
{
    return tab == AppTab::ThisMac ? u"This Computer"_s : rawValue(tab);
}

QString symbolForTab(AppTab tab)
{
    switch (tab) {
    case AppTab::Models: return u"square.stack.3d.up"_s;
    case AppTab::Stats: return u"chart.bar.fill"_s;
    case AppTab::Trends: return u"chart.xyaxis.line"_s;
    case AppTab::ThisMac: return u"desktopcomputer"_s;
    }
    return {};
}

/// The panel's own mark: the bar glyph in the text colour, like a template image.
class AppMark : public QWidget
{
public:
    explicit AppMark(QWidget* parent = nullptr) : QWidget(parent) { setFixedSize(18, 18); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        drawBarGlyph(painter, QRectF(rect()), style::textColor(Tone::Primary, palette()));
    }
};

void fadeIn(QWidget* widget, QObject* owner, int durationMs = kFadeMs)
{
    auto* effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(0);
    widget->setGraphicsEffect(effect);
    auto* animation = new QPropertyAnimation(effect, "opacity", owner);
    animation->setDuration(durationMs);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    QObject::connect(animation, &QPropertyAnimation::finished, widget,
                     [widget] { widget->setGraphicsEffect(nullptr); });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace

ProviderContent providerContent(AIProvider provider, const UsageState& state)
{
    // A failure shows, with the held values under it as last values: a card would pass them
    // off as current.
    if (state.error(provider))
        return provider == AIProvider::Claude ? ProviderContent::ClaudeError : ProviderContent::Message;
    if (state.hasData(provider))
        return ProviderContent::Card;
    return ProviderContent::Loading;
}

QList<AppTab> availableTabs()
{
    return {AppTab::Models, AppTab::Stats, AppTab::Trends, AppTab::ThisMac};
}

MenuBarView::MenuBarView(QWidget* parent) : QWidget(parent)
{
    setFixedSize(kSize);
    setAttribute(Qt::WA_TranslucentBackground);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Header: mark, name, and on the trailing side the buttons whose targets exist.
    m_refresh = new GlassButton(u"arrow.clockwise"_s, {});
    m_refresh->setObjectName(u"refresh"_s);
    m_refresh->setToolTip(u"Refresh"_s);
    m_refresh->setAccessibleName(u"Refresh"_s);
    connect(m_refresh, &QAbstractButton::clicked, this, [this] { Q_EMIT refreshRequested(true); });
    auto* details = new GlassButton(u"arrow.up.left.and.arrow.down.right"_s, {});
    details->setObjectName(u"details"_s);
    details->setToolTip(u"Open the details window"_s);
    details->setAccessibleName(u"Open the details window"_s);
    connect(details, &QAbstractButton::clicked, this, &MenuBarView::detailsRequested);
    m_settingsButton = new GlassButton(u"gearshape.fill"_s, {});
    m_settingsButton->setObjectName(u"settingsButton"_s);
    m_settingsButton->setToolTip(u"Settings"_s);
    m_settingsButton->setAccessibleName(u"Settings"_s);
    m_settingsButton->setCheckable(true);
    // toggled, not clicked: assistive tools toggle a checkable button without clicking it.
    connect(m_settingsButton, &QAbstractButton::toggled, this, [this](bool on) { setShowingSettings(on); });
    auto* name = new TextLabel(u"Tallyvue"_s, TextStyle::Headline);
    auto* trailing = hbox({nullptr, m_refresh, details, m_settingsButton}, 8);
    trailing->setFixedWidth(140);
    layout->addWidget(band(hbox({new AppMark, name, nullptr, trailing}, 8)));
    layout->addWidget(new Divider);

    QList<SelectorItem> pages = {{u"overview"_s, {}, std::nullopt, u"square.grid.2x2"_s, u"Overview"_s, false}};
    for (AIProvider provider : kAllProviders)
        pages.append({rawValue(provider), rawValue(provider), provider, {}, productName(provider), true});
    m_providers = new SelectorBar(pages, 4, 200);
    m_providers->setObjectName(u"providerSelector"_s);
    setAccessibleGroup(m_providers, QAccessible::PageTabList, u"Provider"_s);
    connect(m_providers, &SelectorBar::activated, this, [](const QString& key) {
        if (const auto page = workspacePageFromRaw(key))
            Preferences::instance().setSelectedPage(*page);
    });
    m_providerBand = band(m_providers);
    layout->addWidget(m_providerBand);

    QList<SelectorItem> tabs;
    for (AppTab tab : availableTabs())
        tabs.append({rawValue(tab), tabTitle(tab), std::nullopt, symbolForTab(tab), tabTitle(tab), false});
    m_tabs = new SelectorBar(tabs, 8, 150);
    m_tabs->setObjectName(u"tabBar"_s);
    setAccessibleGroup(m_tabs, QAccessible::PageTabList, u"Tab"_s);
    connect(m_tabs, &SelectorBar::activated, this, [](const QString& key) {
        if (const auto tab = appTabFromRaw(key))
            Preferences::instance().setSelectedTab(*tab);
    });
    m_tabBand = new QWidget;
    auto* tabColumn = new QVBoxLayout(m_tabBand);
    tabColumn->setContentsMargins(0, 0, 0, 0);
    tabColumn->setSpacing(0);
    tabColumn->addWidget(new Divider);
    tabColumn->addWidget(band(m_tabs));
    layout->addWidget(m_tabBand);
    m_contentDivider = new Divider;
    layout->addWidget(m_contentDivider);

    m_scroll = new ScrollArea;
    m_scroll->setObjectName(u"content"_s);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_scroll->verticalScrollBar()->setStyleSheet(
        u"QScrollBar:vertical { background: transparent; width: 8px; margin: 2px; }"
        "QScrollBar::handle:vertical { background: rgba(128,128,128,110); border-radius: 2px; min-height: 24px; }"
        "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }"_s);
    auto* holder = new QWidget;
    holder->setAutoFillBackground(false);
    m_holder = new QVBoxLayout(holder);
    m_holder->setContentsMargins(12, 12, 12, 12);
    m_scroll->setWidget(holder);
    // setWidget() turns the background on; the panel's own colour shows through instead.
    holder->setAutoFillBackground(false);
    m_scroll->setAccessibleName(u"Page"_s);
    // The scroll bar takes its width from the right margin, so the cards stay centred.
    connect(m_scroll->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            [this](int, int maximum) { m_holder->setContentsMargins(12, 12, maximum > 0 ? 4 : 12, 12); });
    layout->addWidget(m_scroll, 1);
    m_settingsScroll = new ScrollArea;
    m_settingsScroll->setObjectName(u"settingsScroll"_s);
    m_settingsScroll->setFrameShape(QFrame::NoFrame);
    m_settingsScroll->setWidgetResizable(true);
    m_settingsScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_settingsScroll->viewport()->setAutoFillBackground(false);
    m_settingsScroll->verticalScrollBar()->setStyleSheet(m_scroll->verticalScrollBar()->styleSheet());
    m_settingsScroll->setAccessibleName(u"Settings"_s);
    restyleScrollAreas();
    m_settingsScroll->hide();
    layout->addWidget(m_settingsScroll, 1);

    layout->addWidget(new Divider);
    auto* clock = new SymbolLabel(u"clock"_s, symbolSize(TextStyle::Caption2), TextColor::of(Tone::Secondary));
    m_updated = new TextLabel({}, TextStyle::Caption, TextColor::of(Tone::Secondary));
    m_updated->setObjectName(u"updated"_s);
    m_footerUpdated = hbox({clock, m_updated}, 4);
    auto* quit = new GlassButton({}, u"Quit"_s);
    quit->setObjectName(u"quit"_s);
    connect(quit, &QAbstractButton::clicked, this, &MenuBarView::quitRequested);
    m_quit = quit;
    layout->addWidget(band(hbox({m_footerUpdated, nullptr, quit}, 8)));

    connect(&ViewClock::instance(), &ViewClock::ticked, this, [this] {
        if (isVisible())
            updateFooter();
    });
    connect(&Preferences::instance(), &Preferences::changed, this, [this](const QString& key) {
        if (key == u"selectedPage" || key == u"selectedTab" || key == u"quotaDisplayMode") {
            readPreferences();
            render(true);
        }
    });
    readPreferences();
    render(false);
}

QWidget* MenuBarView::band(QWidget* content, int vertical)
{
    auto* wrapper = new QWidget;
    auto* layout = new QVBoxLayout(wrapper);
    layout->setContentsMargins(12, vertical, 12, vertical);
    layout->addWidget(content);
    return wrapper;
}

void MenuBarView::setFramed(bool framed)
{
    m_framed = framed;
    update();
}

void MenuBarView::setRounded(bool rounded)
{
    m_rounded = rounded;
    update();
}

void MenuBarView::setState(const UsageState& state)
{
    m_state = state;
    m_dirty = true;
    if (m_settings && m_showingSettings)
        m_settings->setMetrics(m_state.allMetrics);
    if (isVisible())
        render(false);
}

bool MenuBarView::isTabBarShown() const
{
    return !m_tabBand->isHidden();
}

QString MenuBarView::updatedText() const
{
    return m_footerUpdated->isHidden() ? QString() : m_updated->text();
}

void MenuBarView::readPreferences()
{
    const Preferences& preferences = Preferences::instance();
    m_page = preferences.selectedPage();
    m_tab = preferences.selectedTab();
    if (!availableTabs().contains(m_tab))
        m_tab = availableTabs().first();
    m_dirty = true;
}

void MenuBarView::render(bool animate)
{
    m_dirty = false;
    m_refresh->setSpinning(m_state.isLoading);
    m_providers->setCurrent(rawValue(m_page));
    m_tabs->setCurrent(rawValue(m_tab));
    // A bar with a single tab offers no choice; its band would only take room from the page.
    m_tabBand->setVisible(m_page.provider.has_value() && availableTabs().size() > 1 && !m_showingSettings);

    QString kind;
    if (!m_page.provider) {
        kind = u"overview"_s;
    } else if (m_tab == AppTab::ThisMac) {
        kind = u"local"_s;
    } else if (m_tab == AppTab::Stats && m_state.hasData(*m_page.provider)) {
        kind = u"stats"_s;
    } else if (m_tab == AppTab::Trends && m_state.hasData(*m_page.provider)) {
        kind = u"trends"_s;
    } else {
        switch (providerContent(*m_page.provider, m_state)) {
        case ProviderContent::Card: kind = u"card"_s; break;
        case ProviderContent::ClaudeError: kind = u"error"_s; break;
        case ProviderContent::Message: kind = u"message"_s; break;
        case ProviderContent::Loading: kind = u"loading"_s; break;
        }
    }
    const QString pageKey = m_page.provider ? rawValue(m_page) + u'/' + rawValue(m_tab) : u"overview"_s;
    const QString key = m_page.provider ? pageKey + u'/' + kind : pageKey;
    if (key != m_contentKey || !m_content) {
        const bool pageChanged = pageKey != m_pageKey;
        m_contentKey = key;
        m_pageKey = pageKey;
        swapContent(makeContent(kind), animate && pageChanged && isVisible());
    }
    updateContent(kind);
    updateFooter();
}

QWidget* MenuBarView::makeContent(const QString& kind)
{
    if (kind == u"overview")
        return new OverviewView(true);
    const AIProvider provider = *m_page.provider;
    const QuotaDisplayMode mode = Preferences::instance().quotaDisplayMode();
    if (kind == u"local")
        return new LocalOverviewView(provider, true);
    if (kind == u"stats") {
        auto* stats = new ProviderStatsView(provider, m_localCardExpanded);
        connect(stats, &ProviderStatsView::expandToggled, this, [this, stats] {
            m_localCardExpanded = !m_localCardExpanded;
            stats->setExpanded(m_localCardExpanded);
        });
        return stats;
    }
    if (kind == u"trends")
        return new TrendsView(provider);
    if (kind == u"card") {
        switch (provider) {
        case AIProvider::Claude: {
            auto* card = new UsageCardView(*m_state.usage, m_state.history, mode);
            card->setSourceNote(m_state.sourceNote(AIProvider::Claude, true));
            return card;
        }
        case AIProvider::ChatGPT: {
            auto* card = new CodexUsageView(*m_state.codexUsage, m_state.history, mode);
            card->setSourceNote(m_state.sourceNote(AIProvider::ChatGPT, true));
            return card;
        }
        case AIProvider::Copilot: return new CopilotUsageView(*m_state.copilotUsage, m_state.history, mode);
        }
    }
    if (kind == u"error" || kind == u"message") {
        auto* problem = new ProblemView(provider);
        connect(problem, &ProblemView::retryRequested, this, [this] { Q_EMIT refreshRequested(false); });
        return problem;
    }
    return new LoadingView;
}

void MenuBarView::updateContent(const QString& kind)
{
    const QuotaDisplayMode mode = Preferences::instance().quotaDisplayMode();
    if (auto* overview = qobject_cast<OverviewView*>(m_content)) {
        overview->setState(m_state, mode);
        return;
    }
    if (auto* local = qobject_cast<LocalOverviewView*>(m_content)) {
        local->setState(m_state);
        return;
    }
    if (auto* stats = qobject_cast<ProviderStatsView*>(m_content)) {
        stats->setState(m_state, mode);
        return;
    }
    if (auto* trends = qobject_cast<TrendsView*>(m_content)) {
        trends->setHistory(m_state.history);
        return;
    }
    if (kind == u"card") {
        if (auto* claude = qobject_cast<UsageCardView*>(m_content)) {
            claude->setData(*m_state.usage, m_state.history, mode);
            claude->setSourceNote(m_state.sourceNote(AIProvider::Claude, true));
        } else if (auto* codex = qobject_cast<CodexUsageView*>(m_content)) {
            codex->setData(*m_state.codexUsage, m_state.history, mode);
            codex->setSourceNote(m_state.sourceNote(AIProvider::ChatGPT, true));
        } else if (auto* copilot = qobject_cast<CopilotUsageView*>(m_content)) {
            copilot->setData(*m_state.copilotUsage, m_state.history, mode);
        }
    } else if (auto* problem = qobject_cast<ProblemView*>(m_content)) {
        const AIProvider provider = *m_page.provider;
        problem->setProblem(m_state.error(provider).value_or(QString()), m_state.notice(provider),
                            m_state.lastGoodValues(provider), mode);
    }
}

void MenuBarView::setShowingSettings(bool showing, bool animate)
{
    if (showing == m_showingSettings)
        return;
    m_showingSettings = showing;
    {
        const QSignalBlocker blocker(m_settingsButton);
        m_settingsButton->setChecked(showing);
    }
    if (showing && !m_settings) {
        auto* holder = new QWidget;
        auto* column = new QVBoxLayout(holder);
        column->setContentsMargins(12, 12, 12, 12);
        m_settings = new SettingsView(m_settingsServices);
        column->addWidget(m_settings);
        m_settingsScroll->setWidget(holder);
        holder->setAutoFillBackground(false);
        connect(m_settingsScroll->verticalScrollBar(), &QScrollBar::rangeChanged, column,
                [column](int, int maximum) { column->setContentsMargins(12, 12, maximum > 0 ? 4 : 12, 12); });
    }
    if (showing)
        m_settings->setMetrics(m_state.allMetrics);
    crossFade(showing, animate && isVisible());
}

void MenuBarView::crossFade(bool toSettings, bool animate)
{
    // The band between the header and the footer: a picture of it fades out over the new one.
    const QRect area(0, m_providerBand->y(), width(), m_scroll->geometry().bottom() - m_providerBand->y() + 1);
    QLabel* ghost = nullptr;
    if (animate) {
        const QRect from = toSettings ? area : m_settingsScroll->geometry();
        ghost = new QLabel(this);
        ghost->setPixmap(grab(from));
        ghost->setGeometry(from);
        ghost->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    m_providerBand->setVisible(!toSettings);
    m_tabBand->setVisible(!toSettings && m_page.provider.has_value());
    m_contentDivider->setVisible(!toSettings);
    m_scroll->setVisible(!toSettings);
    m_settingsScroll->setVisible(toSettings);
    if (!ghost)
        return;
    ghost->show();
    ghost->raise();
    auto* effect = new QGraphicsOpacityEffect(ghost);
    ghost->setGraphicsEffect(effect);
    auto* animation = new QPropertyAnimation(effect, "opacity", ghost);
    animation->setDuration(kSettingsFadeMs);
    animation->setStartValue(1.0);
    animation->setEndValue(0.0);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    connect(animation, &QPropertyAnimation::finished, ghost, &QObject::deleteLater);
    animation->start();
    fadeIn(toSettings ? static_cast<QWidget*>(m_settingsScroll) : m_scroll, this, kSettingsFadeMs);
}

void MenuBarView::swapContent(QWidget* next, bool animate)
{
    if (animate && m_content) {
        // The old page stays on top as a picture and fades out while the new one fades in.
        auto* ghost = new QLabel(m_scroll);
        ghost->setPixmap(m_scroll->viewport()->grab());
        ghost->setGeometry(m_scroll->viewport()->geometry());
        ghost->setAttribute(Qt::WA_TransparentForMouseEvents);
        auto* effect = new QGraphicsOpacityEffect(ghost);
        ghost->setGraphicsEffect(effect);
        ghost->show();
        auto* animation = new QPropertyAnimation(effect, "opacity", ghost);
        animation->setDuration(kFadeMs);
        animation->setStartValue(1.0);
        animation->setEndValue(0.0);
        animation->setEasingCurve(QEasingCurve::InOutQuad);
        connect(animation, &QPropertyAnimation::finished, ghost, &QObject::deleteLater);
        animation->start();
    }
    if (m_content) {
        m_holder->removeWidget(m_content);
        m_content->deleteLater();
    }
    m_content = next;
    while (QLayoutItem* item = m_holder->takeAt(0))
        delete item;
    m_holder->addWidget(next);
    m_holder->addStretch(1);
    m_scroll->verticalScrollBar()->setValue(0);
    if (animate)
        fadeIn(next, this);
}

void MenuBarView::updateFooter()
{
    m_footerUpdated->setVisible(m_state.lastUpdated.has_value());
    if (m_state.lastUpdated)
        m_updated->setText(u"Updated "_s + relativeTimeText(*m_state.lastUpdated, viewNow()));
}

void MenuBarView::restyleScrollAreas()
{
    // A scroll area is a Tab stop (arrows and Page Down scroll it): it shows the focus ring too.
    // The border is always there, only coloured with focus, so the page does not shift.
    const QString sheet = u"QScrollArea { background: transparent; border: 2px solid transparent; border-radius: 6px; }"
                          "QScrollArea:focus { border-color: %1; }"_s.arg(style::focusRingColor(palette()).name());
    for (QScrollArea* area : {m_scroll, m_settingsScroll}) {
        if (area->styleSheet() != sheet)
            area->setStyleSheet(sheet);
    }
}

void MenuBarView::keepQuitLast()
{
    // Pages and settings are built after the footer, so their controls would follow Quit: one Space
    // too early would quit. The chain is header, selector, tabs, content, footer.
    QWidget* last = nullptr;
    for (QWidget* widget = nextInFocusChain(); widget && widget != this; widget = widget->nextInFocusChain()) {
        if (widget != m_quit && isAncestorOf(widget) && (widget->focusPolicy() & Qt::TabFocus))
            last = widget;
    }
    if (last && last->nextInFocusChain() != m_quit)
        QWidget::setTabOrder(last, m_quit);
}

bool MenuBarView::focusNextPrevChild(bool next)
{
    keepQuitLast();
    return QWidget::focusNextPrevChild(next);
}

void MenuBarView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    if (!m_framed) {
        painter.fillRect(rect(), style::panelColor(pal));
        return;
    }
    painter.setPen(QPen(style::isDark(pal) ? QColor(255, 255, 255, 36) : QColor(0, 0, 0, 40), 1));
    painter.setBrush(style::panelColor(pal));
    const qreal radius = m_rounded ? 12 : 0;
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

void MenuBarView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_dirty)
        render(false);
    updateFooter();
}

void MenuBarView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        restyleScrollAreas();
        update();
    }
}

} // namespace tallyvue
