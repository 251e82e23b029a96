#include "store/CallRating.h"

#include "store/StoreContext.h"

namespace callRating {

CallOutcome toggled(CallOutcome current, CallOutcome tapped)
{
    return current == tapped ? CallOutcome::none : tapped;
}

Result<Call> write(StoreContext& context, const Call& call, const Change& change)
{
    Call changed = call;
    if (change.outcome) {
        changed.outcome = callOutcome::rawText(*change.outcome);
    }
    if (change.note) {
        changed.outcomeNote = *change.note;
    }
    context.update(changed);
    if (Result<void> saved = context.save(); !saved) {
        context.update(call);
        return std::unexpected(saved.error());
    }
    return changed;
}

std::optional<CallRating> read(StoreContext& context, const QUuid& callID)
{
    auto found = context.fetchOne<Call>(callID);
    if (!found || !*found) {
        return std::nullopt;
    }
    return CallRating { (*found)->outcomeValue(), (*found)->outcomeNote };
}

} // namespace callRating
