#pragma once

#include "app/guide/StepRow.h"

// "Documents folder": the folder the call files go to, Documents/Quillora, exists or is made.
class DocumentsStep : public StepRow {
    Q_OBJECT

public:
    explicit DocumentsStep(QWidget* parent);

    // Granted when the folder is there; otherwise the step stays as it is.
    void refresh();

private:
    const QString m_documents;
};
