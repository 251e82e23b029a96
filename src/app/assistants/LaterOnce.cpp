#include "app/assistants/LaterOnce.h"

LaterOnce::LaterOnce(QObject* context, std::function<void()> action)
    : m_context(context)
    , m_action(std::move(action))
{
}

void LaterOnce::request()
{
    if (m_queued) {
        return;
    }
    m_queued = true;
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            m_queued = false;
            m_action();
        },
        Qt::QueuedConnection);
}
