#include "suggestions/SuggestionPrompt.h"
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

const QString closing =
    QStringLiteral("Write only the words to say, without commenting on the question or the language.");
const QString preparedHeading = QStringLiteral(
    "## Prepared questions and answers\nWhen the other person's question means the same as one of these, use the "
    "prepared answer as the base, entirely in the language of the question.");

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
    const QString expected = QStringLiteral(
        "You help the user during a live video call. You get the recent transcript of the conversation: \"You:\" is "
        "the user and \"Other:\" is the other person. The transcript is automatic and can have errors.\n"
        "\n"
        "Write what the user can say now in reply to the other person's last line: 1 or 2 short sentences, in the "
        "first person, ready to say out loud. Do not write an introduction, quotes or an explanation.\n"
        "\n"
        "Write the whole reply in the language of the other person's last line. If the material below is in "
        "another language, translate what you use. Never mix languages in one reply.\n"
        "\n"
        "Do not make up numbers, prices, deadlines or promises. If the reply depends on them, suggest a question or "
        "a way to buy time.\n"
        "\n"
        "Do not make up experiences, projects, companies or facts about the user. Use only what is in the material "
        "below or in the transcript. If the question is about the user's life or work and that information does "
        "not exist, write the reply with blanks [ \u2026 ] for the user to fill in, without mentioning the missing "
        "information. Example of a complete reply in that case:\n"
        "A hard project that stayed with me was [ \u2026 ]. The biggest challenge was [ \u2026 ], and I solved it "
        "by [ \u2026 ].");
    QCOMPARE(basePrompt(), expected);
    QCOMPARE(basePrompt().toUtf8().size(), 1177);
}

