// Figures for the tool server, one per line as "name value unit". The reference MCP server
// (@modelcontextprotocol/server-everything, installed by npm ci in bench/mcp/reference) is
// started and timed the same way, over pipes, when node and its node_modules are there.

#include "BenchStore.h"
#include "common/Dates.h"
#include "common/Uuid.h"
#include "store/Store.h"
#include "store/StoreContext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double microsecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void print(const char* name, double value, const char* unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

// A server child process on two pipes, spawned without any Qt machinery in between.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnvironment)
    {
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> environment = extraEnvironment;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            const bool overridden = std::any_of(extraEnvironment.begin(), extraEnvironment.end(),
                [&](const std::string& x) { return x.rfind(name + '=', 0) == 0; });
            if (!overridden) {
                environment.push_back(entry);
            }
        }
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& e : environment) {
            envp.push_back(const_cast<char*>(e.c_str()));
        }
        envp.push_back(nullptr);
        const int spawned = ::posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        m_write = in[1];
        m_read = out[0];
        if (spawned != 0) {
            m_pid = -1;
        }
    }

    ~Child()
    {
        if (m_write >= 0) {
            ::close(m_write);
        }
        if (m_pid > 0) {
            int status = 0;
            // End of input ends our server; the reference server may need a signal.
            for (int i = 0; i < 200 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i) {
                ::usleep(10000);
                if (i == 50) {
                    ::kill(m_pid, SIGTERM);
                }
            }
            if (::waitpid(m_pid, &status, WNOHANG) == 0) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
            }
        }
        if (m_read >= 0) {
            ::close(m_read);
        }
    }

    bool ok() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }

    bool send(const std::string& line)
    {
        const std::string bytes = line + '\n';
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_write, bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }

    // The next line of output, or nothing after `timeoutMs` or at end of output.
    std::optional<std::string> readLine(int timeoutMs = 30000)
    {
        while (true) {
            if (const size_t end = m_buffer.find('\n'); end != std::string::npos) {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                return line;
            }
            pollfd fd { m_read, POLLIN, 0 };
            if (::poll(&fd, 1, timeoutMs) <= 0) {
                return std::nullopt;
            }
            char chunk[65536];
            const ssize_t n = ::read(m_read, chunk, sizeof chunk);
            if (n <= 0) {
                return std::nullopt;
            }
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
    }

    std::optional<std::string> request(const std::string& line)
    {
        if (!send(line)) {
            return std::nullopt;
        }
        return readLine();
    }

private:
    pid_t m_pid = -1;
    int m_write = -1;
    int m_read = -1;
    std::string m_buffer;
};

const std::string initialize =
    R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18",)"
    R"("capabilities":{},"clientInfo":{"name":"bench","version":"1"}}})";

// Processor time of all the process's threads so far, in microseconds: unlike wall time it
// does not grow when other work shares the machine's cores.
double cpuMicroseconds(pid_t pid)
{
    double total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (stat.open(QIODevice::ReadOnly)) {
            total += stat.readAll().split(' ').first().toDouble() / 1000.0;
        }
    }
    return total;
}

// Spawn to the initialize response, in microseconds, as the median of `runs`.
// `cpuMedian` receives the median processor time the child used until it answered.
std::optional<double> startupMedian(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
    int runs, double* cpuMedian = nullptr)
{
    std::vector<double> times;
    std::vector<double> cpu;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        Child child(argv, environment);
        if (!child.ok() || !child.request(initialize)) {
            return std::nullopt;
        }
        times.push_back(microsecondsSince(start));
        cpu.push_back(cpuMicroseconds(child.pid()));
    }
    if (cpuMedian) {
        *cpuMedian = median(cpu);
    }
    return median(times);
}

std::string toolCall(const char* tool, const std::string& arguments)
{
    return R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":")" + std::string(tool)
        + R"(","arguments":)" + arguments + "}}";
}

