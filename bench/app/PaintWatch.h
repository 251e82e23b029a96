#pragma once

#include <QApplication>
#include <QEvent>

#include <functional>

namespace bench {

// Notes the first paint of the widgets that `match` names, wherever in the application it happens.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(std::function<bool(QObject*)> match)
        : m_match(std::move(match))
    {
        qApp->installEventFilter(this);
    }
    bool painted = false;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_match(watched)) {
            painted = true;
        }
        return false;
    }

private:
    std::function<bool(QObject*)> m_match;
};

} // namespace bench
