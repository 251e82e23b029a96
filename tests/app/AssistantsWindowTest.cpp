#include "app/assistants/AssistantsWindow.h"
#include "WindowHarness.h"
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
#include "common/Uuid.h"
#include "improvement/Improvement.h"
#include "improvement/ImprovementService.h"
#include "llm/LLMClient.h"
#include "mcp/ServerProcess.h"
#include "store/StoreHolder.h"
#include "store/StoreSignal.h"
#include "store/StoreTesting.h"
#include "summary/SummaryService.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QJsonArray>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QNetworkAccessManager>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
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
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path : QString();
}

// Stands in for the desktop's default application.
class UrlOpener : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

ShownRecord assistantItem(const Assistant& assistant)
{
    return { ShownRecord::Kind::assistant, assistant.id };
}

ShownRecord contextItem(const CallContext& context)
{
    return { ShownRecord::Kind::context, context.id };
}

// The window on the harness's store (or a store file, when reopening matters) through the app's holder;
// "Improve from history" asks the loopback Claude, and the pause before typing is saved runs on the
// manual clock.
struct Harness : WindowHarness {
    explicit Harness(const std::function<void(StoreContext&)>& seedWith = {}, bool fallback = false,
        const QString& storePath = QString())
    {
        settings.setText(SettingKey::llmProvider, QStringLiteral("claude"));
        if (!storePath.isEmpty()) {
            store = *Store::open(storePath);
        }
        if (seedWith) {
            QVERIFY(seed(seedWith));
        }
        ImprovementServiceOptions options;
        options.readKey = [](const QString&) -> QCoro::Task<std::optional<QString>> {
            co_return std::optional<QString>(QStringLiteral("sk-ant-test"));
        };
        improvement = std::make_unique<ImprovementService>(
            LLMClient(&network, LLMEndpoints::sourceFor(&settings)), &settings, nullptr, options);
        StoreHolder::Opener reopen = [storePath] {
            return storePath.isEmpty() ? Store::openInMemory() : Store::open(storePath);
        };
        holder = std::make_unique<StoreHolder>(store, fallback, reopen, nullptr, &clock);
        summary = std::make_unique<SummaryService>(
            nullptr, nullptr, [this]() -> StoreContext& { return holder->context(); },
            LLMClient(&network, LLMEndpoints::sourceFor(&settings)), &settings, nullptr);
    }

    ~Harness() override
    {
        window.reset();
        summary.reset();
        improvement.reset();
    }

    // Opens the window on `shown` (when given) at its tab `tab`.
    AssistantsWindow& open(std::optional<ShownRecord> shown = std::nullopt, const QString& tab = QString())
    {
        if (shown) {
            settings.setText(SettingKey::assistantsWindowSelection, shown->text());
            const bool context = shown->kind == ShownRecord::Kind::context;
            if (!tab.isEmpty()) {
                settings.setText(context ? SettingKey::contextTab : SettingKey::assistantTab, tab);
            }
        }
        window = std::make_unique<AssistantsWindow>(
            holder.get(), &settings, improvement.get(), nullptr, AssistantsWindowOptions { &clock, summary.get() });
        [[maybe_unused]] const bool exposed = gui::shown(window.get());
        return *window;
    }

    template <typename T = QWidget> T* find(const QString& name) const { return gui::find<T>(window.get(), name); }
    // The detail shown (one that was replaced may wait for its deletion).
    DetailView* detail() const
    {
        const QList<DetailView*> views = window->findChildren<DetailView*>();
        for (DetailView* view : views) {
            if (view->isVisibleTo(window.get())) {
                return view;
            }
        }
        return views.isEmpty() ? nullptr : views.last();
    }
    template <typename T> T* tab(const QString& id) const { return qobject_cast<T*>(detail()->tab(id)); }
    QString title() const { return find<QLabel>(QStringLiteral("detailTitle"))->text(); }
    // The "New" and "More" menus of the toolbar.
    QMenu* menu(const QString& button) const { return find<QToolButton>(button)->menu(); }
    QString tabText(int index) const { return find<QTabWidget>(QStringLiteral("tabs"))->tabText(index); }

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

