#include "app/callwindow/CallWindow.h"
#include "WindowHarness.h"
#include "app/callwindow/OutcomeControl.h"
#include "app/callwindow/TimelineModel.h"
#include "app/services/DesktopServices.h"
#include "app/tray/AppMenu.h"
#include "common/Dates.h"
#include "common/Uuid.h"
#include "settings/Keychain.h"
#include "store/StoreContext.h"
#include "store/StoreHolder.h"
#include "suggestions/SuggestionService.h"
#include "summary/CallJournal.h"
#include "summary/SummaryService.h"
#include "transcription/TranscriptionService.h"

#include <SQLiteCpp/Database.h>

#include <QAbstractNativeEventFilter>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QToolButton>

#include <xcb/xcb.h>

using namespace std::chrono_literals;
using Response = FakeHttpServer::Response;
using Ending = FakeHttpServer::Ending;

namespace {

Response reply(const QStringList& pieces, Ending ending = Ending::complete)
{
    Response response;
    for (const QString& piece : pieces) {
        response.chunks.append(fakeEvents::claudeText(piece));
    }
    response.ending = ending;
    return response;
}

QString words(int count)
{
    return QStringList(count, QStringLiteral("word")).join(u' ');
}

// The texts of the timeline's rows, "You: text", "Them: text" or "Suggestion: text".
QStringList rowsOf(const QAbstractItemModel& model)
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        const bool suggestion = index.data(TimelineModel::KindRole).toInt() == int(TimelineModel::RowKind::suggestion);
        rows.append((suggestion ? QStringLiteral("Suggestion") : index.data(Qt::AccessibleDescriptionRole).toString())
            + QStringLiteral(": ") + index.data().toString());
    }
    return rows;
}

bool xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// The keys of the presses the X server delivers to the application, repeats included.
struct XKeyPresses : QAbstractNativeEventFilter {
    XKeyPresses() { QCoreApplication::instance()->installNativeEventFilter(this); }
    ~XKeyPresses() override { QCoreApplication::instance()->removeNativeEventFilter(this); }
    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override
    {
        const auto* key = static_cast<const xcb_key_press_event_t*>(message);
        if ((key->response_type & 0x7f) == XCB_KEY_PRESS) {
            keys.append(key->detail);
        }
        return false;
    }
    QList<int> keys;
};

// The desktop's file manager as the session bus offers it; it only notes what it was asked to show.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;

public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString&) { shown += uris; }
};

// Stands in for the desktop's default application for folders.
class FolderOpener : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

// The app's real services on the harness's store, Claude answered by its loopback model, and the call
// window on them; the window's own timers run on the manual clock.
struct Harness : WindowHarness {
    explicit Harness(const QString& loadError = QString())
    {
        settings.setText(SettingKey::llmProvider, QStringLiteral("claude"));
        model.handle("/v1/messages", [this](const FakeHttpServer::Request& request) {
            return request.body.contains("You summarize video calls") ? summaryReply : suggestionReply;
        });
        services = std::make_unique<DesktopServices>(
            &settings, OpenedStore { store, true, loadError }, nullptr, DesktopServices::Options {});
        open();
    }

    ~Harness() override
    {
        window.reset();
        services.reset();
    }

    void open() { window = std::make_unique<CallWindow>(*services, nullptr, CallWindowOptions { &clock }); }
    bool show() { return gui::shown(window.get()); }
    template <typename T = QWidget> T* find(const QString& name) const { return gui::find<T>(window.get(), name); }
    QToolButton* button(const QString& name) const { return find<QToolButton>(name); }

    void say(Speaker who, const QString& text) { transcript().handleText(text, true, who); }

    // Ends a call of these lines as a stop of listening does, and waits until it is stored.
    bool finishCall(const QStringList& lines)
    {
        SummaryService& summary = services->summary();
        summary.handleRunningFlag(true);
        for (const QString& line : lines) {
            say(Speaker::them, line);
        }
        QSignalSpy stored(&summary, &SummaryService::savedCallIDChanged);
        summary.handleRunningFlag(false);
        return summary.savedCallID() || stored.wait(10000);
    }

    Transcript& transcript() { return services->transcription().transcript(); }

