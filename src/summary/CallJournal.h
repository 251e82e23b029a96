#pragma once

#include "records/Suggestion.h"
#include "records/Values.h"
#include "transcription/Transcript.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUuid>

#include <optional>

class JournalWriter;
class QThread;

// One call as the journal kept it.
struct JournaledCall {
    QUuid id;
    std::optional<QUuid> assistant;
    std::optional<QUuid> context;
    QList<CallLine> lines;
    QList<CallSuggestion> suggestions;
    // Set when the call ended but the store did not take it: what was made of it then.
    QString summary;
    QString archiveFile;
};

// The call in progress, line by line, in a SQLite file of its own beside the store, so that a crash,
// a store that cannot be opened or a failed save loses at most the last moment of a call. Each
// finished line is written in a transaction of its own as soon as it is handed over, each shown
// suggestion within a quarter of a second; the writing happens on a thread of its own, so a slow
// disk never holds up the window. A call leaves the journal once the store has it. Calls whose
// process has ended are handed to the next start of the app, which stores them.
//
// A separate file rather than a table of the store: it works while the store is damaged or could
// not be opened at all, and the tool server, which writes the store from other processes, never
// competes with it for the lock.
class CallJournal : public QObject {
    Q_OBJECT

public:
    // Opens (and on first use creates) the journal at `path`, owner-only.
    CallJournal(const QString& path, QObject* parent);
    // Writes everything handed over, then closes the file.
    ~CallJournal() override;

    // "Calls.journal" in the store's folder.
    static QString pathBeside(const QString& storePath);

    // Why nothing can be journaled (the file could not be opened or written); none while it works.
    const std::optional<QString>& error() const { return m_error; }

    void begin(const QUuid& call, const std::optional<QUuid>& assistant, const std::optional<QUuid>& context);
    void addLine(const QUuid& call, const TranscriptLine& line);
    // The suggestions shown so far, error entries left out; the newest list is written within a
    // quarter of a second, and entries no longer shown leave the journal.
    void showSuggestions(const QUuid& call, const QList<Suggestion>& shown);
    // The call ended but the store did not take it: it stays for the next start, with its summary
    // and file.
    void keep(const QUuid& call, const QString& summary, const QString& archiveFile);
    // The store has the call: its journal goes.
    void forget(const QUuid& call);

    // Blocks until everything handed over so far is written.
    void flush();
    // The calls of processes that have ended, oldest first. Blocks while it reads.
    QList<JournaledCall> leftBehind();

    static constexpr int suggestionDelayMs = 250;

Q_SIGNALS:
    // The journal could not be opened or written; `error` says why.
    void failed();

private:
    friend class JournalWriter;
    void postSuggestions();
    template <typename Work> void post(Work work);

    std::optional<QString> m_error;
    QThread* m_thread;
    JournalWriter* m_writer;
    QTimer m_suggestionTimer;
    std::optional<QUuid> m_suggestionCall;
    QList<Suggestion> m_suggestions;
};
