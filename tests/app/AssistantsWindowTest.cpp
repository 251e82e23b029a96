#include "app/assistants/AssistantsWindow.h"
#include "AccessibleTree.h"
#include "app/assistants/AssistantsSidebar.h"
#include "app/assistants/CallRow.h"
#include "app/assistants/CallSearchModel.h"
#include "app/assistants/CallSearchView.h"
#include "app/assistants/CallsTab.h"
#include "app/assistants/ContextGeneralTab.h"
#include "app/assistants/DetailView.h"
#include "app/assistants/GeneralTab.h"
#include "app/assistants/ImprovementsTab.h"
#include "app/assistants/KnowledgeTab.h"
#include "app/assistants/ProposalView.h"
#include "app/assistants/QuestionEditor.h"
#include "app/assistants/QuestionsTab.h"
#include "app/assistants/SaveAction.h"
#include "common/Text.h"
#include "common/Uuid.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/ManualClock.h"
#include "improvement/Improvement.h"
#include "improvement/ImprovementService.h"
#include "llm/LLMClient.h"
#include "mcp/ServerProcess.h"
#include "settings/Settings.h"
#include "store/StoreHolder.h"
#include "store/StoreSignal.h"
#include "store/StoreTesting.h"
#include "summary/SummaryService.h"

#include <QAccessible>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QNetworkAccessManager>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <SQLiteCpp/Database.h>

using storeTesting::instant;
using storeTesting::makeAssistant;
using storeTesting::makeCall;

namespace {

QAction* actionNamed(QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (action->iconText() == text) { // the text shown: "&" marks a mnemonic unless doubled
            return action;
        }
        if (action->menu()) {
            if (QAction* inner = actionNamed(action->menu(), text)) {
                return inner;
            }
        }
    }
    return nullptr;
}

QStringList itemTexts(const QAbstractItemView* list)
{
    QStringList texts;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        texts.append(list->model()->index(row, 0).data().toString());
    }
    return texts;
}

QString writeFile(const QTemporaryDir& directory, const QString& name, const QByteArray& bytes)
{
    const QString path = directory.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        return {};
    }
    return path;
}

// Stands in for the desktop's default application.
class UrlOpener : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

// The window on a real store (in memory, or a file when reopening matters) with its own settings
// file; the pause before typing is saved runs on a manual clock.
struct Harness {
    explicit Harness(const std::function<void(StoreContext&)>& seed = {}, bool fallback = false,
        const QString& storePath = QString())
        : settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr)
    {
        // "Improve from history" asks Claude, answered by a loopback fake.
        settings.setText(SettingKey::llmProvider, QStringLiteral("claude"));
        settings.setText(SettingKey::anthropicBaseURL, model.baseURL());
        ImprovementServiceOptions options;
        options.readKey = [](const QString&) -> QCoro::Task<std::optional<QString>> {
            co_return std::optional<QString>(QStringLiteral("sk-ant-test"));
        };
        improvement = std::make_unique<ImprovementService>(
            LLMClient(&network, LLMEndpoints::sourceFor(&settings)), &settings, nullptr, options);
        store = storePath.isEmpty() ? *Store::openInMemory() : *Store::open(storePath);
        if (seed) {
            auto context = store->newContext();
            seed(*context);
            QVERIFY(context->save());
        }
        StoreHolder::Opener reopen = [storePath] {
            return storePath.isEmpty() ? Store::openInMemory() : Store::open(storePath);
        };
        holder = std::make_unique<StoreHolder>(store, fallback, reopen, nullptr, &clock);
        summary = std::make_unique<SummaryService>(
            nullptr, nullptr, [this]() -> StoreContext& { return holder->context(); },
            LLMClient(&network, LLMEndpoints::sourceFor(&settings)), &settings, nullptr);
    }

    ~Harness()
    {
        window.reset();
        summary.reset();
        improvement.reset();
    }

    AssistantsWindow& open()
    {
        window = std::make_unique<AssistantsWindow>(
            holder.get(), &settings, improvement.get(), nullptr, AssistantsWindowOptions { &clock, summary.get() });
        window->show();
        [[maybe_unused]] const bool exposed = QTest::qWaitForWindowExposed(window.get());
        return *window;
    }

    // Runs `action` and waits until the window has read the store again.
    template <typename Action> bool refreshedAfter(Action action)
    {
        QSignalSpy refreshed(window.get(), &AssistantsWindow::refreshed);
        action();
        return !refreshed.isEmpty() || refreshed.wait(5000);
    }

    // Lets a pause after typing run out (the typed text is saved).
    bool typingPaused()
    {
        return refreshedAfter([this] { clock.advance(SaveAction::typingPause); });
    }

    // What was saved, seen through a context of its own.
    template <typename R> std::vector<R> saved(const Query& query = Query::all())
    {
        return holder->container()->newContext()->fetch<R>(query).value_or(std::vector<R>());
    }

    template <typename T> T* tab(const QString& id) { return qobject_cast<T*>(window->detail()->tab(id)); }

    QTemporaryDir directory;
    Settings settings;
    ManualClock clock;
    FakeHttpServer model;
    QNetworkAccessManager network;
    std::unique_ptr<ImprovementService> improvement;
    std::shared_ptr<Store> store;
    std::unique_ptr<StoreHolder> holder;
    std::unique_ptr<SummaryService> summary;
    std::unique_ptr<AssistantsWindow> window;
};

// The loopback model's reply: `json` as Claude streams it.
FakeHttpServer::Response claudeReply(const QJsonObject& json)
{
    FakeHttpServer::Response response;
    response.chunks.append(
        fakeEvents::claudeText(QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact))));
    return response;
}

ShownRecord assistantItem(const Assistant& assistant)
{
    return { ShownRecord::Kind::assistant, assistant.id };
}

ShownRecord contextItem(const CallContext& context)
{
    return { ShownRecord::Kind::context, context.id };
}

} // namespace

class AssistantsWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void storedSelection_data();
    void storedSelection();
    void createFromTemplate_data();
    void createFromTemplate();
    void contextsAndStages();
    void archiveAndRestore();
    void generalEditsAndTabs();
    void saveErrorShownAndCleared();
    void importFiles_data();
    void importFiles();
    void dropAndDialog();
    void questions();
    void calls();
    void noteIsKept();
    void searchCalls();
    void exportCall();
    void improvements();
    void toolServerEdit();
    void accessibleNames();
    void readableThroughAtSpi();
};

void AssistantsWindowTest::initTestCase()
{
    QVERIFY2(QGuiApplication::platformName() == u"xcb", "runs on Xvfb: scripts/with-services");
}

void AssistantsWindowTest::storedSelection_data()
{
    QTest::addColumn<QString>("stored"); // "assistant", "context", or the stored text itself
    QTest::addColumn<QString>("title"); // empty: the placeholder
    QTest::addColumn<bool>("fallback");

    QTest::newRow("assistant") << "assistant"
                               << "Jobs" << false;
    QTest::newRow("context") << "context"
                             << "Acme" << false;
    QTest::newRow("nothing, in memory") << ""
                                        << "" << true;
    QTest::newRow("context that is gone") << "c:0E0E7F2A-6B7C-4D5E-8F90-A1B2C3D4E5F6"
                                          << "" << false;
}

