#pragma once

#include "common/Clock.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <memory>
#include <optional>

class CallSearchModel;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class StoreHolder;

// Finding a call again: a search field with its scope (all assistants, or the one chosen in the
// sidebar) for the window's toolbar, and the list of calls found, each with its date, assistant and
// the matching passage highlighted. The search runs once typing pauses. Choosing a call hands it to
// the window, which opens it with the matching line in view; editing the search shows the list again.
class CallSearchView : public QWidget {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds typingPause { 150 };
    // Calls listed at most: more are not read through, and a narrower search finds them.
    static constexpr int limit = 50;

    CallSearchView(StoreHolder* holder, Clock& clock, QWidget* parent);
    ~CallSearchView() override;

    // The field and the scope, for the window's toolbar.
    QWidget* bar() const { return m_bar; }
    QLineEdit* field() const { return m_field; }
    QComboBox* scope() const { return m_scope; }
    QListView* results() const { return m_results; }
    QLabel* status() const { return m_status; }
    CallSearchModel* model() const { return m_model; }

    // The assistant the scope can narrow the search to (the sidebar's current one), or none.
    void setCurrentAssistant(const std::optional<QUuid>& id, const QString& name);
    // True while the list should be on screen instead of the detail.
    bool isShowing() const { return m_showing; }
    // Searches now for what the field holds.
    void search();

Q_SIGNALS:
    void showingChanged(bool showing);
    void callChosen(const QUuid& call, int line);
    // A search finished and the list shows its result.
    void searched();

private:
    void setShowing(bool showing);
    void choose(const QModelIndex& index);

    QPointer<StoreHolder> m_holder;
    QWidget* m_bar;
    QLineEdit* m_field;
    QComboBox* m_scope;
    QLabel* m_status;
    QListView* m_results;
    CallSearchModel* m_model;
    std::unique_ptr<ClockTimer> m_pause;
    std::optional<QUuid> m_assistant;
    bool m_showing = false;
};
