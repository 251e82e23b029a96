#include "llm/LocalModels.h"

#include "llm/ProviderProtocol.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace localModels {

namespace {

// A longer answer than this never completes and the listing times out.
constexpr qint64 listCapBytes = 1024 * 1024;

} // namespace

void list(QNetworkAccessManager& network, const QString& baseURL, std::chrono::milliseconds timeout,
    const QObject* context, Listed done)
{
    QString base = baseURL;
    while (base.endsWith(u'/')) {
        base.chop(1);
    }
    QNetworkReply* reply = network.get(QNetworkRequest(QUrl(base + QStringLiteral("/models"))));
    reply->setReadBufferSize(listCapBytes);
    // Called at most once: by the answer or by the time limit, whichever comes first.
    auto pending = std::make_shared<Listed>(std::move(done));
    const QPointer<const QObject> watched(context);
    const auto finish = [reply, pending, watched](const QStringList& models) {
        reply->disconnect();
        reply->abort();
        reply->deleteLater();
        if (*pending && watched) {
            const Listed callback = std::exchange(*pending, {});
            callback(models);
        }
    };
    QTimer::singleShot(timeout, reply, [finish] { finish({}); });
    QObject::connect(reply, &QNetworkReply::finished, context, [reply, finish] {
        const bool answered = reply->error() == QNetworkReply::NoError
            && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
        finish(answered ? openAIProtocol::modelIds(reply->readAll()) : QStringList());
    });
}

} // namespace localModels
