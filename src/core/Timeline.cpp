#include "core/Timeline.h"

#include "core/StudioError.h"

#include <QUrl>
#include <QXmlStreamWriter>

#include <charconv>
#include <cmath>
#include <functional>
#include <numeric>
#include <vector>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

constexpr qint64 maxFrameRate = 120;

/// A clip as it is written: its record and its place in whole frames.
struct Placed
{
    const TimelineClip *clip = nullptr;
    FramedClip frames;
    int number = 0; // 1-based, among the clips written
};

/// Checks the timeline and frames its clips. A clip shorter than half a frame has no frame and
/// is left out of every format alike.
QList<Placed> place(const Timeline &timeline)
{
    const FrameRate fps = timeline.fps;
    if (fps.numerator <= 0 || fps.denominator <= 0 || fps.numerator > maxFrameRate * fps.denominator
        || timeline.sampleRate <= 0)
        throw StudioError(u"Неверная частота кадров или дискретизации монтажного листа"_s);
    QList<Placed> placed;
    qint64 previousEnd = 0;
    for (const TimelineClip &clip : timeline.clips) {
        if (clip.timelineStart < 0 || clip.sourceIn < 0 || clip.length < 0 || clip.timeReference < 0
            || clip.sourceIn + clip.length > clip.fileLength)
            throw StudioError(u"Клип "_s + clip.name + u" выходит за пределы файла "_s + clip.fileName);
        if (clip.timelineStart < previousEnd)
            throw StudioError(u"Клип "_s + clip.name + u" перекрывает предыдущий"_s);
        previousEnd = clip.timelineStart + clip.length;
        const FramedClip frames = framed(clip, fps, timeline.sampleRate);
        if (frames.length > 0)
            placed.append({&clip, frames, int(placed.size()) + 1});
    }
    return placed;
}

qint64 endOf(const QList<Placed> &placed)
{
    return placed.isEmpty() ? 0 : placed.last().frames.start + placed.last().frames.length;
}

qint64 timebase(FrameRate fps)
{
    return (fps.numerator + fps.denominator - 1) / fps.denominator;
}

bool isNTSC(FrameRate fps)
{
    return fps.denominator == 1001;
}

QString number(qint64 value)
{
    return QString::number(value);
}

/// An EDL is read line by line: a line break inside a name would start a new statement.
QString oneLine(QString text)
{
    for (QChar &c : text)
        if (c.unicode() < 0x20)
            c = u' ';
    return text;
}

// --- CMX3600 ----------------------------------------------------------------------------------

QString edlLine(const Placed &item, FrameRate fps)
{
    const FramedClip &f = item.frames;
    const qint64 sourceIn = f.timeReference + f.sourceIn;
    // Reel AX with the clip's name on the next line is how editors take a file that has no reel.
    return u"%1  AX       A     C        %2 %3 %4 %5\n"_s.arg(item.number, 3, 10, QChar(u'0'))
        .arg(timecode(sourceIn, fps), timecode(sourceIn + f.length, fps), timecode(f.start, fps),
             timecode(f.start + f.length, fps));
}

// --- xmeml ------------------------------------------------------------------------------------

void writeRate(QXmlStreamWriter &xml, FrameRate fps)
{
    xml.writeStartElement(u"rate"_s);
    xml.writeTextElement(u"timebase"_s, number(timebase(fps)));
    xml.writeTextElement(u"ntsc"_s, isNTSC(fps) ? u"TRUE"_s : u"FALSE"_s);
    xml.writeEndElement();
}

void writeTimecode(QXmlStreamWriter &xml, qint64 frames, FrameRate fps)
{
    xml.writeStartElement(u"timecode"_s);
    writeRate(xml, fps);
    xml.writeTextElement(u"string"_s, timecode(frames, fps));
    xml.writeTextElement(u"frame"_s, number(frames));
    xml.writeTextElement(u"displayformat"_s, u"NDF"_s);
    xml.writeEndElement();
}

