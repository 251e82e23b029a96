#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

class QNetworkAccessManager;

// The models a local OpenAI-compatible server lists: the on-device model counts as available when
// `GET <localModelURL>/models` answers 200 with at least one model within the time.
namespace localModels {

using Listed = std::function<void(const QStringList& models)>;

// Asks the server at `baseURL` for its models. `done` is called once, on `context`'s thread, with the
// listed identifiers in order; empty when the server did not answer 200 with a model list within
// `timeout`. Nothing is called once `context` is gone.
void list(QNetworkAccessManager& network, const QString& baseURL, std::chrono::milliseconds timeout,
    const QObject* context, Listed done);

} // namespace localModels
