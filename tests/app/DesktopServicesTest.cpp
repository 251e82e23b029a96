#include "app/services/DesktopServices.h"
#include "fakes/PulseTestSupport.h"
#include "settings/Settings.h"
#include "store/StoreHolder.h"
#include "transcription/TranscriptionService.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The call-level actions of the wired services, on the real sound server and speech engine.
class DesktopServicesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!pulseTest::ready()) {
            QSKIP("needs the PulseAudio daemon of scripts/with-services");
        }
        QVERIFY(m_dir.isValid());
    }

    // Presses that come while a start or a stop is under way are carried out after it, one at a
    // time: two quick presses start and then stop, never start twice.
    void togglesRunOneAtATime_data()
    {
        QTest::addColumn<int>("presses");
        QTest::addColumn<QList<bool>>("running");
        QTest::newRow("two at once") << 2 << QList<bool> { true, false };
        QTest::newRow("three at once") << 3 << QList<bool> { true, false, true };
    }

    void togglesRunOneAtATime()
    {
        QFETCH(int, presses);
        QFETCH(QList<bool>, running);
        Settings settings(
            m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".conf")), nullptr);
        settings.setText(SettingKey::transcriptionEngine, QStringLiteral("apple"));
        settings.setText(SettingKey::speechLocale, QStringLiteral("en-US"));
        OpenedStore opened;
        opened.container = Store::openInMemory().value();
        opened.isFallback = true;
        DesktopServices services(&settings, opened, nullptr, {});
        QSignalSpy changes(&services.transcription(), &TranscriptionService::runningChanged);
        QSignalSpy finished(&services, &DesktopServices::toggleFinished);
        for (int i = 0; i < presses; ++i) {
            services.toggleListening();
        }
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), presses, 30000);
        QVERIFY(!services.isToggling());
        QList<bool> seen;
        for (const QList<QVariant>& change : changes) {
            seen.append(change.at(0).toBool());
        }
        QCOMPARE(seen, running);
        QCOMPARE(services.transcription().isRunning(), running.last());
        QCoro::waitFor(services.endCall());
        QVERIFY(!services.transcription().isRunning());
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(DesktopServicesTest)
#include "DesktopServicesTest.moc"
