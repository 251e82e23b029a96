#include "app/assistants/CallSearchView.h"

#include "app/assistants/CallSearchModel.h"
#include "app/widgets/AppStyle.h"
#include "common/Text.h"
#include "store/StoreHolder.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPoint>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int rowPadding = 6;

// Paints a found call: its heading in small secondary text over the passage, whose matching words
// are bold on the highlight colour.
class PassageDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem background = option;
        initStyleOption(&background, index);
        background.text.clear();
        const QWidget* widget = option.widget;
        (widget ? widget->style() : QApplication::style())
            ->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);
        std::unique_ptr<QTextDocument> document = layout(option, index);
        painter->save();
        painter->translate(option.rect.topLeft() + QPoint(rowPadding, rowPadding));
        QAbstractTextDocumentLayout::PaintContext context;
        const bool selected = option.state & QStyle::State_Selected;
        context.palette.setColor(
            QPalette::Text, option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        document->documentLayout()->draw(painter, context);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const std::unique_ptr<QTextDocument> document = layout(option, index);
        return QSize(option.rect.width(), static_cast<int>(document->size().height()) + 2 * rowPadding);
    }

private:
    static std::unique_ptr<QTextDocument> layout(const QStyleOptionViewItem& option, const QModelIndex& index)
    {
        const QString passage = index.data(CallSearchModel::passageRole).toString();
        const auto marks = index.data(CallSearchModel::marksRole).value<QList<QPoint>>();
        QColor secondary = option.palette.color(QPalette::Text);
        secondary.setAlphaF(appStyle::secondaryOpacity);
        QString html = QStringLiteral("<div style=\"font-size:small; color:%1\">%2</div><div>")
                           .arg(secondary.name(QColor::HexArgb),
                               index.data(CallSearchModel::headingRole).toString().toHtmlEscaped());
        qsizetype at = 0;
        const QString highlight = option.palette.color(QPalette::Highlight).lighter(160).name();
        for (const QPoint& mark : marks) {
            html += passage.mid(at, mark.x() - at).toHtmlEscaped()
                + QStringLiteral("<b style=\"background-color:%1\">%2</b>")
                      .arg(highlight, passage.mid(mark.x(), mark.y()).toHtmlEscaped());
            at = mark.x() + mark.y();
        }
        html += passage.mid(at).toHtmlEscaped() + QStringLiteral("</div>");
        auto document = std::make_unique<QTextDocument>();
        document->setDefaultFont(option.font);
        document->setDocumentMargin(0);
        document->setHtml(html);
        document->setTextWidth(std::max(40, option.rect.width() - 2 * rowPadding));
        return document;
    }
};

} // namespace

CallSearchView::CallSearchView(StoreHolder* holder, Clock& clock, QWidget* parent)
    : QWidget(parent)
    , m_holder(holder)
    , m_bar(new QWidget(this))
    , m_field(new QLineEdit(m_bar))
    , m_scope(new QComboBox(m_bar))
    , m_status(new QLabel(this))
    , m_results(new QListView(this))
    , m_model(new CallSearchModel(this))
    , m_pause(clock.createTimer(this, [this] { search(); }))
{
    setObjectName(QStringLiteral("callSearch"));
    m_field->setObjectName(QStringLiteral("callSearchField"));
    m_field->setPlaceholderText(tr("Search calls"));
    m_field->setToolTip(tr("Search the calls' transcripts, summaries and notes"));
    m_field->setAccessibleName(m_field->toolTip());
    m_field->setClearButtonEnabled(true);
    m_field->setMinimumWidth(220);
    m_scope->setObjectName(QStringLiteral("callSearchScope"));
    // Named by its current choice, "All assistants" or "Only Jobs", which says what it does.
    m_scope->addItem(tr("All assistants"));
    m_scope->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_status->setObjectName(QStringLiteral("callSearchStatus"));
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText);
    m_results->setObjectName(QStringLiteral("callSearchResults"));
    m_results->setAccessibleName(tr("Calls found"));
    m_results->setModel(m_model);
    m_results->setItemDelegate(new PassageDelegate(m_results));
    m_results->setWordWrap(true);
    m_results->setUniformItemSizes(false);
    m_results->setResizeMode(QListView::Adjust);
    m_results->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_results->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* barLayout = new QHBoxLayout(m_bar);
    barLayout->setContentsMargins(0, 0, 0, 0);
    barLayout->addWidget(m_field, 1);
    barLayout->addWidget(m_scope);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_status);
    layout->addWidget(m_results, 1);

    connect(m_field, &QLineEdit::textChanged, this, [this](const QString& text) {
        setShowing(!text.trimmed().isEmpty());
        m_pause->start(typingPause);
    });
    // Enter searches at once and brings the list back after a call was opened.
    connect(m_field, &QLineEdit::returnPressed, this, [this] {
        if (!m_field->text().trimmed().isEmpty()) {
            setShowing(true);
            search();
        }
    });
    connect(m_scope, &QComboBox::currentIndexChanged, this, [this] { search(); });
    connect(m_results, &QListView::activated, this, &CallSearchView::choose);
    connect(m_results, &QListView::clicked, this, &CallSearchView::choose);
}

CallSearchView::~CallSearchView() = default;

void CallSearchView::setCurrentAssistant(const std::optional<QUuid>& id, const QString& name)
{
    const bool narrowed = m_scope->currentIndex() == 1;
    const QSignalBlocker blocker(m_scope);
    while (m_scope->count() > 1) {
        m_scope->removeItem(1);
    }
    m_assistant = id;
    if (id) {
        m_scope->addItem(tr("Only %1").arg(name));
        m_scope->setCurrentIndex(narrowed ? 1 : 0);
    }
    if (narrowed && m_showing) {
        search();
    }
}

void CallSearchView::search()
{
    m_pause->stop();
    const QString text = m_field->text();
    if (!m_holder || text.trimmed().isEmpty()) {
        m_model->clear();
        m_status->clear();
        Q_EMIT searched();
        return;
    }
    CallSearchQuery query { text, std::nullopt, std::nullopt, limit };
    if (m_scope->currentIndex() == 1 && m_assistant) {
        query.assistant = m_assistant;
    }
    StoreContext& context = m_holder->context();
    auto hits = callSearch::find(context, query);
    appStyle::setTextColor(*m_status, hits ? appStyle::textColor(*this, appStyle::secondaryOpacity) : appStyle::red());
    if (!hits) {
        m_model->clear();
        m_status->setText(tr("Could not search the calls: %1").arg(hits.error().message));
    } else {
        const auto count = static_cast<int>(hits->size());
        m_model->setHits(context, std::move(*hits));
        if (callSearch::matchExpression(text).isEmpty()) {
            m_status->setText(tr("Type a word to search for."));
        } else if (count == 0) {
            m_status->setText(tr("No call matches."));
        } else if (count == 1) {
            m_status->setText(tr("One call found."));
        } else if (count >= limit) {
            m_status->setText(tr("The %1 best matching calls.").arg(count));
        } else {
            m_status->setText(tr("%1 calls found.").arg(count));
        }
    }
    Q_EMIT searched();
}

void CallSearchView::setShowing(bool showing)
{
    if (showing != m_showing) {
        m_showing = showing;
        Q_EMIT showingChanged(showing);
    }
}

void CallSearchView::choose(const QModelIndex& index)
{
    if (!index.isValid() || !(index.flags() & Qt::ItemIsEnabled)) {
        return;
    }
    const QUuid call = index.data(CallSearchModel::callRole).toUuid();
    const int line = index.data(CallSearchModel::lineRole).toInt();
    setShowing(false);
    Q_EMIT callChosen(call, line);
}
