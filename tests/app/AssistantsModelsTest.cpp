#include "app/assistants/CallsModel.h"
#include "app/assistants/KnowledgeModel.h"
#include "app/assistants/QuestionsModel.h"
#include "app/assistants/SidebarModel.h"
#include "store/Store.h"
#include "store/StoreContext.h"
#include "store/StoreTesting.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using storeTesting::instant;
using storeTesting::makeAssistant;
using storeTesting::makeCall;

namespace {

// A list model of letters, to follow the keyed rows through every kind of change.
class Letters : public KeyedModel<QAbstractListModel> {
public:
    using KeyedModel::KeyedModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        return role == Qt::DisplayRole ? QVariant(m_rows[size_t(index.row())]) : QVariant();
    }
    // "ab*" is the rows a, b (b with changed content, marked by the star).
    void set(const QString& rows)
    {
        const QStringList list = rows.split(u' ', Qt::SkipEmptyParts);
        syncRows(
            QModelIndex(), m_rows, std::vector<QString>(list.begin(), list.end()),
            [](const QString& row) { return row.at(0); },
            [](QString& row, QString&& value, int) { return replaceIfChanged(row, std::move(value)); });
    }

private:
    std::vector<QString> m_rows;
};

// Every row of a tree as "name" lines, children indented by two spaces.
QString outline(const QAbstractItemModel& model, const QModelIndex& parent = QModelIndex(), int depth = 0)
{
    QString text;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        text += QString(depth * 2, u' ') + index.data().toString() + u'\n' + outline(model, index, depth + 1);
    }
    return text;
}

QStringList texts(const QAbstractItemModel& model)
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        rows.append(model.index(row, 0).data().toString());
    }
    return rows;
}

} // namespace

class AssistantsModelsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void keyedRows_data();
    void keyedRows();
    void sidebar();
    void filesAndCalls();
    void questionSearch_data();
    void questionSearch();
    void storedSelection_data();
    void storedSelection();

private:
    std::shared_ptr<Store> m_store;
    std::unique_ptr<StoreContext> m_context;
};

void AssistantsModelsTest::init()
{
    m_store = *Store::openInMemory();
    m_context = m_store->newContext();
}

void AssistantsModelsTest::keyedRows_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("insert and append") << "a c"
                                       << "a b c d";
    QTest::newRow("remove") << "a b c d"
                            << "b d";
    QTest::newRow("move forward and back") << "a b c d"
                                           << "d b a c";
    QTest::newRow("change in place") << "a b c"
                                     << "a b* c";
    QTest::newRow("all at once") << "a b c d"
                                 << "e c* a f";
    QTest::newRow("emptied") << "a b"
                             << "";
}

void AssistantsModelsTest::keyedRows()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    Letters model(nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.set(before);
    // A row that stays keeps its index, wherever it goes: a view's selection or open row stays on it.
    QList<QPersistentModelIndex> kept;
    for (int row = 0; row < model.rowCount(); ++row) {
        kept.append(model.index(row));
    }
    model.set(after);
    QCOMPARE(texts(model).join(u' '), after);
    const QStringList keys = before.split(u' ');
    for (qsizetype row = 0; row < kept.size(); ++row) {
        const QChar key = keys[row].at(0);
        const bool stays = after.contains(key);
        QCOMPARE(kept[row].isValid(), stays);
        if (stays) {
            QCOMPARE(kept[row].data().toString().at(0), key);
        }
    }
}

