// SPDX-License-Identifier: MIT
#include "views/details/DetailWindowView.h"

#include "model/Log.h"
#include "model/SafeFile.h"
#include "views/charts/DailySummaryChart.h"
#include "views/charts/RangePicker.h"
#include "views/charts/UsageHistoryChart.h"
#include "views/common/MetricViews.h"
#include "views/common/Widgets.h"
#include "views/details/ComputerPage.h"
#include "views/details/MetricGaugeCard.h"
#include "views/details/ProviderPage.h"
#include "views/details/SaveDialog.h"
#include "views/details/Sidebar.h"
#include "views/details/SnapshotTable.h"
#include "views/popover/OverviewView.h"
#include "views/popover/ProviderCards.h"

#include <QAction>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

namespace {

QString pageTitle(const WorkspacePage& page)
{
    if (page.thisComputer)
        return u"This Computer"_s;
    return page.provider ? productName(*page.provider) : u"Overview"_s;
}

} // namespace

DetailWindowView::DetailWindowView(QWidget* parent)
    : QMainWindow(parent), m_sidebar(new Sidebar), m_scroll(new ScrollArea), m_title(new QLabel)
{
    setObjectName(u"details"_s);
    setWindowTitle(u"Tallyvue Details"_s);
    setWindowIcon(style::appIcon());
    setMinimumSize(kMinimumSize);
    resize(kDefaultSize);

    auto* toolbar = addToolBar(u"Toolbar"_s);
    toolbar->setObjectName(u"toolbar"_s);
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    // Escape closes the window as it closes a dialog; a menu or message box on top takes it first.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    m_title->setObjectName(u"pageTitle"_s);
    m_title->setFont(style::font(TextStyle::Title3, QFont::DemiBold));
    m_title->setContentsMargins(8, 0, 8, 0);
    toolbar->addWidget(m_title);
    auto* spacer = new QWidget;
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);

    m_refresh = new QAction(u"Refresh"_s, this);
    m_refresh->setObjectName(u"refreshAction"_s);
    m_refresh->setShortcut(QKeySequence::Refresh);
    connect(m_refresh, &QAction::triggered, this, [this] {
        Q_EMIT refreshRequested(true);
        if (auto* computer = qobject_cast<ComputerPage*>(m_content))
            computer->load();
    });
    toolbar->addAction(m_refresh);

    auto* menu = new QMenu(u"History"_s, this);
    m_export = menu->addAction(u"Export History as CSV…"_s, this, &DetailWindowView::exportHistory);
    m_export->setObjectName(u"exportAction"_s);
    menu->addSeparator();
    m_clear = menu->addAction(u"Clear History…"_s, this, &DetailWindowView::confirmClear);
    m_clear->setObjectName(u"clearAction"_s);
    auto* history = new QToolButton;
    history->setObjectName(u"historyMenu"_s);
    history->setText(u"History"_s);
    history->setAccessibleName(u"History"_s);
    history->setAccessibleDescription(u"Opens the history menu: export or clear"_s);
    history->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // Opened on a click rather than through setMenu(): a menu button's "ShowMenu" action does
    // nothing for an instant popup, while "Press" and Space both come here.
    connect(history, &QToolButton::clicked, menu, [history, menu] {
        menu->popup(history->mapToGlobal(QPoint(0, history->height())));
        // Opened from the keyboard, the first entry is lit, so Return chooses it as in any menu.
        if (history->hasFocus() && !history->underMouse())
            menu->setActiveAction(menu->actions().constFirst());
    });
    toolbar->addWidget(history);
    m_historyButton = history;

    connect(m_sidebar, &Sidebar::pageChosen, this, [this](const WorkspacePage& page) {
        if (page != m_page)
            Preferences::instance().setDetailPage(page);
    });

    m_scroll->setObjectName(u"detailColumn"_s);
    m_scroll->setAccessibleName(u"Page"_s);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* split = new QWidget;
    auto* row = new QHBoxLayout(split);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    m_sidebar->setFixedWidth(210);
    row->addWidget(m_sidebar);
    auto* edge = new QFrame;
    edge->setFrameShape(QFrame::VLine);
    edge->setFrameShadow(QFrame::Plain);
    edge->setStyleSheet(u"color: rgba(128,128,128,60);"_s);
    row->addWidget(edge);
    row->addWidget(m_scroll, 1);
    setCentralWidget(split);

    connect(&Preferences::instance(), &Preferences::changed, this, [this](const QString& key) {
        if (key == u"detailPage" || key == u"quotaDisplayMode") {
            readPage();
            m_dirty = true;
            if (isVisible())
                render();
        }
    });
    // "Updated … ago" moves on the popover's tick, so the two always read the same.
    connect(&ViewClock::instance(), &ViewClock::ticked, this, [this] {
        auto* updated = m_content ? m_content->findChild<TextLabel*>(u"updated"_s) : nullptr;
        if (isVisible() && updated && m_state.lastUpdated)
            updated->setText(u"Updated "_s + relativeTimeText(*m_state.lastUpdated, viewNow()));
    });
    readPage();
    restyleToolbar();
}

