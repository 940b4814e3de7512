// Scenarios coming in: importing a file as a new project, and splitting a block into sentences.

#include "studio/Studio.h"

#include "core/ScenarioFile.h"
#include "core/SentenceSplitter.h"
#include "core/StudioError.h"

#include <QFutureWatcher>
#include <QPointer>
#include <QtConcurrent>

#include <variant>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

/// What the worker hands back: the checked blocks, or the error's text. Exceptions do not
/// cross threads.
using ReadOutcome = std::variant<QList<ScriptBlock>, QString>;

ReadOutcome readOnWorker(const QString &file)
{
    try {
        return readScenarioFile(file);
    } catch (const StudioError &error) {
        return error.message();
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    }
}

} // namespace

void Studio::importScenario()
{
    if (locked())
        return;
    const std::optional<QString> file = m_services.chooser->chooseScenarioFile(
        u"Создать отдельный проект из JSON или XLSX. Существующие записи сохранятся"_s);
    if (!file) {
        m_outcome = {Outcome::Result::cancelled, {}};
        return;
    }
    setBusy(true);
    m_audio->stopPlayback();

    // The watcher belongs to us, so a result that arrives after we are gone goes nowhere.
    auto *watcher = new QFutureWatcher<ReadOutcome>(this);
    connect(watcher, &QFutureWatcher<ReadOutcome>::finished, this, [this, watcher, path = *file] {
        const ReadOutcome outcome = watcher->result();
        watcher->deleteLater();
        if (const auto *error = std::get_if<QString>(&outcome)) {
            setBusy(false);
            report(*error);
            return;
        }
        finishImport(path, std::get<QList<ScriptBlock>>(outcome));
    });
    watcher->setFuture(QtConcurrent::run(readOnWorker, *file));
}

void Studio::finishImport(const QString &file, const QList<ScriptBlock> &blocks)
{
    const QString title = scenarioFileTitle(file);
    std::optional<ProjectStore> made;
    if (!attempt([&] { made = ProjectStore::create(m_baseRoot + u"/Projects"_s, blocks, title); })) {
        setBusy(false);
        return;
    }
    setBusy(false); // `open` refuses while busy
    if (!attempt([&] { open(*made); }))
        return;
    setProjectName(title);
    setMessage(u"Создан отдельный проект. Папка доступна через «Показать проект»"_s);
}

Outcome Studio::splitIntoSentences(const ScriptBlock &block)
{
    const Outcome ignored{Outcome::Result::refused, {}};
    if (locked() || !m_store)
        return ignored;
    const auto position = std::find_if(m_blocks.cbegin(), m_blocks.cend(),
                                       [&](const ScriptBlock &b) { return b.id == block.id; });
    if (position == m_blocks.cend())
        return ignored;
    if (block.voiceMarkerIssue()) {
        refuse(u"Блок "_s + block.number + u": сначала исправьте разметку [voice:...]"_s);
        return m_outcome;
    }

    QSet<QString> otherSegments;
    for (const ScriptBlock &other : m_blocks) {
        if (other.id == block.id)
            continue;
        for (const VoiceSegment &segment : other.voiceSegments())
            otherSegments.insert(segment.id);
    }
    ScriptBlock split;
    if (!attempt([&] { split = SentenceSplitter::split(block, otherSegments); }))
        return m_outcome;

    QList<ScriptBlock> scenario = m_blocks;
    scenario[position - m_blocks.cbegin()] = split;
    // Checked before any take is removed, so a refusal can never leave the takes trashed and
    // the text as it was.
    if (!attempt([&] { ScriptBlock::validate(scenario); }))
        return m_outcome;

    QSet<QString> currentSegments;
    for (const VoiceSegment &segment : position->voiceSegments())
        currentSegments.insert(segment.id);
    QList<Take> affected;
    for (const Take &take : m_takes) {
        if (currentSegments.contains(take.blockID))
            affected.append(take);
    }
    if (!affected.isEmpty()) {
        if (!confirmTakeRemoval(block, affected.size()))
            return {Outcome::Result::cancelled, {}};
        const ProjectStore store = *m_store;
        if (!attempt([&] { removeTakes(affected, store); }))
            return m_outcome;
    }
    if (!attempt([&] { m_store->saveScenario(scenario); }))
        return m_outcome;

    setBlocks(std::move(scenario));
    setSelection(split.id, split.voiceSegments().constFirst().id);
    setMessage(u"Блок "_s + block.number + u" разбит на реплики: "_s
               + QString::number(split.voiceSegments().size()));
    return m_outcome;
}

} // namespace tarnwick
