#pragma once

#include "app/assistants/DetailTab.h"
#include "app/assistants/LaterOnce.h"

#include <map>

class ImprovementService;
class ImprovementsSection;
class ProposalView;
class QLabel;
class QProgressBar;
class QPushButton;
class QToolButton;
class QVBoxLayout;

// An assistant's improvements: the run over its new calls with progress and outcome, the pending
// proposals to accept, edit and accept, or discard, and the collapsible list of reviewed ones. Each
// decision is saved through the window's save action.
class ImprovementsTab : public DetailTab {
    Q_OBJECT

public:
    ImprovementsTab(
        StoreHolder* holder, SaveAction* save, ShownRecord shown, ImprovementService* service, QWidget* parent);

    void refresh() override;

    ImprovementsSection* section() const { return m_section; }
    QPushButton* runButton() const { return m_run; }
    QProgressBar* progress() const { return m_progress; }
    QLabel* progressText() const { return m_progressText; }
    QLabel* outcome() const { return m_outcome; }
    // The pending proposals, oldest first.
    QList<ProposalView*> proposals() const;
    QToolButton* reviewedToggle() const { return m_reviewedToggle; }
    QWidget* reviewedList() const { return m_reviewedList; }

private:
    void scheduleRefresh();
    void showReviewed();

    ImprovementsSection* m_section;
    QPushButton* m_run;
    QProgressBar* m_progress;
    QLabel* m_progressText;
    QLabel* m_outcome;
    QVBoxLayout* m_pending;
    QToolButton* m_reviewedToggle;
    QWidget* m_reviewedList;
    std::map<QUuid, ProposalView*> m_views;
    LaterOnce m_refreshLater { this, [this] { refresh(); } };
};
