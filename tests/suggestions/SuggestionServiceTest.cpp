#include <QTest>
class SuggestionServiceTest : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(SuggestionServiceTest)
#include "SuggestionServiceTest.moc"
