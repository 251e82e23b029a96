#include "app/startup/StartWindow.h"
#include "common/Dates.h"
#include "store/StoreContext.h"
#include "store/StoreHolder.h"

#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

Assistant assistantAt(const QString& name, double seconds, bool archived = false)
{
    Assistant assistant = Assistant::make(name, AssistantTemplate::blank);
    assistant.createdAt = dates::fromReferenceSeconds(seconds);
    assistant.archived = archived;
    return assistant;
}

QStringList listed(const StartWindow& window)
{
    const auto* list = window.findChild<QListWidget*>(QStringLiteral("assistants"));
    QStringList names;
    for (int row = 0; list && row < list->count(); ++row) {
        names.append(list->item(row)->text());
    }
    return names;
}

} // namespace

class StartWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void listsActiveAssistantsOldestFirst();
    void loadErrorLabel_data();
    void loadErrorLabel();
    void followsSavesAndReopens();
};

void StartWindowTest::listsActiveAssistantsOldestFirst()
{
    auto store = Store::openInMemory().value();
    auto context = store->newContext();
    context->insert(assistantAt(QStringLiteral("Newer"), 20));
    context->insert(assistantAt(QStringLiteral("Hidden"), 5, true));
    context->insert(assistantAt(QStringLiteral("Older"), 10));
    QVERIFY(context->save());
    StoreHolder holder(
        store, true, [] { return Store::openInMemory(); }, nullptr);
    StartWindow window(&holder, QString());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QStringLiteral("Quillora"));
    QCOMPARE(listed(window), (QStringList { QStringLiteral("Older"), QStringLiteral("Newer") }));

    // A save through another context of the same store shows at once.
    auto other = store->newContext();
    other->insert(assistantAt(QStringLiteral("Newest"), 30));
    QVERIFY(other->save());
    QCOMPARE(
        listed(window), (QStringList { QStringLiteral("Older"), QStringLiteral("Newer"), QStringLiteral("Newest") }));
}

void StartWindowTest::loadErrorLabel_data()
{
    QTest::addColumn<QString>("error");
    QTest::newRow("no error") << QString();
    QTest::newRow("store failed") << QStringLiteral("file is not a database");
}

void StartWindowTest::loadErrorLabel()
{
    QFETCH(QString, error);
    StoreHolder holder(
        Store::openInMemory().value(), !error.isEmpty(), [] { return Store::openInMemory(); }, nullptr);
    StartWindow window(&holder, error);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto* label = window.findChild<QLabel*>(QStringLiteral("loadError"));
    QVERIFY(label);
    QCOMPARE(label->isVisible(), !error.isEmpty());
    if (!error.isEmpty()) {
        QCOMPARE(label->text(), error);
    }
    QVERIFY(listed(window).isEmpty());
}

void StartWindowTest::followsSavesAndReopens()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quillora/Assistants.store"));
    StoreHolder holder(
        Store::open(path).value(), false, [path] { return Store::open(path); }, nullptr);
    StartWindow window(&holder, QString());
    QVERIFY(listed(window).isEmpty());

    // Another process writes, then says so.
    {
        auto elsewhere = Store::open(path).value();
        auto context = elsewhere->newContext();
        context->insert(assistantAt(QStringLiteral("From tools"), 10));
        QVERIFY(context->save());
    }
    QSignalSpy changes(&holder, &StoreHolder::changed);
    holder.externalWrite();
    QVERIFY(changes.wait(3000));
    QCOMPARE(listed(window), QStringList { QStringLiteral("From tools") });

    // Saves through the reopened container still reach the window.
    auto context = holder.container()->newContext();
    context->insert(assistantAt(QStringLiteral("After reopen"), 20));
    QVERIFY(context->save());
    QCOMPARE(listed(window), (QStringList { QStringLiteral("From tools"), QStringLiteral("After reopen") }));
}

QTEST_MAIN(StartWindowTest)
#include "StartWindowTest.moc"
