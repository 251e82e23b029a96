#include "app/assistants/ImprovementsSection.h"

#include "common/Log.h"
#include "common/Uuid.h"
#include "improvement/Improvement.h"
#include "improvement/ImprovementService.h"
#include "store/StoreContext.h"
#include "store/StoreHolder.h"

#include <QCoreApplication>
#include <QLocale>
#include <QMetaObject>

#include <algorithm>

namespace {

// Proposal rows are not QObjects; their texts translate in the section's context.
std::vector<Proposal> proposalsOf(StoreHolder* store, const QUuid& assistantID)
{
    if (!store) {
        return {};
    }
    auto proposals = store->context().fetch<Proposal>(Query::ofAssistant(assistantID, Order::oldestFirst));
    if (!proposals) {
        qCCritical(lcImprovement, "Could not read the proposals: %s", qUtf8Printable(proposals.error().message));
        return {};
    }
    return std::move(*proposals);
}

QDateTime reviewDate(const Proposal& proposal)
{
    return proposal.reviewedAt.value_or(proposal.createdAt);
}

bool isBlank(const QString& text)
{
    return text.trimmed().isEmpty();
}

} // namespace

ImprovementsSection::ImprovementsSection(
    const QUuid& assistantID, StoreHolder* store, ImprovementService* service, ChangeAction onChange, QObject* parent)
    : QObject(parent)
    , m_assistantID(assistantID)
    , m_store(store)
    , m_service(service)
    , m_onChange(std::move(onChange))
{
    if (m_store) {
        connect(m_store, &StoreHolder::changed, this, &ImprovementsSection::changed);
    }
    if (m_service) {
        connect(m_service, &ImprovementService::runningAssistantChanged, this, &ImprovementsSection::changed);
        connect(m_service, &ImprovementService::progressChanged, this, &ImprovementsSection::changed);
        connect(m_service, &ImprovementService::messageChanged, this, &ImprovementsSection::changed);
    }
}

qsizetype ImprovementsSection::newCallCount() const
{
    if (!m_store) {
        return 0;
    }
    const auto calls = improvement::newCalls(m_store->context(), m_assistantID);
    return calls ? static_cast<qsizetype>(calls->size()) : 0;
}

QString ImprovementsSection::buttonText() const
{
    const qsizetype count = newCallCount();
    return count == 1 ? tr("Improve from history (1 new call)") : tr("Improve from history (%1 new calls)").arg(count);
}

bool ImprovementsSection::isButtonEnabled() const
{
    if (!m_store || !m_service || m_service->runningAssistant() || m_service->isBusy() || newCallCount() == 0) {
        return false;
    }
    const auto assistant = m_store->context().fetchOne<Assistant>(m_assistantID);
    return assistant && *assistant && !(*assistant)->archived;
}

void ImprovementsSection::improve()
{
    if (!isButtonEnabled()) {
        return;
    }
    m_ranHere = true;
    m_service->run(m_assistantID, m_store);
    Q_EMIT changed();
}

bool ImprovementsSection::isRunningHere() const
{
    return m_service && m_service->runningAssistant() == m_assistantID;
}

QString ImprovementsSection::progressText() const
{
    return isRunningHere() ? m_service->progress() : QString();
}

std::optional<QString> ImprovementsSection::outcome() const
{
    if (!m_ranHere || !m_service || isRunningHere()) {
        return std::nullopt;
    }
    return m_service->message();
}

std::vector<Proposal> ImprovementsSection::pendingProposals() const
{
    std::vector<Proposal> proposals = proposalsOf(m_store, m_assistantID);
    std::erase_if(
        proposals, [](const Proposal& p) { return proposalReview::status(p) != proposalReview::Status::pending; });
    return proposals;
}

std::vector<Proposal> ImprovementsSection::reviewedProposals() const
{
    std::vector<Proposal> proposals = proposalsOf(m_store, m_assistantID);
    std::erase_if(
        proposals, [](const Proposal& p) { return proposalReview::status(p) == proposalReview::Status::pending; });
    std::stable_sort(proposals.begin(), proposals.end(),
        [](const Proposal& a, const Proposal& b) { return reviewDate(a) > reviewDate(b); });
    return proposals;
}

QString ImprovementsSection::explanation()
{
    return tr(
        "Reads this assistant's new calls and proposes questions, answers and style notes, each with the passage it "
        "came from. Nothing changes until you accept.");
}

QString ImprovementsSection::reviewedTitle() const
{
    return tr("Reviewed (%1)").arg(reviewedProposals().size());
}

QString ImprovementsSection::reviewedHeadline(const Proposal& proposal)
{
    return proposalReview::kindLabel(proposal.kindValue()) + QStringLiteral(" \u00B7 ")
        + proposalReview::statusLabel(proposalReview::status(proposal));
}

