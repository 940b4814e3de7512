#pragma once

#include <QByteArray>
#include <QSet>
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

/// Removes the temporary files that writeAtomically leaves beside `path` when the process is
/// killed mid-write ("<name>." and six letters or digits). Best effort: a leftover harms nothing.
void removeLeftoverTemporaries(const QString &path);

/// Removes a file; false when there was none.
bool removeIfPresent(const QString &path);

/// Creates the folder and every missing one on the way; an existing folder is no error.
void makeFolders(const QString &path);

/// Whether anything (file, folder, link) is at `path`, without following a final link.
bool exists(const QString &path);

/// Whether `path` is itself a symbolic link (the link is not followed; nothing there is no link).
bool isSymLink(const QString &path);

/// A folder's entries by their on-disk names, read once instead of a look-up per name.
struct FolderListing
{
    QSet<QByteArray> links;                 // the entries that are symbolic links
    std::optional<QSet<QByteArray>> names;  // every entry, when asked for
};

/// Nothing when the folder cannot be listed. Links alone need no allocation per entry.
std::optional<FolderListing> listFolder(const QString &folder, bool withNames);

/// The Russian reason for a system error number.
QString reason(int errorNumber);

} // namespace tarnwick::files