    QNetworkAccessManager network;
    std::unique_ptr<ImprovementService> improvement;
    std::unique_ptr<StoreHolder> holder;
    std::unique_ptr<SummaryService> summary;
    std::unique_ptr<AssistantsWindow> window;
};

} // namespace

class AssistantsWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void storedSelection_data();
    void storedSelection();
    void createAndContexts();
    void archiveAndRestore();
    void generalEditsAndTabs();
    void saveErrorShownAndCleared();
    void knowledgeFiles();
    void questions();
    void calls();
    void noteIsKept();
    void searchCalls();
    void exportCall();
    void improvements();
    void toolServerEdit();
    void accessibleNames();
};

void AssistantsWindowTest::initTestCase()
{
    QVERIFY2(QGuiApplication::platformName() == u"xcb", "runs on Xvfb: scripts/with-services");
}

// What the stored selection means is the sidebar model's test; here, what the window opens on.
void AssistantsWindowTest::storedSelection_data()
{
    QTest::addColumn<bool>("context"); // a context was shown last, or nothing
    QTest::addColumn<bool>("fallback");
    QTest::newRow("context") << true << false;
    QTest::newRow("nothing, in memory") << false << true;
}

void AssistantsWindowTest::storedSelection()
{
    QFETCH(bool, context);
    QFETCH(bool, fallback);
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    const CallContext acme = CallContext::make(QStringLiteral("Acme"), jobs);
    Harness harness(
        [&](StoreContext& store) {
            store.insert(jobs);
            store.insert(acme);
        },
        fallback);
    harness.open(context ? std::optional(contextItem(acme)) : std::nullopt);
    QCOMPARE(harness.find(QStringLiteral("fallbackNotice"))->isVisible(), fallback);
    QCOMPARE(harness.find(QStringLiteral("placeholder"))->isVisible(), !context);
    if (context) {
        QCOMPARE(harness.title(), QStringLiteral("Acme"));
        QCOMPARE(gui::find<AssistantsSidebar>(harness.window.get())->currentIndex().data().toString(),
            QStringLiteral("Acme"));
    }
}

// "New" makes an assistant from a template (twice is two), then contexts in it; an interview's context is
// offered the interview stages, a blank assistant's none.
void AssistantsWindowTest::createAndContexts()
{
    Harness harness;
    harness.open();
    QMenu* create = harness.menu(QStringLiteral("create"));
    // Without an assistant there is nothing to put a context in.
    QVERIFY(!actionNamed(create, QStringLiteral("New context in Interview")));
    for (int round = 0; round < 2; ++round) {
        actionNamed(create, QStringLiteral("Interview"))->trigger();
    }
    const auto assistants = harness.saved<Assistant>();
    QCOMPARE(assistants.size(), size_t(2));
    QCOMPARE(assistants[0].instructions, assistantTemplate::defaultInstructions(AssistantTemplate::interview));
    // The newest is chosen and remembered.
    QCOMPARE(harness.settings.assistantsWindowSelection(), assistantItem(assistants.back()).text());
    QCOMPARE(harness.title(), QStringLiteral("Interview"));

    actionNamed(create, QStringLiteral("New context in Interview"))->trigger();
    const auto contexts = harness.saved<CallContext>();
    QCOMPARE(contexts.size(), size_t(1));
    QCOMPARE(contexts[0].assistant, assistants.back().id);
    QCOMPARE(harness.settings.assistantsWindowSelection(), contextItem(contexts[0]).text());
    // Choosing a stage fills the field and saves it.
    harness.detail()->openTab(DetailView::general);
    auto* general = harness.tab<ContextGeneralTab>(DetailView::general);
    general->suggestions()->menu()->actions().at(2)->trigger();
    QCOMPARE(general->stage()->text(), QStringLiteral("First interview"));
    QCOMPARE(harness.saved<CallContext>()[0].stage, QStringLiteral("First interview"));

    // A name with "&" is shown as written; a context of a blank assistant is offered no stages.
    actionNamed(create, QStringLiteral("Blank"))->trigger();
    harness.detail()->openTab(DetailView::general);
    QLineEdit* name = harness.tab<GeneralTab>(DetailView::general)->name();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Jobs & Co"));
    QVERIFY(harness.typingPaused());
    actionNamed(create, QStringLiteral("New context in Jobs & Co"))->trigger();
    harness.detail()->openTab(DetailView::general);
    QVERIFY(!harness.tab<ContextGeneralTab>(DetailView::general)->suggestions()->isEnabled());
}