void writeSampleCharacteristics(QXmlStreamWriter &xml, int sampleRate)
{
    xml.writeStartElement(u"samplecharacteristics"_s);
    xml.writeTextElement(u"depth"_s, u"24"_s);
    xml.writeTextElement(u"samplerate"_s, number(sampleRate));
    xml.writeEndElement();
}

void writeClipItem(QXmlStreamWriter &xml, const Placed &item, const Timeline &timeline)
{
    const FramedClip &f = item.frames;
    const QString id = number(item.number);
    xml.writeStartElement(u"clipitem"_s);
    xml.writeAttribute(u"id"_s, u"clipitem-"_s + id);
    xml.writeTextElement(u"name"_s, item.clip->fileName);
    xml.writeTextElement(u"enabled"_s, u"TRUE"_s);
    xml.writeTextElement(u"duration"_s, number(f.fileLength));
    writeRate(xml, timeline.fps);
    xml.writeTextElement(u"start"_s, number(f.start));
    xml.writeTextElement(u"end"_s, number(f.start + f.length));
    xml.writeTextElement(u"in"_s, number(f.sourceIn));
    xml.writeTextElement(u"out"_s, number(f.sourceIn + f.length));

    xml.writeStartElement(u"file"_s);
    xml.writeAttribute(u"id"_s, u"file-"_s + id);
    xml.writeTextElement(u"name"_s, item.clip->fileName);
    xml.writeTextElement(u"pathurl"_s, QString::fromUtf8(QUrl::toPercentEncoding(item.clip->fileName)));
    writeRate(xml, timeline.fps);
    xml.writeTextElement(u"duration"_s, number(f.fileLength));
    writeTimecode(xml, f.timeReference, timeline.fps);
    xml.writeStartElement(u"media"_s);
    xml.writeStartElement(u"audio"_s);
    writeSampleCharacteristics(xml, timeline.sampleRate);
    xml.writeTextElement(u"channelcount"_s, u"1"_s);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement(); // file

    xml.writeStartElement(u"sourcetrack"_s);
    xml.writeTextElement(u"mediatype"_s, u"audio"_s);
    xml.writeTextElement(u"trackindex"_s, u"1"_s);
    xml.writeEndElement();

    xml.writeStartElement(u"marker"_s);
    xml.writeTextElement(u"name"_s, item.clip->name);
    xml.writeTextElement(u"comment"_s, QString());
    xml.writeTextElement(u"in"_s, number(f.sourceIn));
    xml.writeTextElement(u"out"_s, u"-1"_s);
    xml.writeEndElement();
    xml.writeEndElement(); // clipitem
}

// --- FCPXML -----------------------------------------------------------------------------------

/// A rational time in seconds, reduced: "0s", "3s", "1001/30000s".
QString rationalTime(qint64 numerator, qint64 denominator)
{
    if (numerator == 0)
        return u"0s"_s;
    const qint64 divisor = std::gcd(numerator, denominator);
    numerator /= divisor;
    denominator /= divisor;
    if (denominator == 1)
        return number(numerator) + u's';
    return number(numerator) + u'/' + number(denominator) + u's';
}

QString frameTime(qint64 frames, FrameRate fps)
{
    return rationalTime(frames * fps.denominator, fps.numerator);
}

/// The name the format is known by: FFVideoFormat1080p25, FFVideoFormat1080p2997.
QString formatName(FrameRate fps)
{
    const qint64 hundredths = (fps.numerator * 100 + fps.denominator / 2) / fps.denominator;
    return u"FFVideoFormat1080p"_s + number(hundredths % 100 == 0 ? hundredths / 100 : hundredths);
}

// --- OTIO -------------------------------------------------------------------------------------

/// OpenTimelineIO reads its numbers as doubles, written as Python writes them ("25.0").
QByteArray jsonDouble(double value)
{
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    QByteArray text(buffer, end - buffer);
    if (!text.contains('.') && !text.contains('e'))
        text += ".0";
    return text;
}

