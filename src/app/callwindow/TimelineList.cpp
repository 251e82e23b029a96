#include "app/callwindow/TimelineList.h"

#include "app/callwindow/TimelineDelegate.h"
#include "app/callwindow/TimelineModel.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>

#include <algorithm>

TimelineList::TimelineList(QWidget* parent)
    : QListView(parent)
    , m_delegate(new TimelineDelegate(this))
    , m_selectable(new QLabel(viewport()))
{
    setItemDelegate(m_delegate);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // The window paints the background; the cards lie on it.
    viewport()->setAutoFillBackground(false);
    setAccessibleName(tr("Transcript and suggestions"));

    m_selectable->setObjectName(QStringLiteral("selectableText"));
    m_selectable->setWordWrap(true);
    m_selectable->setTextFormat(Qt::PlainText);
    m_selectable->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_selectable->setAlignment(Qt::AlignLeading | Qt::AlignTop);
    // A press the label leaves (a right press) must not come back here through its parent.
    m_selectable->setAttribute(Qt::WA_NoMousePropagation);
    m_selectable->hide();
    // Over a row's text the pointer is a text cursor, as over a selectable label.
    viewport()->setMouseTracking(true);
}

void TimelineList::setModel(QAbstractItemModel* model)
{
    if (this->model()) {
        disconnect(this->model(), nullptr, this, nullptr);
    }
    QListView::setModel(model);
    if (model) {
        connect(model, &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex&, int start, int, const QModelIndex&, int destination) {
                rowsMoved(start, destination);
            });
        connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { placeSelectable(); });
    }
    relayout();
}

QSize TimelineList::sizeHint() const
{
    // As wide as the column makes it; as tall as all the rows.
    return QSize(256, m_tops.isEmpty() ? 0 : m_tops.constLast());
}

QSize TimelineList::minimumSizeHint() const
{
    return QSize(0, sizeHint().height());
}

QStyleOptionViewItem TimelineList::optionFor(int row) const
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = QRect(0, row < m_tops.size() ? m_tops.at(row) : 0, viewport()->width(),
        row < m_heights.size() ? m_heights.at(row) : 0);
    return option;
}

void TimelineList::measure(int first, int last, bool text)
{
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        const QStyleOptionViewItem option = optionFor(row);
        if (text) {
            m_contentHeights[row] = m_delegate->contentHeight(option, index);
        }
        const auto edges = TimelineModel::CardEdges(index.data(TimelineModel::CardEdgesRole).toInt());
        m_heights[row] = TimelineDelegate::paddingAbove(edges, row) + m_contentHeights.at(row)
            + TimelineDelegate::paddingBelow(edges);
    }
}

void TimelineList::restack(int from)
{
    const int before = m_tops.isEmpty() ? 0 : m_tops.constLast();
    m_tops.resize(m_heights.size() + 1);
    for (qsizetype row = std::max(from, 0); row < m_heights.size(); ++row) {
        m_tops[row + 1] = m_tops.at(row) + m_heights.at(row);
    }
    const int after = m_tops.constLast();
    const int changedFrom = from < m_tops.size() ? m_tops.at(std::max(from, 0)) : after;
    viewport()->update(QRect(0, changedFrom, viewport()->width(), std::max(before, after) - changedFrom));
    if (after != before) {
        updateGeometry();
    }
    setVisible(!m_heights.isEmpty());
}

void TimelineList::relayout()
{
    const int rows = model() ? model()->rowCount(rootIndex()) : 0;
    m_contentHeights.fill(0, rows);
    m_heights.fill(0, rows);
    m_measuredWidth = viewport()->width();
    if (rows > 0) {
        measure(0, rows - 1, true);
    }
    m_tops.clear();
    m_tops.append(0);
    restack(0);
    placeSelectable();
}

void TimelineList::doItemsLayout()
{
    // Asked for after a move or a reset; the rows were measured as they changed.
    if (!model() || m_heights.size() != model()->rowCount(rootIndex()) || m_measuredWidth != viewport()->width()) {
        relayout();
    }
    QAbstractItemView::doItemsLayout();
}