void AssistantsWindowTest::storedSelection()
{
    QFETCH(QString, stored);
    QFETCH(QString, title);
    QFETCH(bool, fallback);

    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    const CallContext acme = CallContext::make(QStringLiteral("Acme"), jobs);
    Harness harness(
        [&](StoreContext& context) {
            context.insert(jobs);
            context.insert(acme);
        },
        fallback);
    const QString text = stored == u"assistant" ? assistantItem(jobs).text()
        : stored == u"context"                  ? contextItem(acme).text()
                                                : stored;
    harness.settings.setText(SettingKey::assistantsWindowSelection, text);
    AssistantsWindow& window = harness.open();

    QCOMPARE(window.objectName(), QStringLiteral("assistants"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Assistants"));
    QCOMPARE(window.size(), AssistantsWindow::defaultSize);
    QCOMPARE(window.fallbackNotice()->isVisible(), fallback);
    QCOMPARE(window.fallbackNotice()->text(),
        QStringLiteral("The store did not open. What you edit here will be lost when you quit the app."));
    if (title.isEmpty()) {
        QVERIFY(!window.detail());
        QVERIFY(window.placeholder()->isVisible());
        QCOMPARE(window.placeholder()->text(), QStringLiteral("Choose an assistant or create one with +."));
        return;
    }
    QVERIFY(window.detail());
    QCOMPARE(window.detail()->title()->text(), title);
    QCOMPARE(window.sidebar()->currentIndex().data().toString(), title);
}

void AssistantsWindowTest::createFromTemplate_data()
{
    QTest::addColumn<AssistantTemplate>("from");
    QTest::addColumn<QString>("title");

    QTest::newRow("interview") << AssistantTemplate::interview << "Interview";
    QTest::newRow("projects") << AssistantTemplate::projects << "Projects";
    QTest::newRow("prospecting") << AssistantTemplate::prospecting << "Prospecting";
    QTest::newRow("blank") << AssistantTemplate::blank << "Blank";
}

void AssistantsWindowTest::createFromTemplate()
{
    QFETCH(AssistantTemplate, from);
    QFETCH(QString, title);

    Harness harness;
    AssistantsWindow& window = harness.open();
    // Without an assistant there is nothing to put a context in.
    QVERIFY(!actionNamed(window.createMenu(), QStringLiteral("New context in ") + title));
    for (int round = 0; round < 2; ++round) {
        QAction* entry = actionNamed(window.createMenu(), title);
        QVERIFY(entry);
        entry->trigger();
    }
    const auto assistants = harness.saved<Assistant>();
    QCOMPARE(assistants.size(), size_t(2)); // the same name twice is two assistants
    for (const Assistant& assistant : assistants) {
        QCOMPARE(assistant.name, title);
        QCOMPARE(assistant.instructions, assistantTemplate::defaultInstructions(from));
    }
    // The newest is chosen and remembered.
    QCOMPARE(harness.settings.assistantsWindowSelection(), assistantItem(assistants.back()).text());
    QCOMPARE(window.detail()->title()->text(), title);
    QCOMPARE(window.detail()->subtitle()->text(), title);
    QCOMPARE(window.detail()->tabIds(),
        (QStringList { QStringLiteral("general"), QStringLiteral("knowledge"), QStringLiteral("qa"),
            QStringLiteral("improvements"), QStringLiteral("calls") }));
    QVERIFY(actionNamed(window.createMenu(), QStringLiteral("New context in ") + title));
}

void AssistantsWindowTest::contextsAndStages()
{
    const Assistant interview = makeAssistant(QStringLiteral("Jobs & Co"), 0);
    Assistant blank = Assistant::make(QStringLiteral("Plain"), AssistantTemplate::blank);
    blank.createdAt = instant(1);
    Harness harness([&](StoreContext& context) {
        context.insert(interview);
        context.insert(blank);
    });
    harness.settings.setText(SettingKey::assistantsWindowSelection, assistantItem(interview).text());
    AssistantsWindow& window = harness.open();

    actionNamed(window.createMenu(), QStringLiteral("New context in Jobs & Co"))->trigger();
    const auto contexts = harness.saved<CallContext>();
    QCOMPARE(contexts.size(), size_t(1));
    QCOMPARE(contexts[0].name, QStringLiteral("New context"));
    QCOMPARE(contexts[0].assistant, interview.id);
    QCOMPARE(harness.settings.assistantsWindowSelection(), contextItem(contexts[0]).text());
    QCOMPARE(window.detail()->tabIds(),
        (QStringList { QStringLiteral("general"), QStringLiteral("knowledge"), QStringLiteral("calls") }));
    // With a context chosen, new contexts still go to its assistant.
    QVERIFY(actionNamed(window.createMenu(), QStringLiteral("New context in Jobs & Co")));

    // The interview stages are offered; choosing one fills the field and saves it.
    auto* general = harness.tab<ContextGeneralTab>(DetailView::general);
    QCOMPARE(general->stage()->placeholderText(), QStringLiteral("e.g. First interview"));
    QVERIFY(general->suggestions()->isEnabled());
    const QList<QAction*> stages = general->suggestions()->menu()->actions();
    QCOMPARE(stages.size(), 7);
    stages.at(2)->trigger();
    QCOMPARE(general->stage()->text(), QStringLiteral("First interview"));
    QCOMPARE(harness.saved<CallContext>()[0].stage, QStringLiteral("First interview"));

    // A context of a blank assistant is offered none.
    window.choose(assistantItem(blank));
    actionNamed(window.createMenu(), QStringLiteral("New context in Plain"))->trigger();
    QVERIFY(!harness.tab<ContextGeneralTab>(DetailView::general)->suggestions()->isEnabled());
    QVERIFY(harness.tab<ContextGeneralTab>(DetailView::general)->suggestions()->menu()->isEmpty());
}

void AssistantsWindowTest::archiveAndRestore()
{
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    const Assistant sales = makeAssistant(QStringLiteral("Sales"), 1);
    const CallContext acme = CallContext::make(QStringLiteral("Acme"), jobs);
    Harness harness([&](StoreContext& context) {
        context.insert(jobs);
        context.insert(sales);
        context.insert(acme);
    });
    harness.settings.setText(SettingKey::assistantsWindowSelection, assistantItem(jobs).text());
    AssistantsWindow& window = harness.open();
    QVERIFY(!window.detail()->banner()->isVisible());

    QVERIFY(harness.refreshedAfter([&] { actionNamed(window.moreMenu(), QStringLiteral("Archive"))->trigger(); }));
    QVERIFY(harness.saved<Assistant>()[0].archived);
    const QModelIndex section = window.sidebar()->model()->index(1, 0);
    QCOMPARE(section.data().toString(), QStringLiteral("Archived"));
    QVERIFY(!window.sidebar()->isExpanded(section));
    QCOMPARE(window.sidebar()->currentIndex().parent(), section);
    QVERIFY(window.detail()->banner()->isVisible());
    QVERIFY(window.detail()->banner()->findChild<QLabel*>()->text() == u"Archived: hidden from the main window.");
    QVERIFY(actionNamed(window.moreMenu(), QStringLiteral("Restore")));
    // No new contexts inside an archived assistant.
    QVERIFY(!actionNamed(window.createMenu(), QStringLiteral("New context in Jobs")));

    QVERIFY(harness.refreshedAfter([&] { QTest::mouseClick(window.detail()->restoreButton(), Qt::LeftButton); }));
    QVERIFY(!harness.saved<Assistant>()[0].archived);
    QVERIFY(!window.detail()->banner()->isVisible());
    QCOMPARE(window.sidebar()->model()->rowCount(), 2);
    QVERIFY(actionNamed(window.moreMenu(), QStringLiteral("Archive")));
}

void AssistantsWindowTest::generalEditsAndTabs()
{
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    Harness harness([&](StoreContext& context) {
        context.insert(jobs);
        context.insert(makeCall(jobs.id, 10));
        KnowledgeFile file = KnowledgeFile::make(QStringLiteral("cv.md"), QStringLiteral("one two"));
        file.assistant = jobs.id;
        context.insert(file);
    });
    harness.settings.setText(SettingKey::assistantsWindowSelection, assistantItem(jobs).text());
    AssistantsWindow& window = harness.open();
    auto* general = harness.tab<GeneralTab>(DetailView::general);
    QCOMPARE(general->instructions()->toPlainText(), jobs.instructions);

    // Typing is saved once it pauses; the sidebar and the title follow.
    QTest::keyClicks(general->name(), QStringLiteral(" 2"));
    QTest::keyClicks(general->styleNotes(), QStringLiteral("Short answers."));
    QCOMPARE(harness.saved<Assistant>()[0].name, QStringLiteral("Jobs"));
    QVERIFY(harness.typingPaused());
    const Assistant saved = harness.saved<Assistant>()[0];
    QCOMPARE(saved.name, QStringLiteral("Jobs 2"));
    QCOMPARE(saved.styleNotes, QStringLiteral("Short answers."));
    QCOMPARE(window.sidebar()->model()->index(0, 0).data().toString(), QStringLiteral("Jobs 2"));
    QCOMPARE(window.detail()->title()->text(), QStringLiteral("Jobs 2"));

    // Tab labels carry their counts; the open tab is remembered for the next window.
    QStringList labels;
    for (int index = 0; index < window.detail()->tabs()->count(); ++index) {
        labels.append(window.detail()->tabs()->tabText(index));
    }
    QCOMPARE(labels,
        (QStringList { QStringLiteral("General"), QStringLiteral("Knowledge 1"), QStringLiteral("Questions"),
            QStringLiteral("Improvements"), QStringLiteral("Calls 1") }));
    window.detail()->openTab(DetailView::calls);
    QCOMPARE(harness.settings.assistantTab(), QStringLiteral("calls"));
    harness.window.reset();
    AssistantsWindow& again = harness.open();
    QCOMPARE(again.detail()->currentTab(), QStringLiteral("calls"));
    QCOMPARE(again.detail()->title()->text(), QStringLiteral("Jobs 2"));
}

void AssistantsWindowTest::saveErrorShownAndCleared()
{
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    Harness harness([&](StoreContext& context) { context.insert(jobs); });
    harness.settings.setText(SettingKey::assistantsWindowSelection, assistantItem(jobs).text());
    AssistantsWindow& window = harness.open();
    QVERIFY(!window.saveError()->isVisible());

    harness.store->database().exec("CREATE TRIGGER refuse BEFORE UPDATE ON \"Assistant\" "
                                   "BEGIN SELECT RAISE(ABORT, 'disk says no'); END");
    QTest::ignoreMessage(QtCriticalMsg, "Could not save: disk says no");
    auto* general = harness.tab<GeneralTab>(DetailView::general);
    general->instructions()->moveCursor(QTextCursor::End);
    QTest::keyClicks(general->instructions(), QStringLiteral(" More."));
    harness.clock.advance(SaveAction::typingPause);
    QVERIFY(window.saveError()->isVisible());
    QCOMPARE(window.saveError()->text(), QStringLiteral("Could not save: disk says no"));
    QCOMPARE(window.saveError()->palette().color(QPalette::WindowText).red(), 224);
    // The edit stays on screen and pending.
    QCOMPARE(general->instructions()->toPlainText(), jobs.instructions + QStringLiteral(" More."));
    QCOMPARE(harness.saved<Assistant>()[0].instructions, jobs.instructions);

    // A new assistant that cannot be stored does not look created.
    QTest::ignoreMessage(QtCriticalMsg, "Could not save: disk says no");
    actionNamed(window.createMenu(), QStringLiteral("Blank"))->trigger();
    QCOMPARE(harness.holder->context().fetch<Assistant>()->size(), size_t(1));

    // The next good save stores the kept edit and clears the message.
    harness.store->database().exec("DROP TRIGGER refuse");
    QTest::keyClicks(general->styleNotes(), QStringLiteral("Calm."));
    QVERIFY(harness.typingPaused());
    QVERIFY(!window.saveError()->isVisible());
    QCOMPARE(harness.saved<Assistant>()[0].instructions, jobs.instructions + QStringLiteral(" More."));
    QCOMPARE(harness.saved<Assistant>()[0].styleNotes, QStringLiteral("Calm."));
}

void AssistantsWindowTest::importFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error"); // empty: imported

    // Which files import is the knowledge import's own test; here, how the tab shows each outcome.
    QTest::newRow("imported") << "notes.TXT" << QByteArray("ten bytes!") << "";
    QTest::newRow("refused") << "cv.pdf" << QByteArray("%PDF") << "cv.pdf: Only .md or .txt files.";
}

void AssistantsWindowTest::importFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);

    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    const CallContext acme = CallContext::make(QStringLiteral("Acme"), jobs);
    Harness harness([&](StoreContext& context) {
        context.insert(jobs);
        context.insert(acme);
    });
    harness.settings.setText(SettingKey::assistantsWindowSelection, contextItem(acme).text());
    harness.settings.setText(SettingKey::contextTab, DetailView::knowledge);
    AssistantsWindow& window = harness.open();
    auto* knowledge = harness.tab<KnowledgeTab>(DetailView::knowledge);
    QVERIFY(knowledge->dropArea()->isVisible());
    QCOMPARE(knowledge->dropArea()->text(), QStringLiteral("Drag .md or .txt files here."));

    const QString path = writeFile(harness.directory, name, bytes);
    QVERIFY(!path.isEmpty());
    if (!error.isEmpty()) {
        knowledge->importFiles({ path });
        QVERIFY(harness.saved<KnowledgeFile>().empty());
        QVERIFY(knowledge->errors()->isVisible());
        QCOMPARE(knowledge->errors()->text(), error);
        QCOMPARE(window.detail()->tabs()->tabText(1), QStringLiteral("Files"));
        return;
    }
    QVERIFY(harness.refreshedAfter([&] { knowledge->importFiles({ path }); }));
    const auto files = harness.saved<KnowledgeFile>();
    QCOMPARE(files.size(), size_t(1));
    QCOMPARE(files[0].name, name);
    QCOMPARE(files[0].content.toUtf8(), bytes);
    QCOMPARE(files[0].context, acme.id); // the context's own file, not the assistant's
    QVERIFY(!files[0].assistant);
    QVERIFY(!knowledge->errors()->isVisible());
    QVERIFY(!knowledge->dropArea()->isVisible());
    QCOMPARE(itemTexts(knowledge->files()).size(), 1);
    QVERIFY(itemTexts(knowledge->files()).first().startsWith(name + u'\n'));
    QCOMPARE(window.detail()->tabs()->tabText(1), QStringLiteral("Files 1"));

    // Removing it from its context menu deletes it.
    QMenu* menu = knowledge->menuFor(knowledge->files()->model()->index(0, 0));
    QVERIFY(harness.refreshedAfter([&] { actionNamed(menu, QStringLiteral("Remove"))->trigger(); }));
    QVERIFY(harness.saved<KnowledgeFile>().empty());
    QVERIFY(knowledge->dropArea()->isVisible());
}

