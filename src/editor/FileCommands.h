#pragma once

#include <QObject>
#include <QString>

class MapDocument;
class MapSession;
class QSettings;
class QWidget;

// The File commands on the session's map, as the user meets them: the unsaved-changes prompt,
// the file dialogs, the warnings, the wait cursor and the progress of a long open or export.
// The reading and writing itself is the session's, the document's and the placement file's.
class FileCommands : public QObject
{
    Q_OBJECT

public:
    // Dialogs and warnings show over window.
    FileCommands(MapSession *session, QWidget *window);

    // How long an open runs before it shows its progress: half a second unless set.
    void setProgressDelay(int ms) { m_progressDelayMs = ms; }
    // Where the file dialogs remember the folder they were last left in; none forgets it. The
    // settings must outlive the commands or be replaced first.
    void setSettings(QSettings *settings) { m_settings = settings; }

    // Offers to save unsaved changes: false when the user cancelled, or chose to save and
    // the save did not happen, so the command asking should stop.
    bool maybeSave();
    // Saves unsaved changes, asking for a file name when the map has none yet; false when
    // nothing was saved (the user cancelled, or the save failed).
    bool save();
    // Saves under a name the user chooses; false when nothing was saved.
    bool saveAs();
    void newMap();
    void open();
    // Closes the map, asking first about unsaved changes; false when it stays open.
    bool close();
    // Draws the map into a PNG file the user chooses.
    void exportImage();

    // Opens the placement file at path as Open does once the file is chosen: one that cannot
    // be read is refused with a warning, and the map open before stays.
    void openFile(const QString &path);

    // Reads the placement file at path into the document, rendering its structures; false,
    // with the map untouched and *error set, when the file cannot be read, is not a placement
    // file, or the user cancelled.
    bool readPlacementFile(const QString &path, QString *error = nullptr);
    // Writes the document to path and prints where each structure is; false with *error set
    // when it could not be saved (the previous file then stays intact).
    bool writePlacementFile(const QString &path, QString *error = nullptr);
    // Writes the map's image to the PNG file at path, showing the progress of a large map;
    // false with *error set when it was not written (the previous file then stays intact), or
    // empty when the user cancelled.
    bool writeImageFile(const QString &path, QString *error = nullptr);

    // Maps of more pixels than this show the progress of an export, which can be cancelled.
    static constexpr qint64 exportProgressPixels = qint64(2048) * 2048;

signals:
    // The map was opened from, or saved to, the placement file at path.
    void mapFileUsed(const QString &path);

private:
    // Writes to path, offering Save As when that fails.
    bool saveTo(const QString &path);
    QString askSaveFileName();
    QString askImageFileName();
    // The folder the dialog named key was last left in, else fallback.
    QString dialogFolder(const QString &key, const QString &fallback = QString()) const;
    // Remembers folder as the one the dialog named key was left in.
    void rememberFolder(const QString &key, const QString &folder);

    MapSession *m_session;
    MapDocument *m_document;
    QWidget *m_window;
    QSettings *m_settings = nullptr;
    int m_progressDelayMs = 500;
};
