// SPDX-License-Identifier: MIT
#pragma once

#include "logic/WidgetContent.h"

#include <QWidget>

#include <optional>

namespace tallyvue::widget {

/// The small widget: the primary metric as a ring with its percent, its name and its reset.
class SmallUsageView : public QWidget
{
    Q_OBJECT

public:
    explicit SmallUsageView(QWidget* parent = nullptr);

    void setSnapshot(const WidgetSnapshot& snapshot, const QDateTime& now);
    /// What is shown; none when the snapshot has no primary metric (the view is then blank).
    const std::optional<SmallContent>& content() const { return m_content; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<SmallContent> m_content;
    std::optional<ProviderMetric> m_metric;
    QuotaDisplayMode m_mode = QuotaDisplayMode::Used;
};

} // namespace tallyvue::widget