void AssistantsWindowTest::dropAndDialog()
{
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    Harness harness([&](StoreContext& context) { context.insert(jobs); });
    harness.settings.setText(SettingKey::assistantsWindowSelection, assistantItem(jobs).text());
    harness.settings.setText(SettingKey::assistantTab, DetailView::knowledge);
    harness.open();
    auto* knowledge = harness.tab<KnowledgeTab>(DetailView::knowledge);

    // Two files dropped on the list; a web link among them is not a file and is left out.
    QMimeData mime;
    mime.setUrls({ QUrl::fromLocalFile(writeFile(harness.directory, QStringLiteral("cv.md"), "Ten years of C++")),
        QUrl(QStringLiteral("https://example.com/page.md")),
        QUrl::fromLocalFile(writeFile(harness.directory, QStringLiteral("brief.txt"), "Acme wants a demo")) });
    QWidget* target = knowledge->files()->isVisible() ? knowledge->files()->viewport() : knowledge->dropArea();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(knowledge, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(knowledge, &drop);
    auto names = [&] {
        QStringList names;
        for (const KnowledgeFile& file : harness.saved<KnowledgeFile>(Query::ofAssistant(jobs.id))) {
            names.append(file.name);
        }
        names.sort(); // imported within the same instant, their order is not fixed
        return names;
    };
    QCOMPARE(names(), (QStringList { QStringLiteral("brief.txt"), QStringLiteral("cv.md") }));
    QCOMPARE(itemTexts(knowledge->files()).size(), 2);

    // A drag of text alone is refused.
    QMimeData snippet;
    snippet.setText(QStringLiteral("some text"));
    QDragEnterEvent textEnter(at, Qt::CopyAction, &snippet, Qt::LeftButton, Qt::NoModifier);
    textEnter.setAccepted(false);
    QApplication::sendEvent(knowledge, &textEnter);
    QVERIFY(!textEnter.isAccepted());

    // The file dialog takes several files at once; failures of the last import go when the next starts.
    knowledge->importFiles({ harness.directory.filePath(QStringLiteral("missing.pdf")) });
    QVERIFY(knowledge->errors()->isVisible());
    const QString notes = writeFile(harness.directory, QStringLiteral("notes.md"), "Remember the demo");
    QTest::mouseClick(knowledge->addButton(), Qt::LeftButton);
    QFileDialog* dialog = knowledge->fileDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
    QVERIFY(dialog->nameFilters().first().contains(QStringLiteral("*.md")));
    dialog->setDirectory(harness.directory.path());
    dialog->selectFile(notes);
    static_cast<QDialog*>(dialog)->accept();
    QCOMPARE(
        names(), (QStringList { QStringLiteral("brief.txt"), QStringLiteral("cv.md"), QStringLiteral("notes.md") }));
    QVERIFY(!knowledge->errors()->isVisible());
}

void AssistantsWindowTest::questions()
{
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    Harness harness([&](StoreContext& context) { context.insert(jobs); });
    harness.settings.setText(SettingKey::assistantsWindowSelection, assistantItem(jobs).text());
    harness.settings.setText(SettingKey::assistantTab, DetailView::questions);
    AssistantsWindow& window = harness.open();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* questions = harness.tab<QuestionsTab>(DetailView::questions);
    QCOMPARE(questions->search()->placeholderText(), QStringLiteral("Search questions"));
    QCOMPARE(questions->listArea()->currentIndex(), 1); // "No questions"
    QCOMPARE(questions->editorArea()->currentIndex(), 0); // "Choose a question or create one with +."

    QVERIFY(harness.refreshedAfter([&] { QTest::mouseClick(questions->addButton(), Qt::LeftButton); }));
    auto items = harness.saved<QAItem>();
    QCOMPARE(items.size(), size_t(1));
    QCOMPARE(items[0].source, QStringLiteral("manual"));
    QCOMPARE(items[0].assistant, jobs.id);
    QuestionEditor* editor = questions->editor();
    QTRY_VERIFY(editor->question()->hasFocus());
    QCOMPARE(editor->source()->text(), QStringLiteral("Written by you"));
    QCOMPARE(itemTexts(questions->list()), QStringList { QStringLiteral("No question\nNo answer") });
    QCOMPARE(window.detail()->tabs()->tabText(2), QStringLiteral("Questions 1"));

    // Edits set the update time and are saved; the list follows.
    const QDateTime created = items[0].updatedAt;
    QTest::keyClicks(editor->question(), QStringLiteral("Salary?"));
    QTest::keyClicks(editor->answer(), QStringLiteral("Market rate."));
    QVERIFY(harness.typingPaused());
    items = harness.saved<QAItem>();
    QCOMPARE(items[0].question, QStringLiteral("Salary?"));
    QCOMPARE(items[0].answer, QStringLiteral("Market rate."));
    QVERIFY(items[0].updatedAt > created);
    QCOMPARE(itemTexts(questions->list()), QStringList { QStringLiteral("Salary?") });
    QVERIFY(editor->question()->hasFocus()); // the refresh left the field alone
    editor->language()->setCurrentIndex(2);
    Q_EMIT editor->language()->activated(2);
    QCOMPARE(harness.saved<QAItem>()[0].language, QStringLiteral("en"));

    // Removal asks first.
    QTest::mouseClick(editor->removeButton(), Qt::LeftButton);
    QMessageBox* confirmation = editor->confirmation();
    QVERIFY(confirmation);
    QCOMPARE(confirmation->text(), QStringLiteral("Remove this question?"));
    confirmation->button(QMessageBox::Cancel)->click();
    QCOMPARE(harness.saved<QAItem>().size(), size_t(1));
    QTest::mouseClick(editor->removeButton(), Qt::LeftButton);
    QAbstractButton* remove = nullptr;
    for (QAbstractButton* button : editor->confirmation()->buttons()) {
        if (button->text() == u"Remove") {
            remove = button;
        }
    }
    QVERIFY(harness.refreshedAfter([&] { remove->click(); }));
    QVERIFY(harness.saved<QAItem>().empty());
    QCOMPARE(questions->editorArea()->currentIndex(), 0);
}

void AssistantsWindowTest::calls()
{
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    const CallContext acme = CallContext::make(QStringLiteral("Acme & Sons"), jobs);
    QTemporaryDir files;
    const QString archive = writeFile(files, QStringLiteral("call.md"), "# Call");
    Call older = makeCall(jobs.id, 100, acme.id);
    older.archiveFile = files.filePath(QStringLiteral("deleted.md"));
    older.summary.clear();
    older.reviewedForImprovement = true; // given up on by improvement from history
    older.improvementFailure = QStringLiteral("Claude declined to answer this one.");
    older.improvementFailures = 2;
    Call newer = makeCall(jobs.id, 1000);
    newer.endedAt = newer.startedAt.addSecs(125);
    newer.archiveFile = archive;
    newer.linesData = blob::encodeLines({ { false, QStringLiteral("Why us?"), instant(1001) },
        { true, QStringLiteral("Because of the team."), instant(1003) } });
    newer.suggestionsData = blob::encodeSuggestions({ { QStringLiteral("Mention the team"), instant(1002) } });
    Harness harness([&](StoreContext& context) {
        context.insert(jobs);
        context.insert(acme);
        context.insert(older);
        context.insert(newer);
    });
    harness.settings.setText(SettingKey::assistantsWindowSelection, assistantItem(jobs).text());
    harness.settings.setText(SettingKey::assistantTab, DetailView::calls);
    AssistantsWindow& window = harness.open();
    auto* calls = harness.tab<CallsTab>(DetailView::calls);
    QList<CallRow*> rows = calls->rows();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0]->callID(), newer.id); // the model's order
    QVERIFY(rows[1]->header()->accessibleName().endsWith(QStringLiteral(" · Acme & Sons")));
    QVERIFY(QKeySequence::mnemonic(rows[1]->header()->text()).isEmpty()); // "&" is shown, not a mnemonic
    QCOMPARE(rows[0]->outcomeMark()->text(), QStringLiteral("\u2014"));
    QVERIFY(!rows[0]->summary()); // built when first opened

    QTest::mouseClick(rows[0]->header(), Qt::LeftButton);
    QVERIFY(rows[0]->isExpanded());
    QCOMPARE(rows[0]->summary()->text(), QStringLiteral("call at 1000"));
    QCOMPARE(rows[0]->transcript()->toPlainText(),
        QStringLiteral("Them: Why us?\nSuggestion (%1): Mention the team\nYou: Because of the team.")
            .arg(QLocale().toString(instant(1002).toLocalTime().time(), QLocale::ShortFormat)));
    QVERIFY(rows[0]->openFileButton()->isVisible());
    UrlOpener opener;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
    QTest::mouseClick(rows[0]->openFileButton(), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(opener.opened, QList<QUrl> { QUrl::fromLocalFile(archive) });
    rows[1]->setExpanded(true);
    QCOMPARE(rows[1]->summary()->text(), QStringLiteral("No summary."));
    QVERIFY(!rows[1]->openFileButton()->isVisible()); // its file was deleted
    QVERIFY(!rows[1]->revealButton()->isVisible());
    // A call stored without a summary offers to write it, and its file with it.
    QVERIFY(!rows[0]->summarizeButton()->isVisible());
    QCOMPARE(rows[1]->summarizeButton()->text(), QStringLiteral("Write summary"));
    QVERIFY(harness.refreshedAfter([&] { QTest::mouseClick(rows[1]->summarizeButton(), Qt::LeftButton); }));
    QCOMPARE(rows[1]->summary()->text(), QStringLiteral("Short call: no summary."));
    QVERIFY(!rows[1]->summarizeButton()->isVisible());
    QVERIFY(rows[1]->openFileButton()->isVisible());

    // A call improvement gave up on says why and can be asked for again.
    QVERIFY(!rows[0]->analyzeAgainButton()->isVisible());
    QCOMPARE(rows[1]->findChild<QLabel*>(QStringLiteral("improvementFailure"))->text(),
        QStringLiteral("Improvement from history gave up on this call: Claude declined to answer this one."));
    QVERIFY(harness.refreshedAfter([&] { QTest::mouseClick(rows[1]->analyzeAgainButton(), Qt::LeftButton); }));
    const Call askedAgain = harness.saved<Call>(Query::byId(older.id))[0];
    QVERIFY(!askedAgain.reviewedForImprovement && askedAgain.improvementFailure.isEmpty());
    QCOMPARE(askedAgain.improvementFailures, 0);
    QVERIFY(!rows[1]->analyzeAgainButton()->isVisible());

    // The thumbs rate through the outcome writer (whose rules are its own test); the rows stay open across
    // the refreshes.
    auto outcome = [&] { return harness.saved<Call>(Query::byId(newer.id))[0].outcome; };
    QVERIFY(harness.refreshedAfter([&] { QTest::mouseClick(rows[0]->goodButton(), Qt::LeftButton); }));
    QCOMPARE(outcome(), QStringLiteral("positive"));
    QCOMPARE(rows[0]->outcomeMark()->accessibleName(), QStringLiteral("Good call"));
    QVERIFY(harness.refreshedAfter([&] { rows[0]->badButton()->toggle(); })); // as assistive technology does
    QCOMPARE(outcome(), QStringLiteral("negative"));
    QCOMPARE(calls->rows(), rows);
    QVERIFY(rows[0]->isExpanded());

    // A context's list has no context names; with no calls it says so.
    window.choose(contextItem(acme));
    window.detail()->openTab(DetailView::calls);
    const QList<CallRow*> contextRows = harness.tab<CallsTab>(DetailView::calls)->rows();
    QCOMPARE(contextRows.size(), 1);
    QVERIFY(contextRows[0]->header()->text().endsWith(QStringLiteral(" · 1 min")));
    actionNamed(window.createMenu(), QStringLiteral("New context in Jobs"))->trigger();
    window.detail()->openTab(DetailView::calls);
    QVERIFY(harness.tab<CallsTab>(DetailView::calls)->emptyText()->isVisible());
    QCOMPARE(harness.tab<CallsTab>(DetailView::calls)->emptyText()->text(), QStringLiteral("No calls yet."));
}

