#pragma once

#include "app/updates/Updater.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>

class QAction;
class QDialog;
class QLabel;
class QPlainTextEdit;

// The "Check for Updates…" command: its action is enabled while no check runs. Chosen, it checks the
// update feed, or, without one, says which version is installed and that the package manager updates
// it; the outcome shows in a small window (one, raised again for the next check).
class CheckForUpdatesView : public QObject {
    Q_OBJECT

public:
    CheckForUpdatesView(Updater& updater, QAction* action, QObject* parent);
    ~CheckForUpdatesView() override;

    // The outcome window of the last check; null before the first one.

Q_SIGNALS:
    // The outcome of a check is on screen.
    void shown();

private:
    void show(const UpdateCheckResult& result);
    void showInstalled();
    // Shows the window with the headline and detail set, and these release notes and notes page.
    void present(const QString& notes, const QUrl& link);
    void makeDialog();

    QPointer<Updater> m_updater;
    QPointer<QAction> m_action;
    std::unique_ptr<QDialog> m_dialog;
    QLabel* m_headline = nullptr;
    QLabel* m_detail = nullptr;
    QPlainTextEdit* m_notes = nullptr;
    QLabel* m_link = nullptr;
};
