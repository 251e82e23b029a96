#include "app/bus/BusActions.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QLoggingCategory>
#include <QPointer>

#include <cstdio>

namespace {

Q_LOGGING_CATEGORY(lcBus, "Vessaro.Quillora.bus")

const QString serviceName = QStringLiteral("Vessaro.Quillora");
const QString objectPath = QStringLiteral("/Vessaro/Quillora");
const QString interfaceName = QStringLiteral("Vessaro.Quillora");
constexpr int callTimeoutMs = 5000;

struct Method {
    BusCommand command;
    const char16_t* name;
};
constexpr Method methods[] = {
    { BusCommand::toggleListening, u"ToggleListening" },
    { BusCommand::suggestNow, u"SuggestNow" },
    { BusCommand::activate, u"Activate" },
};

QString methodName(BusCommand command)
{
    for (const Method& method : methods) {
        if (method.command == command) {
            return QString::fromUtf16(method.name);
        }
    }
    return {};
}

std::optional<BusCommand> commandNamed(const QString& name)
{
    for (const Method& method : methods) {
        if (name == QStringView(method.name)) {
            return method.command;
        }
    }
    return std::nullopt;
}

QDBusMessage callMethod(const QDBusConnection& bus, BusCommand command)
{
    QDBusMessage message = QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName, methodName(command));
    message.setAutoStartService(false);
    // The event loop runs while waiting, so an object of this very process can answer too.
    return bus.call(message, QDBus::BlockWithGui, callTimeoutMs);
}

bool hasNoOwner(const QDBusMessage& reply)
{
    return reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown")
        || reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner")
        || reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.Disconnected");
}

} // namespace

namespace busActions {

std::optional<BusCommand> commandForSwitch(std::string_view argument)
{
    if (argument == "--toggle-listening") {
        return BusCommand::toggleListening;
    }
    if (argument == "--suggest-now") {
        return BusCommand::suggestNow;
    }
    return std::nullopt;
}

Result<void> call(const QDBusConnection& bus, BusCommand command)
{
    const QDBusMessage reply = callMethod(bus, command);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return {};
    }
    if (hasNoOwner(reply)) {
        return fail(QStringLiteral("Quillora is not running."));
    }
    return fail(QStringLiteral("Quillora did not answer: %1").arg(reply.errorMessage()));
}

} // namespace busActions

// The object at /Vessaro/Quillora. Calls arrive on the main thread (the object's thread); each
// is answered at once and handed to the owner's signal from the event loop.
class BusActions::Exported : public QDBusVirtualObject {
public:
    explicit Exported(BusActions& owner)
        : m_owner(&owner)
    {
    }

    QString introspect(const QString&) const override
    {
        return QStringLiteral("  <interface name=\"Vessaro.Quillora\">\n"
                              "    <method name=\"ToggleListening\"/>\n"
                              "    <method name=\"SuggestNow\"/>\n"
                              "    <method name=\"Activate\"/>\n"
                              "    <signal name=\"storeChanged\"/>\n"
                              "  </interface>\n");
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.type() != QDBusMessage::MethodCallMessage) {
            return false;
        }
        const auto command = message.interface().isEmpty() || message.interface() == interfaceName
            ? commandNamed(message.member())
            : std::nullopt;
        if (!command) {
            connection.send(message.createErrorReply(QDBusError::UnknownMethod,
                QStringLiteral("No method %1.%2 here").arg(message.interface(), message.member())));
            return true;
        }
        if (!message.arguments().isEmpty()) {
            connection.send(message.createErrorReply(
                QDBusError::InvalidArgs, QStringLiteral("%1 takes no arguments").arg(message.member())));
            return true;
        }
        connection.send(message.createReply());
        QMetaObject::invokeMethod(
            m_owner, [owner = m_owner, command = *command] { emitFor(owner, command); }, Qt::QueuedConnection);
        return true;
    }

private:
    static void emitFor(const QPointer<BusActions>& owner, BusCommand command)
    {
        if (!owner) {
            return;
        }
        switch (command) {
        case BusCommand::toggleListening: Q_EMIT owner->toggleListeningRequested(); return;
        case BusCommand::suggestNow: Q_EMIT owner->suggestNowRequested(); return;
        case BusCommand::activate: Q_EMIT owner->activateRequested(); return;
        }
    }

    QPointer<BusActions> m_owner;
};

BusActions::BusActions(QObject* parent)
    : BusActions(QDBusConnection::sessionBus(), parent)
{
}

BusActions::BusActions(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_exported(std::make_unique<Exported>(*this))
{
}

BusActions::~BusActions()
{
    unexport();
}

void BusActions::unexport()
{
    if (m_ownsName) {
        m_bus.interface()->unregisterService(serviceName);
        m_ownsName = false;
    }
    if (m_isExported) {
        m_bus.unregisterObject(objectPath);
        m_isExported = false;
    }
}

Result<InstanceClaim> BusActions::claim()
{
    if (!m_bus.isConnected()) {
        qCInfo(lcBus, "No session bus: running without the one-instance check and the bus methods");
        return InstanceClaim::unclaimed;
    }
    // The object first, so the methods answer as soon as the name is visible.
    m_isExported = m_isExported || m_bus.registerVirtualObject(objectPath, m_exported.get());
    if (!m_isExported) {
        qCWarning(
            lcBus, "Could not export %s: %s", qUtf8Printable(objectPath), qUtf8Printable(m_bus.lastError().message()));
    }
    // A second try covers the other instance ending between the refusal and the call.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = m_bus.interface()->registerService(
            serviceName, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
        if (!reply.isValid()) {
            qCWarning(lcBus, "The session bus refused the name %s: %s", qUtf8Printable(serviceName),
                qUtf8Printable(reply.error().message()));
            unexport();
            return InstanceClaim::unclaimed;
        }
        if (reply.value() == QDBusConnectionInterface::ServiceRegistered) {
            m_ownsName = true;
            return InstanceClaim::owner;
        }
        const QDBusMessage activated = callMethod(m_bus, BusCommand::activate);
        if (activated.type() == QDBusMessage::ReplyMessage) {
            unexport();
            return InstanceClaim::otherInstance;
        }
        if (!hasNoOwner(activated)) {
            unexport();
            return fail(
                QStringLiteral("Another Quillora is running but did not answer: %1").arg(activated.errorMessage()));
        }
    }
    qCWarning(lcBus, "The name %s changes hands too quickly to claim", qUtf8Printable(serviceName));
    unexport();
    return InstanceClaim::unclaimed;
}

int runBusCommand(int argc, char** argv, BusCommand command)
{
    QCoreApplication app(argc, argv);
    // QtDBus reports a failed call with a queued signal carrying these two types; unless they
    // are registered by name before the connection is made, it warns on standard error.
    qRegisterMetaType<QDBusError>();
    qRegisterMetaType<QDBusMessage>();
    const auto result = busActions::call(QDBusConnection::sessionBus(), command);
    if (!result) {
        std::fprintf(stderr, "quillora: %s\n", qUtf8Printable(result.error().message));
        return 1;
    }
    return 0;
}
