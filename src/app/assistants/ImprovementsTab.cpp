#include "app/assistants/ImprovementsTab.h"

#include "app/assistants/EditorFields.h"
#include "app/assistants/ImprovementsSection.h"
#include "app/assistants/ProposalView.h"
#include "app/widgets/AppStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

ImprovementsTab::ImprovementsTab(
    StoreHolder* holder, SaveAction* save, ShownRecord shown, ImprovementService* service, QWidget* parent)
    : DetailTab(holder, save, shown, parent)
    , m_section(new ImprovementsSection(
          shown.id, holder, service,
          [save = QPointer<SaveAction>(save)] {
              if (save) {
                  (void)save->save();
              }
          },
          this))
    , m_run(new QPushButton(this))
    , m_progress(new QProgressBar(this))
    , m_progressText(editorFields::help(QString(), this))
    , m_outcome(editorFields::help(QString(), this))
    , m_pending(new QVBoxLayout)
    , m_reviewedToggle(new QToolButton(this))
    , m_reviewedList(new QWidget(this))
{
    m_run->setObjectName(QStringLiteral("improve"));
    m_progress->setObjectName(QStringLiteral("improveProgress"));
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->setMaximumSize(80, 8);
    m_progress->setAccessibleName(tr("Improving"));
    m_progressText->setObjectName(QStringLiteral("improveProgressText"));
    m_outcome->setObjectName(QStringLiteral("improveOutcome"));
    m_reviewedToggle->setObjectName(QStringLiteral("reviewed"));
    m_reviewedToggle->setCheckable(true);
    m_reviewedToggle->setAutoRaise(true);
    m_reviewedToggle->setArrowType(Qt::RightArrow);
    m_reviewedToggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_reviewedList->setObjectName(QStringLiteral("reviewedList"));
    m_reviewedList->setLayout(new QVBoxLayout);
    m_reviewedList->layout()->setContentsMargins(24, 0, 0, 0);
    m_reviewedList->hide();

    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->addWidget(editorFields::help(ImprovementsSection::explanation(), content));
    auto* runRow = new QHBoxLayout;
    runRow->addWidget(m_run);
    runRow->addWidget(m_progress);
    runRow->addWidget(m_progressText, 1);
    layout->addLayout(runRow);
    layout->addWidget(m_outcome);
    layout->addLayout(m_pending);
    layout->addWidget(m_reviewedToggle);
    layout->addWidget(m_reviewedList);
    layout->addStretch();
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(content);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    connect(m_run, &QPushButton::clicked, m_section, &ImprovementsSection::improve);
    connect(m_section, &ImprovementsSection::changed, this, &ImprovementsTab::scheduleRefresh);
    connect(m_reviewedToggle, &QToolButton::toggled, this, [this](bool open) {
        m_reviewedToggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        m_reviewedList->setVisible(open);
    });
}

QList<ProposalView*> ImprovementsTab::proposals() const
{
    QList<ProposalView*> views;
    for (int index = 0; index < m_pending->count(); ++index) {
        if (auto* view = qobject_cast<ProposalView*>(m_pending->itemAt(index)->widget())) {
            views.append(view);
        }
    }
    return views;
}

void ImprovementsTab::scheduleRefresh()
{
    // The section speaks up inside saves and the service's steps; the rows are rebuilt afterwards,
    // and only while they are on screen (the detail refreshes a tab when it is opened).
    if (isVisible()) {
        m_refreshLater.request();
    }
}

void ImprovementsTab::refresh()
{
    m_run->setText(m_section->buttonText());
    m_run->setEnabled(m_section->isButtonEnabled());
    const bool running = m_section->isRunningHere();
    m_progress->setVisible(running);
    m_progressText->setText(m_section->progressText());
    m_progressText->setVisible(running);
    const std::optional<QString> outcome = m_section->outcome();
    m_outcome->setText(outcome.value_or(QString()));
    m_outcome->setVisible(outcome && !outcome->isEmpty());

    std::map<QUuid, ProposalView*> kept;
    for (const Proposal& proposal : m_section->pendingProposals()) {
        ProposalView* view = nullptr;
        if (auto found = m_views.find(proposal.id); found != m_views.end()) {
            view = found->second;
            m_views.erase(found);
            view->update(proposal);
        } else {
            view = new ProposalView(m_section, proposal, this);
        }
        m_pending->removeWidget(view);
        m_pending->addWidget(view);
        kept.emplace(proposal.id, view);
    }
    for (auto& [id, view] : m_views) {
        // Decided (here or by another process): it moves to the reviewed list.
        m_pending->removeWidget(view);
        view->hide();
        view->deleteLater();
    }
    m_views = std::move(kept);
    showReviewed();
}

void ImprovementsTab::showReviewed()
{
    const std::vector<Proposal> reviewed = m_section->reviewedProposals();
    m_reviewedToggle->setText(m_section->reviewedTitle());
    m_reviewedToggle->setAccessibleName(m_reviewedToggle->text());
    m_reviewedToggle->setVisible(!reviewed.empty());
    QLayout* layout = m_reviewedList->layout();
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const Proposal& proposal : reviewed) {
        auto* headline = new QLabel(ImprovementsSection::reviewedHeadline(proposal), m_reviewedList);
        headline->setTextFormat(Qt::PlainText);
        auto* date = editorFields::help(ImprovementsSection::reviewedDate(proposal), m_reviewedList);
        date->setFont(appStyle::font(*date, 11));
        layout->addWidget(headline);
        layout->addWidget(date);
    }
}