    Response suggestionReply = reply({ QStringLiteral("Say yes") });
    Response summaryReply = reply({ QStringLiteral("Summary: "), QStringLiteral("all agreed.") });
    std::unique_ptr<DesktopServices> services;
    std::unique_ptr<CallWindow> window;
};

} // namespace

class CallWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void listening();
    void menuShortcuts();
    void timelineRows();
    void preparedAnswer();
    void clearTranscript();
    void summaryCard_data();
    void summaryCard();
    void copyAndReveal();
    void thumbsAndNote();
    void autoScroll();
    void assistantMenu();
    void startNotice();
    void shapePinAndSize();
    void accessibleNames();
};

void CallWindowTest::initTestCase()
{
    QVERIFY2(QGuiApplication::platformName() == u"xcb", "runs on Xvfb: scripts/with-services");
    QVERIFY(keychain::save(QStringLiteral("sk-ant-test"), QStringLiteral("claude")));
}

void CallWindowTest::listening()
{
    if (qEnvironmentVariableIsEmpty("QUILLORA_PULSE_READY")) {
        QSKIP("needs the PulseAudio daemon of scripts/with-services");
    }
    // The transcription service reads the application's own settings file, which other tests of the
    // suite may have pointed at another engine.
    Settings application;
    application.setText(SettingKey::transcriptionEngine, QStringLiteral("apple"));
    application.setText(SettingKey::speechLocale, QStringLiteral("en-US"));
    Harness harness;
    QVERIFY(harness.show());
    CallWindow& window = *harness.window;
    auto* status = harness.find<QLabel>(QStringLiteral("statusText"));
    QCOMPARE(status->text(), QStringLiteral("Stopped"));
    harness.say(Speaker::them, QStringLiteral("Where did you work before?"));
    QTRY_VERIFY(!harness.services->suggestions().history().isEmpty());

    // A new call starts without the last one's suggestions.
    QSignalSpy toggled(harness.services.get(), &DesktopServices::toggleFinished);
    QTest::mouseClick(harness.button(QStringLiteral("listen")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(toggled.count(), 1, 20000); // a start may also end within the click
    QVERIFY2(harness.services->transcription().isRunning(),
        qPrintable(harness.services->transcription().status().value_or(QString())));
    QCOMPARE(status->text(), QStringLiteral("Listening"));
    QVERIFY(harness.services->suggestions().history().isEmpty());
    harness.say(Speaker::them, QStringLiteral("Hello there"));
    QVERIFY(!harness.button(QStringLiteral("clear"))->isVisible()); // never while listening

    // Space stops it again while the window has the focus, once however long it is held (X repeats a held
    // key as release and press pairs); Shift, pressed after it, shows that all of the hold has arrived.
    window.activateWindow();
    QTRY_VERIFY(window.isActiveWindow());
    XKeyPresses presses;
    QVERIFY(xdotool({ QStringLiteral("keydown"), QStringLiteral("space") }));
    QTRY_VERIFY_WITH_TIMEOUT(presses.keys.size() >= 8, 10000);
    QVERIFY(xdotool({ QStringLiteral("keyup"), QStringLiteral("space") }));
    QVERIFY(xdotool({ QStringLiteral("key"), QStringLiteral("shift") }));
    QTRY_VERIFY_WITH_TIMEOUT(presses.keys.last() != presses.keys.first() && !harness.services->isToggling(), 20000);
    QCOMPARE(toggled.count(), 2);
    QVERIFY(!harness.services->transcription().isRunning());
    QCOMPARE(status->text(), QStringLiteral("Stopped"));
    QVERIFY(harness.button(QStringLiteral("clear"))->isVisible());
}

// The app menu attached to the call window and to another window, as the running app does: each key has
// one owner, so it works in either; the same menu is the window's context menu.
void CallWindowTest::menuShortcuts()
{
    Harness harness;
    AppMenu menu(*harness.services, nullptr);
    QWidget other;
    menu.attachTo(harness.window.get());
    menu.attachTo(&other);
    QVERIFY(harness.show());
    other.show();
    QSignalSpy assistants(&menu, &AppMenu::assistantsRequested);
    QSignalSpy settings(&menu, &AppMenu::settingsRequested);
    for (QWidget* window : { static_cast<QWidget*>(harness.window.get()), &other }) {
        window->activateWindow();
        QTRY_VERIFY(window->isActiveWindow());
        QTest::keySequence(window, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
        QTest::keySequence(window, QKeySequence(Qt::CTRL | Qt::Key_Comma));
    }
    QCOMPARE(assistants.count(), 2);
    QCOMPARE(settings.count(), 2);
    QSignalSpy shown(menu.menu(), &QMenu::aboutToShow);
    Q_EMIT other.customContextMenuRequested(QPoint(5, 5));
    QCOMPARE(shown.count(), 1);
    menu.menu()->hide();
}

// The timeline's rows follow the services (where each goes is the model's rule, tested there).
void CallWindowTest::timelineRows()
{
    Harness harness;
    harness.suggestionReply = reply({ QStringLiteral("You could") }, Ending::hang);
    QVERIFY(harness.show());
    auto* list = harness.find<QListView>(QStringLiteral("timelineRows"));
    const QAbstractItemModel& model = *list->model();
    auto* waiting = harness.find(QStringLiteral("waiting"));
    SuggestionService& suggestions = harness.services->suggestions();
    QVERIFY(harness.find(QStringLiteral("emptyState"))->isVisible());

    harness.transcript().handleText(QStringLiteral("So tell"), false, Speaker::them);
    QVERIFY(!harness.find(QStringLiteral("emptyState"))->isVisible());
    QCOMPARE(rowsOf(model), QStringList { QStringLiteral("Them: So tell") });
    harness.say(Speaker::them, QStringLiteral("Where did you work before?"));
    QCOMPARE(rowsOf(model), QStringList { QStringLiteral("Them: Where did you work before?") });

    // The question brings a reply that streams into one row; the waiting indicator shows until it ends.
    QSignalSpy waitingChanged(&suggestions, &SuggestionService::isWaitingChanged);
    QVERIFY(waitingChanged.wait(5000));
    QVERIFY(waiting->isVisible());
    QTRY_COMPARE(model.rowCount(), 2);
    const QPersistentModelIndex replyRow = model.index(1, 0);
    harness.model.push(fakeEvents::claudeText(QStringLiteral(" say Acme")));
    QTRY_COMPARE(replyRow.data().toString(), QStringLiteral("You could say Acme"));
    harness.model.finishHeld();
    QTRY_VERIFY(!suggestions.isWaiting());
    QVERIFY(!waiting->isVisible());
    // A line dated in the very millisecond of the reply's last update counts as heard before it, so
    // the line waits for the clock to move on (the lines and the reply are dated by the system clock).
    const QDateTime replied = suggestions.history().constLast().timestamp;
    QTRY_VERIFY(dates::now() > replied);
    harness.say(Speaker::me, QStringLiteral("I worked at Acme"));
    QCOMPARE(rowsOf(model),
        (QStringList { QStringLiteral("Them: Where did you work before?"),
            QStringLiteral("Suggestion: You could say Acme"), QStringLiteral("You: I worked at Acme") }));

    // Screen readers read each row's text.
    QTRY_VERIFY(list->isVisible());
    QAccessibleInterface* rows = QAccessible::queryAccessibleInterface(list);
    QStringList read;
    for (int child = 0; child < rows->childCount(); ++child) {
        read.append(rows->child(child)->text(QAccessible::Name));
    }
    QVERIFY2(read.contains(QStringLiteral("You could say Acme")), qPrintable(read.join(u'|')));

    // A press on a row's text lets it be selected as a label's text; a right press there, which the label
    // leaves, goes on to the window's menu and not back to the list.
    const QRect line = list->visualRect(model.index(2, 0));
    auto* selectable = harness.find<QLabel>(QStringLiteral("selectableText"));
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, QPoint(line.right() - 20, line.center().y()));
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, QPoint(line.right() - 20, line.center().y()));
    QVERIFY(selectable->isVisible());
    QCOMPARE(selectable->text(), QStringLiteral("I worked at Acme"));
    QVERIFY(line.contains(selectable->geometry()));
    harness.window->setContextMenuPolicy(Qt::CustomContextMenu);
    QSignalSpy windowMenu(harness.window.get(), &QWidget::customContextMenuRequested);
    const QPoint text(line.left() + 80, line.center().y());
    QTest::mousePress(list->viewport(), Qt::RightButton, {}, text);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, text, list->viewport()->mapToGlobal(text));
    QCoreApplication::sendEvent(list->viewport(), &menu);
    QTest::mouseRelease(list->viewport(), Qt::RightButton, {}, text);
    QCOMPARE(windowMenu.count(), 1);
}

