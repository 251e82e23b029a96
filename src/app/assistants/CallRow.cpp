#include "app/assistants/CallRow.h"

#include "app/assistants/CallsModel.h"
#include "app/assistants/SaveAction.h"
#include "app/widgets/AppIcons.h"
#include "app/widgets/AppStyle.h"
#include "app/widgets/FileReveal.h"
#include "app/widgets/RatingThumbs.h"
#include "common/Log.h"
#include "common/Text.h"
#include "store/CallRating.h"
#include "store/CallSearch.h"
#include "store/StoreHolder.h"
#include "summary/CallArchive.h"
#include "summary/SummaryService.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int markSize = 14;

QToolButton* outcomeButton(const QString& label, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(label);
    button->setToolTip(label);
    button->setAccessibleName(label);
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    return button;
}

QTextCharFormat labelFormat(const QColor& color)
{
    QTextCharFormat format;
    format.setForeground(color);
    format.setFontWeight(QFont::DemiBold);
    return format;
}

} // namespace

CallRow::CallRow(StoreHolder* holder, SaveAction* save, SummaryService* summary, const Call& call,
    const QString& contextName, QWidget* parent)
    : QWidget(parent)
    , m_holder(holder)
    , m_save(save)
    , m_summaryService(summary)
    , m_call(call)
    , m_contextName(contextName)
    , m_loadedNote(call.outcomeNote)
    , m_header(new QToolButton(this))
    , m_mark(new QLabel(this))
{
    m_header->setObjectName(QStringLiteral("callHeader"));
    m_header->setCheckable(true);
    m_header->setAutoRaise(true);
    m_header->setArrowType(Qt::RightArrow);
    m_header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_mark->setObjectName(QStringLiteral("outcomeMark"));
    m_mark->setFixedWidth(markSize + 8);
    m_mark->setAlignment(Qt::AlignCenter);

    auto* headerRow = new QHBoxLayout;
    headerRow->setContentsMargins(0, 0, 0, 0);
    headerRow->addWidget(m_header, 1);
    headerRow->addWidget(m_mark);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(headerRow);

    connect(m_header, &QToolButton::toggled, this, &CallRow::setExpanded);
    showHeader();
}

CallRow::~CallRow()
{
    // The window saves every note before it closes or shows something else; a row that goes away
    // with its call (another process removed it) has nothing left to save to.
    saveNote();
}

void CallRow::update(const Call& call, const QString& contextName)
{
    // The blobs of a listing are empty; the ones already read stay.
    const QByteArray lines = m_call.linesData;
    const QByteArray suggestions = m_call.suggestionsData;
    m_call = call;
    if (call.linesData.isEmpty() && call.suggestionsData.isEmpty()) {
        m_call.linesData = lines;
        m_call.suggestionsData = suggestions;
    }
    m_contextName = contextName;
    showHeader();
    if (m_body) {
        showBody();
    }
}

void CallRow::setExpanded(bool expanded)
{
    if (expanded == isExpanded()) {
        return;
    }
    if (!expanded) {
        saveNote();
    }
    if (expanded && !m_body) {
        buildBody();
    }
    if (m_body) {
        m_body->setVisible(expanded);
    }
    const QSignalBlocker blocker(m_header);
    m_header->setChecked(expanded);
    m_header->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
}

void CallRow::showHeader()
{
    const QString text = CallsModel::headerText(m_call, m_contextName);
    m_header->setText(text::actionText(text)); // a context's "&" is shown, not taken as a mnemonic
    m_header->setAccessibleName(text);
    const CallOutcome outcome = m_call.outcomeValue();
    m_mark->setAccessibleName(CallsModel::outcomeText(outcome));
    switch (outcome) {
    case CallOutcome::positive:
        m_mark->setPixmap(appIcon(AppIcon::thumbsUp, appStyle::green()).pixmap(markSize));
        break;
    case CallOutcome::negative:
        m_mark->setPixmap(appIcon(AppIcon::thumbsDown, appStyle::red()).pixmap(markSize));
        break;
    case CallOutcome::none:
        m_mark->setText(QStringLiteral("\u2014"));
        appStyle::setTextColor(*m_mark, appStyle::textColor(*this, appStyle::secondaryOpacity));
        break;
    }
}

