#pragma once

#include "app/assistants/KeyedModel.h"
#include "app/assistants/ShownRecord.h"

#include <QAbstractListModel>

class StoreContext;

// The knowledge files of an assistant or of a context, in import order: each row the file's name and,
// on a second line, its word count and when it was imported.
class KnowledgeModel : public KeyedModel<QAbstractListModel> {
    Q_OBJECT

public:
    enum Role { IdRole = Qt::UserRole + 1 };

    KnowledgeModel(ShownRecord owner, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Reads the owner's files again.
    void reload(StoreContext& context);

private:
    struct Row {
        QUuid id;
        QString name;
        QString detail;

        bool operator==(const Row&) const = default;
    };

    const ShownRecord m_owner;
    std::vector<Row> m_rows;
};
