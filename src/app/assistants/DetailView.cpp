#include "app/assistants/DetailView.h"

#include "app/assistants/CallsTab.h"
#include "app/assistants/ContextGeneralTab.h"
#include "app/assistants/GeneralTab.h"
#include "app/assistants/ImprovementsTab.h"
#include "app/assistants/KnowledgeTab.h"
#include "app/assistants/QuestionsTab.h"
#include "app/widgets/AppStyle.h"
#include "improvement/ProposalReview.h"
#include "settings/Settings.h"
#include "store/StoreHolder.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

template <typename R> qsizetype countOf(StoreContext& context, const ShownRecord& shown)
{
    Query query = shown.isAssistant() ? Query::ofAssistant(shown.id, Order::unsorted)
                                      : Query::ofContext(shown.id, Order::unsorted);
    query.withoutBlobs = true;
    return static_cast<qsizetype>(context.fetch<R>(query).value_or(std::vector<R>()).size());
}

qsizetype pendingProposals(StoreContext& context, const QUuid& assistant)
{
    Query query = Query::ofAssistant(assistant, Order::unsorted);
    query.withoutBlobs = true;
    const auto proposals = context.fetch<Proposal>(query).value_or(std::vector<Proposal>());
    return std::ranges::count_if(proposals,
        [](const Proposal& proposal) { return proposalReview::status(proposal) == proposalReview::Status::pending; });
}

QString counted(const QString& label, qsizetype count)
{
    return count == 0 ? label : label + u' ' + QString::number(count);
}

} // namespace

DetailView::DetailView(StoreHolder* holder, SaveAction* save, Settings* settings, ImprovementService* improvement,
    SummaryService* summary, ShownRecord shown, QWidget* parent)
    : QWidget(parent)
    , m_holder(holder)
    , m_settings(settings)
    , m_shown(shown)
    , m_title(new QLabel(this))
    , m_subtitle(new QLabel(this))
    , m_banner(new QWidget(this))
    , m_restore(new QPushButton(tr("Restore"), m_banner))
    , m_tabs(new QTabWidget(this))
{
    m_title->setObjectName(QStringLiteral("detailTitle"));
    m_title->setTextFormat(Qt::PlainText);
    m_title->setFont(appStyle::font(*this, 20, QFont::DemiBold));
    m_subtitle->setObjectName(QStringLiteral("detailSubtitle"));
    m_subtitle->setTextFormat(Qt::PlainText);
    appStyle::setTextColor(*m_subtitle, appStyle::textColor(*this, appStyle::secondaryOpacity));
    m_banner->setObjectName(QStringLiteral("archivedBanner"));
    m_banner->setAutoFillBackground(true);
    QPalette bannerPalette = m_banner->palette();
    bannerPalette.setColor(QPalette::Window, QColor(255, 204, 0, 60));
    m_banner->setPalette(bannerPalette);
    auto* bannerText = new QLabel(tr("Archived: hidden from the main window."), m_banner);
    m_restore->setObjectName(QStringLiteral("restore"));
    auto* bannerLayout = new QHBoxLayout(m_banner);
    bannerLayout->setContentsMargins(8, 4, 8, 4);
    bannerLayout->addWidget(bannerText, 1);
    bannerLayout->addWidget(m_restore);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    m_tabs->setDocumentMode(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_title);
    layout->addWidget(m_subtitle);
    layout->addWidget(m_banner);
    layout->addWidget(m_tabs, 1);

    if (shown.isAssistant()) {
        addTab(general, tr("General"), new GeneralTab(holder, save, shown, m_tabs));
        addTab(knowledge, tr("Knowledge"), new KnowledgeTab(holder, save, shown, m_tabs));
        addTab(questions, tr("Questions"), new QuestionsTab(holder, save, shown, m_tabs));
        if (improvement) {
            addTab(improvements, tr("Improvements"), new ImprovementsTab(holder, save, shown, improvement, m_tabs));
        }
        addTab(calls, tr("Calls"), new CallsTab(holder, save, summary, shown, m_tabs));
    } else {
        addTab(general, tr("General"), new ContextGeneralTab(holder, save, shown, m_tabs));
        addTab(knowledge, tr("Files"), new KnowledgeTab(holder, save, shown, m_tabs));
        addTab(calls, tr("Calls"), new CallsTab(holder, save, summary, shown, m_tabs));
    }
    const QString stored =
        m_settings ? (shown.isAssistant() ? m_settings->assistantTab() : m_settings->contextTab()) : QString();
    openTab(tabIds().contains(stored) ? stored : general);

    connect(m_restore, &QPushButton::clicked, this, &DetailView::restoreRequested);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] {
        if (m_settings) {
            m_settings->setText(
                m_shown.isAssistant() ? SettingKey::assistantTab : SettingKey::contextTab, currentTab());
        }
        refreshCurrentTab();
    });
}