void AssistantsModelsTest::sidebar()
{
    Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    Assistant old = makeAssistant(QStringLiteral("Old"), 1);
    old.archived = true;
    const CallContext acme = CallContext::make(QStringLiteral("Acme"), jobs);
    CallContext gone = CallContext::make(QStringLiteral("Gone"), jobs);
    gone.archived = true;
    const CallContext lead = CallContext::make(QStringLiteral("Lead"), old);
    m_context->insert(jobs);
    m_context->insert(old);
    m_context->insert(acme);
    m_context->insert(gone);
    m_context->insert(lead);
    QVERIFY(m_context->save());
    SidebarModel model(nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.reload(*m_context);
    QCOMPARE(outline(model), QStringLiteral("Jobs\n  Acme\nArchived\n  Old\n    Lead\n  Gone · Jobs\n"));
    const QModelIndex section = model.archivedSection();
    QVERIFY(SidebarModel::isSection(section));
    QVERIFY(!(model.flags(section) & Qt::ItemIsSelectable));
    QCOMPARE(model.indexOf({ ShownRecord::Kind::context, lead.id }).parent().data().toString(), old.name);

    // Archiving Jobs takes its contexts along into the section; a renamed row stays the same row.
    const QPersistentModelIndex leadRow = model.indexOf({ ShownRecord::Kind::context, lead.id });
    jobs.archived = true;
    jobs.name = QStringLiteral("Jobs 2");
    m_context->update(jobs);
    QVERIFY(m_context->save());
    model.reload(*m_context);
    QCOMPARE(outline(model), QStringLiteral("Archived\n  Jobs 2\n    Acme\n    Gone\n  Old\n    Lead\n"));
    QCOMPARE(model.indexOf({ ShownRecord::Kind::context, acme.id }).parent().data().toString(), jobs.name);
    QVERIFY(leadRow.isValid());
    QCOMPARE(leadRow.data().toString(), lead.name);
}

void AssistantsModelsTest::filesAndCalls()
{
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    const CallContext acme = CallContext::make(QStringLiteral("Acme"), jobs);
    KnowledgeFile cv =
        KnowledgeFile::make(QStringLiteral("cv.md"), QStringLiteral("seven words are in this short file"));
    cv.assistant = jobs.id;
    Call older = makeCall(jobs.id, 100, acme.id);
    const Call newer = makeCall(jobs.id, 200);
    m_context->insert(jobs);
    m_context->insert(acme);
    m_context->insert(cv);
    m_context->insert(older);
    m_context->insert(newer);
    QVERIFY(m_context->save());
    KnowledgeModel files({ ShownRecord::Kind::assistant, jobs.id }, nullptr);
    CallsModel calls({ ShownRecord::Kind::assistant, jobs.id }, nullptr);
    QAbstractItemModelTester filesTester(&files, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester callsTester(&calls, QAbstractItemModelTester::FailureReportingMode::QtTest);
    files.reload(*m_context);
    calls.reload(*m_context);

    const QLocale locale;
    const QString imported = locale.toString(cv.importedAt.toLocalTime(), QLocale::ShortFormat);
    QCOMPARE(texts(files), QStringList { QStringLiteral("cv.md\n7 words · ") + imported });
    QCOMPARE(files.index(0).data(Qt::AccessibleTextRole).toString(), QStringLiteral("cv.md, 7 words · ") + imported);
    // Newest first; the context only where the call has one.
    const auto header = [&](const Call& call) {
        return locale.toString(call.startedAt.toLocalTime(), QLocale::ShortFormat);
    };
    QCOMPARE(texts(calls),
        (QStringList {
            header(newer) + QStringLiteral(" · 1 min"), header(older) + QStringLiteral(" · 1 min · Acme") }));

    // A rating changes its row only; a removed call takes its row.
    QSignalSpy changed(&calls, &QAbstractItemModel::dataChanged);
    older.outcome = QStringLiteral("positive");
    m_context->update(older);
    m_context->remove<Call>(newer.id);
    QVERIFY(m_context->save());
    calls.reload(*m_context);
    QCOMPARE(calls.rowCount(), 1);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(calls.index(0).data(CallsModel::OutcomeRole).toInt(), int(CallOutcome::positive));
}

void AssistantsModelsTest::questionSearch_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QStringList>("shown");
    const QString salary = QStringLiteral("Salary?");
    const QString action = QStringLiteral("Onde fica a ação?\nNo answer");
    QTest::newRow("nothing typed") << "  \t" << QStringList { salary, action, QStringLiteral("No question") };
    QTest::newRow("word only in an answer") << "market" << QStringList { salary };
    QTest::newRow("letter case and diacritics") << " ACAO\t" << QStringList { action };
    QTest::newRow("no match") << "pension" << QStringList {};
}

void AssistantsModelsTest::questionSearch()
{
    QFETCH(QString, search);
    QFETCH(QStringList, shown);
    const Assistant jobs = makeAssistant(QStringLiteral("Jobs"), 0);
    m_context->insert(jobs);
    const QList<std::pair<QString, QString>> rows { { QStringLiteral("Salary?"), QStringLiteral("Market rate") },
        { QStringLiteral("Onde fica a ação?"), QString() }, { QString(), QStringLiteral("Alone") } };
    for (qsizetype index = 0; index < rows.size(); ++index) {
        QAItem item = QAItem::make(rows[index].first, rows[index].second, QString(), QStringLiteral("manual"));
        item.createdAt = instant(double(index));
        item.assistant = jobs.id;
        m_context->insert(item);
    }
    QVERIFY(m_context->save());
    QuestionsModel model(jobs.id, nullptr);
    QuestionFilter filter(nullptr);
    filter.setSourceModel(&model);
    QAbstractItemModelTester tester(&filter, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.reload(*m_context);
    filter.setSearch(search);
    QCOMPARE(texts(filter), shown);
}

void AssistantsModelsTest::storedSelection_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("valid");
    QTest::newRow("assistant") << "a:0E0E7F2A-6B7C-4D5E-8F90-A1B2C3D4E5F6" << true;
    QTest::newRow("context, lower case") << "c:0e0e7f2a-6b7c-4d5e-8f90-a1b2c3d4e5f6" << true;
    QTest::newRow("unknown prefix") << "b:0E0E7F2A-6B7C-4D5E-8F90-A1B2C3D4E5F6" << false;
    QTest::newRow("no UUID") << "a:Jobs" << false;
    QTest::newRow("empty") << "" << false;
}

void AssistantsModelsTest::storedSelection()
{
    QFETCH(QString, stored);
    QFETCH(bool, valid);
    const std::optional<ShownRecord> shown = ShownRecord::parse(stored);
    QCOMPARE(shown.has_value(), valid);
    if (valid) {
        QCOMPARE(ShownRecord::parse(shown->text()), shown); // stored as it reads
    }
}

QTEST_MAIN(AssistantsModelsTest)
#include "AssistantsModelsTest.moc"