void CallRow::buildBody()
{
    if (m_holder && m_call.linesData.isEmpty() && m_call.suggestionsData.isEmpty()) {
        if (auto full = m_holder->context().fetchOne<Call>(m_call.id); full && *full) {
            m_call.linesData = (*full)->linesData;
            m_call.suggestionsData = (*full)->suggestionsData;
        }
    }
    m_body = new QWidget(this);
    m_body->setObjectName(QStringLiteral("callDetail"));
    m_summary = new QLabel(m_body);
    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setWordWrap(true);
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_summarize = new QPushButton(m_body);
    m_summarize->setObjectName(QStringLiteral("summarize"));
    m_summaryProblem = new QLabel(m_body);
    m_summaryProblem->setObjectName(QStringLiteral("summaryProblem"));
    m_summaryProblem->setWordWrap(true);
    m_summaryProblem->setTextFormat(Qt::PlainText);
    appStyle::setTextColor(*m_summaryProblem, appStyle::red());
    m_transcript = new QPlainTextEdit(m_body);
    m_transcript->setObjectName(QStringLiteral("transcript"));
    m_transcript->setAccessibleName(tr("Transcript"));
    m_transcript->setReadOnly(true);
    m_transcript->setMinimumHeight(120);
    m_transcript->setMaximumHeight(260);
    m_openFile = new QPushButton(tr("Open file"), m_body);
    m_openFile->setObjectName(QStringLiteral("openFile"));
    m_reveal = new QPushButton(
        appIcon(AppIcon::folder, appStyle::textColor(*this, appStyle::secondaryOpacity)), QString(), m_body);
    m_reveal->setObjectName(QStringLiteral("showInFolder"));
    m_reveal->setToolTip(tr("Show in folder"));
    m_reveal->setAccessibleName(m_reveal->toolTip());
    m_export = new QPushButton(tr("Export\u2026"), m_body);
    m_export->setObjectName(QStringLiteral("exportCall"));
    m_export->setToolTip(tr("Save the call as text, captions or JSON"));
    m_export->setAccessibleName(m_export->toolTip());
    m_exportStatus = new QLabel(m_body);
    m_exportStatus->setObjectName(QStringLiteral("exportStatus"));
    m_exportStatus->setTextFormat(Qt::PlainText);
    m_exportStatus->setWordWrap(true);
    m_exportStatus->hide();
    m_good = outcomeButton(tr("Good call"), m_body);
    m_good->setObjectName(QStringLiteral("goodCall"));
    m_bad = outcomeButton(tr("Bad call"), m_body);
    m_bad->setObjectName(QStringLiteral("badCall"));
    m_note = new QLineEdit(m_body);
    m_note->setObjectName(QStringLiteral("note"));
    m_note->setPlaceholderText(tr("Note (optional)"));
    m_note->setAccessibleName(tr("Note"));
    m_note->setText(m_call.outcomeNote);
    m_loadedNote = m_call.outcomeNote;
    m_givenUp = new QLabel(m_body);
    m_givenUp->setObjectName(QStringLiteral("improvementFailure"));
    m_givenUp->setWordWrap(true);
    m_givenUp->setTextFormat(Qt::PlainText);
    m_givenUp->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_analyzeAgain = new QPushButton(tr("Analyze again"), m_body);
    m_analyzeAgain->setObjectName(QStringLiteral("analyzeAgain"));
    m_analyzeAgain->setToolTip(tr("Include this call in the next improvement from history"));
    m_analyzeAgain->setAccessibleName(m_analyzeAgain->toolTip());

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_openFile);
    fileRow->addWidget(m_reveal);
    fileRow->addWidget(m_export);
    fileRow->addWidget(m_exportStatus, 1);
    fileRow->addStretch();
    auto* outcomeRow = new QHBoxLayout;
    outcomeRow->addWidget(m_good);
    outcomeRow->addWidget(m_bad);
    outcomeRow->addWidget(m_note, 1);
    auto* improvementRow = new QHBoxLayout;
    improvementRow->addWidget(m_givenUp, 1);
    improvementRow->addWidget(m_analyzeAgain, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(m_body);
    layout->setContentsMargins(24, 0, 4, 8);
    layout->addWidget(m_summary);
    layout->addWidget(m_summarize, 0, Qt::AlignLeft);
    layout->addWidget(m_summaryProblem);
    layout->addWidget(m_transcript);
    layout->addLayout(fileRow);
    layout->addLayout(outcomeRow);
    layout->addLayout(improvementRow);
    static_cast<QVBoxLayout*>(this->layout())->addWidget(m_body);

    connect(m_openFile, &QPushButton::clicked, this,
        [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(m_call.archiveFile)); });
    connect(m_reveal, &QPushButton::clicked, this, [this] { fileReveal::reveal(m_call.archiveFile, this); });
    connect(m_export, &QPushButton::clicked, this, &CallRow::exportCall);
    // Toggled rather than clicked: assistive technology toggles a checkable button without a click.
    connect(m_good, &QToolButton::toggled, this, [this] { tap(CallOutcome::positive); });
    connect(m_bad, &QToolButton::toggled, this, [this] { tap(CallOutcome::negative); });
    connect(m_note, &QLineEdit::editingFinished, this, &CallRow::saveNote);
    connect(m_summarize, &QPushButton::clicked, this, [this] {
        if (m_summaryService) {
            m_summaryService->summariseStored(m_call.id);
        }
    });
    if (m_summaryService) {
        connect(m_summaryService, &SummaryService::storedSummaryChanged, this, [this](const QUuid& callID) {
            if (callID == m_call.id) {
                showBody();
            }
        });
    }
    connect(m_analyzeAgain, &QPushButton::clicked, this, &CallRow::analyzeAgain);
    showTranscript(m_call);
    showBody();
}

