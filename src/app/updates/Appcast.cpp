#include "app/updates/Appcast.h"

#include <QCoreApplication>
#include <QTextDocumentFragment>
#include <QXmlStreamReader>

namespace {

const QString sparkleNamespace = QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

// RFC 822 dates as RSS writes them ("Mon, 07 Dec 2026 10:00:00 +0000"), with or without the weekday.
QDateTime parseDate(const QString& text)
{
    QDateTime date = QDateTime::fromString(text.trimmed(), Qt::RFC2822Date);
    return date.isValid() ? date.toUTC() : QDateTime();
}

QUrl webAddress(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const bool web = url.isValid() && (url.scheme() == u"https" || url.scheme() == u"http") && !url.host().isEmpty();
    return web ? url : QUrl();
}

struct ItemFields {
    QString shortVersion;
    QString version;
    QString enclosureShortVersion;
    QString enclosureVersion;
    QString title;
    QString description;
    QString notesLink;
    QString link;
    QString published;

    std::optional<AppcastItem> item() const
    {
        // The short version is the one people read and the one the app itself carries.
        QString chosen;
        for (const QString* candidate : { &shortVersion, &version, &enclosureShortVersion, &enclosureVersion }) {
            if (!candidate->trimmed().isEmpty()) {
                chosen = candidate->trimmed();
                break;
            }
        }
        if (chosen.isEmpty() || !appcast::versionParts(chosen)) {
            return std::nullopt;
        }
        AppcastItem result;
        result.version = chosen;
        result.title = title.trimmed();
        result.notes = Qt::mightBeRichText(description)
            ? QTextDocumentFragment::fromHtml(description).toPlainText().trimmed()
            : description.trimmed();
        result.link = webAddress(notesLink);
        if (result.link.isEmpty()) {
            result.link = webAddress(link);
        }
        result.published = parseDate(published);
        return result;
    }
};

void readItem(QXmlStreamReader& reader, ItemFields& fields)
{
    while (reader.readNextStartElement()) {
        const bool sparkle = reader.namespaceUri() == sparkleNamespace;
        const bool plain = reader.namespaceUri().isEmpty();
        const QStringView name = reader.name();
        if (plain && name == u"enclosure") {
            const QXmlStreamAttributes attributes = reader.attributes();
            fields.enclosureShortVersion =
                attributes.value(sparkleNamespace, QStringLiteral("shortVersionString")).toString();
            fields.enclosureVersion = attributes.value(sparkleNamespace, QStringLiteral("version")).toString();
            reader.skipCurrentElement();
        } else if (sparkle && name == u"shortVersionString") {
            fields.shortVersion = reader.readElementText();
        } else if (sparkle && name == u"version") {
            fields.version = reader.readElementText();
        } else if (sparkle && name == u"releaseNotesLink") {
            fields.notesLink = reader.readElementText();
        } else if (plain && name == u"title") {
            fields.title = reader.readElementText();
        } else if (plain && name == u"description") {
            fields.description = reader.readElementText();
        } else if (plain && name == u"link") {
            fields.link = reader.readElementText();
        } else if (plain && name == u"pubDate") {
            fields.published = reader.readElementText();
        } else {
            reader.skipCurrentElement();
        }
    }
}

} // namespace

namespace appcast {

Result<QList<AppcastItem>> parse(const QByteArray& feed)
{
    QXmlStreamReader reader(feed);
    QList<AppcastItem> items;
    bool sawChannel = false;
    if (reader.readNextStartElement() && reader.name() == u"rss" && reader.namespaceUri().isEmpty()) {
        while (reader.readNextStartElement()) {
            if (reader.name() != u"channel") {
                reader.skipCurrentElement();
                continue;
            }
            sawChannel = true;
            while (reader.readNextStartElement()) {
                if (reader.name() != u"item" || !reader.namespaceUri().isEmpty()) {
                    reader.skipCurrentElement();
                    continue;
                }
                ItemFields fields;
                readItem(reader, fields);
                if (std::optional<AppcastItem> item = fields.item()) {
                    items.append(std::move(*item));
                }
            }
        }
    }
    // The rest is read too, so that a feed broken after its items is not taken as whole.
    while (!reader.atEnd() && !reader.hasError()) {
        reader.readNext();
    }
    if (reader.hasError() || !sawChannel) {
        return fail(QCoreApplication::translate(
            "appcast", "The update feed could not be read: the server did not send a valid update feed."));
    }
    if (items.isEmpty()) {
        return fail(QCoreApplication::translate("appcast", "The update feed lists no version of Quillora."));
    }
    return items;
}

std::optional<QList<quint64>> versionParts(QStringView version)
{
    QList<quint64> parts;
    for (QStringView part : version.trimmed().split(u'.')) {
        qsizetype digits = 0;
        while (digits < part.size() && part[digits].isDigit() && part[digits].unicode() < 128) {
            ++digits;
        }
        bool ok = false;
        // More than 18 digits is no version number anyone writes; refusing it keeps the parts exact.
        const quint64 number = digits <= 18 ? part.first(digits).toULongLong(&ok) : 0;
        if (!ok) {
            return std::nullopt;
        }
        parts.append(number);
    }
    return parts;
}

int compareVersions(QStringView a, QStringView b)
{
    const std::optional<QList<quint64>> left = versionParts(a);
    const std::optional<QList<quint64>> right = versionParts(b);
    if (!left || !right) {
        return int(left.has_value()) - int(right.has_value());
    }
    const qsizetype count = std::max(left->size(), right->size());
    for (qsizetype i = 0; i < count; ++i) {
        const quint64 x = i < left->size() ? left->at(i) : 0;
        const quint64 y = i < right->size() ? right->at(i) : 0;
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return 0;
}

std::optional<AppcastItem> newerThan(const QList<AppcastItem>& items, QStringView currentVersion)
{
    const AppcastItem* newest = nullptr;
    for (const AppcastItem& item : items) {
        if (compareVersions(item.version, currentVersion) > 0
            && (!newest || compareVersions(item.version, newest->version) > 0)) {
            newest = &item;
        }
    }
    return newest ? std::optional<AppcastItem>(*newest) : std::nullopt;
}

} // namespace appcast
