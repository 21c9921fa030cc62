// SPDX-License-Identifier: MIT
#include "providers/ClaudeUsage.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QVariant>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

/// "seven_day_fable_5" -> "sevenDayFable5": the service's snake case compared in camel case,
/// so every spelling that converts alike names the same member.
QString camelFromSnake(QStringView key)
{
    QString out;
    out.reserve(key.size());
    bool first = true;
    for (const QStringView piece : key.split(u'_')) {
        if (first || piece.isEmpty())
            out += piece;
        else
            out += piece.left(1).toString().toUpper() + piece.mid(1);
        first = false;
    }
    return out;
}

/**
 * Reads one JSON object by member name. The first failure is kept in `error`; after it, every
 * read returns an empty value and the caller checks `error` once at the end.
 */
class ObjectReader
{
public:
    ObjectReader(const QJsonObject& object, QString path, QString* error) : m_path(std::move(path)), m_error(error)
    {
        for (auto it = object.begin(); it != object.end(); ++it) {
            const QString key = camelFromSnake(it.key());
            if (!m_members.contains(key))
                m_members.insert(key, it.value());
        }
    }

    std::optional<double> optionalDouble(QStringView member) const
    {
        const QJsonValue value = find(member);
        if (isAbsent(value))
            return std::nullopt;
        if (!value.isDouble()) {
            fail(member, u"a number");
            return std::nullopt;
        }
        return value.toDouble();
    }

    double requiredDouble(QStringView member) const
    {
        if (!present(member))
            return 0;
        return optionalDouble(member).value_or(0);
    }

    std::optional<std::int64_t> optionalInteger(QStringView member) const
    {
        const QJsonValue value = find(member);
        if (isAbsent(value))
            return std::nullopt;
        if (const QVariant exact = value.toVariant(); exact.typeId() == QMetaType::LongLong)
            return exact.toLongLong();
        const double number = value.toDouble();
        // The double range of int64 is [-2^63, 2^63); only whole numbers fit an integer field.
        if (!value.isDouble() || std::trunc(number) != number || number < -9223372036854775808.0 ||
            number >= 9223372036854775808.0) {
            fail(member, u"an integer");
            return std::nullopt;
        }
        return static_cast<std::int64_t>(number);
    }

    std::optional<QString> optionalString(QStringView member) const
    {
        const QJsonValue value = find(member);
        if (isAbsent(value))
            return std::nullopt;
        if (!value.isString()) {
            fail(member, u"a string");
            return std::nullopt;
        }
        return value.toString();
    }

    QString requiredString(QStringView member) const
    {
        if (!present(member))
            return {};
        return optionalString(member).value_or(QString());
    }

    std::optional<bool> optionalBool(QStringView member) const
    {
        const QJsonValue value = find(member);
        if (isAbsent(value))
            return std::nullopt;
        if (!value.isBool()) {
            fail(member, u"a boolean");
            return std::nullopt;
        }
        return value.toBool();
    }

    bool requiredBool(QStringView member) const
    {
        if (!present(member))
            return false;
        return optionalBool(member).value_or(false);
    }

    std::optional<ObjectReader> optionalObject(QStringView member) const
    {
        const QJsonValue value = find(member);
        if (isAbsent(value))
            return std::nullopt;
        if (!value.isObject()) {
            fail(member, u"an object");
            return std::nullopt;
        }
        return ObjectReader(value.toObject(), childPath(member), m_error);
    }

    std::optional<QJsonArray> optionalArray(QStringView member) const
    {
        const QJsonValue value = find(member);
        if (isAbsent(value))
            return std::nullopt;
        if (!value.isArray()) {
            fail(member, u"an array");
            return std::nullopt;
        }
        return value.toArray();
    }

    QString childPath(QStringView member) const
    {
        return m_path.isEmpty() ? member.toString() : m_path + u'.' + member;
    }
    QString* error() const { return m_error; }
    bool failed() const { return !m_error->isEmpty(); }

private:
    QJsonValue find(QStringView member) const
    {
        if (failed())
            return QJsonValue(QJsonValue::Undefined);
        return m_members.value(camelFromSnake(member), QJsonValue(QJsonValue::Undefined));
    }

    static bool isAbsent(const QJsonValue& value) { return value.isUndefined() || value.isNull(); }

