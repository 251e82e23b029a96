#include "app/assistants/AssistantsWindow.h"

#include "app/assistants/AssistantsSidebar.h"
#include "app/assistants/CallRow.h"
#include "app/assistants/CallSearchView.h"
#include "app/assistants/CallsTab.h"
#include "app/assistants/DetailView.h"
#include "app/assistants/EditorFields.h"
#include "app/assistants/SaveAction.h"
#include "app/widgets/AccessibleFrame.h"
#include "app/widgets/AppStyle.h"
#include "common/Clock.h"
#include "common/Text.h"
#include "improvement/ImprovementService.h"
#include "settings/Settings.h"
#include "store/StoreHolder.h"
#include "summary/SummaryService.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QToolButton* menuButton(const QString& text, const QString& tip, QMenu* menu, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    button->setAutoRaise(true);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setMenu(menu);
    return button;
}

// Empties a menu whose action may be the one being triggered right now: the entries go later.
void clearLater(QMenu& menu)
{
    for (QAction* action : menu.actions()) {
        menu.removeAction(action);
        if (QMenu* submenu = action->menu()) {
            submenu->deleteLater();
        }
        action->deleteLater();
    }
}

} // namespace

AssistantsWindow::AssistantsWindow(StoreHolder* holder, Settings* settings, ImprovementService* improvement,
    QWidget* parent, AssistantsWindowOptions options)
    : QWidget(parent)
    , m_holder(holder)
    , m_settings(settings)
    , m_improvement(improvement)
    , m_summary(options.summary)
    , m_save(new SaveAction(holder, Clock::orSystem(options.clock), this))
    , m_create(nullptr)
    , m_createMenu(new QMenu(this))
    , m_more(nullptr)
    , m_moreMenu(new QMenu(this))
    , m_fallback(new QLabel(this))
    , m_sidebar(new AssistantsSidebar(this))
    , m_content(new QStackedWidget(this))
    , m_search(new CallSearchView(holder, Clock::orSystem(options.clock), m_content))
    , m_placeholder(editorFields::placeholder(tr("Choose an assistant or create one with +."), m_content))
    , m_saveError(new QLabel(this))
{
    setObjectName(QStringLiteral("assistants"));
    setWindowTitle(tr("Assistants"));
    presentAsFrame(this);
    setWindowFlag(Qt::Window);
    m_create = menuButton(QStringLiteral("+"), tr("New"), m_createMenu, this);
    m_create->setObjectName(QStringLiteral("create"));
    m_more = menuButton(QStringLiteral("\u22ef"), tr("More"), m_moreMenu, this);
    m_more->setObjectName(QStringLiteral("more"));
    m_fallback->setObjectName(QStringLiteral("fallbackNotice"));
    m_fallback->setText(tr("The store did not open. What you edit here will be lost when you quit the app."));
    m_fallback->setWordWrap(true);
    appStyle::setTextColor(*m_fallback, appStyle::red());
    m_fallback->setVisible(m_holder && m_holder->isFallback());
    m_placeholder->setObjectName(QStringLiteral("placeholder"));
    m_content->addWidget(m_placeholder);
    m_content->addWidget(m_search);
    m_saveError->setObjectName(QStringLiteral("saveError"));
    m_saveError->setWordWrap(true);
    m_saveError->setTextFormat(Qt::PlainText);
    m_saveError->setFont(appStyle::font(*this, 11));
    appStyle::setTextColor(*m_saveError, appStyle::red());
    m_saveError->hide();

    auto* toolbar = new QHBoxLayout;
    toolbar->addWidget(m_create);
    toolbar->addStretch();
    toolbar->addWidget(m_search->bar(), 2);
    toolbar->addWidget(m_more);
    auto* right = new QWidget(this);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(12, 0, 0, 0);
    rightLayout->addWidget(m_content, 1);
    rightLayout->addWidget(m_saveError);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(m_sidebar);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({ 220, 600 });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(toolbar);
    layout->addWidget(m_fallback);
    layout->addWidget(splitter, 1);

    connect(m_save, &SaveAction::errorChanged, this, &AssistantsWindow::showSaveError);
    connect(m_sidebar, &AssistantsSidebar::chosenChanged, this, &AssistantsWindow::choose);
    connect(m_search, &CallSearchView::showingChanged, this, &AssistantsWindow::showContent);
    connect(m_search, &CallSearchView::callChosen, this, &AssistantsWindow::showCall);
    if (m_holder) {
        connect(m_holder, &StoreHolder::changed, this, &AssistantsWindow::scheduleRefresh);
    }

    const QString stored = m_settings ? m_settings->assistantsWindowSelection() : QString();
    m_sidebar->choose(ShownRecord::parse(stored));
    refresh();
    const QVariant geometry = m_settings ? m_settings->extra(geometryKey) : QVariant();
    if (!geometry.isValid() || !restoreGeometry(geometry.toByteArray())) {
        resize(defaultSize);
    }
}