void DetailWindowView::readPage()
{
    m_page = Preferences::instance().detailPage();
}

void DetailWindowView::setState(const UsageState& state)
{
    m_state = state;
    m_dirty = true;
    if (isVisible())
        render();
}

QRect DetailWindowView::fittedGeometry(const QRect& frame, const QRect& available)
{
    const QSize size = frame.size().boundedTo(available.size());
    const int x = std::clamp(frame.x(), available.left(), available.right() + 1 - size.width());
    const int y = std::clamp(frame.y(), available.top(), available.bottom() + 1 - size.height());
    return {QPoint(x, y), size};
}

void DetailWindowView::present()
{
    // At a large scale the default size can exceed a small screen, its close button off it.
    if (QScreen* display = screen(); display && !isVisible()) {
        const QRect available = display->availableGeometry();
        // Before the first showing the frame is not known yet; allow for a usual title bar.
        const QMargins frame =
            frameGeometry() != geometry()
                ? QMargins(geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
                           frameGeometry().right() - geometry().right(), frameGeometry().bottom() - geometry().bottom())
                : QMargins(4, 32, 4, 4);
        const QRect room = available.marginsRemoved(frame);
        setMinimumSize(kMinimumSize.boundedTo(room.size()));
        setGeometry(fittedGeometry(geometry(), room));
    }
    // A reopened window starts at the sidebar, not wherever focus was when it closed.
    const bool reopening = !isVisible();
    if (isMinimized())
        showNormal();
    else
        show();
    if (reopening)
        m_sidebar->focusCurrent();
    raise();
    activateWindow();
}

void DetailWindowView::render()
{
    m_dirty = false;
    m_title->setText(pageTitle(m_page));
    m_sidebar->setState(m_state, m_page, Preferences::instance().quotaDisplayMode());
    const QuotaDisplayMode mode = Preferences::instance().quotaDisplayMode();
    const QString key = rawValue(m_page);
    if (key != m_contentKey || !m_content) {
        m_contentKey = key;
        auto* holder = new QWidget;
        auto* layout = new QVBoxLayout(holder);
        layout->setContentsMargins(18, 18, 18, 18);
        if (m_page.thisComputer) {
            auto* computer = new ComputerPage;
            layout->addWidget(computer);
            computer->load();
        } else if (m_page.provider) {
            layout->addWidget(
                new ProviderPage(*m_page.provider, m_range, [this](TrendRange range) { m_range = range; }));
        } else {
            layout->addWidget(new OverviewView(false));
            layout->addStretch(1);
        }
        delete m_scroll->takeWidget();
        m_scroll->setWidget(holder);
        m_content = holder->findChild<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    }
    if (auto* provider = dynamic_cast<ProviderPage*>(m_content.data()))
        provider->setState(m_state, mode);
    else if (auto* overview = qobject_cast<OverviewView*>(m_content))
        overview->setState(m_state, mode);
}

void DetailWindowView::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_dirty)
        render();
}

void DetailWindowView::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        restyleToolbar();
}

void DetailWindowView::restyleToolbar()
{
    const QColor color = style::textColor(Tone::Primary, palette());
    m_refresh->setIcon(QIcon(style::symbol(u"arrow.clockwise"_s, 16, color, devicePixelRatioF())));
    m_historyButton->setIcon(QIcon(style::symbol(u"ellipsis.circle"_s, 16, color, devicePixelRatioF())));
}

bool DetailWindowView::writeHistoryCsv(const QString& path)
{
    const auto csv = HistoryStore::exportCSV();
    const std::optional<QString> error = csv ? safefile::writeFileAtomically(path, *csv) : std::optional(csv.error());
    if (!error)
        return true;
    log(u"CSV export failed: "_s + *error);
    return false;
}

void DetailWindowView::exportHistory()
{
    const SaveRequest request{
        u"Export History as CSV"_s, u"tallyvue-history.csv"_s, u"CSV"_s, {u"*.csv"_s}, u"text/csv"_s};
    askSaveLocation(this, request, [](std::optional<QString> path) {
        if (path)
            writeHistoryCsv(*path);
    });
}

void DetailWindowView::confirmClear()
{
    auto* box = new QMessageBox(this);
    box->setObjectName(u"confirmClear"_s);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(u"Clear all recorded history?"_s);
    box->setText(u"Clear all recorded history?"_s);
    box->setInformativeText(u"Trends, projections and daily summaries start over. This cannot be undone."_s);
    QPushButton* clear = box->addButton(u"Clear History"_s, QMessageBox::DestructiveRole);
    clear->setObjectName(u"clearHistory"_s);
    box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Cancel);
    connect(box, &QMessageBox::finished, this, [this, box, clear] {
        if (box->clickedButton() == clear)
            Q_EMIT clearHistoryRequested();
    });
    box->open();
}

} // namespace tallyvue