// Archiving hides the assistant under "Archived" (the sidebar model's rule) and says so above the detail.
void AssistantsWindowTest::archiveAndRestore()
{
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    Harness harness([&](StoreContext& context) { context.insert(jobs); });
    harness.open(assistantItem(jobs));
    QWidget* banner = harness.find(QStringLiteral("archivedBanner"));
    QVERIFY(!banner->isVisible());

    QVERIFY(harness.refreshedAfter(
        [&] { actionNamed(harness.menu(QStringLiteral("more")), QStringLiteral("Archive"))->trigger(); }));
    QVERIFY(harness.saved<Assistant>()[0].archived);
    QVERIFY(banner->isVisible());
    // No new contexts inside an archived assistant.
    QVERIFY(!actionNamed(harness.menu(QStringLiteral("create")), QStringLiteral("New context in Jobs")));

    QVERIFY(harness.refreshedAfter(
        [&] { QTest::mouseClick(harness.find<QPushButton>(QStringLiteral("restore")), Qt::LeftButton); }));
    QVERIFY(!harness.saved<Assistant>()[0].archived);
    QVERIFY(!banner->isVisible());
    QVERIFY(actionNamed(harness.menu(QStringLiteral("more")), QStringLiteral("Archive")));
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
    harness.open(assistantItem(jobs));
    auto* general = harness.tab<GeneralTab>(DetailView::general);

    // Typing is saved once it pauses; the sidebar and the title follow.
    QTest::keyClicks(general->name(), QStringLiteral(" 2"));
    QTest::keyClicks(general->styleNotes(), QStringLiteral("Short answers."));
    QCOMPARE(harness.saved<Assistant>()[0].name, QStringLiteral("Jobs"));
    QVERIFY(harness.typingPaused());
    QCOMPARE(harness.saved<Assistant>()[0].name, QStringLiteral("Jobs 2"));
    QCOMPARE(harness.saved<Assistant>()[0].styleNotes, QStringLiteral("Short answers."));
    QCOMPARE(gui::find<AssistantsSidebar>(harness.window.get())->model()->index(0, 0).data().toString(),
        QStringLiteral("Jobs 2"));
    QCOMPARE(harness.title(), QStringLiteral("Jobs 2"));

    // Tab labels carry their counts; the open tab is remembered for the next window.
    QCOMPARE(harness.tabText(1), QStringLiteral("Knowledge 1"));
    QCOMPARE(harness.tabText(4), QStringLiteral("Calls 1"));
    harness.detail()->openTab(DetailView::calls);
    harness.window.reset();
    harness.open();
    QCOMPARE(harness.detail()->currentTab(), QStringLiteral("calls"));
}

