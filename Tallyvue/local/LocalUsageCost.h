// SPDX-License-Identifier: MIT
#pragma once

#include "local/LocalUsageEvent.h"
#include "local/PriceTable.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tallyvue {

/// What some requests would have cost at API list prices.
struct LocalUsageCost
{
    double usd = 0; ///< of the priced requests, unrounded
    std::int64_t pricedRequests = 0;
    /// Requests of models without a list price: they add nothing to `usd`, nothing is guessed.
    std::int64_t unpricedRequests = 0;

    void add(const LocalUsageCost& other);

    friend bool operator==(const LocalUsageCost&, const LocalUsageCost&) = default;
};

namespace detail {

/// Prices events one by one, looking each distinct model up once: the views price a week of
/// events on every scan, so the lookup is an index by the model's dense handle.
class EventPricer
{
public:
    explicit EventPricer(const PriceTable& prices) : m_prices(prices) {}
    /// Nano-dollars of the event; none for a model without a price. Inline for the common
    /// case of a model seen before whose rates are fixed.
    std::optional<double> nanoUsd(const LocalUsageEvent& event)
    {
        const std::vector<Slot>& slots = m_models[std::size_t(event.provider)];
        const std::uint32_t handle = event.model.handle();
        if (handle < slots.size() && slots[handle].looked && slots[handle].fixed) {
            const Slot& slot = slots[handle];
            return slot.rates ? std::optional(PriceTable::Model::costNanoUsd(event, *slot.rates)) : std::nullopt;
        }
        return nanoUsdSlow(event);
    }

private:
    std::optional<double> nanoUsdSlow(const LocalUsageEvent& event);

    struct Slot
    {
        bool looked = false;
        const PriceTable::Model* model = nullptr;
        /// The model's rates when they are the same for every request.
        bool fixed = false;
        std::optional<PriceTable::Model::Rates> rates;
    };
    const PriceTable& m_prices;
    std::array<std::vector<Slot>, kAllProviders.size()> m_models;
};

} // namespace detail

/// Cost of the events with start <= timestamp < end. Narrow the events to one provider first
/// to show that provider's cost.
LocalUsageCost localUsageCost(std::span<const LocalUsageEvent> events, const QDateTime& start, const QDateTime& end,
                              const PriceTable& prices = PriceTable::shared());

/// "$12.34", "$1,234.50": rounded half away from zero to cents.
QString costText(double usd);

/// "≈ $312" for a summary: whole dollars from $10 up, cents below ("≈ $4.20"), "< $0.01"
/// for a cost that rounds to nothing.
QString approximateCostText(double usd);

} // namespace tallyvue
