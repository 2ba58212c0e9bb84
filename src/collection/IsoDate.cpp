#include "IsoDate.h"

#include <QByteArray>

namespace vexlor {

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
constexpr qint64 daysFromCivil(qint64 y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<qint64>(doe) - 719468;
}

constexpr bool isLeap(qint64 y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

constexpr unsigned daysInMonth(qint64 y, unsigned m)
{
    constexpr unsigned table[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : table[m - 1];
}

struct Cursor {
    std::string_view s;
    size_t i = 0;

    bool digits(int count, int& out)
    {
        if (i + static_cast<size_t>(count) > s.size())
            return false;
        int v = 0;
        for (int k = 0; k < count; ++k) {
            const char c = s[i + static_cast<size_t>(k)];
            if (c < '0' || c > '9')
                return false;
            v = v * 10 + (c - '0');
        }
        i += static_cast<size_t>(count);
        out = v;
        return true;
    }
    bool expect(char c)
    {
        if (i < s.size() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
    [[nodiscard]] bool atEnd() const { return i == s.size(); }
};

} // namespace

std::optional<Timestamp> parseInternetDateTime(std::string_view text)
{
    Cursor c{text};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!c.digits(4, year) || !c.expect('-') || !c.digits(2, month) || !c.expect('-') || !c.digits(2, day))
        return std::nullopt;
    if (!c.expect('T') || !c.digits(2, hour) || !c.expect(':') || !c.digits(2, minute) || !c.expect(':')
        || !c.digits(2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || static_cast<unsigned>(day) > daysInMonth(year, static_cast<unsigned>(month))
        || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;

    double fraction = 0;
    if (c.expect('.')) {
        double scale = 0.1;
        size_t count = 0;
        while (c.i < text.size() && text[c.i] >= '0' && text[c.i] <= '9') {
            if (count < 9) {
                fraction += (text[c.i] - '0') * scale;
                scale /= 10;
            }
            ++c.i;
            ++count;
        }
        if (count == 0)
            return std::nullopt;
    }

    int offsetSeconds = 0;
    if (c.expect('Z')) {
        // UTC
    } else if (c.i < text.size() && (text[c.i] == '+' || text[c.i] == '-')) {
        const int sign = text[c.i] == '-' ? -1 : 1;
        ++c.i;
        int oh = 0, om = 0;
        if (!c.digits(2, oh))
            return std::nullopt;
        if (c.expect(':')) {
            if (!c.digits(2, om))
                return std::nullopt;
        } else if (!c.atEnd() && !c.digits(2, om)) {
            return std::nullopt;
        }
        if (oh > 23 || om > 59)
            return std::nullopt;
        offsetSeconds = sign * (oh * 3600 + om * 60);
    } else {
        return std::nullopt;
    }
    if (!c.atEnd())
        return std::nullopt;

    const qint64 days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    const qint64 secs = days * 86400 + hour * 3600 + minute * 60 + second - offsetSeconds;
    return Timestamp::fromSeconds(static_cast<double>(secs) + fraction);
}

std::optional<Timestamp> parseInternetDateTime(QStringView text)
{
    if (text.size() > 64)
        return std::nullopt;
    const QByteArray latin = text.toLatin1();
    return parseInternetDateTime(std::string_view(latin.constData(), static_cast<size_t>(latin.size())));
}

} // namespace vexlor
