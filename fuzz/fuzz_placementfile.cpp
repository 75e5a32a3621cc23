// Fuzzes the placement file reader. Whatever it reads must either be refused by the writer with
// a reason, or be written to bytes that read back as the same document and write again to the
// same bytes.

#include "FuzzSupport.h"
#include "core/PlacementFile.h"

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QByteArray &detail = QByteArray())
{
    std::fprintf(stderr, "fuzz_placementfile: %s\n%s\n", what, detail.constData());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceQtWarnings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const std::optional<PlacementDocument> document = PlacementFile::read(bytes, &error);
    if (!document) {
        if (error.isEmpty())
            fail("refused without a reason");
        return 0;
    }

    QString writeError;
    const std::optional<QByteArray> written = PlacementFile::write(*document, &writeError);
    if (!written) {
        if (writeError.isEmpty())
            fail("write refused without a reason");
        return 0;
    }

    QString rereadError;
    const std::optional<PlacementDocument> reread = PlacementFile::read(*written, &rereadError);
    if (!reread)
        fail("the written file does not read", rereadError.toUtf8() + "\n" + *written);
    if (!(*reread == *document)) {
        QByteArray detail = "terrain " + document->terrainPath.toUtf8().toHex() + " / " +
                            reread->terrainPath.toUtf8().toHex() + "\nplacements " +
                            QByteArray::number(document->placements.size()) + " / " +
                            QByteArray::number(reread->placements.size()) + "\n" + *written;
        fail("the written file reads back as another document", detail);
    }
    const std::optional<QByteArray> again = PlacementFile::write(*reread, nullptr);
    if (!again || *again != *written)
        fail("writing the document read back gives other bytes", *written);
    return 0;
}
