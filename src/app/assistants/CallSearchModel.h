#pragma once

#include "store/CallSearch.h"

#include <QAbstractListModel>

#include <vector>

class StoreContext;

// The calls a search found, one row each: the call's date, assistant and context over the matching
// passage. The display text is one sentence for screen readers; the delegate paints the parts.
class CallSearchModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        headingRole = Qt::UserRole + 1, // date · assistant · context
        passageRole, // the passage as text
        marksRole, // QList<QPoint>: start and length of each matching word in the passage
        callRole, // QUuid
        lineRole, // int, as CallSearchHit::line
    };

    explicit CallSearchModel(QObject* parent = nullptr);

    // Replaces the rows; the owners' names are read through `context`.
    void setHits(StoreContext& context, std::vector<CallSearchHit> hits);
    void clear();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Row {
        CallSearchHit hit;
        QString heading;
        bool canOpen = false; // only calls of an assistant have a place in the window
    };
    std::vector<Row> m_rows;
};
