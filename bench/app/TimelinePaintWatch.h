#pragma once

// Notes the first paint of the call window's timeline once it holds more of the counted rows than
// before; what counts is the bench's own.

#include "BenchFigures.h"
#include "app/callwindow/TimelineList.h"
#include "app/callwindow/TimelineModel.h"
#include "app/callwindow/TimelineView.h"

#include <QEvent>
#include <QObject>

#include <functional>
#include <optional>
#include <utility>

namespace bench {

class TimelinePaintWatch : public QObject {
public:
    using Counts = std::function<bool(const TimelineModel& model, int row)>;

    TimelinePaintWatch(TimelineView& timeline, Counts counts)
        : m_timeline(timeline)
        , m_counts(std::move(counts))
    {
        timeline.list()->viewport()->installEventFilter(this);
    }

    std::optional<Steady::time_point> painted;
    int earlier = 0;

    int counted() const
    {
        int count = 0;
        const TimelineModel& model = *m_timeline.model();
        for (int row = 0; row < model.rowCount(); ++row) {
            if (m_counts(model, row)) {
                ++count;
            }
        }
        return count;
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !painted && counted() > earlier) {
            painted = Steady::now();
        }
        return false;
    }

private:
    TimelineView& m_timeline;
    Counts m_counts;
};

} // namespace bench