void AssistantsWindowTest::saveErrorShownAndCleared()
{
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    Harness harness([&](StoreContext& context) { context.insert(jobs); });
    harness.open(assistantItem(jobs));
    auto* error = harness.find<QLabel>(QStringLiteral("saveError"));
    QVERIFY(!error->isVisible());

    harness.store->database().exec("CREATE TRIGGER refuse BEFORE UPDATE ON \"Assistant\" "
                                   "BEGIN SELECT RAISE(ABORT, 'disk says no'); END");
    QTest::ignoreMessage(QtCriticalMsg, "Could not save: disk says no");
    auto* general = harness.tab<GeneralTab>(DetailView::general);
    general->instructions()->moveCursor(QTextCursor::End);
    QTest::keyClicks(general->instructions(), QStringLiteral(" More."));
    harness.clock.advance(SaveAction::typingPause);
    QVERIFY(error->isVisible());
    QCOMPARE(error->text(), QStringLiteral("Could not save: disk says no"));
    // The edit stays on screen and pending.
    QCOMPARE(general->instructions()->toPlainText(), jobs.instructions + QStringLiteral(" More."));
    QCOMPARE(harness.saved<Assistant>()[0].instructions, jobs.instructions);

    // A new assistant that cannot be stored does not look created.
    QTest::ignoreMessage(QtCriticalMsg, "Could not save: disk says no");
    actionNamed(harness.menu(QStringLiteral("create")), QStringLiteral("Blank"))->trigger();
    QCOMPARE(harness.holder->context().fetch<Assistant>()->size(), size_t(1));

    // The next good save stores the kept edit and clears the message.
    harness.store->database().exec("DROP TRIGGER refuse");
    QTest::keyClicks(general->styleNotes(), QStringLiteral("Calm."));
    QVERIFY(harness.typingPaused());
    QVERIFY(!error->isVisible());
    QCOMPARE(harness.saved<Assistant>()[0].instructions, jobs.instructions + QStringLiteral(" More."));
}

