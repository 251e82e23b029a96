#include "app/callwindow/SuggestionCard.h"

#include "app/widgets/AppIcons.h"
#include "app/widgets/AppStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

SuggestionCard::SuggestionCard(const Suggestion& suggestion, QWidget* parent)
    : Card(parent, 6)
    , m_icon(new QLabel(this))
    , m_time(new QLabel(this))
    , m_response(new QLabel(this))
{
    m_time->setObjectName(QStringLiteral("time"));
    m_time->setFont(appStyle::font(*this, 11));
    appStyle::setTextColor(*m_time, appStyle::textColor(*this, appStyle::secondaryOpacity));
    m_response->setObjectName(QStringLiteral("response"));
    m_response->setFont(appStyle::font(*this, 13));
    m_response->setWordWrap(true);
    m_response->setTextFormat(Qt::PlainText);
    m_response->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* caption = new QHBoxLayout;
    caption->setSpacing(4);
    caption->addWidget(m_time);
    caption->addWidget(m_icon);
    caption->addStretch();
    rows()->addLayout(caption);
    rows()->addWidget(m_response);
    apply(suggestion, Refresh::all);
}

void SuggestionCard::setSuggestion(const Suggestion& suggestion)
{
    apply(suggestion, Refresh::changes);
}

void SuggestionCard::apply(const Suggestion& suggestion, Refresh refresh)
{
    const bool all = refresh == Refresh::all;
    if (all || suggestion.isError != m_suggestion.isError) {
        const QColor colour = suggestion.isError ? appStyle::red() : appStyle::green();
        m_icon->setPixmap(appIcon(suggestion.isError ? AppIcon::warning : AppIcon::sparkles, colour).pixmap(12, 12));
        appStyle::setTextColor(*m_response, suggestion.isError ? appStyle::red() : appStyle::textColor(*this, 1.0));
        setTint(suggestion.isError ? Tint::error : Tint::neutral);
    }
    if (all || suggestion.timestamp != m_suggestion.timestamp) {
        m_time->setText(QLocale().toString(suggestion.timestamp.toLocalTime().time(), QLocale::ShortFormat));
    }
    if (all || suggestion.response != m_suggestion.response) {
        m_response->setText(suggestion.response);
    }
    m_suggestion = suggestion;
}
