#include "records/KnowledgeImport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

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
    void readFileRefusesWhatIsNotAFile_data();
    void readFileRefusesWhatIsNotAFile();
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
    QTest::newRow("leading byte-order mark kept")
        << QStringLiteral("bom.md") << QByteArray("\xef\xbb\xbfnotes") << QString();
    QTest::newRow("exactly 1,000,000 bytes") << QStringLiteral("max.txt") << QByteArray(1000000, 'a') << QString();
    QTest::newRow("empty") << QStringLiteral("empty.md") << QByteArray() << message(Failure::empty);
    QTest::newRow("1,000,001 bytes that are not UTF-8 either")
        << QStringLiteral("big.md") << QByteArray(1000001, '\xe9') << message(Failure::tooLarge);
    QTest::newRow("latin-1 e acute") << QStringLiteral("latin1.txt") << QByteArray("caf\xe9")
                                     << message(Failure::notUTF8);
    QTest::newRow("encoded surrogate") << QStringLiteral("surrogate.txt") << QByteArray("\xed\xa0\x80")
                                       << message(Failure::notUTF8);
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
    QCOMPARE(imported->content.toUtf8(), bytes);
}

// Only a regular file's text is read, and the file read is the one the path names: a FIFO or a
// device must neither hang the reader nor feed it, and a NUL must not cut the name short.
void KnowledgeImportTest::readFileRefusesWhatIsNotAFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("error"); // empty: accepted
    const QString secret = write(QStringLiteral("secret"), "private");
    QTest::newRow("NUL before the extension")
        << secret + QChar(0) + QStringLiteral(".md") << QStringLiteral("No such file or directory");
    QTest::newRow("lone surrogate") << m_dir.filePath(QStringLiteral("a") + QChar(0xD800) + QStringLiteral(".md"))
                                    << QStringLiteral("No such file or directory");
    const QString fifo = m_dir.filePath(QStringLiteral("notes.md"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QTest::newRow("FIFO") << fifo << notRegularFile();
    const QString stdinLink = m_dir.filePath(QStringLiteral("stdin.md"));
    QVERIFY(QFile::link(QStringLiteral("/dev/stdin"), stdinLink));
    QTest::newRow("link to standard input") << stdinLink << notRegularFile();
    const QString fileLink = m_dir.filePath(QStringLiteral("link.md"));
    QVERIFY(QFile::link(secret, fileLink));
    QTest::newRow("link to a regular file") << fileLink << QString();
}

void KnowledgeImportTest::readFileRefusesWhatIsNotAFile()
{
    QFETCH(QString, path);
    QFETCH(QString, error);
    const auto imported = knowledgeImport::readFile(path);
    QCOMPARE(imported ? QString() : imported.error().message, error);
    if (imported) {
        QCOMPARE(imported->name, QStringLiteral("link.md"));
        QCOMPARE(imported->content, QStringLiteral("private"));
    }
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
    QTest::newRow("empty string") << QJsonValue(QString()) << message(Failure::empty);
    QTest::newRow("number") << QJsonValue(3) << message(Failure::empty);
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
