// SPDX-License-Identifier: MIT
#include "views/details/Sidebar.h"

#include "insights/Trends.h"
#include "views/common/Widgets.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tallyvue {

using style::TextStyle;
using style::Tone;

namespace {

constexpr int kPageRole = Qt::UserRole + 1;

/// The sidebar's name of a page.
QString pageName(const WorkspacePage& page)
{
    if (page.thisComputer)
        return u"This Computer"_s;
    return page.provider ? rawValue(*page.provider) : u"Overview"_s;
}

/// A sidebar row: logo or symbol, name over a caption, and on the trailing side a percent.
class SidebarRow : public QWidget
{
public:
    SidebarRow(const WorkspacePage& page, QWidget* parent = nullptr)
        : QWidget(parent), m_caption(new TextLabel({}, TextStyle::Caption2, TextColor::of(Tone::Tertiary))),
          m_percent(new TextLabel({}, TextStyle::Caption))
    {
        QWidget* icon = page.provider
                            ? static_cast<QWidget*>(new ProviderLogo(*page.provider, 18))
                            : new SymbolLabel(page.thisComputer ? u"desktopcomputer"_s : u"square.grid.2x2"_s, 16);
        icon->setFixedWidth(18);
        auto* name = new TextLabel(pageName(page), TextStyle::Body);
        if (!page.provider)
            m_caption->setTextStyle(TextStyle::Caption);
        if (!page.provider)
            m_caption->setTextColor(TextColor::of(Tone::Secondary));
        m_percent->setTextStyle(TextStyle::Caption, QFont::DemiBold, true);
        auto* column = new QVBoxLayout;
        column->setSpacing(0);
        column->addWidget(name);
        column->addWidget(m_caption);
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(6, 5, 8, 5);
        layout->setSpacing(8);
        layout->addWidget(icon);
        layout->addLayout(column, 1);
        layout->addWidget(m_percent);
        m_percent->hide();
        if (!page.provider)
            m_caption->setText(page.thisComputer ? u"Tokens and API value"_s : u"All providers · this computer"_s);
    }

    void setProviderState(const QList<ProviderMetric>& metrics, QuotaDisplayMode mode)
    {
        m_caption->setText(Trends::limitCountText(metrics.size()));
        const auto top = Trends::highestMetric(metrics);
        m_percent->setVisible(top.has_value());
        if (top) {
            m_percent->setText(top->percentText(mode));
            m_percent->setTextColor(TextColor::usage(top->percent));
        }
    }

    QString caption() const { return m_caption->text(); }
    QString percent() const { return m_percent->isVisible() ? m_percent->text() : QString(); }

private:
    TextLabel* m_caption;
    TextLabel* m_percent;
};

} // namespace

Sidebar::Sidebar(QWidget* parent) : QWidget(parent), m_pages(addList(u"Pages"_s)), m_providers(addList(u"Providers"_s))
{
    setObjectName(u"sidebar"_s);
    addRow(m_pages, WorkspacePage{});
    addRow(m_pages, WorkspacePage{std::nullopt, true});
    for (AIProvider provider : kAllProviders)
        addRow(m_providers, WorkspacePage{provider});

    // Named a heading before it has a text: a text would have it read as plain text for good.
    auto* heading = new TextLabel({}, TextStyle::Caption, TextColor::of(Tone::Secondary));
    setAccessibleGroup(heading, QAccessible::Heading, u"Providers"_s);
    heading->setText(u"Providers"_s);
    heading->setObjectName(u"providersHeading"_s);
    heading->setTextStyle(TextStyle::Caption, QFont::DemiBold);
    heading->setContentsMargins(12, 10, 12, 4);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_pages);
    column->addWidget(heading);
    column->addWidget(m_providers);
    column->addStretch(1);
}

QListWidget* Sidebar::addList(const QString& name)
{
    auto* list = new QListWidget(this);
    list->setAccessibleName(name);
    list->setFrameShape(QFrame::NoFrame);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    list->setStyleSheet(u"QListWidget { background: transparent; outline: none; }"
                        "QListWidget::item { border-radius: 6px; margin: 1px 6px; }"
                        "QListWidget::item:selected { background: rgba(10, 132, 255, 56); }"_s);
    list->installEventFilter(this);
    connect(list, &QListWidget::currentItemChanged, this, &Sidebar::select);
    // Assistive tools select a row without making it current.
    connect(list, &QListWidget::itemSelectionChanged, this, [this, list] {
        if (const QList<QListWidgetItem*> selected = list->selectedItems(); !selected.isEmpty())
            select(selected.first());
    });
    return list;
}

