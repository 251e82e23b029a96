#include "app/settings/AudioTestView.h"
#include "app/settings/AudioLevelBar.h"
#include "app/settings/SettingsWindow.h"
#include "app/widgets/WaveformBar.h"
#include "fakes/PulseTestSupport.h"
#include "settings/Keychain.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The panel's lines on standard output while `action` runs. Only the action runs with standard output
// in a file, so that the test's own report still reaches the terminal.
QStringList printedBy(const QString& path, const std::function<void()>& action)
{
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int file = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(file, STDOUT_FILENO);
    ::close(file);
    action();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);

    QFile written(path);
    if (!written.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList lines;
    for (const QString& line : QString::fromUtf8(written.readAll()).split(u'\n')) {
        if (line.contains(QStringLiteral("[AudioTest]"))) {
            lines << line;
        }
    }
    return lines;
}

// Takes every source away from the session's sound server, as a computer without a microphone (or
// any output to listen to) has none, by unloading the null sinks whose monitors are its sources. They
// are loaded again, with the session's defaults, when the scope ends.
class NoSources {
public:
    NoSources()
    {
        const QString modules =
            pulseTest::pactl({ QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("modules") })
                .value_or(QString());
        for (const QString& line : modules.split(u'\n', Qt::SkipEmptyParts)) {
            const QStringList fields = line.split(u'\t');
            if (fields.size() >= 3 && fields[1] == u"module-null-sink"
                && pulseTest::pactl({ QStringLiteral("unload-module"), fields[0] })) {
                m_unloaded << fields[2];
            }
        }
    }
    ~NoSources()
    {
        for (const QString& arguments : std::as_const(m_unloaded)) {
            pulseTest::pactl(QStringList { QStringLiteral("load-module"), QStringLiteral("module-null-sink") }
                + arguments.split(u' ', Qt::SkipEmptyParts));
        }
        pulseTest::pactl({ QStringLiteral("set-default-sink"), QStringLiteral("callout") });
        pulseTest::pactl({ QStringLiteral("set-default-source"), QStringLiteral("micfeed.monitor") });
    }
    NoSources(const NoSources&) = delete;
    NoSources& operator=(const NoSources&) = delete;

    bool removedAll() const
    {
        const std::optional<QString> sources =
            pulseTest::pactl({ QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sources") });
        return !m_unloaded.isEmpty() && sources && sources->trimmed().isEmpty();
    }

private:
    QStringList m_unloaded;
};

// The settings window on a settings file of its own, with the session's keyring and sound server,
// showing the audio test.
struct Harness {
    Harness()
        : settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr)
        , window(settings, keychain, nullptr,
              { directory.filePath(QStringLiteral("autostart/quillora.desktop")), QStringLiteral("/usr/bin/quillora") })
    {
    }

    bool show()
    {
        window.tabs()->setCurrentWidget(window.audioTest());
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }

    AudioTestView& view() { return *window.audioTest(); }

    QTemporaryDir directory;
    Settings settings;
    Keychain keychain;
    SettingsWindow window;
};

bool showsStopped(AudioTestView& view)
{
    return !view.isRecording() && !view.audioService().isMicrophoneRunning() && view.statusLine()->text() == u"Stopped"
        && view.toggleButton()->text() == u"Start Test" && view.micBar()->percentLabel()->text() == u"0%";
}

} // namespace

class AudioTestViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void levelText_data();
    void levelText();
    void startAndStop();
    void leavingStops_data();
    void leavingStops();
    void startWithoutSource();
    void microphoneRemovedWhileRecording();

private:
    QTemporaryDir m_dir;
};

void AudioTestViewTest::initTestCase()
{
    QVERIFY2(QGuiApplication::platformName() == u"xcb", "runs on Xvfb: scripts/with-services");
    if (!pulseTest::ready()) {
        QSKIP("needs the PulseAudio daemon of scripts/with-services");
    }
}

void AudioTestViewTest::levelText_data()
{
    QTest::addColumn<float>("level");
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("filled"); // the fraction of the track
    QTest::newRow("silence") << 0.0F << QStringLiteral("0%") << 0.0F;
    QTest::newRow("fraction dropped") << 0.734F << QStringLiteral("73%") << 0.734F;
    QTest::newRow("just below a whole percent") << 0.999F << QStringLiteral("99%") << 0.999F;
    // 0.29 is held as 0.28999999…; the product in single precision is exactly 29.
    QTest::newRow("single precision") << 0.29F << QStringLiteral("29%") << 0.29F;
    QTest::newRow("full") << 1.0F << QStringLiteral("100%") << 1.0F;
    QTest::newRow("above full") << 1.5F << QStringLiteral("100%") << 1.0F;
    QTest::newRow("below silence") << -0.2F << QStringLiteral("0%") << 0.0F;
}

void AudioTestViewTest::levelText()
{
    QFETCH(float, level);
    QFETCH(QString, text);
    QFETCH(float, filled);
    AudioLevelBar bar(QStringLiteral("Mic"), Qt::red, nullptr);
    bar.setLevel(level);
    QCOMPARE(bar.percentLabel()->text(), text);
    QCOMPARE(bar.track()->level(), filled);
    QCOMPARE(bar.track()->height(), AudioLevelBar::trackHeight);
}

