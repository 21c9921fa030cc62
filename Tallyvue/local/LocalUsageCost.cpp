// SPDX-License-Identifier: MIT
#include "local/LocalUsageCost.h"

#include <QLocale>

#include <cmath>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

constexpr std::int64_t kNanoPerCent = 10'000'000;
constexpr std::int64_t kNanoPerDollar = 1'000'000'000;

/// "1,234,567"
QString grouped(std::int64_t whole)
{
    QString digits = QString::number(whole);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, u',');
    return digits;
}

/// |usd| in whole `unit`s (nano-dollars each), half away from zero. Costs are sums of whole
/// nano-dollars, so snapping to them first makes an exact half cent round up as by hand.
std::optional<std::int64_t> roundedMagnitude(double usd, std::int64_t unit)
{
    const double nano = std::round(std::abs(usd) * 1e9);
    if (!(nano < 9e18))
        return std::nullopt;
    return (std::int64_t(nano) + unit / 2) / unit;
}

QString sign(double usd)
{
    return usd < 0 ? u"-"_s : QString();
}

} // namespace

std::optional<double> detail::EventPricer::nanoUsdSlow(const LocalUsageEvent& event)
{
    std::vector<Slot>& slots = m_models[std::size_t(event.provider)];
    const std::uint32_t handle = event.model.handle();
    if (handle >= slots.size())
        slots.resize(std::size_t(handle) + 1);
    Slot& slot = slots[handle];
    if (!slot.looked) {
        slot.looked = true;
        slot.model = m_prices.find(event.provider, event.model.text());
        slot.fixed = slot.model && slot.model->hasFixedRates();
        if (slot.fixed)
            slot.rates = slot.model->ratesAt(0, 0);
    }
    if (!slot.model)
        return std::nullopt;
    if (!slot.fixed)
        return slot.model->costNanoUsd(event);
    return slot.rates ? std::optional(PriceTable::Model::costNanoUsd(event, *slot.rates)) : std::nullopt;
}

void LocalUsageCost::add(const LocalUsageCost& other)
{
    // Both are whole nano-dollars: stay on them rather than gather binary fractions.
    const double nano = (usd + other.usd) * 1e9;
    usd = std::abs(nano) < 9e15 ? std::round(nano) / 1e9 : usd + other.usd;
    pricedRequests += other.pricedRequests;
    unpricedRequests += other.unpricedRequests;
}

LocalUsageCost localUsageCost(std::span<const LocalUsageEvent> events, const QDateTime& start, const QDateTime& end,
                              const PriceTable& prices)
{
    const EpochMs from = start.toMSecsSinceEpoch();
    const EpochMs to = end.toMSecsSinceEpoch();
    detail::EventPricer pricer(prices);
    LocalUsageCost out;
    double nano = 0;
    for (const LocalUsageEvent& e : events) {
        if (e.timestamp < from || e.timestamp >= to)
            continue;
        if (const auto cost = pricer.nanoUsd(e)) {
            nano += *cost;
            ++out.pricedRequests;
        } else {
            ++out.unpricedRequests;
        }
    }
    out.usd = nano / 1e9;
    return out;
}

QString costText(double usd)
{
    const auto cents = roundedMagnitude(usd, kNanoPerCent);
    if (!cents) // only a damaged transcript gets here
        return sign(usd) + u'$' + QLocale::c().toString(std::abs(usd), 'f', 2);
    return sign(usd) + u'$' + grouped(*cents / 100) + u'.' + u"%1"_s.arg(*cents % 100, 2, 10, QChar(u'0'));
}

QString approximateCostText(double usd)
{
    if (usd == 0)
        return u"$0"_s;
    const auto cents = roundedMagnitude(usd, kNanoPerCent);
    if (cents && *cents == 0)
        return u"< $0.01"_s;
    if (cents && *cents < 1000)
        return u"≈ "_s + costText(usd);
    const auto dollars = roundedMagnitude(usd, kNanoPerDollar);
    if (!dollars)
        return u"≈ "_s + sign(usd) + u'$' + QLocale::c().toString(std::abs(usd), 'f', 0);
    return u"≈ "_s + sign(usd) + u'$' + grouped(*dollars);
}

} // namespace tallyvue
