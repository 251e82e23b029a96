#include "app/startup/Translations.h"

#include "common/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace {

const QString catalogueFolder = QStringLiteral(":/i18n");
const QString appPrefix = QStringLiteral("quillora_");

} // namespace

namespace translations {

QString catalogueFor(const QStringList& uiLanguages)
{
    QStringList catalogues;
    const QStringList files =
        QDir(catalogueFolder).entryList({ appPrefix + QStringLiteral("*.qm") }, QDir::Files, QDir::Name);
    for (const QString& file : files) {
        catalogues.append(file.mid(appPrefix.size()).chopped(3));
    }
    for (const QString& wanted : uiLanguages) {
        const QLocale locale(wanted);
        if (locale.language() == QLocale::English) {
            return {};
        }
        if (locale.language() == QLocale::C || locale.language() == QLocale::AnyLanguage) {
            continue;
        }
        if (catalogues.contains(locale.name())) {
            return locale.name();
        }
        for (const QString& catalogue : std::as_const(catalogues)) {
            if (QLocale(catalogue).language() == locale.language()) {
                return catalogue;
            }
        }
    }
    return {};
}

bool install(QCoreApplication& app, const QString& language)
{
    auto own = std::make_unique<QTranslator>();
    if (!own->load(appPrefix + language, catalogueFolder)) {
        qCWarning(lcStartup, "Could not read the translation catalogue for %s", qUtf8Printable(language));
        return false;
    }
    own->setParent(&app);
    QCoreApplication::installTranslator(own.release());
    // Qt's dialogs and text fields speak the same language when the system has Qt's catalogue for it.
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        qt->setParent(&app);
        QCoreApplication::installTranslator(qt.release());
    } else {
        qCInfo(lcStartup, "Qt has no catalogue for %s here", qUtf8Printable(language));
    }
    return true;
}

} // namespace translations