void SuggestionPromptTest::systemPrompt_data()
{
    QTest::addColumn<QString>("instructions");
    QTest::addColumn<QString>("styleNotes");
    QTest::addColumn<std::vector<KnowledgeFile>>("files");
    QTest::addColumn<std::vector<QAItem>>("prepared");
    QTest::addColumn<std::optional<ContextMaterial>>("context");
    QTest::addColumn<QString>("sections"); // what follows the base prompt

    const std::vector<KnowledgeFile> noFiles;
    const std::vector<QAItem> noItems;
    const std::optional<ContextMaterial> noContext;
    const Assistant owner = blankAssistant();
    const auto context = [&](const QString& name, const QString& stage, std::vector<KnowledgeFile> files = {}) {
        CallContext made = CallContext::make(name, owner);
        made.stage = stage;
        return std::optional(ContextMaterial { made, std::move(files) });
    };

    QTest::newRow("nothing but the base") << QString() << QString() << noFiles << noItems << noContext << QString();
    QTest::newRow("blank instructions and notes")
        << QStringLiteral(" \n\t\n ") << QStringLiteral("\n") << noFiles << noItems << noContext << QString();
    QTest::newRow("instructions trimmed")
        << QStringLiteral(" Be brief.\nAlways.\n") << QString() << noFiles << noItems << noContext
        << QStringLiteral("\n\n## Instructions for this assistant\nBe brief.\nAlways.");
    QTest::newRow("style notes trimmed") << QString() << QStringLiteral("\n Casual, short.  ") << noFiles << noItems
                                         << noContext << QStringLiteral("\n\n## How the user answers\nCasual, short.");
    QTest::newRow("files oldest first, content as stored")
        << QString() << QString()
        << std::vector<KnowledgeFile> { file(QStringLiteral("late.md"), QStringLiteral(" ten\n"), nine.addSecs(3600)),
               file(QStringLiteral("early.md"), QStringLiteral("nine"), nine),
               file(QStringLiteral("empty.txt"), QString(), nine.addSecs(3600)) }
        << noItems << noContext
        << QStringLiteral("\n\n## Assistant material\n### early.md\nnine\n\n### late.md\n ten\n\n\n### empty.txt\n");
    QTest::newRow("only unusable prepared items")
        << QString() << QString() << noFiles
        << std::vector<QAItem> { item(QStringLiteral("Salary?"), QStringLiteral("   "), nine),
               item(QStringLiteral(" \n"), QStringLiteral("Yes"), nine) }
        << noContext << QString();
    QTest::newRow("prepared items oldest first, texts untrimmed")
        << QString() << QString() << noFiles
        << std::vector<QAItem> { item(QStringLiteral("Later?"), QStringLiteral("B"), nine.addSecs(60)),
               item(QStringLiteral("Salary?"), QStringLiteral(" "), nine),
               item(QStringLiteral(" Why us? "), QStringLiteral("A\n"), nine) }
        << noContext
        << QStringLiteral("\n\n") + preparedHeading + QStringLiteral("\n\nQ:  Why us? \nA: A\n\n\nQ: Later?\nA: B");
    QTest::newRow("context heading only")
        << QString() << QString() << noFiles << noItems << context(QStringLiteral("Acme "), QStringLiteral("  "))
        << QStringLiteral("\n\n## Context for this call: Acme ");
    QTest::newRow("context with empty name")
        << QString() << QString() << noFiles << noItems << context(QString(), QString())
        << QStringLiteral("\n\n## Context for this call: ");
    QTest::newRow("context stage trimmed") << QString() << QString() << noFiles << noItems
                                           << context(QStringLiteral("Acme"), QStringLiteral("  Final round \n"))
                                           << QStringLiteral("\n\n## Context for this call: Acme\nStage: Final round");
    QTest::newRow("context files without stage")
        << QString() << QString() << noFiles << noItems
        << context(QStringLiteral("Acme"), QString(), { file(QStringLiteral("job.md"), QStringLiteral("Role"), nine) })
        << QStringLiteral("\n\n## Context for this call: Acme\n\n### job.md\nRole");
    QTest::newRow("every section in order")
        << QStringLiteral("Help.") << QStringLiteral("Short.")
        << std::vector<KnowledgeFile> { file(QStringLiteral("cv.md"), QStringLiteral("CV"), nine) }
        << std::vector<QAItem> { item(QStringLiteral("Q1"), QStringLiteral("A1"), nine) }
        << context(QStringLiteral("Acme"), QStringLiteral("Screening"),
               { file(QStringLiteral("b.md"), QStringLiteral("B"), nine.addSecs(5)),
                   file(QStringLiteral("a.md"), QStringLiteral("A"), nine) })
        << QStringLiteral("\n\n## Instructions for this assistant\nHelp.\n\n## Assistant material\n### cv.md\nCV\n\n"
                          "## How the user answers\nShort.\n\n")
            + preparedHeading
            + QStringLiteral("\n\nQ: Q1\nA: A1\n\n## Context for this call: Acme\nStage: Screening\n\n### a.md\nA\n\n"
                             "### b.md\nB");
}

void SuggestionPromptTest::systemPrompt()
{
    QFETCH(QString, instructions);
    QFETCH(QString, styleNotes);
    QFETCH(std::vector<KnowledgeFile>, files);
    QFETCH(std::vector<QAItem>, prepared);
    QFETCH(std::optional<ContextMaterial>, context);
    QFETCH(QString, sections);
    Assistant assistant = blankAssistant();
    assistant.instructions = instructions;
    assistant.styleNotes = styleNotes;
    QCOMPARE(suggestionPrompt::systemPrompt(assistant, files, prepared, context), basePrompt() + sections);
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
        basePrompt()
            + QStringLiteral(
                "\n\n## Instructions for this assistant\nHelp.\n\n## Assistant material\n### own.md\nmine\n\n")
            + preparedHeading
            + QStringLiteral("\n\nQ: Q\nA: A\n\n## Context for this call: Lead\n\n### lead.md\ndeal"));
    QCOMPARE(suggestionPrompt::systemPrompt(*context, assistant, std::nullopt),
        basePrompt()
            + QStringLiteral(
                "\n\n## Instructions for this assistant\nHelp.\n\n## Assistant material\n### own.md\nmine\n\n")
            + preparedHeading + QStringLiteral("\n\nQ: Q\nA: A"));
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
    QCOMPARE(suggestionPrompt::userMessage({}), QStringLiteral("\n\n") + closing);
}

