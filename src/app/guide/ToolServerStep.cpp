#include "app/guide/ToolServerStep.h"

#include "app/guide/GuideLabels.h"
#include "app/guide/Onboarding.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

ToolServerStep::ToolServerStep(QString executable, QWidget* parent)
    : QWidget(parent)
    , m_executable(std::move(executable))
    , m_copy(new QPushButton(this))
{
    setObjectName(QStringLiteral("toolServer"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    // As compact as the optional section it sits in.
    row->setSpacing(2);
    auto* text = new QVBoxLayout;
    text->addWidget(guideLabels::title(tr("Claude Code (MCP)"), this));
    text->addWidget(guideLabels::caption(
        tr("Lets Claude Code read and edit your assistants. Paste the command in a terminal."), this));
    row->addLayout(text, 1);
    m_copy->setObjectName(QStringLiteral("copyCommand"));
    m_copy->setAutoDefault(false);
    m_copy->setToolTip(command());
    row->addWidget(m_copy, 0, Qt::AlignVCenter);
    connect(m_copy, &QPushButton::clicked, this, &ToolServerStep::copy);
    reset();
}

QString ToolServerStep::command() const
{
    return onboarding::toolServerCommand(m_executable);
}

void ToolServerStep::reset()
{
    m_copy->setText(tr("Copy command"));
    m_copy->setAccessibleName(m_copy->text());
}

void ToolServerStep::copy()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(command());
    m_copy->setText(tr("Copied"));
    m_copy->setAccessibleName(m_copy->text());
}
