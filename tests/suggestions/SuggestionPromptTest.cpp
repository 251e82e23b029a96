#include "suggestions/SuggestionPrompt.h"
#include "fakes/Golden.h"
#include "store/Store.h"
#include "store/StoreContext.h"
#include "suggestions/LanguageIdentifier.h"

#include <QTest>

using namespace suggestionPrompt;

namespace {

const QDateTime nine(QDate(2026, 3, 4), QTime(9, 0), Qt::UTC);

KnowledgeFile file(const QString& name, const QString& content, const QDateTime& at)
{
    KnowledgeFile made = KnowledgeFile::make(name, content);
    made.importedAt = at;
    return made;
}

QAItem item(const QString& question, const QString& answer, const QDateTime& at)
{
    QAItem made = QAItem::make(question, answer, QStringLiteral("en"), QStringLiteral("manual"));
    made.createdAt = at;
    return made;
}

Assistant blankAssistant()
{
    Assistant assistant = Assistant::make(QStringLiteral("Interviews"), AssistantTemplate::blank);
    assistant.instructions.clear();
    assistant.styleNotes.clear();
    return assistant;
}

TranscriptLine line(Speaker who, const QString& text)
{
    return TranscriptLine { QUuid::createUuid(), who, text, nine };
}

// Expected texts: tests/data/prompts/suggestion.txt, by the name of the case.
QString golden(const QString& name)
{
    static const QHash<QString, QString> sections = goldenSections(QStringLiteral("prompts/suggestion.txt"));
    return sections.value(name, QStringLiteral("<no golden text %1>").arg(name));
}

} // namespace

Q_DECLARE_METATYPE(std::vector<KnowledgeFile>)
Q_DECLARE_METATYPE(std::vector<QAItem>)
Q_DECLARE_METATYPE(std::optional<ContextMaterial>)

class SuggestionPromptTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void basePromptIsExact();
    void systemPrompt_data();
    void systemPrompt();
    void systemPromptFromStore();
    void transcriptKeepsLastTwelve();
    void language_data();
    void language();
    void userMessage_data();
    void userMessage();
};

void SuggestionPromptTest::basePromptIsExact()
{
    QCOMPARE(basePrompt(), golden(QStringLiteral("base")));
    QCOMPARE(basePrompt().toUtf8().size(), 1177);
}

