#pragma once

#include "common/Error.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

class Settings;

// A Whisper model that can be downloaded: one entry of the model list.
struct WhisperModelEntry {
    QString id; // "tiny"
    QString name; // "Whisper tiny (multilingual)"
    QString file; // "ggml-tiny.bin", a plain file name
    QUrl url;
    qint64 bytes = 0;
    QByteArray sha256; // lower-case hex; empty when only `sha1` is published
    QByteArray sha1;
    QStringList languages; // "multilingual", or language codes

    bool operator==(const WhisperModelEntry&) const = default;
};

namespace whisperModels {

// Where models are installed: $XDG_DATA_HOME/Quillora/speech/whisper.
QString folder();
QString pathFor(const QString& file);

// The list used when "speechModelListURL" is empty: the multilingual tiny, base and small models of
// whisper.cpp's model repository, at a pinned revision, with their published SHA-256 sums.
QList<WhisperModelEntry> builtInList();

// Reads a list: a JSON object {"models": [...]} whose entries have `id`, `name`, `file`, `url`,
// `bytes`, `sha256` (or `sha1`) and `languages`. An entry whose file is not a plain name ending in
// ".bin", whose address is not http(s) or whose checksum is not hexadecimal of the right length
// makes the whole list refused: it would otherwise write outside the models' folder or install an
// unchecked file.
Result<QList<WhisperModelEntry>> parseList(const QByteArray& json);

// The file names of the installed models, in name order.
QStringList installed();

// The model the engine uses: `chosen` when it is installed, else the first installed one. The
// error is the user's message when none is installed.
Result<QString> installedPath(const QString& chosen);

// The entry the guide downloads: "base" when the list has it, else the first.
WhisperModelEntry recommended(const QList<WhisperModelEntry>& list);

// Makes the installed `file` the model transcription uses, on the Whisper engine.
void use(Settings& settings, const QString& file);

// "75 MB": a size shown in a list.
QString sizeText(qint64 bytes);

} // namespace whisperModels
