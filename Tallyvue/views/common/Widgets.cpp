// SPDX-License-Identifier: MIT
#include "views/common/Widgets.h"

#include <QAccessibleWidget>
#include <QDateTime>
#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue {

namespace {

bool isPaletteEvent(const QEvent* event)
{
    return event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange;
}

} // namespace

namespace {
const char* const kAccessibleRole = "tallyvueAccessibleRole";

QAccessibleInterface* groupAccessible(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    const QVariant role = widget ? widget->property(kAccessibleRole) : QVariant();
    return role.isValid() ? new QAccessibleWidget(widget, QAccessible::Role(role.toInt())) : nullptr;
}
} // namespace

namespace {

/// A GlassButton is a push button; a checkable one (the gear) stays pressed while on. Qt's own
/// reading of a checkable button is a check box.
class GlassButtonAccessible : public QAccessibleWidget
{
public:
    explicit GlassButtonAccessible(QAbstractButton* button) : QAccessibleWidget(button, QAccessible::Button) {}

    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }
    QString text(QAccessible::Text t) const override
    {
        const QString own = QAccessibleWidget::text(t);
        return t == QAccessible::Name && own.isEmpty() ? button()->text() : own;
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = button()->isCheckable();
        state.checked = button()->isChecked();
        state.pressed = button()->isChecked() || button()->isDown();
        return state;
    }
    QStringList actionNames() const override
    {
        return button()->isCheckable() ? QStringList{toggleAction(), pressAction()} : QStringList{pressAction()};
    }
    void doAction(const QString& name) override
    {
        if (!button()->isEnabled())
            return;
        if (button()->isCheckable() && (name == toggleAction() || name == pressAction()))
            button()->toggle();
        else if (name == pressAction())
            button()->animateClick();
    }
};

QAccessibleInterface* glassButtonAccessible(const QString&, QObject* object)
{
    auto* button = qobject_cast<GlassButton*>(object);
    return button ? new GlassButtonAccessible(button) : nullptr;
}

/// Reads a scroll area as Qt does (the viewport, then the scroll bars and the corner that show), but
/// answers nothing for an index past the end: Qt 6.4's own reading does not check it, and a client
/// that counted the children before a scroll bar hid then made it read a stray pointer.
class ScrollAreaAccessible : public QAccessibleWidget
{
public:
    explicit ScrollAreaAccessible(QScrollArea* area) : QAccessibleWidget(area, QAccessible::Client) {}

    int childCount() const override { return int(parts().size()); }
    QAccessibleInterface* child(int index) const override
    {
        return QAccessible::queryAccessibleInterface(parts().value(index));
    }
    int indexOfChild(const QAccessibleInterface* item) const override
    {
        QObject* object = item ? item->object() : nullptr;
        return object && object->isWidgetType() ? int(parts().indexOf(static_cast<QWidget*>(object))) : -1;
    }

private:
    QWidgetList parts() const
    {
        const auto* area = static_cast<const QScrollArea*>(widget());
        QWidgetList list;
        if (QWidget* viewport = area->viewport())
            list.append(viewport);
        for (const QScrollBar* bar : {area->horizontalScrollBar(), area->verticalScrollBar()}) {
            if (bar && bar->isVisible())
                list.append(bar->parentWidget());
        }
        if (QWidget* corner = area->cornerWidget(); corner && corner->isVisible())
            list.append(corner);
        return list;
    }
};

QAccessibleInterface* scrollAreaAccessible(const QString& className, QObject* object)
{
    auto* area = className == u"tallyvue::ScrollArea" ? qobject_cast<ScrollArea*>(object) : nullptr;
    return area ? new ScrollAreaAccessible(area) : nullptr;
}

} // namespace

void setAccessibleGroup(QWidget* widget, QAccessible::Role role, const QString& name)
{
    static const bool installed = (QAccessible::installFactory(groupAccessible), true);
    Q_UNUSED(installed);
    widget->setProperty(kAccessibleRole, int(role));
    widget->setAccessibleName(name);
}

