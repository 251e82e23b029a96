#include "app/callwindow/CallWindow.h"

#include "app/callwindow/AssistantMenu.h"
#include "app/callwindow/TimelineView.h"
#include "app/callwindow/WaveformView.h"
#include "app/callwindow/X11Compositing.h"
#include "app/services/DesktopServices.h"
#include "app/widgets/AccessibleFrame.h"
#include "app/widgets/AppIcons.h"
#include "app/widgets/AppStyle.h"
#include "app/widgets/ColorDot.h"
#include "common/Clock.h"
#include "settings/Settings.h"
#include "store/StoreHolder.h"
#include "suggestions/SuggestionService.h"
#include "summary/SummaryService.h"
#include "transcription/TranscriptionService.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace {

// The opacity slider of the settings goes from 0.3 to 1; a stored value outside that range must not
// make the window vanish.
constexpr double minimumOpacity = 0.3;

bool isTextField(const QWidget* widget)
{
    return widget
        && (widget->inherits("QLineEdit") || widget->inherits("QTextEdit") || widget->inherits("QPlainTextEdit")
            || widget->inherits("QAbstractSpinBox"));
}

} // namespace

CallWindow::CallWindow(DesktopServices& services, QWidget* parent, CallWindowOptions options)
    : QWidget(parent)
    , m_services(&services)
    , m_settings(&services.settings())
    , m_transcription(&services.transcription())
    , m_suggestions(&services.suggestions())
    , m_summary(&services.summary())
    , m_clock(Clock::orSystem(options.clock))
    , m_geometrySave(m_clock.createTimer(this, [this] { saveGeometryNow(); }))
{
    setObjectName(QStringLiteral("main"));
    setWindowTitle(tr("Quillora"));
    presentAsFrame(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint
        | (m_settings->isAlwaysOnTop() ? Qt::WindowStaysOnTopHint : Qt::WindowFlags()));
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
    setMinimumSize(320, 360);

    m_header = makeHeader();
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    appStyle::setTextColor(*divider, appStyle::textColor(*this, 0.15));
    m_meters = new WaveformView(&m_transcription->audio(), m_settings, this);
    m_transcriptionStatus = new QLabel(this);
    m_transcriptionStatus->setObjectName(QStringLiteral("transcriptionStatus"));
    m_transcriptionStatus->setWordWrap(true);
    m_transcriptionStatus->setTextFormat(Qt::PlainText);
    m_transcriptionStatus->setFont(appStyle::font(*this, 12));
    QColor statusColour = appStyle::red();
    statusColour.setAlphaF(0.9F);
    appStyle::setTextColor(*m_transcriptionStatus, statusColour);
    m_timeline =
        new TimelineView(m_transcription, m_suggestions, m_summary, &services.store(), m_settings, m_clock, this);

    // The outer band of `resizeMargin` stays free of child widgets, so presses there reach the window
    // and resize it; the inner paddings make up the rest.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(resizeMargin, resizeMargin, resizeMargin, resizeMargin);
    layout->setSpacing(0);
    layout->addWidget(m_header);
    layout->addWidget(divider);
    auto* meters = new QVBoxLayout;
    meters->setContentsMargins(16 - resizeMargin, 12, 16 - resizeMargin, 0);
    meters->addWidget(m_meters);
    layout->addLayout(meters);
    auto* status = new QVBoxLayout;
    status->setContentsMargins(16 - resizeMargin, 8, 16 - resizeMargin, 0);
    status->addWidget(m_transcriptionStatus);
    status->addWidget(makeStartNotice());
    layout->addLayout(status);
    layout->addWidget(m_timeline, 1);

    // Space is read from the key events themselves rather than bound as a shortcut, so that the
    // repeats of a held key can be told from presses (eventFilter). The app menu, attached to this
    // window by the start-up, owns the window's other keys.
    QApplication::instance()->installEventFilter(this);

    connect(m_transcription, &TranscriptionService::runningChanged, this, &CallWindow::showListening);
    connect(m_transcription, &TranscriptionService::statusChanged, this, &CallWindow::showTranscriptionStatus);
    connect(&m_transcription->transcript(), &Transcript::linesChanged, this, &CallWindow::showClearButton);
    connect(m_summary, &SummaryService::isGeneratingChanged, this, &CallWindow::showClearButton);
    connect(m_settings, &Settings::changed, this, [this](SettingKey key) {
        if (key == SettingKey::isAlwaysOnTop) {
            applyOnTop();
        } else if (key == SettingKey::windowOpacity) {
            applyOpacity();
        }
    });

    showListening();
    showTranscriptionStatus();
    showPin();
    applyOpacity();
    const QVariant geometry = m_settings->extra(geometryKey);
    if (!geometry.isValid() || !restoreGeometry(geometry.toByteArray())) {
        resize(defaultSize);
    }
}

