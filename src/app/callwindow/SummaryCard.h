#pragma once

#include "app/widgets/Card.h"

#include <QPointer>
#include <QUuid>

#include <optional>

class Clock;
class OutcomeControl;
class QLabel;
class QProgressBar;
class QToolButton;
class StoreHolder;
class SummaryService;

// The end of a call: "Call summary" with progress while it is written, then the summary (copyable),
// or without one the text stored in its place ("Short call: no summary."), where the call file went,
// any saving problem and the outcome control of the stored call. Shown
// whenever the summary service has any of these, a short call's save without a summary too.
class SummaryCard : public Card {
    Q_OBJECT

public:
    SummaryCard(SummaryService* summary, StoreHolder* holder, Clock& clock, QWidget* parent);

    // Something to show: a summary being written or written, a saved file, a saving problem or a call.
    bool hasContent() const;

Q_SIGNALS:
    // The summary's text or its presence changed (the column may follow it).
    void contentChanged();

private:
    void refresh();
    void copy();
    // The summary text stored with the call, when it has one.
    std::optional<QString> storedSummary(const std::optional<QUuid>& call) const;

    QPointer<SummaryService> m_summary;
    QPointer<StoreHolder> m_holder;
    QLabel* m_title;
    QProgressBar* m_progress;
    QToolButton* m_copy;
    QLabel* m_text;
    QToolButton* m_saved;
    QLabel* m_saveError;
    OutcomeControl* m_outcome;
};
