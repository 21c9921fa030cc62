// SPDX-License-Identifier: MIT
#include "views/common/ToggleSwitch.h"

#include "views/common/Style.h"

#include <QFocusEvent>
#include <QPainter>
#include <QSignalBlocker>

namespace tallyvue {

namespace {
constexpr QSize kSize{34, 20};
} // namespace

ToggleSwitch::ToggleSwitch(const QString& name, QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setAccessibleName(name);
    setToolTip(name);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_knob.setDuration(120);
    m_knob.setEasingCurve(QEasingCurve::InOutQuad);
    m_knob.setStartValue(0.0);
    m_knob.setEndValue(0.0);
    connect(&m_knob, &QVariantAnimation::valueChanged, this, [this] { update(); });
}

void ToggleSwitch::setCheckedQuietly(bool on)
{
    const QSignalBlocker blocker(this);
    setChecked(on);
}

QSize ToggleSwitch::sizeHint() const
{
    return kSize;
}

void ToggleSwitch::checkStateSet()
{
    // A value read from the store jumps; the user's own toggle glides (nextCheckState).
    m_knob.stop();
    m_knob.setStartValue(isChecked() ? 1.0 : 0.0);
    m_knob.setEndValue(isChecked() ? 1.0 : 0.0);
    update();
}

void ToggleSwitch::nextCheckState()
{
    const double from = isChecked() ? 1.0 : 0.0;
    QAbstractButton::nextCheckState();
    m_knob.stop();
    m_knob.setStartValue(from);
    m_knob.setEndValue(1.0 - from);
    if (isVisible())
        m_knob.start();
    update();
}

void ToggleSwitch::focusInEvent(QFocusEvent* event)
{
    m_keyboardFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
}

void ToggleSwitch::focusOutEvent(QFocusEvent* event)
{
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}

void ToggleSwitch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const double position =
        m_knob.state() == QAbstractAnimation::Running ? m_knob.currentValue().toDouble() : (isChecked() ? 1.0 : 0.0);
    const QRectF track = QRectF(QPointF(0, 0), QSizeF(kSize)).adjusted(1, 1, -1, -1);
    const qreal radius = track.height() / 2;

    QColor off = style::isDark(pal) ? QColor(255, 255, 255, 46) : QColor(0, 0, 0, 38);
    QColor on = style::accentColor(style::Accent::Green, pal);
    QColor fill = on;
    fill.setRedF(off.redF() + (on.redF() - off.redF()) * position);
    fill.setGreenF(off.greenF() + (on.greenF() - off.greenF()) * position);
    fill.setBlueF(off.blueF() + (on.blueF() - off.blueF()) * position);
    fill.setAlphaF(off.alphaF() + (1.0 - off.alphaF()) * position);
    if (!isEnabled())
        fill.setAlphaF(fill.alphaF() * 0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(track, radius, radius);

    const qreal knobSide = track.height() - 4;
    const qreal x = track.left() + 2 + (track.width() - knobSide - 4) * position;
    painter.setBrush(QColor(255, 255, 255));
    painter.setPen(QPen(QColor(0, 0, 0, 40), 0.5));
    painter.drawEllipse(QRectF(x, track.top() + 2, knobSide, knobSide));

    if (m_keyboardFocus && hasFocus()) {
        painter.setPen(QPen(style::accentColor(style::Accent::Blue, pal), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(track.adjusted(-0.5, -0.5, 0.5, 0.5), radius, radius);
    }
}

} // namespace tallyvue
