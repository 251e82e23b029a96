#pragma once

#include <QList>
#include <QString>

// The status of one step of the first-start guide.
struct StepState {
    enum class Kind {
        working, // an action is running; the text says what
        failed, // the last action failed; the text is the reason
        pending, // not done yet, nothing known against it
        granted, // done
        denied, // refused or not achieved
    };

    Kind kind = Kind::pending;
    QString text;

    static StepState working(QString text) { return { Kind::working, std::move(text) }; }
    static StepState failed(QString text) { return { Kind::failed, std::move(text) }; }
    static StepState pending() { return { Kind::pending, {} }; }
    static StepState granted() { return { Kind::granted, {} }; }
    static StepState denied() { return { Kind::denied, {} }; }

    bool operator==(const StepState&) const = default;
};

// What the guide decides without any window: the count of steps left, the speech model and documents
// folder checks, and the tool-server command.
namespace onboarding {

// The steps that are not granted, plus one when the suggestions are not ready.
int stepsLeft(const QList<StepState>& steps, bool suggestionsReady);
// "Everything is set up.", "1 required step left." or "N required steps left.".
QString stepsLeftText(int left);

// The speech model step's text while it downloads: "Downloading 42%", the share received with the
// fraction dropped, so that 99.9 % shows 99.
QString downloadingText(qint64 received, qint64 total);

// Creates `documents`/Quillora with any missing folders: granted, also when it exists already;
// denied when it cannot be made (a file in the way, no permission).
StepState prepareCallFolder(const QString& documents);
// Granted when `documents`/Quillora is a folder, else `current` unchanged.
StepState callFolderState(const QString& documents, const StepState& current);

// One argument for a POSIX shell: unchanged when it holds only characters no shell treats specially,
// else in single quotes (a quote inside becomes '\'').
QString shellQuoted(const QString& argument);
// "claude mcp add --scope user quillora -- <executable, quoted> --mcp".
QString toolServerCommand(const QString& executable);

} // namespace onboarding
