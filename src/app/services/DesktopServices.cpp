#include "app/services/DesktopServices.h"

#include "common/Clock.h"
#include "improvement/ImprovementService.h"
#include "llm/LLMClient.h"
#include "settings/Keychain.h"
#include "settings/Settings.h"
#include "store/StoreHolder.h"
#include "store/StorePaths.h"
#include "store/StoreSignal.h"
#include "suggestions/SuggestionService.h"
#include "summary/CallJournal.h"
#include "summary/SummaryService.h"
#include "transcription/TranscriptionService.h"

#include <QCoroSignal>
#include <QNetworkAccessManager>

DesktopServices::DesktopServices(Settings* settings, OpenedStore opened, QObject* parent, Options options)
    : QObject(parent)
    , m_settings(settings)
    , m_loadError(opened.loadError)
    , m_setAsideStore(opened.setAside)
    , m_store(new StoreHolder(
          opened.container, opened.isFallback,
          [path = options.storePath] { return path.isEmpty() ? storePaths::makeContainer(false) : Store::open(path); },
          this, options.clock))
    , m_storeObserver(new StoreChangeObserver(this))
    , m_keychain(new Keychain(this))
    , m_journal(new CallJournal(
          CallJournal::pathBeside(options.storePath.isEmpty() ? storePaths::storeURL() : options.storePath), this))
    , m_network(new QNetworkAccessManager(this))
    , m_transcription(new TranscriptionService(this,
          TranscriptionService::Options {
              .settings = settings,
              .readKey = languageModelSettings::keychainReader(m_keychain),
              .clock = options.clock,
          }))
    , m_suggestions(new SuggestionService(
          &m_transcription->transcript(),
          [store = QPointer<StoreHolder>(m_store)]() -> StoreContext& { return store->context(); },
          LLMClient(m_network, LLMEndpoints::sourceFor(settings)), settings, this,
          SuggestionServiceOptions {
              .pause = std::chrono::milliseconds(300),
              .readKey = languageModelSettings::keychainReader(m_keychain),
              .clock = options.clock,
          }))
    , m_summary(new SummaryService(
          m_transcription,
          [suggestions = QPointer<SuggestionService>(m_suggestions)] {
              return suggestions ? suggestions->history() : QList<Suggestion>();
          },
          [store = QPointer<StoreHolder>(m_store)]() -> StoreContext& { return store->context(); },
          LLMClient(m_network, LLMEndpoints::sourceFor(settings)), settings, this,
          SummaryServiceOptions { .readKey = languageModelSettings::keychainReader(m_keychain),
              .loadSettings = {},
              .journal = m_journal,
              .unstoredReason = opened.isFallback ? opened.loadError : QString() }))
    , m_improvement(new ImprovementService(LLMClient(m_network, LLMEndpoints::sourceFor(settings)), settings, this,
          ImprovementServiceOptions {
              .readKey = languageModelSettings::keychainReader(m_keychain), .loadSettings = {} }))
{
    connect(m_storeObserver, &StoreChangeObserver::changed, m_store, &StoreHolder::externalWrite);
    connect(m_suggestions, &SuggestionService::historyChanged, m_summary, &SummaryService::suggestionsChanged);
    // Calls a crash (or a store that could not take them) left in the journal are stored now, once, when
    // the store is the file.
    if (!opened.isFallback) {
        m_recoveredCalls = m_summary->recoverJournal();
    }
}

DesktopServices::~DesktopServices() = default;

void DesktopServices::toggleListening()
{
    if (m_ending) {
        return;
    }
    ++m_pendingToggles;
    if (!m_toggling) {
        runToggles();
    }
}

QCoro::Task<> DesktopServices::runToggles()
{
    const QPointer<DesktopServices> self(this);
    m_toggling = true;
    while (m_pendingToggles > 0) {
        --m_pendingToggles;
        if (m_transcription->isRunning()) {
            co_await m_transcription->stop();
        } else {
            m_suggestions->clear();
            m_suggestions->warmUp(); // only fills a cache; listening does not wait for it
            co_await m_transcription->start();
        }
        if (!self) {
            co_return;
        }
        // Done before the signal, so a listener that waits for the toggles to end sees them ended.
        m_toggling = m_pendingToggles > 0;
        Q_EMIT toggleFinished();
    }
    m_toggling = false;
}

QCoro::Task<> DesktopServices::endCall()
{
    const QPointer<DesktopServices> self(this);
    m_ending = true;
    m_pendingToggles = 0;
    while (m_toggling) {
        co_await qCoro(this, &DesktopServices::toggleFinished);
        if (!self) {
            co_return;
        }
    }
    if (m_transcription->isRunning()) {
        co_await m_transcription->stop();
        if (!self) {
            co_return;
        }
    }
    // There is no time left for a model to summarise: the call is stored with the interrupted text.
    if (m_summary->isBusy()) {
        m_summary->interrupt();
        co_await qCoro(m_summary, &SummaryService::idle);
    }
}

void DesktopServices::storeCallNow()
{
    m_summary->storeNow();
}

void DesktopServices::suggestNow()
{
    m_suggestions->suggestNow();
}
