#include "app/assistants/DetailTab.h"

#include "app/assistants/SaveAction.h"
#include "store/StoreHolder.h"

DetailTab::DetailTab(StoreHolder* holder, SaveAction* save, ShownRecord shown, QWidget* parent)
    : QWidget(parent)
    , m_holder(holder)
    , m_save(save)
    , m_shown(shown)
{
}

StoreContext& DetailTab::context()
{
    return m_holder->context();
}
