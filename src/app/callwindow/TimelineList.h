#pragma once

#include <QListView>
#include <QPersistentModelIndex>

class QLabel;
class TimelineDelegate;

// The timeline's rows, one under the other, as tall as all of them together: the call window's column
// scrolls it. Each row's height is worked out once, when the row comes or its text changes, and again
// only when the width changes, so a new line costs the same at the end of a long call as at its start;
// painting touches only the rows in view. A press on a row's text puts a selectable label with the same
// text over it, so text can be selected and copied as from a label.
class TimelineList : public QListView {
    Q_OBJECT

public:
    explicit TimelineList(QWidget* parent);

    void setModel(QAbstractItemModel* model) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    QRect visualRect(const QModelIndex& index) const override;
    QModelIndex indexAt(const QPoint& point) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    void doItemsLayout() override;
    void reset() override;

    // The label that shows a pressed row's text for selecting; hidden when no row has it.

protected:
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    QSize viewportSizeHint() const override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    bool isIndexHidden(const QModelIndex& index) const override;

private:
    QStyleOptionViewItem optionFor(int row) const;
    void measure(int first, int last, bool text);
    void restack(int from);
    void rowsMoved(int start, int destination);
    void relayout();
    void placeSelectable();
    void dropSelectable();
    void forward(QMouseEvent* event);
    // The text area of the row at `point`, or an empty rectangle.
    QRect textAt(const QPoint& point) const;

    TimelineDelegate* m_delegate;
    QLabel* m_selectable;
    QPersistentModelIndex m_selectableRow;
    bool m_selecting = false;
    // Per row: the content's height, the whole row's height, and where it begins (one more: the end).
    QList<int> m_contentHeights;
    QList<int> m_heights;
    QList<int> m_tops;
    int m_measuredWidth = -1;
};
