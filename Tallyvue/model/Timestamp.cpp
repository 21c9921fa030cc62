// SPDX-License-Identifier: MIT
#include "model/Timestamp.h"

#include <algorithm>
#include <chrono>

namespace tallyvue {
namespace {

enum class Form { Any, WholeSeconds };

constexpr EpochMs kFirstInstant = -62135596800000; // 0001-01-01T00:00:00Z
constexpr EpochMs kLastInstant = 253402300799999;  // 9999-12-31T23:59:59.999Z

class Reader
{
public:
    explicit Reader(std::string_view text) : m_text(text) {}

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

/// The forms the stores ("2026-01-05T14:03:22Z") and the transcripts ("...T14:03:22.123Z")
/// write, read without the general parser: the scanners read one on every line.
std::optional<EpochMs> parseCanonical(std::string_view t)
{
    using namespace std::chrono;
    static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd.dddZ";
    const std::string_view shape = t.size() == 20 ? "dddd-dd-ddTdd:dd:ddZ" : kShape;
    unsigned v[kShape.size()];
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'd') {
            v[i] = unsigned(t[i] - '0');
            if (v[i] > 9)
                return std::nullopt;
        } else if (t[i] != shape[i]) {
            return std::nullopt;
        }
    }
    const auto two = [&v](int at) { return v[at] * 10 + v[at + 1]; };
    const year_month_day date{year(int(two(0) * 100 + two(2))), month(two(5)), day(two(8))};
    const unsigned h = two(11), m = two(14), sec = two(17);
    if (!date.ok() || h > 23 || m > 59 || sec > 59)
        return std::nullopt;
    const unsigned millis = t.size() == 20 ? 0 : v[20] * 100 + two(21);
    const EpochMs instant =
        (sys_days(date).time_since_epoch().count() * 86400LL + (h * 60 + m) * 60 + sec) * 1000 + millis;
    if (instant < kFirstInstant)
        return std::nullopt;
    return instant;
}

std::optional<EpochMs> parse(std::string_view text, Form form)
{
    using namespace std::chrono;
    if (text.size() == 20 || (text.size() == 24 && form == Form::Any))
        return parseCanonical(text);
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
    const EpochMs instant = local - EpochMs(offsetMinutes) * 60'000;
    // An offset can carry a date over the edge of the four-digit years that the file forms can
    // write back; such a moment is no real reset time.
    if (instant < kFirstInstant || instant > kLastInstant)
        return std::nullopt;
    return instant;
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

std::optional<EpochMs> parseWholeSecondTimestampMs(std::string_view text)
{
    return parse(text, Form::WholeSeconds);
}

std::optional<QDateTime> parseWholeSecondTimestamp(QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    if (const auto ms = parse(std::string_view(utf8.constData(), std::size_t(utf8.size())), Form::WholeSeconds))
        return dateFromEpochMs(*ms);
    return std::nullopt;
}

void appendWholeSecondTimestamp(QByteArray& out, EpochMs ms)
{
    std::string text;
    appendWholeSecondTimestamp(text, ms);
    out.append(text.data(), qsizetype(text.size()));
}

void appendWholeSecondTimestamp(std::string& out, EpochMs ms)
{
    using namespace std::chrono;
    ms = std::clamp(ms, kFirstInstant, kLastInstant);
    const sys_time<milliseconds> instant{milliseconds(ms)};
    const auto day = floor<days>(instant);
    const year_month_day date(day);
    const hh_mm_ss time(floor<seconds>(instant - day));
    char text[20] = {'0', '0', '0', '0', '-', '0', '0', '-', '0', '0',
                     'T', '0', '0', ':', '0', '0', ':', '0', '0', 'Z'};
    const auto put = [&text](int at, int digits, unsigned value) {
        for (int i = at + digits - 1; i >= at; --i, value /= 10)
            text[i] = char('0' + value % 10);
    };
    put(0, 4, unsigned(int(date.year())));
    put(5, 2, unsigned(date.month()));
    put(8, 2, unsigned(date.day()));
    put(11, 2, unsigned(time.hours().count()));
    put(14, 2, unsigned(time.minutes().count()));
    put(17, 2, unsigned(time.seconds().count()));
    out.append(text, sizeof text);
}

QString formatWholeSecondTimestamp(const QDateTime& date)
{
    QByteArray text;
    appendWholeSecondTimestamp(text, date.toMSecsSinceEpoch());
    return QString::fromLatin1(text);
}

QDateTime dateFromEpochMs(EpochMs ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

} // namespace tallyvue
