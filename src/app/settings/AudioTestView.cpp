#include "app/settings/AudioTestView.h"

#include "app/settings/AudioLevelBar.h"
#include "app/widgets/AppStyle.h"
#include "app/widgets/SoundSettings.h"

#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

namespace {

// The test's own trace, on standard output as the terminal shows it.
void printLine(const QString& line)
{
    std::fputs(qUtf8Printable(line + u'\n'), stdout);
    std::fflush(stdout);
}

QFont headlineFont(const QWidget& widget)
{
    QFont font = widget.font();
    font.setPointSizeF(font.pointSizeF() * 1.1);
    font.setBold(true);
    return font;
}

QColor gray()
{
    return QColor(128, 128, 128);
}

// A button filled with its tint and labelled in white, bold, the same on every widget style. Painted
// here rather than through a style sheet, whose style engine costs the window's first opening more
// than all its other widgets together.
class TintedButton : public QPushButton {
public:
    explicit TintedButton(QWidget* parent)
        : QPushButton(parent)
    {
        QFont bold = font();
        bold.setBold(true);
        setFont(bold);
        setCursor(Qt::PointingHandCursor);
        setAttribute(Qt::WA_Hover);
    }

    void setTint(const QColor& tint)
    {
        m_tint = tint;
        update();
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(font());
        return QSize(metrics.horizontalAdvance(text()) + 32, metrics.height() + 12);
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(isDown() ? m_tint.darker(120) : underMouse() ? m_tint.lighter(108) : m_tint);
        painter.drawRoundedRect(QRectF(rect()), 6, 6);
        if (hasFocus()) {
            painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 5, 5);
        }
        painter.setPen(Qt::white);
        painter.drawText(rect(), Qt::AlignCenter, text());
    }

private:
    QColor m_tint;
};

} // namespace

AudioTestView::AudioTestView(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("audioTest"));
    setMinimumSize(400, 500);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(16);

    auto* title = new QLabel(tr("Audio Test"), this);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setAccessibleName(title->text());
    layout->addWidget(title);

    auto* bars = new QVBoxLayout;
    bars->setSpacing(8);
    m_micBar = new AudioLevelBar(tr("Mic"), appStyle::red(), this);
    m_micBar->setObjectName(QStringLiteral("micLevel"));
    m_systemBar = new AudioLevelBar(tr("System"), appStyle::blue(), this);
    m_systemBar->setObjectName(QStringLiteral("systemLevel"));
    bars->addWidget(m_micBar);
    bars->addWidget(m_systemBar);
    layout->addLayout(bars);
    connect(&m_audioService, &AudioCaptureService::micLevelChanged, m_micBar, &AudioLevelBar::setLevel);
    connect(&m_audioService, &AudioCaptureService::systemLevelChanged, m_systemBar, &AudioLevelBar::setLevel);
    connect(&m_audioService, &AudioCaptureService::captureFailed, this, &AudioTestView::captureEnded);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setFont(headlineFont(*this));
    layout->addWidget(m_status);

    auto* instructions = new QFrame(this);
    instructions->setObjectName(QStringLiteral("instructions"));
    instructions->setAutoFillBackground(true);
    QPalette boxPalette = instructions->palette();
    QColor boxColor = QColor(Qt::lightGray);
    boxColor.setAlphaF(0.1F);
    boxPalette.setColor(QPalette::Window, boxColor);
    instructions->setPalette(boxPalette);
    auto* steps = new QVBoxLayout(instructions);
    steps->setSpacing(8);
    auto* heading = new QLabel(tr("Instructions:"), instructions);
    heading->setFont(headlineFont(*this));
    steps->addWidget(heading);
    const QString lines[] = {
        tr("• Click 'Start Test' below"),
        tr("• Check that the microphone is not muted in your sound settings"),
        tr("• Speak into your microphone"),
        tr("• Watch the red bar move"),
    };
    QStringList spoken;
    for (const QString& line : lines) {
        auto* label = new QLabel(line, instructions);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        steps->addWidget(label);
        spoken << line;
    }
    instructions->setAccessibleName(heading->text());
    instructions->setAccessibleDescription(spoken.join(u'\n'));
    layout->addWidget(instructions);

    m_toggle = new TintedButton(this);
    m_toggle->setObjectName(QStringLiteral("toggle"));
    connect(m_toggle, &QPushButton::clicked, this, &AudioTestView::toggleRecording);
    layout->addWidget(m_toggle);

    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("error"));
    m_error->setTextFormat(Qt::PlainText);
    m_error->setWordWrap(true);
    QFont errorFont = m_error->font();
    errorFont.setPointSizeF(errorFont.pointSizeF() * 0.85);
    m_error->setFont(errorFont);
    appStyle::setTextColor(*m_error, appStyle::red());
    layout->addWidget(m_error);
    layout->addStretch(1);

    showState();
}

