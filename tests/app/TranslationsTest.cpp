// The Brazilian Portuguese catalogue against the sources (every text translated, placeholders kept), the choice
// of catalogue from the user's languages, and every window built under it showing no English text.
#include "app/startup/Translations.h"
#include "app/assistants/AssistantsWindow.h"
#include "app/callwindow/CallWindow.h"
#include "app/guide/GuideWindow.h"
#include "app/services/DesktopServices.h"
#include "app/settings/SettingsWindow.h"
#include "app/tray/AppMenu.h"
#include "app/updates/CheckForUpdatesView.h"
#include "app/updates/Updater.h"
#include "settings/Settings.h"
#include "store/Store.h"
#include "store/StoreContext.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QXmlStreamReader>

namespace {

const QString catalogue = QStringLiteral(QUILLORA_SOURCE_DIR "/translations/quillora_pt_BR.ts");

struct Message {
    QString context;
    QString source;
    QString type; // "unfinished", "vanished", "obsolete" or empty
    QStringList translations; // one, or one per plural form
};

QList<Message> readCatalogue(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QList<Message> messages;
    QString context;
    bool numerus = false;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"message") {
            numerus = xml.attributes().value(QStringLiteral("numerus")) == QLatin1String("yes");
            messages.append(Message { context, {}, {}, {} });
        } else if (xml.name() == u"source" && !messages.isEmpty()) {
            messages.last().source = xml.readElementText();
        } else if (xml.name() == u"translation" && !messages.isEmpty()) {
            messages.last().type = xml.attributes().value(QStringLiteral("type")).toString();
            if (!numerus) {
                messages.last().translations = { xml.readElementText() };
            }
        } else if (xml.name() == u"numerusform" && !messages.isEmpty()) {
            messages.last().translations.append(xml.readElementText());
        }
    }
    return messages;
}

QStringList placeholders(const QString& text)
{
    static const QRegularExpression marker(QStringLiteral("%(n|\\d+)"));
    QStringList found;
    for (const QRegularExpressionMatch& match : marker.globalMatch(text)) {
        found.append(match.captured());
    }
    found.sort();
    return found;
}

// Every text a widget tree shows, keyed by where it is (class, object name and place among its siblings), so
// that two builds of the same window line up: labels, buttons, tool tips, accessible names, placeholders,
// titles, tabs, picker items and menu entries. Hidden widgets count too: they show in another state.
void collect(QObject* object, const QString& path, QMap<QString, QString>& out)
{
    const auto put = [&](const QString& kind, const QString& text) {
        if (!text.trimmed().isEmpty()) {
            out.insert(path + u'.' + kind, text);
        }
    };
    if (auto* widget = qobject_cast<QWidget*>(object)) {
        put(QStringLiteral("toolTip"), widget->toolTip());
        put(QStringLiteral("accessibleName"), widget->accessibleName());
        put(QStringLiteral("accessibleDescription"), widget->accessibleDescription());
        if (widget->isWindow()) {
            put(QStringLiteral("windowTitle"), widget->windowTitle());
        }
    }
    if (auto* label = qobject_cast<QLabel*>(object)) {
        put(QStringLiteral("text"), label->text());
    } else if (auto* button = qobject_cast<QAbstractButton*>(object)) {
        put(QStringLiteral("text"), button->text());
    } else if (auto* line = qobject_cast<QLineEdit*>(object)) {
        put(QStringLiteral("placeholder"), line->placeholderText());
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(object)) {
        put(QStringLiteral("placeholder"), plain->placeholderText());
    } else if (auto* rich = qobject_cast<QTextEdit*>(object)) {
        put(QStringLiteral("placeholder"), rich->placeholderText());
    } else if (auto* group = qobject_cast<QGroupBox*>(object)) {
        put(QStringLiteral("title"), group->title());
    } else if (auto* menu = qobject_cast<QMenu*>(object)) {
        put(QStringLiteral("title"), menu->title());
    } else if (auto* action = qobject_cast<QAction*>(object)) {
        put(QStringLiteral("text"), action->text());
    } else if (auto* tabs = qobject_cast<QTabBar*>(object)) {
        for (int i = 0; i < tabs->count(); ++i) {
            put(QStringLiteral("tab%1").arg(i), tabs->tabText(i));
            put(QStringLiteral("tabToolTip%1").arg(i), tabs->tabToolTip(i));
        }
    } else if (auto* picker = qobject_cast<QComboBox*>(object)) {
        for (int i = 0; i < picker->count(); ++i) {
            put(QStringLiteral("item%1").arg(i), picker->itemText(i));
        }
    }
    const QObjectList children = object->children();
    for (qsizetype i = 0; i < children.size(); ++i) {
        QObject* child = children.at(i);
        collect(child,
            path + u'/' + QLatin1String(child->metaObject()->className()) + u':' + child->objectName() + u'#'
                + QString::number(i),
            out);
    }
}

