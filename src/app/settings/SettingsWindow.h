#pragma once

#include <QString>
#include <QWidget>

class AudioTestView;
class GeneralSettingsView;
class Keychain;
class QTabWidget;
class Settings;
class SuggestionSettingsView;

struct SettingsWindowOptions {
    // The autostart entry; `$XDG_CONFIG_HOME/autostart/quillora.desktop` when empty.
    QString autostartEntry;
    // The program the autostart entry starts; the running executable when empty.
    QString executable;
};

// The settings window: the tabs "General" and "Suggestions", each control writing straight through to
// the settings and the keyring (there is no apply step), and "Audio Test". One is kept for the app's whole run and
// raised again when asked for.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    SettingsWindow(
        Settings& settings, Keychain& keychain, QWidget* parent = nullptr, SettingsWindowOptions options = {});

    GeneralSettingsView* general() const { return m_general; }
    SuggestionSettingsView* suggestions() const { return m_suggestions; }

    // Shows the window in front, on the tab it showed last.
    void present();

private:
    QTabWidget* m_tabs = nullptr;
    GeneralSettingsView* m_general = nullptr;
    SuggestionSettingsView* m_suggestions = nullptr;
    AudioTestView* m_audioTest = nullptr;
};
