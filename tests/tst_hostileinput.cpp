// Data from outside: the configuration file that names the radar colour file and the colour words
// read from it, and hostile input that readers must survive where their own tests do not reach:
// inputs on which the fuzz targets in fuzz/ once failed, entity tricks and terrain images that are
// no images.

#include "TestSupport.h"

#include "core/Configuration.h"
#include "core/MapDocument.h"
#include "core/MapSession.h"
#include "core/PlacementFile.h"
#include "core/RadarColours.h"
#include "core/StructurePayload.h"
#include "core/StructurePreview.h"
#include "editor/Canvas.h"
#include "editor/CanvasView.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <limits>

namespace {

// Found by fuzzing: records up to y 11776, rendered with offset (1, -2147483647): the pixel
// position of a cell overflowed int in StructurePreview::paint.
const QByteArray farRecords = QByteArray::fromHex(
    "020107fc010000000000000002ee800100008000000000000000000200ff7f0000000000000000000000000200"
    "0000000000000000000000000000000000000000000000000000000000000000000000002e0000001000000000"
    "0000");

// A valid BMP of a 2 x 2 image whose header then claims 16000 x 16000 pixels.
QByteArray bmpClaimingHuge()
{
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    QImage(2, 2, QImage::Format_RGB32).save(&buffer, "BMP");
    return bmp.replace(18, 8, QByteArray::fromHex("803e0000803e0000"));
}

} // namespace

using TestSupport::writeBytes;

class HostileInputTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    RadarColours m_colours;

