#include "app/callwindow/CallWindow.h"
#include "app/callwindow/AssistantMenu.h"
#include "app/callwindow/EmptyState.h"
#include "app/callwindow/OutcomeControl.h"
#include "app/callwindow/SummaryCard.h"
#include "app/callwindow/TimelineList.h"
#include "app/callwindow/TimelineModel.h"
#include "app/callwindow/TimelineView.h"
#include "app/callwindow/WaveformView.h"
#include "app/services/DesktopServices.h"
#include "app/tray/AppMenu.h"
#include "app/widgets/ColorDot.h"
#include "common/Dates.h"
#include "common/Uuid.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/ManualClock.h"
#include "settings/Keychain.h"
#include "settings/Settings.h"
#include "store/StoreContext.h"
#include "store/StoreHolder.h"
#include "suggestions/SuggestionService.h"
#include "summary/CallJournal.h"
#include "summary/SummaryService.h"
#include "transcription/TranscriptionService.h"

#include <SQLiteCpp/Database.h>

#include <QAbstractNativeEventFilter>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <xcb/xcb.h>

using namespace std::chrono_literals;
using Response = FakeHttpServer::Response;
using Ending = FakeHttpServer::Ending;

namespace {

bool isSummaryRequest(const FakeHttpServer::Request& request)
{
    return request.body.contains("You summarize video calls");
}

Response reply(const QStringList& pieces, Ending ending = Ending::complete)
{
    Response response;
    for (const QString& piece : pieces) {
        response.chunks.append(fakeEvents::claudeText(piece));
    }
    response.ending = ending;
    return response;
}

Response refusal()
{
    Response response;
    response.status = 401;
    response.contentType = "application/json";
    response.chunks = { R"({"error":"invalid x-api-key"})" };
    return response;
}

QString words(int count)
{
    QStringList out;
    for (int i = 0; i < count; ++i) {
        out.append(QStringLiteral("word"));
    }
    return out.join(u' ');
}

// The texts of the timeline's rows, "You: text", "Them: text" or "Suggestion: text".
QStringList rowsOf(const TimelineModel& model)
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row);
        const bool suggestion = model.kind(row) == TimelineModel::RowKind::suggestion;
        rows.append((suggestion ? QStringLiteral("Suggestion") : index.data(Qt::AccessibleDescriptionRole).toString())
            + QStringLiteral(": ") + index.data().toString());
    }
    return rows;
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

bool xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

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

