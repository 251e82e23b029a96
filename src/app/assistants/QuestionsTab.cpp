#include "app/assistants/QuestionsTab.h"

#include "app/assistants/EditorFields.h"
#include "app/assistants/QuestionEditor.h"
#include "app/assistants/QuestionsModel.h"
#include "app/assistants/SaveAction.h"
#include "app/widgets/AppStyle.h"
#include "common/Dates.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

QuestionsTab::QuestionsTab(StoreHolder* holder, SaveAction* save, ShownRecord shown, QWidget* parent)
    : DetailTab(holder, save, shown, parent)
    , m_search(new QLineEdit(this))
    , m_add(new QPushButton(tr("Add question"), this))
    , m_model(new QuestionsModel(shown.id, this))
    , m_filter(new QuestionFilter(this))
    , m_listArea(new QStackedWidget(this))
    , m_list(new QListView(m_listArea))
    , m_editorArea(new QStackedWidget(this))
    , m_editor(new QuestionEditor(m_editorArea))
{
    m_search->setObjectName(QStringLiteral("searchQuestions"));
    m_search->setPlaceholderText(tr("Search questions"));
    m_search->setAccessibleName(m_search->placeholderText());
    m_search->setClearButtonEnabled(true);
    m_add->setObjectName(QStringLiteral("addQuestion"));
    m_list->setObjectName(QStringLiteral("questions"));
    m_list->setAccessibleName(tr("Questions"));
    m_list->setWordWrap(true);
    m_filter->setSourceModel(m_model);
    m_list->setModel(m_filter);

    auto* empty = new QWidget(m_listArea);
    auto* emptyLayout = new QVBoxLayout(empty);
    emptyLayout->addStretch();
    emptyLayout->addWidget(editorFields::placeholder(tr("No questions"), empty));
    emptyLayout->addWidget(editorFields::help(
        tr("When the other person asks something similar, the suggestion uses the answer from here."), empty));
    emptyLayout->addStretch();
    m_listArea->addWidget(m_list);
    m_listArea->addWidget(empty);
    m_editorArea->addWidget(editorFields::placeholder(tr("Choose a question or create one with +."), m_editorArea));
    m_editorArea->addWidget(m_editor);

    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(m_search, 1);
    searchRow->addWidget(m_add);
    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addLayout(searchRow);
    leftLayout->addWidget(m_listArea, 1);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(left);
    splitter->addWidget(m_editorArea);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) {
        {
            // Hiding the chosen item leaves it in the editor.
            const QScopedValueRollback quiet(m_quiet, true);
            m_filter->setSearch(text);
        }
        showCurrent();
    });
    connect(m_add, &QPushButton::clicked, this, &QuestionsTab::addQuestion);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (!m_quiet) {
            choose(
                current.isValid() ? std::optional<QUuid>(current.data(QuestionsModel::IdRole).toUuid()) : std::nullopt);
        }
    });
    connect(m_editor, &QuestionEditor::questionEdited, this, [this](const QUuid& id, const QString& text) {
        editItem(id, [&](QAItem& item) { item.question = text; });
        saver().saveSoon();
    });
    connect(m_editor, &QuestionEditor::answerEdited, this, [this](const QUuid& id, const QString& text) {
        editItem(id, [&](QAItem& item) { item.answer = text; });
        saver().saveSoon();
    });
    connect(m_editor, &QuestionEditor::languageChosen, this, [this](const QUuid& id, const QString& code) {
        editItem(id, [&](QAItem& item) { item.language = code; });
        (void)saver().save();
    });
    connect(m_editor, &QuestionEditor::editingFinished, this, [this] { saver().flush(); });
    connect(m_editor, &QuestionEditor::removeConfirmed, this, [this](const QUuid& id) {
        if (!hasStore()) {
            return;
        }
        context().remove<QAItem>(id);
        (void)saver().save();
        refresh();
    });
}

void QuestionsTab::refresh()
{
    if (!hasStore()) {
        return;
    }
    m_model->setSecondaryColor(appStyle::textColor(*m_list, appStyle::secondaryOpacity));
    {
        // A row that goes away moves the current index; that is no choice of the user.
        const QScopedValueRollback quiet(m_quiet, true);
        m_model->reload(context());
    }
    m_listArea->setCurrentIndex(m_model->rowCount() == 0 ? 1 : 0);
    if (m_chosen && !rowOf(*m_chosen).isValid()) {
        m_chosen.reset();
    }
    showCurrent();
    showChosen();
}

QModelIndex QuestionsTab::rowOf(const QUuid& id) const
{
    const QModelIndexList found = m_model->match(m_model->index(0, 0), QuestionsModel::IdRole, id, 1, Qt::MatchExactly);
    return found.isEmpty() ? QModelIndex() : found.first();
}

void QuestionsTab::showCurrent()
{
    const QScopedValueRollback quiet(m_quiet, true);
    const QModelIndex row = m_chosen ? m_filter->mapFromSource(rowOf(*m_chosen)) : QModelIndex();
    m_list->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
}

void QuestionsTab::addQuestion()
{
    if (!hasStore()) {
        return;
    }
    QAItem item = QAItem::make(QString(), QString(), QString(), QStringLiteral("manual"));
    item.assistant = shown().id;
    context().insert(item);
    if (!saver().save()) {
        context().remove<QAItem>(item.id);
        return;
    }
    // A search that hides empty questions would hide the new item.
    m_search->clear();
    m_chosen = item.id;
    refresh();
    m_editor->focusQuestion();
}

void QuestionsTab::choose(const std::optional<QUuid>& item)
{
    saver().flush();
    m_chosen = item;
    showChosen();
}

void QuestionsTab::showChosen()
{
    std::optional<QAItem> item;
    if (m_chosen && hasStore()) {
        item = context().fetchOne<QAItem>(*m_chosen).value_or(std::nullopt);
    }
    if (item) {
        m_editor->show(*item);
    }
    m_editorArea->setCurrentIndex(item ? 1 : 0);
}

template <typename Change> void QuestionsTab::editItem(const QUuid& id, Change change)
{
    edit<QAItem>(id, [&](QAItem& item) {
        change(item);
        item.updatedAt = dates::now();
    });
}
