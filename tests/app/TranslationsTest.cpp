// The Brazilian Portuguese catalogue against the sources, the choice of catalogue from the user's languages,
// and every window built under the catalogue showing no English text.
#include "app/startup/Translations.h"
#include "app/assistants/AssistantsWindow.h"
#include "app/callwindow/CallWindow.h"
#include "app/guide/GuideWindow.h"
#include "app/services/DesktopServices.h"
#include "app/settings/SettingsWindow.h"
#include "app/tray/AppMenu.h"
#include "settings/Settings.h"
#include "store/Store.h"
#include "store/StoreContext.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString catalogue = QStringLiteral(QUILLORA_SOURCE_DIR "/translations/quillora_pt_BR.ts");

QString contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Every text a widget tree shows, hidden parts included (they show in another state), keyed by its place in
// the tree so that two builds of the same window line up.
void collect(QObject* object, const QString& path, QMap<QString, QString>& out)
{
    for (const char* shown :
        { "text", "title", "windowTitle", "toolTip", "placeholderText", "accessibleName", "accessibleDescription" }) {
        const QString text = object->property(shown).toString();
        if (!text.isEmpty() && (!qobject_cast<QLineEdit*>(object) || qstrcmp(shown, "text") != 0)) {
            out.insert(path + u'.' + QLatin1String(shown), text);
        }
    }
    const auto* tabs = qobject_cast<QTabBar*>(object);
    const auto* picker = qobject_cast<QComboBox*>(object);
    for (int i = 0; i < (tabs ? tabs->count() : picker ? picker->count() : 0); ++i) {
        out.insert(path + QStringLiteral(".item%1").arg(i), tabs ? tabs->tabText(i) : picker->itemText(i));
    }
    const QObjectList children = object->children();
    for (qsizetype i = 0; i < children.size(); ++i) {
        collect(children.at(i),
            path + QStringLiteral("/%1#%2").arg(QLatin1String(children.at(i)->metaObject()->className())).arg(i), out);
    }
}

// Every window on a store of one assistant with a context (their names carry "§": user content), as the app
// builds them under the translator installed at the time.
QMap<QString, QString> windowTexts()
{
    QTemporaryDir directory;
    Settings settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr);
    auto store = *Store::openInMemory();
    const Assistant assistant = Assistant::make(QStringLiteral("§Jobs"), AssistantTemplate::interview);
    {
        auto context = store->newContext();
        context->insert(assistant);
        context->insert(CallContext::make(QStringLiteral("§Acme"), assistant));
        [[maybe_unused]] const auto saved = context->save();
    }
    DesktopServices services(&settings, OpenedStore { store, false, QString() }, nullptr, DesktopServices::Options {});
    QMap<QString, QString> texts;
    CallWindow call(services);
    AppMenu menu(services, nullptr);
    SettingsWindow settingsWindow(settings, services.keychain());
    GuideWindow guide(settings, services.keychain());
    AssistantsWindow assistants(&services.store(), &settings, &services.improvement());
    assistants.open();
    assistants.choose(ShownRecord { ShownRecord::Kind::assistant, assistant.id });
    for (QObject* window : QObjectList { &call, menu.menu(), &settingsWindow, &guide, &assistants }) {
        collect(window, QLatin1String(window->metaObject()->className()), texts);
    }
    return texts;
}

} // namespace

class TranslationsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void catalogueCoversTheSources();
    void windowsShowNoEnglish();
};

// lupdate over today's sources into a copy of the catalogue changes nothing, and every translation keeps the
// source's placeholders.
void TranslationsTest::catalogueCoversTheSources()
{
    QTemporaryDir directory;
    const QString refreshed = directory.filePath(QStringLiteral("quillora_pt_BR.ts"));
    QVERIFY(QFile::copy(catalogue, refreshed));
    QProcess lupdate;
    lupdate.start(QStringLiteral(QUILLORA_LUPDATE),
        { QStringLiteral("-silent"), QStringLiteral("-no-obsolete"), QStringLiteral("-locations"),
            QStringLiteral("none"), QStringLiteral(QUILLORA_SOURCE_DIR "/src"), QStringLiteral("-ts"), refreshed });
    QVERIFY(lupdate.waitForFinished(120000));
    QCOMPARE(lupdate.exitCode(), 0);
    const QString text = contents(refreshed);
    QVERIFY2(text == contents(catalogue) && !text.contains(u"type=\"unfinished\""),
        "translations/quillora_pt_BR.ts is behind the sources: run cmake --build build --target "
        "update_translations and translate what it marks unfinished");
    static const QRegularExpression message(
        QStringLiteral("<message( numerus=\"yes\")?>\\s*<source>(.*?)</source>.*?<translation>(.*?)</translation>"),
        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression marker(QStringLiteral("%(n|\\d+)"));
    const auto markers = [](const QString& in, bool plural) {
        QSet<QString> found { plural ? QStringLiteral("%n") : QString() }; // a plural form may spell it out
        for (const QRegularExpressionMatch& match : marker.globalMatch(in)) {
            found.insert(match.captured());
        }
        return found;
    };
    for (const QRegularExpressionMatch& match : message.globalMatch(text)) {
        QVERIFY2(markers(match.captured(3), match.hasCaptured(1)) == markers(match.captured(2), match.hasCaptured(1)),
            qPrintable(match.captured(2)));
    }
}

// The user's languages pick the catalogue (any Portuguese reads Brazilian Portuguese; English first keeps the
// source), and a text that reads the same in the windows built before and after does not go through it, unless
// it is a name.
void TranslationsTest::windowsShowNoEnglish()
{
    QCOMPARE(translations::catalogueFor({ QStringLiteral("en-US"), QStringLiteral("pt-BR") }), QString());
    const QString language =
        translations::catalogueFor({ QStringLiteral("C"), QStringLiteral("de-DE"), QStringLiteral("pt-PT") });
    QCOMPARE(language, QStringLiteral("pt_BR"));
    const QMap<QString, QString> english = windowTexts();
    QVERIFY(translations::install(*QCoreApplication::instance(), language));
    const QMap<QString, QString> portuguese = windowTexts();
    const QStringList sameInBoth { QStringLiteral("Quillora"), QStringLiteral("OpenAI"),
        QStringLiteral("Claude (Anthropic)"), QStringLiteral("Claude Code (MCP)"), QStringLiteral("Mic") };
    static const QRegularExpression letter(QStringLiteral("\\p{L}"));
    QStringList untranslated;
    for (auto it = english.cbegin(); it != english.cend(); ++it) {
        if (it.value().contains(letter) && !it.value().contains(u'§') && !sameInBoth.contains(it.value())
            && !it.value().startsWith(u"claude mcp add") && !it.value().contains(u"://")
            && portuguese.value(it.key()) == it.value()) {
            untranslated.append(it.key() + QStringLiteral(": ") + it.value());
        }
    }
    QVERIFY2(english.size() > 100, "the windows showed almost nothing");
    QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(u'\n')));
}

QTEST_MAIN(TranslationsTest)
#include "TranslationsTest.moc"