// The app's real services on an in-memory store, with Claude answered by a loopback fake, and the call
// window on them. The window's own timers run on a manual clock.
struct Harness {
    explicit Harness(const QString& loadError = QString(), const std::function<void(StoreContext&)>& seed = {})
        : settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr)
    {
        settings.setText(SettingKey::llmProvider, QStringLiteral("claude"));
        settings.setText(SettingKey::anthropicBaseURL, server.baseURL());
        server.handle("/v1/messages", [this](const FakeHttpServer::Request& request) {
            return isSummaryRequest(request) ? summaryReply : suggestionReply;
        });
        auto store = *Store::openInMemory();
        if (seed) {
            auto context = store->newContext();
            seed(*context);
            QVERIFY(context->save());
        }
        services = std::make_unique<DesktopServices>(
            &settings, OpenedStore { store, true, loadError }, nullptr, DesktopServices::Options {});
        window = std::make_unique<CallWindow>(*services, nullptr, CallWindowOptions { &clock });
    }

    ~Harness()
    {
        window.reset();
        services.reset();
    }

    bool show()
    {
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }

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
    TimelineView& timeline() { return *window->timeline(); }
    SummaryCard& summaryCard() { return *timeline().summaryCard(); }
    OutcomeControl& outcome() { return *summaryCard().outcome(); }

    QTemporaryDir directory;
    Settings settings;
    FakeHttpServer server;
    ManualClock clock;
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
    void clearTranscript();
    void summaryCard_data();
    void summaryCard();
    void copyAndReveal();
    void thumbs();
    void note();
    void autoScroll();
    void assistantMenu();
    void loadError();
    void startNotice();
    void shapePinAndOpacity();
    void resizeAndRemember();
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
    QCOMPARE(window.windowTitle(), QStringLiteral("Quillora"));
    QCOMPARE(window.size(), CallWindow::defaultSize);
    QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(window.statusText()->text(), QStringLiteral("Stopped"));
    QCOMPARE(window.statusDot()->color(), QColor(Qt::gray));
    QCOMPARE(window.listenButton()->toolTip(), QStringLiteral("Start listening (Ctrl+Alt+Space from any app)"));
    QCOMPARE(window.timeline()->emptyState()->prompt()->text(), QStringLiteral("Press ▶ or Space to start"));
    QCOMPARE(window.timeline()->emptyState()->hint()->text(),
        QStringLiteral("From any app: Ctrl+Alt+Space starts or stops, Ctrl+Alt+Enter asks for a suggestion"));
    for (const QToolButton* button : { window.listenButton(), window.clearButton(), window.assistantsButton(),
             window.pinButton(), window.assistantMenu()->button() }) {
        QVERIFY(!button->toolTip().isEmpty());
        QCOMPARE(button->accessibleName(), button->toolTip());
    }

    QSignalSpy toggled(harness.services.get(), &DesktopServices::toggleFinished);
    QTest::mouseClick(window.listenButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(toggled.count(), 1, 20000); // a start may also end within the click
    QVERIFY2(harness.services->transcription().isRunning(),
        qPrintable(harness.services->transcription().status().value_or(QString())));
    QCOMPARE(window.statusText()->text(), QStringLiteral("Listening"));
    QCOMPARE(window.statusDot()->color(), QColor(36, 160, 72));
    QCOMPARE(window.listenButton()->toolTip(), QStringLiteral("Stop listening (Ctrl+Alt+Space from any app)"));
    QCOMPARE(window.listenButton()->accessibleName(), window.listenButton()->toolTip());
    QCOMPARE(window.timeline()->emptyState()->prompt()->text(), QStringLiteral("Listening…"));
    harness.say(Speaker::them, QStringLiteral("Hello there"));
    QVERIFY(!window.clearButton()->isVisible()); // never while listening

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
    QCOMPARE(window.statusText()->text(), QStringLiteral("Stopped"));
    QVERIFY(window.clearButton()->isVisible());
}

// The app menu attached to the call window and to another window, as the running app does: each key has
// one owner, so it works in either.
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
}

