#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

// Helpers for tests against the real PulseAudio daemon that scripts/with-services starts (null
// sinks "callout", the system audio, and "micfeed", whose monitor is the default source).
namespace pulseTest {

// True when the daemon passed its round-trip check (QUILLORA_PULSE_READY=1).
bool ready();

// Runs pactl with the arguments; its standard output, or nothing when it failed.
std::optional<QString> pactl(const QStringList& arguments);

// Writes a spoken phrase (espeak-ng, British English, 150 words a minute) as a WAV file, at
// `rate` when given (resampled by sox, so the daemon need not resample it at all).
QString speak(QTemporaryDir& dir, const QString& phrase, int rate = 0);
// The sample rate of a sink, or 0 when it cannot be read.
int sinkRate(const QString& sink);
// Writes a sine tone (sox) as a 48 kHz mono WAV file.
QString tone(QTemporaryDir& dir, double frequency, double seconds, double amplitude);

// Starts paplay of the file into the sink; returns at once. The player ends by itself.
void play(const QString& file, const QString& sink);

// Has the daemon drop every connection of the process, as if the sound server had gone away for
// it alone; the number of connections dropped.
int disconnectClientsOf(qint64 pid);

// Sets an environment variable for one scope and restores it afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QByteArray& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* m_name;
    std::optional<QByteArray> m_previous;
};

} // namespace pulseTest
