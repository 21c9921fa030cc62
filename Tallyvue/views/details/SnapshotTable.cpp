// SPDX-License-Identifier: MIT
#include "views/details/SnapshotTable.h"

#include "views/common/Style.h"
#include "views/common/UsageState.h"
#include "views/common/Widgets.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPainter>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

namespace {
constexpr int kTimeColumnWidth = 140;
constexpr int kTableHeight = 260;
} // namespace

SnapshotTableModel::SnapshotTableModel(QObject* parent) : QAbstractTableModel(parent)
{
}

void SnapshotTableModel::setData(SnapshotTableData data, QuotaDisplayMode mode)
{
    beginResetModel();
    m_data = std::move(data);
    m_mode = mode;
    endResetModel();
}

int SnapshotTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_data.rows.size());
}

int SnapshotTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_data.columns.size()) + 1;
}

QVariant SnapshotTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_data.rows.size())
        return {};
    const UsageSnapshot& row = m_data.rows[index.row()];
    if (index.column() == 0) {
        if (role == Qt::DisplayRole)
            return Trends::readoutDateText(row.timestamp);
        if (role == Qt::FontRole)
            return style::font(TextStyle::Caption, QFont::Normal, true);
        return {};
    }
    const DailySeries& column = m_data.columns[index.column() - 1];
    switch (role) {
    case Qt::DisplayRole: return Trends::snapshotCellText(row, column, m_mode);
    case Qt::FontRole: return style::font(TextStyle::Caption, QFont::Normal, true);
    case Qt::ForegroundRole: {
        const QPalette palette = QGuiApplication::palette();
        const auto point = HistoryStore::point(row, column.key);
        return point ? style::usageColor(point->percent, palette) : style::textColor(Tone::Tertiary, palette);
    }
    case Qt::TextAlignmentRole: return int(Qt::AlignLeft | Qt::AlignVCenter);
    default: return {};
    }
}

QVariant SnapshotTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return section == 0 ? u"Time"_s : m_data.columns.value(section - 1).label;
    if (role == Qt::FontRole)
        return style::font(TextStyle::Caption, QFont::DemiBold);
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

SnapshotTable::SnapshotTable(QWidget* parent)
    : QFrame(parent), m_model(new SnapshotTableModel(this)), m_toggle(new QToolButton),
      m_count(new TextLabel({}, TextStyle::Caption, TextColor::of(Tone::Secondary))),
      m_empty(new TextLabel(u"No snapshots in this range."_s, TextStyle::Body, TextColor::of(Tone::Secondary))),
      m_view(new QTableView)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);

    auto* toggle = static_cast<QToolButton*>(m_toggle);
    toggle->setObjectName(u"snapshotsToggle"_s);
    toggle->setText(u"Snapshots"_s);
    toggle->setCheckable(true);
    toggle->setChecked(true);
    toggle->setAutoRaise(true);
    toggle->setStyleSheet(u"QToolButton { border: none; background: transparent; padding: 0; }"_s);
    toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toggle->setFont(style::font(TextStyle::Headline));
    toggle->setCursor(Qt::PointingHandCursor);
    // Toggled, not clicked: assistive tools fold it too.
    connect(toggle, &QAbstractButton::toggled, this, [this] { showContent(); });
    m_count->setObjectName(u"snapshotCount"_s);
    layout->addWidget(hbox({toggle, nullptr, m_count}, 8));

    m_empty->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(m_empty);

    m_view->setObjectName(u"snapshotTable"_s);
    m_view->setAccessibleName(u"Snapshots"_s);
    m_view->setModel(m_model);
    m_view->setFixedHeight(kTableHeight);
    m_view->setShowGrid(false);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setSelectionMode(QAbstractItemView::NoSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // One Tab stop: arrows move between the cells, Tab leaves the table.
    m_view->setFocusPolicy(Qt::StrongFocus);
    m_view->setTabKeyNavigation(false);
    m_view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_view->verticalHeader()->hide();
    // Fixed row heights keep a two-week table (thousands of rows) instant to lay out.
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(QFontMetrics(style::font(TextStyle::Caption)).height() + 6);
    m_view->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_view->horizontalHeader()->setHighlightSections(false);
    m_view->viewport()->setAutoFillBackground(false);
    layout->addWidget(m_view);
    restyle();
    showContent();
}

void SnapshotTable::setData(const QList<UsageSnapshot>& history, TrendRange range, QuotaDisplayMode mode,
                            std::optional<AIProvider> provider)
{
    m_model->setData(Trends::snapshotTable(history, range, viewNow(), provider), mode);
    m_count->setText(countText());
    m_toggle->setAccessibleName(u"Snapshots, "_s + countText());
    auto* header = m_view->horizontalHeader();
    if (header->count() > 0) {
        header->setSectionResizeMode(0, QHeaderView::Fixed);
        header->resizeSection(0, kTimeColumnWidth);
    }
    showContent();
}

QString SnapshotTable::countText() const
{
    return QString::number(m_model->rowCount()) + u" in range"_s;
}

void SnapshotTable::setExpanded(bool expanded)
{
    m_toggle->setChecked(expanded);
}

bool SnapshotTable::isExpanded() const
{
    return m_toggle->isChecked();
}

void SnapshotTable::showContent()
{
    const bool expanded = m_toggle->isChecked();
    const QColor color = style::textColor(Tone::Secondary, palette());
    m_toggle->setIcon(
        QIcon(style::symbol(expanded ? u"chevron.down"_s : u"chevron.right"_s, 12, color, devicePixelRatioF())));
    const bool empty = m_model->rowCount() == 0;
    m_empty->setVisible(expanded && empty);
    m_view->setVisible(expanded && !empty);
}

void SnapshotTable::restyle()
{
    const QPalette& pal = palette();
    const QColor header = style::textColor(Tone::Secondary, pal);
    m_view->setStyleSheet(u"QTableView { background: transparent; }"
                          "QHeaderView::section { background: transparent; border: none; padding: 2px 4px; color: %1; }"
                          "QTableView::item { padding: 0 4px; }"_s.arg(header.name(QColor::HexArgb)));
}

void SnapshotTable::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    style::paintCard(painter, rect(), palette());
}

void SnapshotTable::changeEvent(QEvent* event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        restyle();
        showContent();
    }
}

} // namespace tallyvue