void CallRow::showBody()
{
    m_summary->setText(m_call.summary.isEmpty() ? tr("No summary.") : SummaryService::shownSummary(m_call.summary));
    const bool writing = m_summaryService && m_summaryService->isSummarising(m_call.id);
    m_summarize->setVisible(m_summaryService && m_call.summary.isEmpty());
    m_summarize->setEnabled(!writing);
    m_summarize->setText(writing ? tr("Writing the summary\u2026") : tr("Write summary"));
    const std::optional<QString> problem =
        m_summaryService ? m_summaryService->storedSummaryError(m_call.id) : std::nullopt;
    m_summaryProblem->setVisible(problem.has_value());
    m_summaryProblem->setText(problem.value_or(QString()));
    const QFileInfo file(m_call.archiveFile);
    const bool fileExists = !m_call.archiveFile.isEmpty() && file.isFile();
    m_openFile->setVisible(fileExists);
    m_reveal->setVisible(fileExists);
    showRatingThumbs(*this, *m_good, *m_bad, m_call.outcomeValue());
    const bool givenUp = m_call.reviewedForImprovement && !m_call.improvementFailure.isEmpty();
    m_givenUp->setVisible(givenUp);
    m_analyzeAgain->setVisible(givenUp);
    if (givenUp) {
        m_givenUp->setText(tr("Improvement from history gave up on this call: %1").arg(m_call.improvementFailure));
    }
    // A note being typed (focused, or changed and not yet saved) stays as it is.
    const bool typing = m_note->hasFocus() || m_note->text() != m_loadedNote;
    if (!typing) {
        const QSignalBlocker blocker(m_note);
        m_note->setText(m_call.outcomeNote);
        m_loadedNote = m_call.outcomeNote;
    }
}