// A question the assistant's Q&A bank answers brings the bank's answer at once, before the model's
// reply and above it; the stored call and its file say where it came from.
void CallWindowTest::preparedAnswer()
{
    const Assistant jobs = Assistant::make(QStringLiteral("Jobs"), AssistantTemplate::blank);
    QAItem item = QAItem::make(QStringLiteral("What are your salary expectations?"),
        QStringLiteral("Around 95k a year."), QStringLiteral("en"), QStringLiteral("manual"));
    item.assistant = jobs.id;
    Harness harness;
    QVERIFY(harness.seed([&](StoreContext& context) {
        context.insert(jobs);
        context.insert(item);
    }));
    QVERIFY(harness.show());
    auto* list = harness.find<QListView>(QStringLiteral("timelineRows"));
    const QAbstractItemModel& model = *list->model();
    SummaryService& summary = harness.services->summary();
    summary.handleRunningFlag(true);
    harness.say(Speaker::them, QStringLiteral("And what salary are you expecting?"));
    QCOMPARE(rowsOf(model),
        (QStringList { QStringLiteral("Them: And what salary are you expecting?"),
            QStringLiteral("Suggestion: Around 95k a year.") }));
    QCOMPARE(model.index(1, 0).data(TimelineModel::PreparedQuestionRole).toString(), item.question);
    QTRY_COMPARE(rowsOf(model).constLast(), QStringLiteral("Suggestion: Say yes"));
    // The bank's question takes a line of the card above the answer.
    QTRY_VERIFY(list->visualRect(model.index(1, 0)).height() > list->visualRect(model.index(2, 0)).height());

    QSignalSpy stored(&summary, &SummaryService::savedCallIDChanged);
    summary.handleRunningFlag(false);
    QVERIFY(summary.savedCallID() || stored.wait(10000));
    const auto call = harness.services->store().context().fetchOne<Call>(*summary.savedCallID());
    QVERIFY(call && *call);
    QCOMPARE((*call)->suggestions().constFirst().preparedQuestion, item.question);
    QCOMPARE((*call)->suggestions().constLast().preparedQuestion, QString());
    QTRY_VERIFY(summary.savedFile());
    QFile file(*summary.savedFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains(
        "Suggestion:** From your answers (What are your salary expectations?): Around 95k a year.\n"));
}

