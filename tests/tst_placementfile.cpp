// The placement file: written byte for byte in its one layout, read leniently.

#include "TestSupport.h"

#include "document/PlacementFile.h"

#include <QTest>

Q_DECLARE_METATYPE(PlacementDocument)

namespace {

Placement placement(const QPointF &position, const QPoint &offset, const QSize &size,
                    const QString &path, bool invisible)
{
    Placement p;
    p.position = position;
    p.offset = offset;
    p.region = QRect(QPoint(0, 0), size);
    p.structurePath = path;
    p.invisible = invisible;
    return p;
}

PlacementDocument document(const QString &terrain, const QList<Placement> &placements = {})
{
    PlacementDocument d;
    d.terrainPath = terrain;
    d.placements = placements;
    return d;
}

// A readable account of a document, so that a failed comparison shows what differs.
QString dump(const PlacementDocument &d)
{
    QString text = QStringLiteral("image [%1]").arg(d.terrainPath);
    for (const Placement &p : d.placements)
        text += QStringLiteral("\nitem at %1,%2 offset %3,%4 region %5,%6 %7x%8 [%9]%10")
                    .arg(p.position.x())
                    .arg(p.position.y())
                    .arg(p.offset.x())
                    .arg(p.offset.y())
                    .arg(p.region.left())
                    .arg(p.region.top())
                    .arg(p.region.width())
                    .arg(p.region.height())
                    .arg(p.structurePath)
                    .arg(p.invisible ? QStringLiteral(" invisible") : QString());
    return text;
}

const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n";

} // namespace

