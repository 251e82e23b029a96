#pragma once

#include "common/Error.h"

#include <QString>

// The app's own folders and files hold transcripts, résumés and notes: they are kept from other users
// of the machine (folders 0700, files 0600), whatever the umask, as password managers and mail
// clients do.
namespace privateFiles {

// Creates the folder (with its parents) when missing and makes it the owner's only; an existing one is
// tightened. The parents keep their permissions.
Result<void> ensureFolder(const QString& path);

// Creates the file empty and owner-only when missing; takes group and others' permissions away from
// an existing one without opening it (so a database's locks held by this process stay). Best effort:
// whoever opens the file next reports what stands in the way.
void ensureFile(const QString& path);

// Takes group and others' permissions away from the file when it exists.
void tighten(const QString& path);

} // namespace privateFiles
