#pragma once

#include <QCheckBox>

// "Open at login", as the settings and the guide offer it: checked while the autostart entry is
// enabled; toggling writes or removes the entry and then shows what the autostart folder holds, so a
// refused change flips the toggle back.
class LoginToggle : public QCheckBox {
    Q_OBJECT

public:
    // `entryPath` is the autostart entry (the default entry when empty); `executable` the program it
    // starts (the running one when empty).
    LoginToggle(QString entryPath, QString executable, QWidget* parent);

    // Reads the entry again, for whatever changed it meanwhile (the other window, the user).
    void showStored();

private:
    void setOpensAtLogin(bool on);

    QString m_entryPath;
    QString m_executable;
};
