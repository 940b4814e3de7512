#include "core/Timeline.h"

#include "core/BroadcastWav.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <cmath>
#include <vector>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

/// What a reader of a format sees: each clip's start and length on the timeline in frames, and
/// the markers' names.
struct Seen
{
    QList<std::pair<qint64, qint64>> clips;
    QStringList markers;
};

/// Walks an XML document, handing each element's name, attributes and text (for leaves) to `visit`.
void walk(const QByteArray &bytes, const std::function<void(QXmlStreamReader &)> &visit)
{
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement)
            visit(xml);
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
}

Seen readEDL(const QByteArray &bytes, qint64 timebase)
{
    Seen seen;
    const QRegularExpression event(uR"(^\d{3,}  AX +A +C +\S+ \S+ (\S+) (\S+)$)"_s);
    const auto frames = [&](const QString &tc) {
        const QStringList p = tc.split(u':');
        return ((p[0].toLongLong() * 60 + p[1].toLongLong()) * 60 + p[2].toLongLong()) * timebase + p[3].toLongLong();
    };
    for (const QString &line : QString::fromUtf8(bytes).split(u'\n')) {
        if (const QRegularExpressionMatch m = event.match(line); m.hasMatch())
            seen.clips.append({frames(m.captured(1)), frames(m.captured(2)) - frames(m.captured(1))});
        else if (line.startsWith(u"* LOC: "_s))
            seen.markers.append(line.section(u"  "_s, 1));
    }
    return seen;
}

Seen readXmeml(const QByteArray &bytes)
{
    Seen seen;
    walk(bytes, [&](QXmlStreamReader &xml) {
        if (xml.name() == u"clipitem"_s)
            seen.clips.append({-1, -1});
        else if (xml.name() == u"start"_s)
            seen.clips.last().first = xml.readElementText().toLongLong();
        else if (xml.name() == u"end"_s)
            seen.clips.last().second = xml.readElementText().toLongLong() - seen.clips.last().first;
        else if (xml.name() == u"marker"_s && xml.readNextStartElement() && xml.name() == u"name"_s)
            seen.markers.append(xml.readElementText());
    });
    return seen;
}

Seen readFCPXML(const QByteArray &bytes, FrameRate fps)
{
    const auto frames = [&](QStringView time) { // "0s", "3s", "1001/30000s"
        const QStringList parts = (time.chopped(1).toString() + u"/1"_s).split(u'/');
        return parts[0].toLongLong() * fps.numerator / (parts[1].toLongLong() * fps.denominator);
    };
    Seen seen;
    walk(bytes, [&](QXmlStreamReader &xml) {
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == u"asset-clip"_s)
            seen.clips.append({frames(a.value(u"offset"_s)), frames(a.value(u"duration"_s))});
        else if (xml.name() == u"marker"_s)
            seen.markers.append(a.value(u"value"_s).toString());
    });
    return seen;
}

Seen readOTIO(const QByteArray &bytes)
{
    Seen seen;
    qint64 at = 0;
    const QJsonValue track = QJsonDocument::fromJson(bytes)[u"tracks"_s][u"children"_s][0];
    for (const QJsonValue item : track[u"children"_s].toArray()) {
        const auto length = qint64(item[u"source_range"_s][u"duration"_s][u"value"_s].toDouble());
        if (item[u"OTIO_SCHEMA"_s].toString() == u"Clip.1"_s) {
            seen.clips.append({at, length});
            seen.markers.append(item[u"markers"_s][0][u"name"_s].toString());
        }
        at += length;
    }
    return seen;
}

Seen readMLT(const QByteArray &bytes)
{
    Seen seen;
    qint64 at = 0;
    walk(bytes, [&](QXmlStreamReader &xml) {
        const QXmlStreamAttributes a = xml.attributes();
        at += xml.name() == u"blank"_s ? a.value(u"length"_s).toLongLong() : 0;
        if (xml.name() == u"entry"_s) {
            seen.clips.append({at, a.value(u"out"_s).toLongLong() - a.value(u"in"_s).toLongLong() + 1});
            at += seen.clips.last().second;
        }
        if (xml.name() == u"property"_s && a.value(u"name"_s) == u"text"_s)
            seen.markers.append(xml.readElementText());
    });
    return seen;
}

/// Clips placed in samples, back to back with `gap` between them, each using its whole file.
Timeline evenTimeline(FrameRate fps, int count, qint64 clipLength, qint64 gap)
{
    Timeline timeline{u"Урок"_s, fps, 48000, {}};
    for (int i = 0; i < count; ++i)
        timeline.clips.append({QString::number(i) + u".wav"_s, QString::number(i + 1),
                               i * (clipLength + gap), 0, clipLength, clipLength, 0});
    return timeline;
}

} // namespace

// --- every format shows the same clips at the same frames, with their markers ---------------------

