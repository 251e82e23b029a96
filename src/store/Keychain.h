#pragma once

#include <QString>

#include <optional>

// API keys in the Secret Service (GNOME Keyring, KWallet, KeePassXC) through libsecret:
// items with the attributes service "Vessaro.Quillora" and account = the provider's raw text
// ("claude", "openai"). A key's text never goes anywhere else.
namespace keychain {

// The key, or nothing when there is none or anything fails (no service, locked, not UTF-8).
std::optional<QString> read(const QString& account);

// Deletes every item of the account, then stores `value` unless it is empty. Failures are
// not reported: a later read simply finds no key.
void save(const QString& value, const QString& account);

} // namespace keychain