void AudioTestViewTest::startAndStop()
{
    Harness harness;
    QVERIFY(harness.show());
    AudioTestView& view = harness.view();
    QVERIFY(showsStopped(view));
    QVERIFY(view.errorLine()->isHidden());
    // The instructions name what a Linux user does, not a permission prompt that never comes.
    QCOMPARE(view.findChild<QWidget*>(QStringLiteral("instructions"))->findChildren<QLabel*>().at(2)->text(),
        QStringLiteral("• Check that the microphone is not muted in your sound settings"));

    const QString outputPath = m_dir.filePath(QStringLiteral("start-stop.out"));
    QStringList printed = printedBy(outputPath, [&view] { QTest::mouseClick(view.toggleButton(), Qt::LeftButton); });
    QVERIFY(view.isRecording());
    QVERIFY(view.audioService().isMicrophoneRunning());
    QVERIFY(!view.audioService().isSystemAudioRunning());
    QCOMPARE(view.statusLine()->text(), QStringLiteral("Recording..."));
    QCOMPARE(view.toggleButton()->text(), QStringLiteral("Stop Test"));

    // A tone at -6 dBFS into the session's microphone moves the red bar; the system bar stays at 0.
    const QString tone = pulseTest::tone(m_dir, 440, 1.0, 0.5);
    QVERIFY(!tone.isEmpty());
    pulseTest::play(tone, QStringLiteral("micfeed"));
    QTRY_VERIFY_WITH_TIMEOUT(view.micBar()->level() > 0.8F, 5000);
    QCOMPARE(view.micBar()->percentLabel()->text(), AudioLevelBar::percentText(view.micBar()->level()));
    QCOMPARE(view.systemBar()->percentLabel()->text(), QStringLiteral("0%"));

    printed += printedBy(outputPath, [&view] { QTest::mouseClick(view.toggleButton(), Qt::LeftButton); });
    QVERIFY(showsStopped(view));
    QVERIFY(view.errorLine()->isHidden());
    QCOMPARE(printed,
        QStringList({
            QStringLiteral("🔘 [AudioTest] Toggle recording button clicked. Current state: false"),
            QStringLiteral("▶️ [AudioTest] Starting recording..."),
            QStringLiteral("✅ [AudioTest] Recording started successfully"),
            QStringLiteral("🔘 [AudioTest] Toggle recording button clicked. Current state: true"),
            QStringLiteral("⏹️ [AudioTest] Stopping recording..."),
            QStringLiteral("✅ [AudioTest] Recording stopped"),
        }));
}

void AudioTestViewTest::leavingStops_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("another tab") << 0;
    QTest::newRow("window hidden") << 1;
    QTest::newRow("window closed") << 2;
}

void AudioTestViewTest::leavingStops()
{
    QFETCH(int, how);
    Harness harness;
    QVERIFY(harness.show());
    AudioTestView& view = harness.view();
    view.toggleRecording();
    QVERIFY(view.audioService().isMicrophoneRunning());

    switch (how) {
    case 0: harness.window.tabs()->setCurrentIndex(0); break;
    case 1: harness.window.hide(); break;
    default: harness.window.close(); break;
    }
    QVERIFY(showsStopped(view));

    // Back on the tab, the test starts afresh.
    QVERIFY(harness.show());
    view.toggleRecording();
    QVERIFY(view.isRecording());
    view.toggleRecording();
}

void AudioTestViewTest::startWithoutSource()
{
    Harness harness;
    QVERIFY(harness.show());
    AudioTestView& view = harness.view();
    {
        const NoSources noSources;
        QVERIFY(noSources.removedAll());
        const QStringList printed = printedBy(m_dir.filePath(QStringLiteral("no-source.out")),
            [&view] { QTest::mouseClick(view.toggleButton(), Qt::LeftButton); });

        QVERIFY(showsStopped(view));
        const QString message = QStringLiteral("Failed to start: No microphone input available");
        QCOMPARE(view.errorMessage(), std::optional<QString>(message));
        QVERIFY(view.errorLine()->isVisible());
        QCOMPARE(view.errorLine()->text(), message);
        QCOMPARE(
            printed.last(), QStringLiteral("❌ [AudioTest] Failed to start recording: No microphone input available"));

        QMessageBox* alert = view.alert();
        QVERIFY(alert);
        QVERIFY(QTest::qWaitForWindowExposed(alert));
        QCOMPARE(alert->text(), QStringLiteral("Microphone Not Available"));
        QCOMPARE(alert->informativeText(),
            QStringLiteral(
                "Check that a microphone is connected and not muted in your sound settings.\n\nThen try again."));
        const QList<QAbstractButton*> buttons = alert->buttons();
        QCOMPARE(buttons.size(), 2);
        QCOMPARE(alert->defaultButton()->text(), QStringLiteral("Open Sound Settings"));
        QCOMPARE(alert->escapeButton()->text(), QStringLiteral("Cancel"));

        QTest::mouseClick(alert->escapeButton(), Qt::LeftButton);
        QVERIFY(!alert->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!view.alert());
        QVERIFY(showsStopped(view));
        QCOMPARE(view.errorLine()->text(), message);
    }
    // With the microphone back, a start clears the error.
    view.toggleRecording();
    QVERIFY(view.isRecording());
    QVERIFY(view.errorLine()->isHidden());
    view.toggleRecording();
}

void AudioTestViewTest::microphoneRemovedWhileRecording()
{
    Harness harness;
    QVERIFY(harness.show());
    AudioTestView& view = harness.view();
    view.toggleRecording();
    QVERIFY(view.isRecording());
    QSignalSpy changes(&view, &AudioTestView::stateChanged);

    // With no source left to move the test's record stream to, the sound server ends it.
    const NoSources noSources;
    QVERIFY(noSources.removedAll());
    QVERIFY(changes.wait(5000));
    // The panel does not go on claiming a recording that hears nothing.
    QVERIFY(showsStopped(view));
    QVERIFY2(view.errorLine()->text().startsWith(QStringLiteral("Microphone capture ended (PulseAudio: ")),
        qPrintable(view.errorLine()->text()));
    QVERIFY(!view.alert());
}

QTEST_MAIN(AudioTestViewTest)
#include "AudioTestViewTest.moc"
