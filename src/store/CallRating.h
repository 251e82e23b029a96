#pragma once

#include "common/Error.h"
#include "records/Enums.h"
#include "records/Records.h"

#include <QString>

#include <optional>

class StoreContext;

// A stored call's rating as the windows show it.
struct CallRating {
    CallOutcome outcome = CallOutcome::none;
    QString note;

    bool operator==(const CallRating&) const = default;
};

// The one writer of a call's outcome and note, whichever window or tool starts the change.
namespace callRating {

// What a change sets; an absent field stays as stored.
struct Change {
    std::optional<CallOutcome> outcome;
    std::optional<QString> note;
};

// The outcome a tap on `tapped` chooses: `tapped`, or none when the call has it already, so a second tap
// on the same thumb takes the rating back.
CallOutcome toggled(CallOutcome current, CallOutcome tapped);

// Applies `change` to `call` (read whole, with its blobs) and saves the context. A failed save takes this
// change back, leaving any other pending edit of the context as it was, and returns the store's failure,
// so the call reads as it is stored and the caller says why. Returns the call as saved.
Result<Call> write(StoreContext& context, const Call& call, const Change& change);

// The stored rating; nothing when the call is not in the store.
std::optional<CallRating> read(StoreContext& context, const QUuid& callID);

} // namespace callRating
