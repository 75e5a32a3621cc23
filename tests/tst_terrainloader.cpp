// The terrain loader: rows arrive top to bottom and end as QImageReader reads the image, for every
// kind of PNG and for other formats; damaged images keep what could be read; a terrain replaced
// while it is read leaves no trace.

#include "DemoData.h"
#include "canvas/TerrainLoader.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

QByteArray encoded(const QImage &image, const char *format = "png")
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray bigEndian(quint32 value)
{
    value = qToBigEndian(value);
    return QByteArray(reinterpret_cast<const char *>(&value), 4);
}

// A PNG chunk, its checksum computed bit by bit.
QByteArray chunk(const char *type, const QByteArray &data)
{
    const QByteArray body = type + data;
    quint32 crc = 0xFFFFFFFF;
    for (const char byte : body) {
        crc ^= uchar(byte);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
    }
    return bigEndian(quint32(data.size())) + body + bigEndian(~crc);
}

// An 8-bit RGB PNG interlaced in seven passes, which Qt does not write.
QByteArray interlacedPng(const QImage &image)
{
    static const int passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                     {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    QByteArray raw;
    for (const auto &[x0, y0, dx, dy] : passes) {
        for (int y = y0; y < image.height() && x0 < image.width(); y += dy) {
            raw += '\0'; // no filter
            for (int x = x0; x < image.width(); x += dx)
                raw += QByteArray::fromRawData(
                    reinterpret_cast<const char *>(image.constScanLine(y)) + 3 * x, 3);
        }
    }
    const QByteArray header = bigEndian(quint32(image.width())) +
                              bigEndian(quint32(image.height())) +
                              QByteArray("\x08\x02\0\0\x01", 5);
    return "\x89PNG\r\n\x1a\n" + chunk("IHDR", header) + chunk("IDAT", qCompress(raw).mid(4)) +
           chunk("IEND", {});
}

} // namespace

class TestTerrainLoader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // 1024 pixels wide: a band is 64 rows of 32 bits.
        m_terrain = DemoData::terrainImage(1024, 300, 5);
    }

    void rowsArriveTopToBottom_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("bands"); // how many bands at least; 1: in one piece
        QImage alpha = m_terrain.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < alpha.height(); ++y)
            for (int x = 0; x < alpha.width(); ++x)
                alpha.setPixel(x, y, (alpha.pixel(x, y) & 0xFFFFFF) | uint((x + y) & 0xFF) << 24);
        QImage palette = alpha.convertToFormat(QImage::Format_Indexed8); // translucent colours
        QTest::newRow("RGB, tall") << encoded(m_terrain.scaled(1024, 4096)) << 8;
        QTest::newRow("RGBA") << encoded(alpha) << 0;
        QTest::newRow("palette with alpha") << encoded(palette) << 0;
        QTest::newRow("grey") << encoded(m_terrain.convertToFormat(QImage::Format_Grayscale8)) << 0;
        QTest::newRow("RGB 16-bit")
            << encoded(m_terrain.convertToFormat(QImage::Format_RGBX64)) << 0;
        QTest::newRow("RGBA 16-bit") << encoded(alpha.convertToFormat(QImage::Format_RGBA64)) << 0;
        QTest::newRow("interlaced")
            << interlacedPng(m_terrain.convertToFormat(QImage::Format_RGB888)) << 1;
        QTest::newRow("BMP") << encoded(m_terrain, "bmp") << 1;
    }

    void rowsArriveTopToBottom()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, bands);
        const QString path = write(bytes);
        QImage expected = QImageReader(path).read();
        expected = expected.convertToFormat(expected.hasAlphaChannel()
                                                ? QImage::Format_ARGB32_Premultiplied
                                                : QImage::Format_RGB32);
        QVERIFY(!expected.isNull());

        // Every band continues the last, and its rows are final when it comes.
        TerrainLoader loader;
        QList<int> ends{0};
        int wrongBands = 0;
        connect(&loader, &TerrainLoader::rowsReady, this, [&](int from, int to) {
            const QImage ready = loader.readyImage();
            const QRect band(0, from, ready.width(), to - from);
            wrongBands += from != ends.last() || ready.height() != to ||
                          ready.copy(band) != expected.copy(band);
            ends << to;
        });
        QCOMPARE(loader.start(path), expected.size());
        QElapsedTimer timer;
        timer.start();
        while (loader.isLoading() && timer.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCOMPARE(wrongBands, 0);
        QCOMPARE(ends.last(), expected.height());
        QVERIFY2(bands == 1 ? ends.size() == 2 : ends.size() > bands,
                 qPrintable(QString::number(ends.size() - 1)));
        QCOMPARE(loader.readyImage(), expected);
    }

    void damagedPngKeepsItsRows()
    {
        const QByteArray bytes = encoded(m_terrain);
        for (const auto &[damaged, someRows] :
             {std::pair(bytes.left(bytes.size() / 2), true),
              std::pair(bytes.left(bytes.indexOf("IDAT") + 8), false)}) {
            TerrainLoader loader;
            QCOMPARE(loader.start(write(damaged)), m_terrain.size());
            QTRY_VERIFY(!loader.isLoading());
            const int rows = loader.readyRows();
            QVERIFY2(someRows ? rows > 0 && rows < m_terrain.height() : rows == 0,
                     qPrintable(QString::number(rows)));
            // Rows well before the damage are right.
            QCOMPARE(loader.readyImage().copy(0, 0, 1024, rows / 2),
                     m_terrain.copy(0, 0, 1024, rows / 2));
        }
    }

    void replacedTerrainLeavesNoTrace()
    {
        // Large enough to be still in the works when replaced.
        QImage large(2048, 2048, QImage::Format_RGB32);
        large.fill(Qt::red);
        const QString first = write(encoded(large));
        TerrainLoader loader;
        QList<int> ends{0};
        connect(&loader, &TerrainLoader::rowsReady, this, [&](int, int to) { ends << to; });
        QCOMPARE(loader.start(first), large.size());
        QCOMPARE(loader.start(write(encoded(m_terrain))), m_terrain.size());
        QTRY_VERIFY(!loader.isLoading());
        QVERIFY(std::is_sorted(ends.begin(), ends.end()));
        QCOMPARE(loader.readyImage(), m_terrain);

        // Dropped while reading, and its images outliving it: nothing is left dangling.
        QImage rows;
        {
            TerrainLoader dropped;
            dropped.start(first);
            QTRY_VERIFY(dropped.readyRows() > 0);
            rows = dropped.readyImage();
        }
        QTest::qWait(50);
        QCOMPARE(rows.pixel(0, 0), qRgb(255, 0, 0));
    }

private:
    QString write(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("terrain%1").arg(++m_files));
        return DemoData::writeFile(path, bytes) ? path : QString();
    }

    QTemporaryDir m_dir;
    QImage m_terrain;
    int m_files = 0;
};

QTEST_MAIN(TestTerrainLoader)
#include "tst_terrainloader.moc"
