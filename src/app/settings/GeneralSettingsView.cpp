#include "app/settings/GeneralSettingsView.h"

#include "app/widgets/KeyField.h"
#include "app/widgets/LoginToggle.h"
#include "common/Log.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QString openAIEngine = QStringLiteral("openai");
const QString onDeviceEngine = QStringLiteral("apple");

QLabel* makeNote(const QString& text, QWidget* parent)
{
    auto* note = new QLabel(text, parent);
    note->setWordWrap(true);
    note->setTextFormat(Qt::PlainText);
    QFont font = note->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    note->setFont(font);
    note->setForegroundRole(QPalette::PlaceholderText);
    return note;
}

} // namespace

GeneralSettingsView::GeneralSettingsView(
    Settings& settings, Keychain& keychain, QString autostartEntry, QString executable, QWidget* parent)
    : QWidget(parent)
    , m_settings(&settings)
{
    setObjectName(QStringLiteral("general"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeWindowSection(std::move(autostartEntry), std::move(executable)));
    layout->addWidget(makeTranscriptionSection(keychain));
    layout->addStretch(1);

    connect(m_settings, &Settings::changed, this, [this](SettingKey key) {
        if (key == SettingKey::windowOpacity || key == SettingKey::isAlwaysOnTop
            || key == SettingKey::transcriptionEngine) {
            showSettings();
        } else if (key == SettingKey::hideFromScreenShare) {
            showHideFromScreenShare();
        }
    });
    showSettings();
    m_openAIKey->load(QStringLiteral("openai"));
}

void GeneralSettingsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The guide or the user may have changed the autostart entry while the window was closed.
    m_openAtLogin->showStored();
}

QString GeneralSettingsView::percentText(double opacity)
{
    // The small allowance keeps 0.57 (stored as 0.56999…) from showing as 56.
    return QString::number(static_cast<int>(std::floor(opacity * 100 + 1e-9))) + u'%';
}

QWidget* GeneralSettingsView::makeWindowSection(QString autostartEntry, QString executable)
{
    auto* section = new QGroupBox(tr("Window Settings"), this);
    auto* form = new QFormLayout(section);

    m_opacity = new QSlider(Qt::Horizontal, section);
    m_opacity->setRange(static_cast<int>(0.3 * opacityScale), opacityScale);
    m_opacity->setSingleStep(opacityScale / 100);
    m_opacity->setPageStep(opacityScale / 10);
    m_opacity->setAccessibleName(tr("Glass opacity"));
    m_opacityText = new QLabel(section);
    m_opacityText->setFixedWidth(45);
    m_opacityText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* opacityRow = new QHBoxLayout;
    opacityRow->addWidget(m_opacity, 1);
    opacityRow->addWidget(m_opacityText);
    form->addRow(tr("Glass opacity"), opacityRow);
    connect(m_opacity, &QSlider::valueChanged, this,
        [this](int value) { m_settings->setNumber(SettingKey::windowOpacity, double(value) / opacityScale); });

    m_alwaysOnTop = new QCheckBox(tr("Always on Top"), section);
    m_alwaysOnTop->setAccessibleName(m_alwaysOnTop->text());
    form->addRow(m_alwaysOnTop);
    connect(m_alwaysOnTop, &QCheckBox::toggled, this,
        [this](bool on) { m_settings->setBoolean(SettingKey::isAlwaysOnTop, on); });

    m_openAtLogin = new LoginToggle(std::move(autostartEntry), std::move(executable), section);
    form->addRow(m_openAtLogin);

    // No desktop lets a window keep itself out of a capture of the whole screen; where the compositor's
    // capture shows in PipeWire the windows hide while it runs, elsewhere the toggle is disabled and says
    // why. The stored value is kept either way.
    m_hideFromScreenShare = new QCheckBox(tr("Hide when sharing the whole screen"), section);
    m_hideFromScreenShare->setAccessibleName(m_hideFromScreenShare->text());
    form->addRow(m_hideFromScreenShare);
    m_hideNote = makeNote(QString(), section);
    form->addRow(m_hideNote);
    connect(m_hideFromScreenShare, &QCheckBox::toggled, this, [this](bool on) {
        if (m_screenShareVisible) {
            m_settings->setBoolean(SettingKey::hideFromScreenShare, on);
        }
    });
    showHideFromScreenShare();
    return section;
}

