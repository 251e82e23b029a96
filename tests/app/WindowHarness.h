#pragma once

// What every window test stands on: a settings file of its own, a store in memory, a loopback model
// server the settings point Claude at, a manual clock for the windows' timers; and the ways a user or a
// screen reader finds a window's controls (by object name, or by the accessible name they are read out
// by), with the sweep that every control has such a name.

#include "AccessibleTree.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/ManualClock.h"
#include "settings/Settings.h"
#include "store/Store.h"

#include <QAccessible>
#include <QApplication>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <functional>
#include <memory>

class StoreContext;

struct WindowHarness {
    WindowHarness();
    virtual ~WindowHarness();

    // Saves what `seed` inserts into the store (through a context of its own).
    bool seed(const std::function<void(StoreContext&)>& seed);
    // The model server answers every request to Claude's messages path with this text, streamed.
    void replyWith(const QStringList& pieces);

    QTemporaryDir directory;
    Settings settings;
    ManualClock clock;
    // Claude's base address in `settings` (the provider is the settings' own until a test chooses one); it
    // answers 404 until told otherwise.
    FakeHttpServer model;
    std::shared_ptr<Store> store;
};

// How long a test waits for an answer of the session's keyring: longer than libsecret's own limit for one
// call (the D-Bus default of 25 s), after which every lookup and save comes back by itself, with its answer
// or with its failure.
constexpr int keyringWait = 40000;

// Takes every source away from the session's sound server, as a computer without a microphone (or any output
// to listen to) has none, by unloading the null sinks whose monitors are its sources; they are loaded again,
// with the session's defaults, when it goes.
class NoSoundSources {
public:
    NoSoundSources();
    ~NoSoundSources();
    NoSoundSources(const NoSoundSources&) = delete;
    NoSoundSources& operator=(const NoSoundSources&) = delete;

    bool removedAll() const;

private:
    QStringList m_unloaded;
};

namespace gui {

// Shows `window` and waits until the X server has it on screen.
bool shown(QWidget* window);

// The accessible name a screen reader reads for `object` (empty when it has none).
QString accessibleName(QObject* object);

// The first `T` under `root` with this object name (any name when empty), or nullptr.
template <typename T = QWidget> T* find(const QObject* root, const QString& objectName = QString())
{
    return root->findChild<T*>(objectName);
}

// The first `T` under `root` named `name` for assistive technology (its accessible name as set, or as its
// accessible interface reads it: a button's text), preferring a visible one.
template <typename T = QWidget> T* named(const QObject* root, const QString& name)
{
    T* hidden = nullptr;
    for (T* candidate : root->findChildren<T*>()) {
        if (candidate->accessibleName() == name || accessibleName(candidate) == name) {
            if (candidate->isVisible()) {
                return candidate;
            }
            hidden = hidden ? hidden : candidate;
        }
    }
    return hidden;
}

// The top-level window with this object name (a dialog another window opened), or nullptr.
template <typename T = QWidget> T* topLevel(const QString& objectName)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == objectName && qobject_cast<T*>(widget)) {
            return qobject_cast<T*>(widget);
        }
    }
    return nullptr;
}

// The controls of `window` (buttons, fields, lists, combo boxes) that a screen reader cannot name, or names
// otherwise than their tooltip or the text they show: "Class objectName 'name'" each.
QStringList unnamedControls(const QWidget* window);

// The tree of process `pid` read over AT-SPI by accessible_window.py, while this thread's event loop
// answers; empty, with `error` set, when the helper failed.
QList<AccessibleNode> readThroughAtSpi(qint64 pid, QString* error);

} // namespace gui
