#pragma once

#include <QFrame>

class QVBoxLayout;

// A rounded panel (radius 12, padding 12) behind one group of rows: the text colour
// at low opacity, or red for an error.
class Card : public QFrame {
    Q_OBJECT

public:
    enum class Tint { neutral, error };

    // `spacing` separates the rows added to `rows()`.
    explicit Card(QWidget* parent, int spacing = 6);

    QVBoxLayout* rows() const { return m_rows; }
    void setTint(Tint tint);
    Tint tint() const { return m_tint; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* m_rows;
    Tint m_tint = Tint::neutral;
};
