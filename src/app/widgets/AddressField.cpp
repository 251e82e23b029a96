#include "app/widgets/AddressField.h"

#include "common/WebAddress.h"

#include <QKeyEvent>
#include <QLabel>

AddressField::AddressField(Settings& settings, SettingKey key, QLabel* status, QWidget* parent)
    : QLineEdit(parent)
    , m_settings(&settings)
    , m_key(key)
    , m_status(status)
{
    setPlaceholderText(settingKey::defaultValue(key).toString());
    setInputMethodHints(Qt::ImhUrlCharactersOnly | Qt::ImhNoAutoUppercase);
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText);
    QPalette colours = m_status->palette();
    colours.setColor(QPalette::WindowText, QColor(200, 40, 40));
    m_status->setPalette(colours);
    m_status->hide();
    connect(this, &QLineEdit::editingFinished, this, [this] {
        if (isModified()) {
            store();
        }
    });
    connect(m_settings, &Settings::changed, this, [this](SettingKey changed) {
        if (changed == m_key && !isModified()) {
            load();
        }
    });
    load();
}

void AddressField::load()
{
    setText(m_settings->contains(m_key) ? m_settings->textOr(m_key, QString()) : QString());
    m_status->hide();
    setAccessibleDescription(QString());
}

void AddressField::store()
{
    const QString entered = text().trimmed();
    if (!entered.isEmpty() && !webAddress::parse(entered)) {
        complain(tr("Enter a web address that starts with http:// or https://."));
        return;
    }
    setModified(false);
    if (entered.isEmpty()) {
        m_settings->remove(m_key);
    } else {
        m_settings->setText(m_key, entered);
    }
    load();
}

void AddressField::complain(const QString& text)
{
    m_status->setText(text);
    m_status->setAccessibleName(text);
    m_status->show();
    setAccessibleDescription(text);
}

void AddressField::keyPressEvent(QKeyEvent* event)
{
    QLineEdit::keyPressEvent(event);
    // Return finishes this field's editing; in a dialog it must not also press the default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
    }
}
