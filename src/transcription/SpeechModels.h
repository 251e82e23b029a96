#pragma once

#include "common/Error.h"

#include <QString>
#include <QStringList>

#include <optional>

// An installed on-device speech model for one locale: a folder holding an acoustic model (a
// sub-folder with "mdef"), a language model ("*.lm.bin" or "*.lm") and a pronunciation
// dictionary ("*.dict" or "*.dic").
struct SpeechModel {
    QString locale; // BCP 47 identifier, e.g. "en-US"
    QString acousticModel;
    QString languageModel;
    QString dictionary;
};

namespace speechModels {

// Folders searched for a locale, in order: $XDG_DATA_HOME/Quillora/speech/<locale>, then
// /usr/share/pocketsphinx/model/<locale in lower case>.
QStringList foldersFor(const QString& locale);

// The model installed for the locale, if any.
std::optional<SpeechModel> find(const QString& locale);

// "en_US.UTF-8" → "en-US"; nothing for "C", "POSIX" or an empty text.
QString canonicalLocale(const QString& name);

// The locale to transcribe in: `requested` when not empty or "auto" (it must be installed), else the first
// installed of the system locale, "pt-BR" and "en-US". The error is the user's message.
Result<SpeechModel> resolve(const QString& requested, const QString& systemLocale);

} // namespace speechModels
