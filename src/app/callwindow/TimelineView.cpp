#include "app/callwindow/TimelineView.h"

#include "app/callwindow/CardLayoutItem.h"
#include "app/callwindow/EmptyState.h"
#include "app/callwindow/LinesCard.h"
#include "app/callwindow/SuggestionCard.h"
#include "app/callwindow/SummaryCard.h"
#include "settings/Settings.h"
#include "suggestions/SuggestionService.h"
#include "transcription/TranscriptionService.h"

#include <QProgressBar>
#include <QScrollBar>
#include <QVBoxLayout>

TimelineView::TimelineView(TranscriptionService* transcription, SuggestionService* suggestions, SummaryService* summary,
    StoreHolder* holder, Settings* settings, Clock& clock, QWidget* parent)
    : QScrollArea(parent)
    , m_transcription(transcription)
    , m_suggestions(suggestions)
    , m_settings(settings)
    , m_column(new QWidget(this))
    , m_blocks(new QVBoxLayout)
    , m_empty(new EmptyState(m_column))
    , m_inProgressCard(new LinesCard(m_column))
    , m_waiting(new QProgressBar(m_column))
    , m_summaryCard(new SummaryCard(summary, holder, clock, m_column))
    , m_bottom(new QWidget(m_column))
{
    setObjectName(QStringLiteral("timeline"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_column->setObjectName(QStringLiteral("column"));
    // A slim handle on no track, as on the window's glass the cards need all the width.
    verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { width: 8px; background: transparent; margin: 2px; }"
        "QScrollBar::handle:vertical { background: rgba(128, 128, 128, 120); border-radius: 2px; min-height: 24px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));

    m_inProgressCard->setObjectName(QStringLiteral("inProgressCard"));
    m_waiting->setObjectName(QStringLiteral("waiting"));
    m_waiting->setRange(0, 0);
    m_waiting->setTextVisible(false);
    m_waiting->setFixedSize(48, 6);
    m_waiting->setAccessibleName(tr("Waiting for a suggestion"));
    m_bottom->setObjectName(QStringLiteral("bottom"));
    m_bottom->setFixedHeight(1);

    auto* column = new QVBoxLayout(m_column);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(10);
    m_blocks->setContentsMargins(0, 0, 0, 0);
    m_blocks->setSpacing(10);
    column->addWidget(m_empty);
    column->addLayout(m_blocks);
    column->addWidget(m_inProgressCard);
    column->addWidget(m_waiting, 0, Qt::AlignHCenter);
    column->addWidget(m_summaryCard);
    column->addWidget(m_bottom);
    column->addStretch();
    setWidget(m_column);
    // The window paints the background; the column lies on it (setWidget turned filling on).
    viewport()->setAutoFillBackground(false);
    m_column->setAutoFillBackground(false);

    if (m_transcription) {
        Transcript* transcript = &m_transcription->transcript();
        connect(transcript, &Transcript::linesChanged, this, &TimelineView::refresh);
        connect(transcript, &Transcript::volatileChanged, this, &TimelineView::refresh);
        connect(m_transcription, &TranscriptionService::runningChanged, m_empty, &EmptyState::setListening);
        m_empty->setListening(m_transcription->isRunning());
    }
    if (m_suggestions) {
        connect(m_suggestions, &SuggestionService::historyChanged, this, &TimelineView::refresh);
        connect(m_suggestions, &SuggestionService::isWaitingChanged, this, &TimelineView::refresh);
    }
    connect(m_summaryCard, &SummaryCard::contentChanged, this, [this] {
        updateEmptyState();
        followNewest();
    });
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] {
        if (m_followPending) {
            m_followPending = false;
            scrollToBottom();
        }
    });
    if (m_settings) {
        connect(m_settings, &Settings::changed, this, [this](SettingKey key) {
            if (key == SettingKey::autoScroll && m_settings->autoScroll()) {
                scrollToBottom();
            }
        });
    }
    refresh();
}

QList<Card*> TimelineView::blockCards() const
{
    QList<Card*> cards;
    for (int i = 0; i < m_blocks->count(); ++i) {
        cards.append(static_cast<Card*>(m_blocks->itemAt(i)->widget()));
    }
    return cards;
}

void TimelineView::refresh()
{
    static const QList<TranscriptLine> noLines;
    static const QList<Suggestion> noHistory;
    static const QHash<Speaker, QString> noText;
    present(CallTimeline::build(m_transcription ? m_transcription->lines() : noLines,
        m_suggestions ? m_suggestions->history() : noHistory,
        m_transcription ? m_transcription->transcript().volatileText() : noText,
        m_suggestions && m_suggestions->isWaiting()));
}

void TimelineView::present(CallTimeline timeline)
{
    m_timeline = std::move(timeline);
    QHash<QUuid, Card*> cards;
    cards.reserve(m_timeline.blocks.size());
    QList<Card*> order;
    order.reserve(m_timeline.blocks.size());
    for (const CallTimeline::Block& block : std::as_const(m_timeline.blocks)) {
        Card* card = m_cards.take(block.id());
        if (block.kind == CallTimeline::Block::Kind::lines) {
            auto* lines = qobject_cast<LinesCard*>(card);
            if (!lines) {
                delete card;
                lines = new LinesCard(m_column);
            }
            lines->setLines(block.lines);
            card = lines;
        } else if (auto* suggestion = qobject_cast<SuggestionCard*>(card)) {
            suggestion->setSuggestion(block.suggestion);
        } else {
            delete card;
            card = new SuggestionCard(block.suggestion, m_column);
        }
        cards.insert(block.id(), card);
        order.append(card);
    }
    // What is left belongs to blocks that are gone (the transcript was cleared, or an echo removed).
    qDeleteAll(m_cards);
    m_cards = std::move(cards);
    placeCards(order);

    using Place = CallTimeline::InProgressPlace;
    LinesCard* host = m_timeline.inProgressPlace == Place::lastBlock ? static_cast<LinesCard*>(order.constLast())
        : m_timeline.inProgressPlace == Place::ownCard               ? m_inProgressCard
                                                                     : nullptr;
    if (m_inProgressHost && m_inProgressHost != host) {
        m_inProgressHost->setInProgress({});
    }
    if (host) {
        host->setInProgress(m_timeline.inProgress);
    }
    m_inProgressHost = host;
    m_inProgressCard->setVisible(host == m_inProgressCard);
    m_waiting->setVisible(m_timeline.showsWaiting);
    updateEmptyState();
    followNewest();
}

void TimelineView::placeCards(const QList<Card*>& order)
{
    for (qsizetype i = 0; i < order.size(); ++i) {
        const int index = static_cast<int>(i);
        QLayoutItem* item = m_blocks->itemAt(index);
        if (!item || item->widget() != order.at(i)) {
            m_blocks->removeWidget(order.at(i));
            m_blocks->insertItem(index, new CardLayoutItem(order.at(i)));
            order.at(i)->show();
        }
    }
}

void TimelineView::updateEmptyState()
{
    const bool empty = m_timeline.blocks.isEmpty() && m_timeline.inProgress.isEmpty() && !m_timeline.showsWaiting
        && !m_summaryCard->hasContent();
    m_empty->setVisible(empty);
}

void TimelineView::followNewest()
{
    if (m_settings && m_settings->autoScroll()) {
        m_followPending = true;
        scrollToBottom();
    }
}

void TimelineView::scrollToBottom()
{
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}
