#include "app/assistants/QuestionsTab.h"

#include "app/assistants/EditorFields.h"
#include "app/assistants/QuestionEditor.h"
#include "app/assistants/SaveAction.h"
#include "app/widgets/AppIcons.h"
#include "app/widgets/AppStyle.h"
#include "common/Dates.h"
#include "common/Text.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

QString folded(const QString& text)
{
    return text::foldDiacritics(text).toCaseFolded();
}

} // namespace

QuestionsTab::QuestionsTab(StoreHolder* holder, SaveAction* save, ShownRecord shown, QWidget* parent)
    : DetailTab(holder, save, shown, parent)
    , m_search(new QLineEdit(this))
    , m_add(new QPushButton(tr("Add question"), this))
    , m_listArea(new QStackedWidget(this))
    , m_list(new QListWidget(m_listArea))
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

    connect(m_search, &QLineEdit::textChanged, this, &QuestionsTab::refresh);
    connect(m_add, &QPushButton::clicked, this, &QuestionsTab::addQuestion);
    connect(m_list, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* current) {
        choose(current ? std::optional<QUuid>(current->data(Qt::UserRole).toUuid()) : std::nullopt);
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

bool QuestionsTab::matches(const QAItem& item, const QString& search)
{
    const QString needle = folded(text::trimSpacesAndTabs(search));
    return needle.isEmpty() || folded(item.question).contains(needle) || folded(item.answer).contains(needle);
}

void QuestionsTab::refresh()
{
    if (!hasStore()) {
        return;
    }
    const std::vector<QAItem> items =
        context().fetch<QAItem>(Query::ofAssistant(shown().id)).value_or(std::vector<QAItem>());
    {
        // Rebuilding the rows must not count as the user choosing another item.
        const QSignalBlocker blocker(m_list);
        m_list->clear();
        const QColor secondary = appStyle::textColor(*m_list, appStyle::secondaryOpacity);
        for (const QAItem& item : items) {
            if (!matches(item, m_search->text())) {
                continue;
            }
            QString text = item.question.isEmpty() ? tr("No question") : item.question;
            auto* row = new QListWidgetItem(m_list);
            if (item.answer.isEmpty()) {
                text += u'\n' + tr("No answer");
                row->setIcon(appIcon(AppIcon::warning, QColor(230, 150, 0)));
            }
            row->setText(text);
            row->setData(Qt::UserRole, item.id);
            if (item.question.isEmpty()) {
                row->setForeground(secondary);
            }
            if (m_chosen == item.id) {
                m_list->setCurrentItem(row);
            }
        }
    }
    m_listArea->setCurrentIndex(items.empty() ? 1 : 0);
    const bool chosenExists = std::ranges::any_of(items, [&](const QAItem& item) { return m_chosen == item.id; });
    if (!chosenExists) {
        m_chosen.reset();
    }
    showChosen();
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
