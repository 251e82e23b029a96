#include "settings/Keychain.h"

#include "common/LazyLibrary.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QtConcurrent/QtConcurrentRun>

#include <libsecret/secret.h>

#include <QStringDecoder>

namespace keychain {

namespace {

const SecretSchema* schema()
{
    // The schema name is not matched: items are found by their two attributes alone.
    static const SecretSchema value = {
        "Vessaro.Quillora",
        SECRET_SCHEMA_DONT_MATCH_NAME,
        {
            { "service", SECRET_SCHEMA_ATTRIBUTE_STRING },
            { "account", SECRET_SCHEMA_ATTRIBUTE_STRING },
            { nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING },
        },
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
    };
    return &value;
}

constexpr const char* service = "Vessaro.Quillora";

// libsecret, with GIO and libgcrypt behind it, is opened on the first read or save, on the keychain's worker
// thread: no key is needed before the first window shows.
LazyLibrary libsecret("libsecret-1.so.0");

// The item's two attributes, as libsecret's calls without variable arguments take them.
struct Attributes {
    explicit Attributes(const QByteArray& account)
        : table(g_hash_table_new(g_str_hash, g_str_equal))
    {
        g_hash_table_insert(table, const_cast<char*>("service"), const_cast<char*>(service));
        g_hash_table_insert(table, const_cast<char*>("account"), const_cast<char*>(account.constData()));
    }
    ~Attributes() { g_hash_table_unref(table); }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;

    GHashTable* table;
};

} // namespace

QString noKeyringText()
{
    return QCoreApplication::translate("Keychain",
        "No system keyring is running, so keys cannot be saved. Install and start one (GNOME Keyring "
        "from the package gnome-keyring, KWallet, or KeePassXC with its Secret Service integration), "
        "then save the key again.");
}

std::optional<QString> read(const QString& account)
{
    if (!libsecret.load()) {
        return std::nullopt;
    }
    const QByteArray accountUtf8 = account.toUtf8();
    const Attributes attributes(accountUtf8);
    GError* error = nullptr;
    gchar* secret = LAZY_CALL(libsecret, secret_password_lookupv_sync)(schema(), attributes.table, nullptr, &error);
    if (error != nullptr) {
        g_error_free(error);
        if (secret != nullptr) {
            LAZY_CALL(libsecret, secret_password_free)(secret);
        }
        return std::nullopt;
    }
    if (secret == nullptr) {
        return std::nullopt;
    }
    const QByteArray bytes(secret);
    LAZY_CALL(libsecret, secret_password_free)(secret);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString value = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return value;
}

Result<void> save(const QString& value, const QString& account)
{
    if (!libsecret.load()) {
        return fail(QCoreApplication::translate(
            "Keychain", "The system keyring library (libsecret) could not be loaded, so keys cannot be saved: %1")
                        .arg(libsecret.loadError()));
    }
    const QByteArray accountUtf8 = account.toUtf8();
    const Attributes attributes(accountUtf8);
    GError* error = nullptr;
    LAZY_CALL(libsecret, secret_password_clearv_sync)(schema(), attributes.table, nullptr, &error);
    if (error != nullptr) {
        g_error_free(error);
        error = nullptr;
    }
    if (value.isEmpty()) {
        return {};
    }
    const QByteArray valueUtf8 = value.toUtf8();
    const QByteArray label = QByteArrayLiteral("Vessaro.Quillora (") + accountUtf8 + ')';
    LAZY_CALL(libsecret, secret_password_storev_sync)
    (schema(), attributes.table, SECRET_COLLECTION_DEFAULT, label.constData(), valueUtf8.constData(), nullptr, &error);
    if (error != nullptr) {
        // Without a keyring daemon on the session bus every save fails the same way; the user
        // needs to know what to start rather than the bus's wording.
        const GQuark bus = LAZY_CALL(libsecret, g_dbus_error_quark)();
        const bool noService = g_error_matches(error, bus, G_DBUS_ERROR_SERVICE_UNKNOWN)
            || g_error_matches(error, bus, G_DBUS_ERROR_NAME_HAS_NO_OWNER);
        const QString reason = QString::fromUtf8(error->message);
        g_error_free(error);
        if (noService) {
            return fail(noKeyringText());
        }
        return fail(QCoreApplication::translate("Keychain", "The key could not be saved in the system keyring: %1")
                        .arg(reason));
    }
    return {};
}

} // namespace keychain

Keychain::Keychain(QObject* parent)
    : QObject(parent)
{
    m_worker.setMaxThreadCount(1);
    m_worker.setObjectName(QStringLiteral("Quillora.Keychain"));
}

Keychain::~Keychain()
{
    // A lookup still waiting on the service finishes (or times out) before the pool goes.
    m_worker.waitForDone();
}

namespace {

// g++ 12 destroys a coroutine's by-value parameter twice when a lambda in its body captures it and
// the caller passed a temporary; so the work is handed to the worker outside any coroutine, and
// only the future is awaited.
template <typename T> QCoro::Task<T> resultOf(QFuture<T> future)
{
    // Awaited into a local first: g++ 12 mishandles `co_return co_await`.
    T result = co_await future;
    co_return result;
}

} // namespace

QCoro::Task<std::optional<QString>> Keychain::read(QString account)
{
    return resultOf(QtConcurrent::run(&m_worker, [account] { return keychain::read(account); }));
}

QCoro::Task<Result<void>> Keychain::save(QString value, QString account)
{
    return resultOf(QtConcurrent::run(&m_worker, [value, account] { return keychain::save(value, account); }));
}
