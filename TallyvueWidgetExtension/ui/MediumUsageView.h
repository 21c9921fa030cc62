// SPDX-License-Identifier: MIT
#pragma once

#include "logic/WidgetContent.h"

#include <QWidget>

namespace tallyvue::widget {

/// The medium widget: a header with the snapshot's age, then one bar row per window (five at most).
class MediumUsageView : public QWidget
{
    Q_OBJECT

public:
    explicit MediumUsageView(QWidget* parent = nullptr);

    void setSnapshot(const WidgetSnapshot& snapshot, const QDateTime& now);
    const MediumContent& content() const { return m_content; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MediumContent m_content;
    QList<ProviderMetric> m_metrics;
    QuotaDisplayMode m_mode = QuotaDisplayMode::Used;
};

} // namespace tallyvue::widget
