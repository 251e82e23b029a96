#include "common/Dates.h"

#include <QTimeZone>

#include <algorithm>
#include <cmath>

namespace dates {

namespace {

constexpr qint64 referenceEpochMs = 978307200000LL; // 2001-01-01T00:00:00Z
// About three million years either way: far beyond any real instant, yet well inside what a
// millisecond count and QDateTime hold, so an absurd stored number cannot overflow.
constexpr double maxReferenceSeconds = 1e14;

} // namespace

double toReferenceSeconds(const QDateTime& when)
{
    return static_cast<double>(when.toMSecsSinceEpoch() - referenceEpochMs) / 1000.0;
}

QDateTime fromReferenceSeconds(double seconds)
{
    if (!std::isfinite(seconds)) {
        seconds = 0;
    }
    seconds = std::clamp(seconds, -maxReferenceSeconds, maxReferenceSeconds);
    return QDateTime::fromMSecsSinceEpoch(referenceEpochMs + std::llround(seconds * 1000.0), Qt::UTC);
}

QDateTime now()
{
    return QDateTime::currentDateTimeUtc();
}

QString isoText(const QDateTime& when)
{
    const QDateTime local = when.toLocalTime();
    const int offsetSeconds = local.offsetFromUtc();
    if (offsetSeconds == 0) {
        return when.toUTC().toString(Qt::ISODate); // ends with "Z"
    }
    // Qt writes no offset for local time, only for a fixed offset: "+hh:mm".
    return when.toOffsetFromUtc(offsetSeconds).toString(Qt::ISODate);
}

} // namespace dates
