#include "app/startup/DesktopStart.h"
#include "app/services/OpenedStore.h"
#include "common/Uuid.h"
#include "store/StoreContext.h"
#include "store/StorePaths.h"

#include <SQLiteCpp/Database.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class DesktopStartTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void firstStartAtTheStandardPath();
    void unusableStoreFallsBackToMemory_data();
    void unusableStoreFallsBackToMemory();
    void failingMigrationKeepsTheStore();
    void damagedStoreIsSetAside();
    void platformOnWayland_data();
    void platformOnWayland();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Settings> m_settings;
    QString m_path;
};

void DesktopStartTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Before the store path is first worked out: it is fixed for the rest of the process.
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("data"))));
}

void DesktopStartTest::init()
{
    m_settings =
        std::make_unique<Settings>(m_dir.filePath(uuid::toText(uuid::create()) + QStringLiteral(".conf")), nullptr);
    m_path = m_dir.filePath(uuid::toText(uuid::create()) + QStringLiteral("/Quillora/Assistants.store"));
}

void DesktopStartTest::firstStartAtTheStandardPath()
{
    const QString standard = m_dir.filePath(QStringLiteral("data/Quillora/Assistants.store"));
    QCOMPARE(storePaths::storeURL(), standard);
    QVERIFY(!QFileInfo::exists(QFileInfo(standard).path()));

    OpenedStore opened = openStoreForDesktop(*m_settings);
    QVERIFY(opened.container);
    QVERIFY(!opened.isFallback);
    QCOMPARE(opened.loadError, QString());
    QCOMPARE(opened.container->path(), standard);
    QVERIFY(QFileInfo(standard).isFile());

    auto context = opened.container->newContext();
    const auto assistants = context->fetch<Assistant>(Query::all()).value();
    QCOMPARE(assistants.size(), size_t(1));
    QCOMPARE(assistants.front().name, QStringLiteral("General"));
    QCOMPARE(assistants.front().instructions, assistantTemplate::defaultInstructions(AssistantTemplate::interview));
    QCOMPARE(m_settings->selectedAssistant(), uuid::toText(assistants.front().id));
    QVERIFY(!m_settings->contains(SettingKey::selectedContext));
    QVERIFY(m_settings->assistantsMigrated());
    QCOMPARE(context->count<KnowledgeFile>().value(), 0);
}

void DesktopStartTest::unusableStoreFallsBackToMemory_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("a folder where the file should be") << "folder"
                                                       << "Is a directory";
    // Running as root, no permission bit stops a write; a parent that is a regular file and a
    // path inside /proc fail for root as well.
    QTest::newRow("parent is a regular file") << "file parent"
                                              << "Not a directory";
    QTest::newRow("inside /proc") << "proc"
                                  << "No such file or directory";
}

void DesktopStartTest::unusableStoreFallsBackToMemory()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QString path = m_path;
    QString guarded; // a file whose bytes must survive
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
        QFile inside(path + QStringLiteral("/keep.txt"));
        QVERIFY(inside.open(QIODevice::WriteOnly));
        inside.write("keep me");
        guarded = inside.fileName();
    } else if (kind == QLatin1String("file parent")) {
        const QString parent = QFileInfo(path).path() + QStringLiteral("/plain");
        QFile file(parent);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("a plain file");
        guarded = parent;
        path = parent + QStringLiteral("/Quillora/Assistants.store");
    } else {
        path = QStringLiteral("/proc/quillora-%1/Quillora/Assistants.store").arg(uuid::toText(uuid::create()));
    }
    const QByteArray before = guarded.isEmpty() ? QByteArray() : bytesOf(guarded);
    m_settings->setText(SettingKey::callNotes, QStringLiteral("notes"));

    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Opening the store failed: ") + message));
    OpenedStore opened = openStoreForDesktop(*m_settings, path);
    QVERIFY(opened.container);
    QVERIFY(opened.isFallback);
    QVERIFY(opened.container->isInMemory());
    QCOMPARE(opened.loadError, message);
    // No migration on the in-memory store.
    QCOMPARE(opened.container->newContext()->count<Assistant>().value(), 0);
    QVERIFY(!m_settings->contains(SettingKey::assistantsMigrated));
    QVERIFY(!m_settings->contains(SettingKey::selectedAssistant));
    if (!guarded.isEmpty()) {
        QCOMPARE(bytesOf(guarded), before);
    }
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("-wal")));
}