    bool present(QStringView member) const
    {
        if (failed())
            return false;
        if (isAbsent(find(member))) {
            *m_error = u"The usage response has no value for \"%1\" at %2."_s.arg(member, where());
            return false;
        }
        return true;
    }

    void fail(QStringView member, QStringView expected) const
    {
        *m_error =
            u"The usage response has a wrong type for \"%1\" at %2: expected %3."_s.arg(member, where(), expected);
    }

    QString where() const { return m_path.isEmpty() ? u"the top level"_s : m_path; }

    QString m_path;
    QString* m_error;
    QHash<QString, QJsonValue> m_members;
};

std::optional<UsageWindow> readWindow(const ObjectReader& parent, QStringView member)
{
    const auto object = parent.optionalObject(member);
    if (!object)
        return std::nullopt;
    return UsageWindow{object->requiredDouble(u"utilization"), object->optionalString(u"resets_at")};
}

std::optional<ExtraUsage> readExtraUsage(const ObjectReader& parent)
{
    const auto object = parent.optionalObject(u"extra_usage");
    if (!object)
        return std::nullopt;
    return ExtraUsage{object->requiredBool(u"is_enabled"), object->optionalDouble(u"monthly_limit"),
                      object->optionalDouble(u"used_credits"), object->optionalDouble(u"utilization")};
}

std::optional<LimitScope> readScope(const ObjectReader& limit)
{
    const auto scope = limit.optionalObject(u"scope");
    if (!scope)
        return std::nullopt;
    LimitScope result;
    if (const auto model = scope->optionalObject(u"model"))
        result.model = LimitModel{model->optionalString(u"display_name")};
    return result;
}

std::optional<QList<UsageLimit>> readLimits(const ObjectReader& parent)
{
    const auto array = parent.optionalArray(u"limits");
    if (!array)
        return std::nullopt;
    QList<UsageLimit> limits;
    limits.reserve(array->size());
    for (qsizetype i = 0; i < array->size() && !parent.failed(); ++i) {
        const QString path = parent.childPath(u"limits") + u'[' + QString::number(i) + u']';
        const QJsonValue element = array->at(i);
        if (!element.isObject()) {
            *parent.error() = u"The usage response has a wrong type at %1: expected an object."_s.arg(path);
            break;
        }
        const ObjectReader limit(element.toObject(), path, parent.error());
        UsageLimit entry;
        entry.kind = limit.requiredString(u"kind");
        entry.percent = limit.requiredDouble(u"percent");
        entry.resetsAt = limit.optionalString(u"resets_at");
        entry.scope = readScope(limit);
        limits.append(std::move(entry));
    }
    return limits;
}

std::optional<Spend> readSpend(const ObjectReader& parent)
{
    const auto object = parent.optionalObject(u"spend");
    if (!object)
        return std::nullopt;
    Spend spend;
    if (const auto used = object->optionalObject(u"used"))
        spend.used = SpendAmount{used->optionalInteger(u"amount_minor"), used->optionalString(u"currency"),
                                 used->optionalInteger(u"exponent")};
    spend.limit = object->optionalDouble(u"limit");
    spend.percent = object->optionalDouble(u"percent");
    spend.severity = object->optionalString(u"severity");
    spend.enabled = object->optionalBool(u"enabled");
    spend.balance = object->optionalDouble(u"balance");
    return spend;
}

} // namespace

Result<UsageResponse, QString> decodeUsageResponse(const QByteArray& json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return u"The usage response is not valid JSON: %1 at offset %2."_s.arg(parseError.errorString())
            .arg(parseError.offset);
    if (!document.isObject())
        return u"The usage response is not a JSON object."_s;

    QString error;
    const ObjectReader top(document.object(), {}, &error);
    UsageResponse response;
    response.fiveHour = readWindow(top, u"five_hour");
    response.sevenDay = readWindow(top, u"seven_day");
    response.sevenDayOpus = readWindow(top, u"seven_day_opus");
    response.sevenDaySonnet = readWindow(top, u"seven_day_sonnet");
    response.sevenDayFable = readWindow(top, u"seven_day_fable");
    response.sevenDayFable5 = readWindow(top, u"seven_day_fable5");
    response.extraUsage = readExtraUsage(top);
    response.limits = readLimits(top);
    response.spend = readSpend(top);
    if (!error.isEmpty())
        return error;
    return response;
}

} // namespace tallyvue
