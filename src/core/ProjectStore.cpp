#include "core/ProjectStore.h"

#include "core/FileAccess.h"
#include "core/Manifest.h"
#include "core/StudioError.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTextBoundaryFinder>

#include <sndfile.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

/// False only for a take that certainly holds no sound: a readable WAV of no frames, or no bytes.
bool holdsSound(const QString &path)
{
    if (!files::exists(path))
        return false;
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return QFileInfo(path).size() > 0; // a header cut short may still hold sound
    sf_close(file);
    return info.frames > 0;
}

constexpr qsizetype folderNameLength = 60;

QString firstCharacters(const QString &text, qsizetype count)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype seen = 0;
    while (seen < count && finder.toNextBoundary() >= 0)
        ++seen;
    return seen < count ? text : text.left(finder.position());
}

/// Resolves links in the existing leading part of `path` and keeps the rest as written.
QString resolveExisting(const QString &path)
{
    QString existing = QDir::cleanPath(path);
    QStringList rest;
    while (!QFileInfo::exists(existing)) {
        const QFileInfo info(existing);
        if (info.fileName().isEmpty())
            break;
        rest.prepend(info.fileName());
        existing = info.path();
    }
    const QString resolved = QFileInfo(existing).canonicalFilePath();
    return QDir::cleanPath((resolved.isEmpty() ? existing : resolved) + u'/' + rest.join(u'/'));
}

void checkFileName(const QString &name)
{
    // The system ends a name at NUL: "a.wav\0.wav" would reach the file of take "a.wav".
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') || name.contains(u'\\')
        || name.contains(QChar(0)) || !name.endsWith(u".wav", Qt::CaseInsensitive))
        throw StudioError(u"Некорректное имя аудиофайла"_s);
}

} // namespace

QString projectOpenedMessage(qsizetype missingAudio)
{
    if (missingAudio == 0)
        return u"Проект открыт"_s;
    return u"Не найдены аудиофайлы: "_s + QString::number(missingAudio) + u". Восстановите их из резервной копии"_s;
}

ProjectStore::ProjectStore(const QString &root)
    : m_root(QDir::cleanPath(QFileInfo(root).absoluteFilePath()))
{
}

QString ProjectStore::scenarioFile() const { return m_root + u"/scenario.json"_s; }
QString ProjectStore::manifestFile() const { return m_root + u"/manifest.json"_s; }
QString ProjectStore::pendingFile() const { return m_root + u"/pending-take.json"_s; }
QString ProjectStore::figuresFile() const { return m_root + u"/analysis.json"_s; }
QString ProjectStore::recordingsFolder() const { return m_root + u"/Recordings"_s; }

QString ProjectStore::folderName(const QString &name, const QUuid &id)
{
    static const QRegularExpression unsafe(u"[^\\p{L}\\p{N} _-]"_s);
    QString cleaned = name;
    cleaned.replace(unsafe, u"_"_s);
    return firstCharacters(cleaned, folderNameLength) + u'-' + uuidText(id);
}

ProjectStore ProjectStore::create(const QString &parent, const QList<ScriptBlock> &blocks, const QString &name)
{
    ScriptBlock::validate(blocks);
    const ProjectStore store(parent + u'/' + folderName(name, QUuid::createUuid()));
    try {
        files::makeFolders(store.recordingsFolder());
        store.saveScenario(blocks);
        store.saveManifest({});
    } catch (...) {
        // The fresh UUID in the name makes the folder this call's own: no half-made project stays.
        QDir(store.root()).removeRecursively();
        throw;
    }
    return store;
}

void ProjectStore::writeJSON(const QJsonValue &value, const QString &file)
{
    files::writeAtomically(file, encodeJson(value));
}

void ProjectStore::saveScenario(const QList<ScriptBlock> &blocks) const
{
    ScriptBlock::validate(blocks);
    writeJSON(toJson(blocks), scenarioFile());
}

void ProjectStore::saveManifest(const QList<Take> &takes) const
{
    validateTakes(takes);
    writeJSON(toJson(Manifest{takes}), manifestFile());
}

void ProjectStore::validateTakes(const QList<Take> &takes) const
{
    QSet<QUuid> ids;
    QSet<QString> names;
    ids.reserve(takes.size());
    names.reserve(takes.size());
    for (const Take &take : takes) {
        ids.insert(take.id);
        names.insert(take.fileName);
    }
    if (ids.size() != takes.size() || names.size() != takes.size())
        throw StudioError(u"В manifest найдены повторяющиеся дубли или имена файлов"_s);
    // Resolving the folder once keeps a check of 10,000 takes at one lstat each.
    const RecordingsFolder folder = recordings(Listing::links);
    for (const Take &take : takes)
        locate(take.fileName, folder);
}

