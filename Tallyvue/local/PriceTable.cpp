// SPDX-License-Identifier: MIT
#include "local/PriceTable.h"

#include "model/Log.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <initializer_list>

using namespace Qt::StringLiterals;

// Resources of a static library are registered by hand, outside any namespace.
static void registerPriceResource()
{
    Q_INIT_RESOURCE(prices);
}

namespace tallyvue {
namespace {

/// Thrown only inside parse(): the path of the bad value and what is wrong with it.
struct BadTable
{
    QString message;
};

[[noreturn]] void fail(const QString& where, const QString& what)
{
    throw BadTable{where + u": "_s + what};
}

double number(const QJsonValue& value, const QString& where)
{
    if (!value.isDouble() || !std::isfinite(value.toDouble()) || value.toDouble() < 0)
        fail(where, u"expected a number of zero or more"_s);
    return value.toDouble();
}

/// USD per million tokens to nano-dollars per token. Table prices have at most a few
/// decimals, so this is a whole number whenever it can be: sums of whole nano-dollars are
/// exact in a double, and a cost rounds to the cent a hand calculation gives.
double nanoPerToken(double usdPerMillion)
{
    const double nano = usdPerMillion * 1000.0;
    const double whole = std::round(nano);
    return std::abs(nano - whole) < 1e-6 ? whole : nano;
}

PriceTable::Price price(const QJsonValue& value, const QString& where)
{
    PriceTable::Price out;
    if (value.isDouble()) {
        out.base = nanoPerToken(number(value, where));
        return out;
    }
    if (!value.isObject())
        fail(where, u"expected a number or {\"base\", \"tiers\"}"_s);
    const QJsonObject object = value.toObject();
    out.base = nanoPerToken(number(object[u"base"], where + u".base"_s));
    const QJsonArray tiers = object[u"tiers"].toArray();
    for (qsizetype i = 0; i < tiers.size(); ++i) {
        const QString at = where + u".tiers[%1]"_s.arg(i);
        const QJsonObject tier = tiers[i].toObject();
        const double start = number(tier[u"start"], at + u".start"_s);
        if (start != std::floor(start) || start > 9e15)
            fail(at + u".start"_s, u"expected a whole number of tokens"_s);
        out.tiers.emplace_back(std::int64_t(start), nanoPerToken(number(tier[u"price"], at + u".price"_s)));
    }
    std::sort(out.tiers.begin(), out.tiers.end());
    return out;
}

PriceTable::Match match(const QJsonValue& value, const QString& where)
{
    using Kind = PriceTable::Match::Kind;
    const QJsonObject object = value.toObject();
    if (object.size() != 1)
        fail(where, u"expected one of or, and, equals, starts_with, ends_with, contains, regex"_s);
    const QString key = object.begin().key();
    const QJsonValue arg = object.begin().value();
    PriceTable::Match out;
    if (key == u"or" || key == u"and") {
        out.kind = key == u"or" ? Kind::Or : Kind::And;
        const QJsonArray children = arg.toArray();
        for (qsizetype i = 0; i < children.size(); ++i)
            out.children.push_back(match(children[i], where + u'.' + key + u"[%1]"_s.arg(i)));
        return out;
    }
    static const std::pair<const char16_t*, Kind> kinds[] = {{u"equals", Kind::Equals},
                                                             {u"starts_with", Kind::StartsWith},
                                                             {u"ends_with", Kind::EndsWith},
                                                             {u"contains", Kind::Contains},
                                                             {u"regex", Kind::Regex}};
    const auto found = std::find_if(std::begin(kinds), std::end(kinds), [&](const auto& k) { return key == k.first; });
    if (found == std::end(kinds))
        fail(where, u"unknown match '"_s + key + u'\'');
    if (!arg.isString())
        fail(where + u'.' + key, u"expected a string"_s);
    out.kind = found->second;
    if (out.kind == Kind::Regex) {
        out.regex = QRegularExpression(arg.toString());
        if (!out.regex.isValid())
            fail(where + u".regex"_s, out.regex.errorString());
        out.regex.optimize(); // compiled now, not on the first use from some thread
    } else {
        out.text = arg.toString().toLower();
    }
    return out;
}

std::optional<PriceTable::Price> optionalPrice(const QJsonObject& set, const char16_t* key, const QString& where)
{
    const QJsonValue value = set[QStringView(key)];
    if (value.isUndefined())
        return std::nullopt;
    return price(value, where + u'.' + QStringView(key));
}

PriceTable::PriceSet priceSet(const QJsonValue& value, const QString& where)
{
    if (!value.isObject())
        fail(where, u"expected an object"_s);
    const QJsonObject object = value.toObject();
    PriceTable::PriceSet out;
    if (const QJsonValue since = object[u"since"]; !since.isUndefined()) {
        const QDate date = QDate::fromString(since.toString(), Qt::ISODate);
        if (!date.isValid())
            fail(where + u".since"_s, u"expected a date yyyy-MM-dd"_s);
        out.since = date.startOfDay(Qt::UTC).toMSecsSinceEpoch();
    }
    out.input = optionalPrice(object, u"input", where);
    out.output = optionalPrice(object, u"output", where);
    out.cacheWrite = optionalPrice(object, u"cacheWrite", where);
    out.cacheWrite1h = optionalPrice(object, u"cacheWrite1h", where);
    out.cacheRead = optionalPrice(object, u"cacheRead", where);
    return out;
}

QString text(const QJsonObject& object, const char16_t* key, const QString& where)
{
    const QJsonValue value = object[QStringView(key)];
    if (!value.isString() || value.toString().isEmpty())
        fail(where + u'.' + QStringView(key), u"expected a text"_s);
    return value.toString();
}

/// The table's second try for dated ids: "gpt-4.1-20250414" is also looked up as
/// "gpt-4.1-2025-04-14". Only real calendar dates are rewritten.
QString withDashedDates(const QString& id)
{
    static const QRegularExpression dated = [] {
        QRegularExpression re(u"-(20\\d{2})(0[1-9]|1[0-2])(0[1-9]|[12]\\d|3[01])(?=-|:|$)"_s);
        re.optimize();
        return re;
    }();
    QString out;
    qsizetype from = 0;
    for (auto it = dated.globalMatch(id); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (!date.isValid())
            continue;
        out += QStringView(id).mid(from, m.capturedStart() - from);
        out += u'-' + m.captured(1) + u'-' + m.captured(2) + u'-' + m.captured(3);
        from = m.capturedEnd();
    }
    if (from == 0)
        return id;
    out += QStringView(id).mid(from);
    return out;
}

QString tableProviderOf(AIProvider provider)
{
    switch (provider) {
    case AIProvider::Claude: return u"anthropic"_s;
    case AIProvider::ChatGPT: return u"openai"_s;
    case AIProvider::Copilot: return {};
    }
    return {};
}

using detail::counted;

} // namespace

double PriceTable::Price::at(std::int64_t requestInput) const
{
    double out = base;
    for (const auto& [above, price] : tiers) {
        if (requestInput > above)
            out = price;
    }
    return out;
}

bool PriceTable::Match::matches(const QString& id) const
{
    switch (kind) {
    case Kind::Or: return std::any_of(children.begin(), children.end(), [&](const Match& m) { return m.matches(id); });
    case Kind::And: return std::all_of(children.begin(), children.end(), [&](const Match& m) { return m.matches(id); });
    case Kind::Equals: return id == text;
    case Kind::StartsWith: return id.startsWith(text);
    case Kind::EndsWith: return id.endsWith(text);
    case Kind::Contains: return id.contains(text);
    case Kind::Regex: return regex.match(id).hasMatch();
    }
    return false;
}

const PriceTable::PriceSet& PriceTable::Model::pricesAt(EpochMs when) const
{
    // The latest set whose start has come; the first set has none and holds before that.
    for (auto it = prices.rbegin(); it != prices.rend(); ++it) {
        if (!it->since || *it->since <= when)
            return *it;
    }
    return prices.front();
}

bool PriceTable::Model::hasFixedRates() const
{
    if (prices.size() != 1)
        return false;
    const PriceSet& set = prices.front();
    for (const std::optional<Price>* p :
         {&set.input, &set.output, &set.cacheWrite, &set.cacheWrite1h, &set.cacheRead}) {
        if (*p && !(*p)->tiers.empty())
            return false;
    }
    return true;
}

std::optional<PriceTable::Model::Rates> PriceTable::Model::ratesAt(EpochMs when, std::int64_t requestInput) const
{
    const PriceSet& set = pricesAt(when);
    if (!set.input && !set.output && !set.cacheWrite && !set.cacheWrite1h && !set.cacheRead)
        return std::nullopt;
    const auto rate = [requestInput](std::initializer_list<const std::optional<Price>*> choices) {
        for (const std::optional<Price>* p : choices) {
            if (*p)
                return (*p)->at(requestInput);
        }
        return 0.0;
    };
    // A kind without a price of its own costs what its broader kind costs, as in the table:
    // cache writes and reads are input tokens, one-hour writes are cache writes.
    return Rates{
        .input = rate({&set.input}),
        .output = rate({&set.output}),
        .cacheWrite = rate({&set.cacheWrite, &set.input}),
        .cacheWrite1h = rate({&set.cacheWrite1h, &set.cacheWrite, &set.input}),
        .cacheRead = rate({&set.cacheRead, &set.input}),
    };
}

std::int64_t PriceTable::Model::requestInput(const LocalUsageEvent& e)
{
    // Tiers look at the whole prompt of the request, cached parts included.
    return saturatingAdd(saturatingAdd(counted(e.inputTokens), counted(e.cacheCreationTokens)),
                         counted(e.cacheReadTokens));
}

std::optional<double> PriceTable::Model::costNanoUsd(const LocalUsageEvent& e) const
{
    const auto rates = ratesAt(e.timestamp, requestInput(e));
    return rates ? std::optional(costNanoUsd(e, *rates)) : std::nullopt;
}

const PriceTable& PriceTable::shared()
{
    static const PriceTable table = [] {
        QString error;
        if (const QString path = qEnvironmentVariable("TALLYVUE_PRICES"); !path.isEmpty()) {
            if (auto own = load(path, &error))
                return std::move(*own);
            log(u"Prices: cannot use %1 (TALLYVUE_PRICES): %2; using the built-in prices"_s.arg(path, error));
        }
        registerPriceResource();
        if (auto builtIn = load(u":/tallyvue/prices.json"_s, &error))
            return std::move(*builtIn);
        log(u"Prices: the built-in price table is unusable: %1"_s.arg(error));
        return PriceTable{};
    }();
    return table;
}

std::optional<PriceTable> PriceTable::load(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return parse(file.readAll(), error);
}

std::optional<PriceTable> PriceTable::parse(const QByteArray& json, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        if (error)
            *error = parseError.error != QJsonParseError::NoError
                         ? parseError.errorString() + u" at byte %1"_s.arg(parseError.offset)
                         : u"expected a JSON object"_s;
        return std::nullopt;
    }
    try {
        const QJsonObject root = document.object();
        PriceTable table;
        table.m_source = text(root, u"source", u"table"_s);
        table.m_version = text(root, u"version", u"table"_s);
        table.m_date = QDate::fromString(text(root, u"date", u"table"_s), Qt::ISODate);
        if (!table.m_date.isValid())
            fail(u"table.date"_s, u"expected a date yyyy-MM-dd"_s);
        const QJsonArray providers = root[u"providers"].toArray();
        if (providers.isEmpty())
            fail(u"table.providers"_s, u"expected a list of providers"_s);
        for (qsizetype p = 0; p < providers.size(); ++p) {
            const QString at = u"providers[%1]"_s.arg(p);
            const QJsonObject object = providers[p].toObject();
            Provider provider;
            provider.id = text(object, u"id", at).toLower();
            provider.providerMatch = match(object[u"providerMatch"], at + u".providerMatch"_s);
            provider.modelMatch = match(object[u"modelMatch"], at + u".modelMatch"_s);
            const QJsonArray models = object[u"models"].toArray();
            for (qsizetype m = 0; m < models.size(); ++m) {
                const QString modelAt = at + u".models[%1]"_s.arg(m);
                const QJsonObject entry = models[m].toObject();
                Model model;
                model.id = text(entry, u"id", modelAt);
                model.match = match(entry[u"match"], modelAt + u".match"_s);
                const QJsonArray sets = entry[u"prices"].toArray();
                if (sets.isEmpty())
                    fail(modelAt + u".prices"_s, u"expected a list of price sets"_s);
                for (qsizetype s = 0; s < sets.size(); ++s)
                    model.prices.push_back(priceSet(sets[s], modelAt + u".prices[%1]"_s.arg(s)));
                provider.models.push_back(std::move(model));
            }
            table.m_providers.push_back(std::move(provider));
        }
        return table;
    } catch (const BadTable& bad) {
        if (error)
            *error = bad.message;
        return std::nullopt;
    }
}

