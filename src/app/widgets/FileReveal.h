#pragma once

#include <QString>

class QObject;

namespace fileReveal {

// Shows the file selected in the desktop's file manager (org.freedesktop.FileManager1.ShowItems on the
// session bus); when no file manager answers there, opens the file's folder instead. Returns at once;
// the answer is awaited only while `context` exists.
void reveal(const QString& path, QObject* context);

} // namespace fileReveal
