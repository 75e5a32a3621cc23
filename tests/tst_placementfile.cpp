// The placement file: written byte for byte in its one layout, read leniently.

#include "DomPlacementReader.h"
#include "core/PlacementFile.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

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

} // namespace

Q_DECLARE_METATYPE(ReadFailure)

class PlacementFileTest : public QObject
{
    Q_OBJECT

private slots:
    void writeExactly()
    {
        // Positions truncated toward zero, never written as "-0" or with an exponent; the ampersand
        // and the less-than sign escaped, the greater-than sign not.
        const PlacementDocument document{"C:/maps/A & B <1>.png",
                                         {{QPointF(-7.9, -0.5), QPoint(0, -40), QRect(0, 0, 1, 40),
                                           "/s/wall&gate<2>.mlt", false},
                                          {QPointF(1234567.9, -2147483647.5), QPoint(-45, -35),
                                           QRect(0, 0, 90, 70), "/s/keep.mlt", true}}};
        const QByteArray bytes =
            "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<Valdrune>\n"
            "\t<Image>C:/maps/A &amp; B &lt;1>.png</Image>\n"
            "\t<MLT Invisible=\"False\">\n"
            "\t\t<Location X=\"-7\" Y=\"0\" OffsetX=\"0\" OffsetY=\"-40\" />\n"
            "\t\t<File RegionX=\"1\" RegionY=\"40\">/s/wall&amp;gate&lt;2>.mlt</File>\n"
            "\t</MLT>\n\t<MLT Invisible=\"True\">\n"
            "\t\t<Location X=\"1234567\" Y=\"-2147483647\" OffsetX=\"-45\" OffsetY=\"-35\" />\n"
            "\t\t<File RegionX=\"90\" RegionY=\"70\">/s/keep.mlt</File>\n"
            "\t</MLT>\n</Valdrune>\n";
        QCOMPARE(PlacementFile::write(document).value_or("refused"), bytes);
        // Read back and written again: the same bytes.
        QCOMPARE(PlacementFile::write(PlacementFile::read(bytes).value()).value_or(""), bytes);
    }

