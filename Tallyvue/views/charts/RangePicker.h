// SPDX-License-Identifier: MIT
#pragma once

#include "insights/Trends.h"

#include <QWidget>

class QButtonGroup;

namespace tallyvue {

/// The segmented "Range" picker over 24h, 7d and 14d.
class RangePicker : public QWidget
{
    Q_OBJECT

public:
    explicit RangePicker(QWidget* parent = nullptr);

    TrendRange range() const { return m_range; }
    void setRange(TrendRange range);

Q_SIGNALS:
    void rangeChanged(TrendRange range);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QButtonGroup* m_group;
    TrendRange m_range = TrendRange::Day;
};

} // namespace tallyvue
