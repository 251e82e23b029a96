#include "app/guide/SuggestionsStep.h"

#include "app/guide/GuideLabels.h"
#include "app/guide/GuideRun.h"
#include "app/guide/StepRow.h"
#include "app/widgets/AddressField.h"
#include "app/widgets/KeyField.h"
#include "app/widgets/ProviderPicker.h"
#include "settings/Keychain.h"
#include "settings/Settings.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

bool isCloud(const QString& providerText)
{
    return llmProvider::parseCloud(providerText).has_value();
}

} // namespace

SuggestionsStep::SuggestionsStep(
    Settings& settings, Keychain& keychain, GuideRun* run, std::chrono::milliseconds localModelTimeout, QWidget* parent)
    : QWidget(parent)
    , m_settings(&settings)
    , m_keychain(&keychain)
    , m_run(run)
    , m_keyRow(new QWidget(this))
    , m_keyStatus(new QLabel(m_keyRow))
    , m_apiKey(new KeyField(keychain, m_keyStatus, m_keyRow))
    , m_saveKey(new QPushButton(tr("Save"), m_keyRow))
    , m_keyLink(new QLabel(m_keyRow))
    , m_localModelRow(new QWidget(this))
    , m_localModel(new LocalModelPicker(settings, LocalModelPicker::Choices::withServerDefault, m_localModelRow))
    , m_symbol(new QLabel(this))
    , m_status(new QLabel(this))
{
    setObjectName(QStringLiteral("suggestions"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(guideLabels::title(tr("Suggestions"), this));
    layout->addWidget(guideLabels::caption(tr("Choose who writes the suggestions. Claude and OpenAI use your own API "
                                              "key; the on-device model is free and needs a local model server such "
                                              "as Ollama."),
        this));

    auto* providerRow = new QHBoxLayout;
    auto* provider = new ProviderPicker(settings, this);
    providerRow->addWidget(guideLabels::fieldLabel(tr("Provider"), provider));
    providerRow->addWidget(provider, 1);
    layout->addLayout(providerRow);

    auto* keyLayout = new QVBoxLayout(m_keyRow);
    keyLayout->setContentsMargins(0, 0, 0, 0);
    auto* keyLine = new QHBoxLayout;
    m_keyStatus->setObjectName(QStringLiteral("apiKeyStatus"));
    m_apiKey->setObjectName(QStringLiteral("apiKey"));
    m_apiKey->setAccessibleName(tr("API key"));
    m_apiKey->setPlaceholderText(tr("API key"));
    m_apiKey->installEventFilter(this);
    m_saveKey->setObjectName(QStringLiteral("saveKey"));
    m_saveKey->setAccessibleName(m_saveKey->text());
    m_saveKey->setAutoDefault(false);
    keyLine->addWidget(guideLabels::fieldLabel(tr("API key"), m_apiKey));
    keyLine->addWidget(m_apiKey, 1);
    keyLine->addWidget(m_saveKey);
    keyLayout->addLayout(keyLine);
    keyLayout->addWidget(m_keyStatus);
    m_keyLink->setTextFormat(Qt::RichText);
    m_keyLink->setOpenExternalLinks(true);
    m_keyLink->setTextInteractionFlags(Qt::TextBrowserInteraction);
    keyLayout->addWidget(m_keyLink);
    layout->addWidget(m_keyRow);
    connect(m_apiKey, &QLineEdit::textChanged, this, [this] { m_saveKey->setEnabled(!m_apiKey->text().isEmpty()); });
    connect(m_saveKey, &QPushButton::clicked, m_apiKey, &KeyField::save);
    connect(m_apiKey, &KeyField::keyStored, this, [this] {
        m_keySaved = !m_apiKey->text().isEmpty();
        showStatus();
    });

    // The local server's address, and the model to use (a server may list an embedding model first).
    auto* localLines = new QVBoxLayout(m_localModelRow);
    localLines->setContentsMargins(0, 0, 0, 0);
    auto* serverLine = new QHBoxLayout;
    auto* serverStatus = new QLabel(m_localModelRow);
    serverStatus->setObjectName(QStringLiteral("serverAddressStatus"));
    auto* serverAddress = new AddressField(settings, SettingKey::localModelURL, serverStatus, m_localModelRow);
    serverAddress->setObjectName(QStringLiteral("serverAddress"));
    serverAddress->setAccessibleName(tr("Server address"));
    serverLine->addWidget(guideLabels::fieldLabel(tr("Server address"), serverAddress));
    serverLine->addWidget(serverAddress, 1);
    localLines->addLayout(serverLine);
    localLines->addWidget(serverStatus);
    auto* modelLine = new QHBoxLayout;
    localLines->addLayout(modelLine);
    m_localModel->setObjectName(QStringLiteral("localModel"));
    m_localModel->setAccessibleName(tr("Model"));
    m_localModel->setTimeout(localModelTimeout);
    modelLine->addWidget(guideLabels::fieldLabel(tr("Model"), m_localModel));
    modelLine->addWidget(m_localModel, 1);
    layout->addWidget(m_localModelRow);
    connect(m_localModel, &LocalModelPicker::listed, this, [this](const QStringList& models) {
        m_localModelAnswered = !models.isEmpty();
        showStatus();
        if (m_run) {
            m_run->finished(m_listing);
        }
    });

    auto* statusLine = new QHBoxLayout;
    m_status->setObjectName(QStringLiteral("suggestionsStatus"));
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText);
    QFont caption = m_status->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.9);
    m_status->setFont(caption);
    statusLine->addWidget(m_symbol, 0, Qt::AlignTop);
    statusLine->addWidget(m_status, 1);
    layout->addLayout(statusLine);

    connect(m_settings, &Settings::changed, this, [this](SettingKey key) {
        if (key == SettingKey::llmProvider) {
            providerChanged();
        } else if (key == SettingKey::llmModelOnDevice || key == SettingKey::localModelURL) {
            refresh();
        }
    });
}

