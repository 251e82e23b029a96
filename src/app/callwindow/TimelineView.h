#pragma once

#include <QPointer>
#include <QScrollArea>

class Clock;
class EmptyState;
class QProgressBar;
class Settings;
class StoreHolder;
class SummaryCard;
class SummaryService;
class SuggestionService;
class TimelineList;
class TimelineModel;
class TranscriptionService;

// The call window's scrolling column: the empty state, or the timeline of lines, suggestions and
// in-progress rows (a TimelineModel fed change by change from the services, shown by a TimelineList),
// the waiting indicator and the summary card, then the bottom marker. While "autoScroll" is on it
// follows the newest content.
class TimelineView : public QScrollArea {
    Q_OBJECT

public:
    TimelineView(TranscriptionService* transcription, SuggestionService* suggestions, SummaryService* summary,
        StoreHolder* holder, Settings* settings, Clock& clock, QWidget* parent);

    // The rows shown; without services it is fed by whoever made the view.
    TimelineModel* model() const { return m_model; }
    TimelineList* list() const { return m_list; }
    QWidget* bottomMarker() const { return m_bottom; }

private:
    void showWaiting();
    void rowsChanged();
    void updateEmptyState();
    void followNewest();
    void scrollToBottom();

    QPointer<TranscriptionService> m_transcription;
    QPointer<SuggestionService> m_suggestions;
    QPointer<Settings> m_settings;
    TimelineModel* m_model;
    QWidget* m_column;
    EmptyState* m_empty;
    TimelineList* m_list;
    QProgressBar* m_waiting;
    SummaryCard* m_summaryCard;
    QWidget* m_bottom;
    bool m_followPending = false;
};