void DetailView::addTab(const QString& id, const QString& label, DetailTab* widget)
{
    widget->setObjectName(id);
    m_tabs->addTab(widget, label);
    m_tabList.push_back(Tab { id, label, widget });
}

QStringList DetailView::tabIds() const
{
    QStringList ids;
    for (const Tab& tab : m_tabList) {
        ids.append(tab.id);
    }
    return ids;
}

QString DetailView::currentTab() const
{
    const int index = m_tabs->currentIndex();
    return index >= 0 && index < int(m_tabList.size()) ? m_tabList[size_t(index)].id : general;
}

void DetailView::openTab(const QString& id)
{
    const int index = int(tabIds().indexOf(id));
    if (index >= 0) {
        m_tabs->setCurrentIndex(index);
    }
}

DetailTab* DetailView::tab(const QString& id) const
{
    for (const Tab& tab : m_tabList) {
        if (tab.id == id) {
            return tab.widget;
        }
    }
    return nullptr;
}

bool DetailView::refresh()
{
    if (!m_holder) {
        return false;
    }
    StoreContext& context = m_holder->context();
    bool archived = false;
    if (m_shown.isAssistant()) {
        const auto assistant = context.fetchOne<Assistant>(m_shown.id).value_or(std::nullopt);
        if (!assistant) {
            return false;
        }
        m_title->setText(assistant->name);
        const auto from = assistant->templateValue();
        m_subtitle->setText(from ? assistantTemplate::title(*from) : QString());
        archived = assistant->archived;
        showCounts(countOf<KnowledgeFile>(context, m_shown), countOf<QAItem>(context, m_shown),
            countOf<Call>(context, m_shown), pendingProposals(context, m_shown.id));
    } else {
        const auto callContext = context.fetchOne<CallContext>(m_shown.id).value_or(std::nullopt);
        if (!callContext) {
            return false;
        }
        m_title->setText(callContext->name);
        std::optional<Assistant> owner;
        if (callContext->assistant) {
            owner = context.fetchOne<Assistant>(*callContext->assistant).value_or(std::nullopt);
        }
        m_subtitle->setText(owner ? owner->name : QString());
        archived = callContext->archived;
        showCounts(countOf<KnowledgeFile>(context, m_shown), 0, countOf<Call>(context, m_shown), 0);
    }
    m_subtitle->setVisible(!m_subtitle->text().isEmpty());
    m_banner->setVisible(archived);
    for (Tab& tab : m_tabList) {
        tab.stale = true;
    }
    refreshCurrentTab();
    return true;
}

void DetailView::commit()
{
    for (const Tab& tab : m_tabList) {
        tab.widget->commit();
    }
}

void DetailView::refreshCurrentTab()
{
    const int index = m_tabs->currentIndex();
    if (index < 0 || index >= int(m_tabList.size())) {
        return;
    }
    Tab& tab = m_tabList[size_t(index)];
    if (tab.stale) {
        tab.stale = false;
        tab.widget->refresh();
    }
}

void DetailView::showCounts(qsizetype files, qsizetype questions, qsizetype calls, qsizetype proposals)
{
    for (size_t index = 0; index < m_tabList.size(); ++index) {
        const Tab& tab = m_tabList[index];
        QString label = tab.label;
        if (tab.id == knowledge) {
            label = counted(tab.label, files);
        } else if (tab.id == DetailView::questions) {
            label = counted(tab.label, questions);
        } else if (tab.id == DetailView::calls) {
            label = counted(tab.label, calls);
        } else if (tab.id == improvements) {
            label = counted(tab.label, proposals);
        }
        m_tabs->setTabText(int(index), label);
        m_tabs->tabBar()->setAccessibleTabName(int(index), label);
    }
}