void AssistantsWindowTest::noteIsKept()
{
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    const Call call = makeCall(jobs.id, 100);
    Harness harness([&](StoreContext& context) {
        context.insert(jobs);
        context.insert(call);
    });
    harness.settings.setText(SettingKey::assistantsWindowSelection, assistantItem(jobs).text());
    harness.settings.setText(SettingKey::assistantTab, DetailView::calls);
    AssistantsWindow& window = harness.open();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    CallRow* row = harness.tab<CallsTab>(DetailView::calls)->rows().first();
    row->setExpanded(true);
    QCOMPARE(row->note()->placeholderText(), QStringLiteral("Note (optional)"));
    auto note = [&] { return harness.saved<Call>()[0].outcomeNote; };

    // Typed, then the row collapses: saved.
    row->note()->setFocus();
    QTest::keyClicks(row->note(), QStringLiteral("Went well"));
    row->setExpanded(false);
    QCOMPARE(note(), QStringLiteral("Went well"));

    // Typing while the store is read again (as after another process's write): the row and the
    // typed text stay; showing another item saves it.
    row->setExpanded(true);
    row->note()->setFocus();
    QTRY_VERIFY(row->note()->hasFocus());
    QTest::keyClicks(row->note(), QStringLiteral(", mostly"));
    QVERIFY(harness.refreshedAfter([&] { Q_EMIT harness.holder->changed(); }));
    QCOMPARE(harness.tab<CallsTab>(DetailView::calls)->rows().first(), row);
    QCOMPARE(row->note()->text(), QStringLiteral("Went well, mostly"));
    QCOMPARE(note(), QStringLiteral("Went well"));
    actionNamed(window.createMenu(), QStringLiteral("Blank"))->trigger();
    QCOMPARE(note(), QStringLiteral("Went well, mostly"));
    window.choose(assistantItem(jobs));
    row = harness.tab<CallsTab>(DetailView::calls)->rows().first();
    row->setExpanded(true);
    row->note()->setFocus();
    QTRY_VERIFY(row->note()->hasFocus());
    QTest::keyClicks(row->note(), QStringLiteral("!"));

    // A failed save shows like any other and keeps the note for the next one.
    harness.store->database().exec("CREATE TRIGGER refuse BEFORE UPDATE ON \"Call\" "
                                   "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END");
    QTest::ignoreMessage(QtCriticalMsg, "Could not save: database or disk is full");
    QTest::ignoreMessage(QtCriticalMsg, "Could not save the call note: database or disk is full");
    QTest::keyClick(row->note(), Qt::Key_Return);
    QCOMPARE(window.saveError()->text(), QStringLiteral("Could not save: database or disk is full"));
    QCOMPARE(row->note()->text(), QStringLiteral("Went well, mostly!"));
    QCOMPARE(note(), QStringLiteral("Went well, mostly"));
    harness.store->database().exec("DROP TRIGGER refuse");
    QVERIFY(harness.refreshedAfter([&] { QTest::mouseClick(row->goodButton(), Qt::LeftButton); }));
    QCOMPARE(note(), QStringLiteral("Went well, mostly!"));
    QVERIFY(!window.saveError()->isVisible());
}

