#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

/// Whole-file operations of a project folder. Every failure throws StudioError in Russian,
/// naming the file and the reason (no such file, no permission, disk full, read-only medium...).
namespace tarnwick::files {

QByteArray read(const QString &path);

/// Writes beside the target, flushes to disk, renames over the target, then flushes the folder,
/// so neither a failure nor a power cut leaves a partial file. On failure the old file is intact
/// and no temporary file is left.
void writeAtomically(const QString &path, const QByteArray &bytes);

/// Removes a file; false when there was none.
bool removeIfPresent(const QString &path);

/// Creates the folder and every missing one on the way; an existing folder is no error.
void makeFolders(const QString &path);

/// Whether anything (file, folder, link) is at `path`, without following a final link.
bool exists(const QString &path);

/// Whether `path` is itself a symbolic link (the link is not followed; nothing there is no link).
bool isSymLink(const QString &path);

/// The entries of a folder by their on-disk names, each marked whether it is a symbolic link.
/// One directory read instead of a look-up per name; nothing when the folder cannot be listed.
std::optional<QHash<QByteArray, bool>> listLinks(const QString &folder);

/// The Russian reason for a system error number.
QString reason(int errorNumber);

} // namespace tarnwick::files
