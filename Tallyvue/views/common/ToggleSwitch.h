// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractButton>
#include <QVariantAnimation>

namespace tallyvue {

/**
 * An on/off switch (a checkable button drawn as a track with a knob). Assistive tools see a
 * check box; their "Toggle" action and a click both emit toggled().
 */
class ToggleSwitch : public QAbstractButton
{
    Q_OBJECT

public:
    /// `name` is what a screen reader says for it ("Monochrome").
    explicit ToggleSwitch(const QString& name, QWidget* parent = nullptr);

    /// Sets the state without emitting toggled() (for values read from the store).
    void setCheckedQuietly(bool on);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void checkStateSet() override;
    void nextCheckState() override;

private:
    QVariantAnimation m_knob;
    bool m_keyboardFocus = false;
};

} // namespace tallyvue
