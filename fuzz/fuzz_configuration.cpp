// Fuzzes the configuration reader on an in-memory device: it must read the configuration or say
// why it could not, and name a radar colour file only when it read one.

#include "FuzzSupport.h"
#include "core/Configuration.h"

#include <QBuffer>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceQtWarnings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QString error;
    const std::optional<Configuration> config = Configuration::read(buffer, &error);
    const bool sound =
        config ? error.isEmpty() && (config->hasRadarFile || config->radarFilePath.isEmpty())
               : !error.isEmpty();
    if (!sound) {
        std::fprintf(stderr, "fuzz_configuration: read %d, error \"%s\"\n", int(bool(config)),
                     error.toUtf8().constData());
        std::abort();
    }
    return 0;
}
