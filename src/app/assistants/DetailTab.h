#pragma once

#include "app/assistants/SaveAction.h"
#include "app/assistants/ShownRecord.h"
#include "store/StoreContext.h"
#include "store/StoreHolder.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QWidget>

// One tab of an assistant's or a context's detail. The detail asks the tab to read the store
// again when it is shown and whenever the store changed while it was shown; a refresh never
// overwrites text the user is typing.
class DetailTab : public QWidget {
    Q_OBJECT

public:
    DetailTab(StoreHolder* holder, SaveAction* save, ShownRecord shown, QWidget* parent);

    const ShownRecord& shown() const { return m_shown; }
    virtual void refresh() = 0;
    // Saves what is typed but not yet saved, before the window hides or shows something else.
    virtual void commit() { }

protected:
    // The holder's main-thread context; only valid while the holder exists.
    StoreContext& context();
    bool hasStore() const { return !m_holder.isNull(); }
    SaveAction& saver() const { return *m_save; }
    StoreHolder* holder() const { return m_holder; }

    // Applies `change` to the record with `id` as this context sees it and makes it pending; false
    // when the record is gone.
    template <typename R, typename Change> bool edit(const QUuid& id, Change change)
    {
        if (!hasStore()) {
            return false;
        }
        auto found = context().fetchOne<R>(id);
        if (!found || !*found) {
            return false;
        }
        R record = **found;
        change(record);
        context().update(record);
        return true;
    }

    // Writes what is typed in `field` into one text field of the shown record, saved once typing
    // pauses (and at once when a line field is left or submitted).
    template <typename R> void bind(QLineEdit* field, QString R::*member)
    {
        connect(field, &QLineEdit::textEdited, this, [this, member](const QString& text) {
            if (edit<R>(m_shown.id, [&](R& record) { record.*member = text; })) {
                saver().saveSoon();
            }
        });
        connect(field, &QLineEdit::editingFinished, this, [this] { saver().flush(); });
    }
    template <typename R> void bind(QPlainTextEdit* field, QString R::*member)
    {
        connect(field, &QPlainTextEdit::textChanged, this, [this, field, member] {
            const QString text = field->toPlainText();
            if (edit<R>(m_shown.id, [&](R& record) { record.*member = text; })) {
                saver().saveSoon();
            }
        });
    }

private:
    QPointer<StoreHolder> m_holder;
    QPointer<SaveAction> m_save;
    ShownRecord m_shown;
};