bool SuggestionsStep::isReady() const
{
    if (isCloud(m_settings->llmProviderText())) {
        return m_keyStored || m_keySaved;
    }
    return m_localModelAnswered;
}

void SuggestionsStep::load()
{
    const QString providerText = m_settings->llmProviderText();
    const bool cloud = isCloud(providerText);
    m_keyRow->setVisible(cloud);
    m_localModelRow->setVisible(!cloud);
    if (cloud) {
        m_apiKey->load(providerText);
        m_saveKey->setEnabled(false);
        const bool claude = providerText == u"claude";
        const QString link = claude ? tr("Create a Claude API key") : tr("Create an OpenAI API key");
        const QString address = claude ? QStringLiteral("https://console.anthropic.com/settings/keys")
                                       : QStringLiteral("https://platform.openai.com/api-keys");
        m_keyLink->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(address, link.toHtmlEscaped()));
        m_keyLink->setAccessibleName(link);
    }
    m_localModel->showModels({});
    showStatus();
}

void SuggestionsStep::refresh()
{
    if (!m_run) {
        return;
    }
    ++m_check;
    // The answer on its way counts as come back only once the new check has started, so that the guide
    // never looks settled in between.
    const bool wasListing = m_localModel->isListing();
    const quint64 previousListing = m_listing;
    m_localModel->drop();
    const QString providerText = m_settings->llmProviderText();
    if (isCloud(providerText)) {
        readStoredKey(providerText);
    } else {
        m_listing = m_run->started();
        m_localModel->list();
        showStatus();
    }
    if (wasListing) {
        m_run->finished(previousListing);
    }
}

void SuggestionsStep::reset()
{
    m_localModel->drop();
    m_keyStored = false;
    m_keySaved = false;
    m_localModelAnswered = false;
}

void SuggestionsStep::providerChanged()
{
    reset();
    if (isVisible()) {
        load();
        refresh();
    }
}

QCoro::Task<> SuggestionsStep::readStoredKey(QString account)
{
    const QPointer<SuggestionsStep> self(this);
    const QPointer<GuideRun> run = m_run;
    const quint64 check = m_check;
    const quint64 token = run->started();
    showStatus();
    if (!m_keychain) {
        run->finished(token);
        co_return;
    }
    const std::optional<QString> key = co_await m_keychain->read(account);
    if (!self || !run || !run->isCurrent(token)) {
        co_return;
    }
    if (check == m_check) {
        m_keyStored = key && !key->isEmpty();
        showStatus();
    }
    run->finished(token);
}

void SuggestionsStep::showStatus()
{
    const bool ready = isReady();
    QString text;
    if (ready) {
        text = tr("Ready");
    } else if (isCloud(m_settings->llmProviderText())) {
        text = tr("Save an API key to get suggestions.");
    } else {
        text = tr("No local model server answered. Start one (for example Ollama), or choose Claude or OpenAI with "
                  "a key.");
    }
    showStatusSymbol(m_symbol, ready ? StatusSymbol::ok : StatusSymbol::warning);
    QPalette colours = m_status->palette();
    colours.setColor(QPalette::WindowText, ready ? QColor(40, 160, 70) : QColor(220, 130, 20));
    m_status->setPalette(colours);
    m_status->setText(text);
    m_status->setAccessibleName(text);
    Q_EMIT changed();
}

bool SuggestionsStep::eventFilter(QObject* watched, QEvent* event)
{
    // Return in the key field saves the key; it must not reach the dialog, where it would press "Done".
    if (watched == m_apiKey && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (m_saveKey->isEnabled()) {
                m_apiKey->save();
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
