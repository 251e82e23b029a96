#pragma once

#include <QString>

#include <mutex>

// A shared library opened where it is first needed rather than with the app: the sound server's, the
// keyring's and the speech engine's libraries, with what they bring along, would otherwise be loaded
// before the first window shows although nothing uses them until the user listens or saves a key.
// Thread-safe; the library stays open until the process ends.
class LazyLibrary {
public:
    explicit LazyLibrary(const char* fileName)
        : m_fileName(fileName)
    {
    }

    // Opens the library the first time; false, with the loader's reason in `loadError`, when it cannot.
    bool load();
    QString loadError();
    // The symbol `name`, or null when the library did not open or lacks it.
    void* symbol(const char* name);

private:
    const char* m_fileName;
    std::once_flag m_once;
    void* m_handle = nullptr;
    QString m_error;
};

// The function `function` of `library` (a LazyLibrary with static storage), typed as its declaration,
// looked up once per call site. Call `library.load()` first where a failure can still be reported.
#define LAZY_CALL(library, function)                                                                                   \
    ([] {                                                                                                              \
        static const auto resolved = reinterpret_cast<decltype(&function)>((library).symbol(#function));               \
        return resolved;                                                                                               \
    }())