ProjectStore::RecordingsFolder ProjectStore::recordings(Listing listing) const
{
    const QString path = recordingsFolder();
    const bool linked = files::isSymLink(path);
    RecordingsFolder folder{path, linked, resolveExisting(path), std::nullopt};
    if (listing != Listing::none && !linked)
        folder.listing = files::listFolder(path, listing == Listing::names);
    return folder;
}

bool ProjectStore::exists(const QString &fileName, const RecordingsFolder &folder)
{
    if (folder.listing && folder.listing->names)
        return folder.listing->names->contains(QFile::encodeName(fileName));
    return files::exists(folder.path + u'/' + fileName);
}

QString ProjectStore::locate(const QString &fileName, const RecordingsFolder &folder)
{
    checkFileName(fileName);
    const QString location = folder.path + u'/' + fileName;
    const bool linked = folder.listing ? folder.listing->links.contains(QFile::encodeName(fileName))
                                       : files::isSymLink(location);
    if (linked || folder.linked)
        throw StudioError(u"Символические ссылки на аудиофайлы не поддерживаются"_s);
    return location;
}

QString ProjectStore::audioURL(const Take &take) const
{
    const RecordingsFolder folder = recordings(Listing::none);
    const QString location = locate(take.fileName, folder);
    // A single checked name that is not a link cannot leave the folder; resolving it for real
    // still guards the moment a file is about to be touched against the folder changing under us.
    if (QFileInfo(resolveExisting(location)).path() != folder.resolved)
        throw StudioError(u"Аудиофайл находится вне проекта"_s);
    return location;
}

QList<Take> ProjectStore::readManifest() const
{
    return decodeManifest(files::read(manifestFile()), manifestFile()).takes;
}

Take ProjectStore::readPending() const
{
    // A linked record would read a take from outside the project and commit it.
    if (files::isSymLink(pendingFile()))
        throw StudioError(u"Не удалось прочитать файл «"_s + pendingFile()
                          + u"»: это символическая ссылка"_s);
    return decodeTake(files::read(pendingFile()), pendingFile());
}

ProjectContents ProjectStore::load() const
{
    ProjectContents contents;
    contents.blocks = decodeScenario(files::read(scenarioFile()), scenarioFile());
    ScriptBlock::validate(contents.blocks);
    contents.takes = readManifest();
    validateTakes(contents.takes);

    if (files::exists(pendingFile())) {
        const Take pending = readPending();
        validateTakes({pending});
        const bool committed = std::any_of(contents.takes.cbegin(), contents.takes.cend(),
                                           [&](const Take &take) { return take.id == pending.id; });
        if (!committed && holdsSound(audioURL(pending))) {
            QList<Take> takes = contents.takes;
            takes.append(pending);
            saveManifest(takes);
            contents.takes = takes;
        } else if (!committed) {
            files::removeIfPresent(audioURL(pending)); // the microphone sent nothing
        }
        files::removeIfPresent(pendingFile());
    }
    for (const QString &file : {scenarioFile(), manifestFile(), pendingFile()})
        files::removeLeftoverTemporaries(file);
    return contents;
}

void ProjectStore::begin(const Take &take) const
{
    const QString message = u"Сначала завершите сохранение предыдущей записи"_s;
    if (files::exists(pendingFile())) {
        const Take pending = readPending();
        const QList<Take> takes = readManifest();
        const bool stale = std::any_of(takes.cbegin(), takes.cend(),
                                       [&](const Take &committed) { return committed.id == pending.id; });
        if (!stale)
            throw StudioError(message);
        files::removeIfPresent(pendingFile());
    }
    if (files::exists(audioURL(take)))
        throw StudioError(message);
    writeJSON(toJson(take), pendingFile());
}

QList<Take> ProjectStore::complete(const Take &take, const QList<Take> &takes) const
{
    QList<Take> result = takes;
    const bool present = std::any_of(takes.cbegin(), takes.cend(),
                                     [&](const Take &existing) { return existing.id == take.id; });
    if (!present)
        result.append(take);
    saveManifest(result);
    try {
        files::removeIfPresent(pendingFile());
    } catch (const StudioError &) {
        // The take is committed; the next begin or load clears the stale record.
    }
    return result;
}

void ProjectStore::cancel(const Take &take) const
{
    files::removeIfPresent(audioURL(take));
    files::removeIfPresent(pendingFile());
}

qsizetype ProjectStore::missingAudioCount(const QList<Take> &takes) const
{
    const RecordingsFolder folder = recordings(Listing::names);
    return std::count_if(takes.cbegin(), takes.cend(), [&folder](const Take &take) {
        try {
            locate(take.fileName, folder);
            return !exists(take.fileName, folder);
        } catch (const StudioError &) {
            return true;
        }
    });
}

} // namespace tarnwick
