#include "app/guide/GuideRun.h"

GuideRun::GuideRun(QObject* parent)
    : QObject(parent)
{
    // The microphone and the system audio are probed side by side.
    m_probes.setMaxThreadCount(2);
    m_probes.setObjectName(QStringLiteral("Quillora.SoundCheck"));
}

GuideRun::~GuideRun()
{
    m_stop.request_stop();
    m_probes.waitForDone();
}

quint64 GuideRun::started()
{
    ++m_running;
    return m_showing;
}

void GuideRun::finished(quint64 token)
{
    if (isCurrent(token) && m_running > 0 && --m_running == 0) {
        Q_EMIT settled();
    }
}

void GuideRun::close()
{
    m_stop.request_stop();
    m_stop = std::stop_source();
    ++m_showing;
    m_running = 0;
}
