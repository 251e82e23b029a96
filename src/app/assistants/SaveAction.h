#pragma once

#include "common/Error.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class Clock;
class ClockTimer;
class StoreHolder;

// The assistants window's one way of saving: every edit of the window is made on the holder's
// main-thread context and then saved through here. A failed save keeps its description until the
// next save succeeds; the edits stay pending in the context, so they stay on screen and go into
// the next save. Typing is saved a short pause after it stops, so that a long text does not commit
// (and refresh the window) once a key.
class SaveAction : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds typingPause { 500 };

    SaveAction(StoreHolder* holder, Clock& clock, QObject* parent);
    ~SaveAction() override;

    // Saves now (an earlier save waiting for its pause included).
    Result<void> save();
    // Shows the result of a save made by another writer of the store (the outcome writer's) as this
    // action's own.
    void show(const Result<void>& saved);
    // Saves once typing has paused.
    void saveSoon();
    // Saves now if a save is waiting for its pause.
    void flush();
    bool isWaiting() const;

    const std::optional<QString>& error() const { return m_error; }

Q_SIGNALS:
    void errorChanged();

private:
    void setError(std::optional<QString> error);

    QPointer<StoreHolder> m_holder;
    std::unique_ptr<ClockTimer> m_pause;
    std::optional<QString> m_error;
};
