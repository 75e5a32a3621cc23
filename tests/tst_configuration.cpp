// The configuration file that names the radar colour file, and reading colour words from it.

#include "DemoData.h"

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
    RadarColours m_colours;

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        return DemoData::writeFile(path, bytes) ? path : QString();
    }
    // A generated radar colour file: tile id's colour word is DemoData::radarWord(3, id).
    QString writeRadar(const QString &name) { return write(name, DemoData::radarColourBytes(3)); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void pathNextToExecutable()
    {
        QCOMPARE(Configuration::pathNextTo(QStringLiteral("/opt/valdrune")),
                 QStringLiteral("/opt/valdrune/dunmarra.xml"));
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
        row("blanks and line breaks kept", "<c><Radarcol>  /r.bin\n\t</Radarcol></c>", true,
            "  /r.bin\n\t");
        row("several: the last wins",
            "<c><Radarcol/><Radarcol>/a</Radarcol><Radarcol>/b</Radarcol></c>", true, "/b");
        row("the last one's first child not text",
            "<c><Radarcol>/a</Radarcol><Radarcol><!-- old -->/b</Radarcol></c>", true, {});
        row("entities, relative path unresolved", "<c><Radarcol>d/../a&amp;b&lt;</Radarcol></c>",
            true, "d/../a&b<");
        row("UTF-8", "<c><Radarcol>/d\xC3\xA6r/\xE5\x9F\x8E</Radarcol></c>", true,
            QStringLiteral("/d\u00E6r/\u57CE"));
        row("declared Latin-1",
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><c><Radarcol>/d\xE6r</Radarcol></c>",
            true, QStringLiteral("/d\u00E6r"));
        row("unclosed element", "<c>\n<Radarcol>/x\n</c>\n", false, {}, "line 3, column ");
        row("stray ampersand", "<c>\n  <Radarcol>/a&b</Radarcol>\n</c>", false, {},
            "line 2, column ");
        row("empty file", "", false, {}, "line ");
    }

    void read()
    {
        QFETCH(QByteArray, xml);
        QFETCH(bool, hasRadarFile);
        QFETCH(QString, path);
        QFETCH(QString, where);
        QBuffer buffer(&xml);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        for (const Configuration &config :
             {Configuration::read(write(QStringLiteral("dunmarra.xml"), xml)),
              Configuration::read(buffer)}) {
            QCOMPARE(config.status,
                     where.isNull() ? Configuration::Ok : Configuration::NotWellFormed);
            QCOMPARE(config.hasRadarFile, hasRadarFile);
            QCOMPARE(config.radarFilePath, path);
            // Where reading failed, then why.
            QVERIFY2(config.errorString.startsWith(where), qPrintable(config.errorString));
            QCOMPARE(config.errorString.section(QStringLiteral(": "), 1).isEmpty(), where.isNull());
        }
    }

    void missingFile()
    {
        const Configuration config =
            Configuration::read(m_dir.filePath(QStringLiteral("absent/dunmarra.xml")));
        QCOMPARE(config.status, Configuration::CannotOpen);
        QVERIFY(!config.hasRadarFile && config.radarFilePath.isEmpty());
        QVERIFY(!config.errorString.isEmpty());
    }

    void radarFileNamedByConfiguration()
    {
        const QString radarPath = writeRadar(QStringLiteral("colours & <more>/radar.bin"));
        const Configuration config = Configuration::read(
            write(QStringLiteral("dunmarra.xml"), DemoData::configurationBytes(radarPath)));
        QCOMPARE(config.radarFilePath, radarPath);
        QVERIFY(m_colours.open(config.radarFilePath));
        for (const quint16 id : {0x0100, 0x0101, 0x0102, 0xFFFF})
            QCOMPARE(m_colours.colourWord(id), DemoData::radarWord(3, id));
    }

    void openRadarFile_data()
    {
        QTest::addColumn<QString>("folder"); // the working directory, in the temporary one
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("opens");
        QTest::newRow("relative to the working directory")
            << "work" << QStringLiteral("colours/radar.bin") << true;
        QTest::newRow("relative, elsewhere") << "." << QStringLiteral("colours/radar.bin") << false;
        QTest::newRow("empty") << "work" << QString() << false;
        QTest::newRow("missing") << "work" << QStringLiteral("/no/such/radar.bin") << false;
        QTest::newRow("untrimmed") << "work" << QStringLiteral(" colours/radar.bin") << false;
    }

    void openRadarFile()
    {
        QFETCH(QString, folder);
        QFETCH(QString, path);
        QFETCH(bool, opens);
        // Open beforehand: a failed open must leave nothing readable.
        QVERIFY(m_colours.open(writeRadar(QStringLiteral("work/colours/radar.bin"))));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.filePath(folder)));
        const bool opened = m_colours.open(path);
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(opened, opens);
        QCOMPARE(m_colours.isOpen(), opens);
        QCOMPARE(m_colours.colourWord(0x0101), quint16(opens ? DemoData::radarWord(3, 0x0101) : 0));
    }
};

QTEST_GUILESS_MAIN(ConfigurationTest)
#include "tst_configuration.moc"
