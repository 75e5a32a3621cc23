// The placement file: written byte for byte in its one layout, read leniently.

#include "DomPlacementReader.h"
#include "document/PlacementFile.h"

#include <QBuffer>
#include <QDebug>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(PlacementDocument)

using PlacementFile::ReadFailure;

namespace {

// An Image element at depth levels, the root counted as level 1, inside elements named a.
QByteArray nested(int depth)
{
    const int inner = depth - 2;
    return "<V>" + QByteArray("<a>").repeated(inner) + "<Image>x</Image>" +
           QByteArray("</a>").repeated(inner) + "<MLT/></V>";
}

// A readable account of a document, so that a failed comparison shows what differs.
QString dump(const PlacementDocument &d)
{
    QString text;
    QDebug(&text) << d.terrainPath;
    for (const Placement &p : d.placements)
        QDebug(&text) << "\n"
                      << p.position << p.offset << p.region << p.structurePath << p.invisible;
    return text;
}

} // namespace

Q_DECLARE_METATYPE(ReadFailure)

class PlacementFileTest : public QObject
{
    Q_OBJECT

private slots:
    void writeExactly_data()
    {
        QTest::addColumn<PlacementDocument>("document");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("no placements") << PlacementDocument{"/maps/terrain.png", {}}
                                       << QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
                                                     "<Valdrune>\n"
                                                     "\t<Image>/maps/terrain.png</Image>\n"
                                                     "</Valdrune>\n");
        // Positions truncated toward zero, never written as "-0" or with an exponent; the
        // ampersand and the less-than sign escaped, the greater-than sign not.
        QTest::newRow("two placements")
            << PlacementDocument{"C:/maps/A & B <1>.png",
                                 {{QPointF(-7.9, -0.5), QPoint(0, -40), QRect(0, 0, 1, 40),
                                   "/s/wall&gate<2>.mlt", false},
                                  {QPointF(1234567.9, -2147483647.5), QPoint(-45, -35),
                                   QRect(0, 0, 90, 70), "/s/keep.mlt", true}}}
            << QByteArray(
                   "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
                   "<Valdrune>\n"
                   "\t<Image>C:/maps/A &amp; B &lt;1>.png</Image>\n"
                   "\t<MLT Invisible=\"False\">\n"
                   "\t\t<Location X=\"-7\" Y=\"0\" OffsetX=\"0\" OffsetY=\"-40\" />\n"
                   "\t\t<File RegionX=\"1\" RegionY=\"40\">/s/wall&amp;gate&lt;2>.mlt</File>\n"
                   "\t</MLT>\n"
                   "\t<MLT Invisible=\"True\">\n"
                   "\t\t<Location X=\"1234567\" Y=\"-2147483647\" OffsetX=\"-45\" OffsetY=\"-35\" "
                   "/>\n"
                   "\t\t<File RegionX=\"90\" RegionY=\"70\">/s/keep.mlt</File>\n"
                   "\t</MLT>\n"
                   "</Valdrune>\n");
    }

    void writeExactly()
    {
        QFETCH(PlacementDocument, document);
        QFETCH(QByteArray, bytes);
        QCOMPARE(PlacementFile::write(document).value_or("refused"), bytes);
        // Read back and written again: the same bytes.
        const std::optional<PlacementDocument> read = PlacementFile::read(bytes);
        QVERIFY(read);
        QCOMPARE(PlacementFile::write(*read).value_or("refused"), bytes);
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<PlacementDocument>("expected");
        const QByteArray item = "<MLT Invisible=\"True\"><Location X=\"1\" Y=\"2\" OffsetX=\"-3\" "
                                "OffsetY=\"-4\" /><File RegionX=\"5\" RegionY=\"6\">/s.mlt</File>"
                                "</MLT>";
        Placement full{QPointF(1, 2), QPoint(-3, -4), QRect(0, 0, 5, 6), "/s.mlt", true};
        const PlacementDocument one{"/t.png", {full}};
        const auto row = [](const char *name, const QByteArray &bytes, const PlacementDocument &d) {
            QTest::newRow(name) << bytes << d;
        };
        row("other root name, no declaration, blanks between",
            "\n<Map>\n  <Image>/t.png</Image>\n  " + item + "\n</Map>", one);
        row("items nested deeper, Image after them",
            "<V><b><c>" + item + "</c></b><a><Image>/t.png</Image></a></V>", one);
        row("the first Image, its text only as its first child",
            "<V><a><Image><b/>/t.png</Image></a><Image>/second.png</Image></V>", {});
        row("children and attributes in any order",
            "<V><Image>/t.png</Image><MLT Invisible=\"True\"><File RegionY=\"6\" RegionX=\"5\">"
            "/s.mlt</File><Location OffsetY=\"-4\" OffsetX=\"-3\" Y=\"2\" X=\"1\"/></MLT></V>",
            one);
        row("unknown names ignored",
            "<V x=\"1\"><Image a=\"b\">/t.png</Image><MLT Colour=\"red\"><!-- c -->text<Other "
            "X=\"8\"/><Location X=\"1\" Z=\"7\"/></MLT></V>",
            {"/t.png", {{QPointF(1, 0), {}, {}, {}}}});
        row("two Locations: the second wins",
            "<V><Image>/t.png</Image><MLT><Location X=\"9\" OffsetY=\"9\"/><Location Y=\"2\"/>"
            "</MLT></V>",
            {"/t.png", {{QPointF(0, 2), {}, {}, {}}}});
        row("missing attributes",
            "<V><Image>/t.png</Image><MLT><Location/><File>/s.mlt</File></MLT></V>",
            {"/t.png", {{{}, {}, {}, "/s.mlt"}}});
        row("numbers out of range or malformed",
            "<V><Image>/t.png</Image><MLT><Location X=\"99999999999\" Y=\"-2147483648\" "
            "OffsetX=\"0x10\" OffsetY=\"5x\"/><File RegionX=\"-2147483648\" RegionY=\"1.5\"/>"
            "</MLT></V>",
            {"/t.png", {{QPointF(0, -2147483647), {}, QRect(0, 0, -2147483647, 0), {}}}});
        row("declared Latin-1, character references",
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><V><Image>/\xC6r\xF8.png</Image><MLT>"
            "<File>&#32;a&#13;&#10;b&amp;c&gt;</File></MLT></V>",
            {QStringLiteral("/\u00C6r\u00F8.png"), {{{}, {}, {}, QStringLiteral(" a\r\nb&c>")}}});
        // A text is the first child node; a run of white space (as QChar has it) is none
        // unless it is a CDATA section.
        row("white space only texts are no child nodes",
            "<V><Image> \xC2\xA0&#32;\xE3\x80\x80</Image><MLT><File>\n <![CDATA[ ]]></File><File "
            "RegionY=\"2\"> <!-- c -->/s.mlt</File></MLT><Image>/second.png</Image></V>",
            {"", {{{}, {}, QRect(0, 0, 0, 2), {}}}});
        row("one text across references, a comment ends it",
            "<V><Image> a&amp;b&#60;&#x1F3F0;<!-- c -->d</Image><MLT><File><?p?>/s.mlt</File>"
            "</MLT></V>",
            {QStringLiteral(" a&b<\U0001F3F0"), {{}}});
        row("prefixed names are other names, the root counts for nothing",
            "<MLT><a:Image xmlns:a=\"u\">/a.png</a:Image><Image>/t.png</Image><MLT "
            "a:Invisible=\"False\" Invisible=\"True\"><a:File>/x</a:File><File a:RegionX=\"3\">"
            "/s.mlt</File></MLT></MLT>",
            {"/t.png", {{{}, {}, {}, "/s.mlt", true}}});
        row("nested items, each a placement in document order",
            "<V><Image>/t.png</Image><MLT><File RegionX=\"1\">/a</File><MLT><Location X=\"5\"/>"
            "</MLT><b><File>/not-a-child</File></b></MLT></V>",
            {"/t.png", {{{}, {}, QRect(0, 0, 1, 0), "/a"}, {QPointF(5, 0), {}, {}, {}}}});
        row("nested as deep as allowed", nested(PlacementFile::maximumDepth), {"x", {{}}});
        full.invisible = false;
        row("Invisible only when exactly True",
            "<V><Image>/t.png</Image>" + QByteArray(item).replace("True", "true") + "</V>",
            {"/t.png", {full}});
    }

    // The same document from the bytes, from a device, and from the document-tree reader that
    // came before.
    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(PlacementDocument, expected);
        QString error;
        const std::optional<PlacementDocument> doc = PlacementFile::read(bytes, &error);
        QVERIFY2(doc, qPrintable(error));
        QCOMPARE(dump(*doc), dump(expected));
        QVERIFY(*doc == expected);
        QBuffer buffer;
        buffer.setData(bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QCOMPARE(PlacementFile::read(buffer), doc);
        const std::optional<PlacementDocument> dom = DomPlacementReader::read(bytes);
        QVERIFY(dom);
        QCOMPARE(dump(*dom), dump(expected));
    }

    void readRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<ReadFailure>("failure");
        QTest::addColumn<QString>("errorStart");
        const auto row = [](const char *name, const QByteArray &bytes, ReadFailure failure,
                            const char *errorStart) {
            QTest::newRow(name) << bytes << failure << QString::fromUtf8(errorStart);
        };
        row("mismatched tags", "<V>\n<Image>/t.png</File>\n</V>", ReadFailure::NotXml,
            "line 2, column ");
        row("empty", "", ReadFailure::NotXml, "line ");
        row("undeclared entity", "<V><Image>&nbsp;</Image></V>", ReadFailure::NotXml,
            "line 1, column 16: Entity 'nbsp' not declared");
        row("no Image element", "<Valdrune Image=\"/t.png\">\n<MLT/></Valdrune>\n",
            ReadFailure::NoImage, "no Image element");
        row("Image only as the root and prefixed", "<Image><a:Image>/t.png</a:Image></Image>",
            ReadFailure::NoImage, "no Image element");
        // Entities are neither expanded nor fetched: a declaration of them is refused.
        row("empty document type declaration", "<?xml version=\"1.0\"?>\n<!DOCTYPE V>\n<V/>",
            ReadFailure::NotXml,
            "line 2, column 12: a placement file holds no document type declaration");
        row("internal entity", "<!DOCTYPE V [<!ENTITY t \"/t.png\">]><V><Image>&t;</Image></V>",
            ReadFailure::NotXml, "line 1, column ");
        row("nested one level too deep", nested(PlacementFile::maximumDepth + 1),
            ReadFailure::NotXml, "line 1, column 3007: elements nested deeper than 1000");
        // Found by fuzzing: the error is reported where the reader decodes, all the bytes at
        // once or 8 KiB of a device at a time, not at the byte.
        row("a byte that is no UTF-8, past the first 8 KiB",
            "<V>\n<Image>a</Image>" + QByteArray(9000, ' ') + "\n<MLT>\xFF</MLT></V>",
            ReadFailure::NotXml, "line 1, column 2: Encountered incorrectly encoded content");
        // Read in a moment: the document-tree reader took minutes.
        row("nested 200,000 deep", nested(200000), ReadFailure::NotXml,
            "line 1, column 3003: elements nested deeper than 1000");
    }

    void readRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(ReadFailure, failure);
        QFETCH(QString, errorStart);
        QString error;
        auto gotFailure = ReadFailure::Cancelled;
        QVERIFY(!PlacementFile::read(bytes, &error, &gotFailure));
        QVERIFY2(error.startsWith(errorStart), qPrintable(error));
        QCOMPARE(gotFailure, failure);
        QVERIFY(!PlacementFile::read(bytes)); // no error wanted
        QBuffer buffer;
        buffer.setData(bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        gotFailure = ReadFailure::Cancelled;
        QVERIFY(!PlacementFile::read(buffer, &error, &gotFailure));
        QCOMPARE(gotFailure, failure);
    }

    // The size is checked before a byte is read: the file of exactly 1 GiB is read, and refused
    // for its first character.
    void fileSizeLimit_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("tooLarge");
        QTest::newRow("1 GiB") << PlacementFile::maximumFileSize << false;
        QTest::newRow("1 GiB and a byte") << PlacementFile::maximumFileSize + 1 << true;
    }

    void fileSizeLimit()
    {
        QFETCH(qint64, size);
        QFETCH(bool, tooLarge);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("huge.xml")));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(size)); // sparse where the file system can
        QString error;
        auto failure = ReadFailure::Cancelled;
        QVERIFY(!PlacementFile::read(file, &error, &failure));
        QCOMPARE(failure, ReadFailure::NotXml);
        QVERIFY2(error.startsWith(QLatin1String("line 1, column ")), qPrintable(error));
        QCOMPARE(error.endsWith(QLatin1String("larger than the 1 GiB a placement file may hold")),
                 tooLarge);
    }

    // Progress is reported every few thousand elements with the bytes read so far; the read
    // stops when the callback says so.
    void progress_data()
    {
        QTest::addColumn<int>("cancelAt"); // the call that returns false, 0 for none
        QTest::newRow("read to the end") << 0;
        QTest::newRow("cancelled") << 3;
    }

    void progress()
    {
        QFETCH(int, cancelAt);
        PlacementDocument document{"/t.png", {}};
        for (int i = 0; i < 10000; ++i)
            document.placements.append({QPointF(i, -i), QPoint(), QRect(0, 0, 1, 2),
                                        QStringLiteral("/s/%1.mlt").arg(i % 200)});
        QBuffer buffer;
        buffer.setData(PlacementFile::write(document).value());
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QList<qint64> calls;
        QString error;
        auto failure = ReadFailure::NotXml;
        const std::optional<PlacementDocument> read =
            PlacementFile::read(buffer, &error, &failure, [&](qint64 bytesRead) {
                calls.append(bytesRead);
                return calls.size() != cancelAt;
            });
        if (cancelAt) {
            QVERIFY(!read);
            QCOMPARE(error, QStringLiteral("cancelled"));
            QCOMPARE(failure, ReadFailure::Cancelled);
            QCOMPARE(calls.size(), cancelAt);
        } else {
            QVERIFY(read && *read == document);
            QVERIFY(calls.size() >= 2); // 30,002 elements
            // Equal paths share one string.
            QVERIFY(read->placements[0].structurePath.constData() ==
                    read->placements[200].structurePath.constData());
        }
        for (int i = 1; i < calls.size(); ++i)
            QVERIFY(calls[i - 1] > 0 && calls[i - 1] < calls[i] && calls[i] <= buffer.size());
    }

    void pathRoundTrip_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("written"); // the path's bytes in the file
        const auto row = [](const char *name, const QString &path, const QByteArray &written) {
            QTest::newRow(name) << path << written;
        };
        row("plain", "/s/house.mlt", "/s/house.mlt");
        row("empty", QString(), "");
        row("markup characters", "a&b<c>d\"e'f&amp;", "a&amp;b&lt;c>d\"e'f&amp;amp;");
        row("]]> and lone ]", "a]]>b]>c]", "a]]&gt;b]>c]");
        row("CR LF", "a\r\nb", "a&#13;\nb");
        row("tab and line feed", "a\tb\n", "a\tb\n");
        row("leading and trailing spaces", "  /s/x.mlt  ", "  /s/x.mlt  ");
        row("only white space", " \t\n ", "<![CDATA[ \t\n ]]>");
        row("only no-break spaces", QStringLiteral("\u00A0\u3000"),
            "<![CDATA[\xC2\xA0\xE3\x80\x80]]>");
        row("non-ASCII", QStringLiteral("\u00C6r\u00F8/\u57CE.mlt"),
            "\xC3\x86r\xC3\xB8/\xE5\x9F\x8E.mlt");
        row("surrogate pairs", QStringLiteral("/\U0001F3F0\U0010FFFD"),
            "/\xF0\x9F\x8F\xB0\xF4\x8F\xBF\xBD");
        row("DEL and C1 control", QStringLiteral("a\u007Fb\u0085c"),
            "a\x7F"
            "b\xC2\x85"
            "c");
    }

    void pathRoundTrip()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, written);
        const PlacementDocument doc{path, {{QPointF(1, 2), QPoint(3, 4), QRect(0, 0, 5, 6), path}}};
        QString error;
        const std::optional<QByteArray> bytes = PlacementFile::write(doc, &error);
        QVERIFY2(bytes, qPrintable(error));
        QVERIFY(bytes->contains("\t<Image>" + written + "</Image>\n"));
        QVERIFY(bytes->contains("RegionY=\"6\">" + written + "</File>\n"));
        const std::optional<PlacementDocument> read = PlacementFile::read(*bytes, &error);
        QVERIFY2(read, qPrintable(error));
        QCOMPARE(dump(*read), dump(doc));
        QVERIFY(*read == doc);
    }

    void unwritablePath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("inTerrain");
        QTest::newRow("NUL") << QString(QChar(0)) << false;
        QTest::newRow("U+0001 in the terrain path") << QStringLiteral("a\u0001b") << true;
        QTest::newRow("lone high surrogate") << QStringLiteral("a") + QChar(0xD83C) + "b" << false;
        QTest::newRow("lone low surrogate at the end")
            << QStringLiteral("a") + QChar(0xDFF0) << true;
        QTest::newRow("swapped surrogates") << QString(QChar(0xDFF0)) + QChar(0xD83C) << false;
        QTest::newRow("U+FFFE") << QStringLiteral("a\uFFFE") << false;
        QTest::newRow("U+FFFF") << QStringLiteral("\uFFFF") << true;
        // Only white space is kept in a CDATA section, where a carriage return becomes a line
        // feed.
        QTest::newRow("only a carriage return") << QStringLiteral("\r") << false;
        QTest::newRow("white space with a carriage return") << QStringLiteral(" \r\n ") << true;
    }

    void unwritablePath()
    {
        QFETCH(QString, path);
        QFETCH(bool, inTerrain);
        const Placement ok{QPointF(1, 2), QPoint(), QRect(0, 0, 1, 1), "/ok.mlt"};
        Placement bad = ok;
        bad.structurePath = inTerrain ? QStringLiteral("/ok.mlt") : path;
        const PlacementDocument doc{inTerrain ? path : QStringLiteral("/t.png"), {ok, bad}};
        QString error;
        QVERIFY(!PlacementFile::write(doc, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!PlacementFile::write(doc)); // no error wanted
    }

    void itemIsAtLine_data()
    {
        QTest::addColumn<QPointF>("position");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("seven digits, whole")
            << QPointF(1234567, 120) << QByteArray("Item is at 1.23457e+06,120");
        QTest::newRow("fractions") << QPointF(-0.5, 0.0001) << QByteArray("Item is at -0.5,0.0001");
        QTest::newRow("zeros") << QPointF(0, -0.0) << QByteArray("Item is at 0,-0");
        QTest::newRow("six digits, small")
            << QPointF(999999, 0.00001) << QByteArray("Item is at 999999,1e-05");
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
