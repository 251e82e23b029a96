#include "app/guide/DocumentsStep.h"

#include <QStandardPaths>

DocumentsStep::DocumentsStep(QWidget* parent)
    : StepRow({ tr("Documents folder"), tr("Saves each call, with its transcript and summary, in Documents/Quillora."),
                  tr("Allow"), tr("Ready") },
        parent)
    , m_documents(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
{
    setObjectName(QStringLiteral("documents"));
    connect(this, &StepRow::allowRequested, this, [this] { setState(onboarding::prepareCallFolder(m_documents)); });
}

void DocumentsStep::refresh()
{
    setState(onboarding::callFolderState(m_documents, state()));
}