// Every window on a store of one assistant with a context, a knowledge file and a question (their names carry
// "§": user content, never translated), as the app builds them under the translator installed at the time.
QMap<QString, QString> windowTexts()
{
    QTemporaryDir directory;
    Settings settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr);
    // Nothing answers here, so the update check ends in its failure window at once.
    settings.setText(SettingKey::updateFeedURL, QStringLiteral("http://127.0.0.1:9/appcast.xml"));
    auto store = *Store::openInMemory();
    QUuid assistantID;
    {
        auto context = store->newContext();
        Assistant assistant = Assistant::make(QStringLiteral("§Jobs"), AssistantTemplate::interview);
        context->insert(assistant);
        assistantID = assistant.id;
        context->insert(CallContext::make(QStringLiteral("§Acme"), assistant));
        KnowledgeFile file = KnowledgeFile::make(QStringLiteral("§cv.md"), QStringLiteral("§ ten years"));
        file.assistant = assistant.id;
        context->insert(file);
        QAItem item = QAItem::make(
            QStringLiteral("§Why us?"), QStringLiteral("§Because."), QStringLiteral("en"), QStringLiteral("manual"));
        item.assistant = assistant.id;
        context->insert(item);
        [[maybe_unused]] const auto saved = context->save();
    }
    DesktopServices services(&settings, OpenedStore { store, false, QString() }, nullptr, DesktopServices::Options {});
    QMap<QString, QString> texts;
    {
        CallWindow window(services);
        collect(&window, QStringLiteral("call"), texts);
        AppMenu menu(services, nullptr);
        collect(&menu, QStringLiteral("menu"), texts);
    }
    {
        SettingsWindow window(settings, services.keychain());
        collect(&window, QStringLiteral("settings"), texts);
    }
    {
        GuideWindow guide(settings, services.keychain());
        collect(&guide, QStringLiteral("guide"), texts);
    }
    {
        AssistantsWindow window(&services.store(), &settings, &services.improvement());
        window.open();
        window.choose(ShownRecord { ShownRecord::Kind::assistant, assistantID });
        collect(&window, QStringLiteral("assistants"), texts);
    }
    {
        QAction check;
        Updater updater(settings, nullptr, QStringLiteral("1.0"));
        CheckForUpdatesView view(updater, &check, nullptr);
        QSignalSpy shown(&view, &CheckForUpdatesView::shown);
        check.trigger();
        shown.wait(10000);
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible()) {
                collect(window, QStringLiteral("update"), texts);
                window->close();
            }
        }
    }
    return texts;
}

} // namespace

class TranslationsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void catalogueCoversTheSources();
    void catalogueFor_data();
    void catalogueFor();
    void windowsShowNoEnglish();
};

