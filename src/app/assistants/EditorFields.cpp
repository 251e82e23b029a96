#include "app/assistants/EditorFields.h"

#include "app/widgets/AppStyle.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>

namespace editorFields {

QLabel* label(const QString& text, QWidget* field, QWidget* parent)
{
    auto* title = new QLabel(text, parent);
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    if (field) {
        title->setBuddy(field);
        field->setAccessibleName(text);
    }
    return title;
}

QLabel* help(const QString& text, QWidget* parent)
{
    auto* help = new QLabel(text, parent);
    help->setWordWrap(true);
    help->setTextFormat(Qt::PlainText);
    appStyle::setTextColor(*help, appStyle::textColor(*help, appStyle::secondaryOpacity));
    QFont font = help->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    help->setFont(font);
    return help;
}

QLabel* placeholder(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    appStyle::setTextColor(*label, appStyle::textColor(*label, appStyle::secondaryOpacity));
    return label;
}

void show(QLineEdit& field, const QString& text)
{
    if (field.hasFocus() || field.text() == text) {
        return;
    }
    const QSignalBlocker blocker(field);
    field.setText(text);
}

void show(QPlainTextEdit& field, const QString& text)
{
    if (field.hasFocus() || field.toPlainText() == text) {
        return;
    }
    const QSignalBlocker blocker(field);
    field.setPlainText(text);
}

} // namespace editorFields
