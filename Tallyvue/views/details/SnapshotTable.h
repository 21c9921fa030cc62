// SPDX-License-Identifier: MIT
#pragma once

#include "insights/Trends.h"

#include <QAbstractTableModel>
#include <QFrame>

class QAbstractButton;
class QTableView;

namespace tallyvue {

class TextLabel;

/// The snapshots in range as table rows: "Time", then one column per series.
class SnapshotTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit SnapshotTableModel(QObject* parent = nullptr);

    void setData(SnapshotTableData data, QuotaDisplayMode mode);
    using QAbstractTableModel::setData;
    const SnapshotTableData& tableData() const { return m_data; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    SnapshotTableData m_data;
    QuotaDisplayMode m_mode = QuotaDisplayMode::Used;
};

/**
 * Every recorded snapshot in the range, newest first, in a card that folds open and shut:
 * "Snapshots" with "N in range", then the table (or "No snapshots in this range.").
 */
class SnapshotTable : public QFrame
{
    Q_OBJECT

public:
    explicit SnapshotTable(QWidget* parent = nullptr);

    /// The snapshots of `history` (read as `provider`'s history when given) in range.
    void setData(const QList<UsageSnapshot>& history, TrendRange range, QuotaDisplayMode mode,
                 std::optional<AIProvider> provider = std::nullopt);
    void setExpanded(bool expanded);
    bool isExpanded() const;
    QString countText() const;
    const SnapshotTableModel& model() const { return *m_model; }
    QTableView* view() const { return m_view; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void showContent();
    void restyle();

    SnapshotTableModel* m_model;
    QAbstractButton* m_toggle;
    TextLabel* m_count;
    TextLabel* m_empty;
    QTableView* m_view;
};

} // namespace tallyvue
