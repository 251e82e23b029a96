#include "transcription/WhisperModelDownload.h"

#include "common/Log.h"
#include "transcription/WhisperModelFile.h"

#include <QCoroNetworkReply>
#include <QCryptographicHash>
#include <QDir>
#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// A model list longer than this is not read.
constexpr qint64 listCapBytes = 1024 * 1024;

// Checks the finished part off the main thread: its size, its checksum, then its structure. The
// error is the user's message.
Result<void> checkPart(const QString& path, const WhisperModelEntry& entry)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(
            WhisperModelDownload::tr("Could not read the downloaded file %1: %2").arg(entry.file, file.errorString()));
    }
    if (file.size() != entry.bytes) {
        return fail(WhisperModelDownload::tr("The downloaded file %1 does not have the size the model list gives; it "
                                             "was deleted. Try again.")
                        .arg(entry.file));
    }
    const bool sha256 = !entry.sha256.isEmpty();
    QCryptographicHash hash(sha256 ? QCryptographicHash::Sha256 : QCryptographicHash::Sha1);
    if (!hash.addData(&file)) {
        return fail(
            WhisperModelDownload::tr("Could not read the downloaded file %1: %2").arg(entry.file, file.errorString()));
    }
    if (hash.result().toHex() != (sha256 ? entry.sha256 : entry.sha1)) {
        return fail(WhisperModelDownload::tr("The downloaded file %1 does not match its checksum; it was deleted. Try "
                                             "again.")
                        .arg(entry.file));
    }
    file.close();
    if (const auto checked = whisperModelFile::check(path, entry.file); !checked) {
        return std::unexpected(checked.error());
    }
    return {};
}

} // namespace

WhisperModelDownload::WhisperModelDownload(QNetworkAccessManager& network, QObject* parent)
    : QObject(parent)
    , m_network(network)
{
}

WhisperModelDownload::~WhisperModelDownload()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

QString WhisperModelDownload::cancelledMessage()
{
    return tr("The download was cancelled. Press Download to continue it.");
}

QString WhisperModelDownload::partPath() const
{
    return whisperModels::pathFor(m_entry.file + QStringLiteral(".part"));
}

void WhisperModelDownload::start(const WhisperModelEntry& entry)
{
    if (m_reply) {
        cancel();
    }
    m_entry = entry;
    m_checkedStatus = false;
    if (!QDir().mkpath(whisperModels::folder())) {
        Q_EMIT failed(tr("Could not create the folder %1.").arg(whisperModels::folder()));
        return;
    }
    m_part.setFileName(partPath());
    if (!m_part.open(QIODevice::ReadWrite)) {
        Q_EMIT failed(tr("Could not save the speech model %1: %2").arg(entry.file, m_part.errorString()));
        return;
    }
    m_received = m_part.size();
    if (m_received > entry.bytes) {
        m_part.resize(0);
        m_received = 0;
    }
    m_part.seek(m_received);
    if (m_received == entry.bytes) {
        // Everything arrived last time; only the checks are left.
        m_part.close();
        verify();
        return;
    }
    QNetworkRequest request(entry.url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    if (m_received > 0) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_received) + '-');
    }
    m_reply = m_network.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &WhisperModelDownload::receive);
    connect(m_reply, &QNetworkReply::finished, this, &WhisperModelDownload::transferEnded);
    Q_EMIT progress(m_received, entry.bytes);
}

