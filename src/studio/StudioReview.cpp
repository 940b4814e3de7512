// Reviewing takes (trim points, notes, ratings) and exporting the chosen ones for the editor.

#include "studio/Studio.h"

#include "core/StudioError.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

using ExportOutcome = std::variant<ExportSummary, QString>;

constexpr int progressSteps = 1000;

} // namespace

void Studio::changeTake(const QUuid &takeID, const std::function<void(Take &)> &change, const QString &done)
{
    if (locked() || !m_store)
        return;
    QList<Take> updated = m_takes;
    const auto found =
        std::find_if(updated.begin(), updated.end(), [&](const Take &take) { return take.id == takeID; });
    if (found == updated.end())
        return;
    attempt([&] {
        change(*found);
        m_store->saveManifest(updated);
        setTakes(std::move(updated));
        setMessage(done);
    });
}

void Studio::setTrim(const QUuid &takeID, double in, double out)
{
    changeTake(takeID, [&](Take &take) {
        const double length = takeDuration(take).value_or(std::max(in, out));
        const double from = std::clamp(in, 0.0, length);
        const double to = std::clamp(out, 0.0, length);
        if (!(to > from))
            throw StudioError(u"Конец обрезки должен быть позже её начала"_s);
        take.trimIn = from;
        take.trimOut = to;
    }, u"Границы дубля сохранены"_s);
}

void Studio::resetTrim(const QUuid &takeID)
{
    changeTake(takeID, [](Take &take) {
        take.trimIn.reset();
        take.trimOut.reset();
    }, u"Границы дубля сброшены"_s);
}

void Studio::setTakeNote(const QUuid &takeID, const QString &note)
{
    changeTake(takeID, [&](Take &take) { take.note = note; }, u"Заметка к дублю сохранена"_s);
}

void Studio::setTakeRating(const QUuid &takeID, int rating)
{
    changeTake(takeID, [&](Take &take) {
        if (rating < 0 || rating > maxTakeRating)
            throw StudioError(u"Оценка дубля должна быть от 0 до "_s + QString::number(maxTakeRating));
        take.rating = rating;
    }, u"Оценка дубля сохранена"_s);
}

std::optional<TrimPoints> Studio::trimPoints(const QUuid &takeID) const
{
    const auto found =
        std::find_if(m_takes.cbegin(), m_takes.cend(), [&](const Take &take) { return take.id == takeID; });
    if (found == m_takes.cend())
        return std::nullopt;
    const std::optional<double> length = takeDuration(*found);
    if (!length)
        return std::nullopt;
    const std::optional<TakeFigures> known = figures(takeID);
    return trimPointsFor(*found, *length, known ? speechSpan(*known) : std::nullopt);
}

ExportProject Studio::exportSnapshot() const
{
    // Figures already measured are used; a take not yet analysed is analysed by the export.
    QHash<QUuid, std::optional<SpeechSpan>> known;
    for (const Take &take : m_takes) {
        if (const std::optional<TakeFigures> measured = figures(take.id))
            known.insert(take.id, speechSpan(*measured));
    }
    return ExportProject{
        .root = m_store->root(),
        .name = m_projectName,
        .blocks = m_blocks,
        .takes = m_takes,
        .speechOf = [known](const Take &take, const QString &audioPath) -> std::optional<SpeechSpan> {
            if (const auto found = known.constFind(take.id); found != known.cend())
                return *found;
            return speechSpan(analyseTake(audioPath));
        },
    };
}

void Studio::exportForEditor(const QString &outDir, const ExportOptions &options)
{
    if (locked() || !m_store)
        return;
    m_audio->stopPlayback();
    m_exportCancel = std::make_shared<std::atomic<bool>>(false);
    m_exportProgress = 0.0;
    setBusy(true);
    emit exportingChanged();
    emit exportProgressChanged();

    auto *watcher = new QFutureWatcher<ExportOutcome>(this);
    connect(watcher, &QFutureWatcher<ExportOutcome>::progressValueChanged, this, [this](int value) {
        m_exportProgress = double(value) / progressSteps;
        emit exportProgressChanged();
    });
    connect(watcher, &QFutureWatcher<ExportOutcome>::finished, this, [this, watcher] {
        const ExportOutcome outcome = watcher->result();
        watcher->deleteLater();
        finishExport(outcome);
    });
    m_export = QtConcurrent::run(
        [project = exportSnapshot(), outDir, options, cancel = m_exportCancel](QPromise<ExportOutcome> &promise) {
            promise.setProgressRange(0, progressSteps);
            const ExportControl control{
                [&promise](double fraction) { promise.setProgressValue(int(fraction * progressSteps)); },
                cancel.get()};
            // Exceptions do not cross threads: the error's text comes back instead.
            try {
                promise.addResult(tarnwick::exportForEditor(project, outDir, options, control));
            } catch (const StudioError &error) {
                promise.addResult(error.message());
            } catch (const std::exception &error) {
                promise.addResult(QString::fromUtf8(error.what()));
            }
        });
    watcher->setFuture(m_export);
}

void Studio::cancelExport()
{
    if (m_exportCancel)
        m_exportCancel->store(true);
}

void Studio::finishExport(const ExportOutcome &outcome)
{
    m_exportCancel.reset();
    setBusy(false);
    emit exportingChanged();
    if (const auto *error = std::get_if<QString>(&outcome)) {
        report(*error);
        return;
    }
    const ExportSummary &summary = std::get<ExportSummary>(outcome);
    if (summary.cancelled) {
        setMessage(u"Экспорт отменён: прежний экспорт в папке не тронут"_s, {Outcome::Result::cancelled, u"Экспорт отменён: прежний экспорт в папке не тронут"_s});
        return;
    }
    setMessage(exportSummaryText(summary), {Outcome::Result::done, {}, summary.missingCount > 0});
}

} // namespace tarnwick
