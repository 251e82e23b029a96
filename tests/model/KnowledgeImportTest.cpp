#include "model/KnowledgeImport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace knowledgeImport;

class KnowledgeImportTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void extension_data();
    void extension();
    void readFile_data();
    void readFile();
    void readFileSystemErrors();
    void checkText_data();
    void checkText();

private:
    QString write(const QString& name, const QByteArray& bytes);
    QTemporaryDir m_dir;
};

void KnowledgeImportTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString KnowledgeImportTest::write(const QString& name, const QByteArray& bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write the fixture %s", qPrintable(path));
    }
    return path;
}

void KnowledgeImportTest::extension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("md") << QStringLiteral("/x/notes.md") << true;
    QTest::newRow("upper MD") << QStringLiteral("Notes.MD") << true;
    QTest::newRow("mixed Txt") << QStringLiteral("/a.b/notes.Txt") << true;
    QTest::newRow("no extension") << QStringLiteral("notes") << false;
    QTest::newRow("md.bak") << QStringLiteral("notes.md.bak") << false;
    QTest::newRow("dot in folder only") << QStringLiteral("/x/y.md/notes") << false;
}

void KnowledgeImportTest::extension()
{
    QFETCH(QString, path);
    QFETCH(bool, accepted);
    QCOMPARE(hasAcceptedExtension(path), accepted);
}

void KnowledgeImportTest::readFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error"); // empty: accepted, content == bytes as UTF-8

    QTest::newRow("notes.TXT accepted under its own name")
        << QStringLiteral("notes.TXT") << QByteArray("0123456789") << QString();
    QTest::newRow("white space only passes") << QStringLiteral("blank.md") << QByteArray(" \n\t\r\n") << QString();
    QTest::newRow("multi-byte text, CRLF kept")
        << QStringLiteral("pt.md") << QByteArray("Ação\r\n\xf0\x9f\x98\x80") << QString();
    QTest::newRow("exactly 1,000,000 bytes") << QStringLiteral("max.txt") << QByteArray(1000000, 'a') << QString();
    QTest::newRow("empty") << QStringLiteral("empty.md") << QByteArray() << message(Failure::empty);
    QTest::newRow("1,000,001 bytes that are not UTF-8 either")
        << QStringLiteral("big.md") << QByteArray(1000001, '\xe9') << message(Failure::tooLarge);
    QTest::newRow("latin-1 e acute") << QStringLiteral("latin1.txt") << QByteArray("caf\xe9")
                                     << message(Failure::notUTF8);
    QTest::newRow("truncated sequence at the end")
        << QStringLiteral("cut.txt") << QByteArray("ok \xe2\x82") << message(Failure::notUTF8);
    QTest::newRow("encoded surrogate") << QStringLiteral("surrogate.txt") << QByteArray("\xed\xa0\x80")
                                       << message(Failure::notUTF8);
    QTest::newRow("pdf refused before reading")
        << QStringLiteral("cv.pdf") << QByteArray("%PDF") << message(Failure::unsupportedType);
}

void KnowledgeImportTest::readFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    const auto imported = knowledgeImport::readFile(write(name, bytes));
    if (!error.isEmpty()) {
        QVERIFY(!imported);
        QCOMPARE(imported.error().message, error);
        return;
    }
    QVERIFY2(imported, qPrintable(imported ? QString() : imported.error().message));
    QCOMPARE(imported->name, name);
    QCOMPARE(imported->content, QString::fromUtf8(bytes));
}

void KnowledgeImportTest::readFileSystemErrors()
{
    // The type check comes first: a missing PDF is refused for its type.
    const auto pdf = knowledgeImport::readFile(m_dir.filePath(QStringLiteral("missing/cv.pdf")));
    QVERIFY(!pdf);
    QCOMPARE(pdf.error().message, QStringLiteral("Only .md or .txt files."));

    // A missing file and a folder carry the system's own message.
    const auto missing = knowledgeImport::readFile(m_dir.filePath(QStringLiteral("missing.md")));
    QVERIFY(!missing);
    QCOMPARE(missing.error().message, QStringLiteral("No such file or directory"));

    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder.md")));
    const auto folder = knowledgeImport::readFile(m_dir.filePath(QStringLiteral("folder.md")));
    QVERIFY(!folder);
    QCOMPARE(folder.error().message, QStringLiteral("Is a directory"));
}

void KnowledgeImportTest::checkText_data()
{
    QTest::addColumn<QJsonValue>("content");
    QTest::addColumn<QString>("error"); // empty: accepted unchanged

    QTest::newRow("plain") << QJsonValue(QStringLiteral("  some text  ")) << QString();
    QTest::newRow("line breaks only pass") << QJsonValue(QStringLiteral("\n\r\n")) << QString();
    QTest::newRow("333,333 three-byte characters") << QJsonValue(QString(333333, u'€')) << QString();
    QTest::newRow("333,334 three-byte characters") << QJsonValue(QString(333334, u'€')) << message(Failure::tooLarge);
    QTest::newRow("1,000,001 ascii characters") << QJsonValue(QString(1000001, u'a')) << message(Failure::tooLarge);
    QTest::newRow("empty string") << QJsonValue(QString()) << message(Failure::empty);
    QTest::newRow("number") << QJsonValue(3) << message(Failure::empty);
    QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << message(Failure::empty);
    QTest::newRow("spaces and tabs") << QJsonValue(QStringLiteral(" \t \t"))
                                     << QStringLiteral("Missing argument content.");
    QTest::newRow("blank but too large") << QJsonValue(QString(1000001, u' '))
                                         << QStringLiteral("Missing argument content.");
}

void KnowledgeImportTest::checkText()
{
    QFETCH(QJsonValue, content);
    QFETCH(QString, error);
    const auto checked = knowledgeImport::checkText(content);
    if (!error.isEmpty()) {
        QVERIFY(!checked);
        QCOMPARE(checked.error().message, error);
        return;
    }
    QVERIFY(checked);
    QCOMPARE(*checked, content.toString());
}

QTEST_GUILESS_MAIN(KnowledgeImportTest)
#include "KnowledgeImportTest.moc"
