// SPDX-License-Identifier: MIT
#include "views/popover/SelectorBar.h"

#include "views/common/Style.h"

#include <QAccessibleWidget>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace tallyvue {

namespace {
constexpr int kIconSize = 14;
constexpr int kHeight = 28;

/// A selector button reads as a page tab, selected or not, in its page tab list.
class SelectorButtonAccessible : public QAccessibleWidget
{
public:
    explicit SelectorButtonAccessible(SelectorButton* button) : QAccessibleWidget(button, QAccessible::PageTab) {}

    SelectorButton* button() const { return static_cast<SelectorButton*>(widget()); }
    QString text(QAccessible::Text t) const override
    {
        const QString own = QAccessibleWidget::text(t);
        return t == QAccessible::Name && own.isEmpty() ? button()->text() : own;
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.selectable = true;
        state.selected = button()->isChecked();
        state.focusable = true;
        return state;
    }
    QStringList actionNames() const override { return {pressAction(), setFocusAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction())
            button()->setChecked(true);
        else if (name == setFocusAction())
            button()->setFocus(Qt::TabFocusReason);
    }
};

QAccessibleInterface* selectorButtonAccessible(const QString&, QObject* object)
{
    auto* button = qobject_cast<SelectorButton*>(object);
    return button ? new SelectorButtonAccessible(button) : nullptr;
}

} // namespace

SelectorButton::SelectorButton(SelectorItem item, QWidget* parent) : QAbstractButton(parent), m_item(std::move(item))
{
    static const bool accessible = (QAccessible::installFactory(selectorButtonAccessible), true);
    Q_UNUSED(accessible);
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setToolTip(m_item.toolTip);
    setAccessibleName(m_item.toolTip);
    setText(m_item.text);
    setFont(style::font(style::TextStyle::Subheadline));
    // A button that does not expand still gives up its padding when the row is short of room
    // (four tabs with a large system font), down to its symbol alone.
    setSizePolicy(m_item.expands ? QSizePolicy::Expanding : QSizePolicy::Maximum, QSizePolicy::Fixed);
}

QSize SelectorButton::minimumSizeHint() const
{
    return {kIconSize + 8, kHeight};
}

QSize SelectorButton::sizeHint() const
{
    QFont bold = font();
    bold.setWeight(QFont::DemiBold);
    const int textWidth = m_item.text.isEmpty() ? 0 : QFontMetrics(bold).horizontalAdvance(m_item.text);
    const int content = kIconSize + (textWidth ? 6 + textWidth : 0);
    return {content + (textWidth ? 20 : 18), kHeight};
}

SelectorButton::Content SelectorButton::content(const QFontMetrics& metrics) const
{
    // Symbol and text when both fit; else the text alone, elided if it must be.
    const int room = width() - 8;
    const int textWidth = m_item.text.isEmpty() ? 0 : metrics.horizontalAdvance(m_item.text);
    if (!textWidth || kIconSize + 6 + textWidth <= room)
        return {true, m_item.text};
    return {false, textWidth > room ? metrics.elidedText(m_item.text, Qt::ElideRight, room) : m_item.text};
}

SelectorButton::Content SelectorButton::shownContent() const
{
    QFont bold = font();
    bold.setWeight(isChecked() ? QFont::DemiBold : QFont::Normal);
    return content(QFontMetrics(bold));
}

void SelectorButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = this->font();
    font.setWeight(isChecked() ? QFont::DemiBold : QFont::Normal);
    const QColor foreground = style::textColor(isChecked() ? style::Tone::Primary : style::Tone::Secondary, palette());
    if (underMouse() && !isChecked()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(style::controlFill(palette(), false, false));
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 7, 7);
    }
    const Content shown = content(QFontMetrics(font));
    const int textWidth = shown.text.isEmpty() ? 0 : QFontMetrics(font).horizontalAdvance(shown.text);
    const int content = (shown.icon ? kIconSize : 0) + (shown.icon && textWidth ? 6 : 0) + textWidth;
    qreal x = (width() - content) / 2.0;
    if (shown.icon) {
        const qreal iconTop = (height() - kIconSize) / 2.0;
        const QPixmap icon = m_item.logo ? style::providerLogo(*m_item.logo, kIconSize, devicePixelRatioF())
                                         : style::symbol(m_item.symbol, kIconSize, foreground, devicePixelRatioF());
        painter.drawPixmap(QPointF(x, iconTop), icon);
        x += kIconSize + 6;
    }
    if (textWidth) {
        painter.setFont(font);
        painter.setPen(foreground);
        painter.drawText(QRectF(x, 0, textWidth + 2, height()), Qt::AlignVCenter | Qt::AlignLeft, shown.text);
    }
    if (m_keyboardFocus && hasFocus())
        style::paintFocusRing(painter, QRectF(rect()), 7, palette());
}

