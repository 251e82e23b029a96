#pragma once

#include <QDateTime>
#include <QString>

namespace dates {

// Stored dates are seconds (with fraction) since 2001-01-01 00:00:00 UTC.
double toReferenceSeconds(const QDateTime& when);
QDateTime fromReferenceSeconds(double seconds);

// The current wall-clock instant.
QDateTime now();

// ISO 8601 internet date-time in the machine's time zone ("2025-03-04T15:07:09+01:00"),
// or with a final "Z" when that zone is UTC.
QString isoText(const QDateTime& when);

} // namespace dates
