#include "app/guide/StepRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QColor green(40, 160, 70);
const QColor orange(220, 130, 20);
const QColor red(210, 50, 50);

QPixmap symbolPixmap(StatusSymbol symbol, qreal scale)
{
    const int size = 14;
    QPixmap pixmap(QSize(size, size) * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = symbol == StatusSymbol::ok ? green : symbol == StatusSymbol::warning ? orange : red;
    QPen mark(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    if (symbol == StatusSymbol::warning) {
        QPainterPath triangle;
        triangle.moveTo(size / 2.0, 1);
        triangle.lineTo(size - 0.5, size - 1.5);
        triangle.lineTo(0.5, size - 1.5);
        triangle.closeSubpath();
        painter.fillPath(triangle, colour);
        painter.setPen(mark);
        painter.drawLine(QPointF(size / 2.0, 5), QPointF(size / 2.0, 8.5));
        painter.drawPoint(QPointF(size / 2.0, 10.8));
        return pixmap;
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(0.5, 0.5, size - 1, size - 1));
    painter.setPen(mark);
    if (symbol == StatusSymbol::ok) {
        painter.drawPolyline(QPolygonF({ QPointF(4, 7.2), QPointF(6.2, 9.5), QPointF(10.2, 4.8) }));
    } else {
        painter.drawLine(QPointF(4.5, 4.5), QPointF(9.5, 9.5));
        painter.drawLine(QPointF(9.5, 4.5), QPointF(4.5, 9.5));
    }
    return pixmap;
}

} // namespace

void showStatusSymbol(QLabel* label, StatusSymbol symbol)
{
    if (symbol == StatusSymbol::none) {
        label->clear();
        label->hide();
        return;
    }
    label->setPixmap(symbolPixmap(symbol, label->devicePixelRatioF()));
    label->show();
}

StepRow::StepRow(const Texts& texts, QWidget* parent)
    : QWidget(parent)
    , m_texts(texts)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    m_title = new QLabel(m_texts.title, this);
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_why = new QLabel(this);
    m_why->setObjectName(QStringLiteral("why"));
    m_why->setWordWrap(true);
    m_why->setTextFormat(Qt::PlainText);
    m_why->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_why->setForegroundRole(QPalette::PlaceholderText);
    text->addWidget(m_title);
    text->addWidget(m_why);
    layout->addLayout(text, 1);

    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->setFixedSize(40, 8);
    m_icon = new QLabel(this);
    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
    m_button = new QPushButton(this);
    m_button->setAutoDefault(false);
    layout->addWidget(m_progress, 0, Qt::AlignVCenter);
    layout->addWidget(m_icon, 0, Qt::AlignVCenter);
    layout->addWidget(m_status, 0, Qt::AlignVCenter);
    layout->addWidget(m_button, 0, Qt::AlignVCenter);
    connect(m_button, &QPushButton::clicked, this, [this] {
        if (m_buttonOpensSettings) {
            Q_EMIT settingsRequested();
        } else {
            Q_EMIT allowRequested();
        }
    });
    setAccessibleName(m_texts.title);
    showState();
}

void StepRow::setState(const StepState& state)
{
    const bool changed = state != m_state;
    m_state = state;
    showState();
    if (changed) {
        Q_EMIT stateChanged(m_state);
    }
}

void StepRow::setWhy(const QString& why)
{
    m_texts.why = why;
    showState();
}

void StepRow::setDeniedNote(const QString& note)
{
    m_deniedNote = note;
    showState();
}

void StepRow::setSettingsLabel(const QString& label)
{
    m_settingsLabel = label;
    showState();
}

void StepRow::showState()
{
    using Kind = StepState::Kind;
    const bool denied = m_state.kind == Kind::denied;
    m_why->setText(denied && !m_deniedNote.isEmpty() ? m_deniedNote : m_texts.why);
    m_why->setAccessibleName(m_why->text());

    QString status;
    QString button;
    StatusSymbol symbol = StatusSymbol::none;
    QColor colour = palette().color(QPalette::WindowText);
    m_buttonOpensSettings = false;
    switch (m_state.kind) {
    case Kind::working: status = m_state.text; break;
    case Kind::failed:
        status = tr("Error: %1").arg(m_state.text);
        symbol = StatusSymbol::warning;
        colour = orange;
        button = tr("Try again");
        break;
    case Kind::pending:
        status = tr("Pending");
        colour = palette().color(QPalette::PlaceholderText);
        button = m_texts.allowLabel;
        break;
    case Kind::denied:
        status = tr("Denied");
        symbol = StatusSymbol::error;
        colour = red;
        m_buttonOpensSettings = !m_settingsLabel.isEmpty();
        button = m_buttonOpensSettings ? m_settingsLabel : tr("Try again");
        break;
    case Kind::granted:
        status = m_texts.grantedLabel;
        symbol = StatusSymbol::ok;
        colour = green;
        break;
    }
    m_progress->setVisible(m_state.kind == Kind::working);
    showStatusSymbol(m_icon, symbol);
    QPalette statusPalette = m_status->palette();
    statusPalette.setColor(QPalette::WindowText, colour);
    m_status->setPalette(statusPalette);
    m_status->setText(status);
    m_status->setAccessibleName(status);
    m_status->setWordWrap(m_state.kind == Kind::failed);
    m_status->setMaximumWidth(m_state.kind == Kind::failed ? 220 : QWIDGETSIZE_MAX);
    m_button->setText(button);
    m_button->setAccessibleName(button);
    m_button->setVisible(!button.isEmpty());
}