TEST(Timeline, EveryFormatParsesToTheSameFramedClipsAndMarkers)
{
    // 25 fps: 1920 samples a frame. The second clip starts half a frame into its file and its
    // end is cut back to the file's last whole frame; the third file ends mid-frame.
    const Timeline timeline{u"Урок 1 <&>"_s, {25, 1}, 48000,
                            {{u"001_1.wav"_s, u"1"_s, 0, 0, 48000, 48000, 0},
                             {u"002_2 а.wav"_s, u"2а"_s, 96000, 4800, 62400, 67200, 96000},
                             {u"003_3.wav"_s, u"3"_s, 200000, 0, 30000, 30000, 0}}};
    const Seen expected{{{0, 25}, {50, 32}, {104, 15}}, {u"1"_s, u"2а"_s, u"3"_s}};
    const std::pair<const char *, std::function<Seen()>> formats[] = {
        {"EDL", [&] { return readEDL(toEDL(timeline), 25); }},
        {"xmeml", [&] { return readXmeml(toFinalCut7XML(timeline)); }},
        {"FCPXML", [&] { return readFCPXML(toFCPXML(timeline), timeline.fps); }},
        {"OTIO", [&] { return readOTIO(toOTIO(timeline)); }},
        {"MLT", [&] { return readMLT(toMLT(timeline)); }},
    };
    for (const auto &[format, read] : formats)
        EXPECT_EQ(std::pair(read().clips, read().markers), std::pair(expected.clips, expected.markers)) << format;
}

TEST(Timeline, BadClipsAreRefusedByName)
{
    Timeline timeline = evenTimeline({25, 1}, 2, 48000, 0);
    timeline.clips[1].timelineStart -= 1;
    EXPECT_THROW_MESSAGE(toMLT(timeline), u"Клип 2 перекрывает предыдущий"_s);
    timeline.clips[1] = {u"x.wav"_s, u"2"_s, 48000, 1, 48000, 48000, 0};
    EXPECT_THROW_MESSAGE(toEDL(timeline), u"Клип 2 выходит за пределы файла x.wav"_s);
}

// --- an hour of clips does not drift --------------------------------------------------------

TEST(Timeline, LongTimelinePlacesEveryClipByItsOwnConversion)
{
    for (const FrameRate fps : {FrameRate{25, 1}, FrameRate{30000, 1001}}) {
        SCOPED_TRACE(fps.numerator);
        const Timeline timeline = evenTimeline(fps, 300, 592320, 48000); // 12.34 s, 1 s apart
        const Seen seen = readXmeml(toFinalCut7XML(timeline));
        ASSERT_EQ(seen.clips.size(), 300);
        const auto nearest = [&](qint64 samples) {
            return qint64(std::floor(double(samples) * fps.numerator / (48000.0 * fps.denominator) + 0.5));
        };
        const qint64 fileFrames = 592320 * fps.numerator / (48000 * fps.denominator);
        for (int i = 0; i < 300; ++i) {
            const qint64 begin = timeline.clips[i].timelineStart;
            const qint64 start = nearest(begin);
            ASSERT_EQ(seen.clips[i], std::pair(start, std::min(nearest(begin + 592320) - start, fileFrames))) << i;
        }
    }
}

TEST(Timeline, FrameRatesParseExactly)
{
    const std::pair<const char *, std::optional<FrameRate>> cases[] = {{"25", FrameRate{25, 1}},
        {"29.97", FrameRate{30000, 1001}}, {"23.976", FrameRate{24000, 1001}}, {"60000/1001", FrameRate{60000, 1001}},
        {"0", {}}, {"29.5", {}}, {"121", {}}, {"fast", {}}};
    for (const auto &[text, fps] : cases)
        EXPECT_EQ(parseFrameRate(QString::fromLatin1(text)), fps) << text;
}

// --- melt plays the MLT timeline to its length ------------------------------------------------

TEST(Timeline, MeltRendersTheTimelineToItsLength)
{
    QTemporaryDir dir;
    const std::vector<float> tone(48000 * 3, 0.25f);
    Timeline timeline{u"melt"_s, {25, 1}, 48000, {}};
    qint64 at = 0;
    for (const qint64 length : {62400, 37000, 96480}) {
        const QString name = QString::number(length) + u".wav"_s;
        BroadcastWavWriter writer(dir.filePath(name), {});
        writer.write(std::span(tone).first(std::size_t(length)));
        writer.finish();
        timeline.clips.append({name, name, at, 0, length, length, 0});
        at += length + 24000;
    }
    writeBytes(dir.filePath(u"timeline.mlt"_s), toMLT(timeline));
    const ProgramResult melt = runProgram(u"melt"_s, {dir.filePath(u"timeline.mlt"_s), u"-consumer"_s,
                                                      u"avformat:"_s + dir.filePath(u"out.wav"_s), u"vn=1"_s,
                                                      u"acodec=pcm_s16le"_s, u"ar=48000"_s, u"ac=1"_s, u"real_time=0"_s});
    ASSERT_EQ(melt.exitCode, 0) << melt.err.toStdString();
    EXPECT_NEAR(readWav(dir.filePath(u"out.wav"_s)).seconds, double(at - 24000) / 48000.0, 1.0 / 25);
}
