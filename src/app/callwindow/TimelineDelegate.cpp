#include "app/callwindow/TimelineDelegate.h"

#include "app/widgets/AppIcons.h"
#include "app/widgets/AppStyle.h"

#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QWidget>

#include <cmath>

namespace {

using Kind = TimelineModel::RowKind;

Kind kindOf(const QModelIndex& index)
{
    return static_cast<Kind>(index.data(TimelineModel::KindRole).toInt());
}

TimelineModel::CardEdges edgesOf(const QModelIndex& index)
{
    return TimelineModel::CardEdges(index.data(TimelineModel::CardEdgesRole).toInt());
}

const QWidget& viewOf(const QStyleOptionViewItem& option)
{
    static const QWidget none;
    return option.widget ? *option.widget : none;
}

// A selectable word-wrapped label's text layout: whole words per line (a longer word runs over), no
// leading between lines.
struct WrappedText {
    WrappedText(const QString& text, const QFont& font, int width)
        : layout(text, font)
    {
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        qreal y = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, y));
            y += line.height();
        }
        layout.endLayout();
        height = static_cast<int>(std::ceil(y));
    }

    QTextLayout layout;
    int height = 0;
};

} // namespace

TimelineDelegate::TimelineDelegate(QObject* parent)
    : QAbstractItemDelegate(parent)
{
}

QFont TimelineDelegate::textFont(const QWidget& view) const
{
    return appStyle::font(view, 13);
}

QColor TimelineDelegate::textColor(const QWidget& view, const QModelIndex& index) const
{
    switch (kindOf(index)) {
    case Kind::suggestion:
        return index.data(TimelineModel::ErrorRole).toBool() ? appStyle::red() : appStyle::textColor(view, 1.0);
    case Kind::inProgress: return appStyle::textColor(view, appStyle::secondaryOpacity);
    case Kind::line: break;
    }
    return appStyle::textColor(view, 1.0);
}

int TimelineDelegate::speakerDrop(const QWidget& view) const
{
    // The label and the text share their first baseline.
    const int drop =
        QFontMetrics(textFont(view)).ascent() - QFontMetrics(appStyle::font(view, 11, QFont::DemiBold)).ascent();
    return std::max(drop, 0);
}

int TimelineDelegate::captionHeight(const QWidget& view) const
{
    return std::max(QFontMetrics(appStyle::font(view, 11)).height(), iconSide);
}

int TimelineDelegate::paddingAbove(TimelineModel::CardEdges edges, int row)
{
    if (!edges.testFlag(TimelineModel::opensCard)) {
        return 0;
    }
    return (row > 0 ? cardSpacing : 0) + cardPadding;
}

int TimelineDelegate::paddingBelow(TimelineModel::CardEdges edges)
{
    return edges.testFlag(TimelineModel::closesCard) ? cardPadding : rowSpacing;
}

int TimelineDelegate::contentHeight(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QWidget& view = viewOf(option);
    const int width = option.rect.width() - 2 * cardPadding;
    const QString text = index.data(Qt::DisplayRole).toString();
    if (kindOf(index) == Kind::suggestion) {
        return captionHeight(view) + rowSpacing + WrappedText(text, textFont(view), width).height;
    }
    const int speaker = speakerDrop(view) + QFontMetrics(appStyle::font(view, 11, QFont::DemiBold)).height();
    return std::max(speaker, WrappedText(text, textFont(view), width - speakerWidth - speakerGap).height);
}

QSize TimelineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const TimelineModel::CardEdges edges = edgesOf(index);
    return QSize(
        option.rect.width(), paddingAbove(edges, index.row()) + contentHeight(option, index) + paddingBelow(edges));
}

QRect TimelineDelegate::contentRect(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const TimelineModel::CardEdges edges = edgesOf(index);
    const int top = option.rect.top() + paddingAbove(edges, index.row());
    const int bottom = option.rect.bottom() + 1 - paddingBelow(edges);
    return QRect(option.rect.left() + cardPadding, top, option.rect.width() - 2 * cardPadding, bottom - top);
}