void DesktopStartTest::failingMigrationKeepsTheStore()
{
    {
        auto store = Store::open(m_path);
        QVERIFY(store);
        (*store)->database().exec("CREATE TRIGGER refuse BEFORE INSERT ON \"Assistant\" "
                                  "BEGIN SELECT RAISE(ABORT, 'disk says no'); END");
    }
    QTest::ignoreMessage(QtCriticalMsg, "Migration failed: disk says no");
    OpenedStore opened = openStoreForDesktop(*m_settings, m_path);
    QVERIFY(opened.container);
    QVERIFY(!opened.isFallback);
    QCOMPARE(opened.container->path(), m_path);
    QCOMPARE(opened.loadError, QStringLiteral("disk says no"));
    QVERIFY(!m_settings->contains(SettingKey::assistantsMigrated));
    QVERIFY(!m_settings->contains(SettingKey::selectedAssistant));
}

// A damaged store (random bytes over one page of a real one) is never written to: it is moved aside
// whole, with its write-ahead log, and a new store takes its place.
void DesktopStartTest::damagedStoreIsSetAside()
{
    {
        const auto store = Store::open(m_path).value();
        auto context = store->newContext();
        for (int i = 0; i < 40; ++i) {
            Call call;
            call.id = uuid::create();
            call.summary = QString(500, QChar(u'a' + i % 26));
            context->insert(call);
        }
        QVERIFY(context->save());
    }
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.size() > 4 * 4096 && file.seek(3 * 4096));
    QByteArray noise(4096, Qt::Uninitialized);
    for (char& byte : noise) {
        byte = char(QRandomGenerator::global()->bounded(256));
    }
    file.write(noise);
    file.close();
    // A write-ahead log left by a crash belongs to the damaged file and goes with it.
    QFile wal(m_path + QStringLiteral("-wal"));
    QVERIFY(wal.open(QIODevice::WriteOnly) && wal.write("frames of the last commits") > 0);
    wal.close();
    const QByteArray damaged = bytesOf(m_path);

    OpenedStore opened = openStoreForDesktop(*m_settings, m_path);
    QVERIFY(opened.container && !opened.isFallback);
    QCOMPARE(opened.container->path(), m_path);
    QCOMPARE(opened.container->newContext()->count<Call>().value(), 0);
    QVERIFY2(opened.setAside.startsWith(QFileInfo(m_path).path() + QStringLiteral("/Assistants-damaged-")),
        qPrintable(opened.setAside));
    QCOMPARE(bytesOf(opened.setAside), damaged);
    QCOMPARE(bytesOf(opened.setAside + QStringLiteral("-wal")), QByteArray("frames of the last commits"));
}

void DesktopStartTest::platformOnWayland_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QByteArray>("platform");
    QTest::newRow("X11 session") << QStringList { QStringLiteral("XDG_SESSION_TYPE=x11") } << QByteArray();
    QTest::newRow("nothing known") << QStringList {} << QByteArray();
    QTest::newRow("Wayland session") << QStringList { QStringLiteral("XDG_SESSION_TYPE=wayland") } << QByteArray("xcb");
    QTest::newRow("Wayland display only")
        << QStringList { QStringLiteral("WAYLAND_DISPLAY=wayland-0") } << QByteArray("xcb");
    QTest::newRow("the user's choice stands")
        << QStringList { QStringLiteral("XDG_SESSION_TYPE=wayland"), QStringLiteral("QT_QPA_PLATFORM=wayland") }
        << QByteArray();
}

void DesktopStartTest::platformOnWayland()
{
    QFETCH(QStringList, environment);
    QFETCH(QByteArray, platform);
    QProcessEnvironment values;
    for (const QString& entry : environment) {
        values.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    }
    QCOMPARE(preferredPlatform(values), platform);
}

QTEST_GUILESS_MAIN(DesktopStartTest)
#include "DesktopStartTest.moc"