// The timeline's rows follow the services; where each goes is the model's rule.
void CallWindowTest::timelineRows()
{
    Harness harness;
    harness.suggestionReply = reply({ QStringLiteral("You could") }, Ending::hang);
    QVERIFY(harness.show());
    TimelineView& timeline = harness.timeline();
    TimelineModel& model = *timeline.model();
    TimelineList& list = *timeline.list();
    SuggestionService& suggestions = harness.services->suggestions();
    QVERIFY(timeline.emptyState()->isVisible());
    QVERIFY(!list.isVisible());

    harness.transcript().handleText(QStringLiteral("So tell"), false, Speaker::them);
    QVERIFY(!timeline.emptyState()->isVisible());
    QCOMPARE(rowsOf(model), QStringList { QStringLiteral("Them: So tell") });
    harness.say(Speaker::them, QStringLiteral("Where did you work before?"));
    QCOMPARE(rowsOf(model), QStringList { QStringLiteral("Them: Where did you work before?") });

    // The question brings a reply that streams into one row; the waiting indicator shows until it ends.
    QSignalSpy waiting(&suggestions, &SuggestionService::isWaitingChanged);
    QVERIFY(waiting.wait(5000));
    QVERIFY(timeline.waitingIndicator()->isVisible());
    QTRY_COMPARE(model.rowCount(), 2);
    const QPersistentModelIndex reply = model.index(1);
    QCOMPARE(reply.data().toString(), QStringLiteral("You could"));
    harness.server.push(fakeEvents::claudeText(QStringLiteral(" say Acme")));
    QTRY_COMPARE(reply.data().toString(), QStringLiteral("You could say Acme"));
    harness.server.finishHeld();
    QTRY_VERIFY(!suggestions.isWaiting());
    QVERIFY(!timeline.waitingIndicator()->isVisible());
    // A line dated in the very millisecond of the reply's last update counts as heard before it, so
    // the line waits for the clock to move on (the lines and the reply are dated by the system clock).
    const QDateTime replied = suggestions.history().constLast().timestamp;
    QTRY_VERIFY(dates::now() > replied);
    harness.transcript().handleText(QStringLiteral("I"), false, Speaker::me);
    harness.say(Speaker::me, QStringLiteral("I worked at Acme"));
    QCOMPARE(rowsOf(model),
        (QStringList { QStringLiteral("Them: Where did you work before?"),
            QStringLiteral("Suggestion: You could say Acme"), QStringLiteral("You: I worked at Acme") }));
    QCOMPARE(reply.row(), 1);

    // The list shows every row, one under the other, each as tall as its text needs.
    QTRY_VERIFY(list.isVisible());
    int bottom = 0;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QRect rect = list.visualRect(model.index(row));
        QCOMPARE(rect.top(), bottom);
        QVERIFY(rect.height() > QFontMetrics(list.font()).height());
        QCOMPARE(list.indexAt(rect.center()), model.index(row));
        bottom = rect.bottom() + 1;
    }
    QTRY_COMPARE(list.height(), bottom);

    // Screen readers read each row's text.
    QAccessibleInterface* rows = QAccessible::queryAccessibleInterface(&list);
    QVERIFY(rows);
    QStringList read;
    for (int child = 0; child < rows->childCount(); ++child) {
        read.append(rows->child(child)->text(QAccessible::Name));
    }
    QVERIFY2(read.contains(QStringLiteral("You could say Acme")), qPrintable(read.join(u'|')));
    QVERIFY2(read.contains(QStringLiteral("I worked at Acme")), qPrintable(read.join(u'|')));

    // A press on a row's text lets it be selected as a label's text.
    const QRect line = list.visualRect(model.index(2));
    QTest::mousePress(list.viewport(), Qt::LeftButton, {}, QPoint(line.right() - 20, line.center().y()));
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, QPoint(line.right() - 20, line.center().y()));
    QVERIFY(list.selectableText()->isVisible());
    QCOMPARE(list.selectableText()->text(), QStringLiteral("I worked at Acme"));
    QVERIFY(line.contains(list.selectableText()->geometry()));
    // A right press there, which the label leaves, goes on to the window's menu and not back to the list.
    harness.window->setContextMenuPolicy(Qt::CustomContextMenu);
    QSignalSpy windowMenu(harness.window.get(), &QWidget::customContextMenuRequested);
    const QPoint text(line.left() + 80, line.center().y());
    QTest::mousePress(list.viewport(), Qt::RightButton, {}, text);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, text, list.viewport()->mapToGlobal(text));
    QCoreApplication::sendEvent(list.viewport(), &menu);
    QTest::mouseRelease(list.viewport(), Qt::RightButton, {}, text);
    QCOMPARE(windowMenu.count(), 1);
    QVERIFY(list.selectableText()->isVisible());
}

