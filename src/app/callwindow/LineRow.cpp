#include "app/callwindow/LineRow.h"

#include "app/widgets/AppStyle.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>

LineRow::LineRow(const LineView& line, QWidget* parent)
    : QWidget(parent)
    , m_speaker(new QLabel(this))
    , m_text(new QLabel(this))
{
    m_speaker->setObjectName(QStringLiteral("speaker"));
    m_speaker->setFont(appStyle::font(*this, 11, QFont::DemiBold));
    m_speaker->setFixedWidth(38);
    m_speaker->setAlignment(Qt::AlignLeading | Qt::AlignTop);
    m_text->setObjectName(QStringLiteral("text"));
    m_text->setFont(appStyle::font(*this, 13));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_text->setAlignment(Qt::AlignLeading | Qt::AlignTop);
    // The two texts share their first baseline: the smaller label moves down by the difference
    // of the ascents.
    const int drop = QFontMetrics(m_text->font()).ascent() - QFontMetrics(m_speaker->font()).ascent();
    m_speaker->setContentsMargins(0, std::max(drop, 0), 0, 0);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(m_speaker, 0, Qt::AlignTop);
    layout->addWidget(m_text, 1, Qt::AlignTop);
    apply(line, Refresh::all);
}

void LineRow::setLine(const LineView& line)
{
    apply(line, Refresh::changes);
}

void LineRow::apply(const LineView& line, Refresh refresh)
{
    const bool all = refresh == Refresh::all;
    if (all || line.speaker != m_line.speaker) {
        m_speaker->setText(speaker::shownLabel(line.speaker));
        appStyle::setTextColor(*m_speaker, line.speaker == Speaker::me ? appStyle::red() : appStyle::blue());
    }
    if (all || line.isFinal != m_line.isFinal) {
        const double opacity = line.isFinal ? 1.0 : appStyle::secondaryOpacity;
        appStyle::setTextColor(*m_text, appStyle::textColor(*this, opacity));
    }
    if (all || line.text != m_line.text) {
        m_text->setText(line.text);
    }
    m_line = line;
}