void CallWindowTest::clearTranscript()
{
    Harness harness;
    QVERIFY(harness.show());
    QToolButton* clear = harness.button(QStringLiteral("clear"));
    QVERIFY(!clear->isVisible()); // no lines
    QVERIFY(harness.finishCall({ QStringLiteral("Short call") }));
    QVERIFY(clear->isVisible());

    QTest::mouseClick(clear, Qt::LeftButton);
    QVERIFY(harness.transcript().lines().isEmpty());
    QVERIFY(!harness.services->summary().savedCallID());
    QVERIFY(!clear->isVisible());
    QVERIFY(!harness.find(QStringLiteral("summaryCard"))->isVisible());
    QVERIFY(harness.find(QStringLiteral("emptyState"))->isVisible());

    // Not offered while a summary is written, which it would cut off.
    harness.summaryReply = reply({ QStringLiteral("Summary: ") }, Ending::hang);
    SummaryService& summary = harness.services->summary();
    summary.handleRunningFlag(true);
    harness.say(Speaker::them, words(25));
    summary.handleRunningFlag(false);
    QVERIFY(!clear->isVisible());
    QTRY_COMPARE(summary.text(), std::optional(QStringLiteral("Summary: ")));
    harness.model.finishHeld();
    QTRY_VERIFY(clear->isVisible());
}

