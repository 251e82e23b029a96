#pragma once

#include <QCoroTask>
#include <QPointer>
#include <QWidget>

#include <chrono>

class GuideRun;
class KeyField;
class Keychain;
class LocalModelPicker;
class QLabel;
class QPushButton;
class Settings;

// "Suggestions": who writes them. Ready for Claude or OpenAI once the keyring holds the provider's key
// or a key was saved here; for the on-device model once the local model server (whose address can be
// entered here) lists a model, which can be picked here too. The key field saves on Return (never pressing the dialog's
// default button).
class SuggestionsStep : public QWidget {
    Q_OBJECT

public:
    SuggestionsStep(Settings& settings, Keychain& keychain, GuideRun* run, std::chrono::milliseconds localModelTimeout,
        QWidget* parent);

    bool isReady() const;
    // Shows the stored provider's fields.
    void load();
    // Looks again: the provider's key in the keyring, or the local server's models.
    void refresh();
    // Forgets what this showing found out, as the next showing starts.
    void reset();

Q_SIGNALS:
    // Whether the suggestions are ready may have changed.
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void providerChanged();
    QCoro::Task<> readStoredKey(QString account);
    void showStatus();

    QPointer<Settings> m_settings;
    QPointer<Keychain> m_keychain;
    QPointer<GuideRun> m_run;
    // Counts checks, so that a key read for a provider no longer chosen is dropped.
    quint64 m_check = 0;
    quint64 m_listing = 0; // the run's token of the model listing on its way
    bool m_keyStored = false;
    bool m_keySaved = false;
    bool m_localModelAnswered = false;

    QWidget* m_keyRow;
    QLabel* m_keyStatus;
    KeyField* m_apiKey;
    QPushButton* m_saveKey;
    QLabel* m_keyLink;
    QWidget* m_localModelRow;
    LocalModelPicker* m_localModel;
    QLabel* m_symbol;
    QLabel* m_status;
};
