#include "app/startup/DesktopStart.h"

#include "app/assistants/AssistantsWindow.h"
#include "app/bus/BusActions.h"
#include "app/callwindow/CallWindow.h"
#include "app/guide/GuideWindow.h"
#include "app/hotkeys/GlobalHotKey.h"
#include "app/screenshare/ScreenShareHider.h"
#include "app/services/DesktopServices.h"
#include "app/services/OpenedStore.h"
#include "app/services/ShutdownDelay.h"
#include "app/settings/GeneralSettingsView.h"
#include "app/settings/SettingsWindow.h"
#include "app/startup/QuitGuard.h"
#include "app/startup/Translations.h"
#include "app/tray/AppMenu.h"
#include "app/updates/CheckForUpdatesView.h"
#include "app/updates/Updater.h"
#include "common/Log.h"
#include "screenshare/ScreenShareWatcher.h"
#include "settings/Settings.h"
#include "summary/SummaryService.h"
#include "transcription/TranscriptionService.h"

#include <QApplication>
#include <QLocale>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include <malloc.h>

namespace {

long long monotonicNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Milestones of start-up as "<milestone> after N ms" from main(), under the debug level of
// "Vessaro.Quillora.startup", so that a slow start can be taken apart on the machine it happens on.
class StartTrace {
public:
    explicit StartTrace(long long startedNs)
        : m_startedNs(startedNs > 0 ? startedNs : monotonicNs())
    {
    }