void CallWindowTest::summaryCard_data()
{
    QTest::addColumn<int>("wordCount");
    QTest::addColumn<int>("answer"); // 0 streams on, 1 completes, 2 is refused
    QTest::addColumn<bool>("documentsBlocked");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown"); // the controls shown: progress, copy, saved file, save error, outcome

    QTest::newRow("being written") << 25 << 0 << false << "Summary: "
                                   << "progress";
    QTest::newRow("written and saved") << 25 << 1 << false << "Summary: all agreed."
                                       << "copy saved outcome";
    QTest::newRow("model refused") << 25 << 2 << false << "HTTP 401"
                                   << "saved outcome";
    // Without a summary the card shows what was stored in its place.
    QTest::newRow("short call: saved without a summary") << 5 << 1 << false << "Short call: no summary."
                                                         << "saved outcome";
    QTest::newRow("call file not written") << 5 << 1 << true << "Short call: no summary."
                                           << "error outcome";
}

void CallWindowTest::summaryCard()
{
    QFETCH(int, wordCount);
    QFETCH(int, answer);
    QFETCH(bool, documentsBlocked);
    QFETCH(QString, text);
    QFETCH(QString, shown);

    // A file where the calls' folder belongs makes the call file fail.
    const QString folder =
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath(QStringLiteral("Quillora"));
    QDir(folder).removeRecursively();
    QFile::remove(folder);
    const auto removeBlocker = qScopeGuard([&] { QFile::remove(folder); });
    if (documentsBlocked) {
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Could not save the call: ")));
        QDir().mkpath(QFileInfo(folder).path());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }

    Harness harness;
    if (answer == 0) {
        harness.summaryReply = reply({ QStringLiteral("Summary: ") }, Ending::hang);
    } else if (answer == 2) {
        harness.summaryReply.status = 401;
        harness.summaryReply.contentType = "application/json";
        harness.summaryReply.chunks = { R"({"error":"invalid x-api-key"})" };
    }
    QVERIFY(harness.show());
    SummaryService& summary = harness.services->summary();
    auto* card = harness.find(QStringLiteral("summaryCard"));
    QVERIFY(!card->isVisible());
    if (answer == 0) {
        summary.handleRunningFlag(true);
        harness.say(Speaker::them, words(wordCount));
        summary.handleRunningFlag(false);
        QTRY_COMPARE(summary.text().value_or(QString()), QStringLiteral("Summary: "));
    } else {
        QVERIFY(harness.finishCall({ words(wordCount) }));
    }
    QVERIFY(card->isVisible());
    const QString shownText = harness.find<QLabel>(QStringLiteral("summaryText"))->text();
    QVERIFY2(shownText.startsWith(text), qPrintable(shownText));
    QStringList controls;
    const std::pair<QWidget*, QString> parts[] = {
        { card->findChild<QProgressBar*>(), QStringLiteral("progress") },
        { harness.find(QStringLiteral("copySummary")), QStringLiteral("copy") },
        { harness.find(QStringLiteral("savedFile")), QStringLiteral("saved") },
        { harness.find(QStringLiteral("saveError")), QStringLiteral("error") },
        { harness.find(QStringLiteral("thumbsUp")), QStringLiteral("outcome") },
    };
    for (const auto& [widget, name] : parts) {
        if (widget->isVisible()) {
            controls.append(name);
        }
    }
    QCOMPARE(controls.join(u' '), shown);
    if (controls.contains(u"saved")) {
        QCOMPARE(harness.button(QStringLiteral("savedFile"))->text(),
            QStringLiteral("Saved: ") + QFileInfo(*summary.savedFile()).fileName());
    }
}

void CallWindowTest::copyAndReveal()
{
    Harness harness;
    QVERIFY(harness.show());
    QVERIFY(harness.finishCall({ words(25) }));

    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
    QTest::mouseClick(harness.button(QStringLiteral("copySummary")), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Summary: all agreed."));

    // With a file manager on the bus, the file is shown selected in it.
    const QString file = *harness.services->summary().savedFile();
    QDBusConnection bus = QDBusConnection::sessionBus();
    FakeFileManager manager;
    QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    QVERIFY(
        bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager, QDBusConnection::ExportAllSlots));
    FolderOpener opener;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
    QTest::mouseClick(harness.button(QStringLiteral("savedFile")), Qt::LeftButton);
    QTRY_COMPARE(manager.shown, QStringList { QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded) });

    // Without one, the folder opens.
    bus.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
    QVERIFY(bus.unregisterService(QStringLiteral("org.freedesktop.FileManager1")));
    QTest::mouseClick(harness.button(QStringLiteral("savedFile")), Qt::LeftButton);
    QTRY_COMPARE(opener.opened, QList<QUrl> { QUrl::fromLocalFile(QFileInfo(file).absolutePath()) });
    QCOMPARE(manager.shown.size(), 1);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

