#include "app/callwindow/OutcomeControl.h"

#include "app/widgets/AppStyle.h"
#include "app/widgets/RatingThumbs.h"
#include "common/Clock.h"
#include "store/StoreHolder.h"
#include "summary/SummaryService.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolButton>

namespace {

QToolButton* thumbButton(const QString& tip, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setCheckable(true);
    button->setIconSize(QSize(14, 14));
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    return button;
}

} // namespace

OutcomeControl::OutcomeControl(SummaryService* summary, StoreHolder* holder, Clock& clock, QWidget* parent)
    : QWidget(parent)
    , m_summary(summary)
    , m_holder(holder)
    , m_up(thumbButton(tr("Good call"), this))
    , m_down(thumbButton(tr("Bad call"), this))
    , m_note(new QLineEdit(this))
    , m_noteTimer(clock.createTimer(this, [this] { saveNote(); }))
{
    m_up->setObjectName(QStringLiteral("thumbsUp"));
    m_down->setObjectName(QStringLiteral("thumbsDown"));
    m_note->setObjectName(QStringLiteral("note"));
    m_note->setPlaceholderText(tr("Note (optional)"));
    m_note->setAccessibleName(m_note->placeholderText());
    m_note->setFont(appStyle::font(*this, 12));
    m_note->setFrame(false);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(m_up);
    layout->addWidget(m_down);
    layout->addWidget(m_note, 1);

    showOutcome(CallOutcome::none);
    // Toggled rather than clicked: assistive technology toggles a checkable button without a click.
    connect(m_up, &QToolButton::toggled, this, [this] { tap(CallOutcome::positive); });
    connect(m_down, &QToolButton::toggled, this, [this] { tap(CallOutcome::negative); });
    connect(m_note, &QLineEdit::textEdited, this, &OutcomeControl::noteEdited);
    connect(m_note, &QLineEdit::editingFinished, this, &OutcomeControl::saveNote);
    if (m_holder) {
        connect(m_holder, &StoreHolder::changed, this, [this] { reload(NoteRefresh::unlessTyping); });
    }
}

OutcomeControl::~OutcomeControl()
{
    // Closing the window must not lose what was typed.
    saveNote();
}

void OutcomeControl::setCall(const std::optional<QUuid>& callID)
{
    if (callID == m_call) {
        return;
    }
    saveNote();
    m_call = callID;
    reload(NoteRefresh::always);
}

void OutcomeControl::tap(CallOutcome outcome)
{
    if (!m_call || !m_summary) {
        return;
    }
    const CallOutcome chosen = callRating::toggled(m_summary->outcomeOf(*m_call).outcome, outcome);
    m_summary->setOutcome(*m_call, chosen);
    // A refused save is taken back (and said in the card): the thumbs show what is stored.
    showOutcome(m_summary->outcomeOf(*m_call).outcome);
}

void OutcomeControl::showOutcome(CallOutcome outcome)
{
    showRatingThumbs(*this, *m_up, *m_down, outcome);
}

void OutcomeControl::noteEdited()
{
    if (!m_call) {
        return;
    }
    m_noteCall = m_call;
    m_noteTimer->start(notePause);
}

void OutcomeControl::saveNote()
{
    m_noteTimer->stop();
    const std::optional<QUuid> call = std::exchange(m_noteCall, std::nullopt);
    if (!call || !m_summary) {
        return;
    }
    const QString text = m_note->text();
    if (text != m_summary->outcomeOf(*call).note) {
        m_summary->setNote(*call, text);
    }
}

void OutcomeControl::reload(NoteRefresh refresh)
{
    const CallRating rating = m_call && m_summary ? m_summary->outcomeOf(*m_call) : CallRating();
    showOutcome(rating.outcome);
    // Text being typed stays: it is saved when typing pauses or the field is left.
    const bool typing = m_note->hasFocus() || m_noteCall;
    if ((refresh == NoteRefresh::always || !typing) && m_note->text() != rating.note) {
        const QSignalBlocker blocker(m_note);
        m_note->setText(rating.note);
    }
}