// Files come by drop and by the file dialog into the shown context (which files import is the knowledge
// import's own test); what was refused is said until the next import; a file is removed from its menu.
void AssistantsWindowTest::knowledgeFiles()
{
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    const CallContext acme = CallContext::make(QStringLiteral("Acme"), jobs);
    Harness harness([&](StoreContext& context) {
        context.insert(jobs);
        context.insert(acme);
    });
    harness.open(contextItem(acme), DetailView::knowledge);
    auto* knowledge = harness.tab<KnowledgeTab>(DetailView::knowledge);
    QVERIFY(knowledge->dropArea()->isVisible());
    const auto names = [&] {
        QStringList names;
        for (const KnowledgeFile& file : harness.saved<KnowledgeFile>(Query::ofContext(acme.id))) {
            names.append(file.name); // the context's own files, not the assistant's
        }
        names.sort(); // imported within the same instant, their order is not fixed
        return names;
    };

    // Two files dropped; a web link among them is not a file and is left out; text alone is refused.
    QMimeData mime;
    mime.setUrls({ QUrl::fromLocalFile(writeFile(harness.directory, QStringLiteral("cv.md"), "Ten years of C++")),
        QUrl(QStringLiteral("https://example.com/page.md")),
        QUrl::fromLocalFile(writeFile(harness.directory, QStringLiteral("brief.TXT"), "Acme wants a demo")) });
    const QPoint at = knowledge->dropArea()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(knowledge, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QVERIFY(harness.refreshedAfter([&] { QApplication::sendEvent(knowledge, &drop); }));
    QCOMPARE(names(), (QStringList { QStringLiteral("brief.TXT"), QStringLiteral("cv.md") }));
    QCOMPARE(itemTexts(knowledge->files()).size(), 2);
    QVERIFY(!knowledge->dropArea()->isVisible());
    QCOMPARE(harness.tabText(1), QStringLiteral("Files 2"));
    QMimeData snippet;
    snippet.setText(QStringLiteral("some text"));
    QDragEnterEvent textEnter(at, Qt::CopyAction, &snippet, Qt::LeftButton, Qt::NoModifier);
    textEnter.setAccepted(false);
    QApplication::sendEvent(knowledge, &textEnter);
    QVERIFY(!textEnter.isAccepted());

    knowledge->importFiles({ writeFile(harness.directory, QStringLiteral("cv.pdf"), "%PDF") });
    QCOMPARE(knowledge->errors()->text(), QStringLiteral("cv.pdf: Only .md or .txt files."));
    const QString notes = writeFile(harness.directory, QStringLiteral("notes.md"), "Remember the demo");
    QTest::mouseClick(knowledge->addButton(), Qt::LeftButton);
    QFileDialog* dialog = knowledge->fileDialog();
    QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
    dialog->setDirectory(harness.directory.path());
    dialog->selectFile(notes);
    static_cast<QDialog*>(dialog)->accept();
    QCOMPARE(names().size(), 3);
    QVERIFY(!knowledge->errors()->isVisible());

    QMenu* menu = knowledge->menuFor(knowledge->files()->model()->index(0, 0));
    QVERIFY(harness.refreshedAfter([&] { actionNamed(menu, QStringLiteral("Remove"))->trigger(); }));
    QCOMPARE(names().size(), 2);
}

void AssistantsWindowTest::questions()
{
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    Harness harness([&](StoreContext& context) { context.insert(jobs); });
    AssistantsWindow& window = harness.open(assistantItem(jobs), DetailView::questions);
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* questions = harness.tab<QuestionsTab>(DetailView::questions);

    QVERIFY(harness.refreshedAfter([&] { QTest::mouseClick(questions->addButton(), Qt::LeftButton); }));
    auto items = harness.saved<QAItem>();
    QCOMPARE(items.size(), size_t(1));
    QCOMPARE(items[0].source, QStringLiteral("manual"));
    QCOMPARE(items[0].assistant, jobs.id);
    QuestionEditor* editor = questions->editor();
    QTRY_VERIFY(editor->question()->hasFocus());
    QCOMPARE(harness.tabText(2), QStringLiteral("Questions 1"));

    // Edits set the update time and are saved; the list follows, and the refresh leaves the field alone.
    const QDateTime created = items[0].updatedAt;
    QTest::keyClicks(editor->question(), QStringLiteral("Salary?"));
    QTest::keyClicks(editor->answer(), QStringLiteral("Market rate."));
    QVERIFY(harness.typingPaused());
    items = harness.saved<QAItem>();
    QCOMPARE(items[0].question, QStringLiteral("Salary?"));
    QCOMPARE(items[0].answer, QStringLiteral("Market rate."));
    QVERIFY(items[0].updatedAt > created);
    QCOMPARE(itemTexts(questions->list()), QStringList { QStringLiteral("Salary?") });
    QVERIFY(editor->question()->hasFocus());
    editor->language()->setCurrentIndex(2);
    Q_EMIT editor->language()->activated(2);
    QCOMPARE(harness.saved<QAItem>()[0].language, QStringLiteral("en"));

    // Removal asks first.
    QTest::mouseClick(editor->removeButton(), Qt::LeftButton);
    editor->confirmation()->button(QMessageBox::Cancel)->click();
    QCOMPARE(harness.saved<QAItem>().size(), size_t(1));
    QTest::mouseClick(editor->removeButton(), Qt::LeftButton);
    QAbstractButton* remove = gui::named<QAbstractButton>(editor->confirmation(), QStringLiteral("Remove"));
    QVERIFY(harness.refreshedAfter([&] { remove->click(); }));
    QVERIFY(harness.saved<QAItem>().empty());
}

// A call's row: its header, summary and transcript when opened, its file; a call stored without a summary
// offers to write it; one improvement gave up on says why and can be asked for again. (How a rating is
// stored is the outcome writer's test.)
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
    harness.open(assistantItem(jobs), DetailView::calls);
    auto* calls = harness.tab<CallsTab>(DetailView::calls);
    QList<CallRow*> rows = calls->rows();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0]->callID(), newer.id);
    QVERIFY(rows[1]->header()->accessibleName().endsWith(QStringLiteral(" · Acme & Sons")));
    QVERIFY(QKeySequence::mnemonic(rows[1]->header()->text()).isEmpty()); // "&" is shown, not a mnemonic

    QTest::mouseClick(rows[0]->header(), Qt::LeftButton);
    QVERIFY(rows[0]->isExpanded());
    QCOMPARE(rows[0]->summary()->text(), QStringLiteral("call at 1000"));
    QCOMPARE(rows[0]->transcript()->toPlainText(),
        QStringLiteral("Them: Why us?\nSuggestion (%1): Mention the team\nYou: Because of the team.")
            .arg(QLocale().toString(instant(1002).toLocalTime().time(), QLocale::ShortFormat)));
    UrlOpener opener;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
    QTest::mouseClick(rows[0]->openFileButton(), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(opener.opened, QList<QUrl> { QUrl::fromLocalFile(archive) });
    rows[1]->setExpanded(true);
    QVERIFY(!rows[1]->openFileButton()->isVisible()); // its file was deleted
    QVERIFY(!rows[0]->summarizeButton()->isVisible());
    QVERIFY(harness.refreshedAfter([&] { QTest::mouseClick(rows[1]->summarizeButton(), Qt::LeftButton); }));
    QCOMPARE(rows[1]->summary()->text(), QStringLiteral("Short call: no summary."));
    QVERIFY(rows[1]->openFileButton()->isVisible());

    QVERIFY(!rows[0]->analyzeAgainButton()->isVisible());
    QVERIFY(
        rows[1]->findChild<QLabel*>(QStringLiteral("improvementFailure"))->text().endsWith(older.improvementFailure));
    QVERIFY(harness.refreshedAfter([&] { QTest::mouseClick(rows[1]->analyzeAgainButton(), Qt::LeftButton); }));
    const Call askedAgain = harness.saved<Call>(Query::byId(older.id))[0];
    QVERIFY(!askedAgain.reviewedForImprovement && askedAgain.improvementFailure.isEmpty());
    QCOMPARE(askedAgain.improvementFailures, 0);

    // A rating is stored and shown in the row's mark; the rows stay open across the refreshes.
    QVERIFY(harness.refreshedAfter([&] { rows[0]->goodButton()->toggle(); })); // as assistive technology does
    QCOMPARE(harness.saved<Call>(Query::byId(newer.id))[0].outcome, QStringLiteral("positive"));
    QCOMPARE(rows[0]->outcomeMark()->accessibleName(), QStringLiteral("Good call"));
    QCOMPARE(calls->rows(), rows);
    QVERIFY(rows[0]->isExpanded());
}

