#include "app/widgets/AppIcons.h"

#include "app/widgets/PaintedIconEngine.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>

namespace {

// The theme's icons by name, once loadThemeIcons() has looked them up; until then every icon is
// its painted glyph.
struct ThemeIcons {
    bool loaded = false;
    QHash<QString, QIcon> byName;
};

ThemeIcons& themeIcons()
{
    static ThemeIcons icons;
    return icons;
}

// A painted glyph that gives way to the theme's icon of the same meaning once the theme has been
// read, so that an icon handed out before that needs no replacing: the widget's next paint shows it.
class ThemedIconEngine : public PaintedIconEngine {
public:
    ThemedIconEngine(Glyph glyph, QColor color, QString themeName)
        : PaintedIconEngine(glyph, color)
        , m_glyph(std::move(glyph))
        , m_color(color)
        , m_themeName(std::move(themeName))
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        if (const QIcon* icon = themed()) {
            icon->paint(painter, rect, Qt::AlignCenter, mode, state);
        } else {
            PaintedIconEngine::paint(painter, rect, mode, state);
        }
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        const QIcon* icon = themed();
        return icon ? icon->pixmap(size, mode, state) : PaintedIconEngine::pixmap(size, mode, state);
    }

    QIconEngine* clone() const override { return new ThemedIconEngine(m_glyph, m_color, m_themeName); }
    QString key() const override { return QStringLiteral("ThemedIconEngine"); }

private:
    const QIcon* themed() const
    {
        const ThemeIcons& theme = themeIcons();
        const auto found = theme.byName.constFind(m_themeName);
        return found == theme.byName.constEnd() ? nullptr : &*found;
    }

    const Glyph m_glyph;
    const QColor m_color;
    const QString m_themeName;
};

// The glyphs are drawn in a 16 x 16 box.
void fillPath(QPainter& painter, const QPainterPath& path, const QColor& color)
{
    painter.fillPath(path, color);
}

QPen outline(const QColor& color)
{
    QPen pen(color, 1.4);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

QPainterPath sparkle(QPointF centre, double radius)
{
    QPainterPath path;
    path.moveTo(centre.x(), centre.y() - radius);
    path.quadTo(centre, QPointF(centre.x() + radius, centre.y()));
    path.quadTo(centre, QPointF(centre.x(), centre.y() + radius));
    path.quadTo(centre, QPointF(centre.x() - radius, centre.y()));
    path.quadTo(centre, QPointF(centre.x(), centre.y() - radius));
    return path;
}

void thumb(QPainter& painter, const QColor& color)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(1.5, 7, 3, 7.5), 0.8, 0.8);
    path.addRoundedRect(QRectF(5.5, 7, 9, 7.5), 1.8, 1.8);
    QPainterPath up;
    up.moveTo(5.5, 8);
    up.lineTo(7.6, 1.8);
    up.quadTo(10, 1.6, 9.8, 4.4);
    up.lineTo(9.3, 7.5);
    up.closeSubpath();
    fillPath(painter, path.united(up), color);
}

