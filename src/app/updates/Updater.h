#pragma once

#include "app/updates/Appcast.h"
#include "common/Error.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class Settings;

// The outcome of one check: the newest release that is newer than the running app, nothing when the
// app is up to date, or the failure with the user's text.
using UpdateCheckResult = Result<std::optional<AppcastItem>>;

// Tells whether a newer Quillora is listed in the update feed at "updateFeedURL" (set in the settings
// window; none by default, when the system's package manager is the only source of updates). It only
// reads the feed: the package manager installs the update. It checks on request and never by itself,
// so nothing goes over the network unless the user asks.
class Updater : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheck READ canCheck NOTIFY canCheckChanged)

public:
    static constexpr qint64 maxFeedBytes = 4 * 1024 * 1024;
    static constexpr int transferTimeoutMs = 20000;

    // `currentVersion` is the running app's version when empty.
    Updater(Settings& settings, QObject* parent, QString currentVersion = {});
    ~Updater() override;

    // False while a check is running.
    bool canCheck() const { return m_canCheck; }
    // "updateFeedURL" is set: there is a feed to check.
    bool hasFeed() const;
    bool isChecking() const;
    const QString& currentVersion() const { return m_currentVersion; }

    // Reads the feed and reports through checkFinished; does nothing while it cannot check or has no
    // feed.
    void checkForUpdates();

Q_SIGNALS:
    void canCheckChanged(bool canCheck);
    void checkFinished(const UpdateCheckResult& result);

private:
    void replyFinished(QNetworkReply* reply);
    void finish(const UpdateCheckResult& result);
    void showCanCheck();

    QPointer<Settings> m_settings;
    const QString m_currentVersion;
    // Made at the first check, so that start-up does not load the network stack.
    QNetworkAccessManager* m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    bool m_tooLarge = false;
    bool m_canCheck = false;
};
