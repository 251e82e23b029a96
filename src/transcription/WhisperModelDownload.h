#pragma once

#include "common/Error.h"
#include "transcription/WhisperModels.h"

#include <QCoroTask>
#include <QFile>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>

class QNetworkAccessManager;

// Downloads one Whisper model into the models' folder. The bytes go to "<file>.part" beside the
// final file, so an interrupted or cancelled download resumes where it stopped (an HTTP range
// request); the finished file is checked (its size, its checksum, and its header and tensors as the
// loader will read them) before it is renamed into place, and deleted when it is wrong. Progress
// and the outcome are signals on the main thread; at most one download runs per object.
class WhisperModelDownload : public QObject {
    Q_OBJECT

public:
    WhisperModelDownload(QNetworkAccessManager& network, QObject* parent = nullptr);
    ~WhisperModelDownload() override;

    bool isRunning() const { return m_reply != nullptr || m_verifying; }
    const WhisperModelEntry& entry() const { return m_entry; }

    // Starts fetching `entry`; a download already running is cancelled first.
    void start(const WhisperModelEntry& entry);
    // Stops the transfer and keeps what arrived for the next start. Reports `failed` with the
    // cancel message.
    void cancel();

    // The list at `url` (the built-in list when empty); the error is the user's message.
    static QCoro::Task<Result<QList<WhisperModelEntry>>> fetchList(QNetworkAccessManager& network, QString url);

    static QString cancelledMessage();

Q_SIGNALS:
    // `received` of the entry's `bytes`, counting a resumed part.
    void progress(qint64 received, qint64 total);
    // The model is installed at `path`.
    void finished(const QString& path);
    void failed(const QString& message);

private:
    void receive();
    void transferEnded();
    void stopWith(const QString& message, bool keepPart);
    void verify();
    QString partPath() const;

    QNetworkAccessManager& m_network;
    WhisperModelEntry m_entry;
    QPointer<QNetworkReply> m_reply;
    QFile m_part;
    qint64 m_received = 0;
    bool m_checkedStatus = false;
    bool m_verifying = false;
};
