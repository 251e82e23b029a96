#pragma once

#include "app/assistants/ShownRecord.h"

#include <QPointer>
#include <QWidget>

#include <vector>

class DetailTab;
class ImprovementService;
class SummaryService;
class QLabel;
class QPushButton;
class QTabWidget;
class SaveAction;
class Settings;
class StoreHolder;

// The detail of the assistant or context chosen in the sidebar: its name as the title, a subtitle,
// the banner of an archived item with its "Restore" button, and the tabs. The open tab is kept in
// "assistantTab" or "contextTab". Only the open tab reads the store; the others catch up when they
// are opened.
class DetailView : public QWidget {
    Q_OBJECT

public:
    // Tab identifiers, as stored.
    static inline const QString general = QStringLiteral("general");
    static inline const QString knowledge = QStringLiteral("knowledge");
    static inline const QString questions = QStringLiteral("qa");
    static inline const QString improvements = QStringLiteral("improvements");
    static inline const QString calls = QStringLiteral("calls");

    // Without an improvement service an assistant has no improvements tab; without a summary service
    // calls without a summary offer none.
    DetailView(StoreHolder* holder, SaveAction* save, Settings* settings, ImprovementService* improvement,
        SummaryService* summary, ShownRecord shown, QWidget* parent);

    const ShownRecord& shown() const { return m_shown; }
    // Reads the record again; false when it no longer exists.
    bool refresh();
    // Saves what the tabs hold unsaved.
    void commit();

    // The identifiers of the tabs in order, and the open one.
    QStringList tabIds() const;
    QString currentTab() const;
    void openTab(const QString& id);
    DetailTab* tab(const QString& id) const;

Q_SIGNALS:
    void restoreRequested();

private:
    struct Tab {
        QString id;
        QString label;
        DetailTab* widget;
        bool stale = true;
    };
    void addTab(const QString& id, const QString& label, DetailTab* widget);
    void refreshCurrentTab();
    void showCounts(qsizetype files, qsizetype questions, qsizetype calls, qsizetype proposals);

    QPointer<StoreHolder> m_holder;
    QPointer<Settings> m_settings;
    const ShownRecord m_shown;
    QLabel* m_title;
    QLabel* m_subtitle;
    QWidget* m_banner;
    QPushButton* m_restore;
    QTabWidget* m_tabs;
    std::vector<Tab> m_tabList;
};
