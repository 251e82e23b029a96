#pragma once

#include <QString>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

// Small pieces every tab of the assistants window builds its forms from, so they read alike.
namespace editorFields {

// A bold field label; its text is also the accessible name of `field` (when given).
QLabel* label(const QString& text, QWidget* field, QWidget* parent);
// Secondary, wrapped help text under a field.
QLabel* help(const QString& text, QWidget* parent);
// Centred secondary text for empty states.
QLabel* placeholder(const QString& text, QWidget* parent);

// Shows a stored value in a field unless the user is typing there (the field has the focus), so a
// refresh after a save or another process's write never takes text away from under the cursor.
// Signals of the field are blocked while the text is set.
void show(QLineEdit& field, const QString& text);
void show(QPlainTextEdit& field, const QString& text);

} // namespace editorFields