QWidget* GeneralSettingsView::makeTranscriptionSection(Keychain& keychain)
{
    auto* section = new QGroupBox(tr("Transcription"), this);
    auto* form = new QFormLayout(section);

    m_engine = new QComboBox(section);
    m_engine->addItem(tr("On-device (PocketSphinx, free)"), onDeviceEngine);
    m_engine->addItem(tr("OpenAI (automatic Portuguese + English)"), openAIEngine);
    m_engine->setAccessibleName(tr("Engine"));
    form->addRow(tr("Engine"), m_engine);
    // Only a choice of the user is stored; showing the stored value writes nothing.
    connect(m_engine, &QComboBox::activated, this, [this](int index) {
        m_settings->setText(SettingKey::transcriptionEngine, m_engine->itemData(index).toString());
    });

    m_openAIRows = new QWidget(section);
    auto* rows = new QFormLayout(m_openAIRows);
    rows->setContentsMargins(0, 0, 0, 0);
    m_keyStatus = new QLabel(m_openAIRows);
    m_keyStatus->setObjectName(QStringLiteral("openAIKeyStatus"));
    m_openAIKey = new KeyField(keychain, m_keyStatus, m_openAIRows);
    m_openAIKey->setObjectName(QStringLiteral("openAIKey"));
    m_openAIKey->setAccessibleName(tr("OpenAI API key"));
    m_saveKey = new QPushButton(tr("Save key"), m_openAIRows);
    m_saveKey->setAccessibleName(m_saveKey->text());
    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(m_openAIKey, 1);
    keyRow->addWidget(m_saveKey);
    rows->addRow(tr("OpenAI API key"), keyRow);
    rows->addRow(m_keyStatus);
    auto* note = makeNote(tr("Detects Portuguese and English by itself, even when the call switches midway. Audio "
                             "goes to OpenAI and is billed per minute. Applies the next time you press ▶."),
        m_openAIRows);
    rows->addRow(note);
    form->addRow(m_openAIRows);
    connect(m_saveKey, &QPushButton::clicked, m_openAIKey, &KeyField::save);
    return section;
}

void GeneralSettingsView::showSettings()
{
    const QSignalBlocker opacityBlocker(m_opacity);
    const double opacity = m_settings->windowOpacity();
    m_opacity->setValue(static_cast<int>(std::lround(opacity * opacityScale)));
    m_opacityText->setText(percentText(opacity));
    m_opacityText->setAccessibleName(m_opacityText->text());

    const QSignalBlocker onTopBlocker(m_alwaysOnTop);
    m_alwaysOnTop->setChecked(m_settings->isAlwaysOnTop());

    // Any text but "openai" selects on-device recognition.
    const bool openAI = m_settings->transcriptionEngineText() == openAIEngine;
    m_engine->setCurrentIndex(openAI ? 1 : 0);
    m_openAIRows->setVisible(openAI);
}

void GeneralSettingsView::setScreenShareVisible(bool visible)
{
    m_screenShareVisible = visible;
    showHideFromScreenShare();
}

void GeneralSettingsView::showHideFromScreenShare()
{
    const QSignalBlocker blocker(m_hideFromScreenShare);
    m_hideFromScreenShare->setEnabled(m_screenShareVisible);
    m_hideFromScreenShare->setChecked(m_screenShareVisible && m_settings->hideFromScreenShare());
    m_hideNote->setText(m_screenShareVisible ? tr("Sharing a single app or window never shows Quillora anyway.")
                                             : tr("Not available on this desktop."));
    m_hideFromScreenShare->setAccessibleDescription(m_hideNote->text());
}