AssistantsWindow::~AssistantsWindow()
{
    // What is typed but not yet saved is saved before the widgets go; the refresh that follows a
    // save has nothing left to show.
    if (m_holder) {
        disconnect(m_holder, &StoreHolder::changed, this, &AssistantsWindow::scheduleRefresh);
    }
    saveEverything();
}

void AssistantsWindow::open()
{
    if (isMinimized()) {
        showNormal();
    }
    show();
    raise();
    activateWindow();
}

std::optional<QUuid> AssistantsWindow::currentAssistant() const
{
    const std::optional<ShownRecord> shown = m_sidebar->chosen();
    if (!shown || !m_holder) {
        return std::nullopt;
    }
    if (shown->isAssistant()) {
        return shown->id;
    }
    const auto callContext = m_holder->context().fetchOne<CallContext>(shown->id).value_or(std::nullopt);
    return callContext ? callContext->assistant : std::nullopt;
}

void AssistantsWindow::choose(const std::optional<ShownRecord>& shown)
{
    if (m_settings) {
        m_settings->setText(SettingKey::assistantsWindowSelection, shown ? shown->text() : QString());
    }
    m_sidebar->choose(shown);
    showChosen();
    showMenus();
    showSearchScope();
}

void AssistantsWindow::createAssistant(AssistantTemplate from)
{
    if (!m_holder) {
        return;
    }
    const Assistant assistant = Assistant::make(assistantTemplate::title(from), from);
    m_holder->context().insert(assistant);
    if (!m_save->save()) {
        // Not stored: it must not look created; the save error says why.
        m_holder->context().remove<Assistant>(assistant.id);
        return;
    }
    refresh();
    choose(ShownRecord { ShownRecord::Kind::assistant, assistant.id });
}

void AssistantsWindow::createContext()
{
    const std::optional<QUuid> owner = currentAssistant();
    if (!owner || !m_holder) {
        return;
    }
    const auto assistant = m_holder->context().fetchOne<Assistant>(*owner).value_or(std::nullopt);
    if (!assistant || assistant->archived) {
        return;
    }
    const CallContext callContext = CallContext::make(tr("New context"), *assistant);
    m_holder->context().insert(callContext);
    if (!m_save->save()) {
        m_holder->context().remove<CallContext>(callContext.id);
        return;
    }
    refresh();
    choose(ShownRecord { ShownRecord::Kind::context, callContext.id });
}

void AssistantsWindow::setArchived(bool archived)
{
    const std::optional<ShownRecord> shown = m_sidebar->chosen();
    if (!shown || !m_holder) {
        return;
    }
    StoreContext& context = m_holder->context();
    if (shown->isAssistant()) {
        auto assistant = context.fetchOne<Assistant>(shown->id).value_or(std::nullopt);
        if (!assistant) {
            return;
        }
        assistant->archived = archived;
        context.update(*assistant);
    } else {
        auto callContext = context.fetchOne<CallContext>(shown->id).value_or(std::nullopt);
        if (!callContext) {
            return;
        }
        callContext->archived = archived;
        context.update(*callContext);
    }
    // A failed save leaves the change pending, and so on screen, as every edit whose save failed.
    (void)m_save->save();
    refresh();
}

void AssistantsWindow::scheduleRefresh()
{
    // Saves happen inside the handlers of the window's own lists and buttons; rebuilding those under
    // their feet is left to the next turn of the event loop, once for any number of changes.
    m_refreshLater.request();
}

void AssistantsWindow::refresh()
{
    if (!m_holder) {
        return;
    }
    m_sidebar->reload(m_holder->context());
    if (m_detail && m_detail->shown() == m_sidebar->chosen() && m_detail->refresh()) {
        showMenus();
        showSearchScope();
        Q_EMIT refreshed();
        return;
    }
    showChosen();
    showMenus();
    showSearchScope();
    Q_EMIT refreshed();
}

