#include "app/widgets/Card.h"

#include "app/widgets/AppStyle.h"

#include <QPainter>
#include <QVBoxLayout>

Card::Card(QWidget* parent, int spacing)
    : QFrame(parent)
    , m_rows(new QVBoxLayout(this))
{
    m_rows->setContentsMargins(12, 12, 12, 12);
    m_rows->setSpacing(spacing);
}

void Card::setTint(Tint tint)
{
    if (tint != m_tint) {
        m_tint = tint;
        update();
    }
}

void Card::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = appStyle::textColor(*this, 0.06);
    if (m_tint == Tint::error) {
        fill = appStyle::red();
        fill.setAlphaF(0.15F);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(rect()), 12, 12);
}
