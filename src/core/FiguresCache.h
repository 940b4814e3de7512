#pragma once

#include "core/ProjectStore.h"
#include "core/Take.h"
#include "core/TakeAnalysis.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QUuid>

#include <functional>

namespace tarnwick {

/// The figures of a project's takes, kept in the project's `figuresFile` so a restart does not
/// measure again. Derived data, kept out of the manifest the user's work lives in: every entry
/// can be rebuilt from its WAV file, so an entry whose file changed size or time is measured
/// again, a damaged cache reads as empty, and nothing here ever writes manifest.json.
class FiguresCache final
{
public:
    /// What the cache holds for one take: the figures and the file they were measured from.
    struct Entry
    {
        TakeFigures figures;
        qint64 fileSize = 0;
        qint64 modifiedMSecs = 0; // since the epoch

        friend bool operator==(const Entry &, const Entry &) = default;
    };

    /// Whether a list of takes is the whole project, so entries of other takes are dropped.
    enum class Scope { someTakes, allTakes };

    /// Never fails: an unreadable or damaged file gives an empty cache, a damaged entry is left out.
    static FiguresCache read(const QString &file);

    /// The stored figures, when they were measured from the file as it is now.
    std::optional<TakeFigures> fresh(const QUuid &takeID, const QString &wavPath) const;
    /// Measures the file now and keeps the result. Throws StudioError as `analyseTake`.
    TakeFigures measure(const QUuid &takeID, const QString &wavPath);
    QList<QUuid> ids() const;
    /// Writes the entries of `keep` atomically and drops the rest. Throws StudioError.
    void write(const QSet<QUuid> &keep) const;

private:
    explicit FiguresCache(QString file)
        : m_file(std::move(file))
    {
    }
    QString m_file;
    QHash<QUuid, Entry> m_entries;
};

/// The figures of every take whose file can be read, in `takes` order: fresh ones from the
/// cache, the rest measured now. Calls `found` for each; `cancelled` is asked between takes.
/// The cache is rewritten when anything was measured (with `allTakes`, also when it holds takes
/// no longer in `takes`, which are dropped); failing to write it costs only a later
/// measurement, so that failure is not reported. A take whose file cannot be read has none.
void figuresOfTakes(const ProjectStore &store,
                    const QList<Take> &takes,
                    const std::function<void(const QUuid &, const TakeFigures &)> &found,
                    FiguresCache::Scope scope,
                    const std::function<bool()> &cancelled = {});

} // namespace tarnwick