// lupdate over today's sources, into a copy of the catalogue: a text without a translation, or one whose
// source went away, fails here until the catalogue is refreshed (`--target update_translations`) and translated.
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

    const QList<Message> committed = readCatalogue(catalogue);
    const QList<Message> current = readCatalogue(refreshed);
    QVERIFY(!current.isEmpty());
    QStringList problems;
    QSet<QString> currentKeys;
    for (const Message& message : current) {
        const QString where = QStringLiteral("[%1] %2").arg(message.context, message.source);
        currentKeys.insert(where);
        if (!message.type.isEmpty() || message.translations.isEmpty()
            || std::ranges::any_of(message.translations, [](const QString& t) { return t.isEmpty(); })) {
            problems.append(QStringLiteral("not translated: ") + where);
            continue;
        }
        for (const QString& translation : message.translations) {
            const QStringList wanted = placeholders(message.source);
            QStringList kept = placeholders(translation);
            // A plural form may spell the number out ("um") instead of %n.
            if (message.translations.size() > 1 && !kept.contains(QStringLiteral("%n"))) {
                kept.append(QStringLiteral("%n"));
                kept.sort();
            }
            if (kept != wanted) {
                problems.append(QStringLiteral("placeholders differ: ") + where + QStringLiteral(" -> ") + translation);
            }
        }
    }
    for (const Message& message : committed) {
        if (!currentKeys.contains(QStringLiteral("[%1] %2").arg(message.context, message.source))) {
            problems.append(QStringLiteral("no longer in the sources: [") + message.context + QStringLiteral("] ")
                + message.source);
        }
    }
    if (!problems.isEmpty()) {
        QFAIL(qPrintable(QStringLiteral("translations/quillora_pt_BR.ts is behind the sources (run cmake --build "
                                        "build --target update_translations, then translate):\n")
            + problems.join(u'\n')));
    }
}

void TranslationsTest::catalogueFor_data()
{
    QTest::addColumn<QStringList>("uiLanguages");
    QTest::addColumn<QString>("catalogue");
    QTest::newRow("Brazil") << QStringList { QStringLiteral("pt-BR") } << QStringLiteral("pt_BR");
    QTest::newRow("Portugal reads Brazilian Portuguese")
        << QStringList { QStringLiteral("pt-PT") } << QStringLiteral("pt_BR");
    QTest::newRow("English first") << QStringList { QStringLiteral("en-US"), QStringLiteral("pt-BR") } << QString();
    QTest::newRow("no catalogue, then Portuguese")
        << QStringList { QStringLiteral("de-DE"), QStringLiteral("pt-BR") } << QStringLiteral("pt_BR");
    QTest::newRow("no catalogue at all") << QStringList { QStringLiteral("de-DE") } << QString();
    QTest::newRow("the C locale") << QStringList { QStringLiteral("C") } << QString();
}

void TranslationsTest::catalogueFor()
{
    QFETCH(QStringList, uiLanguages);
    QFETCH(QString, catalogue);
    QCOMPARE(translations::catalogueFor(uiLanguages), catalogue);
}

// Each window built in English and again under the Portuguese catalogue: a text that reads the same in both is
// one that does not go through the catalogue, unless it is a name or reads the same in Portuguese.
void TranslationsTest::windowsShowNoEnglish()
{
    const QMap<QString, QString> english = windowTexts();
    QVERIFY(translations::install(*qApp, QStringLiteral("pt_BR")));
    const QMap<QString, QString> portuguese = windowTexts();
    const QSet<QString> sameInBoth { QStringLiteral("Quillora"), QStringLiteral("OpenAI"),
        QStringLiteral("Claude (Anthropic)"), QStringLiteral("Claude Code (MCP)"), QStringLiteral("Mic") };
    static const QRegularExpression letter(QStringLiteral("\\p{L}"));
    QStringList untranslated;
    for (auto it = english.cbegin(); it != english.cend(); ++it) {
        const QString& text = it.value();
        if (text.contains(u'§') || !text.contains(letter) || sameInBoth.contains(text)
            || text.startsWith(QLatin1String("claude mcp add"))) {
            continue;
        }
        if (!portuguese.contains(it.key())) {
            untranslated.append(QStringLiteral("only in English: ") + it.key() + QStringLiteral(": ") + text);
        } else if (portuguese.value(it.key()) == text) {
            untranslated.append(it.key() + QStringLiteral(": ") + text);
        }
    }
    QVERIFY2(english.size() > 100, "the windows showed almost nothing");
    QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(u'\n')));
}

QTEST_MAIN(TranslationsTest)
#include "TranslationsTest.moc"
