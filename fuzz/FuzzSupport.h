#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdio>

// Qt's warnings (libpng's complaints about corrupt images above all) would drown libFuzzer's
// own output: drop them, but still print fatal messages before Qt aborts.
inline void silenceQtWarnings()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type == QtFatalMsg)
            std::fprintf(stderr, "Qt fatal: %s\n", qPrintable(text));
    });
}
