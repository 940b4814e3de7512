#include "core/EditorExport.h"

#include "core/BroadcastWav.h"
#include "core/ExportPlan.h"
#include "core/FileAccess.h"
#include "core/Json.h"
#include "core/StudioError.h"
#include "core/Timeline.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>

#include <ebur128.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <span>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

constexpr int sampleRate = BroadcastWavWriter::sampleRate;
constexpr qint64 blockFrames = 16384;
// Bumped whenever the bytes written for the same input change, so an older export is redone.
constexpr int formatVersion = 1;
constexpr double minusInfinity = -std::numeric_limits<double>::infinity();

/// The hidden file that marks a folder as this project's export and remembers what was written.
QString markerPath(const QString &outDir)
{
    return outDir + u"/.tarnwick-export.json"_s;
}

QString partPath(const QString &outDir, const QString &name)
{
    return outDir + u"/."_s + name + u".part"_s;
}

bool stopRequested(const ExportControl &control)
{
    return control.cancelled && control.cancelled->load();
}

struct SoundFileCloser
{
    void operator()(SNDFILE *file) const { sf_close(file); }
};
struct LoudnessStateDeleter
{
    void operator()(ebur128_state *state) const { ebur128_destroy(&state); }
};
using LoudnessMeter = std::unique_ptr<ebur128_state, LoudnessStateDeleter>;

LoudnessMeter makeMeter()
{
    // The histogram keeps the memory of a meter fixed, however long the audio.
    LoudnessMeter meter(ebur128_init(1, sampleRate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_HISTOGRAM));
    if (!meter)
        throw std::bad_alloc();
    return meter;
}

/// A take's file opened for reading its sound, from a given frame.
class TakeReader
{
public:
    explicit TakeReader(const QString &path)
        : m_path(path)
    {
        m_file.reset(sf_open(QFile::encodeName(path).constData(), SFM_READ, &m_info));
        if (!m_file)
            throw StudioError(u"Не удалось прочитать звук из файла «"_s + path + u"»: "_s
                              + QString::fromUtf8(sf_strerror(nullptr)));
        if (m_info.samplerate != sampleRate || m_info.channels != 1)
            throw StudioError(u"Файл «"_s + path + u"»: ожидался звук 48 кГц, моно, а не "_s
                              + QString::number(m_info.samplerate) + u" Гц, каналов: "_s
                              + QString::number(m_info.channels));
    }

    qint64 frames() const { return m_info.frames; }

    void seek(qint64 frame)
    {
        if (sf_seek(m_file.get(), frame, SEEK_SET) != frame)
            failRead();
    }

    /// Fills `buffer` from the current place; the file must hold that much.
    void read(std::vector<float> &buffer, qint64 count)
    {
        buffer.resize(std::size_t(count));
        if (sf_readf_float(m_file.get(), buffer.data(), count) != count)
            failRead();
    }

private:
    [[noreturn]] void failRead() const
    {
        throw StudioError(u"Не удалось прочитать звук из файла «"_s + m_path + u"»: файл обрывается"_s);
    }

    QString m_path;
    SF_INFO m_info{};
    std::unique_ptr<SNDFILE, SoundFileCloser> m_file;
};

/// Everything known of one exported clip.
struct Clip
{
    PlannedClip plan;
    QString audioPath;
    QString sourceKey; // the take's file as it is on disk: a changed file is a new source
    qint64 in = 0;     // samples into the take's file
    qint64 out = 0;
    qint64 start = 0; // on the timeline
    double lufs = minusInfinity;
    double truePeak = minusInfinity; // dBTP
    LoudnessGain gain;
    BroadcastWavInfo info;
    QByteArray recipe; // a digest of everything the file's bytes depend on

    qint64 length() const { return out - in; }
};

/// What an earlier export left: which files it wrote, from what, and the measurements it made.
struct EarlierExport
{
    QJsonObject files;        // name → {recipe, size, sha256}
    QJsonObject measurements; // source key + trim → [lufs, true peak]
};

QJsonValue finiteOrNull(double value)
{
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue();
}

QString canonicalRoot(const QString &root)
{
    const QString canonical = QFileInfo(root).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(root).absoluteFilePath()) : canonical;
}

