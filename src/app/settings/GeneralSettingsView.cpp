#include "app/settings/GeneralSettingsView.h"

#include "app/widgets/AddressField.h"
#include "app/widgets/KeyField.h"
#include "app/widgets/LoginToggle.h"
#include "common/Log.h"
#include "settings/Settings.h"
#include "transcription/WhisperModelDownload.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QString openAIEngine = QStringLiteral("openai");
const QString onDeviceEngine = QStringLiteral("apple");
const QString whisperEngine = QStringLiteral("whisper");

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
    layout->addWidget(makeUpdatesSection());
    layout->addStretch(1);

    connect(m_settings, &Settings::changed, this, [this](SettingKey key) {
        if (key == SettingKey::windowOpacity || key == SettingKey::isAlwaysOnTop
            || key == SettingKey::transcriptionEngine || key == SettingKey::speechLocale
            || key == SettingKey::whisperModel) {
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
    loadSpeechModels();
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
    m_opacityText->setObjectName(QStringLiteral("opacityText"));
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
    m_engine->addItem(tr("On-device (Whisper)"), whisperEngine);
    m_engine->addItem(tr("OpenAI (automatic Portuguese + English)"), openAIEngine);
    m_engine->setAccessibleName(tr("Engine"));
    form->addRow(tr("Engine"), m_engine);
    // Only a choice of the user is stored; showing the stored value writes nothing.
    connect(m_engine, &QComboBox::activated, this, [this](int index) {
        m_settings->setText(SettingKey::transcriptionEngine, m_engine->itemData(index).toString());
    });

    m_whisperRows = makeSpeechModelRows(section);
    form->addRow(m_whisperRows);

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

QWidget* GeneralSettingsView::makeUpdatesSection()
{
    auto* section = new QGroupBox(tr("Updates"), this);
    auto* form = new QFormLayout(section);
    auto* status = new QLabel(section);
    status->setObjectName(QStringLiteral("updateFeedStatus"));
    m_updateFeed = new AddressField(*m_settings, SettingKey::updateFeedURL, status, section);
    m_updateFeed->setObjectName(QStringLiteral("updateFeed"));
    m_updateFeed->setAccessibleName(tr("Update feed"));
    m_updateFeed->setPlaceholderText(tr("None: the package manager tells of updates"));
    form->addRow(tr("Update feed"), m_updateFeed);
    form->addRow(status);
    form->addRow(makeNote(tr("Quillora is updated by your system's package manager. With the address of a release "
                             "feed here, \"Check for Updates…\" also says when a newer version is out."),
        section));
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

    // "openai" and "whisper" select their engines; any other text PocketSphinx.
    const QString engine = m_settings->transcriptionEngineText();
    const bool openAI = engine == openAIEngine;
    m_engine->setCurrentIndex(openAI ? 2 : engine == whisperEngine ? 1 : 0);
    m_openAIRows->setVisible(openAI);
    m_whisperRows->setVisible(!openAI);
    if (auto* rows = qobject_cast<QFormLayout*>(m_whisperRows->layout())) {
        rows->setRowVisible(m_language, engine == whisperEngine);
    }
    m_language->setCurrentIndex(std::max(0, m_language->findData(m_settings->speechLocale())));
    showSpeechModels();
}

QWidget* GeneralSettingsView::makeSpeechModelRows(QWidget* parent)
{
    m_network = new QNetworkAccessManager(this);
    m_modelDownload = new WhisperModelDownload(*m_network, this);
    auto* rows = new QWidget(parent);
    auto* form = new QFormLayout(rows);
    form->setContentsMargins(0, 0, 0, 0);

    m_speechModels = new QComboBox(rows);
    m_speechModels->setObjectName(QStringLiteral("speechModels"));
    m_speechModels->setAccessibleName(tr("Whisper model"));
    m_download = new QPushButton(tr("Download"), rows);
    m_download->setObjectName(QStringLiteral("downloadSpeechModel"));
    m_download->setAccessibleName(m_download->text());
    auto* modelRow = new QHBoxLayout;
    modelRow->addWidget(m_speechModels, 1);
    modelRow->addWidget(m_download);
    form->addRow(tr("Whisper model"), modelRow);
    m_downloadProgress = new QProgressBar(rows);
    m_downloadProgress->setAccessibleName(tr("Download progress"));
    m_downloadProgress->setRange(0, 100);
    m_downloadProgress->setVisible(false);
    form->addRow(m_downloadProgress);
    m_speechModelStatus = makeNote(QString(), rows);
    m_speechModelStatus->setObjectName(QStringLiteral("speechModelStatus"));
    form->addRow(m_speechModelStatus);

    m_language = new QComboBox(rows);
    m_language->setAccessibleName(tr("Language"));
    m_language->addItem(tr("System language"), QString());
    m_language->addItem(tr("Automatic"), QStringLiteral("auto"));
    m_language->addItem(tr("Portuguese (Brazil)"), QStringLiteral("pt-BR"));
    m_language->addItem(tr("English (US)"), QStringLiteral("en-US"));
    form->addRow(tr("Language"), m_language);
    form->addRow(makeNote(tr("Whisper hears Portuguese, English and many more languages on this computer; nothing "
                             "leaves it. Base is the best balance of speed and accuracy; small is more accurate and "
                             "needs a fast processor."),
        rows));

    connect(m_language, &QComboBox::activated, this,
        [this](int index) { m_settings->setText(SettingKey::speechLocale, m_language->itemData(index).toString()); });
    connect(m_speechModels, &QComboBox::activated, this, [this](int index) {
        const QString file = m_modelList.value(index).file;
        if (whisperModels::installed().contains(file)) {
            m_settings->setText(SettingKey::whisperModel, file);
        }
        showSpeechModels();
    });
    connect(m_download, &QPushButton::clicked, this, &GeneralSettingsView::downloadOrCancel);
    connect(m_modelDownload, &WhisperModelDownload::progress, this, [this](qint64 received, qint64 total) {
        m_downloadProgress->setValue(total > 0 ? int(received * 100 / total) : 0);
    });
    connect(m_modelDownload, &WhisperModelDownload::finished, this, [this](const QString& path) {
        whisperModels::use(*m_settings, QFileInfo(path).fileName());
        showSpeechModels();
    });
    connect(m_modelDownload, &WhisperModelDownload::failed, this, [this](const QString& message) {
        showSpeechModels();
        m_speechModelStatus->setText(message);
    });
    return rows;
}

QCoro::Task<> GeneralSettingsView::loadSpeechModels()
{
    const quint64 request = ++m_listRequest;
    QPointer<GeneralSettingsView> self(this);
    const Result<QList<WhisperModelEntry>> list =
        co_await WhisperModelDownload::fetchList(*m_network, m_settings->speechModelListURL());
    if (!self || request != m_listRequest) {
        co_return;
    }
    m_modelList = list.value_or(QList<WhisperModelEntry>());
    showSpeechModels();
    if (!list) {
        m_speechModelStatus->setText(list.error().message);
    }
}

void GeneralSettingsView::showSpeechModels()
{
    const QStringList installed = whisperModels::installed();
    auto* items = qobject_cast<QStandardItemModel*>(m_engine->model());
    if (items) {
        items->item(1)->setEnabled(!installed.isEmpty() || m_engine->currentIndex() == 1);
    }
    const Result<QString> chosenPath = whisperModels::installedPath(m_settings->whisperModel());
    const QString chosen = chosenPath ? QFileInfo(*chosenPath).fileName() : QString();
    const int current = m_speechModels->currentIndex();
    const QSignalBlocker blocker(m_speechModels);
    m_speechModels->clear();
    for (const WhisperModelEntry& entry : std::as_const(m_modelList)) {
        const QString size = whisperModels::sizeText(entry.bytes);
        m_speechModels->addItem(installed.contains(entry.file) ? tr("%1, %2, installed").arg(entry.name, size)
                                                               : tr("%1, %2").arg(entry.name, size));
    }
    int shown = current;
    for (int i = 0; i < m_modelList.size(); ++i) {
        if (shown < 0 && (m_modelList[i].file == chosen || (chosen.isEmpty() && m_modelList[i].id == u"base"))) {
            shown = i;
        }
    }
    m_speechModels->setCurrentIndex(std::clamp(shown, 0, int(m_modelList.size()) - 1));
    const bool running = m_modelDownload->isRunning();
    const WhisperModelEntry selected = m_modelList.value(m_speechModels->currentIndex());
    const bool selectedInstalled = installed.contains(selected.file);
    m_speechModels->setEnabled(!running);
    m_download->setText(running ? tr("Cancel download") : tr("Download"));
    m_download->setAccessibleName(m_download->text());
    m_download->setEnabled(running || (!selected.file.isEmpty() && !selectedInstalled));
    m_downloadProgress->setVisible(running);
    if (running) {
        m_speechModelStatus->setText(tr("Downloading %1…").arg(m_modelDownload->entry().name));
    } else if (selectedInstalled && selected.file == chosen) {
        m_speechModelStatus->setText(tr("Installed. The Whisper engine uses this model."));
    } else if (selectedInstalled) {
        m_speechModelStatus->setText(tr("Installed."));
    } else if (installed.isEmpty()) {
        m_speechModelStatus->setText(tr("No Whisper model is installed yet: download one to use the Whisper engine."));
    } else {
        m_speechModelStatus->setText(QString());
    }
}

void GeneralSettingsView::downloadOrCancel()
{
    if (m_modelDownload->isRunning()) {
        m_modelDownload->cancel();
        return;
    }
    const WhisperModelEntry entry = m_modelList.value(m_speechModels->currentIndex());
    if (entry.file.isEmpty()) {
        return;
    }
    m_downloadProgress->setValue(0);
    m_modelDownload->start(entry);
    showSpeechModels();
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
