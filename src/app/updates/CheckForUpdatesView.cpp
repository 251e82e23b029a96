#include "app/updates/CheckForUpdatesView.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QVBoxLayout>

CheckForUpdatesView::CheckForUpdatesView(Updater& updater, QAction* action, QObject* parent)
    : QObject(parent)
    , m_updater(&updater)
    , m_action(action)
{
    m_action->setEnabled(updater.canCheck());
    connect(m_updater, &Updater::canCheckChanged, m_action, &QAction::setEnabled);
    connect(m_action, &QAction::triggered, this, [this] {
        if (!m_updater) {
            return;
        }
        if (m_updater->hasFeed()) {
            m_updater->checkForUpdates();
        } else {
            showInstalled();
        }
    });
    connect(m_updater, &Updater::checkFinished, this, &CheckForUpdatesView::show);
}

CheckForUpdatesView::~CheckForUpdatesView() = default;

void CheckForUpdatesView::makeDialog()
{
    m_dialog = std::make_unique<QDialog>();
    m_dialog->setObjectName(QStringLiteral("updates"));
    m_dialog->setWindowTitle(tr("Software Update"));
    auto* layout = new QVBoxLayout(m_dialog.get());
    m_headline = new QLabel(m_dialog.get());
    m_headline->setObjectName(QStringLiteral("headline"));
    QFont bold = m_headline->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    m_headline->setFont(bold);
    m_headline->setTextFormat(Qt::PlainText);
    layout->addWidget(m_headline);
    m_detail = new QLabel(m_dialog.get());
    m_detail->setObjectName(QStringLiteral("detail"));
    m_detail->setTextFormat(Qt::PlainText);
    m_detail->setWordWrap(true);
    layout->addWidget(m_detail);
    m_notes = new QPlainTextEdit(m_dialog.get());
    m_notes->setReadOnly(true);
    m_notes->setAccessibleName(tr("Release notes"));
    layout->addWidget(m_notes, 1);
    m_link = new QLabel(m_dialog.get());
    m_link->setObjectName(QStringLiteral("link"));
    m_link->setTextFormat(Qt::RichText);
    m_link->setOpenExternalLinks(true);
    m_link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    layout->addWidget(m_link);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, m_dialog.get());
    connect(buttons, &QDialogButtonBox::rejected, m_dialog.get(), &QDialog::close);
    layout->addWidget(buttons);
    m_dialog->setMinimumWidth(440);
}

void CheckForUpdatesView::showInstalled()
{
    if (!m_dialog) {
        makeDialog();
    }
    m_headline->setText(tr("Quillora %1 is installed").arg(m_updater->currentVersion()));
    m_detail->setText(tr("Updates for Quillora come from your system's package manager. To check a release feed from "
                         "here as well, enter its address in Settings, under Updates."));
    present({}, {});
}

void CheckForUpdatesView::show(const UpdateCheckResult& result)
{
    if (!m_dialog) {
        makeDialog();
    }
    const QString current = m_updater ? m_updater->currentVersion() : QString();
    QString notes;
    QUrl link;
    if (!result) {
        m_headline->setText(tr("Could not check for updates"));
        m_detail->setText(result.error().message);
    } else if (const std::optional<AppcastItem>& item = *result) {
        m_headline->setText(tr("Quillora %1 is available").arg(item->version));
        m_detail->setText(item->published.isValid()
                ? tr("Released on %1. You have version %2. Update Quillora with your system's package manager.")
                      .arg(QLocale().toString(item->published.date(), QLocale::LongFormat), current)
                : tr("You have version %1. Update Quillora with your system's package manager.").arg(current));
        notes = item->notes;
        link = item->link;
    } else {
        m_headline->setText(tr("Quillora is up to date"));
        m_detail->setText(tr("Version %1 is the newest version available.").arg(current));
    }
    present(notes, link);
}

void CheckForUpdatesView::present(const QString& notes, const QUrl& link)
{
    m_notes->setPlainText(notes);
    m_notes->setVisible(!notes.isEmpty());
    // Only http and https addresses reach here (the feed reader drops others).
    m_link->setText(link.isEmpty()
            ? QString()
            : QStringLiteral("<a href=\"%1\">%2</a>")
                  .arg(link.toString(QUrl::FullyEncoded).toHtmlEscaped(), tr("Release notes").toHtmlEscaped()));
    m_link->setVisible(!link.isEmpty());
    m_link->setAccessibleName(link.isEmpty() ? QString() : tr("Release notes"));
    // Named by its title, as every window; the outcome is what it says about itself.
    m_dialog->setAccessibleDescription(m_headline->text());
    m_dialog->adjustSize();
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
    Q_EMIT shown();
}
