#include "app/assistants/KnowledgeTab.h"

#include "app/assistants/EditorFields.h"
#include "app/assistants/KnowledgeModel.h"
#include "app/assistants/SaveAction.h"
#include "app/widgets/AppStyle.h"
#include "records/KnowledgeImport.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Local files only: links and text snippets dropped on the tab are not files to import.
QStringList localFiles(const QMimeData* mime)
{
    QStringList paths;
    if (mime && mime->hasUrls()) {
        for (const QUrl& url : mime->urls()) {
            if (url.isLocalFile()) {
                paths.append(url.toLocalFile());
            }
        }
    }
    return paths;
}

} // namespace

KnowledgeTab::KnowledgeTab(StoreHolder* holder, SaveAction* save, ShownRecord shown, QWidget* parent)
    : DetailTab(holder, save, shown, parent)
    , m_model(new KnowledgeModel(shown, this))
    , m_files(new QListView(this))
    , m_dropArea(editorFields::placeholder(tr("Drag .md or .txt files here."), this))
    , m_add(new QPushButton(tr("Add file"), this))
    , m_errors(new QLabel(this))
{
    setAcceptDrops(true);
    m_files->setObjectName(QStringLiteral("files"));
    m_files->setAccessibleName(shown.isAssistant() ? tr("Knowledge") : tr("Files"));
    m_files->setContextMenuPolicy(Qt::CustomContextMenu);
    m_files->setSelectionMode(QAbstractItemView::SingleSelection);
    m_files->setWordWrap(true);
    m_files->setModel(m_model);
    m_dropArea->setObjectName(QStringLiteral("dropArea"));
    m_dropArea->setFrameShape(QFrame::StyledPanel);
    m_dropArea->setMinimumHeight(120);
    m_add->setObjectName(QStringLiteral("addFile"));
    m_errors->setObjectName(QStringLiteral("importErrors"));
    m_errors->setTextFormat(Qt::PlainText);
    m_errors->setWordWrap(true);
    m_errors->setTextInteractionFlags(Qt::TextSelectableByMouse);
    appStyle::setTextColor(*m_errors, appStyle::red());
    m_errors->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_add);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(editorFields::help(tr(".md or .txt files, up to 1 MB. The text is copied into the app and goes "
                                            "into every suggestion. Right-click a file to remove it."),
        this));
    layout->addWidget(m_files, 1);
    layout->addWidget(m_dropArea, 1);
    layout->addWidget(m_errors);
    layout->addLayout(buttons);

    auto* removeSelected = new QAction(tr("Remove"), m_files);
    removeSelected->setShortcut(QKeySequence::Delete);
    removeSelected->setShortcutContext(Qt::WidgetShortcut);
    m_files->addAction(removeSelected);
    connect(removeSelected, &QAction::triggered, this, [this] {
        if (const QModelIndex current = m_files->currentIndex(); current.isValid()) {
            remove(current.data(KnowledgeModel::IdRole).toUuid());
        }
    });
    connect(m_files, &QListView::customContextMenuRequested, this, [this](const QPoint& position) {
        if (const QModelIndex index = m_files->indexAt(position); index.isValid()) {
            menuFor(index)->popup(m_files->viewport()->mapToGlobal(position));
        }
    });
    connect(m_add, &QPushButton::clicked, this, &KnowledgeTab::chooseFiles);
}

void KnowledgeTab::refresh()
{
    if (!hasStore()) {
        return;
    }
    m_model->reload(context());
    const bool empty = m_model->rowCount() == 0;
    m_files->setVisible(!empty);
    m_dropArea->setVisible(empty);
}

void KnowledgeTab::importFiles(const QStringList& paths)
{
    if (!hasStore()) {
        return;
    }
    QStringList errors;
    for (const QString& path : paths) {
        Result<knowledgeImport::Imported> imported = knowledgeImport::readFile(path);
        if (!imported) {
            errors.append(QFileInfo(path).fileName() + QStringLiteral(": ") + imported.error().message);
            continue;
        }
        KnowledgeFile file = KnowledgeFile::make(imported->name, imported->content);
        if (shown().isAssistant()) {
            file.assistant = shown().id;
        } else {
            file.context = shown().id;
        }
        context().insert(file);
        if (!saver().save()) {
            // Not stored: the file must not look added; the window shows why.
            context().remove<KnowledgeFile>(file.id);
        }
    }
    m_errors->setText(errors.join(u'\n'));
    m_errors->setVisible(!errors.isEmpty());
    refresh();
}

QMenu* KnowledgeTab::menuFor(const QModelIndex& index)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QUuid id = index.data(KnowledgeModel::IdRole).toUuid();
    connect(menu->addAction(tr("Remove")), &QAction::triggered, this, [this, id] { remove(id); });
    return menu;
}

void KnowledgeTab::remove(const QUuid& id)
{
    if (!hasStore()) {
        return;
    }
    context().remove<KnowledgeFile>(id);
    (void)saver().save();
    refresh();
}

void KnowledgeTab::chooseFiles()
{
    if (m_dialog) {
        m_dialog->raise();
        return;
    }
    m_dialog = new QFileDialog(this, tr("Add file"));
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_dialog->setFileMode(QFileDialog::ExistingFiles);
    m_dialog->setAcceptMode(QFileDialog::AcceptOpen);
    // The extension test ignores case, so the dialog offers upper-case names too.
    m_dialog->setNameFilters({ tr("Markdown and text files (*.md *.MD *.txt *.TXT)"), tr("All files (*)") });
    connect(m_dialog, &QFileDialog::filesSelected, this, &KnowledgeTab::importFiles);
    m_dialog->open();
}

void KnowledgeTab::dragEnterEvent(QDragEnterEvent* event)
{
    if (!localFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void KnowledgeTab::dropEvent(QDropEvent* event)
{
    const QStringList paths = localFiles(event->mimeData());
    if (paths.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    importFiles(paths);
}
