#pragma once

#include <QString>
#include <QStringList>

namespace text {

// Lower-cases, folds diacritics away without a locale and splits at every character that is
// neither a letter nor a digit; empty pieces are dropped. Duplicates are kept, in order.
QStringList normalizedWords(const QString& text);

// Removes combining marks after canonical decomposition ("Ação" -> "Acao"), locale-free.
QString foldDiacritics(const QString& text);

// Number of user-perceived characters (extended grapheme clusters).
qsizetype graphemeCount(const QString& text);

// The first `count` user-perceived characters of `text` (all of it when shorter).
QString graphemePrefix(const QString& text, qsizetype count);

// The last `count` user-perceived characters of `text` (all of it when shorter).
QString graphemeSuffix(const QString& text, qsizetype count);

// Trims spaces and tabs only (line breaks are kept), as the argument checks require.
QString trimSpacesAndTabs(const QString& text);

// True when the text has at least one letter or number.
bool hasLetterOrDigit(const QString& text);

// Number of maximal runs of non-white-space characters.
qsizetype wordCount(const QString& text);

// A name (of an assistant, a context) as the text of a menu action or a button, where Qt reads "&" as
// the mark of a keyboard mnemonic: every "&" doubled, so that "R&D" shows as it is.
QString actionText(const QString& name);

// UTF-8 bytes as text, exactly: unlike QString::fromUtf8, a leading U+FEFF is kept as a character.
// Invalid sequences become U+FFFD.
QString fromUtf8(QByteArrayView bytes);

} // namespace text
