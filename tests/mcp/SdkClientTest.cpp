#include "ServerProcess.h"
#include "StoreFixture.h"

#include <QFileInfo>

// The official MCP TypeScript client runs an agent's session against the server.
class SdkClientTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void agentSession()
    {
        const QString node = QStringLiteral(QUILLORA_NODE);
        const QString clientDir = QStringLiteral(QUILLORA_MCP_CLIENT_DIR);
        if (node.isEmpty() || !QFileInfo::exists(node)) {
            QSKIP("node is not installed; the MCP SDK client session cannot run.");
        }
        if (!QFileInfo::exists(clientDir + QStringLiteral("/node_modules/@modelcontextprotocol/sdk"))) {
            QSKIP("tests/mcp/client/node_modules is missing: run npm ci in tests/mcp/client.");
        }
        QTemporaryDir home;
        ServerProcess paths(home.path());
        {
            auto store = Store::open(paths.storePath()).value();
            StoreContext context(store);
            Assistant recorded = Assistant::make(QStringLiteral("Recorded"), AssistantTemplate::prospecting);
            CallContext globex = CallContext::make(QStringLiteral("Globex"), recorded);
            context.insert(recorded);
            context.insert(globex);
            for (int i = 0; i < 3; ++i) {
                Call call;
                call.id = uuid::create();
                call.startedAt = SeededRecords::at(10 * i);
                call.endedAt = call.startedAt.addSecs(600);
                call.assistant = recorded.id;
                call.context = globex.id;
                call.summary = QStringLiteral("Call %1 about pricing.").arg(i);
                call.linesData = blob::encodeLines({ { false, QStringLiteral("What do you charge?"), call.startedAt },
                    { true, QStringLiteral("It depends."), call.startedAt.addSecs(5) } });
                call.suggestionsData =
                    blob::encodeSuggestions({ { QStringLiteral("Ask about volume."), call.startedAt } });
                context.insert(call);
            }
            QVERIFY(context.save());
        }

        QProcess client;
        client.setProcessEnvironment(paths.process().processEnvironment());
        client.setWorkingDirectory(clientDir);
        client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        client.start(node, { QStringLiteral("agent-session.mjs"), QStringLiteral(QUILLORA_BINARY) });
        QVERIFY(client.waitForStarted(10000));
        QVERIFY(client.waitForFinished(120000));
        const QByteArray output = client.readAllStandardOutput();
        QVERIFY2(client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0, output.constData());
        QVERIFY(output.contains("agent session passed"));
    }
};

QTEST_GUILESS_MAIN(SdkClientTest)
#include "SdkClientTest.moc"
