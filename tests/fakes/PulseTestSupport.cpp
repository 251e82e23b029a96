#include "fakes/PulseTestSupport.h"

#include <QProcess>

namespace pulseTest {

bool ready()
{
    return qgetenv("QUILLORA_PULSE_READY") == "1";
}

std::optional<QString> pactl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return std::nullopt;
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

namespace {

QString run(const QString& program, const QStringList& arguments, const QString& output)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20000) || process.exitCode() != 0) {
        return {};
    }
    return output;
}

} // namespace

QString speak(QTemporaryDir& dir, const QString& phrase, int rate)
{
    static int counter = 0;
    const QString file = dir.filePath(QStringLiteral("phrase%1.wav").arg(++counter));
    const QString spoken = run(QStringLiteral("espeak-ng"),
        { QStringLiteral("-v"), QStringLiteral("en-gb"), QStringLiteral("-s"), QStringLiteral("150"),
            QStringLiteral("-w"), file, phrase },
        file);
    if (spoken.isEmpty() || rate <= 0) {
        return spoken;
    }
    const QString resampled = dir.filePath(QStringLiteral("phrase%1-%2.wav").arg(counter).arg(rate));
    return run(QStringLiteral("sox"), { spoken, QStringLiteral("-r"), QString::number(rate), resampled }, resampled);
}

int sinkRate(const QString& sink)
{
    const std::optional<QString> sinks =
        pactl({ QStringLiteral("list"), QStringLiteral("sinks"), QStringLiteral("short") });
    for (const QString& line : sinks.value_or(QString()).split(QLatin1Char('\n'))) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() >= 4 && fields[1] == sink) {
            const QString spec = fields[3]; // e.g. "s16le 2ch 48000Hz"
            return spec.section(QLatin1Char(' '), -1).chopped(2).toInt();
        }
    }
    return 0;
}

QString tone(QTemporaryDir& dir, double frequency, double seconds, double amplitude)
{
    static int counter = 0;
    const QString file = dir.filePath(QStringLiteral("tone%1.wav").arg(++counter));
    return run(QStringLiteral("sox"),
        { QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("48000"), QStringLiteral("-c"),
            QStringLiteral("1"), QStringLiteral("-b"), QStringLiteral("16"), file, QStringLiteral("synth"),
            QString::number(seconds), QStringLiteral("sine"), QString::number(frequency), QStringLiteral("vol"),
            QString::number(amplitude) },
        file);
}

void play(const QString& file, const QString& sink)
{
    QProcess::startDetached(QStringLiteral("paplay"), { QStringLiteral("-d"), sink, file });
}

ScopedEnvironment::ScopedEnvironment(const char* name, const QByteArray& value)
    : m_name(name)
{
    if (qEnvironmentVariableIsSet(name)) {
        m_previous = qgetenv(name);
    }
    qputenv(name, value);
}

ScopedEnvironment::~ScopedEnvironment()
{
    if (m_previous) {
        qputenv(m_name, *m_previous);
    } else {
        qunsetenv(m_name);
    }
}

} // namespace pulseTest
