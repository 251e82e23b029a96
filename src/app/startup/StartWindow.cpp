#include "app/startup/StartWindow.h"

#include "store/StoreHolder.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

StartWindow::StartWindow(StoreHolder* holder, const QString& loadError, QWidget* parent)
    : QWidget(parent)
    , m_holder(holder)
    , m_error(new QLabel(loadError, this))
    , m_assistants(new QListWidget(this))
{
    setWindowTitle(tr("Quillora"));
    m_error->setObjectName(QStringLiteral("loadError"));
    m_error->setWordWrap(true);
    m_error->setVisible(!loadError.isEmpty());
    m_assistants->setObjectName(QStringLiteral("assistants"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_error);
    layout->addWidget(m_assistants);
    resize(360, 420);
    if (m_holder) {
        connect(m_holder, &StoreHolder::changed, this, &StartWindow::reload);
    }
    reload();
}

void StartWindow::reload()
{
    m_assistants->clear();
    if (!m_holder) {
        return;
    }
    auto assistants = m_holder->context().fetch<Assistant>(Query::all(Order::oldestFirst));
    if (!assistants) {
        m_error->setText(assistants.error().message);
        m_error->setVisible(true);
        return;
    }
    for (const Assistant& assistant : *assistants) {
        if (!assistant.archived) {
            m_assistants->addItem(assistant.name);
        }
    }
}