void CallWindowTest::clearTranscript()
{
    Harness harness;
    QVERIFY(harness.show());
    CallWindow& window = *harness.window;
    QVERIFY(!window.clearButton()->isVisible()); // no lines
    QVERIFY(harness.finishCall({ QStringLiteral("Short call") }));
    QVERIFY(window.clearButton()->isVisible());
    QVERIFY(harness.summaryCard().isVisible());

    QTest::mouseClick(window.clearButton(), Qt::LeftButton);
    QVERIFY(harness.transcript().lines().isEmpty());
    QVERIFY(harness.services->suggestions().history().isEmpty());
    QVERIFY(!harness.services->summary().savedCallID());
    QVERIFY(!window.clearButton()->isVisible());
    QVERIFY(!harness.summaryCard().isVisible());
    QCOMPARE(window.timeline()->model()->rowCount(), 0);
    QVERIFY(window.timeline()->emptyState()->isVisible());

    // Not offered while a summary is written, which it would cut off.
    harness.summaryReply = reply({ QStringLiteral("Summary: ") }, Ending::hang);
    SummaryService& summary = harness.services->summary();
    summary.handleRunningFlag(true);
    harness.say(Speaker::them, words(25));
    summary.handleRunningFlag(false);
    QVERIFY(!window.clearButton()->isVisible());
    QTRY_COMPARE(summary.text(), std::optional(QStringLiteral("Summary: ")));
    harness.server.finishHeld();
    QTRY_VERIFY(window.clearButton()->isVisible());
}

void CallWindowTest::summaryCard_data()
{
    QTest::addColumn<int>("wordCount");
    QTest::addColumn<int>("answer"); // 0 streams on, 1 completes, 2 is refused
    QTest::addColumn<bool>("documentsBlocked");
    QTest::addColumn<QString>("text"); // "-" when no text is shown
    QTest::addColumn<bool>("isError");
    QTest::addColumn<bool>("progress");
    QTest::addColumn<bool>("copy");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<bool>("saveError");

    QTest::newRow("being written") << 25 << 0 << false << "Summary: " << false << true << false << false << false;
    QTest::newRow("written and saved") << 25 << 1 << false << "Summary: all agreed." << false << false << true << true
                                       << false;
    QTest::newRow("model refused") << 25 << 2 << false << "HTTP 401" << true << false << false << true << false;
    // Without a summary the card shows what was stored in its place.
    QTest::newRow("short call: saved without a summary")
        << 5 << 1 << false << "Short call: no summary." << false << false << false << true << false;
    QTest::newRow("call file not written")
        << 5 << 1 << true << "Short call: no summary." << false << false << false << false << true;
}

void CallWindowTest::summaryCard()
{
    QFETCH(int, wordCount);
    QFETCH(int, answer);
    QFETCH(bool, documentsBlocked);
    QFETCH(QString, text);
    QFETCH(bool, isError);
    QFETCH(bool, progress);
    QFETCH(bool, copy);
    QFETCH(bool, saved);
    QFETCH(bool, saveError);

    // A file where the calls' folder belongs makes the call file fail.
    const QString folder =
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath(QStringLiteral("Quillora"));
    QDir(folder).removeRecursively();
    QFile::remove(folder);
    if (documentsBlocked) {
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Could not save the call: ")));
        QDir().mkpath(QFileInfo(folder).path());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }

    Harness harness;
    harness.summaryReply = answer == 0 ? reply({ QStringLiteral("Summary: ") }, Ending::hang)
        : answer == 1                  ? reply({ QStringLiteral("Summary: "), QStringLiteral("all agreed.") })
                                       : refusal();
    QVERIFY(harness.show());
    SummaryService& summary = harness.services->summary();
    SummaryCard& card = harness.summaryCard();
    QVERIFY(!card.isVisible());
    if (answer == 0) {
        summary.handleRunningFlag(true);
        harness.say(Speaker::them, words(wordCount));
        summary.handleRunningFlag(false);
        QTRY_COMPARE(summary.text().value_or(QString()), QStringLiteral("Summary: "));
    } else {
        QVERIFY(harness.finishCall({ words(wordCount) }));
    }
    QVERIFY(card.isVisible());
    QCOMPARE(card.text()->isVisible(), text != u"-");
    if (text != u"-") {
        QVERIFY2(card.text()->text().startsWith(text), qPrintable(card.text()->text()));
        QCOMPARE(card.text()->palette().color(QPalette::WindowText).red() == 224, isError);
    }
    QCOMPARE(card.findChild<QProgressBar*>()->isVisible(), progress);
    QCOMPARE(card.copyButton()->isVisible(), copy);
    QCOMPARE(card.savedButton()->isVisible(), saved);
    if (saved) {
        QCOMPARE(card.savedButton()->text(), QStringLiteral("Saved: ") + QFileInfo(*summary.savedFile()).fileName());
        QCOMPARE(card.savedButton()->toolTip(), QStringLiteral("Show in folder"));
    }
    QCOMPARE(card.saveError()->isVisible(), saveError);
    if (saveError) {
        QVERIFY(card.saveError()->text().startsWith(QStringLiteral("Could not save the call: ")));
    }
    QCOMPARE(card.outcome()->isVisible(), summary.savedCallID().has_value());
    QCOMPARE(card.outcome()->isVisible(), answer != 0);
    QFile::remove(folder);
}

