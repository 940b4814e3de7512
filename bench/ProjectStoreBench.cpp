// Loading and saving a large project, beside the floor of merely reading and parsing its files.

#include "core/ProjectStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;
using namespace tarnwick;

namespace {

constexpr int blockCount = 1000;
constexpr int takeCount = 10000;

/// 1,000 blocks, every fifth cut into three marked segments, and 10,000 takes with their files.
class LargeProject
{
public:
    LargeProject()
        : m_store(ProjectStore::create(m_dir.path(), blocks(), u"bench"_s))
    {
        const QList<ScriptBlock> scenario = blocks();
        QStringList recordingIDs;
        for (const ScriptBlock &block : scenario) {
            for (const VoiceSegment &segment : block.voiceSegments())
                recordingIDs.append(segment.id);
        }
        for (int i = 0; i < takeCount; ++i) {
            const QUuid id = QUuid::createUuid();
            const Take take{id, recordingIDs.at(i % recordingIDs.size()), uuidText(id) + u".wav"_s,
                            QDateTime::currentDateTimeUtc(), i < recordingIDs.size()};
            QFile(m_store.audioURL(take)).open(QIODevice::WriteOnly);
            m_takes.append(take);
        }
        m_store.saveManifest(m_takes);
    }

    const ProjectStore &store() const { return m_store; }
    const QList<Take> &takes() const { return m_takes; }

private:
    static QList<ScriptBlock> blocks()
    {
        QList<ScriptBlock> result;
        for (int i = 1; i <= blockCount; ++i) {
            const QString n = QString::number(i);
            QString russian = u"Блок номер "_s + n + u". Солнце посылает на Землю больше энергии, чем мы тратим."_s;
            QString english = u"Block number "_s + n + u". The Sun sends the Earth more energy than we use."_s;
            if (i % 5 == 0) {
                russian = u"[voice:a"_s + n + u"]\nРаз.\n[voice:b"_s + n + u"]\nДва.\n[voice:c"_s + n + u"]\nТри."_s;
                english = u"[voice:a"_s + n + u"]\nOne.\n[voice:b"_s + n + u"]\nTwo.\n[voice:c"_s + n + u"]\nThree."_s;
            }
            result.append(ScriptBlock{u"b"_s + n, n, u"Экран"_s, u"Screen"_s, russian, english, std::nullopt,
                                      std::nullopt});
        }
        return result;
    }

    QTemporaryDir m_dir;
    ProjectStore m_store;
    QList<Take> m_takes;
};

const LargeProject &project()
{
    static const LargeProject instance; // built once: creating 10,000 files is not what is measured
    return instance;
}

QJsonDocument readAndParse(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll());
}

void BM_ReadAndParseFloor(benchmark::State &state)
{
    const ProjectStore &store = project().store();
    for (auto _ : state) {
        benchmark::DoNotOptimize(readAndParse(store.scenarioFile()));
        benchmark::DoNotOptimize(readAndParse(store.manifestFile()));
    }
}
BENCHMARK(BM_ReadAndParseFloor)->Unit(benchmark::kMillisecond);

void BM_Load(benchmark::State &state)
{
    const ProjectStore &store = project().store();
    for (auto _ : state)
        benchmark::DoNotOptimize(store.load());
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

void BM_SaveManifest(benchmark::State &state)
{
    const LargeProject &large = project();
    for (auto _ : state)
        large.store().saveManifest(large.takes());
}
BENCHMARK(BM_SaveManifest)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    const QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