void TimelineList::reset()
{
    dropSelectable();
    QAbstractItemView::reset();
    relayout();
}

void TimelineList::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
    if (!topLeft.isValid() || bottomRight.row() >= m_heights.size()) {
        return;
    }
    const bool onlyEdges = roles.size() == 1 && roles.constFirst() == TimelineModel::CardEdgesRole;
    measure(topLeft.row(), bottomRight.row(), !onlyEdges);
    restack(topLeft.row());
    placeSelectable();
}

void TimelineList::rowsInserted(const QModelIndex& parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    if (parent.isValid()) {
        return;
    }
    const int count = end - start + 1;
    m_contentHeights.insert(start, count, 0);
    m_heights.insert(start, count, 0);
    measure(start, end, true);
    restack(start);
    placeSelectable();
}

void TimelineList::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end)
{
    if (m_selectableRow.isValid() && m_selectableRow.row() >= start && m_selectableRow.row() <= end) {
        dropSelectable();
    }
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    if (parent.isValid()) {
        return;
    }
    m_contentHeights.remove(start, end - start + 1);
    m_heights.remove(start, end - start + 1);
    restack(start);
}

void TimelineList::rowsMoved(int start, int destination)
{
    const int to = destination > start ? destination - 1 : destination;
    m_contentHeights.move(start, to);
    m_heights.move(start, to);
    restack(std::min(start, to));
    placeSelectable();
}

void TimelineList::updateGeometries()
{
    QAbstractItemView::updateGeometries();
    updateGeometry();
}

void TimelineList::resizeEvent(QResizeEvent* event)
{
    QAbstractItemView::resizeEvent(event);
    if (viewport()->width() != m_measuredWidth) {
        relayout();
    }
}

QRect TimelineList::visualRect(const QModelIndex& index) const
{
    if (!index.isValid() || index.row() >= m_heights.size()) {
        return {};
    }
    return QRect(0, m_tops.at(index.row()), viewport()->width(), m_heights.at(index.row()));
}

QModelIndex TimelineList::indexAt(const QPoint& point) const
{
    if (!model() || m_heights.isEmpty() || point.y() < 0 || point.y() >= m_tops.constLast()) {
        return {};
    }
    const auto after = std::upper_bound(m_tops.cbegin(), m_tops.cend(), point.y());
    return model()->index(static_cast<int>(after - m_tops.cbegin()) - 1, 0, rootIndex());
}

void TimelineList::scrollTo(const QModelIndex& index, ScrollHint)
{
    // The column around the list scrolls; the list itself shows every row.
    for (QWidget* ancestor = parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        if (auto* area = qobject_cast<QScrollArea*>(ancestor); area && area->widget()) {
            const QRect rect = visualRect(index);
            const QPoint center = viewport()->mapTo(area->widget(), rect.center());
            area->ensureVisible(center.x(), center.y(), 0, rect.height() / 2);
            return;
        }
    }
}

void TimelineList::paintEvent(QPaintEvent* event)
{
    if (!model() || m_heights.isEmpty()) {
        return;
    }
    QPainter painter(viewport());
    const QRect area = event->rect();
    const int first = static_cast<int>(
        std::max<qsizetype>(std::upper_bound(m_tops.cbegin(), m_tops.cend(), area.top()) - m_tops.cbegin() - 1, 0));
    for (int row = first; row < m_heights.size() && m_tops.at(row) <= area.bottom(); ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        m_delegate->paintRow(&painter, optionFor(row), index, index != m_selectableRow);
    }
}