    void mark(const char* milestone) const
    {
        timespec cpu {};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
        qCDebug(lcStartup, "%s after %.1f ms (processor %.1f ms)", milestone, double(monotonicNs() - m_startedNs) / 1e6,
            double(cpu.tv_sec) * 1e3 + double(cpu.tv_nsec) / 1e6);
    }

private:
    const long long m_startedNs;
};

// Runs `work` once, after `window` first painted, so that start-up does not wait for it.
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget* window, std::function<void()> work)
        : m_work(std::move(work))
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // Posted, so that the painting this event starts comes first.
            QMetaObject::invokeMethod(
                this, [this] { std::exchange(m_work, nullptr)(); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    std::function<void()> m_work;
};

// Says in one sentence that the display of the chosen platform could not be opened, and which.
std::string noDisplaySentence(const QProcessEnvironment& environment)
{
    const QString platform = environment.value(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    const auto where = [&](const char* variable) {
        const QString display = environment.value(QString::fromLatin1(variable));
        return display.isEmpty() ? QStringLiteral("%1 is not set").arg(QLatin1String(variable))
                                 : QStringLiteral("%1=%2").arg(QLatin1String(variable), display);
    };
    const QString place = platform.startsWith(u"xcb") ? where("DISPLAY")
        : platform.startsWith(u"wayland")             ? where("WAYLAND_DISPLAY")
                                                      : QStringLiteral("platform %1").arg(platform);
    return QStringLiteral("quillora: the desktop app needs a display, and none could be opened (%1).\n")
        .arg(place)
        .toStdString();
}

// Qt ends the process with abort() when it cannot open the display, after lines that blame the
// installation. While the application object is made its messages are held back: a fatal one
// becomes one sentence and exit status 1, the others are passed on once the object exists.
class DisplayGuard {
public:
    DisplayGuard() { s_previous = qInstallMessageHandler(&hold); }
    ~DisplayGuard()
    {
        qInstallMessageHandler(s_previous);
        const std::lock_guard lock(s_mutex);
        for (const Held& message : s_held) {
            s_previous(
                message.type, QMessageLogContext(nullptr, 0, nullptr, message.category.constData()), message.text);
        }
        s_held.clear();
    }
    DisplayGuard(const DisplayGuard&) = delete;
    DisplayGuard& operator=(const DisplayGuard&) = delete;

private:
    struct Held {
        QtMsgType type;
        QByteArray category;
        QString text;
    };

    static void hold(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (type == QtFatalMsg) {
            const std::string sentence = noDisplaySentence(QProcessEnvironment::systemEnvironment());
            std::fputs(sentence.c_str(), stderr);
            std::_Exit(1); // abort() would dump core for a plain missing display
        }
        const std::lock_guard lock(s_mutex);
        s_held.append({ type, QByteArray(context.category), text });
    }

    static inline QtMessageHandler s_previous = nullptr;
    static inline std::mutex s_mutex;
    static inline QList<Held> s_held;
};

} // namespace

QByteArray preferredPlatform(const QProcessEnvironment& environment)
{
    if (environment.contains(QStringLiteral("QT_QPA_PLATFORM"))) {
        return {};
    }
    const bool wayland = environment.value(QStringLiteral("XDG_SESSION_TYPE")) == u"wayland"
        || environment.contains(QStringLiteral("WAYLAND_DISPLAY"));
    return wayland ? QByteArrayLiteral("xcb") : QByteArray();
}

int runDesktopApp(int argc, char** argv, long long mainStartedNs)
{
    StartTrace trace(mainStartedNs);
    trace.mark("Desktop module loaded");
    // Every suggestion reads the assistant's knowledge files (up to a few tens of MB) into fresh
    // buffers. Served by mmap, each of them page-faults in anew and is unmapped again, which costs
    // far more than the copying itself; keeping such blocks on the heap lets them be reused.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
    if (const QByteArray platform = preferredPlatform(QProcessEnvironment::systemEnvironment()); !platform.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", platform);
    }
    std::optional<DisplayGuard> displayGuard(std::in_place);
    QApplication app(argc, argv);
    displayGuard.reset();
    QApplication::setOrganizationName(QStringLiteral("Vessaro"));
    QApplication::setApplicationName(QStringLiteral("Quillora"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLORA_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("Vessaro.Quillora"));
    if (const QString language = translations::catalogueFor(QLocale::system().uiLanguages()); !language.isEmpty()) {
        translations::install(app, language);
    }
    trace.mark("Application created");

    // One desktop app per session: a second start raises the first one's window and ends.
    BusActions bus(&app);
    const Result<InstanceClaim> claim = bus.claim();
    if (!claim) {
        std::fprintf(stderr, "quillora: %s\n", qUtf8Printable(claim.error().message));
        return 1;
    }
    if (*claim == InstanceClaim::otherInstance) {
        return 0;
    }
    trace.mark("Instance claimed");

    Settings settings(&app);
    OpenedStore opened = openStoreForDesktop(settings);
    if (!opened.container) {
        std::fprintf(stderr, "quillora: %s\n", qUtf8Printable(opened.loadError));
        return 1;
    }
    trace.mark("Store opened");
    DesktopServices services(&settings, std::move(opened), &app, {});
    trace.mark("Services created");
    // Quitting in any way (the last window closed, a signal, logging out) stores the call first.
    QuitGuard quitGuard([&services] { return services.endCall(); }, [&services] { services.storeCallNow(); }, &app);
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &quitGuard, [&quitGuard] { quitGuard.quit(); });
    // Shutting the computer down waits, through logind, while a call is heard or summarised, until it is stored.
    ShutdownDelay shutdownDelay(&app);
    const auto callNeedsStoring = [&services, &shutdownDelay] {
        shutdownDelay.setNeeded(services.transcription().isRunning() || services.summary().isGenerating());
    };
    QObject::connect(
        &services.transcription(), &TranscriptionService::runningChanged, &shutdownDelay, callNeedsStoring);
    QObject::connect(&services.summary(), &SummaryService::isGeneratingChanged, &shutdownDelay, callNeedsStoring);
    QObject::connect(&shutdownDelay, &ShutdownDelay::shutdownAhead, &services, &DesktopServices::storeCallNow);

    GlobalHotKey hotKeys(&app);
    hotKeys.registerHotKey(
        Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier, [&services] { services.toggleListening(); },
        QObject::tr("Start or stop listening"));
    hotKeys.registerHotKey(
        Qt::Key_Return, Qt::ControlModifier | Qt::AltModifier, [&services] { services.suggestNow(); },
        QObject::tr("Suggest a reply now"));
    trace.mark("Hot keys registered");
    QObject::connect(&bus, &BusActions::toggleListeningRequested, &services, &DesktopServices::toggleListening);
    QObject::connect(&bus, &BusActions::suggestNowRequested, &services, &DesktopServices::suggestNow);

    CallWindow window(services);
    trace.mark("Window created");
    const auto showWindow = [&window] {
        window.show();
        window.raise();
        window.activateWindow();
    };
    QObject::connect(&bus, &BusActions::activateRequested, &window, showWindow);

    // The windows hide while the compositor shares the screen; PipeWire is reached after the first paint.
    ScreenShareWatcher screenShare(&app);
    ScreenShareHider screenShareHider(settings, screenShare, &app);
    QObject::connect(&screenShare, &ScreenShareWatcher::started, &screenShare,
        [&trace] { trace.mark("Screen share watcher started"); });
    const AfterFirstPaint startScreenShare(&window, [&screenShare] { screenShare.start(); });

    // The settings window is made on first use and kept; it goes before the services it edits.
    std::unique_ptr<SettingsWindow> settingsWindow;
    AppMenu menu(services, &app);
    screenShareHider.offerByHand(menu.hideWhileSharingAction());
    QObject::connect(&menu, &AppMenu::showWindowRequested, &window, showWindow);
    QObject::connect(&menu, &AppMenu::assistantsRequested, &window, &CallWindow::assistantsRequested);
    QObject::connect(&menu, &AppMenu::settingsRequested, &menu, [&] {
        if (!settingsWindow) {
            settingsWindow = std::make_unique<SettingsWindow>(settings, services.keychain());
            menu.attachTo(settingsWindow.get());
            settingsWindow->general()->setScreenShareVisible(screenShare.isAvailable());
            QObject::connect(&screenShare, &ScreenShareWatcher::availableChanged, settingsWindow->general(),
                &GeneralSettingsView::setScreenShareVisible);
        }
        settingsWindow->present();
    });
    // The first-start guide, made on first use like the settings window; it opens by itself each time the
    // call window is shown until the user presses "Done".
    std::unique_ptr<GuideWindow> guide;
    const auto openGuide = [&guide, &settings, &services, &menu] {
        if (!guide) {
            guide = std::make_unique<GuideWindow>(settings, services.keychain());
            menu.attachTo(guide.get());
        }
        guide->present();
    };
    QObject::connect(&menu, &AppMenu::setupRequested, &menu, openGuide);
    new GuideOpener(settings, &window, openGuide);
    // Made when first asked for, so start-up does not pay for it; one instance, raised when asked again.
    std::unique_ptr<AssistantsWindow> assistants;
    QObject::connect(&window, &CallWindow::assistantsRequested, &window, [&assistants, &services, &settings, &menu] {
        if (!assistants) {
            assistants = std::make_unique<AssistantsWindow>(&services.store(), &settings, &services.improvement(),
                nullptr, AssistantsWindowOptions { .clock = nullptr, .summary = &services.summary() });
            menu.attachTo(assistants.get());
        }
        assistants->open();
    });
    QObject::connect(&menu, &AppMenu::quitRequested, &quitGuard, [&quitGuard] { quitGuard.quit(); });
    // The updater only tells whether it can check; it reads the feed when the user asks.
    Updater updater(settings, &app);
    CheckForUpdatesView checkForUpdates(updater, menu.updatesAction(), &app);
    menu.attachTo(&window);
    menu.showTrayIcon();
    // Made last, so that its mark is posted before the work the other first-paint watchers start.
    const AfterFirstPaint markFirstPaint(&window, [&trace] { trace.mark("First paint"); });
    window.show();
    trace.mark("Window shown");
    return app.exec();
}
