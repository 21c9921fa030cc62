// SPDX-License-Identifier: MIT
#pragma once

#include "local/LocalUsageEvent.h"
#include "local/Saturating.h"
#include "model/AIProvider.h"
#include "model/Timestamp.h"

#include <QByteArray>
#include <QDate>
#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace tallyvue {

namespace detail {

inline std::int64_t counted(std::int64_t tokens)
{
    return std::max<std::int64_t>(tokens, 0); // a damaged negative count never earns money back
}

} // namespace detail

/**
 * API list prices of the Anthropic and OpenAI models, as scripts/update-prices extracts them
 * from a pinned release of @pydantic/genai-prices into Tallyvue/resources/prices.json, which
 * is compiled in. `TALLYVUE_PRICES=FILE` replaces it. Models are found by the table's own
 * rules, so dated ids, "-latest" aliases and "anthropic/..." prefixes find their entry; a
 * model the table does not know has no price, and nothing is guessed for it.
 */
class PriceTable
{
public:
    /// One kind of token's price, in nano-dollars per token (USD per million tokens x 1000).
    struct Price
    {
        double base = 0;
        /// Ascending; a tier applies to a whole request whose input exceeds `above` tokens.
        std::vector<std::pair<std::int64_t, double>> tiers;

        double at(std::int64_t requestInput) const;
    };

    /// The prices of one model from `since` on (the first set of a model has no start).
    struct PriceSet
    {
        std::optional<EpochMs> since;
        std::optional<Price> input;
        std::optional<Price> output;
        std::optional<Price> cacheWrite;   ///< five-minute cache writes, and writes of no stated duration
        std::optional<Price> cacheWrite1h; ///< one-hour cache writes
        std::optional<Price> cacheRead;
    };

    /// A match rule of the table: a tree of or / and / equals / starts_with / ends_with /
    /// contains / regex, applied to the lower-case model id.
    struct Match
    {
        enum class Kind { Or, And, Equals, StartsWith, EndsWith, Contains, Regex };
        Kind kind = Kind::Or;
        QString text;
        QRegularExpression regex;
        std::vector<Match> children;

        bool matches(const QString& id) const;
    };

    struct Model
    {
        QString id;
        Match match;
        std::vector<PriceSet> prices;

        /// Nano-dollars per token of each kind for one request.
        struct Rates
        {
            double input = 0;
            double output = 0;
            double cacheWrite = 0;
            double cacheWrite1h = 0;
            double cacheRead = 0;
        };

        /// The set in force at `when`.
        const PriceSet& pricesAt(EpochMs when) const;
        /// The rates of a request at `when` whose prompt has `requestInput` tokens; none if
        /// the model has no token prices then.
        std::optional<Rates> ratesAt(EpochMs when, std::int64_t requestInput) const;
        /// One price set without tiers: every request has the same rates, so a caller may
        /// look them up once.
        bool hasFixedRates() const;
        /// The prompt tokens of a request, which tiers look at.
        static std::int64_t requestInput(const LocalUsageEvent& event);
        /// Nano-dollars of one event; none if the model has no token prices then.
        std::optional<double> costNanoUsd(const LocalUsageEvent& event) const;
        /// Inline: the views price every event of a week in one pass.
        static double costNanoUsd(const LocalUsageEvent& event, const Rates& rates);
    };

    struct Provider
    {
        QString id;
        Match providerMatch;
        Match modelMatch;
        std::vector<Model> models;
    };

    /// The compiled-in table, or the one TALLYVUE_PRICES names (read once per process).
    static const PriceTable& shared();

    /// Reads a table written by scripts/update-prices; `error` says what is wrong with it.
    static std::optional<PriceTable> parse(const QByteArray& json, QString* error = nullptr);
    static std::optional<PriceTable> load(const QString& path, QString* error = nullptr);

    QString source() const { return m_source; }
    QString version() const { return m_version; }
    QDate date() const { return m_date; }
    const std::vector<Provider>& providers() const { return m_providers; }

    /// The entry that prices `model` of a transcript of `provider`, or nullptr.
    const Model* find(AIProvider provider, QStringView model) const;

    /// USD of one event at list prices; none for a model without a price.
    std::optional<double> costUsd(const LocalUsageEvent& event) const;

private:
    const Model* findIn(const Provider& provider, const QString& id) const;

    QString m_source;
    QString m_version;
    QDate m_date;
    std::vector<Provider> m_providers;
};

inline double PriceTable::Model::costNanoUsd(const LocalUsageEvent& e, const Rates& rates)
{
    using detail::counted;
    // One-hour writes at their own rate; five-minute writes, and any writes the transcript
    // does not itemise, at the five-minute rate.
    const std::int64_t written = counted(e.cacheCreationTokens);
    const std::int64_t oneHour = counted(e.cacheCreation1hTokens);
    const std::int64_t fiveMinutes = counted(e.cacheCreation5mTokens);
    const std::int64_t unstated = std::max<std::int64_t>(written - saturatingAdd(oneHour, fiveMinutes), 0);
    return double(counted(e.inputTokens)) * rates.input + double(counted(e.outputTokens)) * rates.output +
           double(saturatingAdd(fiveMinutes, unstated)) * rates.cacheWrite + double(oneHour) * rates.cacheWrite1h +
           double(counted(e.cacheReadTokens)) * rates.cacheRead;
}

} // namespace tallyvue
