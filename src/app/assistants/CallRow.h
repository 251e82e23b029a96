#pragma once

#include "mcp/CallExport.h"
#include "records/Records.h"

#include <QFileDialog>
#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class SaveAction;
class StoreHolder;
class SummaryService;

// One recorded call in a calls list. Collapsed, a header: start, duration, the context (in an
// assistant's list) and the outcome mark. Expanded: the summary, the transcript with the
// suggestions where they were made, the call file, the outcome buttons and the note; a call stored
// without a summary (recovered after a crash, or stored as the session ended) offers to write it, and a
// call that improvement from history gave up on says why and offers to ask for it again. The note is
// saved when it is submitted or left, and also before the row collapses or goes away, so it is
// never lost; a store refresh leaves a note being typed alone.
class CallRow : public QWidget {
    Q_OBJECT

public:
    // `call` may come without its blobs; the transcript is read when the row first expands.
    // `summary` writes the summary the call lacks; may be null.
    CallRow(StoreHolder* holder, SaveAction* save, SummaryService* summary, const Call& call,
        const QString& contextName, QWidget* parent);
    ~CallRow() override;

    const QUuid& callID() const { return m_call.id; }
    // New stored values of the same call.
    void update(const Call& call, const QString& contextName);

    bool isExpanded() const { return m_body != nullptr && m_body->isVisible(); }
    void setExpanded(bool expanded);
    // Saves the note when it differs from the note last loaded; a refused save keeps the text in the field.
    void saveNote();
    // Expands the row and selects a passage (as CallSearchHit::line): a line of the transcript,
    // the summary or the note. Gives the widget that shows it.
    QWidget* showPassage(int line);
    // Asks where to save the call and in which format (plain text, captions or JSON); the save
    // dialog asks before it replaces a file.
    void exportCall();
    // Writes the call to `path` in the format its extension names, else in `format`.
    void exportTo(const QString& path, callExport::Format format);

    QToolButton* header() const { return m_header; }
    QLabel* outcomeMark() const { return m_mark; }
    // The parts of the expanded row; null until it first expands.
    QLabel* summary() const { return m_summary; }
    QPushButton* summarizeButton() const { return m_summarize; }
    QLabel* summaryProblem() const { return m_summaryProblem; }
    QPlainTextEdit* transcript() const { return m_transcript; }
    QPushButton* openFileButton() const { return m_openFile; }
    QPushButton* revealButton() const { return m_reveal; }
    QPushButton* exportButton() const { return m_export; }
    // What the last export did: where it wrote, or why it could not.
    QLabel* exportStatus() const { return m_exportStatus; }
    // The save dialog of an export while it is open.
    QFileDialog* exportDialog() const { return m_exportDialog; }
    QToolButton* goodButton() const { return m_good; }
    QToolButton* badButton() const { return m_bad; }
    QLineEdit* note() const { return m_note; }
    QPushButton* analyzeAgainButton() const { return m_analyzeAgain; }

private:
    void buildBody();
    void showHeader();
    void showBody();
    void showTranscript(const Call& call);
    void tap(CallOutcome outcome);
    // Makes a call that improvement gave up on new again, for the next run.
    void analyzeAgain();

    QPointer<StoreHolder> m_holder;
    QPointer<SaveAction> m_save;
    QPointer<SummaryService> m_summaryService;
    Call m_call;
    QString m_contextName;
    QString m_loadedNote;
    QToolButton* m_header;
    QLabel* m_mark;
    QWidget* m_body = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_summarize = nullptr;
    QLabel* m_summaryProblem = nullptr;
    QPlainTextEdit* m_transcript = nullptr;
    QPushButton* m_openFile = nullptr;
    QPushButton* m_reveal = nullptr;
    QPushButton* m_export = nullptr;
    QLabel* m_exportStatus = nullptr;
    QPointer<QFileDialog> m_exportDialog;
    QToolButton* m_good = nullptr;
    QToolButton* m_bad = nullptr;
    QLineEdit* m_note = nullptr;
    QLabel* m_givenUp = nullptr;
    QPushButton* m_analyzeAgain = nullptr;
    // The transcript's block of each line, by the line's place in the call's lines.
    QList<int> m_lineBlocks;
};
