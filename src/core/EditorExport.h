#pragma once

#include "core/Loudness.h"
#include "core/ScriptBlock.h"
#include "core/Take.h"
#include "core/TrimPoints.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>

namespace tarnwick {

/// How the gain of the exported clips is chosen.
enum class GainMode {
    take,      // each clip to the target on its own
    programme, // one gain for all, from their joint loudness: relative levels stay
};

struct ExportOptions
{
    LoudnessPreset preset = LoudnessPreset::r128;
    GainMode gain = GainMode::take;
    bool trim = true;
    double gapSeconds = 1.0; // between clips on the timeline and in programme.wav
    int fps = 25;            // frame rate of the timelines
    bool partial = false;    // write what exists and list the rest in missing.txt

    friend bool operator==(const ExportOptions &, const ExportOptions &) = default;
};

/// What an export reads: a snapshot of the open project, safe to hand to a worker.
struct ExportProject
{
    QString root; // the project folder
    QString name; // the project's title
    QList<ScriptBlock> blocks;
    QList<Take> takes;
    /// Where a take's speech lies; none means no trim but the stored points. Called on the
    /// export's thread.
    std::function<std::optional<SpeechSpan>(const Take &take, const QString &audioPath)> speechOf;
};

/// Reports progress from 0 to 1, and is asked whether to stop. Both may be empty.
struct ExportControl
{
    std::function<void(double fraction)> progress;
    const std::atomic<bool> *cancelled = nullptr;
};

struct ExportSummary
{
    qsizetype fileCount = 0;      // clip files written or kept
    double durationSeconds = 0.0; // of the whole timeline, gaps included
    qsizetype missingCount = 0;   // segments without a chosen take (only with `partial`)
    bool cancelled = false;       // stopped on request; the previous export is whole
};

/// Writes the editor's package into `outDir`: one Broadcast WAV per chosen take in script
/// order, cues.csv, the timelines, programme.wav and SHA256SUMS. `outDir` must not exist, be
/// empty, or hold an earlier export of the same project. Files are written beside their names
/// and renamed in, and a file whose bytes would not change is left alone. Throws StudioError.
ExportSummary exportForEditor(const ExportProject &project,
                              const QString &outDir,
                              const ExportOptions &options,
                              const ExportControl &control = {});

/// "Экспортировано файлов: 12, длительность 0:03:41", for the status line and the command line.
QString exportSummaryText(const ExportSummary &summary);

} // namespace tarnwick