// Median round trip of one request line, in microseconds; nothing when a response fails.
std::optional<double> roundTripMedian(
    Child& child, const std::string& line, int runs, const char* mustContain, double* serverCpuMicroseconds = nullptr)
{
    std::vector<double> times;
    const double cpuBefore = cpuMicroseconds(child.pid());
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        const auto response = child.request(line);
        times.push_back(microsecondsSince(start));
        if (!response || response->find(mustContain) == std::string::npos
            || response->find("isError") != std::string::npos) {
            std::fprintf(stderr, "unexpected response: %.300s\n", response ? response->c_str() : "(none)");
            return std::nullopt;
        }
    }
    if (serverCpuMicroseconds) {
        *serverCpuMicroseconds = (cpuMicroseconds(child.pid()) - cpuBefore) / runs;
    }
    return median(times);
}

double residentMegabytes(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    return 0;
}

struct Extras {
    QUuid assistantWithQA;
    QUuid longCall;
};

// The shared benchmark store plus what these figures need: an assistant with 200 Q&A items
// and a call with 1,000 lines. Kept as its own cached copy so the shared file stays as made.
std::optional<Extras> prepareStore(const QString& path)
{
    const QString qaName = QStringLiteral("Assistant with Q&A");
    if (!QFileInfo::exists(path)) {
        const auto shared = benchStore::ensureBenchStore();
        if (!shared) {
            std::fprintf(stderr, "bench store: %s\n", qUtf8Printable(shared.error().message));
            return std::nullopt;
        }
        QFile::remove(path + QStringLiteral(".partial"));
        if (!QFile::copy(*shared, path + QStringLiteral(".partial"))) {
            return std::nullopt;
        }
        {
            auto store = Store::open(path + QStringLiteral(".partial"));
            if (!store) {
                return std::nullopt;
            }
            StoreContext context(*store);
            Assistant assistant = Assistant::make(qaName, AssistantTemplate::interview);
            context.insert(assistant);
            for (int i = 0; i < 200; ++i) {
                QAItem item = QAItem::make(QStringLiteral("Question number %1 about the role?").arg(i),
                    QStringLiteral("A prepared answer of a few sentences, number %1.").arg(i), QStringLiteral("en"),
                    QStringLiteral("manual"));
                item.assistant = assistant.id;
                context.insert(item);
            }
            context.insert(benchStore::makeBenchCall(assistant.id, std::nullopt, 700000000.0, 1000));
            if (!context.save()) {
                return std::nullopt;
            }
        }
        QFile::rename(path + QStringLiteral(".partial"), path);
    }
    auto store = Store::open(path);
    if (!store) {
        return std::nullopt;
    }
    StoreContext context(*store);
    for (const Assistant& assistant : context.fetch<Assistant>(Query::all()).value_or(std::vector<Assistant> {})) {
        if (assistant.name == qaName) {
            const auto calls = context.fetch<Call>(Query::ofAssistant(assistant.id));
            if (calls && calls->size() == 1) {
                return Extras { assistant.id, calls->front().id };
            }
        }
    }
    return std::nullopt;
}