void AssistantsWindowTest::searchCalls()
{
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    const Assistant sales = makeAssistant(QStringLiteral("Sales"), 1);
    const CallContext acme = CallContext::make(QStringLiteral("Acme"), jobs);
    Call interview = makeCall(jobs.id, 100, acme.id);
    QList<CallLine> lines;
    for (int i = 0; i < 40; ++i) {
        lines.append({ i % 2 == 0, QStringLiteral("Small talk %1").arg(i), instant(101 + i) });
    }
    lines[33].text = QStringLiteral("What about the relocation package?");
    interview.linesData = blob::encodeLines(lines);
    Call pitch = makeCall(sales.id, 200);
    pitch.outcomeNote = QStringLiteral("They asked about relocation too");
    Harness harness([&](StoreContext& context) {
        context.insert(jobs);
        context.insert(sales);
        context.insert(acme);
        context.insert(interview);
        context.insert(pitch);
        context.insert(makeCall(jobs.id, 300));
    });
    harness.settings.setText(SettingKey::assistantsWindowSelection, assistantItem(jobs).text());
    AssistantsWindow& window = harness.open();
    CallSearchView* search = window.callSearch();
    auto* content = window.findChild<QStackedWidget*>();
    const auto typed = [&](const QString& text) {
        QSignalSpy searched(search, &CallSearchView::searched);
        search->field()->setText(text);
        harness.clock.advance(CallSearchView::typingPause);
        return !searched.isEmpty() || searched.wait(5000);
    };
    const auto found = [&] {
        QStringList rows;
        for (int row = 0; row < search->model()->rowCount(); ++row) {
            rows.append(search->model()
                            ->index(row)
                            .data(CallSearchModel::headingRole)
                            .toString()
                            .section(QStringLiteral(" · "), 1));
        }
        return rows;
    };

    // Newest first among equal matches; the list takes the detail's place while there is a search.
    QVERIFY(typed(QStringLiteral("RELOC")));
    QCOMPARE(content->currentWidget(), search);
    QCOMPARE(found(), (QStringList { QStringLiteral("Sales"), QStringLiteral("Jobs · Acme") }));
    QCOMPARE(search->status()->text(), QStringLiteral("2 calls found."));
    const QModelIndex first = search->model()->index(0);
    QCOMPARE(first.data(CallSearchModel::passageRole).toString(), pitch.outcomeNote);
    QCOMPARE(first.data(CallSearchModel::marksRole).value<QList<QPoint>>(), QList<QPoint> { QPoint(17, 10) });

    // Only the assistant chosen in the sidebar.
    QCOMPARE(search->scope()->count(), 2);
    search->scope()->setCurrentIndex(1);
    QCOMPARE(found(), QStringList { QStringLiteral("Jobs · Acme") });

    // Choosing a call opens it in its assistant's calls with the matching line selected and in view.
    search->scope()->setCurrentIndex(0);
    QVERIFY(typed(QStringLiteral("relocation package")));
    QListView* results = search->results();
    QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, results->visualRect(search->model()->index(0)).center());
    QCOMPARE(content->currentWidget(), window.detail());
    QCOMPARE(window.detail()->currentTab(), DetailView::calls);
    CallRow* row = harness.tab<CallsTab>(DetailView::calls)->rows().at(1);
    QCOMPARE(row->callID(), interview.id);
    QVERIFY(row->isExpanded());
    QCOMPARE(
        row->transcript()->textCursor().selectedText(), QStringLiteral("Them: What about the relocation package?"));
    QVERIFY(row->transcript()->viewport()->visibleRegion().intersects(row->transcript()->cursorRect()));

    // The search stays; Enter brings its list back, and clearing it shows the detail again.
    QCOMPARE(search->field()->text(), QStringLiteral("relocation package"));
    QTest::keyClick(search->field(), Qt::Key_Return);
    QCOMPARE(content->currentWidget(), search);
    search->field()->clear();
    QCOMPARE(content->currentWidget(), window.detail());
}

