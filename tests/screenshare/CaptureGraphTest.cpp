#include "screenshare/CaptureGraph.h"

#include <QFile>
#include <QTest>

namespace {

CaptureGraph fixture(const QString& name)
{
    QFile file(QStringLiteral(QUILLORA_TEST_DATA "/screenshare/") + name + QStringLiteral(".json"));
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("missing fixture %s", qPrintable(name));
    }
    auto graph = CaptureGraph::fromPwDump(file.readAll());
    if (!graph) {
        qFatal("unreadable fixture %s", qPrintable(name));
    }
    return *graph;
}

} // namespace

class CaptureGraphTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void snapshots_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("shared");
        QTest::addColumn<QString>("desktop");

        QTest::newRow("GNOME capture") << u"gnome"_qs << true << u"GNOME"_qs;
        QTest::newRow("KDE capture") << u"kde"_qs << true << u"KDE Plasma"_qs;
        QTest::newRow("wlroots portal capture") << u"wlroots"_qs << true << u"wlroots"_qs;
        QTest::newRow("Hyprland portal capture") << u"hyprland"_qs << true << u"Hyprland"_qs;
        QTest::newRow("niri capture") << u"niri"_qs << true << u"niri"_qs;
        QTest::newRow("paused stream") << u"paused"_qs << false << u"GNOME"_qs;
        QTest::newRow("stream with no consumer") << u"no-consumer"_qs << false << u"GNOME"_qs;
        QTest::newRow("link still negotiating") << u"negotiating"_qs << false << u"GNOME"_qs;
        QTest::newRow("camera") << u"camera"_qs << false << QString();
        QTest::newRow("audio only") << u"audio-only"_qs << false << QString();
        QTest::newRow("task bar window preview") << u"kde-taskbar-preview"_qs << false << u"KDE Plasma"_qs;
    }

    void snapshots()
    {
        QFETCH(QString, file);
        QFETCH(bool, shared);
        QFETCH(QString, desktop);

        const CaptureGraph graph = fixture(file);
        QCOMPARE(isScreenShared(graph), shared);
        // The producer is recognised (or not) whatever its state.
        QString recognised;
        for (const GraphNode& node : graph.nodes) {
            if (const CaptureSource* source = captureSourceOf(node)) {
                recognised = source->desktop;
            }
        }
        QCOMPARE(recognised, desktop);
    }

    // A preview in the task bar must not hide a real share running beside it.
    void previewBesideShare()
    {
        CaptureGraph graph = fixture(u"kde-taskbar-preview"_qs);
        const CaptureGraph share = fixture(u"kde"_qs);
        const uint32_t offset = 1000;
        for (GraphNode node : share.nodes) {
            node.id += offset;
            if (node.props.contains(u"client.id"_qs)) {
                node.props[u"client.id"_qs] = QString::number(node.prop(u"client.id"_qs).toUInt() + offset);
            }
            graph.nodes.insert(node.id, node);
        }
        for (GraphLink link : share.links) {
            link.id += offset;
            link.outputNode += offset;
            link.inputNode += offset;
            graph.links.insert(link.id, link);
        }
        for (auto it = share.clients.begin(); it != share.clients.end(); ++it) {
            graph.clients.insert(it.key() + offset, it.value());
        }
        QVERIFY(isScreenShared(graph));
    }

    void unreadableSnapshots_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("object instead of array") << QByteArray(R"({"id": 1})");
        QTest::newRow("cut short") << QByteArray(R"([{"id": 32, "type": "PipeWire:Interface:Node")");
    }

    void unreadableSnapshots()
    {
        QFETCH(QByteArray, json);
        QVERIFY(!CaptureGraph::fromPwDump(json).has_value());
    }

    // Every entry of the table must be recognisable by the names its compositor uses.
    void everyKnownSourceRecognised()
    {
        for (const CaptureSource& source : knownCaptureSources()) {
            GraphNode node;
            node.props.insert(u"media.class"_qs, u"Stream/Output/Video"_qs);
            node.props.insert(u"media.name"_qs, source.namePrefix + u"x"_qs);
            QVERIFY2(captureSourceOf(node) == &source, qPrintable(source.desktop));
            node.props.insert(u"media.class"_qs, u"Stream/Input/Video"_qs);
            QVERIFY2(!captureSourceOf(node), qPrintable(source.desktop));
        }
    }
};

QTEST_GUILESS_MAIN(CaptureGraphTest)
#include "CaptureGraphTest.moc"
