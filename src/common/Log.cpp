#include "common/Log.h"

Q_LOGGING_CATEGORY(lcAssistants, "Vessaro.Quillora.assistants")
Q_LOGGING_CATEGORY(lcLatency, "Vessaro.Quillora.latency")
Q_LOGGING_CATEGORY(lcSummary, "Vessaro.Quillora.summary")
Q_LOGGING_CATEGORY(lcImprovement, "Vessaro.Quillora.improvement")
Q_LOGGING_CATEGORY(lcTranscription, "Vessaro.Quillora.transcription")
Q_LOGGING_CATEGORY(lcAudio, "Vessaro.Quillora.audio")
Q_LOGGING_CATEGORY(lcSuggestions, "Vessaro.Quillora.suggestions")
Q_LOGGING_CATEGORY(lcMcp, "Vessaro.Quillora.mcp")
Q_LOGGING_CATEGORY(lcStartup, "Vessaro.Quillora.startup", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSettings, "Vessaro.Quillora.settings")
Q_LOGGING_CATEGORY(lcUpdates, "Vessaro.Quillora.updates")