void AssistantsWindowTest::exportCall()
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    Call call = makeCall(jobs.id, 100);
    call.linesData = blob::encodeLines({ { false, QStringLiteral("Why us?"), instant(102) } });
    Harness harness([&](StoreContext& context) {
        context.insert(jobs);
        context.insert(call);
    });
    harness.settings.setText(SettingKey::assistantsWindowSelection, assistantItem(jobs).text());
    harness.settings.setText(SettingKey::assistantTab, DetailView::calls);
    harness.open();
    CallRow* row = harness.tab<CallsTab>(DetailView::calls)->rows().first();
    row->setExpanded(true);
    const QString target = harness.directory.filePath(QStringLiteral("interview"));

    // The chosen format's extension goes onto the typed name.
    QTest::mouseClick(row->exportButton(), Qt::LeftButton);
    QFileDialog* dialog = row->exportDialog();
    QVERIFY(dialog);
    QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
    dialog->selectNameFilter(dialog->nameFilters().at(1));
    Q_EMIT dialog->filterSelected(dialog->nameFilters().at(1));
    dialog->setDirectory(harness.directory.path());
    dialog->selectFile(target);
    static_cast<QDialog*>(dialog)->accept();
    const QByteArray subRip = storeTesting::fileBytes(target + QStringLiteral(".srt"));
    QVERIFY2(subRip.startsWith("1\n00:00:02,000 --> 00:00:12,000\nOther: Why us?\n"), subRip.constData());
    QCOMPARE(row->exportStatus()->text(), QStringLiteral("Exported to interview.srt"));

    // A file that cannot be written says why.
    row->exportTo(harness.directory.filePath(QStringLiteral("missing/call.json")), callExport::Format::json);
    QVERIFY(row->exportStatus()->text().startsWith(QStringLiteral("Could not export the call: ")));
    row->exportTo(harness.directory.filePath(QStringLiteral("call.vtt")), callExport::Format::json);
    QVERIFY(storeTesting::fileBytes(harness.directory.filePath(QStringLiteral("call.vtt"))).startsWith("WEBVTT\n"));
}