void Sidebar::addRow(QListWidget* list, const WorkspacePage& page)
{
    auto* item = new QListWidgetItem(list);
    item->setData(kPageRole, rawValue(page));
    // The row widget draws the texts; screen readers get them from the item.
    item->setData(Qt::AccessibleTextRole, pageName(page));
    auto* row = new SidebarRow(page);
    item->setSizeHint(row->sizeHint());
    list->setItemWidget(item, row);
    // The list is as tall as its rows, so the heading sits right under the first one.
    int height = 2 * list->frameWidth();
    for (int i = 0; i < list->count(); ++i)
        height += list->sizeHintForRow(i);
    list->setFixedHeight(height);
}

void Sidebar::select(QListWidgetItem* item)
{
    if (const auto page = item ? workspacePageFromRaw(item->data(kPageRole).toString()) : std::nullopt)
        Q_EMIT pageChosen(*page);
}

void Sidebar::setState(const UsageState& state, const WorkspacePage& current, QuotaDisplayMode mode)
{
    // Following the stored page is no choice of the user's.
    const QSignalBlocker pagesBlocker(m_pages);
    const QSignalBlocker providersBlocker(m_providers);
    for (AIProvider provider : kAllProviders) {
        QListWidgetItem* item = row(WorkspacePage{provider});
        auto* sidebarRow = static_cast<SidebarRow*>(m_providers->itemWidget(item));
        sidebarRow->setProviderState(state.metrics(provider), mode);
        const QString percent = sidebarRow->percent();
        const QString spoken =
            rawValue(provider) + u", "_s + sidebarRow->caption() + (percent.isEmpty() ? QString() : u", "_s + percent);
        item->setData(Qt::AccessibleTextRole, spoken);
    }
    // Only the list of the current page is a Tab stop; the arrows reach the other.
    QListWidgetItem* currentItem = row(current);
    for (QListWidget* list : {m_pages, m_providers}) {
        const bool holds = currentItem && currentItem->listWidget() == list;
        if (!holds) {
            list->setCurrentItem(nullptr);
            list->clearSelection();
        } else if (list->currentItem() != currentItem) {
            list->setCurrentItem(currentItem);
        }
        list->setFocusPolicy(holds ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

QListWidgetItem* Sidebar::row(const WorkspacePage& page) const
{
    const QString key = rawValue(page);
    for (QListWidget* list : {m_pages, m_providers}) {
        for (int i = 0; i < list->count(); ++i) {
            if (list->item(i)->data(kPageRole).toString() == key)
                return list->item(i);
        }
    }
    return nullptr;
}

QString Sidebar::caption(AIProvider provider) const
{
    QListWidgetItem* item = row(WorkspacePage{provider});
    return item ? static_cast<SidebarRow*>(m_providers->itemWidget(item))->caption() : QString();
}

void Sidebar::focusCurrent()
{
    (m_providers->currentItem() ? m_providers : m_pages)->setFocus(Qt::OtherFocusReason);
}

bool Sidebar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || (watched != m_pages && watched != m_providers))
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~Qt::KeypadModifier)
        return false;
    // Down past the Overview's list or Up past the first provider crosses the heading; Home and
    // End reach the very first and last rows.
    const auto* list = static_cast<QListWidget*>(watched);
    QListWidget* target = nullptr;
    int targetRow = 0;
    if (list == m_pages && (key->key() == Qt::Key_End ||
                            (key->key() == Qt::Key_Down && list->currentRow() == list->count() - 1))) {
        target = m_providers;
        targetRow = key->key() == Qt::Key_End ? m_providers->count() - 1 : 0;
    } else if (list == m_providers &&
               (key->key() == Qt::Key_Home || (key->key() == Qt::Key_Up && list->currentRow() == 0))) {
        target = m_pages;
        targetRow = key->key() == Qt::Key_Home ? 0 : m_pages->count() - 1;
    }
    if (!target)
        return false;
    target->setFocus(Qt::TabFocusReason);
    target->setCurrentRow(targetRow);
    return true;
}

} // namespace tallyvue
