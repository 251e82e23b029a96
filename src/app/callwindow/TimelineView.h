#pragma once

#include "app/callwindow/CallTimeline.h"

#include <QHash>
#include <QPointer>
#include <QScrollArea>
#include <QUuid>

class Card;
class Clock;
class EmptyState;
class LinesCard;
class QProgressBar;
class QVBoxLayout;
class Settings;
class StoreHolder;
class SummaryCard;
class SummaryService;
class SuggestionService;
class TranscriptionService;

// The call window's scrolling column: the empty state, or the timeline of lines and suggestions, the
// in-progress rows, the waiting indicator and the summary card, then the bottom marker. It grows with
// the call instead of being made anew: every block keeps its card for as long as the block exists, and
// a change touches only the cards whose block changed. While "autoScroll" is on it follows the newest
// content.
class TimelineView : public QScrollArea {
    Q_OBJECT

public:
    TimelineView(TranscriptionService* transcription, SuggestionService* suggestions, SummaryService* summary,
        StoreHolder* holder, Settings* settings, Clock& clock, QWidget* parent);

    // Shows this timeline, touching only the cards whose blocks changed since the last one. The
    // services' changes come here; so can a timeline made elsewhere.
    void present(CallTimeline timeline);
    const CallTimeline& timeline() const { return m_timeline; }
    // The card of the block with this identity; null when there is none.
    Card* cardFor(const QUuid& blockID) const { return m_cards.value(blockID); }
    // The cards of the blocks, in order.
    QList<Card*> blockCards() const;
    LinesCard* inProgressCard() const { return m_inProgressCard; }
    QProgressBar* waitingIndicator() const { return m_waiting; }
    EmptyState* emptyState() const { return m_empty; }
    SummaryCard* summaryCard() const { return m_summaryCard; }
    QWidget* bottomMarker() const { return m_bottom; }

private:
    void refresh();
    void placeCards(const QList<Card*>& order);
    void updateEmptyState();
    void followNewest();
    void scrollToBottom();

    QPointer<TranscriptionService> m_transcription;
    QPointer<SuggestionService> m_suggestions;
    QPointer<Settings> m_settings;
    QWidget* m_column;
    QVBoxLayout* m_blocks;
    EmptyState* m_empty;
    LinesCard* m_inProgressCard;
    QProgressBar* m_waiting;
    SummaryCard* m_summaryCard;
    QWidget* m_bottom;
    CallTimeline m_timeline;
    QHash<QUuid, Card*> m_cards;
    // The lines card that shows the in-progress rows after its lines, if one does.
    QPointer<LinesCard> m_inProgressHost;
    bool m_followPending = false;
};
