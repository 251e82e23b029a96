#pragma once

#include "improvement/ImprovementService.h"
#include "improvement/ProposalReview.h"
#include "records/Records.h"
#include "store/StoreHolder.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <optional>
#include <vector>

// The improvements section of one assistant, without widgets: the texts and states the assistants
// window shows (the run button with its count of new calls, the run's progress and outcome, the
// pending and reviewed proposals) and what its buttons do. Records are read from the holder's
// context at each call, so the lists follow the store. Main thread only.
class ImprovementsSection : public QObject {
    Q_OBJECT

public:
    // The window's save action, run after each decision.
    using ChangeAction = std::function<void()>;

    static QString explanation();

    // Without `onChange`, a decision saves the holder's context itself.
    ImprovementsSection(const QUuid& assistantID, StoreHolder* store, ImprovementService* service,
        ChangeAction onChange, QObject* parent);

    const QUuid& assistantID() const { return m_assistantID; }
    // StoreHolder and service, for the rows.
    StoreHolder* store() const { return m_store; }

    qsizetype newCallCount() const;
    // "Improve from history (N new call[s])".
    QString buttonText() const;
    // Off with no new call, while any run is in progress, or for an archived assistant.
    bool isButtonEnabled() const;
    // The button: remembers that the run was started here and starts it.
    void improve();

    bool ranHere() const { return m_ranHere; }
    bool isRunningHere() const;
    // The service's progress while this assistant's run is in progress; empty otherwise.
    QString progressText() const;
    // The last run's outcome, shown once a run started here has ended.
    std::optional<QString> outcome() const;

    // Oldest first.
    std::vector<Proposal> pendingProposals() const;
    // Accepted and discarded ones, most recently reviewed first.
    std::vector<Proposal> reviewedProposals() const;
    // "Reviewed (N)".
    QString reviewedTitle() const;
    // "<kind label> · Accepted" or "· Discarded", and its review (or creation) date and time below it.
    static QString reviewedHeadline(const Proposal& proposal);
    static QString reviewedDate(const Proposal& proposal);

    // Runs `change` on the holder's context in a later turn of the event loop, then the save action.
    void act(std::function<void(StoreContext&)> change);

Q_SIGNALS:
    // The store or the service changed something the section shows.
    void changed();
    // A change given to `act` has been applied and saved.
    void applied();

private:
    QUuid m_assistantID;
    QPointer<StoreHolder> m_store;
    QPointer<ImprovementService> m_service;
    ChangeAction m_onChange;
    bool m_ranHere = false;
};

// One pending proposal in the section: what it shows and its buttons, with the edited texts kept
// here (never stored) while the user edits.
class ProposalRow {
public:
    struct Content {
        QString headline; // the kind label
        QString reason;
        QStringList details; // the question lines, or the style or instruction text
        std::optional<QString> answer; // "Answer: …" or "Proposed: …"; none when blank
        QStringList quotes; // “text” with the call's date when that call is known
    };

    ProposalRow(Proposal proposal, ImprovementsSection* section);

    const Proposal& proposal() const { return m_proposal; }
    Content content() const;
    static QString missingAnswer();

    bool isEditing() const { return m_editing; }
    // "Accept": a question without answer opens the editor instead.
    void accept();
    void editAndAccept();
    void discard();
    void confirm();
    void cancel();
    bool canConfirm() const;
    // For an editQA while editing: "Question: " and the targeted item's question.
    QString fixedQuestion() const;

    QString question;
    QString answer;
    QString text;

private:
    Proposal m_proposal;
    QPointer<ImprovementsSection> m_section;
    bool m_editing = false;
};
