// Fuzzes the structure name list reader: the names it reads must encode to bytes that decode
// to the same names.

#include "FuzzSupport.h"
#include "core/NameList.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceQtWarnings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList names = NameList::decode(bytes);
    // Every name takes at least its 4-byte length.
    if (qsizetype(names.size()) > qsizetype(size) / 4) {
        std::fprintf(stderr, "fuzz_namelist: more names than the bytes can hold\n");
        std::abort();
    }
    const QByteArray encoded = NameList::encode(names);
    if (NameList::decode(encoded) != names) {
        std::fprintf(stderr, "fuzz_namelist: encoded names decode to other names\n");
        std::abort();
    }
    for (const QString &name : names)
        (void)NameList::isSafeBaseName(name);
    return 0;
}
