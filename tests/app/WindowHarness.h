#pragma once

// What every window test stands on: a settings file of its own, a store in memory, a loopback model
// server the settings point Claude at, a manual clock for the windows' timers; and the ways a user or a
// screen reader finds a window's controls (by object name, or by the accessible name they are read out
// by), with the sweep that every control has such a name.

#include "fakes/FakeHttpServer.h"
#include "fakes/ManualClock.h"
#include "settings/Settings.h"
#include "store/Store.h"

#include <QAccessible>
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
    // Claude's base address in `settings`; it answers 404 until told otherwise.
    FakeHttpServer model;
    std::shared_ptr<Store> store;
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

// The first `T` under `root` that a screen reader reads out as `name`, preferring a visible one.
template <typename T = QWidget> T* named(const QObject* root, const QString& name)
{
    T* hidden = nullptr;
    for (T* candidate : root->findChildren<T*>()) {
        if (accessibleName(candidate) == name) {
            if (candidate->isVisible()) {
                return candidate;
            }
            hidden = hidden ? hidden : candidate;
        }
    }
    return hidden;
}

// The controls of `window` (buttons, fields, lists, combo boxes) that a screen reader cannot name, or
// names otherwise than their tooltip or their own text says: "Class objectName 'name'" each.
QStringList unnamedControls(const QWidget* window);

// One node of this process's tree as the AT-SPI bus gives it to a screen reader.
struct AccessibleNode {
    QString role;
    QString name;
    QString description;
    QString text;
    bool showing = false;
};

// The tree of process `pid` read over AT-SPI by accessible_window.py (one JSON object a line), while this
// thread's event loop answers; empty, with `error` set, when the helper failed.
QList<AccessibleNode> readThroughAtSpi(qint64 pid, QString* error);
QList<AccessibleNode> accessibleTree(const QByteArray& dump);

} // namespace gui
