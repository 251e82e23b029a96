#include "WindowHarness.h"

#include "store/StoreContext.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTabBar>

WindowHarness::WindowHarness()
    : settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr)
    , store(*Store::openInMemory())
{
    settings.setText(SettingKey::llmProvider, QStringLiteral("claude"));
    settings.setText(SettingKey::anthropicBaseURL, model.baseURL());
}

WindowHarness::~WindowHarness() = default;

bool WindowHarness::seed(const std::function<void(StoreContext&)>& seed)
{
    auto context = store->newContext();
    seed(*context);
    return bool(context->save());
}

void WindowHarness::replyWith(const QStringList& pieces)
{
    FakeHttpServer::Response response;
    for (const QString& piece : pieces) {
        response.chunks.append(fakeEvents::claudeText(piece));
    }
    model.respond("/v1/messages", response);
}

namespace gui {

bool shown(QWidget* window)
{
    window->show();
    return QTest::qWaitForWindowExposed(window);
}

QString accessibleName(QObject* object)
{
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

QStringList unnamedControls(const QWidget* window)
{
    QStringList unnamed;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget)
            || qobject_cast<QPlainTextEdit*>(widget) || qobject_cast<QComboBox*>(widget)
            || qobject_cast<QAbstractItemView*>(widget);
        // Qt's own parts (tab scrollers, headers, a combo box's popup, a field's clear button) are named by Qt.
        if (!control || widget->window() != window || qobject_cast<QTabBar*>(widget->parent())
            || widget->inherits("QHeaderView") || widget->inherits("QLineEditIconButton")
            || widget->inherits("QComboBoxListView")) {
            continue;
        }
        const QString name = accessibleName(widget);
        const auto* button = qobject_cast<QAbstractButton*>(widget);
        const QString expected = !widget->toolTip().isEmpty() ? widget->toolTip()
            : button && !button->text().isEmpty()             ? button->text()
                                                              : name;
        if (name.isEmpty() || name != expected) {
            unnamed.append(QString::fromLatin1(widget->metaObject()->className()) + u' ' + widget->objectName()
                + QStringLiteral(" '") + name + u'\'');
        }
    }
    return unnamed;
}

QList<AccessibleNode> accessibleTree(const QByteArray& dump)
{
    QList<AccessibleNode> nodes;
    for (const QByteArray& line : dump.split('\n')) {
        const QJsonObject node = QJsonDocument::fromJson(line).object();
        if (!node.isEmpty()) {
            nodes.append(AccessibleNode { node.value(QLatin1String("role")).toString(),
                node.value(QLatin1String("name")).toString(), node.value(QLatin1String("description")).toString(),
                node.value(QLatin1String("text")).toString(), node.value(QLatin1String("showing")).toBool() });
        }
    }
    return nodes;
}

QList<AccessibleNode> readThroughAtSpi(qint64 pid, QString* error)
{
    QProcess helper;
    QSignalSpy finished(&helper, &QProcess::finished);
    helper.start(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral(QUILLORA_ACCESSIBLE_WINDOW), QStringLiteral("dump"), QString::number(pid) });
    if (!finished.wait(40000) || helper.exitCode() != 0) {
        *error = QString::fromUtf8(helper.readAllStandardError());
        return {};
    }
    return accessibleTree(helper.readAllStandardOutput());
}

} // namespace gui