TextColor TextColor::accent(style::Accent accent)
{
    return {std::nullopt, [accent](const QPalette& palette) { return style::accentColor(accent, palette); }};
}

TextColor TextColor::usage(double usedPercent)
{
    return {std::nullopt, [usedPercent](const QPalette& palette) { return style::usageColor(usedPercent, palette); }};
}

TextColor TextColor::caption(CaptionTone tone)
{
    return {std::nullopt, [tone](const QPalette& palette) { return style::captionColor(tone, palette); }};
}

QColor TextColor::resolve(const QPalette& palette) const
{
    if (tone)
        return style::textColor(*tone, palette);
    return rule ? rule(palette) : palette.color(QPalette::WindowText);
}

TextLabel::TextLabel(const QString& text, style::TextStyle textStyle, TextColor color, QWidget* parent)
    : QLabel(text, parent), m_color(std::move(color))
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setFont(style::font(textStyle));
    applyColor();
}

void TextLabel::setTextColor(TextColor color)
{
    m_color = std::move(color);
    applyColor();
}

QColor TextLabel::textColor() const
{
    return palette().color(QPalette::WindowText);
}

void TextLabel::setTextStyle(style::TextStyle textStyle, QFont::Weight weight, bool monospacedDigits)
{
    setFont(style::font(textStyle, weight, monospacedDigits));
}

void TextLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (isPaletteEvent(event) && !m_applying)
        applyColor();
}

void TextLabel::applyColor()
{
    // Our own colour is derived from the inherited one (Text stays untouched), so a theme
    // change reaches us and we follow it.
    QPalette base = palette();
    base.setColor(QPalette::WindowText, base.color(QPalette::Text));
    const QColor wanted = m_color.resolve(base);
    if (palette().color(QPalette::WindowText) == wanted)
        return;
    m_applying = true;
    // Only this one role becomes our own; a copy of palette() would pin every role the
    // application palette sets, and the label would stop following theme changes.
    QPalette own;
    own.setResolveMask(0);
    own.setColor(QPalette::WindowText, wanted);
    setPalette(own);
    m_applying = false;
}

SymbolLabel::SymbolLabel(const QString& name, int logicalSize, TextColor color, QWidget* parent)
    : QLabel(parent), m_name(name), m_size(logicalSize), m_color(std::move(color))
{
    setFixedSize(logicalSize, logicalSize);
    render();
}

void SymbolLabel::setSymbol(const QString& name, TextColor color)
{
    m_name = name;
    m_color = std::move(color);
    render();
}

void SymbolLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (isPaletteEvent(event) || event->type() == QEvent::ScreenChangeInternal)
        render();
}

void SymbolLabel::render()
{
    QPalette base = palette();
    setPixmap(style::symbol(m_name, m_size, m_color.resolve(base), devicePixelRatioF()));
}

ProviderLogo::ProviderLogo(AIProvider provider, int side, QWidget* parent)
    : QLabel(parent), m_provider(provider), m_side(side)
{
    setFixedSize(side, side);
    setPixmap(style::providerLogo(provider, side, devicePixelRatioF()));
}

void ProviderLogo::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::ScreenChangeInternal)
        setPixmap(style::providerLogo(m_provider, m_side, devicePixelRatioF()));
}

Card::Card(int spacing, QWidget* parent) : QFrame(parent), m_body(new QVBoxLayout(this))
{
    m_body->setContentsMargins(12, 12, 12, 12);
    m_body->setSpacing(spacing);
}

void Card::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    style::paintCard(painter, rect(), palette());
}

Divider::Divider(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QColor color = style::textColor(style::Tone::Primary, palette());
    color.setAlphaF(style::isDark(palette()) ? 0.12f : 0.10f);
    painter.fillRect(rect(), color);
}

GlassButton::GlassButton(const QString& symbolName, const QString& text, QWidget* parent)
    : QAbstractButton(parent), m_symbol(symbolName)
{
    setText(text);
    static const bool accessible = (QAccessible::installFactory(glassButtonAccessible), true);
    Q_UNUSED(accessible);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setFont(style::font(style::TextStyle::Subheadline, QFont::Medium));
    setAttribute(Qt::WA_Hover);
}