// What follows the base prompt is the case's golden section; rows without one add nothing.
void SuggestionPromptTest::systemPrompt_data()
{
    QTest::addColumn<QString>("instructions");
    QTest::addColumn<QString>("styleNotes");
    QTest::addColumn<std::vector<KnowledgeFile>>("files");
    QTest::addColumn<std::vector<QAItem>>("prepared");
    QTest::addColumn<std::optional<ContextMaterial>>("context");
    QTest::addColumn<bool>("addsSections");

    const std::vector<KnowledgeFile> noFiles;
    const std::vector<QAItem> noItems;
    const std::optional<ContextMaterial> noContext;
    const Assistant owner = blankAssistant();
    const auto context = [&](const QString& name, const QString& stage, std::vector<KnowledgeFile> files = {}) {
        CallContext made = CallContext::make(name, owner);
        made.stage = stage;
        return std::optional(ContextMaterial { made, std::move(files) });
    };

    QTest::newRow("nothing but the base") << QString() << QString() << noFiles << noItems << noContext << false;
    QTest::newRow("blank instructions and notes")
        << QStringLiteral(" \n\t\n ") << QStringLiteral("\n") << noFiles << noItems << noContext << false;
    QTest::newRow("instructions trimmed")
        << QStringLiteral(" Be brief.\nAlways.\n") << QString() << noFiles << noItems << noContext << true;
    QTest::newRow("style notes trimmed") << QString() << QStringLiteral("\n Casual, short.  ") << noFiles << noItems
                                         << noContext << true;
    QTest::newRow("files oldest first, content as stored")
        << QString() << QString()
        << std::vector<KnowledgeFile> { file(QStringLiteral("late.md"), QStringLiteral(" ten\n"), nine.addSecs(3600)),
               file(QStringLiteral("early.md"), QStringLiteral("nine"), nine),
               file(QStringLiteral("empty.txt"), QString(), nine.addSecs(3600)) }
        << noItems << noContext << true;
    QTest::newRow("only unusable prepared items")
        << QString() << QString() << noFiles
        << std::vector<QAItem> { item(QStringLiteral("Salary?"), QStringLiteral("   "), nine),
               item(QStringLiteral(" \n"), QStringLiteral("Yes"), nine) }
        << noContext << false;
    QTest::newRow("prepared items oldest first, texts untrimmed")
        << QString() << QString() << noFiles
        << std::vector<QAItem> { item(QStringLiteral("Later?"), QStringLiteral("B"), nine.addSecs(60)),
               item(QStringLiteral("Salary?"), QStringLiteral(" "), nine),
               item(QStringLiteral(" Why us? "), QStringLiteral("A\n"), nine) }
        << noContext << true;
    QTest::newRow("context heading only") << QString() << QString() << noFiles << noItems
                                          << context(QStringLiteral("Acme "), QStringLiteral("  ")) << true;
    QTest::newRow("context with empty name")
        << QString() << QString() << noFiles << noItems << context(QString(), QString()) << true;
    QTest::newRow("context stage trimmed")
        << QString() << QString() << noFiles << noItems
        << context(QStringLiteral("Acme"), QStringLiteral("  Final round \n")) << true;
    QTest::newRow("context files without stage")
        << QString() << QString() << noFiles << noItems
        << context(QStringLiteral("Acme"), QString(), { file(QStringLiteral("job.md"), QStringLiteral("Role"), nine) })
        << true;
    QTest::newRow("every section in order")
        << QStringLiteral("Help.") << QStringLiteral("Short.")
        << std::vector<KnowledgeFile> { file(QStringLiteral("cv.md"), QStringLiteral("CV"), nine) }
        << std::vector<QAItem> { item(QStringLiteral("Q1"), QStringLiteral("A1"), nine) }
        << context(QStringLiteral("Acme"), QStringLiteral("Screening"),
               { file(QStringLiteral("b.md"), QStringLiteral("B"), nine.addSecs(5)),
                   file(QStringLiteral("a.md"), QStringLiteral("A"), nine) })
        << true;
}

void SuggestionPromptTest::systemPrompt()
{
    QFETCH(QString, instructions);
    QFETCH(QString, styleNotes);
    QFETCH(std::vector<KnowledgeFile>, files);
    QFETCH(std::vector<QAItem>, prepared);
    QFETCH(std::optional<ContextMaterial>, context);
    QFETCH(bool, addsSections);
    Assistant assistant = blankAssistant();
    assistant.instructions = instructions;
    assistant.styleNotes = styleNotes;
    QCOMPARE(suggestionPrompt::systemPrompt(assistant, files, prepared, context),
        basePrompt() + (addsSections ? golden(QString::fromUtf8(QTest::currentDataTag())) : QString()));
}

void SuggestionPromptTest::systemPromptFromStore()
{
    auto store = Store::openInMemory();
    QVERIFY(store);
    auto context = (*store)->newContext();
    Assistant assistant = blankAssistant();
    assistant.instructions = QStringLiteral("Help.");
    Assistant other = blankAssistant();
    CallContext lead = CallContext::make(QStringLiteral("Lead"), assistant);
    KnowledgeFile own = file(QStringLiteral("own.md"), QStringLiteral("mine"), nine);
    own.assistant = assistant.id;
    KnowledgeFile foreign = file(QStringLiteral("foreign.md"), QStringLiteral("not mine"), nine);
    foreign.assistant = other.id;
    KnowledgeFile leadFile = file(QStringLiteral("lead.md"), QStringLiteral("deal"), nine);
    leadFile.context = lead.id;
    QAItem answer = item(QStringLiteral("Q"), QStringLiteral("A"), nine);
    answer.assistant = assistant.id;
    context->insert(assistant);
    context->insert(other);
    context->insert(lead);
    context->insert(own);
    context->insert(foreign);
    context->insert(leadFile);
    context->insert(answer);
    QVERIFY(context->save());
    QCOMPARE(suggestionPrompt::systemPrompt(*context, assistant, lead),
        basePrompt() + golden(QStringLiteral("from the store, with the context")));
    QCOMPARE(suggestionPrompt::systemPrompt(*context, assistant, std::nullopt),
        basePrompt() + golden(QStringLiteral("from the store, without a context")));
}