QRect TimelineDelegate::textRect(const QStyleOptionViewItem& option, const QModelIndex& index, int contentHeight) const
{
    QRect content = contentRect(option, index);
    content.setHeight(contentHeight);
    if (kindOf(index) == Kind::suggestion) {
        return content.adjusted(0, captionHeight(viewOf(option)) + rowSpacing, 0, 0);
    }
    return content.adjusted(speakerWidth + speakerGap, 0, 0, 0);
}

void TimelineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    paintRow(painter, option, index, true);
}

void TimelineDelegate::paintRow(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index, bool withText) const
{
    const QWidget& view = viewOf(option);
    const Kind kind = kindOf(index);
    const TimelineModel::CardEdges edges = edgesOf(index);
    painter->save();

    // This row's part of its card: the corners are round only where the card begins or ends.
    const bool opens = edges.testFlag(TimelineModel::opensCard);
    const bool closes = edges.testFlag(TimelineModel::closesCard);
    const QRectF rowRect(option.rect);
    const qreal cardTop = rowRect.top() + (opens && index.row() > 0 ? cardSpacing : 0);
    const QRectF part(rowRect.left(), cardTop, rowRect.width(), rowRect.bottom() - cardTop);
    const qreal radius = cardPadding;
    const QRectF card = part.adjusted(0, opens ? 0 : -2 * radius, 0, closes ? 0 : 2 * radius);
    QColor fill = appStyle::textColor(view, 0.06);
    if (kind == Kind::suggestion && index.data(TimelineModel::ErrorRole).toBool()) {
        fill = appStyle::red();
        fill.setAlphaF(0.15F);
    }
    painter->setClipRect(part);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(fill);
    painter->drawRoundedRect(card, radius, radius);
    painter->setRenderHint(QPainter::Antialiasing, false);

    const QRect content = contentRect(option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    QRect textArea;
    if (kind == Kind::suggestion) {
        const bool isError = index.data(TimelineModel::ErrorRole).toBool();
        const QFont captionFont = appStyle::font(view, 11);
        const QString time = index.data(Qt::AccessibleDescriptionRole).toString();
        const int caption = captionHeight(view);
        const QRect timeRect =
            QFontMetrics(captionFont).boundingRect(QRect(0, 0, 2000, 2000), Qt::AlignLeft | Qt::AlignVCenter, time);
        painter->setFont(captionFont);
        painter->setPen(appStyle::textColor(view, appStyle::secondaryOpacity));
        painter->drawText(
            QRect(content.left(), content.top(), timeRect.width(), caption), Qt::AlignLeft | Qt::AlignVCenter, time);
        const QPixmap icon =
            appIcon(isError ? AppIcon::warning : AppIcon::sparkles, isError ? appStyle::red() : appStyle::green())
                .pixmap(iconSide, iconSide);
        painter->drawPixmap(
            QPoint(content.left() + timeRect.width() + speakerGap, content.top() + (caption - iconSide) / 2), icon);
        textArea = content.adjusted(0, caption + rowSpacing, 0, 0);
    } else {
        const Speaker speaker = static_cast<Speaker>(index.data(TimelineModel::SpeakerRole).toInt());
        painter->setFont(appStyle::font(view, 11, QFont::DemiBold));
        painter->setPen(speaker == Speaker::me ? appStyle::red() : appStyle::blue());
        painter->drawText(QRect(content.left(), content.top() + speakerDrop(view), speakerWidth, content.height()),
            Qt::AlignLeft | Qt::AlignTop, speaker::shownLabel(speaker));
        textArea = content.adjusted(speakerWidth + speakerGap, 0, 0, 0);
    }
    if (withText) {
        WrappedText wrapped(text, textFont(view), textArea.width());
        painter->setClipRect(textArea.intersected(part.toAlignedRect()));
        painter->setPen(textColor(view, index));
        wrapped.layout.draw(painter, textArea.topLeft());
    }
    painter->restore();
}
