#pragma once

#include "audio/AudioBuffer.h"
#include "common/Error.h"

#include <QCoroTask>
#include <QObject>

// One speaker's transcription engine (the on-device recogniser or the cloud transcriber), owned on
// the main thread. Audio goes in from one capture thread; in-progress and final text and errors
// come back as signals on the owner's thread, in the order the engine produced them.
class SpeechEngine : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Gets the engine ready: loads the model, or starts opening the connection (whose failure
    // shows later through `errorReported`). The error is the user's message.
    virtual QCoro::Task<Result<void>> start() = 0;
    // Called on one capture thread with a buffer that is valid only during the call; returns at
    // once. Audio that cannot be used (no frames, the engine far behind) is dropped.
    virtual void feed(const AudioBufferView& buffer) = 0;
    // Flushes what was fed, reports its final text and closes; call once. Completes after the
    // last report.
    virtual QCoro::Task<> finish() = 0;

Q_SIGNALS:
    void textReported(const QString& text, bool isFinal);
    void errorReported(const QString& message);
};