void CallWindowTest::copyAndReveal()
{
    Harness harness;
    QVERIFY(harness.show());
    QVERIFY(harness.finishCall({ words(25) }));
    SummaryCard& card = harness.summaryCard();

    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
    QTest::mouseClick(card.copyButton(), Qt::LeftButton);
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
    QTest::mouseClick(card.savedButton(), Qt::LeftButton);
    QTRY_COMPARE(manager.shown, QStringList { QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded) });

    // Without one, the folder opens.
    bus.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
    QVERIFY(bus.unregisterService(QStringLiteral("org.freedesktop.FileManager1")));
    QTest::mouseClick(card.savedButton(), Qt::LeftButton);
    QTRY_COMPARE(opener.opened, QList<QUrl> { QUrl::fromLocalFile(QFileInfo(file).absolutePath()) });
    QCOMPARE(manager.shown.size(), 1);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

void CallWindowTest::thumbs()
{
    Harness harness;
    QVERIFY(harness.show());
    QVERIFY(harness.finishCall({ QStringLiteral("Short call") }));
    SummaryService& summary = harness.services->summary();
    const QUuid call = *summary.savedCallID();
    OutcomeControl& outcome = harness.outcome();
    QCOMPARE(outcome.thumbsUp()->toolTip(), QStringLiteral("Good call"));
    QCOMPARE(outcome.thumbsDown()->toolTip(), QStringLiteral("Bad call"));
    QCOMPARE(outcome.thumbsUp()->accessibleName(), QStringLiteral("Good call"));

    const struct {
        QToolButton* tapped;
        CallOutcome stored;
    } taps[] = {
        { outcome.thumbsUp(), CallOutcome::positive },
        { outcome.thumbsUp(), CallOutcome::none }, // a second tap takes it back
        { outcome.thumbsDown(), CallOutcome::negative },
        { outcome.thumbsUp(), CallOutcome::positive },
    };
    for (const auto& tap : taps) {
        QTest::mouseClick(tap.tapped, Qt::LeftButton);
        QCOMPARE(summary.outcomeOf(call).outcome, tap.stored);
        QCOMPARE(outcome.thumbsUp()->isChecked(), tap.stored == CallOutcome::positive);
        QCOMPARE(outcome.thumbsDown()->isChecked(), tap.stored == CallOutcome::negative);
    }

    // A change stored elsewhere shows at once.
    summary.setOutcome(call, CallOutcome::negative);
    QVERIFY(outcome.thumbsDown()->isChecked());

    // A screen reader toggles the button without a click.
    outcome.thumbsUp()->toggle();
    QCOMPARE(summary.outcomeOf(call).outcome, CallOutcome::positive);
    QVERIFY(!outcome.thumbsDown()->isChecked());
}