void AssistantsWindow::showChosen()
{
    const std::optional<ShownRecord> shown = m_sidebar->chosen();
    if (m_detail && (!shown || m_detail->shown() != *shown)) {
        m_detail->commit();
        m_save->flush();
        m_content->removeWidget(m_detail);
        m_detail->deleteLater();
        m_detail = nullptr;
    }
    if (shown && !m_detail && m_holder) {
        m_detail = new DetailView(m_holder, m_save, m_settings, m_improvement, m_summary, *shown, m_content);
        connect(m_detail, &DetailView::restoreRequested, this, [this] { setArchived(false); });
        m_content->addWidget(m_detail);
    }
    if (m_detail && !m_detail->refresh()) {
        // The stored choice names something that no longer exists.
        m_content->removeWidget(m_detail);
        m_detail->deleteLater();
        m_detail = nullptr;
    }
    showContent();
}

void AssistantsWindow::showContent()
{
    if (m_search->isShowing()) {
        m_content->setCurrentWidget(m_search);
    } else {
        m_content->setCurrentWidget(m_detail ? static_cast<QWidget*>(m_detail) : m_placeholder);
    }
}

bool AssistantsWindow::showCall(const QUuid& call, int line)
{
    if (!m_holder) {
        return false;
    }
    const auto found = m_holder->context().fetchOne<Call>(call).value_or(std::nullopt);
    if (!found || !found->assistant) {
        return false;
    }
    // The call's context when that is what the sidebar shows, else its assistant.
    const std::optional<ShownRecord> shown = m_sidebar->chosen();
    const bool inShownContext = shown && !shown->isAssistant() && found->context == shown->id;
    if (!inShownContext) {
        choose(ShownRecord { ShownRecord::Kind::assistant, *found->assistant });
    }
    if (!m_detail) {
        return false;
    }
    m_detail->openTab(DetailView::calls);
    auto* calls = qobject_cast<CallsTab*>(m_detail->tab(DetailView::calls));
    return calls && calls->reveal(call, line);
}

void AssistantsWindow::showMenus()
{
    clearLater(*m_createMenu);
    QMenu* assistants = m_createMenu->addMenu(tr("New assistant"));
    for (AssistantTemplate from : { AssistantTemplate::interview, AssistantTemplate::projects,
             AssistantTemplate::prospecting, AssistantTemplate::blank }) {
        connect(assistants->addAction(assistantTemplate::title(from)), &QAction::triggered, this,
            [this, from] { createAssistant(from); });
    }
    if (const std::optional<QUuid> owner = currentAssistant(); owner && m_holder) {
        const auto assistant = m_holder->context().fetchOne<Assistant>(*owner).value_or(std::nullopt);
        if (assistant && !assistant->archived) {
            connect(m_createMenu->addAction(tr("New context in %1").arg(text::actionText(assistant->name))),
                &QAction::triggered, this, &AssistantsWindow::createContext);
        }
    }

    clearLater(*m_moreMenu);
    std::optional<bool> archived;
    if (m_detail && m_holder) {
        const ShownRecord& shown = m_detail->shown();
        StoreContext& context = m_holder->context();
        if (shown.isAssistant()) {
            const auto assistant = context.fetchOne<Assistant>(shown.id).value_or(std::nullopt);
            archived = assistant ? std::optional<bool>(assistant->archived) : std::nullopt;
        } else {
            const auto callContext = context.fetchOne<CallContext>(shown.id).value_or(std::nullopt);
            archived = callContext ? std::optional<bool>(callContext->archived) : std::nullopt;
        }
    }
    if (archived) {
        const bool restore = *archived;
        connect(m_moreMenu->addAction(restore ? tr("Restore") : tr("Archive")), &QAction::triggered, this,
            [this, restore] { setArchived(!restore); });
    }
    m_more->setEnabled(archived.has_value());
}

void AssistantsWindow::showSearchScope()
{
    const std::optional<QUuid> owner = currentAssistant();
    const auto assistant =
        owner && m_holder ? m_holder->context().fetchOne<Assistant>(*owner).value_or(std::nullopt) : std::nullopt;
    m_search->setCurrentAssistant(
        assistant ? std::optional(assistant->id) : std::nullopt, assistant ? assistant->name : QString());
}

void AssistantsWindow::showSaveError()
{
    const std::optional<QString>& error = m_save->error();
    m_saveError->setText(error ? tr("Could not save: %1").arg(*error) : QString());
    m_saveError->setVisible(error.has_value());
}

void AssistantsWindow::saveEverything()
{
    if (m_detail) {
        m_detail->commit();
    }
    if (m_holder && m_holder->context().hasChanges()) {
        (void)m_save->save();
    }
}

void AssistantsWindow::hideEvent(QHideEvent* event)
{
    saveEverything();
    if (m_settings) {
        m_settings->setExtra(geometryKey, saveGeometry());
    }
    QWidget::hideEvent(event);
}

void AssistantsWindow::closeEvent(QCloseEvent* event)
{
    // Closing only hides: the one instance comes back as it was.
    event->accept();
}