void CallRow::showTranscript(const Call& call)
{
    const QList<CallLine> lines = call.lines();
    const QList<CallSuggestion> suggestions = call.suggestions();
    m_transcript->setVisible(!lines.isEmpty() || !suggestions.isEmpty());
    QTextDocument* document = m_transcript->document();
    document->clear();
    m_lineBlocks.clear();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    const QTextCharFormat plain;
    const QTextCharFormat you = labelFormat(appStyle::red());
    const QTextCharFormat them = labelFormat(appStyle::blue());
    const QTextCharFormat suggested = labelFormat(appStyle::green());
    const QLocale locale;
    bool first = true;
    auto startBlock = [&] {
        if (!first) {
            cursor.insertBlock();
        }
        first = false;
    };
    // Each suggestion goes after the lines finished by the time it was made, as in the call window.
    qsizetype next = 0;
    auto linesUntil = [&](const std::optional<QDateTime>& until) {
        for (; next < lines.size() && (!until || lines[next].date <= *until); ++next) {
            const CallLine& line = lines[next];
            startBlock();
            m_lineBlocks.append(cursor.blockNumber());
            cursor.insertText(speaker::shownLabel(line.fromMe ? Speaker::me : Speaker::them) + QStringLiteral(": "),
                line.fromMe ? you : them);
            cursor.insertText(line.text, plain);
        }
    };
    for (const CallSuggestion& suggestion : suggestions) {
        linesUntil(suggestion.date);
        startBlock();
        cursor.insertText(
            tr("Suggestion (%1): ").arg(locale.toString(suggestion.date.toLocalTime().time(), QLocale::ShortFormat)),
            suggested);
        cursor.insertText(suggestion.text, plain);
    }
    linesUntil(std::nullopt);
    cursor.endEditBlock();
    m_transcript->moveCursor(QTextCursor::Start);
}

QWidget* CallRow::showPassage(int line)
{
    setExpanded(true);
    if (line >= 0 && line < m_lineBlocks.size()) {
        const QTextBlock block = m_transcript->document()->findBlockByNumber(m_lineBlocks[line]);
        QTextCursor cursor(block);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        m_transcript->setTextCursor(cursor);
        m_transcript->centerCursor();
        m_transcript->setFocus(Qt::OtherFocusReason);
        return m_transcript;
    }
    if (line == CallSearchHit::noteLine) {
        m_note->setFocus(Qt::OtherFocusReason);
        return m_note;
    }
    return m_summary;
}

