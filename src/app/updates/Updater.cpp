#include "app/updates/Updater.h"

#include "common/Log.h"
#include "common/WebAddress.h"
#include "settings/Settings.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {

// What went wrong, in words a user can act on; Qt's own wording stays in the log.
QString failureText(QNetworkReply* reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 0 && (status < 200 || status > 299)) {
        return QCoreApplication::translate(
            "Updater", "The update server answered with an error (HTTP status %1). Try again later.")
            .arg(status);
    }
    if (reply->error() == QNetworkReply::SslHandshakeFailedError) {
        return QCoreApplication::translate("Updater", "Could not make a secure connection to the update server.");
    }
    return QCoreApplication::translate(
        "Updater", "Could not reach the update server. Check your internet connection and try again.");
}

} // namespace

Updater::Updater(Settings& settings, QObject* parent, QString currentVersion)
    : QObject(parent)
    , m_settings(&settings)
    , m_currentVersion(currentVersion.isEmpty() ? QCoreApplication::applicationVersion() : std::move(currentVersion))
{
    showCanCheck();
}

Updater::~Updater()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

bool Updater::hasFeed() const
{
    return m_settings && !m_settings->updateFeedURL().trimmed().isEmpty();
}

bool Updater::isChecking() const
{
    return !m_reply.isNull();
}

void Updater::checkForUpdates()
{
    showCanCheck();
    if (!m_canCheck || !hasFeed()) {
        return;
    }
    // The settings window stores only web addresses; the settings file may have been edited by hand.
    const QString address = m_settings->updateFeedURL().trimmed();
    const std::optional<QUrl> parsed = webAddress::parse(address);
    if (!parsed) {
        finish(fail(
            QCoreApplication::translate("Updater", "The update feed address is not a web address (http or https): %1")
                .arg(address)));
        return;
    }
    const QUrl& url = *parsed;
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Quillora/") + m_currentVersion);
    m_tooLarge = false;
    QNetworkReply* reply = m_network->get(request);
    m_reply = reply;
    qCInfo(lcUpdates) << "Checking for updates at" << url.toDisplayString();
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64 total) {
        // A feed is a few kilobytes; anything far larger is not one and is not read into memory.
        if (received > maxFeedBytes || total > maxFeedBytes) {
            m_tooLarge = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { replyFinished(reply); });
    showCanCheck();
}

void Updater::replyFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    if (reply != m_reply) {
        return;
    }
    if (m_tooLarge) {
        qCWarning(lcUpdates) << "The update feed is larger than" << maxFeedBytes << "bytes";
        finish(fail(QCoreApplication::translate(
            "Updater", "The update server did not send an update feed (the answer is far too large).")));
        return;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || (status != 0 && (status < 200 || status > 299))) {
        qCWarning(lcUpdates) << "Update check failed:" << reply->error() << status << reply->errorString();
        finish(fail(failureText(reply)));
        return;
    }
    const Result<QList<AppcastItem>> items = appcast::parse(reply->readAll());
    if (!items) {
        qCWarning(lcUpdates) << "Update feed unreadable:" << items.error().message;
        finish(std::unexpected(items.error()));
        return;
    }
    std::optional<AppcastItem> newer = appcast::newerThan(*items, m_currentVersion);
    qCInfo(lcUpdates) << "Update check done; newest listed:" << (newer ? newer->version : QStringLiteral("none newer"));
    finish(UpdateCheckResult(std::move(newer)));
}

void Updater::finish(const UpdateCheckResult& result)
{
    m_reply = nullptr;
    showCanCheck();
    Q_EMIT checkFinished(result);
}

void Updater::showCanCheck()
{
    const bool canCheck = !m_reply;
    if (canCheck != m_canCheck) {
        m_canCheck = canCheck;
        Q_EMIT canCheckChanged(canCheck);
    }
}
