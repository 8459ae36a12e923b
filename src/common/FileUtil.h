#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace markwell {

// True when the file system can tell the path's modification time; any failure (missing file,
// empty or invalid name, unreachable folder) counts as "does not exist". Folders count too.
bool FileExists(const QString& path);

// Lets pending user-interface events run, then deletes the file; a read-only file gets a second
// attempt after its write permission is restored. Never fails and never reports.
void DeleteFileQuietly(const QString& path);

// Writes the bytes at the start of the file, creating it (owner-only) when missing. An existing
// file is not shortened. Never writes through a symbolic link. Every write and the close are
// checked; any failure throws Failure naming the file and the system's reason.
void WriteBytesToFile(const QByteArray& bytes, const QString& path);

// The hook DeleteFileQuietly uses to let pending events run; the GUI installs
// QCoreApplication::processEvents, headless callers leave it empty.
void setPendingEventsHook(std::function<void()> hook);
void processPendingEvents();

// The folder of the running program (for the optional skin and cursor files).
QString programFolder();

// Where the program's optional files are looked for, in this order: the program folder itself (a
// build tree, or a program unpacked into one folder), then the installed data folder beside it,
// "../share/markwell" (a program installed as <prefix>/bin/markwell).
QStringList programDataFolders(const QString& programFolder);

// The path of relativePath in the first of programDataFolders(programFolder) where FileExists finds
// it; when none has it, its path in the program folder, so that messages name the usual place.
QString findProgramFile(const QString& programFolder, const QString& relativePath);

} // namespace markwell
