#include "app/callwindow/WaveformView.h"

#include "app/widgets/AppStyle.h"
#include "app/widgets/ColorDot.h"
#include "app/widgets/WaveformBar.h"
#include "audio/AudioCaptureService.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

WaveformView::WaveformView(AudioCaptureService* audio, Settings* settings, QWidget* parent)
    : Card(parent, 8)
    , m_settings(settings)
    , m_mic(new WaveformBar(appStyle::red(), this))
    , m_system(new WaveformBar(appStyle::blue(), this))
    , m_autoScroll(new QCheckBox(tr("Auto-scroll"), this))
{
    m_mic->setObjectName(QStringLiteral("micLevel"));
    m_system->setObjectName(QStringLiteral("systemLevel"));
    m_mic->setAccessibleName(tr("Mic"));
    m_system->setAccessibleName(tr("Sys"));
    rows()->addWidget(sourceRow(tr("Mic"), appStyle::red(), m_mic));
    rows()->addWidget(sourceRow(tr("Sys"), appStyle::blue(), m_system));

    m_autoScroll->setObjectName(QStringLiteral("autoScroll"));
    m_autoScroll->setFont(appStyle::font(*this, 11));
    m_autoScroll->setToolTip(tr("On: follow the newest line. Off: stay where you scrolled."));
    m_autoScroll->setAccessibleName(m_autoScroll->text());
    m_autoScroll->setAccessibleDescription(m_autoScroll->toolTip());
    rows()->addWidget(m_autoScroll);

    if (audio) {
        m_mic->setLevel(audio->micLevel());
        m_system->setLevel(audio->systemLevel());
        connect(audio, &AudioCaptureService::micLevelChanged, m_mic, &WaveformBar::setLevel);
        connect(audio, &AudioCaptureService::systemLevelChanged, m_system, &WaveformBar::setLevel);
    }
    if (m_settings) {
        m_autoScroll->setChecked(m_settings->autoScroll());
        connect(m_autoScroll, &QCheckBox::toggled, this, [this](bool on) {
            if (m_settings) {
                m_settings->setBoolean(SettingKey::autoScroll, on);
            }
        });
        connect(m_settings, &Settings::changed, this, [this](SettingKey key) {
            if (key == SettingKey::autoScroll) {
                const QSignalBlocker blocker(m_autoScroll);
                m_autoScroll->setChecked(m_settings->autoScroll());
            }
        });
    }
}

QWidget* WaveformView::sourceRow(const QString& caption, const QColor& color, WaveformBar* bar)
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(new ColorDot(color, 8, row));
    auto* label = new QLabel(caption, row);
    label->setFont(appStyle::font(*this, 11, QFont::Medium));
    appStyle::setTextColor(*label, color);
    // Both captions get one width so that the bars start together.
    const QFontMetrics metrics(label->font());
    label->setFixedWidth(std::max(metrics.horizontalAdvance(tr("Mic")), metrics.horizontalAdvance(tr("Sys"))) + 4);
    layout->addWidget(label);
    layout->addWidget(bar, 1, Qt::AlignVCenter);
    return row;
}