// The thumbs show what is stored (the rating rules are the store's); the note is saved a pause after
// typing, on leaving the field, and for the call it was typed for.
void CallWindowTest::thumbsAndNote()
{
    Harness harness;
    QVERIFY(harness.show());
    QVERIFY(harness.finishCall({ QStringLiteral("First call") }));
    SummaryService& summary = harness.services->summary();
    const QUuid first = *summary.savedCallID();
    QToolButton* up = harness.button(QStringLiteral("thumbsUp"));
    QToolButton* down = harness.button(QStringLiteral("thumbsDown"));
    const std::pair<QToolButton*, CallOutcome> taps[] = {
        { up, CallOutcome::positive },
        { up, CallOutcome::none }, // a second tap takes it back
        { down, CallOutcome::negative },
    };
    for (const auto& [tapped, stored] : taps) {
        QTest::mouseClick(tapped, Qt::LeftButton);
        QCOMPARE(summary.outcomeOf(first).outcome, stored);
        QCOMPARE(up->isChecked(), stored == CallOutcome::positive);
        QCOMPARE(down->isChecked(), stored == CallOutcome::negative);
    }
    // A save the store refuses is taken back: the thumbs show what is stored.
    harness.store->database().exec("CREATE TRIGGER refuse BEFORE UPDATE ON \"Call\" "
                                   "BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Could not save outcome: ")));
    QTest::mouseClick(up, Qt::LeftButton);
    QCOMPARE(summary.outcomeOf(first).outcome, CallOutcome::negative);
    QVERIFY(!up->isChecked() && down->isChecked());
    harness.store->database().exec("DROP TRIGGER refuse");

    // A screen reader toggles the button without a click; a change stored elsewhere shows at once.
    up->toggle();
    QCOMPARE(summary.outcomeOf(first).outcome, CallOutcome::positive);
    QVERIFY(!down->isChecked());
    summary.setOutcome(first, CallOutcome::negative);
    QVERIFY(down->isChecked());

    auto* note = harness.find<QLineEdit>(QStringLiteral("note"));
    harness.window->activateWindow();
    QTRY_VERIFY(harness.window->isActiveWindow());
    note->setFocus();
    QTRY_VERIFY(note->hasFocus());
    // A space typed there stays in the note rather than starting a call.
    QSignalSpy toggles(harness.services.get(), &DesktopServices::toggleFinished);
    QTest::keyClicks(note, QStringLiteral("good fit"));
    harness.clock.advance(OutcomeControl::notePause - 1ms);
    QCOMPARE(summary.outcomeOf(first).note, QString());
    harness.clock.advance(1ms);
    QCOMPARE(summary.outcomeOf(first).note, QStringLiteral("good fit"));

    QTest::keyClicks(note, QStringLiteral("!"));
    harness.button(QStringLiteral("listen"))->setFocus();
    QTRY_VERIFY(!note->hasFocus());
    QCOMPARE(summary.outcomeOf(first).note, QStringLiteral("good fit!"));
    QCOMPARE(toggles.count(), 0);

    // Text typed for one call is saved for that call, even when the next call comes before the pause.
    note->setFocus();
    QTRY_VERIFY(note->hasFocus());
    QTest::keyClicks(note, QStringLiteral(" really"));
    QVERIFY(harness.finishCall({ QStringLiteral("Second call") }));
    const QUuid second = *summary.savedCallID();
    QCOMPARE(summary.outcomeOf(first).note, QStringLiteral("good fit! really"));
    harness.clock.advance(OutcomeControl::notePause);
    QCOMPARE(summary.outcomeOf(second).note, QString());
    QCOMPARE(note->text(), QString());
}