std::string text(const QUuid& id)
{
    return uuid::toText(id).toStdString();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    QTemporaryDir home;
    const std::string homePath = home.path().toStdString();
    const std::vector<std::string> environment { "HOME=" + homePath, "XDG_DATA_HOME=" + homePath + "/data",
        "XDG_CONFIG_HOME=" + homePath + "/config" };
    const std::vector<std::string> ours { QUILLORA_BINARY, "--mcp" };

    // The first start creates the store file; the timed ones open it.
    startupMedian(ours, environment, 1);
    double ourStartupCpu = 0;
    const auto ourStartup = startupMedian(ours, environment, 31, &ourStartupCpu);
    if (!ourStartup) {
        std::fprintf(stderr, "quillora --mcp did not answer initialize\n");
        return 1;
    }
    print("mcp.spawn_to_initialize_ms", *ourStartup / 1000, "ms");
    print("mcp.spawn_to_initialize_cpu_ms", ourStartupCpu / 1000, "ms");

    const QString node = QStringLiteral(QUILLORA_NODE);
    const QString reference = QStringLiteral(
        QUILLORA_MCP_REFERENCE_DIR "/node_modules/@modelcontextprotocol/server-everything/dist/index.js");
    if (!node.isEmpty() && QFileInfo::exists(reference)) {
        double referenceCpu = 0;
        const auto referenceStartup =
            startupMedian({ node.toStdString(), reference.toStdString(), "stdio" }, environment, 11, &referenceCpu);
        if (referenceStartup) {
            print("mcp.reference_spawn_to_initialize_ms", *referenceStartup / 1000, "ms");
            print("mcp.reference_spawn_to_initialize_cpu_ms", referenceCpu / 1000, "ms");
            print("mcp.startup_ratio_vs_reference", *ourStartup / *referenceStartup, "x");
        } else {
            std::fprintf(stderr, "the reference server did not answer initialize\n");
        }
    } else {
        std::fprintf(stderr, "reference server skipped: node or bench/mcp/reference/node_modules missing (npm ci)\n");
    }

    {
        Child child(ours, environment);
        if (!child.request(initialize)) {
            return 1;
        }
        child.request(R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})");
        const auto ping = roundTripMedian(child, R"({"jsonrpc":"2.0","id":3,"method":"ping"})", 5000, "\"result\"");
        if (ping) {
            print("mcp.ping_roundtrip_us", *ping, "us");
        }
        print("mcp.idle_rss_mb", residentMegabytes(child.pid()), "MB");
    }

    // The large store, placed where the server looks for it.
    const QString cached =
        QFileInfo(benchStore::defaultPath()).absolutePath() + QStringLiteral("/mcp-Assistants.store");
    const auto extras = prepareStore(cached);
    if (!extras) {
        std::fprintf(stderr, "could not prepare the benchmark store\n");
        return 1;
    }
    QTemporaryDir bigHome;
    QDir().mkpath(bigHome.filePath(QStringLiteral("data/Quillora")));
    const QString linked = bigHome.filePath(QStringLiteral("data/Quillora/Assistants.store"));
    if (!QFile::link(cached, linked)) {
        return 1;
    }
    const std::string bigPath = bigHome.path().toStdString();
    Child child(
        ours, { "HOME=" + bigPath, "XDG_DATA_HOME=" + bigPath + "/data", "XDG_CONFIG_HOME=" + bigPath + "/config" });
    if (!child.request(initialize)) {
        return 1;
    }
    double listCallsCpu = 0;
    double getCallCpu = 0;
    double getAssistantCpu = 0;
    const auto listCalls = roundTripMedian(child, toolCall("list_calls", R"({"assistant":"Assistant 7","limit":200})"),
        100, "summary_preview", &listCallsCpu);
    const auto getCall = roundTripMedian(
        child, toolCall("get_call", R"({"call":")" + text(extras->longCall) + "\"}"), 100, "lines", &getCallCpu);
    const auto getAssistant =
        roundTripMedian(child, toolCall("get_assistant", R"({"assistant":")" + text(extras->assistantWithQA) + "\"}"),
            100, "qa", &getAssistantCpu);
    if (listCalls) {
        print("mcp.list_calls_200_ms", *listCalls / 1000, "ms");
        print("mcp.list_calls_200_cpu_ms", listCallsCpu / 1000, "ms");
    }
    if (getCall) {
        print("mcp.get_call_1000_lines_ms", *getCall / 1000, "ms");
        print("mcp.get_call_1000_lines_cpu_ms", getCallCpu / 1000, "ms");
    }
    if (getAssistant) {
        print("mcp.get_assistant_200_qa_ms", *getAssistant / 1000, "ms");
        print("mcp.get_assistant_200_qa_cpu_ms", getAssistantCpu / 1000, "ms");
    }
    print("mcp.large_store_rss_mb", residentMegabytes(child.pid()), "MB");
    return listCalls && getCall && getAssistant ? 0 : 1;
}