private slots:
    void init() { TestSupport::openRadarColours(m_dir, m_colours, 7); }

    void configuration_data()
    {
        QTest::addColumn<QByteArray>("xml"); // null: no file at all
        QTest::addColumn<bool>("hasRadarFile");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("failure"); // -1: read
        const auto row = [](const char *name, const QByteArray &xml, bool has, QString path,
                            int failure = -1) {
            QTest::newRow(name) << xml << has << path << failure;
        };
        row("root of any name, other children around",
            "<?xml version=\"1.0\"?>\n<W><!-- x --><O>/x</O>t<Radarcol>/r.bin</Radarcol><O/></W>",
            true, "/r.bin");
        row("only the root, nested or in other letter case",
            "<Radarcol><g><Radarcol>/a</Radarcol></g><radarcol>/b</radarcol><RadarCol/></Radarcol>",
            false, {});
        row("several: the last wins, its first child not text",
            "<c><Radarcol>/a</Radarcol><Radarcol/><Radarcol><!--o-->/b</Radarcol></c>", true, {});
        row("blank text does not count as the first child",
            "<c><Radarcol> <!--o-->/b</Radarcol><O><Radarcol>/x</Radarcol></O></c>", true, {});
        row("unclosed element", "<c>\n<Radarcol>/x\n</c>", false, {},
            int(Configuration::ReadFailure::NotWellFormed));
        row("no file", {}, false, {}, int(Configuration::ReadFailure::CannotOpen));
    }

    // An error says why.
    void configuration()
    {
        QFETCH(QByteArray, xml);
        QFETCH(bool, hasRadarFile);
        QFETCH(QString, path);
        QFETCH(int, failure);
        const QString file = m_dir.filePath(xml.isNull() ? "absent/dunmarra.xml" : "dunmarra.xml");
        QVERIFY(xml.isNull() || DemoData::writeFile(file, xml));
        QString error;
        auto failed = Configuration::ReadFailure::CannotOpen;
        const std::optional<Configuration> config = Configuration::read(file, &error, &failed);
        QCOMPARE(config.has_value(), failure < 0);
        QCOMPARE(error.isEmpty(), failure < 0);
        QVERIFY(config ? config->hasRadarFile == hasRadarFile && config->radarFilePath == path
                       : int(failed) == failure);
    }

    void colours_data()
    {
        QTest::addColumn<QString>("blank"); // before the path
        QTest::addColumn<int>("size");      // of the file
        const int full = int(RadarColours::fullFileSize);
        QTest::newRow("last id") << "" << full;
        QTest::newRow("last id, last byte missing") << "" << full - 1;
        QTest::newRow("untrimmed") << " " << full;
    }

    // Read whole when opened: a failed open leaves the colours closed, and the file cut short
    // afterwards by another program changes nothing. A word past the end of the file is 0.
    void colours()
    {
        QFETCH(QString, blank);
        QFETCH(int, size);
        const bool opens = blank.isEmpty();
        const QString other = m_dir.filePath(QStringLiteral("other.bin")),
                      file = m_dir.filePath(QStringLiteral("radar.bin"));
        RadarColours colours;
        QVERIFY(DemoData::writeFile(other, DemoData::radarColourBytes(4)) && colours.open(other) &&
                DemoData::writeFile(file, (DemoData::radarColourBytes(3) + "UUUU").left(size)));
        QVERIFY(colours.open(blank + file) == opens && colours.isOpen() == opens);
        const quint16 word =
            opens && size == RadarColours::fullFileSize ? DemoData::radarWord(3, 0xFFFF) : 0;
        QVERIFY(colours.colourWord(0xFFFF) == word && QFile::resize(file, 0x8000));
        QCOMPARE(colours.colourWord(0xFFFF), word);
        colours.close();
        QCOMPARE(colours.colourWord(0xFFFF), quint16(0));
    }

    // The pixel position of a cell overflowed int in StructurePreview::paint; the width of the
    // region overflowed int in StructurePayload::decode.
    void foundByFuzzing()
    {
        const QString path = writeBytes(m_dir, farRecords);
        QImage image;
        QPoint offset;
        QRect region;
        QVERIFY(!renderStructurePreview(path, m_colours, image, offset, region));
        image = renderStructureImage(path, m_colours, QRect(0, 0, 1, 7),
                                     QPoint(1, -std::numeric_limits<int>::max()));
        QCOMPARE(image.size(), QSize(1, 7));
        for (int y = 0; y < image.height(); ++y)
            QCOMPARE(image.pixel(0, y), 0u);
        QVERIFY(!StructurePayload::decode(QByteArray::fromHex(
            "340000002f0074006d0070002f007a0074005f00740065006d0070002d00790062004d00710065007100"
            "2f00730030002e006d006c00597300000f6100000f6101a83fa76900006c0d49444154089963589170e1"
            "3f0006000d49486402d87bb9c8ed0000000049454e44ae426082")));
    }

    // In the configuration, entities either fail to read or expand to little, and never pull in a
    // file's content. (A placement file refuses any document type declaration outright.)
    void entityTricks()
    {
        QByteArray laughs = "<!DOCTYPE m [<!ENTITY l0 \"lol\">";
        for (int i = 1; i <= 9; ++i)
            laughs += "<!ENTITY l" + QByteArray::number(i) + " \"" +
                      ("&l" + QByteArray::number(i - 1) + ';').repeated(10) + "\">";
        const QUrl secret = QUrl::fromLocalFile(writeBytes(m_dir, "secret-7d1f\n", ".txt"));
        const QByteArray external =
            "<!DOCTYPE m [<!ENTITY s SYSTEM \"" + secret.toEncoded() + "\">]>";
        for (const auto &[doctype, text] : {std::pair(laughs + "]>", QByteArray("&l9;")),
                                            std::pair(external, QByteArray("&s;"))}) {
            const QString path = writeBytes(m_dir,
                                            "<?xml version=\"1.0\"?>\n" + doctype +
                                                "\n<m><Radarcol>" + text + "</Radarcol></m>",
                                            ".xml");
            const QString radar = Configuration::read(path).value_or(Configuration()).radarFilePath;
            QVERIFY(radar.size() < 1000000 && !radar.contains(QLatin1String("secret-7d1f")));
        }
    }

    // A terrain image that cannot be read, for its claimed size or for being a folder, is
    // refused for a new map, and gives an empty map, still open, where a placement file names it.
    void terrainNotAnImage()
    {
        const QString folder = m_dir.filePath(QStringLiteral("folder.png"));
        QVERIFY(QDir().mkpath(folder));
        for (const QString &path : {writeBytes(m_dir, bmpClaimingHuge(), ".png"), folder}) {
            MapSession session;
            CanvasView view(&session);
            view.resize(200, 150);
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            QString error;
            QVERIFY(!session.newMap(path, &error) && !view.canvas());
            QCOMPARE(error, QDir::toNativeSeparators(path) + " cannot be read as an image.");
            PlacementDocument map;
            map.terrainPath = path;
            QVERIFY(session.openFile(writeBytes(m_dir, *PlacementFile::write(map), ".xml")));
            QVERIFY(view.canvas());
            QCOMPARE(view.canvas()->sceneRect(), QRectF(0, 0, 0, 0));
            QCOMPARE(session.document()->terrainPath(), path);
            view.viewport()->repaint();
        }
    }
};

QTEST_MAIN(HostileInputTest)
#include "tst_hostileinput.moc"