void CallRow::exportCall()
{
    using callExport::Format;
    const std::vector<std::pair<Format, QString>> filters { { Format::text, tr("Plain text (*.txt)") },
        { Format::subRip, tr("SubRip captions (*.srt)") }, { Format::webVtt, tr("WebVTT captions (*.vtt)") },
        { Format::json, tr("JSON (*.json)") } };
    if (m_exportDialog && m_exportDialog->isVisible()) {
        m_exportDialog->raise();
        return;
    }
    auto* dialog = new QFileDialog(this, tr("Export the call"));
    m_exportDialog = dialog;
    dialog->setObjectName(QStringLiteral("exportDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setWindowModality(Qt::WindowModal);
    QStringList names;
    for (const auto& [format, name] : filters) {
        names.append(name);
    }
    dialog->setNameFilters(names);
    dialog->setDefaultSuffix(callExport::suffix(Format::text));
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    dialog->setDirectory(folder);
    dialog->selectFile(callArchive::baseName(m_call.startedAt) + QStringLiteral(".txt"));
    // The typed name takes the chosen format's extension, so the dialog's question before replacing
    // a file is about the file that will be written.
    connect(dialog, &QFileDialog::filterSelected, dialog, [dialog, filters](const QString& chosen) {
        for (const auto& [format, name] : filters) {
            if (name == chosen) {
                dialog->setDefaultSuffix(callExport::suffix(format));
            }
        }
    });
    connect(dialog, &QFileDialog::fileSelected, this, [this, dialog, filters](const QString& path) {
        Format format = Format::text;
        for (const auto& [candidate, name] : filters) {
            if (name == dialog->selectedNameFilter()) {
                format = candidate;
            }
        }
        exportTo(path, format);
    });
    dialog->open();
}

void CallRow::exportTo(const QString& path, callExport::Format format)
{
    const auto fail = [&](const QString& reason) {
        m_exportStatus->setText(tr("Could not export the call: %1").arg(reason));
        appStyle::setTextColor(*m_exportStatus, appStyle::red());
        m_exportStatus->show();
    };
    if (!m_holder) {
        return;
    }
    format = callExport::parseFormat(QFileInfo(path).suffix().toLower()).value_or(format);
    StoreContext& context = m_holder->context();
    const auto call = context.fetchOne<Call>(m_call.id);
    if (!call || !*call) {
        fail(call ? tr("the call is no longer in the store.") : call.error().message);
        return;
    }
    const auto bytes = callExport::render(context, **call, format);
    QSaveFile file(path);
    if (!bytes || !file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit()) {
        fail(!bytes ? bytes.error().message : file.errorString());
        return;
    }
    m_exportStatus->setText(tr("Exported to %1").arg(QFileInfo(path).fileName()));
    appStyle::setTextColor(*m_exportStatus, appStyle::textColor(*this, appStyle::secondaryOpacity));
    m_exportStatus->show();
}

void CallRow::tap(CallOutcome outcome)
{
    if (!m_holder || !m_save) {
        return;
    }
    StoreContext& context = m_holder->context();
    auto found = context.fetchOne<Call>(m_call.id);
    if (!found || !*found) {
        return;
    }
    const Call& stored = **found;
    // A note whose own save was refused goes along with the rating.
    std::optional<QString> note;
    if (m_note && m_note->text() != m_loadedNote) {
        note = m_note->text();
    }
    const auto written = callRating::write(
        context, stored, { .outcome = callRating::toggled(stored.outcomeValue(), outcome), .note = note });
    m_save->show(written ? Result<void>() : Result<void>(std::unexpected(written.error())));
    // A refused save is taken back, and the window says why: the row shows what is stored.
    const Call& shown = written ? *written : stored;
    m_call.outcome = shown.outcome;
    if (written && note) {
        m_loadedNote = *note;
        m_call.outcomeNote = *note;
    }
    showHeader();
    showBody();
}

void CallRow::analyzeAgain()
{
    if (!m_holder || !m_save) {
        return;
    }
    StoreContext& context = m_holder->context();
    auto found = context.fetchOne<Call>(m_call.id);
    if (!found || !*found) {
        return;
    }
    Call call = **found;
    call.reviewedForImprovement = false;
    call.improvementFailure.clear();
    call.improvementFailures = 0;
    context.update(call);
    // A failed save is shown by the window and stays pending for the next one.
    (void)m_save->save();
    m_call.reviewedForImprovement = false;
    m_call.improvementFailure.clear();
    m_call.improvementFailures = 0;
    showBody();
}

void CallRow::saveNote()
{
    if (!m_note || !m_holder || m_note->text() == m_loadedNote) {
        return;
    }
    StoreContext& context = m_holder->context();
    auto found = context.fetchOne<Call>(m_call.id);
    if (!found || !*found) {
        return;
    }
    const auto written = callRating::write(context, **found, { .outcome = std::nullopt, .note = m_note->text() });
    if (m_save) {
        m_save->show(written ? Result<void>() : Result<void>(std::unexpected(written.error())));
    }
    if (!written) {
        // The text stays in the field, so it is saved again when the field is next left.
        qCCritical(lcAssistants, "Could not save the call note: %s", qUtf8Printable(written.error().message));
        return;
    }
    m_loadedNote = written->outcomeNote;
    m_call.outcomeNote = written->outcomeNote;
}
