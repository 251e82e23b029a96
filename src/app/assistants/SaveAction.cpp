#include "app/assistants/SaveAction.h"

#include "common/Clock.h"
#include "common/Log.h"
#include "store/StoreHolder.h"

SaveAction::SaveAction(StoreHolder* holder, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_holder(holder)
    , m_pause(clock.createTimer(this, [this] { (void)save(); }))
{
}

SaveAction::~SaveAction() = default;

Result<void> SaveAction::save()
{
    m_pause->stop();
    if (!m_holder) {
        return {};
    }
    Result<void> saved = m_holder->context().save();
    show(saved);
    return saved;
}

void SaveAction::show(const Result<void>& saved)
{
    if (saved) {
        setError(std::nullopt);
    } else {
        qCCritical(lcAssistants, "Could not save: %s", qUtf8Printable(saved.error().message));
        setError(saved.error().message);
    }
}

void SaveAction::saveSoon()
{
    m_pause->start(typingPause);
}

void SaveAction::flush()
{
    if (m_pause->isActive()) {
        (void)save();
    }
}

bool SaveAction::isWaiting() const
{
    return m_pause->isActive();
}

void SaveAction::setError(std::optional<QString> error)
{
    if (error != m_error) {
        m_error = std::move(error);
        Q_EMIT errorChanged();
    }
}
