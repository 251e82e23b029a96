#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;

// The desktop app's texts are written in English, the source language; translations/ holds one catalogue per
// other language, built into the app. The tool server never loads one: its texts are a wire protocol.
namespace translations {

// The catalogue for the user's interface languages in order of preference (`QLocale::uiLanguages()`, which
// follows LANGUAGE, then LC_ALL, LC_MESSAGES and LANG): the first language that is English or has a catalogue
// decides, and a catalogue of the same language stands in for another country's (Portugal reads Brazilian
// Portuguese). Empty when English comes first or no language has a catalogue.
QString catalogueFor(const QStringList& uiLanguages);

// Installs the app's catalogue for `language` (a name `catalogueFor` gave) and, where the system has it, Qt's
// own one for its standard buttons and menus. False when the app's catalogue could not be read.
bool install(QCoreApplication& app, const QString& language);

} // namespace translations