CallWindow::~CallWindow() = default;

QWidget* CallWindow::makeHeader()
{
    auto* header = new QWidget(this);
    header->setObjectName(QStringLiteral("header"));
    m_statusDot = new ColorDot(QColor(Qt::gray), 10, header);
    m_statusText = new QLabel(header);
    m_statusText->setObjectName(QStringLiteral("statusText"));
    m_statusText->setFont(appStyle::font(*this, 13, QFont::Medium));
    m_listen = makeHeaderButton(QStringLiteral("listen"));
    m_listen->setIconSize(QSize(16, 16));
    m_clear = makeHeaderButton(QStringLiteral("clear"));
    m_assistants = makeHeaderButton(QStringLiteral("assistants"));
    m_pin = makeHeaderButton(QStringLiteral("pin"));
    m_pin->setCheckable(true);
    const QColor secondary = appStyle::textColor(*this, appStyle::secondaryOpacity);
    m_clear->setIcon(appIcon(AppIcon::trash, secondary));
    m_clear->setToolTip(tr("Clear transcript"));
    m_clear->setAccessibleName(m_clear->toolTip());
    m_assistants->setIcon(appIcon(AppIcon::assistants, secondary));
    m_assistants->setToolTip(tr("Assistants"));
    m_assistants->setAccessibleName(m_assistants->toolTip());
    m_assistantMenu = new AssistantMenu(&m_services->store(), m_settings, m_services->loadError(), header);

    auto* first = new QHBoxLayout;
    first->setSpacing(6);
    first->addWidget(m_statusDot);
    first->addWidget(m_statusText);
    first->addStretch();
    first->addWidget(m_listen);
    first->addWidget(m_clear);
    first->addWidget(m_assistants);
    first->addWidget(m_pin);
    auto* rows = new QVBoxLayout(header);
    rows->setContentsMargins(16 - resizeMargin, 12 - resizeMargin, 16 - resizeMargin, 12);
    rows->setSpacing(8);
    rows->addLayout(first);
    rows->addWidget(m_assistantMenu);

    connect(m_listen, &QToolButton::clicked, this, &CallWindow::toggleListening);
    connect(m_clear, &QToolButton::clicked, this, &CallWindow::clearTranscript);
    connect(m_assistants, &QToolButton::clicked, this, &CallWindow::assistantsRequested);
    connect(m_pin, &QToolButton::clicked, this, [this] {
        m_settings->setBoolean(SettingKey::isAlwaysOnTop, !m_settings->isAlwaysOnTop());
        showPin(); // also when the flip did not take
    });
    return header;
}

