// Feeds the JSON decoders hostile bytes: the scenario (then its check), the manifest and the
// pending take. Refusing bad input with a StudioError is expected; anything else is a finding.

#include "core/Manifest.h"
#include "core/ScriptBlock.h"
#include "core/StudioError.h"
#include "core/Take.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace Qt::StringLiterals;
using namespace tarnwick;

namespace {

void checkScenario(const QByteArray &input)
{
    QList<ScriptBlock> blocks;
    try {
        blocks = decodeScenario(input, u"scenario.json"_s);
    } catch (const StudioError &) {
        return;
    }
    // A decoded scenario must survive a save and a reload unchanged, or saving loses text.
    try {
        if (decodeScenario(encodeScenario(blocks), u"scenario.json"_s) != blocks)
            std::abort();
    } catch (const StudioError &) {
        std::abort();
    }
    try {
        ScriptBlock::validate(blocks);
        segmentCount(blocks);
    } catch (const StudioError &) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    checkScenario(input);
    try {
        decodeManifest(input, u"manifest.json"_s);
    } catch (const StudioError &) {
    }
    try {
        decodeTake(input, u"pending.json"_s);
    } catch (const StudioError &) {
    }
    return 0;
}
