// Feeds the XLSX reader hostile input. Input starting with "PK" is taken as a whole archive;
// anything else is sheet XML, optionally followed by a NUL and the shared-string XML, packed
// into a valid archive first, so mutations reach the XML parsing instead of dying on a CRC.

#include "core/StudioError.h"
#include "core/XLSXReader.h"
#include "support/Workbook.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <optional>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QByteArray archive;
    if (input.startsWith("PK")) {
        archive = input;
    } else {
        const qsizetype split = input.indexOf('\0');
        const QByteArray sheet = split < 0 ? input : input.left(split);
        const std::optional<QByteArray> shared =
            split < 0 ? std::nullopt : std::optional(input.mid(split + 1));
        archive = tarnwick::testing::package(sheet, shared);
    }
    try {
        tarnwick::XLSXReader::read(archive, u"fuzz.xlsx"_s);
    } catch (const tarnwick::StudioError &) {
        // Refusing bad input in Russian is the expected outcome; anything else is a finding.
    }
    return 0;
}
