#pragma once

#include "common/Error.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <optional>

// One release listed in an update feed.
struct AppcastItem {
    QString version;
    QString title;
    // Plain text: a description given as HTML is reduced to its text.
    QString notes;
    // The release notes page, else the item's link; only http and https addresses are kept.
    QUrl link;
    QDateTime published; // invalid when the item has no readable pubDate

    bool operator==(const AppcastItem&) const = default;
};

namespace appcast {

// The update feed: RSS 2.0 whose items carry their version in the usual update-feed namespace
// (`sparkle:shortVersionString`, else `sparkle:version`, as an element of the item or as an attribute
// of its enclosure). Items without a readable version are left out; a feed that is not such RSS, or
// that lists no version at all, fails with the user's text.
Result<QList<AppcastItem>> parse(const QByteArray& feed);

// The numeric parts of a dotted version ("1.10.2" → 1, 10, 2); letters after a part's digits are
// ignored ("2.0b1" → 2, 0). Nothing when a part does not start with a digit.
std::optional<QList<quint64>> versionParts(QStringView version);

// Negative, 0 or positive as `a` is older than, the same as or newer than `b`; missing parts count as
// 0, so "1.2" and "1.2.0" are the same. Unreadable versions compare as older than readable ones.
int compareVersions(QStringView a, QStringView b);

// The newest item that is newer than `currentVersion`; nothing when none is.
std::optional<AppcastItem> newerThan(const QList<AppcastItem>& items, QStringView currentVersion);

} // namespace appcast
