#pragma once

#include <QCoroTask>
#include <QLineEdit>
#include <QPointer>

class Keychain;
class QLabel;

// A secure field for one provider's API key in the Secret Service, with a line under it for what
// became of the last save. The key is read when the field is loaded, and written only once the user
// has typed into it: a field left untouched (empty after a failed lookup, or older than a key saved
// elsewhere since) never overwrites or deletes the stored key.
class KeyField : public QLineEdit {
    Q_OBJECT

public:
    KeyField(Keychain& keychain, QLabel* status, QWidget* parent);

    // Shows the stored key of `account` once it has been read (unless the user typed first), and
    // forgets any unsaved edit.
    void load(const QString& account);
    // Writes the field to `account` if it was edited (the empty text removes the key).
    void save();
    bool isEdited() const { return m_edited; }
    const QString& account() const { return m_account; }

Q_SIGNALS:
    // The lookup that `load` started has come back.
    void loaded();
    // A save has come back; `written` is false when the field was not edited and nothing was done.
    void saveFinished(bool written);
    // A save of the field's text to the account's key succeeded (emitted just before saveFinished).
    void keyStored();

private:
    QCoro::Task<> readKey(quint64 generation);
    QCoro::Task<> writeKey(quint64 generation);
    void showStatus(const QString& text, bool isError);

    QPointer<Keychain> m_keychain;
    QPointer<QLabel> m_status;
    QString m_account;
    // Counts loads, so that an answer for a provider shown earlier is dropped.
    quint64 m_generation = 0;
    bool m_edited = false;
};

// Whether a Secret Service answers on the session bus, or can be started by it.
bool secretServiceAvailable();