void WhisperModelDownload::receive()
{
    if (!m_reply) {
        return;
    }
    if (!m_checkedStatus) {
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status != 200 && status != 206) {
            return; // reported when the transfer ends
        }
        m_checkedStatus = true;
        // A server that ignores the range sends the whole file again; one that honours it must
        // start exactly where the part ends.
        static const QRegularExpression range(QStringLiteral("^bytes (\\d+)-"));
        const auto match = range.match(QString::fromLatin1(m_reply->rawHeader("Content-Range")));
        if (status == 200 || !match.hasMatch() || match.captured(1).toLongLong() != m_received) {
            m_part.resize(0);
            m_part.seek(0);
            m_received = 0;
        }
    }
    const QByteArray bytes = m_reply->readAll();
    if (m_received + bytes.size() > m_entry.bytes) {
        m_part.resize(0);
        stopWith(tr("The server sent more than the %1 bytes the model list gives for %2; the download was deleted.")
                     .arg(m_entry.bytes)
                     .arg(m_entry.file),
            false);
        return;
    }
    if (m_part.write(bytes) != bytes.size() || !m_part.flush()) {
        // What was written stays, so that the download continues once there is room.
        stopWith(tr("Could not save the speech model %1: %2").arg(m_entry.file, m_part.errorString()), true);
        return;
    }
    m_received += bytes.size();
    Q_EMIT progress(m_received, m_entry.bytes);
}

void WhisperModelDownload::transferEnded()
{
    if (!m_reply) {
        return;
    }
    QNetworkReply* reply = m_reply;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    receive(); // what is still buffered
    if (!m_reply) {
        return; // receive() stopped it
    }
    m_reply = nullptr;
    reply->deleteLater();
    if (status != 200 && status != 206 && status != 0) {
        stopWith(tr("Could not download %1: the server answered with status %2.").arg(m_entry.file).arg(status), true);
        return;
    }
    // A transfer that had begun and broke off is resumed by the next start.
    if (reply->error() != QNetworkReply::NoError && !m_checkedStatus) {
        stopWith(tr("Could not download %1: %2").arg(m_entry.file, reply->errorString()), true);
        return;
    }
    if (m_received < m_entry.bytes) {
        stopWith(tr("The download of %1 ended early. Press Download to continue it.").arg(m_entry.file), true);
        return;
    }
    m_part.close();
    verify();
}

void WhisperModelDownload::verify()
{
    m_verifying = true;
    const QString part = partPath();
    const WhisperModelEntry entry = m_entry;
    // The watcher belongs to this object, so the outcome is dropped when the object is gone.
    auto* watcher = new QFutureWatcher<Result<void>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, part, entry] {
        watcher->deleteLater();
        m_verifying = false;
        const Result<void> checked = watcher->result();
        if (!checked) {
            QFile::remove(part);
            qCWarning(lcTranscription) << "Refused the downloaded speech model" << entry.file;
            Q_EMIT failed(checked.error().message);
            return;
        }
        const QString target = whisperModels::pathFor(entry.file);
        QFile::remove(target);
        if (!QFile::rename(part, target)) {
            Q_EMIT failed(tr("Could not save the speech model %1.").arg(entry.file));
            return;
        }
        Q_EMIT finished(target);
    });
    watcher->setFuture(QtConcurrent::run([part, entry] { return checkPart(part, entry); }));
}

void WhisperModelDownload::cancel()
{
    if (!m_reply) {
        return;
    }
    stopWith(cancelledMessage(), true);
}

void WhisperModelDownload::stopWith(const QString& message, bool keepPart)
{
    if (m_reply) {
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    const bool empty = m_part.size() == 0;
    m_part.close();
    if (!keepPart || empty) {
        QFile::remove(partPath());
    }
    qCInfo(lcTranscription) << "Speech model download of" << m_entry.file << "stopped:" << message;
    Q_EMIT failed(message);
}

QCoro::Task<Result<QList<WhisperModelEntry>>> WhisperModelDownload::fetchList(
    QNetworkAccessManager& network, QString url)
{
    if (url.trimmed().isEmpty()) {
        co_return whisperModels::builtInList();
    }
    QNetworkReply* reply = network.get(QNetworkRequest(QUrl(url.trimmed())));
    co_await qCoro(reply).waitForFinished();
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status != 200) {
        co_return fail(tr("Could not fetch the speech model list: %1").arg(reply->errorString()));
    }
    const QByteArray body = reply->read(listCapBytes + 1);
    if (body.size() > listCapBytes) {
        co_return fail(tr("The speech model list could not be read."));
    }
    co_return whisperModels::parseList(body);
}