void AssistantsWindowTest::improvements()
{
    const Assistant jobs = Assistant::make(QStringLiteral("Jobs"), AssistantTemplate::blank);
    Call call = makeCall(jobs.id, 100);
    const QString said = QStringLiteral("I can start in two weeks, after my notice.");
    call.linesData = blob::encodeLines(
        { { false, QStringLiteral("What is your notice period?"), instant(101) }, { true, said, instant(102) } });
    Harness harness([&](StoreContext& context) {
        context.insert(jobs);
        context.insert(call);
    });
    // The call's analysis proposes an answer and a style note, both quoting it; the merge keeps both.
    auto draft = [&](const QString& kind, const QString& question, const QString& answer, const QString& text) {
        return QJsonObject { { QStringLiteral("kind"), kind }, { QStringLiteral("question"), question },
            { QStringLiteral("answer"), answer }, { QStringLiteral("language"), QStringLiteral("en") },
            { QStringLiteral("targetQA"), QString() }, { QStringLiteral("text"), text },
            { QStringLiteral("reason"), QStringLiteral("It came up.") } };
    };
    QJsonObject answer =
        draft(QStringLiteral("newQA"), QStringLiteral("Notice period?"), QStringLiteral("Two weeks."), {});
    QJsonObject style = draft(QStringLiteral("style"), {}, {}, QStringLiteral("Gives dates."));
    const QJsonArray quotes { QJsonObject {
        { QStringLiteral("callID"), uuid::toText(call.id) }, { QStringLiteral("text"), said } } };
    QJsonObject analysedAnswer = answer;
    analysedAnswer.insert(QStringLiteral("quotes"), quotes);
    QJsonObject analysedStyle = style;
    analysedStyle.insert(QStringLiteral("quotes"), quotes);
    answer.insert(QStringLiteral("sources"), QJsonArray { 0 });
    style.insert(QStringLiteral("sources"), QJsonArray { 1 });
    harness.model.handle("/v1/messages", [&](const FakeHttpServer::Request& request) {
        const bool merging =
            request.json().value(QLatin1String("system")).toString() == improvement::mergeSystemPrompt();
        const QJsonArray proposals =
            merging ? QJsonArray { answer, style } : QJsonArray { analysedAnswer, analysedStyle };
        return claudeReply(QJsonObject { { QStringLiteral("proposals"), proposals } });
    });
    harness.settings.setText(SettingKey::assistantsWindowSelection, assistantItem(jobs).text());
    harness.settings.setText(SettingKey::assistantTab, DetailView::improvements);
    AssistantsWindow& window = harness.open();
    auto* tab = harness.tab<ImprovementsTab>(DetailView::improvements);
    QCOMPARE(tab->runButton()->text(), QStringLiteral("Improve from history (1 new call)"));
    QVERIFY(tab->runButton()->isEnabled());
    QVERIFY(tab->proposals().isEmpty());

    // One run: the outcome and the two pending proposals once it ends.
    QSignalSpy ended(harness.improvement.get(), &ImprovementService::ended);
    QVERIFY(harness.refreshedAfter([&] {
        QTest::mouseClick(tab->runButton(), Qt::LeftButton);
        QVERIFY(ended.wait(10000)); // the proposals are stored just before it ends
    }));
    QCOMPARE(tab->proposals().size(), 2);
    QVERIFY(tab->outcome()->isVisible());
    QCOMPARE(tab->outcome()->text(), harness.improvement->message().value_or(QString()));
    QVERIFY(!tab->progress()->isVisible());
    QCOMPARE(tab->runButton()->text(), QStringLiteral("Improve from history (0 new calls)"));
    QVERIFY(!tab->runButton()->isEnabled());
    QCOMPARE(window.detail()->tabs()->tabText(3), QStringLiteral("Improvements 2"));
    ProposalView* first = tab->proposals().at(0);
    ProposalView* second = tab->proposals().at(1);
    QCOMPARE(first->proposal().kindValue(), ProposalKind::newQA);
    QStringList shown;
    for (const QLabel* label : first->findChildren<QLabel*>()) {
        shown.append(label->text());
    }
    QVERIFY2(shown.contains(QStringLiteral("Answer: Two weeks.")), qPrintable(shown.join(u'|')));
    QVERIFY2(shown.contains(QStringLiteral("\u201C") + said + QStringLiteral("\u201D (")
                 + QLocale().toString(call.startedAt.toLocalTime().date(), QLocale::ShortFormat) + u')'),
        qPrintable(shown.join(u'|')));

    // Being edited, a proposal survives the store being read again.
    QTest::mouseClick(second->button(QStringLiteral("Edit and accept")), Qt::LeftButton);
    QVERIFY(second->isEditing());
    second->textField()->setPlainText(QString());
    QVERIFY(!second->button(QStringLiteral("Confirm"))->isEnabled());
    second->textField()->setPlainText(QStringLiteral("Gives exact dates."));
    QVERIFY(second->button(QStringLiteral("Confirm"))->isEnabled());
    QVERIFY(harness.refreshedAfter([&] { Q_EMIT harness.holder->changed(); }));
    QCOMPARE(tab->proposals().at(1), second);
    QCOMPARE(second->textField()->toPlainText(), QStringLiteral("Gives exact dates."));
    QTest::mouseClick(second->button(QStringLiteral("Cancel")), Qt::LeftButton);
    QVERIFY(!second->isEditing());

    // One accept, one discard, each applied in a later turn and saved.
    QSignalSpy applied(tab->section(), &ImprovementsSection::applied);
    QTest::mouseClick(first->button(QStringLiteral("Accept")), Qt::LeftButton);
    QVERIFY(applied.wait(5000));
    const auto bank = harness.saved<QAItem>();
    QCOMPARE(bank.size(), size_t(1));
    QCOMPARE(bank[0].question, QStringLiteral("Notice period?"));
    QCOMPARE(bank[0].answer, QStringLiteral("Two weeks."));
    QCOMPARE(bank[0].source, uuid::toText(call.id));
    QTest::mouseClick(second->button(QStringLiteral("Discard")), Qt::LeftButton);
    QVERIFY(applied.wait(5000));
    // The save right before `applied` has asked the window to read the store again.
    QVERIFY(harness.refreshedAfter([] {}));
    QVERIFY(harness.saved<Assistant>()[0].styleNotes.isEmpty());
    QStringList statuses;
    for (const Proposal& proposal : harness.saved<Proposal>()) {
        statuses.append(proposal.status);
    }
    statuses.sort();
    QCOMPARE(statuses, (QStringList { QStringLiteral("accepted"), QStringLiteral("discarded") }));
    QVERIFY(tab->proposals().isEmpty());
    QVERIFY(tab->reviewedToggle()->isVisible());
    QCOMPARE(tab->reviewedToggle()->text(), QStringLiteral("Reviewed (2)"));
    QVERIFY(!tab->reviewedList()->isVisible());
    tab->reviewedToggle()->click();
    QVERIFY(tab->reviewedList()->isVisible());
    QCOMPARE(
        tab->reviewedList()->findChildren<QLabel*>().first()->text(), QStringLiteral("How you answer · Discarded"));
    QCOMPARE(window.detail()->tabs()->tabText(3), QStringLiteral("Improvements"));
}

