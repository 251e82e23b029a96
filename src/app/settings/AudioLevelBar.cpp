#include "app/settings/AudioLevelBar.h"

#include "app/widgets/WaveformBar.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

AudioLevelBar::AudioLevelBar(const QString& title, const QColor& color, QWidget* parent)
    : QWidget(parent)
    , m_percent(new QLabel(this))
    , m_track(new WaveformBar(color, this, 4))
{
    m_percent->setObjectName(QStringLiteral("percent"));
    auto* caption = new QLabel(title, this);
    QFont captionFont = caption->font();
    captionFont.setPointSizeF(captionFont.pointSizeF() * 0.85);
    captionFont.setBold(true);
    caption->setFont(captionFont);

    QFont percentFont = m_percent->font();
    percentFont.setPointSizeF(percentFont.pointSizeF() * 0.85);
    m_percent->setFont(percentFont);
    // The widest text keeps the column still as the digits change.
    m_percent->setMinimumWidth(QFontMetrics(percentFont).horizontalAdvance(QStringLiteral("100%")));
    m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_percent->setText(percentText(0));

    m_track->setFixedHeight(trackHeight);
    m_track->setAccessibleName(title);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->addWidget(caption);
    header->addStretch(1);
    header->addWidget(m_percent);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addLayout(header);
    layout->addWidget(m_track);
    setAccessibleName(title);
}

void AudioLevelBar::setLevel(float level)
{
    const float clamped = std::clamp(level, 0.0F, 1.0F);
    m_track->setLevel(clamped);
    m_percent->setText(percentText(clamped));
    m_track->setAccessibleDescription(m_percent->text());
}

float AudioLevelBar::level() const
{
    return m_track->level();
}

QString AudioLevelBar::percentText(float level)
{
    const float percent = level * 100.0F;
    return QString::number(static_cast<int>(percent)) + u'%';
}
