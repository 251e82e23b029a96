// Records a registry snapshot for tests/data/screenshare: starts a private PipeWire daemon, runs a
// stand-in capture whose source is named after the first argument, waits until the link is active and
// prints what pw-dump shows.
//
//   scripts/with-services build/tests/screenshare/record_snapshot meta-screen-cast-src > snapshot.json
//
// With --session it uses the session's running daemon instead, and --hold-ms N keeps the capture running
// N ms after the snapshot, to look at the app while it runs.
#include "screenshare/CaptureClient.h"
#include "screenshare/CaptureGraph.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>

#include <cstdio>

namespace {

QByteArray pwDump()
{
    QProcess dump;
    dump.start(QStringLiteral("pw-dump"), {});
    dump.waitForFinished(10000);
    return dump.readAllStandardOutput();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: record_snapshot SOURCE-NAME\n");
        return 2;
    }
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype hold = arguments.indexOf(QStringLiteral("--hold-ms"));
    const int holdMs = hold > 0 && hold + 1 < arguments.size() ? arguments.at(hold + 1).toInt() : 0;
    PrivatePipeWire daemon;
    QString error;
    if (!arguments.contains(QStringLiteral("--session")) && !daemon.start(&error)) {
        std::fprintf(stderr, "record_snapshot: %s\n", qUtf8Printable(error));
        return 1;
    }
    CaptureClient client;
    client.startCapture(argv[1]);
    // The snapshot is taken once a link has settled (active, or failed).
    QByteArray json;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        json = pwDump();
        const auto graph = CaptureGraph::fromPwDump(json);
        bool settled = false;
        for (const GraphLink& link : graph ? graph->links : QHash<uint32_t, GraphLink> {}) {
            settled = settled || link.state == u"active" || link.state == u"error";
        }
        if (settled) {
            break;
        }
    }
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    std::fflush(stdout);
    QDeadlineTimer held(holdMs);
    while (!held.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, int(held.remainingTime()));
    }
    return 0;
}
