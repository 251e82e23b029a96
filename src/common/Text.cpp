#include "common/Text.h"

#include <QStringDecoder>

#include <QTextBoundaryFinder>

#include <algorithm>

namespace text {

namespace {

bool isLetterOrDigit(char32_t c)
{
    return QChar::isLetterOrNumber(c);
}

} // namespace

QString foldDiacritics(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (qsizetype i = 0; i < decomposed.size(); ++i) {
        const QChar ch = decomposed.at(i);
        const auto category = ch.category();
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
            || category == QChar::Mark_Enclosing) {
            continue;
        }
        out.append(ch);
    }
    return out.normalized(QString::NormalizationForm_C);
}

QStringList normalizedWords(const QString& text)
{
    // Plain ASCII has no diacritics to fold; most lines of an English call are such.
    const bool ascii = std::all_of(text.cbegin(), text.cend(), [](QChar ch) { return ch.unicode() < 0x80; });
    const QString folded = ascii ? text.toLower() : foldDiacritics(text.toLower());
    QStringList words;
    QString current;
    const auto flush = [&] {
        if (!current.isEmpty()) {
            words.append(current);
            current.clear();
        }
    };
    for (qsizetype i = 0; i < folded.size(); ++i) {
        char32_t code = folded.at(i).unicode();
        qsizetype width = 1;
        if (folded.at(i).isHighSurrogate() && i + 1 < folded.size() && folded.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(folded.at(i), folded.at(i + 1));
            width = 2;
        }
        if (isLetterOrDigit(code)) {
            current.append(folded.mid(i, width));
        } else {
            flush();
        }
        i += width - 1;
    }
    flush();
    return words;
}

qsizetype graphemeCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1) {
        ++count;
    }
    return count;
}

QString graphemePrefix(const QString& text, qsizetype count)
{
    if (count <= 0) {
        return {};
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype seen = 0;
    qsizetype position = 0;
    while (seen < count) {
        position = finder.toNextBoundary();
        if (position == -1) {
            return text;
        }
        ++seen;
    }
    return text.left(position);
}

QString graphemeSuffix(const QString& text, qsizetype count)
{
    if (count <= 0) {
        return {};
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.toEnd();
    qsizetype seen = 0;
    qsizetype position = text.size();
    while (seen < count) {
        position = finder.toPreviousBoundary();
        if (position == -1) {
            return text;
        }
        ++seen;
    }
    return text.mid(position);
}

QString trimSpacesAndTabs(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(text.at(begin))) {
        ++begin;
    }
    while (end > begin && blank(text.at(end - 1))) {
        --end;
    }
    return text.mid(begin, end - begin);
}

bool hasLetterOrDigit(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t code = text.at(i).unicode();
        if (text.at(i).isHighSurrogate() && i + 1 < text.size()) {
            code = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        }
        if (isLetterOrDigit(code)) {
            return true;
        }
    }
    return false;
}

qsizetype wordCount(const QString& text)
{
    qsizetype count = 0;
    bool inWord = false;
    for (const QChar ch : text) {
        if (ch.isSpace()) {
            inWord = false;
        } else if (!inWord) {
            inWord = true;
            ++count;
        }
    }
    return count;
}

QString fromUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(
        QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

QString actionText(const QString& name)
{
    QString text = name;
    return text.replace(u'&', QStringLiteral("&&"));
}

} // namespace text
