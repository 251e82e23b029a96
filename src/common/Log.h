#pragma once

#include <QLoggingCategory>

// Logging categories "Vessaro.Quillora.<area>". Text that is private (keys, transcripts,
// user content) is never passed to these; callers write "<private>" in its place.
Q_DECLARE_LOGGING_CATEGORY(lcAssistants)
Q_DECLARE_LOGGING_CATEGORY(lcLatency)
Q_DECLARE_LOGGING_CATEGORY(lcSummary)
Q_DECLARE_LOGGING_CATEGORY(lcImprovement)
Q_DECLARE_LOGGING_CATEGORY(lcTranscription)
Q_DECLARE_LOGGING_CATEGORY(lcAudio)
Q_DECLARE_LOGGING_CATEGORY(lcSuggestions)
Q_DECLARE_LOGGING_CATEGORY(lcMcp)
Q_DECLARE_LOGGING_CATEGORY(lcStartup)
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
Q_DECLARE_LOGGING_CATEGORY(lcUpdates)