AudioTestView::~AudioTestView() = default;

QMessageBox* AudioTestView::alert() const
{
    return m_alert;
}

void AudioTestView::toggleRecording()
{
    printLine(QStringLiteral("🔘 [AudioTest] Toggle recording button clicked. Current state: ")
        + (m_isRecording ? QStringLiteral("true") : QStringLiteral("false")));
    if (m_isRecording) {
        stop();
    } else {
        start();
    }
}

void AudioTestView::start()
{
    printLine(QStringLiteral("▶️ [AudioTest] Starting recording..."));
    const Result<void> started = m_audioService.startMicrophone();
    if (!started) {
        printLine(QStringLiteral("❌ [AudioTest] Failed to start recording: ") + started.error().message);
        m_errorMessage = tr("Failed to start: %1").arg(started.error().message);
        showState();
        showAlert();
        Q_EMIT stateChanged();
        return;
    }
    m_isRecording = true;
    m_errorMessage.reset();
    printLine(QStringLiteral("✅ [AudioTest] Recording started successfully"));
    showState();
    Q_EMIT stateChanged();
}

void AudioTestView::stop()
{
    printLine(QStringLiteral("⏹️ [AudioTest] Stopping recording..."));
    m_audioService.stop();
    m_isRecording = false;
    printLine(QStringLiteral("✅ [AudioTest] Recording stopped"));
    showState();
    Q_EMIT stateChanged();
}

void AudioTestView::captureEnded(const QString& message)
{
    // The microphone went away under a running test; staying "Recording..." would claim a test that
    // no longer hears anything.
    if (!m_isRecording) {
        return;
    }
    stop();
    m_errorMessage = message;
    showState();
    Q_EMIT stateChanged();
}

void AudioTestView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (m_isRecording) {
        stop();
    }
}

void AudioTestView::showState()
{
    m_status->setText(m_isRecording ? tr("Recording...") : tr("Stopped"));
    appStyle::setTextColor(*m_status, m_isRecording ? appStyle::green() : gray());

    m_toggle->setText(m_isRecording ? tr("Stop Test") : tr("Start Test"));
    m_toggle->setAccessibleName(m_toggle->text());
    static_cast<TintedButton*>(m_toggle)->setTint(m_isRecording ? appStyle::red() : appStyle::green());

    m_error->setText(m_errorMessage.value_or(QString()));
    m_error->setVisible(m_errorMessage.has_value());
    m_error->setAccessibleName(m_error->text());
}

void AudioTestView::showAlert()
{
    if (m_alert) {
        m_alert->close();
    }
    auto* alert = new QMessageBox(
        QMessageBox::Warning, tr("Quillora"), tr("Microphone Not Available"), QMessageBox::NoButton, this);
    alert->setObjectName(QStringLiteral("microphoneAlert"));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setInformativeText(
        tr("Check that a microphone is connected and not muted in your sound settings.\n\nThen try again."));
    QPushButton* open = alert->addButton(tr("Open Sound Settings"), QMessageBox::AcceptRole);
    QPushButton* cancel = alert->addButton(tr("Cancel"), QMessageBox::RejectRole);
    alert->setDefaultButton(open);
    alert->setEscapeButton(cancel);
    connect(open, &QPushButton::clicked, this, [this] {
        const Result<void> opened = soundSettings::open();
        if (!opened) {
            // The start failure stays; the reason the settings did not open goes under it.
            m_errorMessage = m_errorMessage.value_or(QString()) + u'\n' + opened.error().message;
            showState();
        }
    });
    m_alert = alert;
    // Opened without a nested event loop, so the window keeps running while the alert is up.
    alert->open();
}
