#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

// One reply as shown: every update of a streamed reply carries the same id.
struct Suggestion {
    QUuid id;
    QDateTime timestamp; // time of the latest update
    QString question; // the last finished line when the request was made
    QString response; // the whole reply so far, or an error message
    bool isError = false;
    // For an answer from the assistant's Q&A bank, shown at once when the other person asks one of its
    // questions: the item's question. Empty for a reply of the language model.
    QString preparedQuestion {};

    bool operator==(const Suggestion&) const = default;
};
