#include "mcp/JsonRpc.h"
#include "mcp/JsonText.h"
#include "mcp/LineReader.h"
#include "store/Store.h"
#include "store/StoreContext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

QJsonObject parse(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

} // namespace

// The framing and the dispatcher without any I/O.
class JsonRpcTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<Store> m_store;

    struct Handled {
        std::optional<QJsonObject> response;
        int updateChecks = 0;
    };

    Handled handle(const QByteArray& line, bool updated = false)
    {
        auto context = m_store->newContext();
        RequestState state { *context };
        Handled handled;
        const auto response = jsonRpc::handleLine(line, state, [&] {
            ++handled.updateChecks;
            return updated;
        });
        if (response) {
            if (response->contains('\n')) {
                qFatal("a response spans lines");
            }
            QJsonParseError error {};
            handled.response = QJsonDocument::fromJson(*response, &error).object();
            if (error.error != QJsonParseError::NoError) {
                qFatal("a response is not JSON");
            }
        }
        return handled;
    }

private Q_SLOTS:
    void init() { m_store = Store::openInMemory().value(); }

    void errors_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QJsonValue>("id");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const QJsonValue null(QJsonValue::Null);
        const QString parse = QStringLiteral("Parse error");
        const QString invalid = QStringLiteral("Invalid Request");
        QTest::newRow("not JSON") << QByteArray("x") << null << -32700 << parse;
        QTest::newRow("truncated object") << QByteArray("{\"id\":1,\"method\":\"pi") << null << -32700 << parse;
        QTest::newRow("two values") << QByteArray("1,2") << null << -32700 << parse;
        QTest::newRow("wrapping trick") << QByteArray("1],[2") << null << -32700 << parse;
        const QByteArray nul(1, '\0');
        QTest::newRow("NUL between members")
            << QByteArray("{\"id\":1,") + nul + "\"method\":\"ping\"}" << null << -32700 << parse;
        QTest::newRow("raw NUL in string")
            << QByteArray("{\"id\":1,\"method\":\"pi") + nul + "ng\"}" << null << -32700 << parse;
        const QByteArray tooMany = QByteArray("0,").repeated(jsonRpc::maxRequestValues) + '0';
        QTest::newRow("too many values") << QByteArray(R"({"id":1,"method":"ping","params":[)") + tooMany + "]}"
                                         << QJsonValue(1) << -32600 << invalid;
        QTest::newRow("too many values, id last")
            << QByteArray(R"({"method":"ping","params":{"id":[)") + tooMany + R"(]}, "i\u0064" : "late" })"
            << QJsonValue(QStringLiteral("late")) << -32600 << invalid;
        QTest::newRow("too many values in an array") << '[' + tooMany + ']' << null << -32600 << invalid;
        QTest::newRow("array") << QByteArray("[1,2]") << null << -32600 << invalid;
        QTest::newRow("string") << QByteArray("\"ping\"") << null << -32600 << invalid;
        QTest::newRow("null") << QByteArray("null") << null << -32600 << invalid;
        QTest::newRow("deep array") << QByteArray(10000, '[') + QByteArray(10000, ']') << null << -32600 << invalid;
        QTest::newRow("deep array unbalanced")
            << QByteArray(10000, '[') + QByteArray(9999, ']') << null << -32700 << parse;
        QTest::newRow("no method") << QByteArray("{\"id\":1}") << QJsonValue(1) << -32601
                                   << QStringLiteral("Method not found");
        QTest::newRow("method not a string")
            << QByteArray("{\"id\":\"x\",\"method\":3}") << QJsonValue(QStringLiteral("x")) << -32601
            << QStringLiteral("Method not found");
        QTest::newRow("unknown method") << QByteArray("{\"id\":2,\"method\":\"resources/list\"}") << QJsonValue(2)
                                        << -32601 << QStringLiteral("Method not found: resources/list");
        QTest::newRow("method case") << QByteArray("{\"id\":2,\"method\":\"Ping\"}") << QJsonValue(2) << -32601
                                     << QStringLiteral("Method not found: Ping");
        QTest::newRow("call without params") << QByteArray("{\"id\":3,\"method\":\"tools/call\"}") << QJsonValue(3)
                                             << -32602 << QStringLiteral("Invalid params: name is required");
        QTest::newRow("call without name")
            << QByteArray("{\"id\":3,\"method\":\"tools/call\",\"params\":{\"arguments\":{}}}") << QJsonValue(3)
            << -32602 << QStringLiteral("Invalid params: name is required");
        QTest::newRow("deep params") << QByteArray("{\"id\":4,\"method\":\"tools/call\",\"params\":")
                + QByteArray(5000, '[') + QByteArray(5000, ']') + '}'
                                     << QJsonValue(4) << -32602 << QStringLiteral("Invalid params: name is required");
    }

    void errors()
    {
        QFETCH(QByteArray, line);
        QFETCH(QJsonValue, id);
        QFETCH(int, code);
        QFETCH(QString, message);
        const Handled handled = handle(line);
        QVERIFY(handled.response);
        const QJsonObject& response = *handled.response;
        QCOMPARE(response.keys(),
            (QStringList { QStringLiteral("error"), QStringLiteral("id"), QStringLiteral("jsonrpc") }));
        QCOMPARE(response[QLatin1String("jsonrpc")].toString(), QStringLiteral("2.0"));
        QCOMPARE(response[QLatin1String("id")], id);
        QCOMPARE(response[QLatin1String("error")].toObject(),
            (QJsonObject { { QStringLiteral("code"), code }, { QStringLiteral("message"), message } }));
    }

    void notificationsGetNothing_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("initialized") << QByteArray("{\"jsonrpc\":\"2.0\",\"method\":\"notifications/initialized\"}");
        QTest::newRow("null id") << QByteArray("{\"id\":null,\"method\":\"ping\"}");
        QTest::newRow("no method either") << QByteArray("{}");
        QTest::newRow("unknown tool call")
            << QByteArray("{\"method\":\"tools/"
                          "call\",\"params\":{\"name\":\"create_assistant\",\"arguments\":{\"name\":\"Ghost\"}}}");
        QTest::newRow("deep object") << QByteArray("{\"a\":") + QByteArray(10000, '[') + QByteArray(10000, ']') + '}';
        QTest::newRow("too many values") << QByteArray(R"({"method":"x","params":[)")
                + QByteArray("0,").repeated(jsonRpc::maxRequestValues) + "0]}";
    }

    void notificationsGetNothing()
    {
        QFETCH(QByteArray, line);
        const Handled handled = handle(line, true);
        QVERIFY(!handled.response);
        QCOMPARE(handled.updateChecks, 0);
        QCOMPARE(StoreContext(m_store).count<Assistant>().value(), 0);
    }

    void idsAreEchoed_data()
    {
        QTest::addColumn<QByteArray>("idText");
        QTest::newRow("string") << QByteArray("\"a1\"");
        QTest::newRow("large integer") << QByteArray("9007199254740993");
        QTest::newRow("negative fraction") << QByteArray("-2.5");
        QTest::newRow("object") << QByteArray("{\"k\":[1]}");
        QTest::newRow("unicode") << QByteArray("\"ação/✓\"");
    }

    void idsAreEchoed()
    {
        QFETCH(QByteArray, idText);
        const Handled handled = handle("{\"jsonrpc\":\"2.0\",\"id\":" + idText + ",\"method\":\"ping\"}");
        QVERIFY(handled.response);
        const QJsonValue expected = *jsonText::parse(idText);
        QCOMPARE(handled.response->value(QLatin1String("id")), expected);
        QCOMPARE(handled.response->value(QLatin1String("result")).toObject(), QJsonObject {});
    }

    void largeIntegerIdKeepsItsDigits()
    {
        auto context = m_store->newContext();
        RequestState state { *context };
        const auto response = jsonRpc::handleLine("{\"id\":9007199254740993,\"method\":\"ping\"}", state, {});
        QVERIFY(response && response->contains("9007199254740993"));
    }

    void initialize_data()
    {
        QTest::addColumn<QByteArray>("params");
        QTest::addColumn<QString>("version");
        QTest::newRow("no params") << QByteArray() << QStringLiteral("2025-06-18");
        QTest::newRow("older version echoed")
            << QByteArray(",\"params\":{\"protocolVersion\":\"2024-11-05\"}") << QStringLiteral("2024-11-05");
        QTest::newRow("version not a string")
            << QByteArray(",\"params\":{\"protocolVersion\":3}") << QStringLiteral("2025-06-18");
        QTest::newRow("params not an object")
            << QByteArray(",\"params\":[\"2024-11-05\"]") << QStringLiteral("2025-06-18");
    }

    void initialize()
    {
        QFETCH(QByteArray, params);
        QFETCH(QString, version);
        const Handled handled = handle("{\"id\":1,\"method\":\"initialize\"" + params + '}');
        QJsonObject expected =
            parse(R"({"capabilities":{"tools":{}},"serverInfo":{"name":"quillora","version":"1.0"}})");
        expected.insert(QStringLiteral("protocolVersion"), version);
        QCOMPARE(handled.response->value(QLatin1String("result")).toObject(), expected);
    }

    void toolsListAndCall()
    {
        const Handled listed = handle("{\"id\":1,\"method\":\"tools/list\",\"params\":{}}");
        QCOMPARE(listed.response->value(QLatin1String("result"))[QLatin1String("tools")].toArray().size(), 19);

        // A failing tool is a result with isError, not a JSON-RPC error; arguments that are not an
        // object count as empty.
        const Handled failed =
            handle("{\"id\":2,\"method\":\"tools/call\",\"params\":{\"name\":\"get_call\",\"arguments\":[1]}}");
        QCOMPARE(failed.response->value(QLatin1String("result")).toObject(),
            parse(R"({"content":[{"type":"text","text":"Missing argument call."}],"isError":true})"));

        auto context = m_store->newContext();
        RequestState state { *context };
        const auto created =
            jsonRpc::handleLine("{\"id\":3,\"method\":\"tools/"
                                "call\",\"params\":{\"name\":\"create_assistant\",\"arguments\":{\"name\":\"A/B\"}}}",
                state, {});
        QVERIFY(state.changed);
        const QJsonObject result = QJsonDocument::fromJson(*created).object()[QLatin1String("result")].toObject();
        QVERIFY(!result.contains(QLatin1String("isError")));
        const QString text = result[QLatin1String("content")].toArray().at(0)[QLatin1String("text")].toString();
        QVERIFY(text.contains(QLatin1String("\"name\":\"A/B\""))); // compact, slashes not escaped
    }

    void readingToolDoesNotMarkChanged()
    {
        auto context = m_store->newContext();
        RequestState state { *context };
        jsonRpc::handleLine(
            "{\"id\":1,\"method\":\"tools/call\",\"params\":{\"name\":\"list_assistants\"}}", state, {});
        QVERIFY(!state.changed);
    }

    void invalidUtf8IsReadAsReplacement()
    {
        const Handled handled = handle("{\"id\":1,\"method\":\"tools/call\",\"params\":{\"name\":\"create_assistant\","
                                       "\"arguments\":{\"name\":\"Bad\xff\xfe\"}}}");
        const QString text =
            handled.response->value(QLatin1String("result"))[QLatin1String("content")][0][QLatin1String("text")]
                .toString();
        QVERIFY(text.contains(QStringLiteral("Bad\uFFFD\uFFFD")));
    }

    void pruneKeepsShallowTextAndRefusesMalformed_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("pruned"); // empty: refused
        QTest::newRow("scalar") << QByteArray(" 12 ") << QByteArray("12");
        QTest::newRow("nested beyond two") << QByteArray("{\"a\" : [ [1], {\"b\":{}} ], \"c\":\"]\"}")
                                           << QByteArray("{\"a\":[null,null],\"c\":\"]\"}");
        QTest::newRow("escapes") << QByteArray("[\"\\u00e9\\n\\\"\\\\\"]") << QByteArray("[\"\\u00e9\\n\\\"\\\\\"]");
        QTest::newRow("bad escape") << QByteArray("[\"\\x\"]") << QByteArray();
        QTest::newRow("leading zero") << QByteArray("[01]") << QByteArray();
        QTest::newRow("fraction without digit") << QByteArray("[1.]") << QByteArray();
        QTest::newRow("trailing comma") << QByteArray("[1,]") << QByteArray();
        QTest::newRow("bare word") << QByteArray("[nul]") << QByteArray();
        QTest::newRow("two texts") << QByteArray("{} {}") << QByteArray();
        QTest::newRow("mismatched") << QByteArray("[}") << QByteArray();
        QTest::newRow("empty") << QByteArray("") << QByteArray();
    }

    void pruneKeepsShallowTextAndRefusesMalformed()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, pruned);
        const auto result = jsonText::pruneDeepContainers(text, 2);
        if (pruned.isEmpty()) {
            QVERIFY(!result);
        } else {
            QCOMPARE(result.value_or(QByteArray("<refused>")), pruned);
        }
    }

    void escapedTextRoundTrips()
    {
        const QString text = QStringLiteral("quote \" backslash \\ slash / tab \t line \n nul ") + QChar(0)
            + QStringLiteral(" bell \a é ✓ 😀");
        const QByteArray json = '"' + jsonText::escapedString(text.toUtf8()) + '"';
        QCOMPARE(jsonText::parse(json).value_or(QJsonValue()).toString(), text);
    }

    void lineFraming_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<QByteArray>>("lines"); // "<overlong>" marks a skipped line
        using L = QList<QByteArray>;
        QTest::newRow("merged") << L { "a\nbb\nccc\n" } << L { "a", "bb", "ccc" };
        QTest::newRow("split") << L { "ab", "c", "\nd", "e\n" } << L { "abc", "de" };
        QTest::newRow("CRLF") << L { "a\r\n", "b\r", "\n" } << L { "a", "b" };
        QTest::newRow("lone CR kept") << L { "a\rb\n" } << L { "a\rb" };
        QTest::newRow("last line without break") << L { "a\nb" } << L { "a", "b" };
        QTest::newRow("empty lines") << L { "\n\n" } << L { "", "" };
        QTest::newRow("exactly the cap") << L { "12345678\n" } << L { "12345678" };
        QTest::newRow("over the cap") << L { "123456789\nok\n" } << L { "<overlong>", "ok" };
        QTest::newRow("over the cap across chunks")
            << L { "1234", "5678", "9", "00000000", "000\nok" } << L { "<overlong>", "ok" };
        QTest::newRow("overlong last line") << L { "ok\n123456789" } << L { "ok", "<overlong>" };
        QTest::newRow("overlong request keeps its id")
            << L { "{\"id\":", "\"a\\\"}\",", "\"p\":[1,{}]", "}\r\nok\n" } << L { "<overlong \"a\\\"}\">", "ok" };
        QTest::newRow("overlong request, id last") << L { "{\"p\":1,", "\"id\":2}" } << L { "<overlong 2>" };
        QTest::newRow("overlong notification") << L { "{\"p\":[1,2,3,4]}" } << L { "<overlong>" };
    }

    void lineFraming()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<QByteArray>, lines);
        QList<QByteArray> seen;
        jsonText::IdScanner overlong;
        const auto ended = [&] {
            const QJsonValue id = overlong.id().value_or(QJsonValue::Null);
            seen.append(id.isNull() ? QByteArray("<overlong>") : "<overlong " + jsonText::write(id) + '>');
            overlong = {};
        };
        LineReader reader({ [&](const QByteArray& line) { seen.append(line); }, ended,
                              [&](QByteArrayView bytes) { overlong.feed(bytes); } },
            8);
        for (const QByteArray& chunk : chunks) {
            reader.feed(chunk.constData(), chunk.size());
        }
        reader.finish();
        QCOMPARE(seen, lines);
    }
};

QTEST_GUILESS_MAIN(JsonRpcTest)
#include "JsonRpcTest.moc"