void AssistantsWindowTest::noteIsKept()
{
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    Harness harness([&](StoreContext& context) {
        context.insert(jobs);
        context.insert(makeCall(jobs.id, 100));
    });
    AssistantsWindow& window = harness.open(assistantItem(jobs), DetailView::calls);
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    CallRow* row = harness.tab<CallsTab>(DetailView::calls)->rows().first();
    row->setExpanded(true);
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
    actionNamed(harness.menu(QStringLiteral("create")), QStringLiteral("Blank"))->trigger();
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
    auto* error = harness.find<QLabel>(QStringLiteral("saveError"));
    QCOMPARE(error->text(), QStringLiteral("Could not save: database or disk is full"));
    QCOMPARE(row->note()->text(), QStringLiteral("Went well, mostly!"));
    QCOMPARE(note(), QStringLiteral("Went well, mostly"));
    harness.store->database().exec("DROP TRIGGER refuse");
    QVERIFY(harness.refreshedAfter([&] { QTest::mouseClick(row->goodButton(), Qt::LeftButton); }));
    QCOMPARE(note(), QStringLiteral("Went well, mostly!"));
    QVERIFY(!error->isVisible());
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
    CallSearchView* search = gui::find<CallSearchView>(&window);
    auto* content = window.findChild<QStackedWidget*>();
    const auto typed = [&](const QString& text) {
        QSignalSpy searched(search, &CallSearchView::searched);
        search->field()->setText(text);
        harness.clock.advance(CallSearchView::typingPause);
        return !searched.isEmpty() || searched.wait(5000);
    };

    // The list takes the detail's place while there is a search; the scope narrows it to the assistant
    // chosen in the sidebar (ranking and passages are the call search's own test).
    QVERIFY(typed(QStringLiteral("RELOC")));
    QCOMPARE(content->currentWidget(), search);
    QCOMPARE(search->model()->rowCount(), 2);
    search->scope()->setCurrentIndex(1);
    QCOMPARE(search->model()->rowCount(), 1);

    // Choosing a call opens it in its assistant's calls with the matching line selected and in view.
    search->scope()->setCurrentIndex(0);
    QVERIFY(typed(QStringLiteral("relocation package")));
    QListView* results = search->results();
    QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, results->visualRect(search->model()->index(0)).center());
    QCOMPARE(content->currentWidget(), harness.detail());
    QCOMPARE(harness.detail()->currentTab(), DetailView::calls);
    CallRow* row = harness.tab<CallsTab>(DetailView::calls)->rows().at(1);
    QCOMPARE(row->callID(), interview.id);
    QVERIFY(row->isExpanded());
    QCOMPARE(
        row->transcript()->textCursor().selectedText(), QStringLiteral("Them: What about the relocation package?"));
    QVERIFY(row->transcript()->viewport()->visibleRegion().intersects(row->transcript()->cursorRect()));

    // Clearing the search shows the detail again.
    search->field()->clear();
    QCOMPARE(content->currentWidget(), harness.detail());
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
    QVERIFY(storeTesting::fileBytes(target + QStringLiteral(".srt")).startsWith("1\n"));
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
    const QJsonArray quotes { QJsonObject {
        { QStringLiteral("callID"), uuid::toText(call.id) }, { QStringLiteral("text"), said } } };
    auto draft = [&](const QString& kind, const QString& question, const QString& answer, const QString& text,
                     const QString& key, const QJsonValue& value) {
        return QJsonObject { { QStringLiteral("kind"), kind }, { QStringLiteral("question"), question },
            { QStringLiteral("answer"), answer }, { QStringLiteral("language"), QStringLiteral("en") },
            { QStringLiteral("targetQA"), QString() }, { QStringLiteral("text"), text },
            { QStringLiteral("reason"), QStringLiteral("It came up.") }, { key, value } };
    };
    const auto proposals = [&](bool merged) {
        const QString key = merged ? QStringLiteral("sources") : QStringLiteral("quotes");
        return QJsonArray {
            draft(QStringLiteral("newQA"), QStringLiteral("Notice period?"), QStringLiteral("Two weeks."), {}, key,
                merged ? QJsonValue(QJsonArray { 0 }) : QJsonValue(quotes)),
            draft(QStringLiteral("style"), {}, {}, QStringLiteral("Gives dates."), key,
                merged ? QJsonValue(QJsonArray { 1 }) : QJsonValue(quotes)),
        };
    };
    harness.model.handle("/v1/messages", [&](const FakeHttpServer::Request& request) {
        const bool merging =
            request.json().value(QLatin1String("system")).toString() == improvement::mergeSystemPrompt();
        FakeHttpServer::Response response;
        response.chunks.append(fakeEvents::claudeText(QString::fromUtf8(QJsonDocument(
            QJsonObject {
                { QStringLiteral("proposals"), proposals(merging) } }).toJson(QJsonDocument::Compact))));
        return response;
    });
    harness.open(assistantItem(jobs), DetailView::improvements);
    auto* tab = harness.tab<ImprovementsTab>(DetailView::improvements);
    QCOMPARE(tab->runButton()->text(), QStringLiteral("Improve from history (1 new call)"));

    // One run: the outcome and the two pending proposals once it ends.
    QSignalSpy ended(harness.improvement.get(), &ImprovementService::ended);
    QVERIFY(harness.refreshedAfter([&] {
        QTest::mouseClick(tab->runButton(), Qt::LeftButton);
        QVERIFY(ended.wait(10000)); // the proposals are stored just before it ends
    }));
    QCOMPARE(tab->proposals().size(), 2);
    QCOMPARE(tab->outcome()->text(), harness.improvement->message().value_or(QString()));
    QVERIFY(!tab->progress()->isVisible());
    QVERIFY(!tab->runButton()->isEnabled());
    QCOMPARE(harness.tabText(3), QStringLiteral("Improvements 2"));
    ProposalView* first = tab->proposals().at(0);
    ProposalView* second = tab->proposals().at(1);

    // Being edited, a proposal survives the store being read again.
    QTest::mouseClick(second->button(QStringLiteral("Edit and accept")), Qt::LeftButton);
    second->textField()->setPlainText(QString());
    QVERIFY(!second->button(QStringLiteral("Confirm"))->isEnabled());
    second->textField()->setPlainText(QStringLiteral("Gives exact dates."));
    QVERIFY(harness.refreshedAfter([&] { Q_EMIT harness.holder->changed(); }));
    QCOMPARE(tab->proposals().at(1), second);
    QCOMPARE(second->textField()->toPlainText(), QStringLiteral("Gives exact dates."));
    QTest::mouseClick(second->button(QStringLiteral("Cancel")), Qt::LeftButton);

    // One accept, one discard, each applied in a later turn and saved.
    QSignalSpy applied(tab->section(), &ImprovementsSection::applied);
    QTest::mouseClick(first->button(QStringLiteral("Accept")), Qt::LeftButton);
    QVERIFY(applied.wait(5000));
    const auto bank = harness.saved<QAItem>();
    QCOMPARE(bank.size(), size_t(1));
    QCOMPARE(bank[0].answer, QStringLiteral("Two weeks."));
    QCOMPARE(bank[0].source, uuid::toText(call.id));
    QTest::mouseClick(second->button(QStringLiteral("Discard")), Qt::LeftButton);
    QVERIFY(applied.wait(5000));
    // The save right before `applied` has asked the window to read the store again.
    QVERIFY(harness.refreshedAfter([] {}));
    QVERIFY(harness.saved<Assistant>()[0].styleNotes.isEmpty());
    QVERIFY(tab->proposals().isEmpty());
    QCOMPARE(tab->reviewedToggle()->text(), QStringLiteral("Reviewed (2)"));
}