QByteArray jsonString(const QString &text)
{
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c >= 0 && c < 0x20)
            out += QByteArray("\\u") + QByteArray::number(int(c), 16).rightJustified(4, '0');
        else
            out += c;
    }
    return out + '"';
}

/// Indented JSON written straight into one buffer, so a long timeline costs its own size and
/// no more. Keys go out in the order given, which callers keep sorted.
class JsonWriter
{
public:
    explicit JsonWriter(QByteArray &out)
        : m_out(out)
    {
    }

    JsonWriter &open(char bracket)
    {
        m_out += bracket;
        m_empty.push_back(true);
        return *this;
    }
    JsonWriter &close(char bracket)
    {
        const bool empty = m_empty.back();
        m_empty.pop_back();
        if (!empty)
            newLine();
        m_out += bracket;
        return *this;
    }
    /// The next member of an object; its value follows.
    JsonWriter &key(const char *name)
    {
        item();
        m_out += '"';
        m_out += name;
        m_out += "\": ";
        return *this;
    }
    JsonWriter &member(const char *name, const QByteArray &json)
    {
        key(name);
        m_out += json;
        return *this;
    }
    /// The next element of an array; its value follows.
    JsonWriter &item()
    {
        if (!m_empty.back())
            m_out += ',';
        m_empty.back() = false;
        newLine();
        return *this;
    }

private:
    void newLine()
    {
        m_out += '\n';
        m_out += QByteArray(4 * qsizetype(m_empty.size()), ' ');
    }

    QByteArray &m_out;
    std::vector<bool> m_empty; // per open bracket: nothing written in it yet
};

void writeRationalTime(JsonWriter &json, qint64 frames, const QByteArray &rate)
{
    json.open('{')
        .member("OTIO_SCHEMA", "\"RationalTime.1\"")
        .member("rate", rate)
        .member("value", jsonDouble(double(frames)))
        .close('}');
}

void writeTimeRange(JsonWriter &json, qint64 start, qint64 duration, const QByteArray &rate)
{
    json.open('{').member("OTIO_SCHEMA", "\"TimeRange.1\"").key("duration");
    writeRationalTime(json, duration, rate);
    json.key("start_time");
    writeRationalTime(json, start, rate);
    json.close('}');
}

void writeGap(JsonWriter &json, qint64 duration, const QByteArray &rate)
{
    json.open('{')
        .member("OTIO_SCHEMA", "\"Gap.1\"")
        .member("effects", "[]")
        .member("markers", "[]")
        .member("metadata", "{}")
        .member("name", "\"\"")
        .key("source_range");
    writeTimeRange(json, 0, duration, rate);
    json.close('}');
}

void writeClip(JsonWriter &json, const Placed &item, const QByteArray &rate)
{
    const FramedClip &f = item.frames;
    const qint64 sourceStart = f.timeReference + f.sourceIn;
    const QByteArray name = jsonString(item.clip->name);
    const QByteArray fileName = jsonString(item.clip->fileName);
    json.open('{').member("OTIO_SCHEMA", "\"Clip.1\"").member("effects", "[]").key("markers").open('[').item();
    json.open('{').member("OTIO_SCHEMA", "\"Marker.1\"").member("color", "\"RED\"").key("marked_range");
    writeTimeRange(json, sourceStart, 0, rate);
    json.member("metadata", "{}").member("name", name).close('}').close(']');
    json.key("media_reference").open('{').member("OTIO_SCHEMA", "\"ExternalReference.1\"").key("available_range");
    writeTimeRange(json, f.timeReference, f.fileLength, rate);
    json.member("metadata", "{}").member("name", fileName).member("target_url", fileName).close('}');
    json.member("metadata", "{}").member("name", name).key("source_range");
    writeTimeRange(json, sourceStart, f.length, rate);
    json.close('}');
}