void CallWindowTest::autoScroll()
{
    Harness harness;
    QVERIFY(harness.show());
    QScrollBar* bar = harness.find<QScrollArea>(QStringLiteral("timeline"))->verticalScrollBar();
    for (int i = 0; i < 40; ++i) {
        harness.say(i % 2 ? Speaker::me : Speaker::them, QStringLiteral("Line number %1").arg(i));
    }
    QTRY_VERIFY(bar->maximum() > 0);
    QTRY_COMPARE(bar->value(), bar->maximum());

    // Off: new lines leave the column where the user put it.
    auto* toggle = harness.find<QCheckBox>(QStringLiteral("autoScroll"));
    toggle->click();
    QVERIFY(!harness.settings.autoScroll());
    bar->setValue(0);
    const int before = bar->maximum();
    harness.say(Speaker::them, QStringLiteral("One more line"));
    QTRY_VERIFY(bar->maximum() > before);
    QCOMPARE(bar->value(), 0);

    // On again: to the bottom at once, and along with what follows.
    toggle->click();
    QCOMPARE(bar->value(), bar->maximum());
    const int grown = bar->maximum();
    harness.say(Speaker::me, QStringLiteral("And another"));
    QTRY_VERIFY(bar->maximum() > grown);
    QTRY_COMPARE(bar->value(), bar->maximum());
}

// The menu lists what the selection offers (its rules are tested with it) and records the choice; a name
// with "&" shows as it is written.
void CallWindowTest::assistantMenu()
{
    Assistant zed = Assistant::make(QStringLiteral("Zed R&D"), AssistantTemplate::blank);
    Assistant alpha = Assistant::make(QStringLiteral("Alpha interviews"), AssistantTemplate::blank);
    CallContext northwind = CallContext::make(QStringLiteral("Northwind"), alpha);
    Harness harness;
    QVERIFY(harness.seed([&](StoreContext& context) {
        context.insert(zed);
        context.insert(alpha);
        context.insert(northwind);
    }));
    harness.settings.setText(SettingKey::selectedAssistant, uuid::toText(alpha.id));
    QVERIFY(harness.show());
    QToolButton* button = harness.button(QStringLiteral("assistantMenu"));
    QCOMPARE(button->text(), QStringLiteral("Alpha interviews · No context"));
    const auto entries = [&] {
        QStringList texts;
        for (const QAction* action : button->menu()->actions()) {
            // The text shown: "&" marks a mnemonic unless doubled.
            texts.append(action->isSeparator() ? QStringLiteral("--") : action->iconText());
        }
        return texts;
    };
    QCOMPARE(entries(),
        (QStringList { QStringLiteral("Alpha interviews"), QStringLiteral("Zed R&D"), QStringLiteral("--"),
            QStringLiteral("Northwind"), QStringLiteral("No context") }));

    button->menu()->actions().at(3)->trigger();
    QCOMPARE(harness.settings.selectedContext(), uuid::toText(northwind.id));
    QCOMPARE(button->text(), QStringLiteral("Alpha interviews · Northwind"));
    button->menu()->actions().at(1)->trigger();
    QCOMPARE(harness.settings.selectedAssistant(), uuid::toText(zed.id));
    QVERIFY(QKeySequence::mnemonic(button->text()).isEmpty());

    // A change saved elsewhere shows without reopening.
    QVERIFY(harness.seed([](StoreContext& context) {
        context.insert(Assistant::make(QStringLiteral("Beta"), AssistantTemplate::blank));
    }));
    QTRY_COMPARE(entries().at(1), QStringLiteral("Beta"));

    // A store that could not be loaded says so in the menu's place.
    Harness failed(QStringLiteral("file is not a database"));
    QVERIFY(failed.show());
    QVERIFY(
        failed.find<QLabel>(QStringLiteral("loadError"))->text().endsWith(QStringLiteral("file is not a database")));
    QVERIFY(!failed.button(QStringLiteral("assistantMenu"))->isVisible());
}

