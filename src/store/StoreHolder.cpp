#include "store/StoreHolder.h"

#include "common/Clock.h"
#include "common/Log.h"

StoreHolder::StoreHolder(
    std::shared_ptr<Store> container, bool isFallback, Opener reopen, QObject* parent, Clock* clock)
    : QObject(parent)
    , m_container(std::move(container))
    , m_context(m_container->newContext())
    , m_isFallback(isFallback)
    , m_reopen(std::move(reopen))
    , m_pending(Clock::orSystem(clock).createTimer(this, [this] { refresh(m_attempt); }))
{
    watchContainer();
}

StoreHolder::~StoreHolder() = default;

bool StoreHolder::isRefreshPending() const
{
    return m_pending->isActive();
}

void StoreHolder::watchContainer()
{
    disconnect(m_saved);
    m_saved = connect(m_container.get(), &Store::saved, this, &StoreHolder::changed);
}

void StoreHolder::externalWrite()
{
    if (m_isFallback) {
        qCInfo(lcAssistants, "External write ignored: running on the in-memory store");
        return;
    }
    schedule(1, debounceMs);
}

void StoreHolder::schedule(int attempt, int delayMs)
{
    // Restarting the one timer cancels the refresh that was waiting.
    m_attempt = attempt;
    m_pending->start(std::chrono::milliseconds(delayMs));
}

void StoreHolder::refresh(int attempt)
{
    if (m_context->hasChanges()) {
        if (auto saved = m_context->save(); !saved) {
            qCCritical(lcAssistants, "Save before refresh failed (attempt %d of 3): %s", attempt,
                qUtf8Printable(saved.error().message));
            if (attempt < maxAttempts) {
                schedule(attempt + 1, retryMs);
            }
            return;
        }
    }
    auto reopened = m_reopen();
    if (!reopened) {
        qCCritical(lcAssistants, "Reopening the store failed: %s", qUtf8Printable(reopened.error().message));
        return;
    }
    m_container = std::move(*reopened);
    m_context = m_container->newContext();
    watchContainer();
    ++m_generation;
    Q_EMIT changed();
}
