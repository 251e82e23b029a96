#pragma once

#include "app/assistants/KeyedModel.h"
#include "app/assistants/ShownRecord.h"
#include "records/Records.h"

#include <QAbstractListModel>

class StoreContext;

// The calls of an assistant or of a context, newest first, read without their transcripts. A row's text
// is its header: the start, the duration and, in an assistant's list, the call's context.
class CallsModel : public KeyedModel<QAbstractListModel> {
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        OutcomeRole, // CallOutcome as int
    };

    CallsModel(ShownRecord owner, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Reads the owner's calls again.
    void reload(StoreContext& context);

    // The call of a row as listed (its lines and suggestions not read), and its context's name.
    const Call& callAt(int row) const { return m_rows[size_t(row)].call; }
    const QString& contextNameAt(int row) const { return m_rows[size_t(row)].contextName; }

    // "8 Dec 2026 11:38 · 1 min", then " · " and the context's name when there is one.
    static QString headerText(const Call& call, const QString& contextName);
    // "Good call", "Bad call" or "No outcome".
    static QString outcomeText(CallOutcome outcome);

private:
    struct Row {
        Call call;
        QString contextName;

        bool operator==(const Row&) const = default;
    };

    const ShownRecord m_owner;
    std::vector<Row> m_rows;
};
