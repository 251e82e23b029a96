#pragma once

#include "store/Store.h"
#include "store/StoreContext.h"

#include <QObject>

#include <functional>
#include <memory>

class Clock;
class ClockTimer;

// The app-wide owner of the open store, on the main thread. When another process says it
// wrote (externalWrite), the holder saves this process's pending edits and reopens the store
// 0.3 s after the last such notice; `generation` then grows. Views follow the store through the
// one `changed` signal, which covers both saves through this process's contexts and reopens, and
// ask for `context()` afresh when they need records.
class StoreHolder : public QObject {
    Q_OBJECT

public:
    using Opener = std::function<Result<std::shared_ptr<Store>>()>;

    // `clock` times the reopen delay; the system clock when null.
    StoreHolder(
        std::shared_ptr<Store> container, bool isFallback, Opener reopen, QObject* parent, Clock* clock = nullptr);
    ~StoreHolder() override;

    const std::shared_ptr<Store>& container() const { return m_container; }
    // The main-thread context of the current container; replaced by every successful reopen.
    StoreContext& context() { return *m_context; }
    int generation() const { return m_generation; }
    bool isFallback() const { return m_isFallback; }
    bool isRefreshPending() const;

    static constexpr int debounceMs = 300;
    static constexpr int retryMs = 2000;
    static constexpr int maxAttempts = 3;

public Q_SLOTS:
    void externalWrite();

Q_SIGNALS:
    // Records may have changed: a context of this process saved, or the store was reopened.
    void changed();

private:
    void schedule(int attempt, int delayMs);
    void refresh(int attempt);
    void watchContainer();

    std::shared_ptr<Store> m_container;
    std::unique_ptr<StoreContext> m_context;
    const bool m_isFallback;
    Opener m_reopen;
    int m_generation = 0;
    int m_attempt = 1;
    std::unique_ptr<ClockTimer> m_pending;
    QMetaObject::Connection m_saved;
};
