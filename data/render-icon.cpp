// Draws the emblem at the sizes of the icon theme, at build time: one PNG per size, named after
// the size, in the output folder.
//
//   render-icon <emblem.svg> <output folder> <size>...

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: render-icon <emblem.svg> <output folder> <size>...\n");
        return 2;
    }
    const QString svgPath = QString::fromLocal8Bit(argv[1]);
    const QDir output(QString::fromLocal8Bit(argv[2]));
    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "render-icon: %s is not a drawable SVG image\n", argv[1]);
        return 1;
    }
    if (!output.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "render-icon: cannot make the folder %s\n", argv[2]);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLatin1(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "render-icon: %s is no icon size\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            renderer.render(&painter, QRectF(0, 0, size, size));
        }
        // Written whole or not at all, so that an interrupted build never leaves a cut icon
        // that looks up to date.
        const QString path = output.filePath(QStringLiteral("%1.png").arg(size));
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            !image.convertToFormat(QImage::Format_ARGB32).save(&file, "PNG") || !file.commit()) {
            std::fprintf(stderr, "render-icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