void SuggestionPromptTest::language_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("language"); // empty: no hypothesis
    QTest::newRow("english") << QStringLiteral("Sure. So, tell me about your last project")
                             << QStringLiteral("English");
    QTest::newRow("portuguese") << QStringLiteral("Então, me fala um pouco sobre o seu último projeto")
                                << QStringLiteral("Portuguese");
    QTest::newRow("portuguese question") << QStringLiteral("Você já trabalhou com isso antes?")
                                         << QStringLiteral("Portuguese");
    QTest::newRow("english question") << QStringLiteral("What would you do in your first week here?")
                                      << QStringLiteral("English");
    QTest::newRow("short english question") << QStringLiteral("Makes sense?") << QStringLiteral("English");
    QTest::newRow("short portuguese question") << QStringLiteral("Você topa?") << QStringLiteral("Portuguese");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("punctuation only") << QStringLiteral(" ?! … ") << QString();
}

void SuggestionPromptTest::language()
{
    QFETCH(QString, text);
    QFETCH(QString, language);
    const QString instruction = replyInstruction(text);
    if (language.isEmpty()) {
        QCOMPARE(instruction, closing);
    } else {
        QCOMPARE(instruction,
            QStringLiteral("Reply to this last line from the other person, not to earlier ones: «") + text
                + QStringLiteral("». Reply only in ") + language + QStringLiteral(". ") + closing);
    }
}

void SuggestionPromptTest::userMessage_data()
{
    QTest::addColumn<QList<TranscriptLine>>("lines");
    QTest::addColumn<QString>("expected");
    QTest::newRow("the worked example")
        << QList<TranscriptLine> { line(Speaker::me, QStringLiteral("Thanks for having me.")),
               line(Speaker::them, QStringLiteral("Sure. So, tell me about your last project")) }
        << QStringLiteral(
               "You: Thanks for having me.\nOther: Sure. So, tell me about your last project\n\nReply to this "
               "last line from the other person, not to earlier ones: «Sure. So, tell me about your last "
               "project». Reply only in English. Write only the words to say, without commenting on the "
               "question or the language.");
    QTest::newRow("anchor stays on the other person when the user spoke after")
        << QList<TranscriptLine> { line(Speaker::them, QStringLiteral("What did you build at your last company?")),
               line(Speaker::me, QStringLiteral("Good question")) }
        << QStringLiteral(
               "Other: What did you build at your last company?\nYou: Good question\n\nReply to this last line "
               "from the other person, not to earlier ones: «What did you build at your last company?». Reply "
               "only in English. ")
            + closing;
    QTest::newRow("other person silent so far")
        << QList<TranscriptLine> { line(Speaker::me, QStringLiteral("Hello, can you hear me?")) }
        << QStringLiteral("You: Hello, can you hear me?\n\n") + closing;
    QTest::newRow("a bare ok takes the language of the other person's earlier lines")
        << QList<TranscriptLine> { line(Speaker::them, QStringLiteral("A gente fecha o contrato na sexta.")),
               line(Speaker::me, QStringLiteral("Yes, Friday works")), line(Speaker::them, QStringLiteral("OK?")) }
        << QStringLiteral(
               "Other: A gente fecha o contrato na sexta.\nYou: Yes, Friday works\nOther: OK?\n\nReply to this last "
               "line from the other person, not to earlier ones: «OK?». Reply only in Portuguese. ")
            + closing;
    QTest::newRow("anchor trimmed")
        << QList<TranscriptLine> { line(
               Speaker::them, QStringLiteral("  Qual foi o maior desafio do seu último projeto? \n")) }
        << QStringLiteral(
               "Other:   Qual foi o maior desafio do seu último projeto? \n\n\nReply to this last line from the "
               "other person, not to earlier ones: «Qual foi o maior desafio do seu último projeto?». Reply only "
               "in Portuguese. ")
            + closing;
}

void SuggestionPromptTest::userMessage()
{
    QFETCH(QList<TranscriptLine>, lines);
    QFETCH(QString, expected);
    QCOMPARE(suggestionPrompt::userMessage(lines), expected);
}

QTEST_GUILESS_MAIN(SuggestionPromptTest)
#include "SuggestionPromptTest.moc"
