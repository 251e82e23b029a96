#pragma once

#include <QString>

class QFrame;
class QLabel;
class QWidget;

// The guide's small texts, shared by its steps.
namespace guideLabels {

// A secondary line of plain text, wrapped.
QLabel* caption(const QString& text, QWidget* parent);
// A bold title.
QLabel* title(const QString& text, QWidget* parent);
QFrame* divider(QWidget* parent);
// A field's visible label, tied to the field so that screen readers announce the field by it (Qt names a
// combo box on Linux by its current value).
QLabel* fieldLabel(const QString& text, QWidget* field);

} // namespace guideLabels
