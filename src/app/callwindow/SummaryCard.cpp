#include "app/callwindow/SummaryCard.h"

#include "app/callwindow/OutcomeControl.h"
#include "app/widgets/AppIcons.h"
#include "app/widgets/AppStyle.h"
#include "app/widgets/FileReveal.h"
#include "store/StoreHolder.h"
#include "summary/SummaryService.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>

SummaryCard::SummaryCard(SummaryService* summary, StoreHolder* holder, Clock& clock, QWidget* parent)
    : Card(parent, 8)
    , m_summary(summary)
    , m_holder(holder)
    , m_title(new QLabel(tr("Call summary"), this))
    , m_progress(new QProgressBar(this))
    , m_copy(new QToolButton(this))
    , m_text(new QLabel(this))
    , m_saved(new QToolButton(this))
    , m_saveError(new QLabel(this))
    , m_outcome(new OutcomeControl(summary, holder, clock, this))
{
    setObjectName(QStringLiteral("summaryCard"));
    m_title->setFont(appStyle::font(*this, 12, QFont::DemiBold));
    appStyle::setTextColor(*m_title, appStyle::green());
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->setFixedSize(48, 6);
    m_progress->setAccessibleName(tr("Writing the summary"));
    const QColor secondary = appStyle::textColor(*this, appStyle::secondaryOpacity);
    m_copy->setObjectName(QStringLiteral("copySummary"));
    m_copy->setAutoRaise(true);
    m_copy->setIcon(appIcon(AppIcon::copy, secondary));
    m_copy->setIconSize(QSize(14, 14));
    m_copy->setToolTip(tr("Copy summary"));
    m_copy->setAccessibleName(m_copy->toolTip());

    m_text->setObjectName(QStringLiteral("summaryText"));
    m_text->setFont(appStyle::font(*this, 13));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_saved->setObjectName(QStringLiteral("savedFile"));
    m_saved->setAutoRaise(true);
    m_saved->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_saved->setIcon(appIcon(AppIcon::folder, secondary));
    m_saved->setIconSize(QSize(11, 11));
    m_saved->setFont(appStyle::font(*this, 11));
    appStyle::setTextColor(*m_saved, secondary);
    m_saved->setToolTip(tr("Show in folder"));
    m_saveError->setObjectName(QStringLiteral("saveError"));
    m_saveError->setFont(appStyle::font(*this, 11));
    m_saveError->setWordWrap(true);
    m_saveError->setTextFormat(Qt::PlainText);
    appStyle::setTextColor(*m_saveError, appStyle::red());

    auto* header = new QHBoxLayout;
    header->addWidget(m_title);
    header->addStretch();
    header->addWidget(m_progress, 0, Qt::AlignVCenter);
    header->addWidget(m_copy);
    rows()->addLayout(header);
    rows()->addWidget(m_text);
    rows()->addWidget(m_saved, 0, Qt::AlignLeading);
    rows()->addWidget(m_saveError);
    rows()->addWidget(m_outcome);

    connect(m_copy, &QToolButton::clicked, this, &SummaryCard::copy);
    connect(m_saved, &QToolButton::clicked, this, [this] {
        if (m_summary && m_summary->savedFile()) {
            fileReveal::reveal(*m_summary->savedFile(), this);
        }
    });
    if (m_summary) {
        for (auto signal : { &SummaryService::textChanged, &SummaryService::savedFileChanged,
                 &SummaryService::saveErrorChanged, &SummaryService::savedCallIDChanged }) {
            connect(m_summary, signal, this, &SummaryCard::refresh);
        }
        connect(m_summary, &SummaryService::isErrorChanged, this, &SummaryCard::refresh);
        connect(m_summary, &SummaryService::isGeneratingChanged, this, &SummaryCard::refresh);
    }
    refresh();
}

bool SummaryCard::hasContent() const
{
    return m_summary
        && (m_summary->isGenerating() || m_summary->text() || m_summary->savedFile() || m_summary->saveError()
            || m_summary->savedCallID());
}

void SummaryCard::refresh()
{
    const bool generating = m_summary && m_summary->isGenerating();
    const bool isError = m_summary && m_summary->isError();
    const std::optional<QString> text = m_summary ? m_summary->text() : std::nullopt;
    const std::optional<QString> file = m_summary ? m_summary->savedFile() : std::nullopt;
    const std::optional<QString> saveError = m_summary ? m_summary->saveError() : std::nullopt;

    m_progress->setVisible(generating);
    const std::optional<QUuid> call = m_summary ? m_summary->savedCallID() : std::nullopt;
    m_copy->setVisible(!generating && !isError && text && !text->isEmpty());
    // Without a summary text (a short call, a reply without any) the card shows what was stored in its
    // place, as a note.
    const std::optional<QString> stored = text || generating ? std::nullopt : storedSummary(call);
    m_text->setVisible(text || stored);
    m_text->setText(text ? *text : stored.value_or(QString()));
    appStyle::setTextColor(*m_text,
        isError    ? appStyle::red()
            : text ? appStyle::textColor(*this, 1.0)
                   : appStyle::textColor(*this, appStyle::secondaryOpacity));
    m_saved->setVisible(file.has_value());
    m_saved->setText(tr("Saved: %1").arg(file ? QFileInfo(*file).fileName() : QString()));
    m_saved->setAccessibleName(m_saved->text());
    m_saved->setAccessibleDescription(m_saved->toolTip());
    m_saveError->setVisible(saveError.has_value());
    m_saveError->setText(saveError.value_or(QString()));
    m_outcome->setCall(call);
    m_outcome->setVisible(call.has_value());
    setVisible(hasContent());
    Q_EMIT contentChanged();
}

std::optional<QString> SummaryCard::storedSummary(const std::optional<QUuid>& call) const
{
    if (!call || !m_holder) {
        return std::nullopt;
    }
    auto found = m_holder->context().fetchOne<Call>(*call);
    if (!found || !*found || (*found)->summary.isEmpty()) {
        return std::nullopt;
    }
    return (*found)->summary;
}

void SummaryCard::copy()
{
    if (m_summary && m_summary->text()) {
        QGuiApplication::clipboard()->setText(*m_summary->text(), QClipboard::Clipboard);
    }
}
