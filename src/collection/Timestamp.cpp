#include "Timestamp.h"

#include <chrono>

namespace vexlor {

Timestamp Timestamp::now()
{
    using namespace std::chrono;
    const auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return Timestamp{static_cast<double>(us) / 1e6};
}

Timestamp Timestamp::fromDateTime(const QDateTime& dt)
{
    return dt.isValid() ? Timestamp{static_cast<double>(dt.toMSecsSinceEpoch()) / 1000.0} : distantPast();
}

QDateTime Timestamp::toDateTime() const
{
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(secondsSinceEpoch * 1000.0), Qt::UTC);
}

Clock systemClock()
{
    return [] { return Timestamp::now(); };
}

} // namespace vexlor
