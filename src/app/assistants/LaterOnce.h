#pragma once

#include <QObject>

#include <functional>

// Runs an action in a later turn of the event loop, once however often it was asked for before then.
// A member of its context object: the waiting call is dropped when the context goes.
class LaterOnce {
public:
    LaterOnce(QObject* context, std::function<void()> action);

    void request();

private:
    QObject* m_context;
    std::function<void()> m_action;
    bool m_queued = false;
};
