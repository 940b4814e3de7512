// Reading a 10,000-row workbook, beside the floor of inflating its two entries and nothing else.
// Goals: within 3x of the floor; peak memory under 4x the XML size.

#include "core/XLSXReader.h"
#include "support/Workbook.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <benchmark/benchmark.h>
#include <zip.h>

#include <fstream>
#include <malloc.h>
#include <random>
#include <stdexcept>
#include <string>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

constexpr int rowCount = 10000;

struct Fixture
{
    QTemporaryDir dir;
    QString path;
    qint64 xmlBytes = 0;
};

/// Prose drawn from a small vocabulary, so the XML compresses like real text and not like a
/// repeated template, which would make the inflate floor unrealistically cheap.
class Prose
{
public:
    explicit Prose(QStringList words)
        : m_words(std::move(words))
    {
    }
    QString sentences(int count)
    {
        QString text;
        for (int s = 0; s < count; ++s) {
            const int length = 6 + static_cast<int>(m_random() % 10);
            for (int w = 0; w < length; ++w) {
                QString word =
                    m_words.at(static_cast<qsizetype>(m_random() % static_cast<quint32>(m_words.size())));
                if (w == 0)
                    word[0] = word[0].toUpper();
                text += word + (w + 1 == length ? u". "_s : u" "_s);
            }
        }
        return text.trimmed();
    }

private:
    QStringList m_words;
    std::minstd_rand m_random{20261206};
};

/// Inflates both entries; `consume` sees every chunk as it comes out.
template <typename Consume> qint64 inflateEntries(const QString &path, Consume consume)
{
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!zip)
        throw std::runtime_error("cannot open the workbook");
    qint64 total = 0;
    static char buffer[65536];
    for (const char *entry : {"xl/sharedStrings.xml", "xl/worksheets/sheet1.xml"}) {
        zip_file_t *file = zip_fopen(zip, entry, 0);
        consume(nullptr, 0); // a new entry
        for (zip_int64_t n; (n = zip_fread(file, buffer, sizeof buffer)) > 0;) {
            total += n;
            consume(buffer, n);
        }
        zip_fclose(file);
    }
    zip_discard(zip);
    return total;
}

const Fixture &fixture()
{
    static const Fixture *made = [] {
        auto *f = new Fixture;
        Prose russian(
            u"окно проект запись дубль микрофон настройки нажмите откройте выберите кнопку сценарий "
            "блок текст экран голос громко тише слева справа сверху снизу затем потом сначала пауза "
            "выделите строку таблицы папка файл сохранить готово уровень сигнал звук слушайте "
            "повторите медленно быстро ровно спокойно ясно внимательно новая старая первая вторая"_s.split(
                u' '));
        Prose english(
            u"window project record take microphone settings press open choose button script block "
            "text screen voice louder softer left right top bottom then later first pause select "
            "row table folder file save done level signal sound listen repeat slowly quickly evenly "
            "calmly clearly carefully new old first second the a of to and with"_s.split(u' '));
        SheetRows rows;
        rows.append(
            {u"№"_s, u"Экран RU"_s, u"Экран EN"_s, u"Голос RU"_s, u"Голос EN"_s, {}, {}, u"Заметка"_s});
        for (int r = 1; r <= rowCount; ++r) {
            rows.append({QString::number(r),
                         russian.sentences(1),
                         english.sentences(1),
                         russian.sentences(3),
                         english.sentences(3),
                         {},
                         {},
                         russian.sentences(1)});
        }
        f->path = f->dir.filePath(u"bench.xlsx"_s);
        QFile file(f->path);
        if (!file.open(QIODevice::WriteOnly) || file.write(workbook(rows)) < 0)
            throw std::runtime_error("cannot write the workbook");
        file.close();
        f->xmlBytes = inflateEntries(f->path, [](const char *, zip_int64_t) {});
        return f;
    }();
    return *made;
}

qint64 statusKiB(const char *field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0)
            return std::stoll(line.substr(std::string(field).size()));
    }
    return -1;
}

void BM_InflateFloor(benchmark::State &state)
{
    const Fixture &f = fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(inflateEntries(f.path, [](const char *, zip_int64_t) {}));
    state.SetBytesProcessed(state.iterations() * f.xmlBytes);
}

// The floor plus QXmlStreamReader tokenizing both entries with no handling at all: the least
// any reader built on that parser can cost.
void BM_InflateAndTokenize(benchmark::State &state)
{
    const Fixture &f = fixture();
    for (auto _ : state) {
        QXmlStreamReader xml;
        qint64 tokens = 0;
        inflateEntries(f.path, [&](const char *data, zip_int64_t size) {
            if (!data) {
                xml.clear();
                return;
            }
            xml.addData(QByteArray(data, static_cast<qsizetype>(size)));
            while (!xml.atEnd() && xml.readNext() != QXmlStreamReader::Invalid)
                ++tokens;
        });
        benchmark::DoNotOptimize(tokens);
    }
    state.SetBytesProcessed(state.iterations() * f.xmlBytes);
}

void BM_ReadWorkbook(benchmark::State &state)
{
    const Fixture &f = fixture();
    for (auto _ : state) {
        const QList<ScriptBlock> blocks = XLSXReader::read(f.path);
        if (blocks.size() != rowCount)
            state.SkipWithError("wrong number of blocks");
        benchmark::DoNotOptimize(blocks.constData());
    }
    state.SetBytesProcessed(state.iterations() * f.xmlBytes);
}

// Peak resident memory of one read, beside the size of the XML it inflated.
void BM_ReadWorkbookPeakMemory(benchmark::State &state)
{
    const Fixture &f = fixture();
    for (auto _ : state) {
        // Hand freed pages back first, or the read reuses them and the high-water mark never moves.
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5"; // resets the high-water mark
        const qint64 before = statusKiB("VmRSS:");
        const QList<ScriptBlock> blocks = XLSXReader::read(f.path);
        const qint64 peak = statusKiB("VmHWM:");
        benchmark::DoNotOptimize(blocks.constData());
        state.counters["xml_MiB"] = static_cast<double>(f.xmlBytes) / (1024.0 * 1024.0);
        state.counters["peak_MiB"] = static_cast<double>(peak - before) / 1024.0;
        state.counters["peak_per_xml"] =
            static_cast<double>(peak - before) * 1024.0 / static_cast<double>(f.xmlBytes);
    }
}

} // namespace

BENCHMARK(BM_InflateFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateAndTokenize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadWorkbook)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadWorkbookPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
