#pragma once

#include <QAbstractItemModel>

#include <algorithm>
#include <utility>
#include <vector>

// A model whose rows stand for records, kept in step with a fresh read of the store by the fewest
// changes: rows whose record went away are removed, new ones inserted, reordered ones moved and changed
// ones announced. Selections, expanded rows, open editors and scroll positions survive a refresh, and a
// view repaints only what changed.
template <typename Base> class KeyedModel : public Base {
public:
    using Base::Base;

protected:
    // Makes `rows` (the children of `parent`) equal to `next`. `key` gives a row's unique key; `update`
    // takes the next value of a kept row and says whether it changed. Both lists hold each key once.
    template <typename Row, typename Key, typename Update>
    void syncRows(const QModelIndex& parent, std::vector<Row>& rows, std::vector<Row> next, Key key, Update update)
    {
        const auto position = [&](const auto& wanted, size_t from) {
            const auto found = std::find_if(
                rows.begin() + qsizetype(from), rows.end(), [&](const Row& row) { return key(row) == wanted; });
            return found == rows.end() ? -1 : int(found - rows.begin());
        };
        for (int row = int(rows.size()) - 1; row >= 0; --row) {
            const auto& gone = key(rows[size_t(row)]);
            if (std::none_of(next.begin(), next.end(), [&](const Row& wanted) { return key(wanted) == gone; })) {
                this->beginRemoveRows(parent, row, row);
                rows.erase(rows.begin() + row);
                this->endRemoveRows();
            }
        }
        for (size_t row = 0; row < next.size(); ++row) {
            const int at = position(key(next[row]), row);
            if (at < 0) {
                this->beginInsertRows(parent, int(row), int(row));
                rows.insert(rows.begin() + qsizetype(row), std::move(next[row]));
                this->endInsertRows();
                continue;
            }
            if (at != int(row)) {
                this->beginMoveRows(parent, at, at, parent, int(row));
                std::rotate(rows.begin() + qsizetype(row), rows.begin() + at, rows.begin() + at + 1);
                this->endMoveRows();
            }
            if (update(rows[row], std::move(next[row]), int(row))) {
                // Through the base: a list model keeps its column count private.
                const int last = static_cast<const QAbstractItemModel*>(this)->columnCount(parent) - 1;
                Q_EMIT this->dataChanged(this->index(int(row), 0, parent), this->index(int(row), last, parent));
            }
        }
    }

    // The `update` of rows that are plain values: replaced when they differ.
    template <typename Row> static bool replaceIfChanged(Row& row, Row&& next)
    {
        if (row == next) {
            return false;
        }
        row = std::move(next);
        return true;
    }
};
