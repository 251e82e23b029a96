#pragma once

#include "app/services/OpenedStore.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>

class CallJournal;
class Clock;
class ImprovementService;
class Keychain;
class QNetworkAccessManager;
class Settings;
class StoreChangeObserver;
class StoreHolder;
class SuggestionService;
class SummaryService;
class TranscriptionService;

// The long-lived services of the desktop app, created once at start-up and wired together here.
// Members are declared, and created, in start order: each one may use those above it, and they go
// away in the reverse order. Windows take what they need from here and hold it weakly.
class DesktopServices : public QObject {
    Q_OBJECT

public:
    struct Options {
        // The store file; the default place when empty.
        QString storePath;
        // Times every rule of the services; the system clock when null.
        Clock* clock = nullptr;
    };

    // `settings` is the one settings object of the app: it exists before the store, whose one-time
    // migration reads and writes it.
    DesktopServices(Settings* settings, OpenedStore opened, QObject* parent, Options options);
    ~DesktopServices() override;

    Settings& settings() { return *m_settings; }
    // Empty when the store opened and the migration (if any) saved.
    const QString& loadError() const { return m_loadError; }
    StoreHolder& store() { return *m_store; }
    Keychain& keychain() { return *m_keychain; }
    CallJournal& journal() { return *m_journal; }
    TranscriptionService& transcription() { return *m_transcription; }
    SuggestionService& suggestions() { return *m_suggestions; }
    SummaryService& summary() { return *m_summary; }
    ImprovementService& improvement() { return *m_improvement; }

    // Listening on or off, one press at a time: a press that comes while a start or a stop is
    // still under way acts once that one has finished.
    void toggleListening();
    // Asks for a suggestion on the finished lines as they are (nothing without lines).
    void suggestNow();
    bool isToggling() const { return m_toggling; }

    // Before the app ends: no further presses are taken, a start or stop under way finishes, a
    // running call is stopped and stored (with the interrupted summary text when its summary
    // could not finish).
    QCoro::Task<> endCall();
    // The session is about to end (logging out, shutting down): the call is stored at once, as it is,
    // before the session is told that the app is ready; listening goes on in case the session stays.
    void storeCallNow();
    // Calls stored at start-up from the journal of a run that ended before storing them.
    int recoveredCalls() const { return m_recoveredCalls; }
    // Where a damaged store file was moved at start-up; empty when none was.
    const QString& setAsideStore() const { return m_setAsideStore; }

Q_SIGNALS:
    // A press of the listening toggle has been carried out completely.
    void toggleFinished();

private:
    QCoro::Task<> runToggles();

    QPointer<Settings> m_settings;
    const QString m_loadError;
    const QString m_setAsideStore;
    StoreHolder* m_store;
    StoreChangeObserver* m_storeObserver;
    Keychain* m_keychain;
    CallJournal* m_journal;
    QNetworkAccessManager* m_network;
    TranscriptionService* m_transcription;
    SuggestionService* m_suggestions;
    SummaryService* m_summary;
    ImprovementService* m_improvement;
    int m_recoveredCalls = 0;
    bool m_toggling = false;
    bool m_ending = false;
    int m_pendingToggles = 0;
};
