// SPDX-License-Identifier: MIT
#pragma once

#include "local/ComputerMonth.h"

#include <QWidget>

class QGridLayout;

namespace tallyvue {

class Card;
class StackedBarChart;
class TextLabel;

/**
 * The details window's "This Computer" page: tokens per day of the last 30 days, stacked by
 * provider, and the last 6 months with their API value, from the same report functions as
 * `tallyvue-cli report`. The transcripts are read on a worker thread when the page is shown.
 */
class ComputerPage : public QWidget
{
    Q_OBJECT

public:
    explicit ComputerPage(QWidget* parent = nullptr);

    /// Reads every transcript of the months shown, off the GUI thread; the page fills in when done.
    void load();
    /// Shows a month view built elsewhere (the gallery and the tests).
    void setMonth(const ComputerMonth& month);
    const ComputerMonth& month() const { return m_month; }
    StackedBarChart* dailyChart() const { return m_daily; }
    /// The month table's text at a row and column; row 0 is the header, the last the total.
    QString cellText(int row, int column) const;

private:
    void showMonth(const ComputerMonth& month);
    void fillTable();

    ComputerMonth m_month;
    bool m_loading = false;
    int m_generation = 0;
    TextLabel* m_status;
    Card* m_message;
    QWidget* m_data;
    StackedBarChart* m_daily;
    QGridLayout* m_table;
    TextLabel* m_note;
};

} // namespace tallyvue
