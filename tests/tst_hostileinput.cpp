// Hostile input that readers of data from outside must survive, where their own tests do not
// reach: inputs on which the fuzz targets in fuzz/ once failed, entity tricks and terrain
// images that are no images.

#include "TestSupport.h"

#include "app/Configuration.h"
#include "app/RadarColours.h"
#include "canvas/Canvas.h"
#include "canvas/CanvasView.h"
#include "document/MapDocument.h"
#include "library/StructurePayload.h"
#include "library/StructurePreview.h"

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
            const QString radar = Configuration::read(path).radarFilePath;
            QVERIFY(radar.size() < 1000000 && !radar.contains(QLatin1String("secret-7d1f")));
        }
    }

    // A terrain image that cannot be read, for its claimed size or for being a folder, gives an
    // empty map, still open.
    void terrainNotAnImage()
    {
        const QString folder = m_dir.filePath(QStringLiteral("folder.png"));
        QVERIFY(QDir().mkpath(folder));
        for (const QString &path : {writeBytes(m_dir, bmpClaimingHuge(), ".png"), folder}) {
            CanvasView view;
            view.resize(200, 150);
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            view.newCanvas(path);
            QVERIFY(view.canvas());
            QCOMPARE(view.canvas()->sceneRect(), QRectF(0, 0, 0, 0));
            QCOMPARE(view.document()->terrainPath(), path);
            view.viewport()->repaint();
        }
    }
};

QTEST_MAIN(HostileInputTest)
#include "tst_hostileinput.moc"