// --- MLT --------------------------------------------------------------------------------------

void writeProperty(QXmlStreamWriter &xml, const QString &name, const QString &value)
{
    xml.writeStartElement(u"property"_s);
    xml.writeAttribute(u"name"_s, name);
    xml.writeCharacters(value);
    xml.writeEndElement();
}

QByteArray xmlDocument(const std::function<void(QXmlStreamWriter &)> &body)
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    body(xml);
    xml.writeEndDocument();
    return bytes;
}

} // namespace

std::optional<FrameRate> parseFrameRate(QStringView text)
{
    bool ok = false;
    const qint64 whole = text.toLongLong(&ok);
    if (ok)
        return whole >= 1 && whole <= maxFrameRate ? std::optional(FrameRate{whole, 1}) : std::nullopt;
    if (const qsizetype slash = text.indexOf(u'/'); slash > 0) {
        bool numeratorOk = false;
        bool denominatorOk = false;
        const FrameRate fps{text.left(slash).toLongLong(&numeratorOk),
                            text.mid(slash + 1).toLongLong(&denominatorOk)};
        if (numeratorOk && denominatorOk && fps.numerator > 0 && fps.denominator > 0
            && fps.numerator <= maxFrameRate * fps.denominator)
            return fps;
        return std::nullopt;
    }
    // 29.97, 23.976, 59.94: the NTSC rates, N*1000/1001, written to two or three decimals.
    const double value = text.toDouble(&ok);
    if (!ok || !text.contains(u'.'))
        return std::nullopt;
    const qint64 nominal = std::llround(value * 1001.0 / 1000.0);
    if (nominal < 1 || nominal > maxFrameRate || std::abs(value - nominal * 1000.0 / 1001.0) > 0.005)
        return std::nullopt;
    return FrameRate{nominal * 1000, 1001};
}

qint64 framesFromSamples(qint64 samples, FrameRate fps, int sampleRate)
{
    const qint64 scale = qint64(sampleRate) * fps.denominator;
    return (2 * samples * fps.numerator + scale) / (2 * scale);
}

QString timecode(qint64 frames, FrameRate fps)
{
    const qint64 base = timebase(fps);
    const qint64 seconds = frames / base;
    return u"%1:%2:%3:%4"_s.arg(seconds / 3600, 2, 10, QChar(u'0'))
        .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'))
        .arg(frames % base, 2, 10, QChar(u'0'));
}

FramedClip framed(const TimelineClip &clip, FrameRate fps, int sampleRate)
{
    FramedClip f;
    f.start = framesFromSamples(clip.timelineStart, fps, sampleRate);
    f.sourceIn = framesFromSamples(clip.sourceIn, fps, sampleRate);
    f.fileLength = clip.fileLength * fps.numerator / (qint64(sampleRate) * fps.denominator);
    f.timeReference = framesFromSamples(clip.timeReference, fps, sampleRate);
    const qint64 end = framesFromSamples(clip.timelineStart + clip.length, fps, sampleRate);
    f.length = std::max<qint64>(0, std::min(end - f.start, f.fileLength - f.sourceIn));
    return f;
}

QByteArray toEDL(const Timeline &timeline)
{
    const QList<Placed> placed = place(timeline);
    QString text = u"TITLE: "_s + oneLine(timeline.title) + u"\nFCM: NON-DROP FRAME\n"_s;
    for (const Placed &item : placed) {
        text += u'\n' + edlLine(item, timeline.fps);
        text += u"* FROM CLIP NAME: "_s + oneLine(item.clip->fileName) + u'\n';
        text += u"* LOC: "_s + timecode(item.frames.start, timeline.fps) + u" YELLOW  "_s
            + oneLine(item.clip->name) + u'\n';
    }
    return text.toUtf8();
}

