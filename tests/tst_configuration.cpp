// The configuration file that names the radar colour file, and reading colour words from it.

#include "TestSupport.h"

#include "app/Configuration.h"
#include "app/RadarColours.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class ConfigurationTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString writeConfiguration(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("dunmarra.xml"));
        return DemoData::writeFile(path, bytes) ? path : QString();
    }

    // A radar colour file holding the bytes 0x34 0x12 as the colour word of tile id 0x0101.
    QByteArray radarBytes() const
    {
        QByteArray bytes(RadarColours::fullFileSize, '\0');
        bytes[0x8000 + 2 * 0x0101] = char(0x34);
        bytes[0x8000 + 2 * 0x0101 + 1] = char(0x12);
        return bytes;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void pathNextToExecutable()
    {
        QCOMPARE(Configuration::pathNextTo(QStringLiteral("/opt/valdrune")),
                 QStringLiteral("/opt/valdrune/dunmarra.xml"));
    }

    void radarcolElements_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<bool>("hasRadarFile");
        QTest::addColumn<QString>("path");

        QTest::newRow("root of any name")
            << QByteArray("<?xml version=\"1.0\"?>\n<Whatever>\n <Radarcol>/data/radar.bin"
                          "</Radarcol>\n</Whatever>\n")
            << true << QStringLiteral("/data/radar.bin");
        QTest::newRow("other children around it")
            << QByteArray("<c><!-- note --><Other>/x</Other>text<Radarcol>/r.bin</Radarcol>"
                          "<Other/></c>")
            << true << QStringLiteral("/r.bin");
        QTest::newRow("no Radarcol")
            << QByteArray("<c><Other>/x</Other></c>") << false << QString();
        QTest::newRow("nested one level deeper")
            << QByteArray("<c><group><Radarcol>/deep.bin</Radarcol></group></c>") << false
            << QString();
        QTest::newRow("letter case differs")
            << QByteArray("<c><radarcol>/a</radarcol><RADARCOL>/b</RADARCOL>"
                          "<RadarCol>/c</RadarCol></c>")
            << false << QString();
        QTest::newRow("root named Radarcol")
            << QByteArray("<Radarcol>/root.bin</Radarcol>") << false << QString();
        QTest::newRow("blanks and line breaks kept")
            << QByteArray("<c><Radarcol>  /data/radar.bin\n\t</Radarcol></c>") << true
            << QStringLiteral("  /data/radar.bin\n\t");
        QTest::newRow("first child a comment")
            << QByteArray("<c><Radarcol><!-- old -->/data/radar.bin</Radarcol></c>") << true
            << QString();
        QTest::newRow("first child an element")
            << QByteArray("<c><Radarcol><b>/x</b>/data/radar.bin</Radarcol></c>") << true
            << QString();
        QTest::newRow("empty element") << QByteArray("<c><Radarcol/></c>") << true << QString();
        QTest::newRow("two: the last wins")
            << QByteArray("<c><Radarcol>/first.bin</Radarcol><Radarcol>/second.bin</Radarcol>"
                          "</c>")
            << true << QStringLiteral("/second.bin");
        QTest::newRow("two: an empty last one wins")
            << QByteArray("<c><Radarcol>/first.bin</Radarcol><Radarcol/></c>") << true << QString();
        QTest::newRow("entities") << QByteArray("<c><Radarcol>/a&amp;b&lt;c</Radarcol></c>") << true
                                  << QStringLiteral("/a&b<c");
        QTest::newRow("relative path, unresolved")
            << QByteArray("<c><Radarcol>colours/../radar.bin</Radarcol></c>") << true
            << QStringLiteral("colours/../radar.bin");
        QTest::newRow("UTF-8") << QByteArray("<c><Radarcol>/d\xC3\xA6r/\xE5\x9F\x8E</Radarcol></c>")
                               << true << QStringLiteral("/d\u00E6r/\u57CE");
        QTest::newRow("declared Latin-1")
            << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
                          "<c><Radarcol>/d\xE6r</Radarcol></c>")
            << true << QStringLiteral("/d\u00E6r");
    }

    void radarcolElements()
    {
        QFETCH(QByteArray, xml);
        QFETCH(bool, hasRadarFile);
        QFETCH(QString, path);

        const Configuration fromFile = Configuration::read(writeConfiguration(xml));
        QCOMPARE(fromFile.status, Configuration::Ok);
        QCOMPARE(fromFile.hasRadarFile, hasRadarFile);
        QCOMPARE(fromFile.radarFilePath, path);

        QBuffer buffer(&xml);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const Configuration fromDevice = Configuration::read(buffer);
        QCOMPARE(fromDevice.status, Configuration::Ok);
        QCOMPARE(fromDevice.hasRadarFile, hasRadarFile);
        QCOMPARE(fromDevice.radarFilePath, path);
    }

    void missingFile()
    {
        const Configuration config =
            Configuration::read(m_dir.filePath(QStringLiteral("absent/dunmarra.xml")));
        QCOMPARE(config.status, Configuration::CannotOpen);
        QVERIFY(!config.hasRadarFile);
        QVERIFY(config.radarFilePath.isEmpty());
        QVERIFY(!config.errorString.isEmpty());
    }

    void notWellFormed_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("where");
        QTest::newRow("unclosed element")
            << QByteArray("<c>\n<Radarcol>/x\n</c>\n") << QStringLiteral("line 3, column ");
        QTest::newRow("two roots")
            << QByteArray("<a/>\n\n<b/>") << QStringLiteral("line 3, column ");
        QTest::newRow("stray ampersand") << QByteArray("<c>\n  <Radarcol>/a&b</Radarcol>\n</c>")
                                         << QStringLiteral("line 2, column ");
        QTest::newRow("empty file") << QByteArray() << QStringLiteral("line ");
        QTest::newRow("not XML at all")
            << QByteArray("radar.bin") << QStringLiteral("line 1, column ");
    }

    void notWellFormed()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, where);
        const Configuration config = Configuration::read(writeConfiguration(xml));
        QCOMPARE(config.status, Configuration::NotWellFormed);
        QVERIFY(!config.hasRadarFile);
        QVERIFY(config.radarFilePath.isEmpty());
        QVERIFY2(config.errorString.startsWith(where), qPrintable(config.errorString));
        // Beyond the position, a reason.
        QVERIFY2(config.errorString.section(QStringLiteral(": "), 1).size() > 0,
                 qPrintable(config.errorString));
    }

    void radarFileNamedByConfiguration()
    {
        const QString radarPath = m_dir.filePath(QStringLiteral("colours & more/radar.bin"));
        QVERIFY(DemoData::writeFile(radarPath, radarBytes()));
        const Configuration config =
            Configuration::read(writeConfiguration(DemoData::configurationBytes(radarPath)));
        QCOMPARE(config.status, Configuration::Ok);
        QCOMPARE(config.radarFilePath, radarPath);

        QVERIFY(RadarColours::openRadarFile(config.radarFilePath));
        QVERIFY(radarFile.isOpen());
        QCOMPARE(radarFile.openMode(), QIODevice::ReadOnly);
        QCOMPARE(RadarColours::colourWord(0x0101), quint16(0x1234));
        QCOMPARE(RadarColours::colourWord(0x0100), quint16(0));
        QCOMPARE(RadarColours::colourWord(0x0102), quint16(0));
        QCOMPARE(RadarColours::colourWord(0xFFFF), quint16(0));
    }

    void relativeRadarPath()
    {
        const QString before = QDir::currentPath();
        QVERIFY(DemoData::writeFile(m_dir.filePath(QStringLiteral("work/colours/radar.bin")),
                                    radarBytes()));
        const Configuration config = Configuration::read(
            writeConfiguration("<c><Radarcol>colours/radar.bin</Radarcol></c>"));
        QCOMPARE(config.radarFilePath, QStringLiteral("colours/radar.bin"));

        // Resolved against the working directory, wherever the configuration lies.
        QVERIFY(QDir::setCurrent(m_dir.filePath(QStringLiteral("work"))));
        const bool opened = RadarColours::openRadarFile(config.radarFilePath);
        const quint16 word = RadarColours::colourWord(0x0101);
        QVERIFY(QDir::setCurrent(m_dir.path()));
        const bool openedElsewhere = RadarColours::openRadarFile(config.radarFilePath);
        QVERIFY(QDir::setCurrent(before));

        QVERIFY(opened);
        QCOMPARE(word, quint16(0x1234));
        QVERIFY(!openedElsewhere);
        QVERIFY(!radarFile.isOpen());
        QCOMPARE(RadarColours::colourWord(0x0101), quint16(0));
    }

    void unopenableRadarFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("empty") << QString();
        QTest::newRow("missing") << QStringLiteral("/no/such/radar.bin");
        QTest::newRow("untrimmed") << QStringLiteral("  ") + m_dir.filePath("ok.bin");
    }

    void unopenableRadarFile()
    {
        QFETCH(QString, path);
        QVERIFY(DemoData::writeFile(m_dir.filePath("ok.bin"), radarBytes()));
        QVERIFY(RadarColours::openRadarFile(m_dir.filePath("ok.bin")));
        QVERIFY(!RadarColours::openRadarFile(path));
        QVERIFY(!radarFile.isOpen());
        QCOMPARE(RadarColours::colourWord(0x0101), quint16(0));
    }
};

QTEST_GUILESS_MAIN(ConfigurationTest)
#include "tst_configuration.moc"
