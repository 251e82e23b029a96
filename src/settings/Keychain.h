#pragma once

#include "common/Error.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <optional>

// API keys in the Secret Service (GNOME Keyring, KWallet, KeePassXC) through libsecret:
// items with the attributes service "Vessaro.Quillora" and account = the provider's raw text
// ("claude", "openai"). A key's text never goes anywhere else.
namespace keychain {

// The key, or nothing when there is none or anything fails (no service, locked, not UTF-8).
// Blocks while the service answers: call it off the main thread (see Keychain below).
std::optional<QString> read(const QString& account);

// Deletes every item of the account, then stores `value` unless it is empty. A failed store
// comes back with the user's text; a failed delete is not a failure (there may be nothing).
// Blocks like `read`.
Result<void> save(const QString& value, const QString& account);

// What `save` reports when no Secret Service answers on the session bus.
QString noKeyringText();

} // namespace keychain

// The keychain as the app uses it: every lookup and save runs on a worker thread of its own
// (a locked keyring or a daemon that does not answer can take many seconds) and the result comes
// back to the caller's coroutine on the main thread. Requests run one at a time, in order, so a
// read after a save sees the saved key.
class Keychain : public QObject {
    Q_OBJECT

public:
    explicit Keychain(QObject* parent = nullptr);
    ~Keychain() override;

    QCoro::Task<std::optional<QString>> read(QString account);
    QCoro::Task<Result<void>> save(QString value, QString account);

private:
    QThreadPool m_worker;
};
