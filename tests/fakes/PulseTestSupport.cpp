#include "fakes/PulseTestSupport.h"

#include <QProcess>

#include <pulse/pulseaudio.h>

#include <vector>

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

int disconnectClientsOf(qint64 pid)
{
    // pactl has no command for it; the daemon's own protocol does.
    struct State {
        qint64 pid;
        std::vector<uint32_t> clients;
        bool listed = false;
        int answered = 0;
        int dropped = 0;
    } state { pid, {} };
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Quillora test");
    const auto runUntil = [&](const auto& done) {
        while (
            !done() && PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) && pa_mainloop_iterate(loop, 1, nullptr) >= 0)
            ;
    };
    const auto unref = [](pa_operation* operation) { operation ? pa_operation_unref(operation) : void(); };
    pa_context_connect(context, nullptr, PA_CONTEXT_NOFLAGS, nullptr);
    runUntil([&] { return pa_context_get_state(context) == PA_CONTEXT_READY; });
    const auto listed = [](pa_context*, const pa_client_info* info, int last, void* data) {
        auto* state = static_cast<State*>(data);
        const char* owner = info ? pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID) : nullptr;
        if (owner && QByteArray(owner).toLongLong() == state->pid) {
            state->clients.push_back(info->index);
        }
        state->listed = state->listed || last != 0;
    };
    unref(pa_context_get_client_info_list(context, listed, &state));
    runUntil([&] { return state.listed; });
    std::erase(state.clients, pa_context_get_index(context)); // this very connection
    const auto killed = [](pa_context*, int success, void* data) {
        auto* state = static_cast<State*>(data);
        ++state->answered;
        state->dropped += success ? 1 : 0;
    };
    for (const uint32_t client : state.clients) {
        unref(pa_context_kill_client(context, client, killed, &state));
    }
    runUntil([&] { return state.answered == static_cast<int>(state.clients.size()); });
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_mainloop_free(loop);
    return state.dropped;
}

} // namespace pulseTest