QString ImprovementsSection::reviewedDate(const Proposal& proposal)
{
    return QLocale().toString(reviewDate(proposal).toLocalTime(), QLocale::ShortFormat);
}

void ImprovementsSection::act(std::function<void(StoreContext&)> change)
{
    // Decisions run in a later turn of the event loop, never inside the button's handler.
    QMetaObject::invokeMethod(
        this,
        [this, change = std::move(change)] {
            if (!m_store) {
                return;
            }
            change(m_store->context());
            if (m_onChange) {
                m_onChange();
            } else if (auto saved = m_store->context().save(); !saved) {
                qCCritical(lcImprovement, "Could not save the decision: %s", qUtf8Printable(saved.error().message));
            }
            Q_EMIT applied();
        },
        Qt::QueuedConnection);
}

ProposalRow::ProposalRow(Proposal proposal, ImprovementsSection* section)
    : m_proposal(std::move(proposal))
    , m_section(section)
{
}

ProposalRow::Content ProposalRow::content() const
{
    Content content;
    const ProposalKind kind = m_proposal.kindValue();
    content.headline = proposalReview::kindLabel(kind);
    content.reason = m_proposal.reason;
    StoreHolder* store = m_section ? m_section->store() : nullptr;
    if (kind == ProposalKind::newQA || kind == ProposalKind::editQA) {
        const std::optional<QAItem> target =
            store ? proposalReview::targetItem(store->context(), m_proposal) : std::nullopt;
        if (target) {
            content.details = { ImprovementsSection::tr("Question: %1").arg(target->question),
                ImprovementsSection::tr("Current answer: %1").arg(target->answer) };
        } else {
            content.details = { ImprovementsSection::tr("Question: %1").arg(m_proposal.question) };
        }
        if (!isBlank(m_proposal.answer)) {
            content.answer = (kind == ProposalKind::editQA ? ImprovementsSection::tr("Proposed: %1")
                                                           : ImprovementsSection::tr("Answer: %1"))
                                 .arg(m_proposal.answer);
        }
    } else {
        content.details = { m_proposal.text };
    }
    for (const ProposalQuote& quote : m_proposal.quotes()) {
        QString line = QChar(0x201C) + quote.text + QChar(0x201D);
        const auto callID = uuid::parse(quote.callID);
        if (callID && store && m_section) {
            const auto call = store->context().fetchOne<Call>(*callID);
            if (call && *call && (*call)->assistant == m_section->assistantID()) {
                line += QStringLiteral(" (")
                    + QLocale().toString((*call)->startedAt.toLocalTime().date(), QLocale::ShortFormat) + u')';
            }
        }
        content.quotes.append(line);
    }
    return content;
}

QString ProposalRow::missingAnswer()
{
    return ImprovementsSection::tr("No answer: fill it in before accepting");
}

void ProposalRow::accept()
{
    const ProposalKind kind = m_proposal.kindValue();
    if ((kind == ProposalKind::newQA || kind == ProposalKind::editQA) && isBlank(m_proposal.answer)) {
        editAndAccept();
        return;
    }
    if (m_section) {
        m_section->act([id = m_proposal.id](StoreContext& store) { proposalReview::accept(store, id); });
    }
}

void ProposalRow::editAndAccept()
{
    question = m_proposal.question;
    answer = m_proposal.answer;
    text = m_proposal.text;
    m_editing = true;
}

void ProposalRow::discard()
{
    if (m_section) {
        m_section->act([id = m_proposal.id](StoreContext& store) { proposalReview::discard(store, id); });
    }
}

bool ProposalRow::canConfirm() const
{
    switch (m_proposal.kindValue()) {
    case ProposalKind::newQA: return !isBlank(answer) && !isBlank(question);
    case ProposalKind::editQA: return !isBlank(answer);
    case ProposalKind::style:
    case ProposalKind::instruction: break;
    }
    return !isBlank(text);
}

void ProposalRow::confirm()
{
    if (!m_editing || !canConfirm() || !m_section) {
        return;
    }
    m_section->act([id = m_proposal.id, edits = proposalReview::Edits { question, answer, text }](
                       StoreContext& store) { proposalReview::accept(store, id, edits); });
}

void ProposalRow::cancel()
{
    m_editing = false;
}

QString ProposalRow::fixedQuestion() const
{
    StoreHolder* store = m_section ? m_section->store() : nullptr;
    const std::optional<QAItem> target =
        store ? proposalReview::targetItem(store->context(), m_proposal) : std::nullopt;
    return ImprovementsSection::tr("Question: %1").arg(target ? target->question : m_proposal.question);
}
