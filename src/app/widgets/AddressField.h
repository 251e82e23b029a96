#pragma once

#include "settings/Settings.h"

#include <QLineEdit>
#include <QPointer>

class QLabel;

// A field for a web address kept under one settings key ("updateFeedURL", "localModelURL"), with a
// line under it for what is wrong with an entry. It shows the stored address, and the key's default as
// its placeholder while none is stored. An entry is stored once its editing is finished (Return, or
// the focus moving on) and only when it is an http or https address; anything else stays in the field
// with the complaint beside it, and an emptied field goes back to the default. A change stored
// elsewhere shows unless the field holds an entry of its own.
class AddressField : public QLineEdit {
    Q_OBJECT

public:
    AddressField(Settings& settings, SettingKey key, QLabel* status, QWidget* parent);

    // Stores the entry as above; the same as finishing its editing.
    void store();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void load();
    void complain(const QString& text);

    QPointer<Settings> m_settings;
    const SettingKey m_key;
    QPointer<QLabel> m_status;
};
