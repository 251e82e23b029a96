#pragma once

#include "app/assistants/KeyedModel.h"

#include <QAbstractListModel>
#include <QColor>
#include <QSortFilterProxyModel>
#include <QUuid>

class StoreContext;
struct QAItem;

// An assistant's Q&A bank, oldest first: each row the question ("No question" when empty, in a
// secondary colour) and, when the answer is empty, a second line "No answer" with a warning mark.
class QuestionsModel : public KeyedModel<QAbstractListModel> {
    Q_OBJECT

public:
    enum Role { IdRole = Qt::UserRole + 1, QuestionRole, AnswerRole };

    QuestionsModel(QUuid assistant, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Reads the assistant's items again.
    void reload(StoreContext& context);
    // The colour of an item without a question; the list's own secondary text colour.
    void setSecondaryColor(const QColor& color) { m_secondary = color; }

private:
    struct Row {
        QUuid id;
        QString question;
        QString answer;

        bool operator==(const Row&) const = default;
    };

    const QUuid m_assistant;
    std::vector<Row> m_rows;
    QColor m_secondary;
};

// The items a search finds: those whose question or answer contains the search text (spaces and tabs
// trimmed at both ends), ignoring letter case and diacritics; an empty search finds every item.
class QuestionFilter : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit QuestionFilter(QObject* parent);

    void setSearch(const QString& search);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    // The search folded once, not once per row.
    QString m_needle;
};
