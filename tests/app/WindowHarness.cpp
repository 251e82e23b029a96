#include "WindowHarness.h"

#include "fakes/PulseTestSupport.h"
#include "store/StoreContext.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTabBar>

WindowHarness::WindowHarness()
    : settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr)
    , store(*Store::openInMemory())
{
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

NoSoundSources::NoSoundSources()
{
    const QString modules =
        pulseTest::pactl({ QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("modules") })
            .value_or(QString());
    for (const QString& line : modules.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(u'\t');
        if (fields.size() >= 3 && fields[1] == u"module-null-sink"
            && pulseTest::pactl({ QStringLiteral("unload-module"), fields[0] })) {
            m_unloaded << fields[2];
        }
    }
}

NoSoundSources::~NoSoundSources()
{
    for (const QString& arguments : std::as_const(m_unloaded)) {
        pulseTest::pactl(QStringList { QStringLiteral("load-module"), QStringLiteral("module-null-sink") }
            + arguments.split(u' ', Qt::SkipEmptyParts));
    }
    pulseTest::pactl({ QStringLiteral("set-default-sink"), QStringLiteral("callout") });
    pulseTest::pactl({ QStringLiteral("set-default-source"), QStringLiteral("micfeed.monitor") });
}

bool NoSoundSources::removedAll() const
{
    const std::optional<QString> sources =
        pulseTest::pactl({ QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sources") });
    return !m_unloaded.isEmpty() && sources && sources->trimmed().isEmpty();
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
        // Only what is shown is read out; Qt's own parts (tab scrollers, headers, a combo box's popup, a field's clear
        // button) are named by Qt.
        if (!control || !widget->isVisibleTo(window) || widget->window() != window
            || qobject_cast<QTabBar*>(widget->parent()) || widget->inherits("QHeaderView")
            || widget->inherits("QLineEditIconButton") || widget->inherits("QComboBoxListView")) {
            continue;
        }
        // A control is read out by its tooltip, or by the text it shows (a button with a label of its own).
        const QString name = accessibleName(widget);
        const auto* button = qobject_cast<QAbstractButton*>(widget);
        QString text = button ? button->text() : QString();
        text.replace(QStringLiteral("&&"), QStringLiteral("\u0001")).remove(u'&').replace(u'\u0001', u'&');
        const bool named = !name.isEmpty()
            && (name == widget->toolTip() || name == text || (widget->toolTip().isEmpty() && text.isEmpty()));
        if (!named) {
            unnamed.append(QString::fromLatin1(widget->metaObject()->className()) + u' ' + widget->objectName()
                + QStringLiteral(" '") + name + u'\'');
        }
    }
    return unnamed;
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
