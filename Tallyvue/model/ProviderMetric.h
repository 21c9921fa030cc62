// SPDX-License-Identifier: MIT
#pragma once

#include "model/AIProvider.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace tallyvue {

/// Whether percentages are shown as the part used or the part left.
enum class QuotaDisplayMode { Used, Remaining };

QString rawValue(QuotaDisplayMode mode);
/// Exactly "remaining" gives Remaining; anything else, including nothing, gives Used.
QuotaDisplayMode displayModeFromRaw(QStringView raw);
std::optional<QuotaDisplayMode> strictDisplayModeFromRaw(QStringView raw);

/// One limit window of one provider.
struct ProviderMetric
{
    AIProvider provider = AIProvider::Claude;
    QString kind;
    QString title;
    double percent = 0;
    std::optional<QDateTime> resetsAt;
    std::optional<double> windowLength; ///< seconds

    /// "Claude:session": the identity of a window across refreshes.
    QString id() const;
    /// Integer part of the used (or remaining) percent, clamped to 0...100, then "%".
    QString percentText(QuotaDisplayMode mode) const;

    friend bool operator==(const ProviderMetric&, const ProviderMetric&) = default;
};

/// The metric id form shared by history series, alerts, badges and the widget.
QString metricId(AIProvider provider, QStringView kind);

} // namespace tallyvue