QByteArray toFinalCut7XML(const Timeline &timeline)
{
    const QList<Placed> placed = place(timeline);
    return xmlDocument([&](QXmlStreamWriter &xml) {
        xml.writeDTD(u"<!DOCTYPE xmeml>"_s);
        xml.writeStartElement(u"xmeml"_s);
        xml.writeAttribute(u"version"_s, u"4"_s);
        xml.writeStartElement(u"sequence"_s);
        xml.writeAttribute(u"id"_s, u"sequence-1"_s);
        xml.writeTextElement(u"name"_s, timeline.title);
        xml.writeTextElement(u"duration"_s, number(endOf(placed)));
        writeRate(xml, timeline.fps);
        writeTimecode(xml, 0, timeline.fps);
        xml.writeStartElement(u"media"_s);
        xml.writeStartElement(u"audio"_s);
        xml.writeStartElement(u"format"_s);
        writeSampleCharacteristics(xml, timeline.sampleRate);
        xml.writeEndElement();
        xml.writeStartElement(u"track"_s);
        for (const Placed &item : placed)
            writeClipItem(xml, item, timeline);
        xml.writeEndElement(); // track
        xml.writeEndElement(); // audio
        xml.writeEndElement(); // media
        xml.writeEndElement(); // sequence
        xml.writeEndElement(); // xmeml
    });
}

QByteArray toFCPXML(const Timeline &timeline)
{
    const QList<Placed> placed = place(timeline);
    const FrameRate fps = timeline.fps;
    return xmlDocument([&](QXmlStreamWriter &xml) {
        xml.writeDTD(u"<!DOCTYPE fcpxml>"_s);
        xml.writeStartElement(u"fcpxml"_s);
        xml.writeAttribute(u"version"_s, u"1.8"_s);
        xml.writeStartElement(u"resources"_s);
        xml.writeStartElement(u"format"_s);
        xml.writeAttribute(u"id"_s, u"r1"_s);
        xml.writeAttribute(u"name"_s, formatName(fps));
        xml.writeAttribute(u"frameDuration"_s, frameTime(1, fps));
        xml.writeAttribute(u"width"_s, u"1920"_s);
        xml.writeAttribute(u"height"_s, u"1080"_s);
        xml.writeEndElement();
        for (const Placed &item : placed) {
            xml.writeStartElement(u"asset"_s);
            xml.writeAttribute(u"id"_s, u"r"_s + number(item.number + 1));
            xml.writeAttribute(u"name"_s, item.clip->fileName);
            xml.writeAttribute(u"src"_s, QString::fromUtf8(QUrl::toPercentEncoding(item.clip->fileName)));
            xml.writeAttribute(u"start"_s, frameTime(item.frames.timeReference, fps));
            xml.writeAttribute(u"duration"_s, rationalTime(item.clip->fileLength, timeline.sampleRate));
            xml.writeAttribute(u"hasAudio"_s, u"1"_s);
            xml.writeAttribute(u"audioSources"_s, u"1"_s);
            xml.writeAttribute(u"audioChannels"_s, u"1"_s);
            xml.writeAttribute(u"audioRate"_s, number(timeline.sampleRate));
            xml.writeEndElement();
        }
        xml.writeEndElement(); // resources

        xml.writeStartElement(u"library"_s);
        xml.writeStartElement(u"event"_s);
        xml.writeAttribute(u"name"_s, timeline.title);
        xml.writeStartElement(u"project"_s);
        xml.writeAttribute(u"name"_s, timeline.title);
        xml.writeStartElement(u"sequence"_s);
        xml.writeAttribute(u"format"_s, u"r1"_s);
        xml.writeAttribute(u"duration"_s, frameTime(endOf(placed), fps));
        xml.writeAttribute(u"tcStart"_s, u"0s"_s);
        xml.writeAttribute(u"tcFormat"_s, u"NDF"_s);
        xml.writeAttribute(u"audioLayout"_s, u"mono"_s);
        xml.writeAttribute(u"audioRate"_s, number(timeline.sampleRate / 1000) + u'k');
        xml.writeStartElement(u"spine"_s);
        qint64 at = 0;
        for (const Placed &item : placed) {
            const FramedClip &f = item.frames;
            // A spine has no empty space: the distance to the next clip is a gap element.
            if (f.start > at) {
                xml.writeStartElement(u"gap"_s);
                xml.writeAttribute(u"name"_s, u"Gap"_s);
                xml.writeAttribute(u"offset"_s, frameTime(at, fps));
                xml.writeAttribute(u"duration"_s, frameTime(f.start - at, fps));
                xml.writeEndElement();
            }
            const QString sourceStart = frameTime(f.timeReference + f.sourceIn, fps);
            xml.writeStartElement(u"asset-clip"_s);
            xml.writeAttribute(u"ref"_s, u"r"_s + number(item.number + 1));
            xml.writeAttribute(u"name"_s, item.clip->name);
            xml.writeAttribute(u"offset"_s, frameTime(f.start, fps));
            xml.writeAttribute(u"start"_s, sourceStart);
            xml.writeAttribute(u"duration"_s, frameTime(f.length, fps));
            xml.writeAttribute(u"audioRole"_s, u"dialogue"_s);
            xml.writeStartElement(u"marker"_s);
            xml.writeAttribute(u"start"_s, sourceStart);
            xml.writeAttribute(u"duration"_s, frameTime(1, fps));
            xml.writeAttribute(u"value"_s, item.clip->name);
            xml.writeEndElement();
            xml.writeEndElement(); // asset-clip
            at = f.start + f.length;
        }
        xml.writeEndElement(); // spine
        xml.writeEndElement(); // sequence
        xml.writeEndElement(); // project
        xml.writeEndElement(); // event
        xml.writeEndElement(); // library
        xml.writeEndElement(); // fcpxml
    });
}