// The tool server edits the store from another process: the window reads it again and keeps the edit
// being typed, which is saved first.
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
    AssistantsWindow& window = harness.open(assistantItem(jobs));
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
    QCOMPARE(harness.title(), QStringLiteral("Careers"));
    QCOMPARE(general->styleNotes()->toPlainText(), QStringLiteral("Typing"));
    QVERIFY(general->styleNotes()->hasFocus());
    const Assistant saved = harness.saved<Assistant>()[0];
    QCOMPARE(saved.name, QStringLiteral("Careers"));
    QCOMPARE(saved.styleNotes, QStringLiteral("Typing"));
    QCOMPARE(server.finish(), 0);
}

// Every control is named as its label, tooltip or text reads, in process and over AT-SPI as a screen
// reader finds them, and the window is a frame named by its title.
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
    harness.open(assistantItem(jobs));
    DetailView* detail = harness.detail();
    for (const QString& id : detail->tabIds()) {
        detail->openTab(id);
        const QStringList unnamed = gui::unnamedControls(harness.window.get());
        QVERIFY2(unnamed.isEmpty(), qPrintable(id + u'\n' + unnamed.join(u'\n')));
    }
    harness.tab<CallsTab>(DetailView::calls)->rows().first()->setExpanded(true);
    QListView* questionList = harness.tab<QuestionsTab>(DetailView::questions)->list();
    questionList->setCurrentIndex(questionList->model()->index(0, 0));
    QStringList unnamed = gui::unnamedControls(harness.window.get());
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u'\n')));

    if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty()) {
        QSKIP("needs python3 with pyatspi");
    }
    detail->openTab(DetailView::general);
    QString error;
    const QList<AccessibleNode> tree = gui::readThroughAtSpi(QCoreApplication::applicationPid(), &error);
    QVERIFY2(!tree.isEmpty(), qPrintable(error));
    QStringList names;
    bool frame = false;
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
