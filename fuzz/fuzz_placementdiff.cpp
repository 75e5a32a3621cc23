// Holds the streaming placement file reader to the document-tree reader it replaced: for every
// input nested no deeper than the limit and without a document type declaration, both read the
// same document or both refuse it, for the same reason. The reader on a device reads exactly
// what the reader on the bytes does, and refuses the same with the same error, unless the error
// is about bytes that are no text.

#include "DomPlacementReader.h"
#include "FuzzSupport.h"
#include "core/PlacementFile.h"

#include <QBuffer>
#include <QXmlStreamReader>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QString &detail = QString())
{
    std::fprintf(stderr, "fuzz_placementdiff: %s\n%s\n", what, qPrintable(detail));
    std::abort();
}

// Whether the input reaches a limit of the streaming reader before anything that is not
// well-formed: a document type declaration or elements nested too deep.
bool reachesLimit(const QByteArray &bytes)
{
    QXmlStreamReader reader(bytes);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > PlacementFile::maximumDepth)
                return true;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::DTD:
            return true;
        default:
            break;
        }
    }
    return false;
}

QString describe(const std::optional<PlacementDocument> &document, const QString &error)
{
    if (!document)
        return QStringLiteral("refused: ") + error;
    QString text = QStringLiteral("terrain ") + document->terrainPath.toUtf8().toHex();
    for (const Placement &p : document->placements)
        text += QStringLiteral("\n%1,%2 %3,%4 %5x%6 %7 %8")
                    .arg(p.position.x())
                    .arg(p.position.y())
                    .arg(p.offset.x())
                    .arg(p.offset.y())
                    .arg(p.region.width())
                    .arg(p.region.height())
                    .arg(QString::fromLatin1(p.structurePath.toUtf8().toHex()))
                    .arg(p.invisible);
    return text;
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
    auto failure = PlacementFile::ReadFailure::Cancelled;
    const std::optional<PlacementDocument> streamed = PlacementFile::read(bytes, &error, &failure);
    if (!streamed && (error.isEmpty() || failure == PlacementFile::ReadFailure::Cancelled))
        fail("refused without a reason", error);

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QString deviceError;
    auto deviceFailure = PlacementFile::ReadFailure::Cancelled;
    qint64 lastProgress = 0;
    const std::optional<PlacementDocument> fromDevice =
        PlacementFile::read(buffer, &deviceError, &deviceFailure, [&](qint64 bytesRead) {
            if (bytesRead < lastProgress || bytesRead > qint64(size))
                fail("progress out of order", QString::number(bytesRead));
            lastProgress = bytesRead;
            return true;
        });
    // Qt's reader decodes all the bytes before it reads them but a device 8 KiB at a time:
    // bytes that are no text in the encoding are found early in the one, where they are or
    // after something else that is not well-formed in the other.
    const QLatin1String encodingError("incorrectly encoded content");
    const bool sameError = deviceError == error || error.contains(encodingError) ||
                           deviceError.contains(encodingError);
    if (!(fromDevice == streamed) || !sameError || (!streamed && deviceFailure != failure))
        fail("the device reads otherwise than the bytes",
             describe(streamed, error) + "\n--- device:\n" + describe(fromDevice, deviceError));

    if (reachesLimit(bytes)) {
        if (streamed || failure != PlacementFile::ReadFailure::NotXml)
            fail("read past a limit", describe(streamed, error));
        return 0;
    }
    QString domError;
    const std::optional<PlacementDocument> dom = DomPlacementReader::read(bytes, &domError);
    if (!(dom == streamed) || domError != error)
        fail("the stream reader and the document tree differ",
             describe(streamed, error) + "\n--- document tree:\n" + describe(dom, domError));
    if (!streamed && (failure == PlacementFile::ReadFailure::NoImage) !=
                         domError.startsWith(QLatin1String("no Image")))
        fail("wrong kind of failure", error);
    return 0;
}