void draw(AppIcon which, QPainter& painter, const QColor& color)
{
    switch (which) {
    case AppIcon::play:
    case AppIcon::stop: {
        QPainterPath circle;
        circle.addEllipse(QRectF(1, 1, 14, 14));
        QPainterPath mark;
        if (which == AppIcon::play) {
            mark.addPolygon(QPolygonF({ QPointF(6.3, 4.6), QPointF(11.6, 8), QPointF(6.3, 11.4) }));
            mark.closeSubpath();
        } else {
            mark.addRoundedRect(QRectF(5.3, 5.3, 5.4, 5.4), 1, 1);
        }
        fillPath(painter, circle.subtracted(mark), color);
        break;
    }
    case AppIcon::trash:
        painter.setPen(outline(color));
        painter.drawLine(QPointF(2.5, 4), QPointF(13.5, 4));
        painter.drawPolyline(QPolygonF({ QPointF(6, 4), QPointF(6.5, 2), QPointF(9.5, 2), QPointF(10, 4) }));
        painter.drawPolyline(QPolygonF({ QPointF(4, 4), QPointF(4.8, 14), QPointF(11.2, 14), QPointF(12, 4) }));
        painter.drawLine(QPointF(6.8, 6.5), QPointF(7, 11.5));
        painter.drawLine(QPointF(9.2, 6.5), QPointF(9, 11.5));
        break;
    case AppIcon::assistants: {
        painter.setPen(outline(color));
        painter.drawLine(QPointF(4.5, 2), QPointF(11.5, 2));
        painter.drawRoundedRect(QRectF(2, 4.3, 12, 10), 2, 2);
        QPainterPath person;
        person.addEllipse(QPointF(8, 8), 2, 2);
        QPainterPath shoulders;
        shoulders.addEllipse(QRectF(4.3, 11, 7.4, 6));
        QPainterPath card;
        card.addRoundedRect(QRectF(2, 4.3, 12, 10), 2, 2);
        fillPath(painter, person.united(shoulders.intersected(card)), color);
        break;
    }
    case AppIcon::pin: {
        painter.translate(8, 8);
        painter.rotate(40);
        painter.translate(-8, -8);
        QPainterPath head;
        head.addRoundedRect(QRectF(4.8, 1, 6.4, 2.2), 1, 1);
        head.addPolygon(QPolygonF({ QPointF(6, 3), QPointF(10, 3), QPointF(11.2, 8.6), QPointF(4.8, 8.6) }));
        head.addRoundedRect(QRectF(3.8, 8.2, 8.4, 1.8), 0.9, 0.9);
        fillPath(painter, head.simplified(), color);
        painter.setPen(outline(color));
        painter.drawLine(QPointF(8, 10), QPointF(8, 15));
        break;
    }
    case AppIcon::copy: {
        painter.setPen(outline(color));
        painter.drawRoundedRect(QRectF(5.5, 1.5, 8.5, 10), 1.5, 1.5);
        QPainterPath front;
        front.addRoundedRect(QRectF(2, 4.5, 8.5, 10), 1.5, 1.5);
        fillPath(painter, front, color);
        break;
    }
    case AppIcon::folder: {
        QPainterPath path;
        path.moveTo(1.5, 3.5);
        path.lineTo(6, 3.5);
        path.lineTo(7.5, 5);
        path.lineTo(14.5, 5);
        path.lineTo(14.5, 13);
        path.lineTo(1.5, 13);
        path.closeSubpath();
        fillPath(painter, path, color);
        break;
    }
    case AppIcon::thumbsUp: thumb(painter, color); break;
    case AppIcon::thumbsDown:
        painter.translate(0, 16);
        painter.scale(1, -1);
        thumb(painter, color);
        break;
    case AppIcon::sparkles:
        fillPath(painter, sparkle(QPointF(6.5, 9.5), 5.5).united(sparkle(QPointF(12.5, 3.5), 2.6)), color);
        break;
    case AppIcon::warning: {
        QPainterPath triangle;
        triangle.addPolygon(QPolygonF({ QPointF(8, 1.2), QPointF(15.2, 14.3), QPointF(0.8, 14.3) }));
        triangle.closeSubpath();
        QPainterPath mark;
        mark.addRoundedRect(QRectF(7.25, 5.2, 1.5, 5), 0.7, 0.7);
        mark.addEllipse(QRectF(7.2, 11.2, 1.6, 1.6));
        fillPath(painter, triangle.subtracted(mark), color);
        break;
    }
    case AppIcon::waveform: {
        QPen pen(color, 1.6);
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        const double heights[] = { 3, 8, 13, 6, 10, 4 };
        for (int i = 0; i < 6; ++i) {
            const double x = 1.5 + i * 2.6;
            painter.drawLine(QPointF(x, 8 - heights[i] / 2), QPointF(x, 8 + heights[i] / 2));
        }
        break;
    }
    }
}

// Names from the freedesktop icon naming specification (or the common themes) where one fits.
QString themeName(AppIcon which)
{
    switch (which) {
    case AppIcon::play: return QStringLiteral("media-playback-start");
    case AppIcon::stop: return QStringLiteral("media-playback-stop");
    case AppIcon::trash: return QStringLiteral("user-trash");
    case AppIcon::assistants: return QStringLiteral("system-users");
    case AppIcon::pin: return QStringLiteral("window-pin");
    case AppIcon::copy: return QStringLiteral("edit-copy");
    case AppIcon::folder: return QStringLiteral("folder");
    case AppIcon::warning: return QStringLiteral("dialog-warning");
    case AppIcon::thumbsUp:
    case AppIcon::thumbsDown:
    case AppIcon::sparkles:
    case AppIcon::waveform: return QString();
    }
    return QString();
}

} // namespace

QIcon appIcon(AppIcon which, const QColor& color)
{
    PaintedIconEngine::Glyph glyph = [which](QPainter& painter, const QColor& c) { draw(which, painter, c); };
    const QString name = themeName(which);
    return QIcon(name.isEmpty() ? new PaintedIconEngine(std::move(glyph), color)
                                : new ThemedIconEngine(std::move(glyph), color, name));
}

void loadThemeIcons()
{
    ThemeIcons& theme = themeIcons();
    if (theme.loaded) {
        return;
    }
    theme.loaded = true;
    for (int which = 0; which <= int(AppIcon::waveform); ++which) {
        const QString name = themeName(AppIcon(which));
        if (name.isEmpty()) {
            continue;
        }
        const QIcon icon = QIcon::fromTheme(name);
        if (!icon.isNull() && !icon.availableSizes().isEmpty()) {
            theme.byName.insert(name, icon);
        }
    }
}