// What start-up did for the user's calls is said until dismissed: a call recovered from the journal of a
// run that was killed, and a damaged store set aside.
void CallWindowTest::startNotice()
{
    QTemporaryDir folder;
    const QString storePath = folder.filePath(QStringLiteral("Assistants.store"));
    {
        CallJournal journal(CallJournal::pathBeside(storePath), nullptr);
        const QUuid call = uuid::create();
        journal.begin(call, std::nullopt, std::nullopt);
        journal.addLine(call, TranscriptLine { uuid::create(), Speaker::them, QStringLiteral("Hello?"), dates::now() });
        journal.flush();
        // As a run that has ended leaves it: its process is gone.
        SQLite::Database(CallJournal::pathBeside(storePath).toStdString(), SQLite::OPEN_READWRITE)
            .exec("UPDATE \"JournalCall\" SET \"owner\" = 'another-boot 1 1'");
    }
    QFile damaged(storePath);
    QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write(QByteArray(8192, 'q')) == 8192);
    damaged.close();
    Settings settings(folder.filePath(QStringLiteral("Quillora.conf")), nullptr);
    DesktopServices services(&settings, openStoreForDesktop(settings, storePath), nullptr,
        DesktopServices::Options { .storePath = storePath, .clock = nullptr });
    QCOMPARE(services.store().context().count<Call>().value(), 1);
    CallWindow window(services, nullptr);
    QVERIFY(gui::shown(&window));
    auto* notice = gui::find<QLabel>(&window, QStringLiteral("startNotice"));
    QVERIFY(notice->isVisible());
    // Both are said, the second with where the damaged store now is.
    QCOMPARE(notice->text().count(u'\n'), 1);
    QVERIFY(notice->text().contains(services.setAsideStore()));
    QTest::mouseClick(gui::named<QToolButton>(&window, QStringLiteral("Dismiss")), Qt::LeftButton);
    QVERIFY(!notice->isVisible());
}

void CallWindowTest::shapePinAndSize()
{
    Harness harness;
    QVERIFY(harness.show());
    CallWindow& window = *harness.window;
    // Xvfb has no compositing manager: the rounded corners are cut out rather than left black.
    QVERIFY(window.mask().contains(window.rect().center()));
    QVERIFY(!window.mask().contains(QPoint(1, 1)));
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    window.move(60, 40);
    QTRY_COMPARE(window.pos(), QPoint(60, 40));

    // Xvfb has no window manager to resize for the window: it follows the mouse itself, and the size is
    // kept a pause after the last move.
    const QSize before = window.size();
    const QPoint corner(window.width() - 2, window.height() - 2);
    QCOMPARE(window.edgesAt(corner), Qt::RightEdge | Qt::BottomEdge);
    QCOMPARE(window.edgesAt(QPoint(window.width() / 2, window.height() / 2)), Qt::Edges());
    QTest::mousePress(&window, Qt::LeftButton, {}, corner);
    QTest::mouseMove(&window, corner + QPoint(50, 40));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, corner + QPoint(50, 40));
    QTRY_COMPARE(window.size(), before + QSize(50, 40));
    QVERIFY(!harness.settings.extra(CallWindow::geometryKey).isValid());
    harness.clock.advance(CallWindow::geometrySavePause);
    QVERIFY(harness.settings.extra(CallWindow::geometryKey).isValid());

    // The pin takes the window off the top and back, without moving or hiding it.
    QToolButton* pin = harness.button(QStringLiteral("pin"));
    QTest::mouseClick(pin, Qt::LeftButton);
    QVERIFY(!harness.settings.isAlwaysOnTop());
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(window.isVisible());
    QTRY_COMPARE(window.pos(), QPoint(60, 40));
    QTest::mouseClick(pin, Qt::LeftButton);
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    harness.settings.setNumber(SettingKey::windowOpacity, 0.0); // never invisible
    QVERIFY(qAbs(window.windowOpacity() - 0.3) < 0.01); // X11 keeps opacity in 32 bits

    // The next window opens where this one was, as big.
    harness.open();
    QVERIFY(harness.show());
    QCOMPARE(harness.window->size(), before + QSize(50, 40));
    QTRY_COMPARE(harness.window->pos(), QPoint(60, 40));
}

// To a screen reader the window is a frame named by its title, and every control is named by its
// tooltip or text, with a call's card open.
void CallWindowTest::accessibleNames()
{
    Harness harness;
    QVERIFY(harness.show());
    QVERIFY(harness.finishCall({ words(25) }));
    QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(harness.window.get());
    QCOMPARE(frame->role(), QAccessible::Window);
    QCOMPARE(frame->text(QAccessible::Name), QStringLiteral("Quillora"));
    const QStringList unnamed = gui::unnamedControls(harness.window.get());
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u'\n')));
}

QTEST_MAIN(CallWindowTest)
#include "CallWindowTest.moc"
