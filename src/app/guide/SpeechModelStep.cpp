#include "app/guide/SpeechModelStep.h"

#include "settings/Settings.h"

#include <QLocale>

SpeechModelStep::SpeechModelStep(Settings& settings, QWidget* parent)
    : StepRow({ tr("Speech model"), QString(), tr("Check again"), tr("Installed") }, parent)
    , m_settings(&settings)
{
    setObjectName(QStringLiteral("speechModel"));
    connect(this, &StepRow::allowRequested, this, &SpeechModelStep::refresh);
    reset();
}

void SpeechModelStep::refresh()
{
    if (state().kind == StepState::Kind::working) {
        return;
    }
    const QString locale = m_settings->speechLocale();
    const QString system = QLocale::system().name();
    setWhy(onboarding::speechModelLine(locale, system));
    setState(onboarding::speechModelState(locale, system));
}

void SpeechModelStep::reset()
{
    setState(StepState::pending());
    setWhy(onboarding::speechModelLine(m_settings->speechLocale(), QLocale::system().name()));
}
