#include "app/callwindow/TimelineView.h"

#include "app/callwindow/EmptyState.h"
#include "app/callwindow/SummaryCard.h"
#include "app/callwindow/TimelineList.h"
#include "app/callwindow/TimelineModel.h"
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
    , m_model(new TimelineModel(this))
    , m_column(new QWidget(this))
    , m_empty(new EmptyState(m_column))
    , m_list(new TimelineList(m_column))
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

    m_list->setObjectName(QStringLiteral("timelineRows"));
    m_list->setModel(m_model);
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
    column->addWidget(m_empty);
    column->addWidget(m_list);
    column->addWidget(m_waiting, 0, Qt::AlignHCenter);
    column->addWidget(m_summaryCard);
    column->addWidget(m_bottom);
    column->addStretch();
    setWidget(m_column);
    // The window paints the background; the column lies on it (setWidget turned filling on).
    viewport()->setAutoFillBackground(false);
    m_column->setAutoFillBackground(false);

    // The model follows the services change by change; the column follows the model.
    if (m_transcription) {
        Transcript* transcript = &m_transcription->transcript();
        connect(transcript, &Transcript::linesChanged, m_model,
            [this, transcript] { m_model->setLines(transcript->lines()); });
        connect(transcript, &Transcript::volatileChanged, m_model,
            [this, transcript] { m_model->setInProgress(transcript->volatileText()); });
        connect(m_transcription, &TranscriptionService::runningChanged, m_empty, &EmptyState::setListening);
        m_empty->setListening(m_transcription->isRunning());
        m_model->setLines(transcript->lines());
        m_model->setInProgress(transcript->volatileText());
    }
    if (m_suggestions) {
        connect(m_suggestions, &SuggestionService::historyChanged, m_model,
            [this] { m_model->setHistory(m_suggestions->history()); });
        connect(m_suggestions, &SuggestionService::isWaitingChanged, this, &TimelineView::showWaiting);
        m_model->setHistory(m_suggestions->history());
    }
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &TimelineView::rowsChanged);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &TimelineView::rowsChanged);
    connect(m_model, &QAbstractItemModel::rowsMoved, this, &TimelineView::rowsChanged);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TimelineView::rowsChanged);
    connect(m_model, &QAbstractItemModel::dataChanged, this,
        [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
            if (roles.contains(Qt::DisplayRole)) {
                followNewest();
            }
        });
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
    showWaiting();
}

void TimelineView::showWaiting()
{
    m_waiting->setVisible(m_suggestions && m_suggestions->isWaiting());
    updateEmptyState();
    followNewest();
}

void TimelineView::rowsChanged()
{
    updateEmptyState();
    followNewest();
}

void TimelineView::updateEmptyState()
{
    const bool empty = m_model->rowCount() == 0 && m_waiting->isHidden() && !m_summaryCard->hasContent();
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
