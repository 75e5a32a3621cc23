// The icon resource as the program gets it: placer_icons linked into an executable, with no
// Q_INIT_RESOURCE, gives the window icon at every size.

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QtTest>

#include <iterator>

namespace {

const int sizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QString pngPath(int size)
{
    return QStringLiteral(":/icons/%1.png").arg(size);
}

} // namespace

class TestPlacerIcons : public QObject
{
    Q_OBJECT

private slots:
    void pngsAreTheEmblemAtEachSize_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : sizes)
            QTest::addRow("%d", size) << size;
    }

    void pngsAreTheEmblemAtEachSize()
    {
        QFETCH(int, size);
        const QImage image(pngPath(size));
        QVERIFY2(!image.isNull(), qPrintable(pngPath(size) + QStringLiteral(" did not load")));
        QCOMPARE(image.size(), QSize(size, size));
        QVERIFY(image.hasAlphaChannel());
        // The map's rounded corners leave the image's corners clear; its middle is opaque.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(size - 1, size - 1)), 0);
        QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
    }

    void svgIsThere()
    {
        QFile file(QStringLiteral(":/icons/org.valdrune.StructurePlacer.svg"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("<svg"));
    }

    void iconHoldsEverySize()
    {
        QIcon icon;
        for (const int size : sizes)
            icon.addFile(pngPath(size), QSize(size, size));
        QCOMPARE(icon.availableSizes().size(), int(std::size(sizes)));
        for (const int size : sizes)
            QCOMPARE(icon.pixmap(size).size(), QSize(size, size));
    }
};

QTEST_MAIN(TestPlacerIcons)
#include "tst_placericons.moc"