    // Documents read, or refused with the kind of failure and how the error starts.
    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<PlacementDocument>("expected");
        QTest::addColumn<ReadFailure>("failure");
        QTest::addColumn<QString>("errorStart"); // null: read
        const auto row = [](const char *name, const QByteArray &bytes, const PlacementDocument &d,
                            const char *errorStart = nullptr,
                            ReadFailure failure = ReadFailure::NotXml) {
            QTest::newRow(name) << bytes << d << failure << QString::fromUtf8(errorStart);
        };
        row("other root name, items nested deeper, Image after them, children and attributes in "
            "any order, unknown names ignored",
            "\n<Map x=\"1\">\n  <b><c><MLT Invisible=\"True\" C=\"r\"><!-- c -->t<File RegionY="
            "\"6\" RegionX=\"5\">/s.mlt</File><Other X=\"8\"/><Location OffsetY=\"-4\" Z=\"7\" "
            "OffsetX=\"-3\" Y=\"2\" X=\"1\"/></MLT></c></b>\n<a><Image a=\"b\">/t.png</Image></a>"
            "</Map>",
            {"/t.png", {{QPointF(1, 2), QPoint(-3, -4), QRect(0, 0, 5, 6), "/s.mlt", true}}});
        // Missing or malformed numbers read as 0, the smallest int as the next one.
        row("two Locations: the second wins; numbers out of range or malformed, Invisible not True",
            "<V><Image>/t.png</Image><MLT Invisible=\"true\"><Location X=\"9\" OffsetY=\"9\"/>"
            "<Location X=\"99999999999\" Y=\"-2147483648\" OffsetX=\"0x10\" OffsetY=\"5x\"/><File "
            "RegionX=\"-2147483648\" RegionY=\"1.5\"/></MLT></V>",
            {"/t.png", {{QPointF(0, -2147483647), {}, QRect(0, 0, -2147483647, 0), {}}}});
        row("declared Latin-1, character references",
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><V><Image>/\xC6r\xF8.png</Image><MLT>"
            "<File>&#32;a&#13;&#10;b&amp;c&gt;</File></MLT></V>",
            {QStringLiteral("/\u00C6r\u00F8.png"), {{{}, {}, {}, QStringLiteral(" a\r\nb&c>")}}});
        // A text is the first child node; a run of white space (as QChar has it) is none unless it
        // is a CDATA section.
        row("white space only texts are no child nodes",
            "<V><Image> \xC2\xA0&#32;\xE3\x80\x80</Image><MLT><File>\n <![CDATA[ ]]></File><File "
            "RegionY=\"2\"> <!-- c -->/s.mlt</File></MLT><Image>/second.png</Image></V>",
            {"", {{{}, {}, QRect(0, 0, 0, 2), {}}}});
        row("the first Image; one text across references, a comment ends it",
            "<V><Image> a&amp;b&#60;&#x1F3F0;<!-- c -->d</Image><Image>/2</Image><MLT><File><b/>"
            "/s.mlt</File></MLT></V>",
            {QStringLiteral(" a&b<\U0001F3F0"), {{}}});
        row("prefixed names are other names, the root counts for nothing; nested items, each a "
            "placement in document order",
            "<MLT><a:Image xmlns:a=\"u\">/a.png</a:Image><Image>/t.png</Image><MLT "
            "a:Invisible=\"False\" Invisible=\"True\"><a:File>/x</a:File><File a:RegionX=\"3\">"
            "/s.mlt</File><MLT><Location X=\"5\"/></MLT><b><Location X=\"7\"/><File>/not-a-child"
            "</File></b></MLT></MLT>",
            {"/t.png", {{{}, {}, {}, "/s.mlt", true}, {QPointF(5, 0), {}, {}, {}}}});
        row("nested as deep as allowed", nested(PlacementFile::maximumDepth), {"x", {{}}});
        row("undeclared entity", "<V><Image>&nbsp;</Image></V>", {},
            "line 1, column 16: Entity 'nbsp' not declared");
        row("Image only as the root, prefixed, an attribute",
            "<Image Image=\"/t.png\"><a:Image>/t.png</a:Image></Image>", {}, "no Image element",
            ReadFailure::NoImage);
        // Entities are neither expanded nor fetched: a declaration of them is refused.
        row("empty document type declaration", "<?xml version=\"1.0\"?>\n<!DOCTYPE V>\n<V/>", {},
            "line 2, column 12: a placement file holds no document type declaration");
        row("nested one level too deep", nested(PlacementFile::maximumDepth + 1), {},
            "line 1, column 3007: elements nested deeper than 1000");
        // Found by fuzzing: the error is reported where the reader decodes, all the bytes at once
        // or 8 KiB of a device at a time, not at the byte.
        row("a byte that is no UTF-8, past the first 8 KiB",
            "<V>\n<Image>a</Image>" + QByteArray(9000, ' ') + "\n<MLT>\xFF</MLT></V>", {},
            "line 1, column 2: Encountered incorrectly encoded content");
    }

    // The same from the bytes and from a device; a document read is the one the document-tree
    // reader that came before reads.
    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(PlacementDocument, expected);
        QFETCH(ReadFailure, failure);
        QFETCH(QString, errorStart);
        QString error;
        auto gotFailure = ReadFailure::Cancelled, deviceFailure = ReadFailure::Cancelled;
        const auto doc = PlacementFile::read(bytes, &error, &gotFailure);
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QList<Placement> finished; // each as its element ends, so inner ones first
        QVERIFY(PlacementFile::read(buffer, nullptr, &deviceFailure, {},
                                    [&](const Placement &p) { finished.append(p); }) == doc &&
                deviceFailure == gotFailure);
        QVERIFY2(errorStart.isNull()
                     ? bool(doc)
                     : !doc && error.startsWith(errorStart) && gotFailure == failure,
                 qPrintable(error));
        if (!doc)
            return;
        QVERIFY(*doc == expected && DomPlacementReader::read(bytes) == expected);
        QVERIFY(std::is_permutation(finished.cbegin(), finished.cend(),
                                    expected.placements.cbegin(), expected.placements.cend()));
    }

    // The size is checked before a byte is read: the file of exactly 1 GiB is read, and refused for
    // its first character.
    void fileSizeLimit()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("huge.xml")));
        QVERIFY(file.open(QIODevice::ReadWrite));
        for (const qint64 extra : {0, 1}) {
            // Sparse where it can be.
            QVERIFY(file.resize(PlacementFile::maximumFileSize + extra) && file.seek(0));
            QString error;
            auto failure = ReadFailure::Cancelled;
            QVERIFY(!PlacementFile::read(file, &error, &failure) && failure == ReadFailure::NotXml);
            QVERIFY2(error.startsWith(QLatin1String("line 1, column ")) &&
                         error.endsWith(QLatin1String("a placement file may hold")) == bool(extra),
                     qPrintable(error));
        }
    }

    void pathRoundTrip_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("written"); // the path's bytes in the file; null: refused
        const auto row = [](const char *n, const QString &p, const QByteArray &w) {
            QTest::newRow(n) << p << w;
        };
        row("empty", QString(), "");
        row("plain, non-ASCII, surrogate pairs, DEL, C1, blanks around",
            QStringLiteral("  /\u00C6r\u57CE/\U0001F3F0\U0010FFFDa\u007Fb\u0085c  "),
            "  /\xC3\x86r\xE5\x9F\x8E/\xF0\x9F\x8F\xB0\xF4\x8F\xBF\xBD"
            "a\x7F"
            "b\xC2\x85"
            "c  ");
        row("markup characters", "a&b<c>d\"e'f&amp;", "a&amp;b&lt;c>d\"e'f&amp;amp;");
        row("]]> and lone ]", "a]]>b]>c]", "a]]&gt;b]>c]");
        row("CR LF, tab", "\ta\r\nb\n", "\ta&#13;\nb\n");
        row("only no-break spaces", QStringLiteral("\u00A0\u3000"),
            "<![CDATA[\xC2\xA0\xE3\x80\x80]]>");
        row("NUL", QString(QChar(0)), {});
        row("lone high surrogate", QStringLiteral("a") + QChar(0xD83C) + "b", {});
        row("U+FFFE", QStringLiteral("a\uFFFE"), {});
        // Only white space is kept in a CDATA section, where a carriage return becomes a line feed.
        row("white space with a carriage return", QStringLiteral(" \r\n "), {});
    }

    void pathRoundTrip()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, written);
        const Placement placement{QPointF(1, 2), QPoint(3, 4), QRect(0, 0, 5, 6), path};
        const PlacementDocument doc{path, {placement}};
        QString error;
        const std::optional<QByteArray> bytes = PlacementFile::write(doc, &error);
        if (written.isNull()) {
            // No error wanted the second time.
            QVERIFY(!bytes && !error.isEmpty() &&
                    !PlacementFile::write({"/t.png", {placement, placement}}));
            return;
        }
        QVERIFY2(bytes, qPrintable(error));
        QVERIFY(bytes->contains("\t<Image>" + written + "</Image>\n") &&
                bytes->contains("RegionY=\"6\">" + written + "</File>\n"));
        QVERIFY(PlacementFile::read(*bytes) == doc);
    }
};

QTEST_GUILESS_MAIN(PlacementFileTest)
#include "tst_placementfile.moc"
