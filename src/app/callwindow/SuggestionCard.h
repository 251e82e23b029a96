#pragma once

#include "app/widgets/Card.h"
#include "records/Suggestion.h"

class QLabel;

// One suggestion: its time with a sparkle (or a warning sign for an error), then the reply, selectable.
// A streamed reply updates the same card.
class SuggestionCard : public Card {
    Q_OBJECT

public:
    SuggestionCard(const Suggestion& suggestion, QWidget* parent);

    void setSuggestion(const Suggestion& suggestion);
    const Suggestion& suggestion() const { return m_suggestion; }

private:
    enum class Refresh { all, changes };
    void apply(const Suggestion& suggestion, Refresh refresh);

    Suggestion m_suggestion;
    QLabel* m_icon;
    QLabel* m_time;
    QLabel* m_response;
};
