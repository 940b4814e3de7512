#pragma once

#include "core/ProjectStore.h"

#include <QDateTime>

namespace tarnwick::bench {

/// A project of `blocks` in `parent` with `takeCount` takes spread over every segment, a third of
/// them chosen. Built once per bench: making it is not what is measured.
inline ProjectStore projectWithTakes(const QString &parent, const QList<ScriptBlock> &blocks, int takeCount)
{
    QStringList recordingIDs;
    for (const ScriptBlock &block : blocks) {
        for (const VoiceSegment &segment : block.voiceSegments())
            recordingIDs.append(segment.id);
    }
    QList<Take> takes;
    for (int i = 0; i < takeCount; ++i) {
        const QUuid id = QUuid::createUuid();
        takes.append(Take{id, recordingIDs.at((i * 7) % recordingIDs.size()), uuidText(id) + QStringLiteral(".wav"),
                          QDateTime::currentDateTimeUtc(), i % 3 == 0});
    }
    const ProjectStore store = ProjectStore::create(parent, blocks, QStringLiteral("bench"));
    store.saveManifest(takes);
    return store;
}

} // namespace tarnwick::bench
