#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace marlune {

// The update files built into the program, one per device model, in the resource folder
// ":/firmwares". Nothing is cached: every call lists the folder and reads the headers again.

// The folder the built-in update files are compiled into.
QString builtInUpdateFilesDirectory();

// The directory, the platform's separator and the file name, cleaned with QDir::cleanPath.
QString joinPath(const QString& directory, const QString& fileName);

// Paths of all built-in update files, sorted by file name ignoring case.
QStringList builtInUpdateFiles();

// The model named in the file's header; empty if the file cannot be opened or its header
// is invalid.
QString updateFileModel(const QString& path);

// Model name (exact, case-sensitive) to path, over all built-in files with a valid header.
// Of two files naming the same model, the one whose name sorts later wins.
QHash<QString, QString> builtInUpdateFilesByModel();

// Whether any built-in update file names a model. A release built without a firmware folder
// carries none; the window then starts with a loaded file instead of claiming files it lacks.
bool hasBuiltInUpdateFiles();

// The same two over any folder: the built-in ones are these over the resource folder.
QStringList updateFilesIn(const QString& directory);
QHash<QString, QString> updateFilesByModelIn(const QString& directory);

} // namespace marlune
