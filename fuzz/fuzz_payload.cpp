// Fuzzes the structure drag payload reader. A payload it accepts must encode to bytes that
// decode to an equal payload, and those bytes must encode again unchanged.

#include "FuzzSupport.h"
#include "core/StructureFile.h"
#include "core/StructurePayload.h"

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_payload: %s\n", what);
    std::abort();
}

bool equal(const StructurePayload &a, const StructurePayload &b)
{
    return a.path == b.path && a.offset == b.offset && a.region == b.region && a.image == b.image;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceQtWarnings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<StructurePayload> payload = StructurePayload::decode(bytes);
    if (!payload)
        return 0;

    const QSize size2d = payload->image.size();
    if (size2d != payload->region.size() || size2d.width() < 1 || size2d.height() < 1 ||
        size2d.width() > StructureFile::maximumExtent ||
        size2d.height() > StructureFile::maximumExtent)
        fail("accepted an image outside the bounds or not of the region's size");

    const QByteArray encoded = payload->encode();
    const std::optional<StructurePayload> again = StructurePayload::decode(encoded);
    if (!again)
        fail("a re-encoded payload is refused");
    if (!equal(*again, *payload))
        fail("a re-encoded payload decodes to another payload");
    if (again->encode() != encoded)
        fail("encoding is not stable");
    return 0;
}
