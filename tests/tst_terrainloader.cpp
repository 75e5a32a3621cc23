// The terrain loader: rows arrive top to bottom and end as QImageReader reads the image, for
// every kind of PNG and for other formats; damaged images keep what could be read; a terrain
// replaced while it is read leaves no trace.

#include "DemoData.h"
#include "canvas/TerrainLoader.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray encoded(const QImage &image, const char *format = "png")
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFF;
    for (const char byte : bytes) {
        crc ^= uchar(byte);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
    }
    return ~crc;
}

QByteArray bigEndian(quint32 value)
{
    const char bytes[] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return QByteArray(bytes, 4);
}

QByteArray chunk(const char *type, const QByteArray &data)
{
    const QByteArray body = type + data;
    return bigEndian(quint32(data.size())) + body + bigEndian(crc32(body));
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
            for (int x = x0; x < image.width(); x += dx) {
                const QRgb pixel = image.pixel(x, y);
                raw += char(qRed(pixel));
                raw += char(qGreen(pixel));
                raw += char(qBlue(pixel));
            }
        }
    }
    const QByteArray header = bigEndian(quint32(image.width())) +
                              bigEndian(quint32(image.height())) +
                              QByteArray("\x08\x02\0\0\x01", 5);
    return "\x89PNG\r\n\x1a\n" + chunk("IHDR", header) + chunk("IDAT", qCompress(raw).mid(4)) +
           chunk("IEND", {});
}

// What the map shows for the image: QImageReader's pixels in the terrain's formats.
QImage readWhole(const QString &path)
{
    const QImage image = QImageReader(path).read();
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                         : QImage::Format_RGB32);
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
        // How many bands at least; 1: in one piece.
        QTest::addColumn<int>("bands");

        QImage alpha = m_terrain.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < alpha.height(); ++y)
            for (int x = 0; x < alpha.width(); ++x)
                alpha.setPixel(x, y, (alpha.pixel(x, y) & 0xFFFFFF) | uint((x + y) & 0xFF) << 24);
        const QImage palette = m_terrain.convertToFormat(QImage::Format_Indexed8);
        QImage translucentPalette = palette;
        QList<QRgb> colours = palette.colorTable();
        for (int i = 0; i < colours.size(); ++i)
            colours[i] = (colours[i] & 0xFFFFFF) | uint(i * 37 & 0xFF) << 24;
        translucentPalette.setColorTable(colours);

        // Tall enough that its bands come one by one, not all at once.
        QImage tall(1024, 4096, QImage::Format_RGB32);
        for (int y = 0; y < tall.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(tall.scanLine(y));
            for (int x = 0; x < tall.width(); ++x)
                line[x] = qRgb(x & 0xFF, y & 0xFF, (x ^ y) & 0xFF);
        }
        QTest::newRow("RGB, tall") << encoded(tall) << 8;
        QTest::newRow("RGB") << encoded(m_terrain) << 0;
        QTest::newRow("RGBA") << encoded(alpha) << 0;
        QTest::newRow("palette") << encoded(palette) << 0;
        QTest::newRow("palette with alpha") << encoded(translucentPalette) << 0;
        QTest::newRow("1-bit") << encoded(m_terrain.convertToFormat(QImage::Format_Mono)) << 0;
        QTest::newRow("grey") << encoded(m_terrain.convertToFormat(QImage::Format_Grayscale8)) << 0;
        QTest::newRow("grey 16-bit")
            << encoded(m_terrain.convertToFormat(QImage::Format_Grayscale16)) << 0;
        QTest::newRow("RGB 16-bit")
            << encoded(m_terrain.convertToFormat(QImage::Format_RGBX64)) << 0;
        QTest::newRow("RGBA 16-bit") << encoded(alpha.convertToFormat(QImage::Format_RGBA64)) << 0;
        QTest::newRow("interlaced") << interlacedPng(m_terrain) << 1;
        QTest::newRow("BMP") << encoded(m_terrain, "bmp") << 1;
    }

    void rowsArriveTopToBottom()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, bands);
        const QString path = write(bytes);
        const QImage expected = readWhole(path);
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
        if (bands == 1)
            QCOMPARE(ends.size(), 2);
        QVERIFY2(ends.size() > bands, qPrintable(QString::number(ends.size() - 1)));
        QCOMPARE(loader.readyImage(), expected);
    }

    void damagedPngKeepsItsRows_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("someRows");
        const QByteArray bytes = encoded(m_terrain);
        QByteArray corrupt = bytes;
        for (int i = 0; i < 64; ++i)
            corrupt[bytes.size() / 2 + i] = char(i * 59);
        QTest::newRow("cut short") << bytes.left(bytes.size() / 2) << true;
        QTest::newRow("corrupt in the middle") << corrupt << true;
        QTest::newRow("no pixel data") << bytes.left(bytes.indexOf("IDAT") + 8) << false;
    }

    void damagedPngKeepsItsRows()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, someRows);
        TerrainLoader loader;
        QCOMPARE(loader.start(write(bytes)), m_terrain.size());
        QTRY_VERIFY(!loader.isLoading());
        const int rows = loader.readyRows();
        QVERIFY2(someRows ? rows > 0 && rows < m_terrain.height() : rows == 0,
                 qPrintable(QString::number(rows)));
        // Rows well before the damage are right.
        QCOMPARE(loader.readyImage().copy(0, 0, 1024, rows / 2),
                 m_terrain.copy(0, 0, 1024, rows / 2));
    }

    void replacedTerrainLeavesNoTrace()
    {
        // Large enough to be still in the works when replaced.
        QImage large(2048, 2048, QImage::Format_RGB32);
        large.fill(Qt::red);
        const QString first = write(encoded(large));
        const QString second = write(encoded(m_terrain));

        TerrainLoader loader;
        QList<int> ends{0};
        connect(&loader, &TerrainLoader::rowsReady, this, [&](int, int to) { ends << to; });
        QCOMPARE(loader.start(first), large.size());
        QCOMPARE(loader.start(second), m_terrain.size());
        QTRY_VERIFY(!loader.isLoading());
        QVERIFY(std::is_sorted(ends.begin(), ends.end()));
        QCOMPARE(ends.last(), m_terrain.height());
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
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qWarning("cannot write %s", qPrintable(path));
        return path;
    }

    QTemporaryDir m_dir;
    QImage m_terrain;
    int m_files = 0;
};

QTEST_MAIN(TestTerrainLoader)
#include "tst_terrainloader.moc"
