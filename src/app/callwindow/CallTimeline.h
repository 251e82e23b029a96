#pragma once

#include "records/Suggestion.h"
#include "transcription/Transcript.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

// One displayed transcript row: a finished line, or a speaker's text still in progress.
struct LineView {
    Speaker speaker = Speaker::me;
    QString text;
    bool isFinal = true;

    bool operator==(const LineView&) const = default;
};

// What the call window's column shows, worked out from the transcript and the suggestions alone: the
// finished lines cut into runs, each suggestion placed after the lines said up to its time, the
// speakers' in-progress text and whether a reply is awaited. Rebuilt on every change; the view keeps
// its widgets by block identity, so a block keeps its card while it grows.
struct CallTimeline {
    struct Block {
        enum class Kind { lines, suggestion };

        Kind kind = Kind::lines;
        QList<TranscriptLine> lines; // a non-empty run for `lines`
        Suggestion suggestion; // for `suggestion`

        // The first line's id for a run of lines, the suggestion's id for a suggestion.
        QUuid id() const { return kind == Kind::lines ? lines.constFirst().id : suggestion.id; }
    };

    // Where the in-progress rows go: inside the last block's card when that block is a run of
    // lines, else in a card of their own after the blocks.
    enum class InProgressPlace { none, lastBlock, ownCard };

    QList<Block> blocks;
    QList<LineView> inProgress; // `me` before `them`; never final
    InProgressPlace inProgressPlace = InProgressPlace::none;
    bool showsWaiting = false;

    static CallTimeline build(const QList<TranscriptLine>& lines, const QList<Suggestion>& history,
        const QHash<Speaker, QString>& inProgressText, bool isWaiting);
};