void SuggestionPromptTest::transcriptKeepsLastTwelve()
{
    QList<TranscriptLine> lines;
    for (int i = 1; i <= 20; ++i) {
        lines.append(line(i % 2 ? Speaker::them : Speaker::me, QStringLiteral("line %1").arg(i)));
    }
    const QString text = transcriptText(lines);
    QVERIFY(text.startsWith(QStringLiteral("Other: line 9\nYou: line 10\n")));
    QVERIFY(text.endsWith(QStringLiteral("Other: line 19\nYou: line 20")));
    QCOMPARE(text.count(u'\n'), 11);
    QCOMPARE(transcriptText({}), QString());
    QCOMPARE(suggestionPrompt::userMessage({}), golden(QStringLiteral("no transcript")));
}

void SuggestionPromptTest::language_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("language"); // empty: no hypothesis
    // Which language a line is in is the identifier's rule (its own test); here only how the answer reads.
    QTest::newRow("portuguese question") << QStringLiteral("Você já trabalhou com isso antes?")
                                         << QStringLiteral("Portuguese");
    QTest::newRow("short english question") << QStringLiteral("Makes sense?") << QStringLiteral("English");
    QTest::newRow("punctuation only") << QStringLiteral(" ?! … ") << QString();
}

void SuggestionPromptTest::language()
{
    QFETCH(QString, text);
    QFETCH(QString, language);
    const QString instruction = replyInstruction(text);
    QCOMPARE(instruction,
        language.isEmpty() ? golden(QStringLiteral("no language"))
                           : golden(QStringLiteral("language")).arg(text, language));
}

void SuggestionPromptTest::userMessage_data()
{
    QTest::addColumn<QList<TranscriptLine>>("lines");
    QTest::newRow("the worked example") << QList<TranscriptLine> { line(Speaker::me,
                                                                       QStringLiteral("Thanks for having me.")),
        line(Speaker::them, QStringLiteral("Sure. So, tell me about your last project")) };
    QTest::newRow("anchor stays on the other person when the user spoke after")
        << QList<TranscriptLine> { line(Speaker::them, QStringLiteral("What did you build at your last company?")),
               line(Speaker::me, QStringLiteral("Good question")) };
    QTest::newRow("other person silent so far")
        << QList<TranscriptLine> { line(Speaker::me, QStringLiteral("Hello, can you hear me?")) };
    QTest::newRow("a bare ok takes the language of the other person's earlier lines")
        << QList<TranscriptLine> { line(Speaker::them, QStringLiteral("A gente fecha o contrato na sexta.")),
               line(Speaker::me, QStringLiteral("Yes, Friday works")), line(Speaker::them, QStringLiteral("OK?")) };
    QTest::newRow("anchor trimmed") << QList<TranscriptLine> { line(
        Speaker::them, QStringLiteral("  Qual foi o maior desafio do seu último projeto? \n")) };
}

void SuggestionPromptTest::userMessage()
{
    QFETCH(QList<TranscriptLine>, lines);
    QCOMPARE(suggestionPrompt::userMessage(lines), golden(QString::fromUtf8(QTest::currentDataTag())));
}

QTEST_GUILESS_MAIN(SuggestionPromptTest)
#include "SuggestionPromptTest.moc"
