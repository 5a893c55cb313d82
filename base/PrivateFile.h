#pragma once

#include <QString>

class QFileDevice;

namespace velkar {

// What the program writes holds cardholders' identities and the accounts' hashes: its files are
// for the user who runs it alone (0600), its folders too (0700), whatever the umask.
namespace PrivateFile {

// Makes the file at `path` readable and writable by its owner alone. False when it can't.
bool Restrict(const QString& path);
// The same for a file open for writing (a QSaveFile's temporary file before it is committed).
bool Restrict(QFileDevice& file);

// Makes an empty file at `path` (or empties the one there) for its owner alone, for a library
// that writes into it by its name and keeps the mode a file already has. False when it can't.
bool Prepare(const QString& path);

// Makes `folder` and any missing folder above it; each folder it makes is its owner's alone.
// True when the folder is there.
bool MakeFolder(const QString& folder);

// Files and folders this process makes from now on, by any library, start as its user's alone.
void RestrictNewFiles();

} // namespace PrivateFile

} // namespace velkar
