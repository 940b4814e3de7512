#include "core/BroadcastWav.h"

#include "core/FileAccess.h"
#include "core/StudioError.h"

#include <QFile>
#include <QXmlStreamWriter>

#include <sndfile.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

[[noreturn]] void fail(const QString &path, const QString &why)
{
    throw StudioError(u"Не удалось записать файл «"_s + path + u"»: "_s + why);
}

void copyASCII(char *target, std::size_t size, const QString &text)
{
    std::memset(target, 0, size);
    for (std::size_t i = 0; i < size && i < std::size_t(text.size()); ++i) {
        const char16_t c = text.at(qsizetype(i)).unicode();
        target[i] = c >= 0x20 && c < 0x7f ? char(c) : '?';
    }
}

void appendLE32(QByteArray &bytes, quint32 value)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(char((value >> shift) & 0xff));
}

/// The `LIST` `adtl` payload: one `labl` per cue. Each label is padded with NULs inside its own
/// size to a multiple of four, because libsndfile pads a chunk it is given to four bytes and a
/// pad it adds would read as a broken sub-chunk.
QByteArray labelList(const QList<CueMarker> &cues)
{
    QByteArray list("adtl");
    for (qsizetype i = 0; i < cues.size(); ++i) {
        QByteArray text = cues.at(i).label.toUtf8();
        text.append('\0');
        while ((text.size() + 4) % 4 != 0)
            text.append('\0');
        list.append("labl");
        appendLE32(list, quint32(4 + text.size()));
        appendLE32(list, quint32(i + 1));
        list.append(text);
    }
    return list;
}

} // namespace

QByteArray iXMLDocument(const BroadcastWavInfo &info)
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement(u"BWFXML"_s);
    xml.writeTextElement(u"PROJECT"_s, info.project);
    xml.writeTextElement(u"SCENE"_s, info.scene);
    xml.writeTextElement(u"TAKE"_s, info.take);
    xml.writeTextElement(u"CIRCLED"_s, info.circled ? u"TRUE"_s : u"FALSE"_s);
    xml.writeTextElement(u"NOTE"_s, info.note);
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}

struct BroadcastWavWriter::File
{
    QString path;
    int fd = -1;
    SNDFILE *sound = nullptr;
    qint64 written = 0;
    // libsndfile keeps pointers to the chunk payloads until the file is closed.
    QByteArray iXML;
    QByteArray labels;

    ~File()
    {
        if (sound)
            sf_close(sound);
        if (fd >= 0)
            ::close(fd);
    }

    void setChunk(const char *id, QByteArray &payload)
    {
        SF_CHUNK_INFO chunk{};
        std::strncpy(chunk.id, id, sizeof chunk.id - 1);
        chunk.id_size = unsigned(std::strlen(id));
        chunk.datalen = unsigned(payload.size());
        chunk.data = payload.data();
        if (const int error = sf_set_chunk(sound, &chunk); error != SF_ERR_NO_ERROR)
            fail(path, QString::fromUtf8(sf_error_number(error)));
    }
};

BroadcastWavWriter::BroadcastWavWriter(const QString &path, const BroadcastWavInfo &info, const QList<CueMarker> &cues)
    : m_file(std::make_unique<File>())
{
    File &file = *m_file;
    file.path = path;
    file.fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file.fd < 0)
        fail(path, files::reason(errno));
    SF_INFO format{};
    format.samplerate = sampleRate;
    format.channels = 1;
    format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    file.sound = sf_open_fd(file.fd, SFM_WRITE, &format, SF_FALSE);
    if (!file.sound)
        fail(path, QString::fromUtf8(sf_strerror(nullptr)));
    sf_command(file.sound, SFC_SET_CLIPPING, nullptr, SF_TRUE);

    SF_BROADCAST_INFO bext{};
    copyASCII(bext.description, sizeof bext.description, info.description);
    copyASCII(bext.originator, sizeof bext.originator, u"Tarnwick"_s);
    bext.time_reference_low = quint32(quint64(info.timeReference) & 0xffffffffu);
    bext.time_reference_high = quint32(quint64(info.timeReference) >> 32);
    if (!sf_command(file.sound, SFC_SET_BROADCAST_INFO, &bext, sizeof bext))
        fail(path, QString::fromUtf8(sf_strerror(file.sound)));

    if (!cues.isEmpty()) {
        // SF_CUES holds a fixed 100 points; the same layout with room for every cue.
        std::vector<char> buffer(sizeof(uint32_t) + sizeof(SF_CUE_POINT) * std::size_t(cues.size()));
        const auto count = quint32(cues.size());
        std::memcpy(buffer.data(), &count, sizeof count);
        for (qsizetype i = 0; i < cues.size(); ++i) {
            SF_CUE_POINT point{};
            point.indx = int32_t(i + 1);
            point.position = uint32_t(cues.at(i).position);
            point.fcc_chunk = 0x61746164; // "data"
            point.sample_offset = uint32_t(cues.at(i).position);
            std::memcpy(buffer.data() + sizeof(uint32_t) + sizeof point * std::size_t(i), &point, sizeof point);
        }
        if (!sf_command(file.sound, SFC_SET_CUE, buffer.data(), int(buffer.size())))
            fail(path, QString::fromUtf8(sf_strerror(file.sound)));
        file.labels = labelList(cues);
        file.setChunk("LIST", file.labels);
    }
    file.iXML = iXMLDocument(info);
    file.setChunk("iXML", file.iXML);
}

BroadcastWavWriter::~BroadcastWavWriter() = default;

void BroadcastWavWriter::write(std::span<const float> samples)
{
    File &file = *m_file;
    if (!file.sound)
        fail(file.path, u"файл уже закрыт"_s);
    errno = 0;
    const sf_count_t done = sf_write_float(file.sound, samples.data(), sf_count_t(samples.size()));
    file.written += done;
    if (done != sf_count_t(samples.size()))
        fail(file.path, errno ? files::reason(errno) : QString::fromUtf8(sf_strerror(file.sound)));
}

void BroadcastWavWriter::finish()
{
    File &file = *m_file;
    if (!file.sound)
        fail(file.path, u"файл уже закрыт"_s);
    errno = 0;
    const int error = sf_close(std::exchange(file.sound, nullptr));
    if (error != SF_ERR_NO_ERROR)
        fail(file.path, errno ? files::reason(errno) : QString::fromUtf8(sf_error_number(error)));
    if (::fsync(file.fd) != 0 || ::close(std::exchange(file.fd, -1)) != 0)
        fail(file.path, files::reason(errno));
}

qint64 BroadcastWavWriter::written() const
{
    return m_file->written;
}

} // namespace tarnwick