void AssistantsWindowTest::toolServerEdit()
{
    QTemporaryDir home;
    ServerProcess server(home.path());
    QVERIFY(QDir().mkpath(QFileInfo(server.storePath()).path()));
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    Harness harness([&](StoreContext& context) { context.insert(jobs); }, false, server.storePath());
    StoreChangeObserver observer(nullptr);
    if (!observer.isConnected()) {
        QSKIP("needs the session bus of scripts/with-services");
    }
    QObject::connect(&observer, &StoreChangeObserver::changed, harness.holder.get(), &StoreHolder::externalWrite);
    harness.settings.setText(SettingKey::assistantsWindowSelection, assistantItem(jobs).text());
    AssistantsWindow& window = harness.open();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* general = harness.tab<GeneralTab>(DetailView::general);
    general->styleNotes()->setFocus();
    QTRY_VERIFY(general->styleNotes()->hasFocus());
    QTest::keyClicks(general->styleNotes(), QStringLiteral("Typing"));

    QVERIFY(server.start());
    const QByteArray request =
        QJsonDocument(QJsonObject { { QStringLiteral("jsonrpc"), QStringLiteral("2.0") }, { QStringLiteral("id"), 1 },
                          { QStringLiteral("method"), QStringLiteral("tools/call") },
                          { QStringLiteral("params"),
                              QJsonObject { { QStringLiteral("name"), QStringLiteral("update_assistant") },
                                  { QStringLiteral("arguments"),
                                      QJsonObject { { QStringLiteral("assistant"), uuid::toText(jobs.id) },
                                          { QStringLiteral("name"), QStringLiteral("Careers") } } } } } })
            .toJson(QJsonDocument::Compact);
    QSignalSpy notified(&observer, &StoreChangeObserver::changed);
    const QJsonObject answer = server.request(request);
    QVERIFY2(!answer.value(QLatin1String("result")).toObject().value(QLatin1String("isError")).toBool(),
        QJsonDocument(answer).toJson().constData());
    QVERIFY(!notified.isEmpty() || notified.wait(5000));
    // The holder reopens 0.3 s after the signal, on the harness's clock.
    QVERIFY(harness.holder->isRefreshPending());
    QVERIFY(harness.refreshedAfter([&] { harness.clock.advance(std::chrono::milliseconds(StoreHolder::debounceMs)); }));
    QCOMPARE(harness.holder->generation(), 1);
    QCOMPARE(window.sidebar()->model()->index(0, 0).data().toString(), QStringLiteral("Careers"));
    QCOMPARE(window.detail()->title()->text(), QStringLiteral("Careers"));
    QCOMPARE(general->styleNotes()->toPlainText(), QStringLiteral("Typing"));
    QVERIFY(general->styleNotes()->hasFocus());
    // The edit pending before the reopen was saved first, next to the tool server's.
    const Assistant saved = harness.saved<Assistant>()[0];
    QCOMPARE(saved.name, QStringLiteral("Careers"));
    QCOMPARE(saved.styleNotes, QStringLiteral("Typing"));
    QCOMPARE(server.finish(), 0);
}

void AssistantsWindowTest::accessibleNames()
{
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    Harness harness([&](StoreContext& context) {
        context.insert(jobs);
        context.insert(CallContext::make(QStringLiteral("Acme"), jobs));
        context.insert(makeCall(jobs.id, 10));
        QAItem item = QAItem::make(QStringLiteral("Q"), QStringLiteral("A"), QString(), QStringLiteral("manual"));
        item.assistant = jobs.id;
        context.insert(item);
    });
    harness.settings.setText(SettingKey::assistantsWindowSelection, assistantItem(jobs).text());
    AssistantsWindow& window = harness.open();
    DetailView* detail = window.detail();
    for (const QString& id : detail->tabIds()) {
        detail->openTab(id);
    }
    harness.tab<CallsTab>(DetailView::calls)->rows().first()->setExpanded(true);
    QListView* questionList = harness.tab<QuestionsTab>(DetailView::questions)->list();
    questionList->setCurrentIndex(questionList->model()->index(0, 0));

    // Every control is named as its label, tooltip or text reads.
    QStringList unnamed;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget)
            || qobject_cast<QPlainTextEdit*>(widget) || qobject_cast<QComboBox*>(widget)
            || qobject_cast<QAbstractItemView*>(widget);
        // Qt's own parts (tab scrollers, headers, a combo box's popup) are named by Qt.
        if (!control || widget->window() != &window || widget->parent()->inherits("QTabBar")
            || widget->inherits("QHeaderView") || widget->inherits("QLineEditIconButton")) {
            continue;
        }
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        const QString name = accessible ? accessible->text(QAccessible::Name) : QString();
        const auto* button = qobject_cast<QAbstractButton*>(widget);
        const QString expected = !widget->toolTip().isEmpty() ? widget->toolTip()
            : button && !button->text().isEmpty()             ? button->text()
                                                              : name;
        if (name.isEmpty() || name != expected) {
            unnamed.append(QString::fromLatin1(widget->metaObject()->className()) + QStringLiteral(" ")
                + widget->objectName() + QStringLiteral(" '") + name + u'\'');
        }
    }
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u'\n')));
    auto* general = harness.tab<GeneralTab>(DetailView::general);
    QCOMPARE(general->instructions()->accessibleName(), QStringLiteral("Instructions"));
    QCOMPARE(general->styleNotes()->accessibleName(), QStringLiteral("How you answer"));
}

void AssistantsWindowTest::readableThroughAtSpi()
{
    if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty()) {
        QSKIP("needs python3 with pyatspi");
    }
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    Harness harness([&](StoreContext& context) { context.insert(jobs); });
    harness.settings.setText(SettingKey::assistantsWindowSelection, assistantItem(jobs).text());
    harness.settings.setText(SettingKey::assistantTab, DetailView::general);
    harness.open();

    // The helper reads this process's tree while the event loop answers it.
    QProcess helper;
    QSignalSpy finished(&helper, &QProcess::finished);
    helper.start(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral(QUILLORA_ACCESSIBLE_WINDOW), QStringLiteral("dump"),
            QString::number(QCoreApplication::applicationPid()) });
    QVERIFY(finished.wait(40000));
    QVERIFY2(helper.exitCode() == 0, helper.readAllStandardError().constData());
    const QList<AccessibleNode> tree = accessibleTree(helper.readAllStandardOutput());
    QStringList names;
    bool frame = false; // the window itself: a frame named by its title, not an unnamed panel
    for (const AccessibleNode& node : tree) {
        frame = frame || (node.role == u"frame" && node.name == u"Assistants");
        if (!node.showing) {
            continue;
        }
        names.append(node.name);
        if (node.role == u"push button" || node.role == u"text" || node.role == u"combo box") {
            QVERIFY2(!node.name.isEmpty(), qPrintable(node.role + u' ' + node.description));
            QVERIFY2(node.description.isEmpty() || node.name == node.description, qPrintable(node.name));
        }
    }
    for (const QString& expected : { QStringLiteral("New"), QStringLiteral("More"), QStringLiteral("Name"),
             QStringLiteral("Instructions"), QStringLiteral("How you answer"), QStringLiteral("Jobs") }) {
        QVERIFY2(names.contains(expected), qPrintable(expected + u'\n' + names.join(u'|')));
    }
    QVERIFY(frame);
}

int main(int argc, char** argv)
{
    // Qt's accessibility bridge on, as when a screen reader runs, under the name the helper looks for.
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillora"));
    AssistantsWindowTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "AssistantsWindowTest.moc"
