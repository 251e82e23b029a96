#pragma once

#include "records/Enums.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <chrono>
#include <memory>
#include <optional>

class Clock;
class ClockTimer;
class QLineEdit;
class QToolButton;
class StoreHolder;
class SummaryService;

// The stored call's rating: thumbs up ("Good call") and thumbs down ("Bad call"), a second tap on the
// chosen one clearing it, and a one-line note. The note is saved a short pause after typing stops, on
// Return and on focus loss, always for the call it was typed for, even when another call is shown by
// then. The shown values are read again whenever the store changes (the note only while its field has
// no focus).
class OutcomeControl : public QWidget {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds notePause { 500 };

    OutcomeControl(SummaryService* summary, StoreHolder* holder, Clock& clock, QWidget* parent);
    ~OutcomeControl() override;

    // The call rated here; a note still waiting for its pause is saved for the previous call first.
    void setCall(const std::optional<QUuid>& callID);
    const std::optional<QUuid>& call() const { return m_call; }

private:
    void tap(CallOutcome outcome);
    void showOutcome(CallOutcome outcome);
    void noteEdited();
    void saveNote();
    enum class NoteRefresh { always, unlessTyping };
    void reload(NoteRefresh refresh);

    QPointer<SummaryService> m_summary;
    QPointer<StoreHolder> m_holder;
    QToolButton* m_up;
    QToolButton* m_down;
    QLineEdit* m_note;
    std::unique_ptr<ClockTimer> m_noteTimer;
    std::optional<QUuid> m_call;
    // The call the field's unsaved text was typed for.
    std::optional<QUuid> m_noteCall;
};
