// The configuration file that names the radar colour file, and the colour words read from it.

#include "DemoData.h"

#include "app/Configuration.h"
#include "app/RadarColours.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class ConfigurationTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const Configuration missing = Configuration::read(m_dir.filePath("absent/dunmarra.xml"));
        QCOMPARE(missing.status, Configuration::CannotOpen);
        QVERIFY(!missing.hasRadarFile && !missing.errorString.isEmpty());
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<bool>("hasRadarFile");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("where"); // null when well-formed, else how the error starts
        const auto row = [](const char *name, const QByteArray &xml, bool has, QString path,
                            QString where = QString()) {
            QTest::newRow(name) << xml << has << path << where;
        };
        row("root of any name, other children around",
            "<?xml version=\"1.0\"?>\n<W>\n <!-- x -->"
            "<O>/x</O>text<Radarcol>/r.bin</Radarcol><O/>\n</W>",
            true, "/r.bin");
        row("only the root, nested or in other letter case",
            "<Radarcol><g><Radarcol>/a</Radarcol></g><radarcol>/b</radarcol><RadarCol/></Radarcol>",
            false, {});
        row("blanks, line breaks and entities kept",
            "<c><Radarcol>  d/../a&amp;b\n\t</Radarcol></c>", true, "  d/../a&b\n\t");
        row("several: the last wins, its first child not text",
            "<c><Radarcol>/a</Radarcol><Radarcol/><Radarcol><!-- old -->/b</Radarcol></c>", true,
            {});
        row("unclosed element", "<c>\n<Radarcol>/x\n</c>\n", false, {}, "line 3, column ");
    }

    void read()
    {
        QFETCH(QByteArray, xml);
        QFETCH(bool, hasRadarFile);
        QFETCH(QString, path);
        QFETCH(QString, where);
        const QString file = m_dir.filePath(QStringLiteral("dunmarra.xml"));
        QVERIFY(DemoData::writeFile(file, xml));
        const Configuration config = Configuration::read(file);
        QCOMPARE(config.status, where.isNull() ? Configuration::Ok : Configuration::NotWellFormed);
        QCOMPARE(config.hasRadarFile, hasRadarFile);
        QCOMPARE(config.radarFilePath, path);
        // Where reading failed, then why.
        QVERIFY2(config.errorString.startsWith(where), qPrintable(config.errorString));
        QCOMPARE(config.errorString.section(QStringLiteral(": "), 1).isEmpty(), where.isNull());
    }

    void colours_data()
    {
        QTest::addColumn<QString>("path"); // DIR: the test's folder
        QTest::addColumn<int>("size");     // of the file written at DIR/radar.bin
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<bool>("coloured"); // false: the word is 0
        const QString radar = QStringLiteral("DIR/radar.bin");
        const int full = int(RadarColours::fullFileSize);
        QTest::newRow("last id") << radar << full << 0xFFFF << true << true;
        QTest::newRow("last id, last byte missing") << radar << full - 1 << 0xFFFF << true << false;
        QTest::newRow("untrimmed") << " " + radar << full << 7 << false << false;
    }

    // Read whole when opened: a failed open leaves the colours closed, and the file cut short
    // afterwards by another program changes nothing.
    void colours()
    {
        QFETCH(QString, path);
        QFETCH(int, size);
        QFETCH(int, id);
        QFETCH(bool, opens);
        QFETCH(bool, coloured);
        const QString other = m_dir.filePath(QStringLiteral("other.bin"));
        const QString file = m_dir.filePath(QStringLiteral("radar.bin"));
        const QByteArray bytes = DemoData::radarColourBytes(3) + QByteArray(100, '\x55');
        QVERIFY(DemoData::writeFile(other, DemoData::radarColourBytes(4)));
        QVERIFY(DemoData::writeFile(file, bytes.left(size)));

        RadarColours colours;
        QVERIFY(colours.open(other));
        QCOMPARE(colours.open(path.replace(QStringLiteral("DIR"), m_dir.path())), opens);
        QCOMPARE(colours.isOpen(), opens);
        const quint16 word = coloured ? DemoData::radarWord(3, quint16(id)) : 0;
        QCOMPARE(colours.colourWord(quint16(id)), word);
        QVERIFY(QFile::resize(file, 0x8000));
        QCOMPARE(colours.colourWord(quint16(id)), word);
        colours.close();
        QCOMPARE(colours.colourWord(quint16(id)), quint16(0));
    }
};

QTEST_GUILESS_MAIN(ConfigurationTest)
#include "tst_configuration.moc"
