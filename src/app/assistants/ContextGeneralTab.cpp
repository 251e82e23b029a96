#include "app/assistants/ContextGeneralTab.h"

#include "app/assistants/EditorFields.h"
#include "app/assistants/SaveAction.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

ContextGeneralTab::ContextGeneralTab(StoreHolder* holder, SaveAction* save, ShownRecord shown, QWidget* parent)
    : DetailTab(holder, save, shown, parent)
    , m_name(new QLineEdit(this))
    , m_stage(new QLineEdit(this))
    , m_suggestions(new QToolButton(this))
    , m_stages(new QMenu(this))
{
    m_name->setObjectName(QStringLiteral("name"));
    m_stage->setObjectName(QStringLiteral("stage"));
    m_stage->setPlaceholderText(tr("e.g. First interview"));
    m_suggestions->setObjectName(QStringLiteral("stageSuggestions"));
    m_suggestions->setText(tr("Suggestions"));
    m_suggestions->setAccessibleName(m_suggestions->text());
    m_suggestions->setPopupMode(QToolButton::InstantPopup);
    m_suggestions->setMenu(m_stages);

    auto* stageRow = new QHBoxLayout;
    stageRow->addWidget(m_stage, 1);
    stageRow->addWidget(m_suggestions);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(editorFields::label(tr("Name"), m_name, this));
    layout->addWidget(m_name);
    layout->addSpacing(8);
    layout->addWidget(editorFields::label(tr("Stage"), m_stage, this));
    layout->addLayout(stageRow);
    layout->addWidget(
        editorFields::help(tr("Where this process stands. It goes into suggestions with the context files."), this));
    layout->addStretch();

    bind(m_name, &CallContext::name);
    bind(m_stage, &CallContext::stage);
}

void ContextGeneralTab::refresh()
{
    if (!hasStore()) {
        return;
    }
    const auto callContext = context().fetchOne<CallContext>(shown().id);
    if (!callContext || !*callContext) {
        return;
    }
    editorFields::show(*m_name, (*callContext)->name);
    editorFields::show(*m_stage, (*callContext)->stage);

    QStringList stages;
    if ((*callContext)->assistant) {
        const auto owner = context().fetchOne<Assistant>(*(*callContext)->assistant);
        if (owner && *owner) {
            stages = (*owner)->stages();
        }
    }
    if (stages == m_shownStages && !m_stages->isEmpty()) {
        return;
    }
    m_shownStages = stages;
    m_stages->clear();
    for (const QString& stage : stages) {
        connect(m_stages->addAction(stage), &QAction::triggered, this, [this, stage] { setStage(stage); });
    }
    m_suggestions->setEnabled(!stages.isEmpty());
}

void ContextGeneralTab::setStage(const QString& stage)
{
    m_stage->setText(stage);
    if (edit<CallContext>(shown().id, [&](CallContext& callContext) { callContext.stage = stage; })) {
        (void)saver().save();
    }
}
