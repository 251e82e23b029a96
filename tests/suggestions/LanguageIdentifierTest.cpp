#include "suggestions/LanguageIdentifier.h"
#include "fakes/LanguageLines.h"

#include <QTest>

using languageIdentifier::identify;

namespace {

QString labelOf(std::optional<ReplyLanguage> language)
{
    if (!language) {
        return QStringLiteral("none");
    }
    return *language == ReplyLanguage::portuguese ? QStringLiteral("pt") : QStringLiteral("en");
}

} // namespace

class LanguageIdentifierTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void labelledSet()
    {
        const QList<LabelledLine> lines = labelledLanguageLines(QStringLiteral(QUILLORA_TEST_DATA));
        QVERIFY(lines.size() >= 300);
        QStringList wrong;
        for (const LabelledLine& line : lines) {
            const QString found = labelOf(identify(line.text));
            if (found != line.label) {
                wrong.append(QStringLiteral("%1 as %2: %3").arg(line.label, found, line.text));
            }
        }
        const double rightPercent = 100.0 * static_cast<double>(lines.size() - wrong.size()) / lines.size();
        qInfo("%.1f %% right; wrong:\n%s", rightPercent, qUtf8Printable(wrong.join(u'\n')));
        QVERIFY2(rightPercent >= 98.0, qUtf8Printable(wrong.join(u'\n')));
    }

    // Lines that are not enough on their own, and which clause of a mixed line decides.
    void evidenceFromContext_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("earlier");
        QTest::addColumn<QString>("expected");
        const QStringList portuguese { QStringLiteral("Então, vamos falar do contrato."),
            QStringLiteral("A gente precisa fechar até sexta.") };
        const QStringList english { QStringLiteral("So, let's talk about the contract."),
            QStringLiteral("We need to close it by Friday.") };
        QTest::newRow("bare ok, nothing before") << QStringLiteral("OK?") << QStringList() << QStringLiteral("none");
        QTest::newRow("bare ok after Portuguese") << QStringLiteral("OK?") << portuguese << QStringLiteral("pt");
        QTest::newRow("bare ok after English") << QStringLiteral("OK?") << english << QStringLiteral("en");
        QTest::newRow("a number after Portuguese") << QStringLiteral("2025?") << portuguese << QStringLiteral("pt");
        QTest::newRow("punctuation ignores what came before")
            << QStringLiteral(" ?! … ") << portuguese << QStringLiteral("none");
        QTest::newRow("empty ignores what came before") << QString() << english << QStringLiteral("none");
        QTest::newRow("own evidence over earlier lines")
            << QStringLiteral("Sounds good?") << portuguese << QStringLiteral("en");
        QTest::newRow("own evidence over earlier lines, Portuguese")
            << QStringLiteral("Tudo bem?") << english << QStringLiteral("pt");
        QTest::newRow("newest earlier line first")
            << QStringLiteral("Ok.") << (english + portuguese) << QStringLiteral("pt");
        QTest::newRow("closing question decides") << QStringLiteral("Great, great. E quanto tempo você levou nisso?")
                                                  << QStringList() << QStringLiteral("pt");
        QTest::newRow("closing question decides, English")
            << QStringLiteral("Entendi. So what's next?") << QStringList() << QStringLiteral("en");
        QTest::newRow("closing clause outweighs the line's opening")
            << QStringLiteral("Tudo bem, tudo certo, let me explain.") << QStringList() << QStringLiteral("en");
        QTest::newRow("empty closing clause falls back to the one before")
            << QStringLiteral("Sim, claro. OK?") << english << QStringLiteral("pt");
        QTest::newRow("decimal comma stays inside the clause")
            << QStringLiteral("Foi 3,5 milhões") << QStringList() << QStringLiteral("pt");
        QTest::newRow("names inside a sentence count little")
            << QStringLiteral("O Kevin Wright?") << QStringList() << QStringLiteral("pt");
        QTest::newRow("curly apostrophe") << QStringLiteral("It\u2019s done") << QStringList() << QStringLiteral("en");
    }

    void evidenceFromContext()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, earlier);
        QFETCH(QString, expected);
        QCOMPARE(labelOf(identify(text, earlier)), expected);
    }
};

QTEST_GUILESS_MAIN(LanguageIdentifierTest)
#include "LanguageIdentifierTest.moc"
