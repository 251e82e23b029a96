#include "app/settings/AudioTestView.h"
#include "WindowHarness.h"
#include "app/settings/AudioLevelBar.h"
#include "app/settings/SettingsWindow.h"
#include "app/widgets/WaveformBar.h"
#include "fakes/PulseTestSupport.h"
#include "settings/Keychain.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>

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

// The settings window on the harness's settings file, with the session's keyring and sound server,
// showing the audio test.
struct Harness : WindowHarness {
    Harness()
        : window(settings, keychain, nullptr,
            { directory.filePath(QStringLiteral("autostart/quillora.desktop")), QStringLiteral("/usr/bin/quillora") })
        , view(*gui::find<AudioTestView>(&window, QStringLiteral("audioTest")))
    {
    }

    bool show()
    {
        gui::find<QTabWidget>(&window)->setCurrentWidget(&view);
        return gui::shown(&window);
    }

    template <typename T = QLabel> T* find(const QString& name) const { return gui::find<T>(&view, name); }
    QString percent(const QString& bar) const
    {
        return find<QWidget>(bar)->findChild<QLabel*>(QStringLiteral("percent"))->text();
    }
    QPushButton* toggle() const { return find<QPushButton>(QStringLiteral("toggle")); }
    QLabel* error() const { return find(QStringLiteral("error")); }

    bool showsStopped()
    {
        return !view.isRecording() && !view.audioService().isMicrophoneRunning()
            && find(QStringLiteral("status"))->text() == u"Stopped" && toggle()->text() == u"Start Test"
            && percent(QStringLiteral("micLevel")) == u"0%";
    }

    Keychain keychain;
    SettingsWindow window;
    AudioTestView& view;
};

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
    QTest::newRow("fraction dropped") << 0.734F << QStringLiteral("73%") << 0.734F;
    QTest::newRow("just below a whole percent") << 0.999F << QStringLiteral("99%") << 0.999F;
    // 0.29 is held as 0.28999999…; the product in single precision is exactly 29.
    QTest::newRow("single precision") << 0.29F << QStringLiteral("29%") << 0.29F;
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
    QCOMPARE(bar.findChild<QLabel*>(QStringLiteral("percent"))->text(), text);
    QCOMPARE(bar.findChild<WaveformBar*>()->level(), filled);
}

void AudioTestViewTest::startAndStop()
{
    Harness harness;
    QVERIFY(harness.show());
    QVERIFY(harness.showsStopped());
    QVERIFY(harness.error()->isHidden());

    const QString outputPath = m_dir.filePath(QStringLiteral("start-stop.out"));
    QStringList printed = printedBy(outputPath, [&harness] { QTest::mouseClick(harness.toggle(), Qt::LeftButton); });
    QVERIFY(harness.view.isRecording());
    QVERIFY(harness.view.audioService().isMicrophoneRunning());
    QVERIFY(!harness.view.audioService().isSystemAudioRunning());

    // A tone at -6 dBFS into the session's microphone moves the red bar; the system bar stays at 0.
    const QString tone = pulseTest::tone(m_dir, 440, 1.0, 0.5);
    QVERIFY(!tone.isEmpty());
    pulseTest::play(tone, QStringLiteral("micfeed"));
    QTRY_VERIFY_WITH_TIMEOUT(harness.find<AudioLevelBar>(QStringLiteral("micLevel"))->level() > 0.8F, 5000);
    QCOMPARE(harness.percent(QStringLiteral("micLevel")),
        AudioLevelBar::percentText(harness.find<AudioLevelBar>(QStringLiteral("micLevel"))->level()));
    QCOMPARE(harness.percent(QStringLiteral("systemLevel")), QStringLiteral("0%"));

    printed += printedBy(outputPath, [&harness] { QTest::mouseClick(harness.toggle(), Qt::LeftButton); });
    QVERIFY(harness.showsStopped());
    QVERIFY(harness.error()->isHidden());
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
    harness.view.toggleRecording();
    QVERIFY(harness.view.audioService().isMicrophoneRunning());

    switch (how) {
    case 0: gui::find<QTabWidget>(&harness.window)->setCurrentIndex(0); break;
    case 1: harness.window.hide(); break;
    default: harness.window.close(); break;
    }
    QVERIFY(harness.showsStopped());

    // Back on the tab, the test starts afresh.
    QVERIFY(harness.show());
    harness.view.toggleRecording();
    QVERIFY(harness.view.isRecording());
    harness.view.toggleRecording();
}

void AudioTestViewTest::startWithoutSource()
{
    Harness harness;
    QVERIFY(harness.show());
    {
        const NoSoundSources noSources;
        QVERIFY(noSources.removedAll());
        const QStringList printed = printedBy(m_dir.filePath(QStringLiteral("no-source.out")),
            [&harness] { QTest::mouseClick(harness.toggle(), Qt::LeftButton); });

        QVERIFY(harness.showsStopped());
        const QString message = QStringLiteral("Failed to start: No microphone input available");
        QCOMPARE(harness.view.errorMessage(), std::optional<QString>(message));
        QVERIFY(harness.error()->isVisible());
        QCOMPARE(harness.error()->text(), message);
        QCOMPARE(
            printed.last(), QStringLiteral("❌ [AudioTest] Failed to start recording: No microphone input available"));

        QMessageBox* alert = harness.view.alert();
        QVERIFY(alert);
        QVERIFY(QTest::qWaitForWindowExposed(alert));
        QCOMPARE(alert->buttons().size(), 2);
        QVERIFY(alert->defaultButton() && alert->escapeButton() && alert->defaultButton() != alert->escapeButton());

        QTest::mouseClick(alert->escapeButton(), Qt::LeftButton);
        QVERIFY(!alert->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!harness.view.alert());
        QVERIFY(harness.showsStopped());
        QCOMPARE(harness.error()->text(), message);
    }
    // With the microphone back, a start clears the error.
    harness.view.toggleRecording();
    QVERIFY(harness.view.isRecording());
    QVERIFY(harness.error()->isHidden());
    harness.view.toggleRecording();
}

void AudioTestViewTest::microphoneRemovedWhileRecording()
{
    Harness harness;
    QVERIFY(harness.show());
    harness.view.toggleRecording();
    QVERIFY(harness.view.isRecording());
    QSignalSpy changes(&harness.view, &AudioTestView::stateChanged);

    // With no source left to move the test's record stream to, the sound server ends it.
    const NoSoundSources noSources;
    QVERIFY(noSources.removedAll());
    QVERIFY(changes.wait(5000));
    // The panel does not go on claiming a recording that hears nothing.
    QVERIFY(harness.showsStopped());
    QVERIFY2(harness.error()->text().startsWith(QStringLiteral("Microphone capture ended (PulseAudio: ")),
        qPrintable(harness.error()->text()));
    QVERIFY(!harness.view.alert());
}

QTEST_MAIN(AudioTestViewTest)
#include "AudioTestViewTest.moc"
