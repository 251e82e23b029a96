#include "app/callwindow/CallTimeline.h"

CallTimeline CallTimeline::build(const QList<TranscriptLine>& lines, const QList<Suggestion>& history,
    const QHash<Speaker, QString>& inProgressText, bool isWaiting)
{
    CallTimeline timeline;
    qsizetype next = 0;
    for (const Suggestion& suggestion : history) {
        const qsizetype runStart = next;
        // A line said at the very moment of the suggestion counts as heard before it.
        while (next < lines.size() && lines.at(next).date <= suggestion.timestamp) {
            ++next;
        }
        if (next > runStart) {
            timeline.blocks.append(Block { Block::Kind::lines, lines.mid(runStart, next - runStart), {} });
        }
        timeline.blocks.append(Block { Block::Kind::suggestion, {}, suggestion });
    }
    if (next < lines.size()) {
        timeline.blocks.append(Block { Block::Kind::lines, lines.mid(next), {} });
    }

    for (const Speaker speaker : { Speaker::me, Speaker::them }) {
        const auto it = inProgressText.constFind(speaker);
        if (it != inProgressText.cend()) {
            timeline.inProgress.append(LineView { speaker, *it, false });
        }
    }
    if (!timeline.inProgress.isEmpty()) {
        const bool lastIsLines = !timeline.blocks.isEmpty() && timeline.blocks.constLast().kind == Block::Kind::lines;
        timeline.inProgressPlace = lastIsLines ? InProgressPlace::lastBlock : InProgressPlace::ownCard;
    }
    timeline.showsWaiting = isWaiting;
    return timeline;
}
