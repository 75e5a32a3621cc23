// Fuzzes the configuration reader on an in-memory device: it must say Ok or NotWellFormed, with
// a reason for the latter, and name a radar colour file only when it read one.

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
    const Configuration config = Configuration::read(buffer);
    const bool sound =
        (config.status == Configuration::Ok && config.errorString.isEmpty()) ||
        (config.status == Configuration::NotWellFormed && !config.errorString.isEmpty() &&
         !config.hasRadarFile && config.radarFilePath.isEmpty());
    if (!sound || (!config.hasRadarFile && !config.radarFilePath.isEmpty())) {
        std::fprintf(stderr, "fuzz_configuration: status %d, radar file %d, error \"%s\"\n",
                     int(config.status), int(config.hasRadarFile),
                     config.errorString.toUtf8().constData());
        std::abort();
    }
    return 0;
}
