#pragma once

#include <QColor>
#include <QFont>

class QWidget;

// The few colours and text sizes the app's windows share, so every card and row reads alike.
namespace appStyle {

QColor red();
QColor blue();
QColor green();
// The widget's text colour at the given opacity (secondary and tertiary text, card backgrounds).
QColor textColor(const QWidget& widget, double opacity);
inline constexpr double secondaryOpacity = 0.6;
inline constexpr double tertiaryOpacity = 0.35;

// A copy of the widget's font at `pixels` high with the given weight.
QFont font(const QWidget& widget, int pixels, QFont::Weight weight = QFont::Normal);
// Sets the widget's text colour (labels, text fields and buttons alike).
void setTextColor(QWidget& widget, const QColor& color);

} // namespace appStyle
