#pragma once

#include "core/ScriptBlock.h"
#include "core/Take.h"

#include "core/FileAccess.h"

#include <QList>
#include <QString>

#include <optional>

namespace tarnwick {

struct ProjectContents
{
    QList<ScriptBlock> blocks; // file order
    QList<Take> takes;         // manifest order; a take recovered from a pending record is last
};

/// The only code that knows a project folder's layout. Holds nothing but the folder's location;
/// every call reads or writes the disk and either completes or throws StudioError. Writes replace
/// files by rename, so a failed save leaves the previous file intact.
class ProjectStore final
{
public:
    /// Makes "<parent>/<name cleaned, 60 characters>-<UUID>" with the scenario and an empty
    /// manifest. A failure after the folder was made removes it again.
    static ProjectStore create(const QString &parent, const QList<ScriptBlock> &blocks, const QString &name);
    static QString folderName(const QString &name, const QUuid &id);

    explicit ProjectStore(const QString &root); // made absolute

    /// Checks everything, resolves a leftover pending take and clears what writes cut short left.
    ProjectContents load() const;
    QString audioURL(const Take &take) const; // the take's WAV location, kept inside Recordings/
    void saveScenario(const QList<ScriptBlock> &blocks) const;
    void saveManifest(const QList<Take> &takes) const;
    void validateTakes(const QList<Take> &takes) const;

    // The take commit protocol: the pending record is on disk before any audio is.
    void begin(const Take &take) const;
    QList<Take> complete(const Take &take, const QList<Take> &takes) const;
    void cancel(const Take &take) const;

    /// Takes whose audio is missing: `audioURL` refuses them or nothing is there.
    qsizetype missingAudioCount(const QList<Take> &takes) const;

    const QString &root() const { return m_root; }
    QString scenarioFile() const;
    QString manifestFile() const;
    QString pendingFile() const;
    QString figuresFile() const; // derived data, rebuilt from the WAVs: see FiguresCache
    QString recordingsFolder() const;

    friend bool operator==(const ProjectStore &, const ProjectStore &) = default;

private:
    struct RecordingsFolder
    {
        QString path;
        bool linked = false;
        QString resolved; // links resolved in its existing part
        std::optional<files::FolderListing> listing; // for checks of many takes
    };
    enum class Listing { none, links, names };
    /// The folder looked at once, with as much of its listing as the caller needs.
    RecordingsFolder recordings(Listing listing) const;
    /// The name and link checks of `audioURL`.
    static QString locate(const QString &fileName, const RecordingsFolder &folder);
    static bool exists(const QString &fileName, const RecordingsFolder &folder);

    QList<Take> readManifest() const;
    Take readPending() const;
    static void writeJSON(const QJsonValue &value, const QString &file); // atomic, durable

    QString m_root;
};

/// The status line after a project opened, from the count of missing audio files.
QString projectOpenedMessage(qsizetype missingAudio);

} // namespace tarnwick
