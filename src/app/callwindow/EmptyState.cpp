#include "app/callwindow/EmptyState.h"

#include "app/widgets/AppIcons.h"
#include "app/widgets/AppStyle.h"

#include <QLabel>
#include <QVBoxLayout>

EmptyState::EmptyState(QWidget* parent)
    : QWidget(parent)
    , m_prompt(new QLabel(this))
    , m_hint(new QLabel(tr("From any app: Ctrl+Alt+Space starts or stops, Ctrl+Alt+Enter asks for a suggestion"), this))
{
    setObjectName(QStringLiteral("emptyState"));
    const QColor tertiary = appStyle::textColor(*this, appStyle::tertiaryOpacity);
    auto* symbol = new QLabel(this);
    symbol->setPixmap(appIcon(AppIcon::waveform, tertiary).pixmap(48, 48));
    symbol->setAlignment(Qt::AlignCenter);
    m_prompt->setObjectName(QStringLiteral("emptyPrompt"));
    m_prompt->setFont(appStyle::font(*this, 15));
    m_prompt->setAlignment(Qt::AlignCenter);
    m_prompt->setWordWrap(true);
    appStyle::setTextColor(*m_prompt, appStyle::textColor(*this, appStyle::secondaryOpacity));
    m_hint->setObjectName(QStringLiteral("emptyHint"));
    m_hint->setFont(appStyle::font(*this, 11));
    m_hint->setAlignment(Qt::AlignCenter);
    m_hint->setWordWrap(true);
    appStyle::setTextColor(*m_hint, tertiary);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 60, 0, 60);
    layout->setSpacing(10);
    layout->addWidget(symbol);
    layout->addWidget(m_prompt);
    layout->addWidget(m_hint);
    setListening(false);
}

void EmptyState::setListening(bool listening)
{
    m_prompt->setText(listening ? tr("Listening…") : tr("Press ▶ or Space to start"));
}