class PlacementFileTest : public QObject
{
    Q_OBJECT

private slots:
    void writeNoItems()
    {
        const std::optional<QByteArray> bytes =
            PlacementFile::write(document(QStringLiteral("/maps/terrain.png")));
        QVERIFY(bytes);
        QCOMPARE(*bytes, QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
                                    "<Valdrune>\n"
                                    "\t<Image>/maps/terrain.png</Image>\n"
                                    "</Valdrune>\n"));
    }

    void writeOneItem()
    {
        const PlacementDocument doc =
            document(QStringLiteral("/maps/terrain.png"),
                     {placement(QPointF(120, 45), QPoint(-3, -2), QSize(7, 5),
                                QStringLiteral("/s/house.mlt"), true)});
        const std::optional<QByteArray> bytes = PlacementFile::write(doc);
        QVERIFY(bytes);
        QCOMPARE(*bytes,
                 QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
                            "<Valdrune>\n"
                            "\t<Image>/maps/terrain.png</Image>\n"
                            "\t<MLT Invisible=\"True\">\n"
                            "\t\t<Location X=\"120\" Y=\"45\" OffsetX=\"-3\" OffsetY=\"-2\" />\n"
                            "\t\t<File RegionX=\"7\" RegionY=\"5\">/s/house.mlt</File>\n"
                            "\t</MLT>\n"
                            "</Valdrune>\n"));

        const std::optional<PlacementDocument> read = PlacementFile::read(*bytes);
        QVERIFY(read);
        QCOMPARE(dump(*read), dump(doc));
        QCOMPARE(read->placements.at(0).region, QRect(0, 0, 7, 5));
        QCOMPARE(PlacementFile::write(*read), bytes);
    }

    void writeTwoItems()
    {
        const PlacementDocument doc =
            document(QStringLiteral("C:/maps/A & B <1>.png"),
                     {placement(QPointF(-7.9, 0.5), QPoint(0, -40), QSize(1, 40),
                                QStringLiteral("/s/wall&gate<2>.mlt"), false),
                      placement(QPointF(3000, 2000), QPoint(-45, -35), QSize(90, 70),
                                QStringLiteral("/s/keep.mlt"), true)});
        const std::optional<QByteArray> bytes = PlacementFile::write(doc);
        QVERIFY(bytes);
        QCOMPARE(
            *bytes,
            QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
                       "<Valdrune>\n"
                       "\t<Image>C:/maps/A &amp; B &lt;1>.png</Image>\n"
                       "\t<MLT Invisible=\"False\">\n"
                       "\t\t<Location X=\"-7\" Y=\"0\" OffsetX=\"0\" OffsetY=\"-40\" />\n"
                       "\t\t<File RegionX=\"1\" RegionY=\"40\">/s/wall&amp;gate&lt;2>.mlt"
                       "</File>\n"
                       "\t</MLT>\n"
                       "\t<MLT Invisible=\"True\">\n"
                       "\t\t<Location X=\"3000\" Y=\"2000\" OffsetX=\"-45\" OffsetY=\"-35\" />\n"
                       "\t\t<File RegionX=\"90\" RegionY=\"70\">/s/keep.mlt</File>\n"
                       "\t</MLT>\n"
                       "</Valdrune>\n"));
        QCOMPARE(bytes->count('\n'), 12);

        const std::optional<PlacementDocument> read = PlacementFile::read(*bytes);
        QVERIFY(read);
        QCOMPARE(read->terrainPath, doc.terrainPath);
        QCOMPARE(read->placements.size(), 2);
        QCOMPARE(read->placements[0].structurePath, QStringLiteral("/s/wall&gate<2>.mlt"));
        QCOMPARE(read->placements[0].position, QPointF(-7, 0));
        QCOMPARE(dump(document(doc.terrainPath, {read->placements[1]})),
                 dump(document(doc.terrainPath, {doc.placements[1]})));
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<PlacementDocument>("expected");

        const QByteArray item = "<MLT Invisible=\"True\"><Location X=\"1\" Y=\"2\" OffsetX=\"-3\" "
                                "OffsetY=\"-4\" /><File RegionX=\"5\" RegionY=\"6\">/s.mlt</File>"
                                "</MLT>";
        const Placement full =
            placement(QPointF(1, 2), QPoint(-3, -4), QSize(5, 6), QStringLiteral("/s.mlt"), true);
        const auto withFlag = [](Placement p, bool invisible) {
            p.invisible = invisible;
            return p;
        };

        QTest::newRow("other root name")
            << QByteArray("<Map><Image>/t.png</Image>" + item + "</Map>")
            << document("/t.png", {full});
        QTest::newRow("no declaration, blanks between")
            << QByteArray("\n<Valdrune>\n  <Image>/t.png</Image>\n  " + item + "\n</Valdrune>")
            << document("/t.png", {full});
        QTest::newRow("MLT nested deeper, after Image's parent")
            << QByteArray("<V><a><Image>/t.png</Image></a><b><c>" + item + "</c></b></V>")
            << document("/t.png", {full});
        QTest::newRow("Image after the items")
            << QByteArray("<V>" + item + "<Image>/t.png</Image></V>") << document("/t.png", {full});
        QTest::newRow("first Image in document order")
            << QByteArray("<V><a><Image>/first.png</Image></a><Image>/second.png</Image></V>")
            << document("/first.png");
        QTest::newRow("File before Location")
            << QByteArray("<V><Image>/t.png</Image><MLT Invisible=\"True\"><File RegionY=\"6\" "
                          "RegionX=\"5\">/s.mlt</File><Location OffsetY=\"-4\" OffsetX=\"-3\" "
                          "Y=\"2\" X=\"1\"/></MLT></V>")
            << document("/t.png", {full});
        QTest::newRow("two Locations: the second wins")
            << QByteArray("<V><Image>/t.png</Image><MLT><Location X=\"9\" Y=\"9\" OffsetX=\"9\" "
                          "OffsetY=\"9\"/><Location X=\"1\" Y=\"2\"/></MLT></V>")
            << document("/t.png",
                        {placement(QPointF(1, 2), QPoint(0, 0), QSize(0, 0), QString(), false)});
        QTest::newRow("unknown names ignored")
            << QByteArray("<V x=\"1\"><Image a=\"b\">/t.png</Image><MLT Invisible=\"True\" "
                          "Colour=\"red\"><!-- c -->text<Other X=\"8\"/><Location X=\"1\" "
                          "Y=\"2\" OffsetX=\"-3\" OffsetY=\"-4\" Z=\"7\"/><File RegionX=\"5\" "
                          "RegionY=\"6\">/s.mlt</File></MLT></V>")
            << document("/t.png", {full});
        QTest::newRow("invisible in small letters")
            << QByteArray("<V><Image>/t.png</Image>" + QByteArray(item).replace("True", "true") +
                          "</V>")
            << document("/t.png", {withFlag(full, false)});
        QTest::newRow("invisible in capitals")
            << QByteArray("<V><Image>/t.png</Image>" + QByteArray(item).replace("True", "TRUE") +
                          "</V>")
            << document("/t.png", {withFlag(full, false)});
        QTest::newRow("missing attributes")
            << QByteArray("<V><Image>/t.png</Image><MLT><Location/><File>/s.mlt</File></MLT></V>")
            << document("/t.png", {placement(QPointF(0, 0), QPoint(0, 0), QSize(0, 0),
                                             QStringLiteral("/s.mlt"), false)});
        QTest::newRow("missing File")
            << QByteArray("<V><Image>/t.png</Image><MLT Invisible=\"True\"><Location X=\"1\" "
                          "Y=\"2\" OffsetX=\"-3\" OffsetY=\"-4\"/></MLT></V>")
            << document("/t.png",
                        {placement(QPointF(1, 2), QPoint(-3, -4), QSize(0, 0), QString(), true)});
        QTest::newRow("missing Location")
            << QByteArray("<V><Image>/t.png</Image><MLT><File RegionX=\"5\" RegionY=\"6\">"
                          "/s.mlt</File></MLT></V>")
            << document("/t.png", {placement(QPointF(0, 0), QPoint(0, 0), QSize(5, 6),
                                             QStringLiteral("/s.mlt"), false)});
        QTest::newRow("empty MLT") << QByteArray("<V><Image>/t.png</Image><MLT/></V>")
                                   << document("/t.png", {placement({}, {}, {0, 0}, {}, false)});
        QTest::newRow("Image without text") << QByteArray("<V><Image/></V>") << document(QString());
        QTest::newRow("Image text after an element")
            << QByteArray("<V><Image><b/>/t.png</Image></V>") << document(QString());
        QTest::newRow("numbers")
            << QByteArray("<V><Image>/t.png</Image><MLT><Location X=\"99999999999\" "
                          "Y=\"-2147483648\" OffsetX=\"-5\" OffsetY=\"2147483647\"/><File "
                          "RegionX=\"-2147483648\" RegionY=\"1.5\"/></MLT></V>")
            << document("/t.png", {placement(QPointF(0, -2147483647), QPoint(-5, 2147483647),
                                             QSize(-2147483647, 0), QString(), false)});
        QTest::newRow("non-numeric")
            << QByteArray("<V><Image>/t.png</Image><MLT><Location X=\"5x\" Y=\"0x10\" "
                          "OffsetX=\"\" OffsetY=\"seven\"/></MLT></V>")
            << document("/t.png", {placement({}, {}, {0, 0}, {}, false)});
        QTest::newRow("declared Latin-1")
            << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><V><Image>/\xC6r\xF8.png"
                          "</Image></V>")
            << document(QStringLiteral("/\u00C6r\u00F8.png"));
        QTest::newRow("character references")
            << QByteArray("<V><Image>&#32;a&#13;&#10;b&amp;c&gt;</Image></V>")
            << document(QStringLiteral(" a\r\nb&c>"));
    }

    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(PlacementDocument, expected);
        QString error;
        const std::optional<PlacementDocument> doc = PlacementFile::read(bytes, &error);
        QVERIFY2(doc, qPrintable(error));
        QCOMPARE(dump(*doc), dump(expected));
        QVERIFY(*doc == expected);
    }

    void readRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("errorStart");
        QTest::newRow("unclosed root")
            << QByteArray("<V>\n<Image>/t.png</Image>\n") << QStringLiteral("line ");
        QTest::newRow("mismatched tags")
            << QByteArray("<V>\n<Image>/t.png</File>\n</V>") << QStringLiteral("line 2, column ");
        QTest::newRow("empty") << QByteArray() << QStringLiteral("line ");
        QTest::newRow("no Image") << QByteArray(declaration + "<Valdrune>\n</Valdrune>\n")
                                  << QString();
        QTest::newRow("only an image attribute")
            << QByteArray("<V Image=\"/t.png\"><MLT/></V>") << QString();
    }

    void readRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, errorStart);
        QString error;
        QVERIFY(!PlacementFile::read(bytes, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY2(error.startsWith(errorStart), qPrintable(error));
        QVERIFY(!PlacementFile::read(bytes)); // no error wanted
    }

    void pathRoundTrip_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("written"); // the path's bytes in the file
        QTest::newRow("plain") << QStringLiteral("/s/house.mlt") << QByteArray("/s/house.mlt");
        QTest::newRow("empty") << QString() << QByteArray();
        QTest::newRow("ampersand, less, greater, quotes")
            << QStringLiteral("a&b<c>d\"e'f") << QByteArray("a&amp;b&lt;c>d\"e'f");
        QTest::newRow("entity-like text")
            << QStringLiteral("&amp;&#38;") << QByteArray("&amp;amp;&amp;#38;");
        QTest::newRow("]]>") << QStringLiteral("a]]>b") << QByteArray("a]]&gt;b");
        QTest::newRow("] and ]>") << QStringLiteral("a]>]b]]") << QByteArray("a]>]b]]");
        QTest::newRow("carriage return") << QStringLiteral("a\rb") << QByteArray("a&#13;b");
        QTest::newRow("CR LF") << QStringLiteral("a\r\nb") << QByteArray("a&#13;\nb");
        QTest::newRow("tab") << QStringLiteral("a\tb") << QByteArray("a\tb");
        QTest::newRow("line feed") << QStringLiteral("a\nb\n") << QByteArray("a\nb\n");
        QTest::newRow("leading and trailing spaces")
            << QStringLiteral("  /s/x.mlt  ") << QByteArray("  /s/x.mlt  ");
        QTest::newRow("only spaces") << QStringLiteral("   ") << QByteArray("<![CDATA[   ]]>");
        QTest::newRow("only white space")
            << QStringLiteral(" \t\n ") << QByteArray("<![CDATA[ \t\n ]]>");
        QTest::newRow("only no-break spaces")
            << QStringLiteral("\u00A0\u3000") << QByteArray("<![CDATA[\xC2\xA0\xE3\x80\x80]]>");
        QTest::newRow("non-ASCII") << QStringLiteral("\u00C6r\u00F8/\u57CE.mlt")
                                   << QByteArray("\xC3\x86r\xC3\xB8/\xE5\x9F\x8E.mlt");
        QTest::newRow("emoji") << QStringLiteral("/s/\U0001F3F0.mlt")
                               << QByteArray("/s/\xF0\x9F\x8F\xB0.mlt");
        QTest::newRow("DEL and C1 control") << QStringLiteral("a\u007Fb\u0085c")
                                            << QByteArray("a\x7F"
                                                          "b\xC2\x85"
                                                          "c");
        QTest::newRow("last plane")
            << QStringLiteral("\U0010FFFD") << QByteArray("\xF4\x8F\xBF\xBD");
    }

    void pathRoundTrip()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, written);
        const PlacementDocument doc =
            document(path, {placement(QPointF(1, 2), QPoint(3, 4), QSize(5, 6), path, false)});
        QString error;
        const std::optional<QByteArray> bytes = PlacementFile::write(doc, &error);
        QVERIFY2(bytes, qPrintable(error));
        QVERIFY(bytes->contains("\t<Image>" + written + "</Image>\n"));
        QVERIFY(bytes->contains("RegionY=\"6\">" + written + "</File>\n"));

        const std::optional<PlacementDocument> read = PlacementFile::read(*bytes, &error);
        QVERIFY2(read, qPrintable(error));
        QCOMPARE(read->terrainPath, path);
        QCOMPARE(read->placements.size(), 1);
        QCOMPARE(read->placements[0].structurePath, path);
        QVERIFY(*read == doc);
        QCOMPARE(PlacementFile::write(*read), bytes);
    }

    void unwritablePath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("inTerrain");
        QTest::newRow("U+0001 in a structure path") << QStringLiteral("a\u0001b") << false;
        QTest::newRow("U+0001 in the terrain path") << QStringLiteral("a\u0001b") << true;
        QTest::newRow("NUL") << QString(QChar(0)) << false;
        QTest::newRow("escape") << QStringLiteral("\x1B[0m") << false;
        QTest::newRow("lone high surrogate") << QStringLiteral("a") + QChar(0xD83C) + "b" << false;
        QTest::newRow("lone low surrogate at the end")
            << QStringLiteral("a") + QChar(0xDFF0) << true;
        QTest::newRow("swapped surrogates") << QString(QChar(0xDFF0)) + QChar(0xD83C) << false;
        QTest::newRow("U+FFFE") << QStringLiteral("a\uFFFE") << false;
        QTest::newRow("U+FFFF") << QStringLiteral("\uFFFF") << true;
        QTest::newRow("vertical tab") << QStringLiteral("a\vb") << false;
        // Only white space is kept in a CDATA section, where a carriage return becomes a line
        // feed.
        QTest::newRow("only a carriage return") << QStringLiteral("\r") << false;
        QTest::newRow("white space with a carriage return") << QStringLiteral(" \r\n ") << true;
    }

    void unwritablePath()
    {
        QFETCH(QString, path);
        QFETCH(bool, inTerrain);
        const PlacementDocument doc = document(
            inTerrain ? path : QStringLiteral("/t.png"),
            {placement(QPointF(1, 2), QPoint(), QSize(1, 1), QStringLiteral("/ok.mlt"), false),
             placement(QPointF(1, 2), QPoint(), QSize(1, 1),
                       inTerrain ? QStringLiteral("/ok.mlt") : path, false)});
        QString error;
        QVERIFY(!PlacementFile::write(doc, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!PlacementFile::write(doc)); // no error wanted
    }

    void writtenNumbers_data()
    {
        QTest::addColumn<QPointF>("position");
        QTest::addColumn<QByteArray>("location");
        QTest::newRow("whole") << QPointF(120, 45) << QByteArray("X=\"120\" Y=\"45\"");
        QTest::newRow("fractions toward zero")
            << QPointF(10.99, -10.99) << QByteArray("X=\"10\" Y=\"-10\"");
        QTest::newRow("minus a half") << QPointF(-0.5, 0.5) << QByteArray("X=\"0\" Y=\"0\"");
        QTest::newRow("large") << QPointF(1234567, -2147483648.0)
                               << QByteArray("X=\"1234567\" Y=\"-2147483648\"");
    }

    void writtenNumbers()
    {
        QFETCH(QPointF, position);
        QFETCH(QByteArray, location);
        const std::optional<QByteArray> bytes = PlacementFile::write(document(
            "/t.png", {placement(position, QPoint(-1, -2), QSize(3, 4), "/s.mlt", false)}));
        QVERIFY(bytes);
        QVERIFY2(
            bytes->contains("\t\t<Location " + location + " OffsetX=\"-1\" OffsetY=\"-2\" />\n"),
            bytes->constData());
    }

    void itemIsAtLine_data()
    {
        QTest::addColumn<QPointF>("position");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("whole") << QPointF(120, 45) << QByteArray("Item is at 120,45");
        QTest::newRow("seven digits")
            << QPointF(1234567, 45) << QByteArray("Item is at 1.23457e+06,45");
        QTest::newRow("fractions") << QPointF(-0.5, 2.25) << QByteArray("Item is at -0.5,2.25");
        QTest::newRow("zero") << QPointF(0, -0.0) << QByteArray("Item is at 0,-0");
        QTest::newRow("six digits")
            << QPointF(999999, 100000) << QByteArray("Item is at 999999,100000");
        QTest::newRow("small") << QPointF(0.0001, 0.00001) << QByteArray("Item is at 0.0001,1e-05");
    }

    void itemIsAtLine()
    {
        QFETCH(QPointF, position);
        QFETCH(QByteArray, line);
        QCOMPARE(PlacementFile::itemIsAtLine(position), line);
    }
};

QTEST_GUILESS_MAIN(PlacementFileTest)
#include "tst_placementfile.moc"
