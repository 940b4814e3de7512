#include "core/BroadcastWav.h"

#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>
#include <QtEndian>

#include <vector>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

/// The RIFF chunks of a WAV file by their ids, read by hand so nothing of the writer is trusted.
QMap<QByteArray, QByteArray> chunksOf(const QByteArray &file)
{
    QMap<QByteArray, QByteArray> chunks;
    for (qsizetype at = 12; at + 8 <= file.size();) {
        const auto size = qFromLittleEndian<quint32>(file.constData() + at + 4);
        chunks.insert(file.mid(at, 4), file.mid(at + 8, size));
        at += 8 + size + (size & 1);
    }
    return chunks;
}

const BroadcastWavInfo info{u"block 1.2 segment intro take 3 Ж"_s, 96000, u"Урок <1>"_s, u"1.2"_s, u"3"_s,
                            true, u"Заметка & \"кавычки\"\nвторая строка"_s};

QString writeFile(const QString &path, qint64 samples)
{
    BroadcastWavWriter writer(path, info, {{0, u"1"_s}, {48000, u"2а"_s}});
    const std::vector<float> chunk(4800, 0.5f);
    for (qint64 done = 0; done < samples; done += qint64(chunk.size()))
        writer.write(std::span(chunk).first(std::size_t(std::min<qint64>(samples - done, 4800))));
    writer.finish();
    return path;
}

} // namespace

TEST(BroadcastWav, ChunksCarryTheDescriptionTheProductionFieldsAndTheCueLabels)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir.filePath(u"a.wav"_s), 100000);
    EXPECT_EQ(std::pair(readWav(path).is24BitMono48k, readWav(path).seconds), std::pair(true, 100000 / 48000.0));

    const ProgramResult probe = runProgram(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-show_entries"_s,
                                                          u"format_tags"_s, u"-of"_s, u"json"_s, path});
    const QJsonObject tags = QJsonDocument::fromJson(probe.out.toUtf8())[u"format"_s][u"tags"_s].toObject();
    EXPECT_EQ(tags[u"comment"_s].toString(), u"block 1.2 segment intro take 3 ?"_s) << probe.err.toStdString();
    EXPECT_EQ(tags[u"encoded_by"_s].toString() + u' ' + tags[u"time_reference"_s].toString(), u"Tarnwick 96000"_s);

    const QMap<QByteArray, QByteArray> chunks = chunksOf(readBytes(path));
    QXmlStreamReader xml(chunks.value("iXML"));
    QStringList fields;
    EXPECT_TRUE(xml.readNextStartElement() && xml.name() == u"BWFXML"_s);
    while (xml.readNextStartElement())
        fields.append(xml.name().toString() + u'=' + xml.readElementText());
    EXPECT_EQ(fields, QStringList({u"PROJECT="_s + info.project, u"SCENE=1.2"_s, u"TAKE=3"_s, u"CIRCLED=TRUE"_s,
                                   u"NOTE="_s + info.note}));
    EXPECT_EQ(chunks.value("LIST"), "adtllabl\x08\0\0\0\x01\0\0\0" "1\0\0\0labl\x08\0\0\0\x02\0\0\0" "2\xd0\xb0\0"_ba);
    EXPECT_EQ(chunks.value("cue ").mid(4 + 24 + 4, 4), "\x80\xbb\0\0"_ba); // the second cue at sample 48000

    // Nothing comes from the clock: the same input gives the same bytes.
    EXPECT_EQ(readBytes(writeFile(dir.filePath(u"b.wav"_s), 100000)), readBytes(path));
}

TEST(BroadcastWav, FullDiskIsReportedWithTheFileName)
{
    auto disk = ScratchMount::tmpfs(256 * 1024);
    REQUIRE_MOUNT(disk);
    const QString path = disk->path() + u"/a.wav"_s;
    EXPECT_THROW_MESSAGE(writeFile(path, 480000), u"Не удалось записать файл «"_s + path + u"»: на диске нет места"_s);
}