void TimelineList::placeSelectable()
{
    if (!m_selectableRow.isValid() || m_selectableRow.row() >= m_heights.size()) {
        if (m_selectable->isVisible()) {
            dropSelectable();
        }
        return;
    }
    const int row = m_selectableRow.row();
    const QModelIndex index = model()->index(row, 0, rootIndex());
    m_selectable->setGeometry(m_delegate->textRect(optionFor(row), index, m_contentHeights.at(row)));
    m_selectable->setFont(m_delegate->textFont(*this));
    QPalette palette = m_selectable->palette();
    palette.setColor(QPalette::WindowText, m_delegate->textColor(*this, index));
    palette.setColor(QPalette::Text, m_delegate->textColor(*this, index));
    m_selectable->setPalette(palette);
    const QString text = index.data(Qt::DisplayRole).toString();
    if (m_selectable->text() != text) {
        m_selectable->setText(text);
    }
    m_selectable->show();
}

void TimelineList::dropSelectable()
{
    if (m_selectableRow.isValid()) {
        viewport()->update(visualRect(m_selectableRow));
    }
    m_selectableRow = QPersistentModelIndex();
    m_selecting = false;
    m_selectable->hide();
    m_selectable->clear();
}

void TimelineList::forward(QMouseEvent* event)
{
    QMouseEvent mapped(event->type(), event->position() - QPointF(m_selectable->pos()), event->scenePosition(),
        event->globalPosition(), event->button(), event->buttons(), event->modifiers(), event->pointingDevice());
    QCoreApplication::sendEvent(m_selectable, &mapped);
}

void TimelineList::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid()) {
        dropSelectable();
        event->ignore();
        return;
    }
    if (index != m_selectableRow) {
        dropSelectable();
        m_selectableRow = index;
        placeSelectable();
        viewport()->update(visualRect(index));
    }
    m_selecting = m_selectable->geometry().contains(event->position().toPoint());
    if (m_selecting) {
        forward(event);
    }
}

void TimelineList::mouseMoveEvent(QMouseEvent* event)
{
    if (m_selecting) {
        forward(event);
        return;
    }
    const bool overText = textAt(event->position().toPoint()).contains(event->position().toPoint());
    viewport()->setCursor(overText ? Qt::IBeamCursor : Qt::ArrowCursor);
}

QRect TimelineList::textAt(const QPoint& point) const
{
    const QModelIndex index = indexAt(point);
    if (!index.isValid()) {
        return {};
    }
    return m_delegate->textRect(optionFor(index.row()), index, m_contentHeights.at(index.row()));
}

bool TimelineList::viewportEvent(QEvent* event)
{
    // A right press put the row's text under the pointer into the selectable label: the label has the
    // first say on the menu there, as it had over its text before; what it leaves goes on to the window.
    if (event->type() == QEvent::ContextMenu && m_selectable->isVisible()) {
        auto* menu = static_cast<QContextMenuEvent*>(event);
        if (m_selectable->geometry().contains(menu->pos())) {
            QContextMenuEvent mapped(
                menu->reason(), menu->pos() - m_selectable->pos(), menu->globalPos(), menu->modifiers());
            QCoreApplication::sendEvent(m_selectable, &mapped);
            if (mapped.isAccepted()) {
                return true;
            }
        }
    }
    return QListView::viewportEvent(event);
}

void TimelineList::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_selecting) {
        forward(event);
        m_selecting = false;
    }
}

void TimelineList::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
}

void TimelineList::wheelEvent(QWheelEvent* event)
{
    // The column scrolls.
    event->ignore();
}

void TimelineList::scrollContentsBy(int, int) { }

QSize TimelineList::viewportSizeHint() const
{
    return sizeHint();
}

int TimelineList::horizontalOffset() const
{
    return 0;
}

int TimelineList::verticalOffset() const
{
    return 0;
}

QModelIndex TimelineList::moveCursor(CursorAction, Qt::KeyboardModifiers)
{
    return {};
}

void TimelineList::setSelection(const QRect&, QItemSelectionModel::SelectionFlags) { }

QRegion TimelineList::visualRegionForSelection(const QItemSelection&) const
{
    return {};
}

bool TimelineList::isIndexHidden(const QModelIndex&) const
{
    return false;
}