QWidget* CallWindow::makeStartNotice()
{
    QStringList said;
    if (const int recovered = m_services->recoveredCalls(); recovered == 1) {
        said.append(tr("A call that ended before it was stored has been recovered: find it in the Calls tab of the "
                       "assistants window, where you can ask for its summary."));
    } else if (recovered > 1) {
        said.append(tr("%1 calls that ended before they were stored have been recovered: find them in the Calls tab "
                       "of the assistants window, where you can ask for their summaries.")
                        .arg(recovered));
    }
    if (const QString& setAside = m_services->setAsideStore(); !setAside.isEmpty()) {
        said.append(tr("The store was damaged, so it was set aside as %1 and a new one was started. To recover its "
                       "records, quit Quillora, move the new store away and run: sqlite3 \"%1\" .recover | sqlite3 "
                       "\"%2\"")
                        .arg(setAside, m_services->store().container()->path()));
    }
    m_notice = new QWidget(this);
    m_notice->setObjectName(QStringLiteral("startNoticeRow"));
    m_noticeText = new QLabel(said.join(u'\n'), m_notice);
    m_noticeText->setObjectName(QStringLiteral("startNotice"));
    m_noticeText->setWordWrap(true);
    m_noticeText->setTextFormat(Qt::PlainText);
    m_noticeText->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_noticeText->setFont(appStyle::font(*this, 12));
    auto* dismiss = makeHeaderButton(QStringLiteral("dismissNotice"));
    dismiss->setParent(m_notice);
    dismiss->setText(QStringLiteral("\u2715"));
    dismiss->setToolTip(tr("Dismiss"));
    dismiss->setAccessibleName(dismiss->toolTip());
    auto* row = new QHBoxLayout(m_notice);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_noticeText, 1);
    row->addWidget(dismiss, 0, Qt::AlignTop);
    m_notice->setVisible(!said.isEmpty());
    connect(dismiss, &QToolButton::clicked, m_notice, &QWidget::hide);
    // Said once: the next call has the window to itself.
    connect(m_transcription, &TranscriptionService::runningChanged, m_notice, [notice = m_notice](bool running) {
        if (running) {
            notice->hide();
        }
    });
    return m_notice;
}

QToolButton* CallWindow::makeHeaderButton(const QString& name)
{
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setIconSize(QSize(14, 14));
    return button;
}

void CallWindow::toggleListening()
{
    if (m_services) {
        m_services->toggleListening();
    }
}

void CallWindow::clearTranscript()
{
    m_transcription->transcript().clear();
    m_suggestions->clear();
    if (m_summary) {
        m_summary->reset();
    }
}

void CallWindow::showListening()
{
    const bool listening = m_transcription->isRunning();
    m_statusDot->setColor(listening ? appStyle::green() : QColor(Qt::gray));
    m_statusText->setText(listening ? tr("Listening") : tr("Stopped"));
    m_listen->setIcon(listening ? appIcon(AppIcon::stop, appStyle::red()) : appIcon(AppIcon::play, appStyle::green()));
    m_listen->setToolTip(listening ? tr("Stop listening (Ctrl+Alt+Space from any app)")
                                   : tr("Start listening (Ctrl+Alt+Space from any app)"));
    m_listen->setAccessibleName(m_listen->toolTip());
    showClearButton();
}

void CallWindow::showClearButton()
{
    // Not while the summary is written either: clearing would cut it off.
    const bool summarising = m_summary && m_summary->isGenerating();
    m_clear->setVisible(!m_transcription->isRunning() && !m_transcription->lines().isEmpty() && !summarising);
}

void CallWindow::showPin()
{
    const bool onTop = m_settings->isAlwaysOnTop();
    m_pin->setChecked(onTop);
    m_pin->setIcon(
        appIcon(AppIcon::pin, onTop ? appStyle::green() : appStyle::textColor(*this, appStyle::secondaryOpacity)));
    m_pin->setToolTip(onTop ? tr("Stop keeping on top") : tr("Keep on top of other windows"));
    m_pin->setAccessibleName(m_pin->toolTip());
}

void CallWindow::showTranscriptionStatus()
{
    const std::optional<QString>& status = m_transcription->status();
    m_transcriptionStatus->setText(status.value_or(QString()));
    m_transcriptionStatus->setVisible(status.has_value() && !status->isEmpty());
}

void CallWindow::applyOnTop()
{
    showPin();
    const bool onTop = m_settings->isAlwaysOnTop();
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop) {
        return;
    }
    // Changing a window flag may hide the window and forget its place: both are put back.
    const bool wasVisible = isVisible();
    const QRect place = geometry();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    setGeometry(place);
    if (wasVisible && !isVisible()) {
        show();
    }
}

void CallWindow::applyOpacity()
{
    setWindowOpacity(std::clamp(m_settings->windowOpacity(), minimumOpacity, 1.0));
}

void CallWindow::saveGeometryNow()
{
    m_geometrySave->stop();
    if (m_settings) {
        m_settings->setExtra(geometryKey, saveGeometry());
    }
}