void GlassButton::setProminent(bool prominent)
{
    m_prominent = prominent;
    update();
}

void GlassButton::setSpinning(bool spinning)
{
    if (spinning == m_spinning)
        return;
    m_spinning = spinning;
    if (spinning) {
        m_spinStart = QDateTime::currentMSecsSinceEpoch();
        m_spinTimer = startTimer(16, Qt::PreciseTimer);
    } else {
        killTimer(m_spinTimer);
        m_spinTimer = 0;
        m_angle = 0;
    }
    update();
}

void GlassButton::timerEvent(QTimerEvent* event)
{
    // Other timers are the button's own: animateClick(), which assistive tools' "Press" uses.
    if (event->timerId() != m_spinTimer) {
        QAbstractButton::timerEvent(event);
        return;
    }
    // One full turn per second, linear, for as long as it spins.
    const qint64 elapsed = QDateTime::currentMSecsSinceEpoch() - m_spinStart;
    m_angle = double(elapsed % 1000) / 1000.0 * 360.0;
    update();
}

QSize GlassButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int iconSize = 15;
    int width = 0;
    if (!m_symbol.isEmpty())
        width += iconSize;
    if (!text().isEmpty())
        width += (width ? 6 : 0) + metrics.horizontalAdvance(text());
    const int height = 28;
    return {text().isEmpty() ? height : width + 24, height};
}

void GlassButton::focusInEvent(QFocusEvent* event)
{
    // The ring is for keyboard users; a window that just opened gives focus without asking.
    m_keyboardFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
}

void GlassButton::focusOutEvent(QFocusEvent* event)
{
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}

void GlassButton::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
        animateClick();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void GlassButton::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void GlassButton::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void GlassButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = frame.height() / 2;
    QColor foreground = style::textColor(style::Tone::Primary, pal);
    if (m_prominent) {
        QColor fill = style::accentColor(style::Accent::Blue, pal);
        if (isDown())
            fill = fill.darker(115);
        else if (m_hovered)
            fill = fill.lighter(108);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        foreground = Qt::white;
    } else {
        painter.setPen(QPen(style::cardEdge(pal), 1));
        painter.setBrush(style::controlFill(pal, m_hovered, isDown() || isChecked()));
    }
    painter.drawRoundedRect(frame, radius, radius);
    if (m_keyboardFocus && hasFocus())
        style::paintFocusRing(painter, frame, radius, pal);

    const int iconSize = 15;
    const QFontMetrics metrics(font());
    const int textWidth = text().isEmpty() ? 0 : metrics.horizontalAdvance(text());
    const int contentWidth =
        (m_symbol.isEmpty() ? 0 : iconSize) + (m_symbol.isEmpty() || !textWidth ? 0 : 6) + textWidth;
    qreal x = (width() - contentWidth) / 2.0;
    if (!m_symbol.isEmpty()) {
        const QPixmap icon = style::symbol(m_symbol, iconSize, foreground, devicePixelRatioF());
        const QPointF centre(x + iconSize / 2.0, height() / 2.0);
        painter.save();
        painter.translate(centre);
        painter.rotate(m_angle);
        painter.drawPixmap(QPointF(-iconSize / 2.0, -iconSize / 2.0), icon);
        painter.restore();
        x += iconSize + 6;
    }
    if (textWidth) {
        painter.setPen(foreground);
        painter.setFont(font());
        painter.drawText(QRectF(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    }
}

ScrollArea::ScrollArea(QWidget* parent) : QScrollArea(parent)
{
    static const bool accessible = (QAccessible::installFactory(scrollAreaAccessible), true);
    Q_UNUSED(accessible);
}

QWidget* hbox(std::initializer_list<QWidget*> widgets, int spacing, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* widget : widgets) {
        if (widget)
            layout->addWidget(widget);
        else
            layout->addStretch(1);
    }
    return row;
}

} // namespace tallyvue
