#pragma once

#include "app/hotkeys/HeldKey.h"

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <chrono>
#include <memory>

class AssistantMenu;
class Clock;
class ClockTimer;
class ColorDot;
class DesktopServices;
class QLabel;
class QToolButton;
class Settings;
class SummaryService;
class SuggestionService;
class TimelineView;
class TranscriptionService;
class WaveformView;

struct CallWindowOptions {
    // Times the note's save and the geometry's; the system clock when null.
    Clock* clock = nullptr;
};

// The app's main window and the only one used during a call: a frameless, rounded, translucent panel
// that stays on top while "isAlwaysOnTop" is on. Its header starts and stops listening (also with
// Space while it has the focus and no text field does), clears the transcript, opens the assistants
// window, pins the window and chooses the assistant and context; below come the level meters, the
// transcription's status and the scrolling column of the call. It is dragged by its header and resized
// from its edges, and remembers where it was and how big.
class CallWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize defaultSize { 400, 600 };
    static constexpr int cornerRadius = 20;
    // Width of the band along the edges that resizes the window.
    static constexpr int resizeMargin = 6;
    static constexpr std::chrono::milliseconds geometrySavePause { 500 };
    static inline const QString geometryKey = QStringLiteral("callWindowGeometry");

    CallWindow(DesktopServices& services, QWidget* parent = nullptr, CallWindowOptions options = {});
    ~CallWindow() override;

    QLabel* transcriptionStatus() const { return m_transcriptionStatus; }
    // What start-up did for the user's calls (calls recovered, a damaged store set aside), until
    // dismissed or listening starts; hidden when there is nothing to say.

    // The window edges under `position` (window coordinates) that a press there resizes.
    Qt::Edges edgesAt(const QPoint& position) const;

Q_SIGNALS:
    // The assistants button was pressed.
    void assistantsRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeStartNotice();
    QToolButton* makeHeaderButton(const QString& name);
    void toggleListening();
    void clearTranscript();
    void showListening();
    void showClearButton();
    void showPin();
    void showTranscriptionStatus();
    void applyOnTop();
    void applyOpacity();
    void saveGeometryNow();
    void applyCornerMask();

    QPointer<DesktopServices> m_services;
    QPointer<Settings> m_settings;
    QPointer<TranscriptionService> m_transcription;
    QPointer<SuggestionService> m_suggestions;
    QPointer<SummaryService> m_summary;
    Clock& m_clock;
    ColorDot* m_statusDot = nullptr;
    QLabel* m_statusText = nullptr;
    QToolButton* m_listen = nullptr;
    QToolButton* m_clear = nullptr;
    QToolButton* m_assistants = nullptr;
    QToolButton* m_pin = nullptr;
    AssistantMenu* m_assistantMenu = nullptr;
    QWidget* m_header = nullptr;
    WaveformView* m_meters = nullptr;
    QLabel* m_transcriptionStatus = nullptr;
    QWidget* m_notice = nullptr;
    QLabel* m_noticeText = nullptr;
    TimelineView* m_timeline = nullptr;
    std::unique_ptr<ClockTimer> m_geometrySave;
    // Without a compositing manager the rounded corners are cut out with a mask instead.
    bool m_composited = true;
    bool m_painted = false; // the theme's icons are read after the first paint
    HeldKey m_space;

    // A move or resize this window carries out itself, where the window manager cannot.
    struct Drag {
        bool active = false;
        Qt::Edges edges;
        QPoint pressGlobal;
        QRect startGeometry;
    };
    Drag m_drag;
};