Qt::Edges CallWindow::edgesAt(const QPoint& position) const
{
    Qt::Edges edges;
    if (position.x() < resizeMargin) {
        edges |= Qt::LeftEdge;
    } else if (position.x() >= width() - resizeMargin) {
        edges |= Qt::RightEdge;
    }
    if (position.y() < resizeMargin) {
        edges |= Qt::TopEdge;
    } else if (position.y() >= height() - resizeMargin) {
        edges |= Qt::BottomEdge;
    }
    return edges;
}

bool CallWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) || !watched->isWidgetType()
        || static_cast<QWidget*>(watched)->window() != this) {
        return QWidget::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Space) {
        return false;
    }
    if (type == QEvent::KeyRelease) {
        m_space.release(key->timestamp());
        return false;
    }
    // Typing a space into the note must never start or stop listening.
    if (key->modifiers() != Qt::NoModifier || isTextField(QApplication::focusWidget())) {
        return false;
    }
    // A held Space starts or stops a call once, however long it is held.
    if (m_space.press(key->timestamp()) && !key->isAutoRepeat()) {
        toggleListening();
    }
    return true;
}

void CallWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        // A key released in another window is never seen here.
        m_space.forget();
    }
}

void CallWindow::paintEvent(QPaintEvent*)
{
    if (!m_painted) {
        m_painted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                loadThemeIcons();
                update();
            },
            Qt::QueuedConnection);
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor background = palette().color(QPalette::Window);
    background.setAlphaF(0.96F);
    painter.setPen(QPen(appStyle::textColor(*this, 0.12), 1));
    painter.setBrush(background);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
}

void CallWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint position = event->position().toPoint();
    const Qt::Edges edges = edgesAt(position);
    const bool onHeader = m_header->geometry().contains(position);
    if (!edges && !onHeader) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    QWindow* window = windowHandle();
    const bool systemDone = window && (edges ? window->startSystemResize(edges) : window->startSystemMove());
    if (!systemDone) {
        // No window manager that moves windows for their clients: follow the mouse here.
        m_drag = Drag { true, edges, event->globalPosition().toPoint(), geometry() };
    }
}

void CallWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_drag.active) {
        const Qt::Edges edges = edgesAt(event->position().toPoint());
        const bool diagonal = (edges & (Qt::LeftEdge | Qt::RightEdge)) && (edges & (Qt::TopEdge | Qt::BottomEdge));
        const bool falling = edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge);
        if (!edges) {
            unsetCursor();
        } else if (diagonal) {
            setCursor(falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
        } else {
            setCursor(edges & (Qt::LeftEdge | Qt::RightEdge) ? Qt::SizeHorCursor : Qt::SizeVerCursor);
        }
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint delta = event->globalPosition().toPoint() - m_drag.pressGlobal;
    QRect target = m_drag.startGeometry;
    if (!m_drag.edges) {
        target.moveTopLeft(target.topLeft() + delta);
        move(target.topLeft());
        return;
    }
    const QSize least = minimumSize();
    if (m_drag.edges & Qt::LeftEdge) {
        target.setLeft(std::min(target.left() + delta.x(), target.right() - least.width() + 1));
    }
    if (m_drag.edges & Qt::RightEdge) {
        target.setRight(std::max(target.right() + delta.x(), target.left() + least.width() - 1));
    }
    if (m_drag.edges & Qt::TopEdge) {
        target.setTop(std::min(target.top() + delta.y(), target.bottom() - least.height() + 1));
    }
    if (m_drag.edges & Qt::BottomEdge) {
        target.setBottom(std::max(target.bottom() + delta.y(), target.top() + least.height() - 1));
    }
    setGeometry(target);
}

void CallWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_drag.active && event->button() == Qt::LeftButton) {
        m_drag = Drag();
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void CallWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (isVisible()) {
        m_geometrySave->start(geometrySavePause);
    }
}

void CallWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    applyCornerMask();
    if (isVisible()) {
        m_geometrySave->start(geometrySavePause);
    }
}

void CallWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_composited = x11Compositing::isActive();
    applyCornerMask();
}

void CallWindow::applyCornerMask()
{
    if (m_composited) {
        clearMask();
        return;
    }
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

void CallWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (m_geometrySave->isActive()) {
        saveGeometryNow();
    }
}
