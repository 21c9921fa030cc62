// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace tallyvue {

/// The answer of the Claude OAuth usage service, as the metrics and the views read it.
struct UsageWindow
{
    double utilization = 0;
    std::optional<QString> resetsAt; ///< as received; parseTimestamp() turns it into a date
    friend bool operator==(const UsageWindow&, const UsageWindow&) = default;
};

struct ExtraUsage
{
    bool isEnabled = false;
    std::optional<double> monthlyLimit;
    std::optional<double> usedCredits;
    std::optional<double> utilization;
    friend bool operator==(const ExtraUsage&, const ExtraUsage&) = default;
};

struct LimitModel
{
    std::optional<QString> displayName;
    friend bool operator==(const LimitModel&, const LimitModel&) = default;
};

struct LimitScope
{
    std::optional<LimitModel> model;
    friend bool operator==(const LimitScope&, const LimitScope&) = default;
};

struct UsageLimit
{
    QString kind;
    double percent = 0;
    std::optional<QString> resetsAt;
    std::optional<LimitScope> scope;
    friend bool operator==(const UsageLimit&, const UsageLimit&) = default;
};

struct SpendAmount
{
    std::optional<std::int64_t> amountMinor;
    std::optional<QString> currency;
    std::optional<std::int64_t> exponent;
    friend bool operator==(const SpendAmount&, const SpendAmount&) = default;
};

struct Spend
{
    std::optional<SpendAmount> used;
    std::optional<double> limit;
    std::optional<double> percent;
    std::optional<QString> severity;
    std::optional<bool> enabled;
    std::optional<double> balance;
    friend bool operator==(const Spend&, const Spend&) = default;
};

struct UsageResponse
{
    std::optional<UsageWindow> fiveHour;
    std::optional<UsageWindow> sevenDay;
    std::optional<UsageWindow> sevenDayOpus;
    std::optional<UsageWindow> sevenDaySonnet;
    std::optional<UsageWindow> sevenDayFable;
    std::optional<UsageWindow> sevenDayFable5;
    std::optional<ExtraUsage> extraUsage;
    std::optional<QList<UsageLimit>> limits;
    std::optional<Spend> spend;
    friend bool operator==(const UsageResponse&, const UsageResponse&) = default;
};

} // namespace tallyvue