void CallWindowTest::note()
{
    Harness harness;
    QVERIFY(harness.show());
    QVERIFY(harness.finishCall({ QStringLiteral("First call") }));
    SummaryService& summary = harness.services->summary();
    const QUuid first = *summary.savedCallID();
    QLineEdit* note = harness.outcome().note();
    QCOMPARE(note->placeholderText(), QStringLiteral("Note (optional)"));
    harness.window->activateWindow();
    QTRY_VERIFY(harness.window->isActiveWindow());

    // Saved a pause after typing stops; a space typed there stays in the note.
    note->setFocus();
    QTRY_VERIFY(note->hasFocus());
    QSignalSpy toggles(harness.services.get(), &DesktopServices::toggleFinished);
    QTest::keyClicks(note, QStringLiteral("good"));
    QTest::keyClick(note, Qt::Key_Space);
    QTest::keyClicks(note, QStringLiteral("fit"));
    QVERIFY(!harness.services->isToggling());
    QCOMPARE(note->text(), QStringLiteral("good fit"));
    harness.clock.advance(OutcomeControl::notePause - 1ms);
    QCOMPARE(summary.outcomeOf(first).note, QString());
    harness.clock.advance(1ms);
    QCOMPARE(summary.outcomeOf(first).note, QStringLiteral("good fit"));

    // Leaving the field saves at once.
    QTest::keyClicks(note, QStringLiteral("!"));
    harness.window->listenButton()->setFocus();
    QTRY_VERIFY(!note->hasFocus());
    QCOMPARE(summary.outcomeOf(first).note, QStringLiteral("good fit!"));
    QCOMPARE(toggles.count(), 0);

    // Text typed for one call is saved for that call, even when the next call comes before the pause.
    note->setFocus();
    QTRY_VERIFY(note->hasFocus());
    QTest::keyClicks(note, QStringLiteral(" really"));
    QVERIFY(harness.finishCall({ QStringLiteral("Second call") }));
    const QUuid second = *summary.savedCallID();
    QVERIFY(second != first);
    QCOMPARE(summary.outcomeOf(first).note, QStringLiteral("good fit! really"));
    harness.clock.advance(OutcomeControl::notePause);
    QCOMPARE(summary.outcomeOf(second).note, QString());
    QCOMPARE(note->text(), QString());
}

void CallWindowTest::autoScroll()
{
    Harness harness;
    QVERIFY(harness.show());
    QScrollBar* bar = harness.timeline().verticalScrollBar();
    for (int i = 0; i < 40; ++i) {
        harness.say(i % 2 ? Speaker::me : Speaker::them, QStringLiteral("Line number %1").arg(i));
    }
    QTRY_VERIFY(bar->maximum() > 0);
    QTRY_COMPARE(bar->value(), bar->maximum());

    // Off: new lines leave the column where the user put it.
    QCheckBox* toggle = harness.window->meters()->autoScrollSwitch();
    QCOMPARE(toggle->toolTip(), QStringLiteral("On: follow the newest line. Off: stay where you scrolled."));
    toggle->click();
    QVERIFY(!harness.settings.autoScroll());
    bar->setValue(0);
    const int before = bar->maximum();
    harness.say(Speaker::them, QStringLiteral("One more line"));
    QTRY_VERIFY(bar->maximum() > before);
    QCOMPARE(bar->value(), 0);

    // On again: to the bottom at once, and along with what follows.
    toggle->click();
    QVERIFY(harness.settings.autoScroll());
    QCOMPARE(bar->value(), bar->maximum());
    const int grown = bar->maximum();
    harness.say(Speaker::me, QStringLiteral("And another"));
    QTRY_VERIFY(bar->maximum() > grown);
    QTRY_COMPARE(bar->value(), bar->maximum());
}