const PriceTable::Model* PriceTable::findIn(const Provider& provider, const QString& id) const
{
    const auto first = [&](const QString& name) -> const Model* {
        for (const Model& model : provider.models) {
            if (model.match.matches(name))
                return &model;
        }
        return nullptr;
    };
    if (const Model* model = first(id))
        return model;
    const QString dashed = withDashedDates(id);
    return dashed != id ? first(dashed) : nullptr;
}

const PriceTable::Model* PriceTable::find(AIProvider provider, QStringView model) const
{
    const QString id = model.trimmed().toString().toLower();
    if (id.isEmpty())
        return nullptr;
    // "anthropic/claude-…", "openai/gpt-…": a prefix that names a provider of the table.
    if (const qsizetype slash = id.indexOf(u'/'); slash > 0 && slash + 1 < id.size()) {
        const QString prefix = id.left(slash);
        const auto named =
            std::find_if(m_providers.begin(), m_providers.end(), [&](const Provider& p) { return p.id == prefix; });
        const auto matched = named != m_providers.end()
                                 ? named
                                 : std::find_if(m_providers.begin(), m_providers.end(),
                                                [&](const Provider& p) { return p.providerMatch.matches(prefix); });
        if (matched != m_providers.end())
            return findIn(*matched, id.mid(slash + 1));
    }
    // The transcript's own provider first; then any provider whose model names fit.
    const QString home = tableProviderOf(provider);
    for (const Provider& p : m_providers) {
        if (p.id == home) {
            if (const Model* found = findIn(p, id))
                return found;
        }
    }
    for (const Provider& p : m_providers) {
        if (p.id != home && p.modelMatch.matches(id)) {
            if (const Model* found = findIn(p, id))
                return found;
        }
    }
    return nullptr;
}

std::optional<double> PriceTable::costUsd(const LocalUsageEvent& event) const
{
    const Model* model = find(event.provider, event.model.text());
    if (!model)
        return std::nullopt;
    const auto nano = model->costNanoUsd(event);
    return nano ? std::optional(*nano / 1e9) : std::nullopt;
}

} // namespace tallyvue
