// The terrain loader: rows arrive top to bottom and end as QImageReader reads the image, for PNGs
// of 8 and 16 bits a channel and for other formats, and read at once the same; a damaged image
// keeps what could be read; a terrain replaced while it is read leaves no trace.

#include "TestSupport.h"
#include "core/TerrainLoader.h"

#include <QBuffer>
#include <QDeadlineTimer>
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

} // namespace

class TestTerrainLoader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
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
        QTest::newRow("RGB, tall") << encoded(m_terrain.scaled(1024, 4096)) << 8;
        QTest::newRow("RGBA") << encoded(alpha) << 0;
        QTest::newRow("RGBA 16-bit") << encoded(alpha.convertToFormat(QImage::Format_RGBA64)) << 0;
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
        // Every band handled as it comes.
        const QDeadlineTimer deadline(20000);
        while (loader.isLoading() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QVERIFY(wrongBands == 0 && ends.last() == expected.height());
        QVERIFY2(bands == 1 ? ends.size() == 2 : ends.size() > bands,
                 qPrintable(QString::number(ends.size() - 1)));
        QCOMPARE(loader.readyImage(), expected);
        QCOMPARE(TerrainLoader::read(path), expected); // read at once, as an export does
    }

    void damagedPngKeepsItsRows()
    {
        const QByteArray bytes = encoded(m_terrain);
        TerrainLoader loader;
        QCOMPARE(loader.start(write(bytes.left(bytes.size() / 2))), m_terrain.size());
        // Read at once, as an export does, it is refused: a map needs all of it.
        QString error;
        QVERIFY(TerrainLoader::read(write(bytes.left(bytes.size() / 2)), &error).isNull());
        QVERIFY2(error.contains("damaged"), qPrintable(error));
        QTRY_VERIFY(!loader.isLoading());
        const int rows = loader.readyRows();
        QVERIFY2(rows > 0 && rows < m_terrain.height(), qPrintable(QString::number(rows)));
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
    QString write(const QByteArray &bytes) { return TestSupport::writeBytes(m_dir, bytes); }

    QTemporaryDir m_dir;
    QImage m_terrain;
};

QTEST_MAIN(TestTerrainLoader)
#include "tst_terrainloader.moc"
