#pragma once

#include "app/assistants/LaterOnce.h"
#include "app/assistants/ShownRecord.h"
#include "records/Enums.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class AssistantsSidebar;
class CallSearchView;
class Clock;
class DetailView;
class ImprovementService;
class SummaryService;
class QLabel;
class QMenu;
class QStackedWidget;
class QToolButton;
class SaveAction;
class Settings;
class StoreHolder;

struct AssistantsWindowOptions {
    // Times the save after typing; the system clock when null.
    Clock* clock = nullptr;
    // Writes the summary a stored call lacks, from its row; without it rows offer none.
    SummaryService* summary = nullptr;
};

// Where the user manages what shapes suggestions: assistants and their contexts in the sidebar, the
// chosen one's detail beside it. Every change is saved at once (typing after a short pause); a failed
// save is shown under the content until the next good one. The window follows the store: the app's own
// saves and reopens after another process wrote refresh it without touching a field being typed in.
// One instance; closing it only hides it.
class AssistantsWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize defaultSize { 820, 560 };
    static inline const QString geometryKey = QStringLiteral("assistantsWindowGeometry");

    // `improvement` runs "Improve from history"; without it assistants have no improvements tab.
    AssistantsWindow(StoreHolder* holder, Settings* settings, ImprovementService* improvement,
        QWidget* parent = nullptr, AssistantsWindowOptions options = {});
    ~AssistantsWindow() override;

    // Shows the window, or brings it forward when it is open already.
    void open();

    // The assistant new contexts go to: the chosen assistant, or the chosen context's assistant.
    std::optional<QUuid> currentAssistant() const;
    // Chooses an item as the sidebar does, remembering it.
    void choose(const std::optional<ShownRecord>& shown);
    void createAssistant(AssistantTemplate from);
    void createContext();
    void setArchived(bool archived);
    // Shows a call in its assistant's calls, with the line (as CallSearchHit::line) in view; false when
    // the call or its assistant no longer exists.
    bool showCall(const QUuid& call, int line);

    // The detail of the chosen item, or null when nothing (that exists) is chosen.
    SaveAction& saver() const { return *m_save; }

Q_SIGNALS:
    // The window has read the store again (after a save of the app or another process's write).
    void refreshed();

protected:
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void refresh();
    void scheduleRefresh();
    void showChosen();
    void showMenus();
    void showSaveError();
    void showContent();
    void showSearchScope();
    void saveEverything();

    QPointer<StoreHolder> m_holder;
    QPointer<Settings> m_settings;
    QPointer<ImprovementService> m_improvement;
    QPointer<SummaryService> m_summary;
    SaveAction* m_save;
    QToolButton* m_create;
    QMenu* m_createMenu;
    QToolButton* m_more;
    QMenu* m_moreMenu;
    QLabel* m_fallback;
    AssistantsSidebar* m_sidebar;
    QStackedWidget* m_content;
    CallSearchView* m_search;
    QLabel* m_placeholder;
    DetailView* m_detail = nullptr;
    QLabel* m_saveError;
    LaterOnce m_refreshLater { this, [this] { refresh(); } };
};