void CallWindowTest::assistantMenu()
{
    Assistant zed = Assistant::make(QStringLiteral("Zed R&D"), AssistantTemplate::blank);
    Assistant alpha = Assistant::make(QStringLiteral("Alpha interviews"), AssistantTemplate::blank);
    Assistant old = Assistant::make(QStringLiteral("Archived one"), AssistantTemplate::blank);
    old.archived = true;
    CallContext later = CallContext::make(QStringLiteral("Northwind"), alpha);
    CallContext earlier = CallContext::make(QStringLiteral("Contoso"), alpha);
    CallContext gone = CallContext::make(QStringLiteral("Old lead"), alpha);
    gone.archived = true;
    Harness harness(QString(), [&](StoreContext& context) {
        for (const Assistant& assistant : { zed, alpha, old }) {
            context.insert(assistant);
        }
        for (const CallContext& callContext : { later, earlier, gone }) {
            context.insert(callContext);
        }
    });
    harness.settings.setText(SettingKey::selectedAssistant, uuid::toText(alpha.id));
    QVERIFY(harness.show());
    AssistantMenu& menu = *harness.window->assistantMenu();
    QCOMPARE(menu.button()->toolTip(), QStringLiteral("Assistant and context for this call"));
    QCOMPARE(menu.button()->text(), QStringLiteral("Alpha interviews · No context"));
    const auto entries = [&] {
        QStringList texts;
        for (const QAction* action : menu.menu()->actions()) {
            // The text shown: "&" marks a mnemonic unless doubled.
            texts.append(action->isSeparator() ? QStringLiteral("--") : action->iconText());
        }
        return texts;
    };
    QCOMPARE(entries(),
        (QStringList { QStringLiteral("Alpha interviews"), QStringLiteral("Zed R&D"), QStringLiteral("--"),
            QStringLiteral("Contoso"), QStringLiteral("Northwind"), QStringLiteral("No context") }));

    // Choosing a context records it; choosing an assistant removes the context.
    menu.menu()->actions().at(4)->trigger();
    QCOMPARE(harness.settings.selectedContext(), uuid::toText(later.id));
    QCOMPARE(menu.button()->text(), QStringLiteral("Alpha interviews · Northwind"));
    menu.menu()->actions().at(1)->trigger();
    QCOMPARE(harness.settings.selectedAssistant(), uuid::toText(zed.id));
    QVERIFY(QKeySequence::mnemonic(menu.button()->text()).isEmpty());
    QVERIFY(!harness.settings.contains(SettingKey::selectedContext));
    QCOMPARE(entries(),
        (QStringList { QStringLiteral("Alpha interviews"), QStringLiteral("Zed R&D"), QStringLiteral("--"),
            QStringLiteral("No context") }));

    // A change saved elsewhere shows without reopening.
    auto context = harness.services->store().container()->newContext();
    context->insert(Assistant::make(QStringLiteral("Beta"), AssistantTemplate::blank));
    QVERIFY(context->save());
    QTRY_COMPARE(entries().at(1), QStringLiteral("Beta"));
}

void CallWindowTest::loadError()
{
    Harness harness(QStringLiteral("file is not a database"));
    QVERIFY(harness.show());
    const AssistantMenu& menu = *harness.window->assistantMenu();
    const auto* error = menu.findChild<QLabel*>(QStringLiteral("loadError"));
    QVERIFY(error->isVisible());
    QCOMPARE(error->text(), QStringLiteral("Could not load the assistants: file is not a database"));
    QVERIFY(!menu.button()->isVisible());

    Harness fine;
    QVERIFY(fine.show());
    QVERIFY(!fine.window->assistantMenu()->findChild<QLabel*>(QStringLiteral("loadError"))->isVisible());
    QCOMPARE(fine.window->assistantMenu()->button()->text(), QStringLiteral("No assistant · No context"));
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
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.startNotice()->isVisible());
    QCOMPARE(window.startNotice()->text(),
        QStringLiteral("A call that ended before it was stored has been recovered: find it in the Calls tab of the "
                       "assistants window, where you can ask for its summary.\n"
                       "The store was damaged, so it was set aside as %1 and a new one was started. To recover its "
                       "records, quit Quillora, move the new store away and run: sqlite3 \"%1\" .recover | "
                       "sqlite3 \"%2\"")
            .arg(services.setAsideStore(), storePath));
    auto* dismiss = window.findChild<QToolButton*>(QStringLiteral("dismissNotice"));
    QCOMPARE(dismiss->accessibleName(), QStringLiteral("Dismiss"));
    QTest::mouseClick(dismiss, Qt::LeftButton);
    QVERIFY(!window.startNotice()->isVisible());
}

