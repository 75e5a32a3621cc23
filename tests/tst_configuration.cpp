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
    void read_data()
    {
        QTest::addColumn<QByteArray>("xml"); // null: no file at all
        QTest::addColumn<bool>("hasRadarFile");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        const auto row = [](const char *name, const QByteArray &xml, bool has, QString path,
                            Configuration::Status status = Configuration::Ok) {
            QTest::newRow(name) << xml << has << path << int(status);
        };
        row("root of any name, other children around",
            "<?xml version=\"1.0\"?>\n<W><!-- x --><O>/x</O>t<Radarcol>/r.bin</Radarcol><O/></W>",
            true, "/r.bin");
        row("only the root, nested or in other letter case",
            "<Radarcol><g><Radarcol>/a</Radarcol></g><radarcol>/b</radarcol><RadarCol/></Radarcol>",
            false, {});
        row("several: the last wins, its first child not text",
            "<c><Radarcol>/a</Radarcol><Radarcol/><Radarcol><!--o-->/b</Radarcol></c>", true, {});
        row("unclosed element", "<c>\n<Radarcol>/x\n</c>", false, {}, Configuration::NotWellFormed);
        row("no file", {}, false, {}, Configuration::CannotOpen);
    }

    // An error says why.
    void read()
    {
        QFETCH(QByteArray, xml);
        QFETCH(bool, hasRadarFile);
        QFETCH(QString, path);
        QFETCH(int, status);
        const QString file = m_dir.filePath(xml.isNull() ? "absent/dunmarra.xml" : "dunmarra.xml");
        QVERIFY(xml.isNull() || DemoData::writeFile(file, xml));
        const Configuration config = Configuration::read(file);
        QVERIFY(config.status == status && config.hasRadarFile == hasRadarFile &&
                config.radarFilePath == path);
        QCOMPARE(config.errorString.isEmpty(), status == Configuration::Ok);
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
};

QTEST_GUILESS_MAIN(ConfigurationTest)
#include "tst_configuration.moc"
