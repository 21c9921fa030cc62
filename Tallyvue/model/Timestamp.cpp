// SPDX-License-Identifier: MIT
#include "model/Timestamp.h"


#include <chrono>

namespace tallyvue {
namespace {

enum class Form { Any, WholeSeconds };

class Reader
{
public:
    explicit Reader(std::string_view text)
        : m_text(text)
    {
    }

    bool atEnd() const { return m_pos == m_text.size(); }
    bool peek(char c) const { return m_pos < m_text.size() && m_text[m_pos] == c; }
    bool take(char c)
    {
        if (!peek(c))
            return false;
        ++m_pos;
        return true;
    }
    bool isDigit() const { return m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9'; }
    int digit() { return m_text[m_pos++] - '0'; }

    /// Exactly `count` decimal digits.
    std::optional<int> number(int count)
    {
        int value = 0;
        for (int i = 0; i < count; ++i) {
            if (!isDigit())
                return std::nullopt;
            value = value * 10 + digit();
        }
        return value;
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

std::optional<EpochMs> parse(std::string_view text, Form form)
{
    using namespace std::chrono;
    Reader in(text);
    const auto year = in.number(4);
    if (!year || !in.take('-'))
        return std::nullopt;
    const auto month = in.number(2);
    if (!month || !in.take('-'))
        return std::nullopt;
    const auto day = in.number(2);
    if (!day)
        return std::nullopt;
    const year_month_day date{std::chrono::year(*year), std::chrono::month(unsigned(*month)),
                              std::chrono::day(unsigned(*day))};
    if (!date.ok())
        return std::nullopt;
    const EpochMs midnight = duration_cast<milliseconds>(sys_days(date).time_since_epoch()).count();
    if (in.atEnd())
        return form == Form::Any ? std::optional(midnight) : std::nullopt;

    if (!in.take('T'))
        return std::nullopt;
    const auto hour = in.number(2);
    if (!hour || *hour > 23 || !in.take(':'))
        return std::nullopt;
    const auto minute = in.number(2);
    if (!minute || *minute > 59 || !in.take(':'))
        return std::nullopt;
    const auto second = in.number(2);
    if (!second || *second > 59)
        return std::nullopt;

    int millis = 0;
    if (in.take('.')) {
        if (form == Form::WholeSeconds || !in.isDigit())
            return std::nullopt;
        for (int scale = 100; in.isDigit(); scale /= 10)
            millis += in.digit() * scale; // digits past the third add zero
    }

    int offsetMinutes = 0;
    if (!in.take('Z')) {
        const bool plus = in.peek('+');
        if (!plus && !in.peek('-'))
            return std::nullopt; // no zone: the moment is unknown
        in.take(plus ? '+' : '-');
        const auto oh = in.number(2);
        if (!oh || *oh > 23 || !in.take(':'))
            return std::nullopt;
        const auto om = in.number(2);
        if (!om || *om > 59)
            return std::nullopt;
        offsetMinutes = (plus ? 1 : -1) * (*oh * 60 + *om);
    }
    if (!in.atEnd())
        return std::nullopt;

    const EpochMs local = midnight + ((EpochMs(*hour) * 60 + *minute) * 60 + *second) * 1000 + millis;
    return local - EpochMs(offsetMinutes) * 60'000;
}

} // namespace

std::optional<EpochMs> parseTimestampMs(std::string_view text)
{
    return parse(text, Form::Any);
}

std::optional<QDateTime> parseTimestamp(const std::optional<QString>& text)
{
    if (!text)
        return std::nullopt;
    const QByteArray utf8 = text->toUtf8();
    if (const auto ms = parse(std::string_view(utf8.constData(), std::size_t(utf8.size())), Form::Any))
        return dateFromEpochMs(*ms);
    return std::nullopt;
}

std::optional<QDateTime> parseWholeSecondTimestamp(QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    if (const auto ms = parse(std::string_view(utf8.constData(), std::size_t(utf8.size())), Form::WholeSeconds))
        return dateFromEpochMs(*ms);
    return std::nullopt;
}

QString formatWholeSecondTimestamp(const QDateTime& date)
{
    const qint64 ms = date.toMSecsSinceEpoch();
    const qint64 floored = ms - ((ms % 1000) + 1000) % 1000;
    return QDateTime::fromMSecsSinceEpoch(floored, Qt::UTC).toString(Qt::ISODate);
}

QDateTime dateFromEpochMs(EpochMs ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

} // namespace tallyvue