/// Checks that `outDir` may take the export, creating it when absent, and reads what an
/// earlier export of the project left there.
EarlierExport prepareFolder(const QString &outDir, const QString &projectRoot)
{
    const QFileInfo folder(outDir);
    if (!folder.exists()) {
        files::makeFolders(outDir);
        return {};
    }
    if (!folder.isDir())
        throw StudioError(u"«"_s + outDir + u"» — не папка: укажите папку для экспорта"_s);
    const QStringList entries =
        QDir(outDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (entries.isEmpty())
        return {};
    const QString refusal = u"Папка «"_s + outDir
                            + u"» не пуста и не содержит прежнего экспорта этого проекта: выберите пустую или новую папку"_s;
    if (!entries.contains(QFileInfo(markerPath(outDir)).fileName()))
        throw StudioError(refusal);
    QJsonObject marker;
    try {
        marker = requireObject(parseJson(files::read(markerPath(outDir)), markerPath(outDir)), {});
    } catch (const StudioError &) {
        throw StudioError(refusal);
    }
    if (marker.value(u"project"_s).toString() != canonicalRoot(projectRoot))
        throw StudioError(refusal);
    // A run that was killed leaves its unfinished files; they are ours to remove.
    for (const QString &name : entries) {
        if (name.startsWith(u'.') && name.endsWith(u".part"_s))
            files::removeIfPresent(outDir + u'/' + name);
    }
    return {marker.value(u"files"_s).toObject(), marker.value(u"measurements"_s).toObject()};
}

QString sourceKey(const QString &path)
{
    const QFileInfo info(path);
    return info.fileName() + u'|' + QString::number(info.size()) + u'|'
           + QString::number(info.lastModified().toMSecsSinceEpoch());
}

QString measurementKey(const Clip &clip)
{
    return clip.sourceKey + u'|' + QString::number(clip.in) + u'|' + QString::number(clip.out);
}

QByteArray digest(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QString decibels(double value, int decimals)
{
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : QString();
}

/// HH:MM:SS:FF of a sample position, at a whole frame rate.
QString timecode(qint64 samples, int fps)
{
    const qint64 frames = framesFromSamples(samples, FrameRate{fps, 1}, sampleRate);
    const qint64 seconds = frames / fps;
    return u"%1:%2:%3:%4"_s.arg(seconds / 3600, 2, 10, QChar(u'0'))
        .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'))
        .arg(frames % fps, 2, 10, QChar(u'0'));
}

QString csvField(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    return u'"' + QString(text).replace(u"\""_s, u"\"\""_s) + u'"';
}

QByteArray cuesCsv(const QList<Clip> &clips, int fps)
{
    QString text = u"\uFEFFposition,file,block,segment,timeline_start,duration_s,russian,english,voice_status,"
                   u"voice_note,take,rating,note,loudness_lufs,true_peak_dbtp,gain_db,limited\r\n"_s;
    for (const Clip &clip : clips) {
        const PlannedClip &plan = clip.plan;
        const QStringList fields{
            QString::number(plan.position),
            plan.fileName,
            plan.block.number,
            plan.segmentLabel,
            timecode(clip.start, fps),
            QString::number(double(clip.length()) / sampleRate, 'f', 3),
            plan.russian,
            plan.english,
            plan.block.voiceStatus.value_or(QString()),
            plan.block.voiceNote.value_or(QString()),
            QString::number(plan.takeNumber),
            QString::number(plan.take.rating),
            plan.take.note,
            decibels(clip.lufs + clip.gain.gainDB, 1),
            decibels(clip.truePeak + clip.gain.gainDB, 1),
            QString::number(clip.gain.gainDB, 'f', 2),
            clip.gain.limited ? u"yes"_s : u"no"_s,
        };
        QStringList quoted;
        for (const QString &field : fields)
            quoted.append(csvField(field));
        text += quoted.join(u',') + u"\r\n"_s;
    }
    return text.toUtf8();
}

/// One export run: measure, choose gains, write what changed beside its name, then rename in.
class Exporter
{
public:
    Exporter(const ExportProject &project, const QString &outDir, const ExportOptions &options, const ExportControl &control)
        : m_project(project)
        , m_outDir(QDir::cleanPath(QFileInfo(outDir).absoluteFilePath()))
        , m_options(options)
        , m_control(control)
    {
    }

    ~Exporter()
    {
        // Whatever was not renamed in is an unfinished file: the earlier export stays as it was.
        for (const QString &name : std::as_const(m_written))
            ::unlink(QFile::encodeName(partPath(m_outDir, name)).constData());
    }
    Exporter(const Exporter &) = delete;
    Exporter &operator=(const Exporter &) = delete;

    ExportSummary run()
    {
        if (m_options.fps < 1 || m_options.fps > 120)
            throw StudioError(u"Частота кадров должна быть от 1 до 120, а не "_s + QString::number(m_options.fps));
        if (!(m_options.gapSeconds >= 0.0 && m_options.gapSeconds <= 3600.0))
            throw StudioError(u"Пауза между фрагментами должна быть от 0 до 3600 с"_s);
        const ExportPlan plan = planExport(m_project.blocks, m_project.takes);
        if (!plan.missing.isEmpty() && !m_options.partial)
            throw StudioError(missingTakesMessage(plan.missing));
        m_earlier = prepareFolder(m_outDir, m_project.root);

        placeClips(plan);
        measure();
        chooseGains();
        describeClips();
        writeAudio();
        if (stopRequested(m_control))
            return {.cancelled = true};
        writeLists(plan);
        if (stopRequested(m_control))
            return {.cancelled = true};
        commit();

        ExportSummary summary;
        summary.fileCount = m_clips.size();
        summary.durationSeconds = double(m_totalLength) / sampleRate;
        summary.missingCount = plan.missing.size();
        return summary;
    }

private:
    void placeClips(const ExportPlan &plan)
    {
        const qint64 gap = std::llround(m_options.gapSeconds * sampleRate);
        qint64 position = 0;
        for (const PlannedClip &planned : plan.clips) {
            Clip clip;
            clip.plan = planned;
            clip.audioPath = m_project.root + u"/Recordings/"_s + planned.take.fileName;
            if (planned.take.fileName.contains(u'/') || !QFileInfo(clip.audioPath).isFile())
                throw StudioError(u"Нет файла выбранного дубля блока "_s + planned.block.number + u": «"_s
                                  + clip.audioPath + u"»"_s);
            clip.sourceKey = sourceKey(clip.audioPath);
            const qint64 frames = TakeReader(clip.audioPath).frames();
            TrimPoints points{0.0, double(frames) / sampleRate, true};
            if (m_options.trim) {
                const std::optional<SpeechSpan> speech =
                    m_project.speechOf ? m_project.speechOf(planned.take, clip.audioPath) : std::nullopt;
                points = trimPointsFor(planned.take, double(frames) / sampleRate, speech);
            }
            clip.in = std::clamp<qint64>(std::llround(points.in * sampleRate), 0, frames);
            clip.out = std::clamp<qint64>(std::llround(points.out * sampleRate), clip.in, frames);
            if (clip.length() == 0) { // a take too short to keep anything still gets its place
                clip.in = 0;
                clip.out = frames;
            }
            if (!m_clips.isEmpty())
                position += gap;
            clip.start = position;
            position += clip.length();
            m_work += clip.length();
            m_clips.append(clip);
        }
        m_totalLength = position;
    }

    /// Loudness and true peak of every clip as cut. In programme mode everything is read, to
    /// measure the clips together; otherwise an earlier export's figures of the same cut serve.
    void measure()
    {
        const bool programme = m_options.gain == GainMode::programme && m_options.preset != LoudnessPreset::none;
        LoudnessMeter joint = programme ? makeMeter() : LoudnessMeter(nullptr);
        std::vector<float> buffer;
        for (Clip &clip : m_clips) {
            const QJsonArray known = m_earlier.measurements.value(measurementKey(clip)).toArray();
            if (!programme && known.size() == 2) {
                clip.lufs = known.at(0).isDouble() ? known.at(0).toDouble() : minusInfinity;
                clip.truePeak = known.at(1).isDouble() ? known.at(1).toDouble() : minusInfinity;
                advance(clip.length());
                continue;
            }
            LoudnessMeter meter = makeMeter();
            TakeReader reader(clip.audioPath);
            reader.seek(clip.in);
            for (qint64 done = 0; done < clip.length() && !stopRequested(m_control);) {
                const qint64 count = std::min(blockFrames, clip.length() - done);
                reader.read(buffer, count);
                ebur128_add_frames_float(meter.get(), buffer.data(), std::size_t(count));
                if (joint)
                    ebur128_add_frames_float(joint.get(), buffer.data(), std::size_t(count));
                done += count;
                advance(count);
            }
            double lufs = minusInfinity;
            double peak = 0.0;
            ebur128_loudness_global(meter.get(), &lufs);
            ebur128_true_peak(meter.get(), 0, &peak);
            clip.lufs = std::isfinite(lufs) ? lufs : minusInfinity;
            clip.truePeak = peak > 0.0 ? 20.0 * std::log10(peak) : minusInfinity;
        }
        if (joint) {
            double lufs = minusInfinity;
            ebur128_loudness_global(joint.get(), &lufs);
            m_jointLUFS = std::isfinite(lufs) ? lufs : minusInfinity;
        }
    }

    void chooseGains()
    {
        if (m_options.gain == GainMode::programme) {
            double peak = minusInfinity;
            for (const Clip &clip : std::as_const(m_clips))
                peak = std::max(peak, clip.truePeak);
            const LoudnessGain shared = gainFor(m_options.preset, m_jointLUFS, peak);
            for (Clip &clip : m_clips)
                clip.gain = shared;
            return;
        }
        for (Clip &clip : m_clips)
            clip.gain = gainFor(m_options.preset, clip.lufs, clip.truePeak);
    }

    void describeClips()
    {
        for (Clip &clip : m_clips) {
            const PlannedClip &plan = clip.plan;
            const QString segment =
                plan.segmentID.startsWith(voicePrefix) ? plan.segmentLabel : plan.segmentID;
            QString note = plan.russian + u'\n' + plan.english;
            if (!plan.take.note.isEmpty())
                note += u'\n' + plan.take.note;
            clip.info = BroadcastWavInfo{
                .description = u"block "_s + plan.block.number + u" segment "_s + segment + u" take "_s
                               + QString::number(plan.takeNumber),
                .timeReference = clip.start,
                .project = m_project.name,
                .scene = plan.block.number,
                .take = QString::number(plan.takeNumber),
                .circled = true, // every exported take is the chosen one
                .note = note,
            };
            QByteArray recipe = QByteArray::number(formatVersion) + '\n' + clip.sourceKey.toUtf8() + '\n'
                                + QByteArray::number(clip.in) + '\n' + QByteArray::number(clip.out) + '\n'
                                + QByteArray::number(clip.gain.gainDB, 'g', 17) + '\n'
                                + clip.info.description.toUtf8() + '\n'
                                + QByteArray::number(clip.info.timeReference) + '\n' + iXMLDocument(clip.info);
            clip.recipe = digest(recipe);
        }
    }

    /// Whether a file of the earlier export is still what `recipe` would write.
    bool unchanged(const QString &name, const QByteArray &recipe) const
    {
        const QJsonObject earlier = m_earlier.files.value(name).toObject();
        const QFileInfo file(m_outDir + u'/' + name);
        return !recipe.isEmpty() && earlier.value(u"recipe"_s).toString().toLatin1() == recipe && file.isFile()
               && earlier.value(u"size"_s).toInteger(-1) == file.size();
    }

    void writeAudio()
    {
        QByteArray programmeRecipe = QByteArray::number(formatVersion) + '\n' + m_project.name.toUtf8() + '\n';
        QList<CueMarker> cues;
        for (const Clip &clip : std::as_const(m_clips)) {
            programmeRecipe += clip.recipe + ' ' + QByteArray::number(clip.start) + '\n';
            cues.append({clip.start, clip.plan.fileName.chopped(4)});
        }
        programmeRecipe = digest(programmeRecipe);
        const QString programmeName = u"programme.wav"_s;
        std::unique_ptr<BroadcastWavWriter> programme;
        if (!unchanged(programmeName, programmeRecipe)) {
            m_written.append(programmeName);
            BroadcastWavInfo info;
            info.description = u"programme"_s;
            info.project = m_project.name;
            programme = std::make_unique<BroadcastWavWriter>(partPath(m_outDir, programmeName), info, cues);
        }
        m_recipes.insert(programmeName, programmeRecipe);

        std::vector<float> buffer;
        const std::vector<float> silence(std::size_t(blockFrames), 0.0f);
        for (const Clip &clip : std::as_const(m_clips)) {
            m_recipes.insert(clip.plan.fileName, clip.recipe);
            const bool writeClip = !unchanged(clip.plan.fileName, clip.recipe);
            if (!writeClip && !programme) {
                advance(clip.length());
                continue;
            }
            std::unique_ptr<BroadcastWavWriter> file;
            if (writeClip) {
                m_written.append(clip.plan.fileName);
                file = std::make_unique<BroadcastWavWriter>(partPath(m_outDir, clip.plan.fileName), clip.info);
            }
            if (programme) {
                for (qint64 gap = clip.start - programme->written(); gap > 0;) {
                    const qint64 count = std::min(gap, blockFrames);
                    programme->write(std::span(silence.data(), std::size_t(count)));
                    gap -= count;
                }
            }
            const float factor = float(std::pow(10.0, clip.gain.gainDB / 20.0));
            TakeReader reader(clip.audioPath);
            reader.seek(clip.in);
            for (qint64 done = 0; done < clip.length();) {
                if (stopRequested(m_control))
                    return;
                const qint64 count = std::min(blockFrames, clip.length() - done);
                reader.read(buffer, count);
                for (float &sample : buffer)
                    sample *= factor;
                if (file)
                    file->write(buffer);
                if (programme)
                    programme->write(buffer);
                done += count;
                advance(count);
            }
            if (file)
                file->finish();
        }
        if (programme)
            programme->finish();
    }

    void writeText(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_outDir + u'/' + name;
        const QByteArray recipe = digest(bytes);
        m_recipes.insert(name, recipe);
        if (unchanged(name, recipe))
            return;
        m_written.append(name);
        QFile file(partPath(m_outDir, name));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()
            || !file.flush() || ::fsync(file.handle()) != 0)
            throw StudioError(u"Не удалось записать файл «"_s + path + u"»: "_s + files::reason(errno));
    }

    void writeLists(const ExportPlan &plan)
    {
        writeText(u"cues.csv"_s, cuesCsv(m_clips, m_options.fps));
        Timeline timeline{m_project.name, FrameRate{m_options.fps, 1}, sampleRate, {}};
        for (const Clip &clip : std::as_const(m_clips))
            timeline.clips.append(TimelineClip{clip.plan.fileName, clip.plan.block.number, clip.start, 0,
                                               clip.length(), clip.length(), clip.start});
        writeText(u"timeline.edl"_s, toEDL(timeline));
        writeText(u"timeline.xml"_s, toFinalCut7XML(timeline));
        writeText(u"timeline.fcpxml"_s, toFCPXML(timeline));
        writeText(u"timeline.otio"_s, toOTIO(timeline));
        writeText(u"timeline.mlt"_s, toMLT(timeline));
        if (!plan.missing.isEmpty()) {
            QString missing;
            for (const MissingSegment &segment : plan.missing)
                missing += u"блок "_s + segment.block.number
                           + (segment.segmentLabel != segment.block.number ? u", сегмент "_s + segment.segmentLabel
                                                                           : QString())
                           + u'\n';
            writeText(u"missing.txt"_s, missing.toUtf8());
        }
        QByteArray sums;
        for (auto it = m_recipes.cbegin(); it != m_recipes.cend(); ++it)
            sums += fileDigest(it.key()) + "  " + QFile::encodeName(it.key()) + '\n';
        writeText(u"SHA256SUMS"_s, sums);
    }

    /// SHA-256 of a file as it will be after the rename: the new one if written, else the old.
    QByteArray fileDigest(const QString &name)
    {
        if (const auto known = m_digests.constFind(name); known != m_digests.cend())
            return *known;
        if (!m_written.contains(name)) {
            const QByteArray known = m_earlier.files.value(name).toObject().value(u"sha256"_s).toString().toLatin1();
            if (!known.isEmpty())
                return known;
        }
        const QString path = m_written.contains(name) ? partPath(m_outDir, name) : m_outDir + u'/' + name;
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
            throw StudioError(u"Не удалось прочитать файл «"_s + path + u"»: "_s + files::reason(errno));
        m_digests.insert(name, hash.result().toHex());
        return m_digests.value(name);
    }

    /// Renames every new file in, removes what the earlier export had and this one has not, and
    /// records what is now there.
    void commit()
    {
        QHash<QString, QByteArray> sums;
        for (auto it = m_recipes.cbegin(); it != m_recipes.cend(); ++it) {
            if (it.key() != u"SHA256SUMS"_s)
                sums.insert(it.key(), fileDigest(it.key()));
        }
        // Until every new file is in, the marker claims none of them: a crash between the renames
        // leaves files that the next run rewrites, never one it takes for unchanged.
        if (!m_written.isEmpty()) {
            QJsonObject pending = m_earlier.files;
            for (const QString &name : std::as_const(m_written))
                pending.insert(name, QJsonObject{});
            writeMarker(pending);
        }
        for (const QString &name : std::as_const(m_written)) {
            const QString target = m_outDir + u'/' + name;
            if (std::rename(QFile::encodeName(partPath(m_outDir, name)).constData(),
                            QFile::encodeName(target).constData())
                != 0)
                throw StudioError(u"Не удалось записать файл «"_s + target + u"»: "_s + files::reason(errno));
        }
        m_written.clear();
        for (auto it = m_earlier.files.constBegin(); it != m_earlier.files.constEnd(); ++it) {
            if (!m_recipes.contains(it.key()))
                files::removeIfPresent(m_outDir + u'/' + it.key());
        }
        QJsonObject records;
        for (auto it = m_recipes.cbegin(); it != m_recipes.cend(); ++it) {
            records.insert(it.key(), QJsonObject{
                                         {u"recipe"_s, QString::fromLatin1(it.value())},
                                         {u"size"_s, QFileInfo(m_outDir + u'/' + it.key()).size()},
                                         {u"sha256"_s, QString::fromLatin1(sums.value(it.key()))},
                                     });
        }
        writeMarker(records);
    }

    /// What the folder holds and the measurements made, for the next export. Nothing in it
    /// depends on the clock, like the files it describes.
    void writeMarker(const QJsonObject &fileRecords) const
    {
        QJsonObject measurements;
        for (const Clip &clip : std::as_const(m_clips))
            measurements.insert(measurementKey(clip), QJsonArray{finiteOrNull(clip.lufs), finiteOrNull(clip.truePeak)});
        const QByteArray bytes = encodeJson(QJsonObject{
            {u"project"_s, canonicalRoot(m_project.root)},
            {u"files"_s, fileRecords},
            {u"measurements"_s, measurements},
        });
        QFile earlier(markerPath(m_outDir));
        if (!earlier.open(QIODevice::ReadOnly) || earlier.readAll() != bytes)
            files::writeAtomically(markerPath(m_outDir), bytes);
    }

    void advance(qint64 samples)
    {
        m_done += samples;
        if (m_control.progress && m_work > 0)
            m_control.progress(std::min(1.0, double(m_done) / double(2 * m_work)));
    }

    const ExportProject &m_project;
    QString m_outDir;
    ExportOptions m_options;
    const ExportControl &m_control;
    EarlierExport m_earlier;
    QList<Clip> m_clips;
    qint64 m_totalLength = 0;
    double m_jointLUFS = minusInfinity;
    QMap<QString, QByteArray> m_recipes; // every file of this export, by name: sorted for SHA256SUMS
    QStringList m_written;               // files written beside their names, not yet renamed in
    QHash<QString, QByteArray> m_digests; // SHA-256 of the files hashed so far, by name
    qint64 m_work = 0;                   // samples in all clips; measuring and writing read each once
    qint64 m_done = 0;
};

} // namespace

QString exportSummaryText(const ExportSummary &summary)
{
    const qint64 seconds = std::llround(summary.durationSeconds);
    QString text = u"Экспортировано файлов: "_s + QString::number(summary.fileCount) + u", длительность "_s
                   + QString::number(seconds / 3600) + u':' + u"%1"_s.arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
                   + u':' + u"%1"_s.arg(seconds % 60, 2, 10, QChar(u'0'));
    if (summary.missingCount > 0)
        text += u"; без выбранного дубля: "_s + QString::number(summary.missingCount) + u" (см. missing.txt)"_s;
    return text;
}

ExportSummary exportForEditor(const ExportProject &project,
                              const QString &outDir,
                              const ExportOptions &options,
                              const ExportControl &control)
{
    Exporter exporter(project, outDir, options, control);
    return exporter.run();
}

} // namespace tarnwick