void CallWindowTest::shapePinAndOpacity()
{
    Harness harness;
    QVERIFY(harness.show());
    CallWindow& window = *harness.window;
    // To a screen reader a frame named by its title, not an unnamed panel.
    QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(&window);
    QCOMPARE(frame->role(), QAccessible::Window);
    QCOMPARE(frame->text(QAccessible::Name), QStringLiteral("Quillora"));
    // Xvfb has no compositing manager: the rounded corners are cut out rather than left black.
    QVERIFY(window.mask().contains(window.rect().center()));
    QVERIFY(!window.mask().contains(QPoint(1, 1)));
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(window.pinButton()->toolTip(), QStringLiteral("Stop keeping on top"));
    window.move(120, 80);
    QTRY_COMPARE(window.pos(), QPoint(120, 80));

    QTest::mouseClick(window.pinButton(), Qt::LeftButton);
    QVERIFY(!harness.settings.isAlwaysOnTop());
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(window.pinButton()->toolTip(), QStringLiteral("Keep on top of other windows"));
    QCOMPARE(window.pinButton()->accessibleName(), window.pinButton()->toolTip());
    QVERIFY(window.isVisible());
    QTRY_COMPARE(window.pos(), QPoint(120, 80));
    QTest::mouseClick(window.pinButton(), Qt::LeftButton);
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(window.isVisible());

    QCOMPARE(window.windowOpacity(), 1.0);
    harness.settings.setNumber(SettingKey::windowOpacity, 0.5);
    QVERIFY(qAbs(window.windowOpacity() - 0.5) < 0.01); // X11 keeps opacity in 32 bits
    harness.settings.setNumber(SettingKey::windowOpacity, 0.0); // never invisible
    QVERIFY(qAbs(window.windowOpacity() - 0.3) < 0.01);
}

void CallWindowTest::resizeAndRemember()
{
    Harness harness;
    QVERIFY(harness.show());
    CallWindow& window = *harness.window;
    window.move(60, 40);
    QTRY_COMPARE(window.pos(), QPoint(60, 40));
    const QSize before = window.size();
    const QPoint corner(window.width() - 2, window.height() - 2);
    QCOMPARE(window.edgesAt(corner), Qt::RightEdge | Qt::BottomEdge);
    QCOMPARE(window.edgesAt(QPoint(2, window.height() / 2)), Qt::Edges(Qt::LeftEdge));
    QCOMPARE(window.edgesAt(QPoint(window.width() / 2, window.height() / 2)), Qt::Edges());

    // Xvfb has no window manager to resize for the window: it follows the mouse itself.
    QTest::mousePress(&window, Qt::LeftButton, {}, corner);
    QTest::mouseMove(&window, corner + QPoint(50, 40));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, corner + QPoint(50, 40));
    QTRY_COMPARE(window.size(), before + QSize(50, 40));
    QCOMPARE(window.pos(), QPoint(60, 40));
    QVERIFY(!harness.settings.extra(CallWindow::geometryKey).isValid());
    harness.clock.advance(CallWindow::geometrySavePause);
    QVERIFY(harness.settings.extra(CallWindow::geometryKey).isValid());

    // The next window opens where this one was, as big.
    harness.window = std::make_unique<CallWindow>(*harness.services, nullptr, CallWindowOptions { &harness.clock });
    QVERIFY(harness.show());
    QCOMPARE(harness.window->size(), before + QSize(50, 40));
    QTRY_COMPARE(harness.window->pos(), QPoint(60, 40));
}

QTEST_MAIN(CallWindowTest)
#include "CallWindowTest.moc"