void SelectorButton::focusInEvent(QFocusEvent* event)
{
    // The ring is for keyboard users, not for a click.
    m_keyboardFocus = event->reason() != Qt::MouseFocusReason;
    QAbstractButton::focusInEvent(event);
}

void SelectorButton::focusOutEvent(QFocusEvent* event)
{
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}

SelectorBar::SelectorBar(const QList<SelectorItem>& items, int spacing, int animationMs, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(spacing);
    for (const SelectorItem& item : items) {
        auto* button = new SelectorButton(item);
        button->setAttribute(Qt::WA_Hover);
        button->installEventFilter(this);
        // Acting on toggled() covers a click and assistive tools alike: AT-SPI's "Toggle"
        // calls toggle(), which sends no clicked().
        connect(button, &QAbstractButton::toggled, this, [this, button, key = item.key](bool checked) {
            if (m_settingCurrent)
                return;
            if (!checked) {
                // The selected page stays selected; a selector is never empty.
                if (key == m_current) {
                    m_settingCurrent = true;
                    button->setChecked(true);
                    m_settingCurrent = false;
                }
                return;
            }
            setCurrent(key);
            Q_EMIT activated(key);
        });
        m_buttons.append(button);
        layout->addWidget(button);
    }
    bool anyExpands = false;
    for (const SelectorItem& item : items)
        anyExpands = anyExpands || item.expands;
    if (!anyExpands)
        layout->addStretch(1);
    m_animation.setDuration(animationMs);
    m_animation.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_highlight = value.toRectF();
        update();
    });
}

SelectorButton* SelectorBar::button(const QString& key) const
{
    for (SelectorButton* button : m_buttons) {
        if (button->item().key == key)
            return button;
    }
    return nullptr;
}

void SelectorBar::setCurrent(const QString& key)
{
    if (key == m_current)
        return;
    m_current = key;
    m_settingCurrent = true;
    for (SelectorButton* button : std::as_const(m_buttons))
        button->setChecked(button->item().key == key);
    m_settingCurrent = false;
    updateTabStop();
    const QRectF target = targetRect();
    if (!isVisible() || m_highlight.isNull() || target.isNull()) {
        m_highlight = target;
        update();
        return;
    }
    // The highlight moves as one shape from the old button to the new one.
    m_animation.stop();
    m_animation.setStartValue(m_highlight);
    m_animation.setEndValue(target);
    m_animation.start();
}

void SelectorBar::updateTabStop()
{
    for (SelectorButton* button : std::as_const(m_buttons))
        button->setFocusPolicy(button->item().key == m_current ? Qt::StrongFocus : Qt::ClickFocus);
}

bool SelectorBar::eventFilter(QObject* watched, QEvent* event)
{
    auto* button = qobject_cast<SelectorButton*>(watched);
    if (event->type() != QEvent::KeyPress || !button || m_buttons.isEmpty())
        return QWidget::eventFilter(watched, event);
    const int index = int(m_buttons.indexOf(button));
    int next = -1;
    switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Left: next = index > 0 ? index - 1 : int(m_buttons.size()) - 1; break;
    case Qt::Key_Right: next = (index + 1) % int(m_buttons.size()); break;
    case Qt::Key_Home: next = 0; break;
    case Qt::Key_End: next = int(m_buttons.size()) - 1; break;
    default: return QWidget::eventFilter(watched, event);
    }
    // Moving selects, as in a tab bar.
    SelectorButton* target = m_buttons[next];
    target->setFocus(Qt::TabFocusReason);
    target->setChecked(true);
    return true;
}

QRectF SelectorBar::targetRect() const
{
    const SelectorButton* selected = button(m_current);
    return selected ? QRectF(selected->geometry()) : QRectF();
}

void SelectorBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_animation.stop();
    m_highlight = targetRect();
}

void SelectorBar::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_highlight = targetRect();
}

void SelectorBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(style::cardEdge(palette()), 1));
    painter.setBrush(style::controlFill(palette(), false, false));
    painter.drawRoundedRect(frame, 10, 10);
    if (m_highlight.isNull())
        return;
    const bool dark = style::isDark(palette());
    // A soft shadow under a raised, lighter pill.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, dark ? 60 : 22));
    painter.drawRoundedRect(m_highlight.translated(0, 1), 7, 7);
    painter.setBrush(dark ? QColor(255, 255, 255, 38) : QColor(255, 255, 255));
    painter.setPen(QPen(dark ? QColor(255, 255, 255, 30) : QColor(0, 0, 0, 16), 1));
    painter.drawRoundedRect(m_highlight.adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
}

} // namespace tallyvue
