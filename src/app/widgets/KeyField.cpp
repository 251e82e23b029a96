#include "app/widgets/KeyField.h"

#include "settings/Keychain.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QLabel>

namespace {

const QString secretServiceName = QStringLiteral("org.freedesktop.secrets");

} // namespace

bool secretServiceAvailable()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusConnectionInterface* names = bus.interface();
    if (names->isServiceRegistered(secretServiceName)) {
        return true;
    }
    const QDBusReply<QStringList> activatable = names->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(secretServiceName);
}

KeyField::KeyField(Keychain& keychain, QLabel* status, QWidget* parent)
    : QLineEdit(parent)
    , m_keychain(&keychain)
    , m_status(status)
{
    setEchoMode(QLineEdit::Password);
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText);
    m_status->hide();
    connect(this, &QLineEdit::textEdited, this, [this] { m_edited = true; });
}

void KeyField::load(const QString& account)
{
    m_account = account;
    ++m_generation;
    m_edited = false;
    clear();
    if (secretServiceAvailable()) {
        m_status->hide();
    } else {
        showStatus(keychain::noKeyringText(), true);
    }
    readKey(m_generation);
}

QCoro::Task<> KeyField::readKey(quint64 generation)
{
    const QPointer<KeyField> self(this);
    if (!m_keychain) {
        co_return;
    }
    const std::optional<QString> key = co_await m_keychain->read(m_account);
    if (!self || generation != m_generation) {
        co_return;
    }
    if (!m_edited) {
        setText(key.value_or(QString()));
    }
    Q_EMIT loaded();
}

void KeyField::save()
{
    if (!m_edited || !m_keychain) {
        Q_EMIT saveFinished(false);
        return;
    }
    writeKey(m_generation);
}

QCoro::Task<> KeyField::writeKey(quint64 generation)
{
    const QPointer<KeyField> self(this);
    const QString value = text();
    const Result<void> saved = co_await m_keychain->save(value, m_account);
    if (!self) {
        co_return;
    }
    if (generation == m_generation) {
        if (saved) {
            // Typing after this save began makes another save needed.
            m_edited = text() != value;
            showStatus(value.isEmpty() ? tr("Key removed.") : tr("Key saved."), false);
            Q_EMIT keyStored();
        } else {
            showStatus(saved.error().message, true);
        }
    }
    Q_EMIT saveFinished(true);
}

void KeyField::showStatus(const QString& text, bool isError)
{
    if (!m_status) {
        return;
    }
    QPalette colours = palette();
    if (isError) {
        colours.setColor(QPalette::WindowText, QColor(200, 40, 40));
    }
    m_status->setPalette(colours);
    m_status->setText(text);
    m_status->setAccessibleName(text);
    m_status->show();
}
