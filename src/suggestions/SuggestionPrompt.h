#pragma once

#include "records/Records.h"
#include "transcription/Transcript.h"

#include <QList>
#include <QString>

#include <optional>
#include <vector>

class StoreContext;

// The two texts a language model receives for a reply suggestion: the system prompt (fixed
// rules plus the assistant's material) and the user message (the recent transcript and an
// instruction pinned to the other person's last line and its language). Pure text assembly.
namespace suggestionPrompt {

// Finished transcript lines sent with a request, both speakers counted.
inline constexpr qsizetype contextLines = 12;
// User-perceived characters the on-device model accepts as system prompt.
inline constexpr qsizetype onDeviceLimit = 8000;

// The fixed rules; also the whole system prompt when no assistant is selected.
QString basePrompt();

struct ContextMaterial {
    CallContext context;
    std::vector<KnowledgeFile> files;
};

QString systemPrompt(const Assistant& assistant, const std::vector<KnowledgeFile>& files,
    const std::vector<QAItem>& prepared, const std::optional<ContextMaterial>& context);
// The same, with the assistant's and the context's files and prepared answers read from the store
// (a failed read counts as none).
QString systemPrompt(StoreContext& store, const Assistant& assistant, const std::optional<CallContext>& context);

// File blocks ordered by import time; nothing when there are no files.
std::optional<QString> knowledgeText(std::vector<KnowledgeFile> files);
// The prepared answers section with its heading; nothing when no item has both texts.
std::optional<QString> preparedAnswersText(std::vector<QAItem> items);

QString transcriptText(const QList<TranscriptLine>& lines);
// `earlierOtherLines` (the other person's lines before the last, oldest first) decide the language
// only when the last line alone is not enough.
QString replyInstruction(const QString& lastOtherLine, const QStringList& earlierOtherLines = {});
QString userMessage(const QList<TranscriptLine>& lines);

} // namespace suggestionPrompt
