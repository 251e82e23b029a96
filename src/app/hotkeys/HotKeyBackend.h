#pragma once

#include <QObject>
#include <QString>

#include <optional>

// One global-shortcut facility of the desktop (X11 key grabs, the portal). It delivers the
// combinations it was given as `activated(id)` on the main thread.
class HotKeyBackend : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // From now on, delivers the combination under `id` where the facility allows it; a
    // combination the facility refuses is logged and never fires.
    virtual void add(quint32 id, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& description) = 0;

Q_SIGNALS:
    void activated(quint32 id);
    // The facility turned out to be missing after all; nothing added to it will fire.
    void unavailable();
};

// The X keysym of a key and its name as xkb spells it ("space", "Return"), for the keys a
// global hot key may use: letters, digits, F1 to F12, Space, Return, Enter, Tab, Escape, Backspace.
struct KeySymbol {
    quint32 keysym = 0;
    QString name;
};
std::optional<KeySymbol> keySymbol(Qt::Key key);

// The combination as a trigger text of the shortcuts specification, e.g. "CTRL+ALT+space".
std::optional<QString> triggerText(Qt::Key key, Qt::KeyboardModifiers modifiers);

// The combination as shown in logs, e.g. "Ctrl+Alt+Space".
QString combinationText(Qt::Key key, Qt::KeyboardModifiers modifiers);
