#include "app/widgets/AccessibleFrame.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace {

constexpr char frameProperty[] = "quilloraAccessibleFrame";

// Asked for each class of an object, most derived first: the window's own class answers before Qt's
// interface for QWidget does.
QAccessibleInterface* frameInterface(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType() || className != QLatin1String(object->metaObject()->className())
        || !object->property(frameProperty).toBool()) {
        return nullptr;
    }
    auto* widget = static_cast<QWidget*>(object);
    // Without an accessible name of its own, a window is named by its title.
    return widget->isWindow() ? new QAccessibleWidget(widget, QAccessible::Window) : nullptr;
}

} // namespace

void presentAsFrame(QWidget* window)
{
    static const bool installed = [] {
        QAccessible::installFactory(&frameInterface);
        return true;
    }();
    Q_UNUSED(installed);
    window->setProperty(frameProperty, true);
}
