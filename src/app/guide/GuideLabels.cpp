#include "app/guide/GuideLabels.h"

#include <QFrame>
#include <QLabel>

namespace guideLabels {

QLabel* caption(const QString& text, QWidget* parent)
{
    auto* caption = new QLabel(text, parent);
    caption->setWordWrap(true);
    caption->setTextFormat(Qt::PlainText);
    caption->setForegroundRole(QPalette::PlaceholderText);
    caption->setAccessibleName(text);
    return caption;
}

QLabel* title(const QString& text, QWidget* parent)
{
    auto* title = new QLabel(text, parent);
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    title->setAccessibleName(text);
    return title;
}

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel* fieldLabel(const QString& text, QWidget* field)
{
    auto* label = new QLabel(text, field->parentWidget());
    label->setBuddy(field);
    return label;
}

} // namespace guideLabels