QByteArray toOTIO(const Timeline &timeline)
{
    const QList<Placed> placed = place(timeline);
    const QByteArray rate = jsonDouble(double(timeline.fps.numerator) / double(timeline.fps.denominator));
    QByteArray out;
    JsonWriter json(out);
    json.open('{')
        .member("OTIO_SCHEMA", "\"Timeline.1\"")
        .member("global_start_time", "null")
        .member("metadata", "{}")
        .member("name", jsonString(timeline.title))
        .key("tracks")
        .open('{')
        .member("OTIO_SCHEMA", "\"Stack.1\"")
        .key("children")
        .open('[')
        .item()
        .open('{')
        .member("OTIO_SCHEMA", "\"Track.1\"")
        .key("children")
        .open('[');
    qint64 at = 0;
    for (const Placed &item : placed) {
        if (item.frames.start > at)
            writeGap(json.item(), item.frames.start - at, rate);
        writeClip(json.item(), item, rate);
        at = item.frames.start + item.frames.length;
    }
    json.close(']')
        .member("effects", "[]")
        .member("kind", "\"Audio\"")
        .member("markers", "[]")
        .member("metadata", "{}")
        .member("name", "\"A1\"")
        .member("source_range", "null")
        .close('}')
        .close(']')
        .member("effects", "[]")
        .member("markers", "[]")
        .member("metadata", "{}")
        .member("name", "\"tracks\"")
        .member("source_range", "null")
        .close('}')
        .close('}');
    out += '\n';
    return out;
}

