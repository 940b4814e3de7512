#include "core/FiguresCache.h"

#include "core/FileAccess.h"
#include "core/Json.h"
#include "core/StudioError.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSet>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

// Raised whenever the detector or the figures change, so older caches are measured again.
constexpr int cacheVersion = 1;

struct Stamp
{
    qint64 size = 0;
    qint64 modifiedMSecs = 0;
};

std::optional<Stamp> stampOf(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    return Stamp{info.size(), info.fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch()};
}

} // namespace

FiguresCache FiguresCache::read(const QString &file)
{
    FiguresCache cache(file);
    files::removeLeftoverTemporaries(file);
    if (!QFileInfo(file).isFile())
        return cache;
    QJsonObject root;
    try {
        root = QJsonDocument::fromJson(files::read(file)).object();
    } catch (const StudioError &) {
        return cache; // rebuilt from the WAVs
    }
    if (root.value("version"_L1).toInt() != cacheVersion)
        return cache;
    const QJsonObject takes = root.value("takes"_L1).toObject();
    for (auto it = takes.constBegin(); it != takes.constEnd(); ++it) {
        const std::optional<QUuid> id = uuidFromText(it.key());
        const QJsonObject json = it.value().toObject();
        const std::optional<TakeFigures> figures = figuresFromJson(json);
        if (!id || !figures || !json.value("fileSize"_L1).isDouble() || !json.value("modified"_L1).isDouble())
            continue;
        cache.m_entries.insert(*id, Entry{*figures, static_cast<qint64>(json.value("fileSize"_L1).toDouble()),
                                          static_cast<qint64>(json.value("modified"_L1).toDouble())});
    }
    return cache;
}

std::optional<TakeFigures> FiguresCache::fresh(const QUuid &takeID, const QString &wavPath) const
{
    const auto entry = m_entries.constFind(takeID);
    const std::optional<Stamp> stamp = stampOf(wavPath);
    if (entry == m_entries.cend() || !stamp || stamp->size != entry->fileSize ||
        stamp->modifiedMSecs != entry->modifiedMSecs)
        return std::nullopt;
    return entry->figures;
}

TakeFigures FiguresCache::measure(const QUuid &takeID, const QString &wavPath)
{
    // Stamped before reading: a file that changes meanwhile is measured again next time.
    const std::optional<Stamp> stamp = stampOf(wavPath);
    const TakeFigures figures = analyseTake(wavPath);
    if (stamp)
        m_entries.insert(takeID, Entry{figures, stamp->size, stamp->modifiedMSecs});
    return figures;
}

QList<QUuid> FiguresCache::ids() const { return m_entries.keys(); }

void FiguresCache::write(const QSet<QUuid> &keep) const
{
    QJsonObject takes;
    for (const QUuid &id : keep) {
        const auto entry = m_entries.constFind(id);
        if (entry == m_entries.cend())
            continue;
        QJsonObject json = toJson(entry->figures);
        json.insert("fileSize"_L1, entry->fileSize);
        json.insert("modified"_L1, entry->modifiedMSecs);
        takes.insert(uuidText(id), json);
    }
    files::writeAtomically(m_file,
                           encodeJson(QJsonObject{{u"version"_s, cacheVersion}, {u"takes"_s, takes}}));
}

void figuresOfTakes(const ProjectStore &store,
                    const QList<Take> &takes,
                    const std::function<void(const QUuid &, const TakeFigures &)> &found,
                    FiguresCache::Scope scope,
                    const std::function<bool()> &cancelled)
{
    FiguresCache cache = FiguresCache::read(store.figuresFile());
    bool measured = false;
    for (const Take &take : takes) {
        if (cancelled && cancelled())
            break;
        try {
            const QString path = store.audioURL(take);
            std::optional<TakeFigures> figures = cache.fresh(take.id, path);
            if (!figures) {
                figures = cache.measure(take.id, path);
                measured = true;
            }
            found(take.id, *figures);
        } catch (const StudioError &) {
            // a missing or unreadable file has no figures; playing it says why
        }
    }
    QSet<QUuid> keep;
    for (const Take &take : takes)
        keep.insert(take.id);
    bool dropping = false;
    for (const QUuid &id : cache.ids()) {
        if (scope == FiguresCache::Scope::someTakes)
            keep.insert(id);
        else
            dropping = dropping || !keep.contains(id);
    }
    if (!measured && !dropping)
        return;
    try {
        cache.write(keep);
    } catch (const StudioError &) {
        // measured again next time
    }
}

} // namespace tarnwick