QByteArray toMLT(const Timeline &timeline)
{
    const QList<Placed> placed = place(timeline);
    const FrameRate fps = timeline.fps;
    return xmlDocument([&](QXmlStreamWriter &xml) {
        xml.writeStartElement(u"mlt"_s);
        xml.writeAttribute(u"LC_NUMERIC"_s, u"C"_s);
        xml.writeAttribute(u"version"_s, u"7.12.0"_s);
        xml.writeAttribute(u"title"_s, timeline.title);
        xml.writeStartElement(u"profile"_s);
        xml.writeAttribute(u"description"_s, u"HD 1080p "_s + formatName(fps).mid(18));
        xml.writeAttribute(u"width"_s, u"1920"_s);
        xml.writeAttribute(u"height"_s, u"1080"_s);
        xml.writeAttribute(u"progressive"_s, u"1"_s);
        xml.writeAttribute(u"sample_aspect_num"_s, u"1"_s);
        xml.writeAttribute(u"sample_aspect_den"_s, u"1"_s);
        xml.writeAttribute(u"display_aspect_num"_s, u"16"_s);
        xml.writeAttribute(u"display_aspect_den"_s, u"9"_s);
        xml.writeAttribute(u"frame_rate_num"_s, number(fps.numerator));
        xml.writeAttribute(u"frame_rate_den"_s, number(fps.denominator));
        xml.writeAttribute(u"colorspace"_s, u"709"_s);
        xml.writeEndElement();
        for (const Placed &item : placed) {
            xml.writeStartElement(u"producer"_s);
            xml.writeAttribute(u"id"_s, u"producer"_s + number(item.number));
            xml.writeAttribute(u"in"_s, u"0"_s);
            xml.writeAttribute(u"out"_s, number(item.frames.fileLength - 1));
            writeProperty(xml, u"length"_s, number(item.frames.fileLength));
            writeProperty(xml, u"resource"_s, item.clip->fileName);
            writeProperty(xml, u"mlt_service"_s, u"avformat"_s);
            writeProperty(xml, u"video_index"_s, u"-1"_s);
            writeProperty(xml, u"audio_index"_s, u"0"_s);
            writeProperty(xml, u"shotcut:caption"_s, item.clip->name);
            xml.writeEndElement();
        }
        xml.writeStartElement(u"playlist"_s);
        xml.writeAttribute(u"id"_s, u"playlist0"_s);
        writeProperty(xml, u"shotcut:audio"_s, u"1"_s);
        writeProperty(xml, u"shotcut:name"_s, u"A1"_s);
        qint64 at = 0;
        for (const Placed &item : placed) {
            const FramedClip &f = item.frames;
            if (f.start > at) {
                xml.writeEmptyElement(u"blank"_s);
                xml.writeAttribute(u"length"_s, number(f.start - at));
            }
            // MLT's out point is the last frame shown, not the one after it.
            xml.writeEmptyElement(u"entry"_s);
            xml.writeAttribute(u"producer"_s, u"producer"_s + number(item.number));
            xml.writeAttribute(u"in"_s, number(f.sourceIn));
            xml.writeAttribute(u"out"_s, number(f.sourceIn + f.length - 1));
            at = f.start + f.length;
        }
        xml.writeEndElement(); // playlist
        xml.writeStartElement(u"tractor"_s);
        xml.writeAttribute(u"id"_s, u"tractor0"_s);
        xml.writeAttribute(u"title"_s, timeline.title);
        xml.writeAttribute(u"in"_s, u"0"_s);
        xml.writeAttribute(u"out"_s, number(std::max<qint64>(0, endOf(placed) - 1)));
        xml.writeStartElement(u"properties"_s);
        xml.writeAttribute(u"name"_s, u"shotcut:markers"_s);
        for (const Placed &item : placed) {
            xml.writeStartElement(u"properties"_s);
            xml.writeAttribute(u"name"_s, number(item.number - 1));
            writeProperty(xml, u"text"_s, item.clip->name);
            writeProperty(xml, u"start"_s, number(item.frames.start));
            writeProperty(xml, u"end"_s, number(item.frames.start));
            writeProperty(xml, u"color"_s, u"#ff0000"_s);
            xml.writeEndElement();
        }
        xml.writeEndElement(); // properties
        xml.writeEmptyElement(u"track"_s);
        xml.writeAttribute(u"producer"_s, u"playlist0"_s);
        xml.writeEndElement(); // tractor
        xml.writeEndElement(); // mlt
    });
}

} // namespace tarnwick
