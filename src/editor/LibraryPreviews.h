#pragma once

#include <QCache>
#include <QCoreApplication>
#include <QDateTime>
#include <QString>

class QWidget;
class RadarColours;

// What the library's views show of a structure file: its preview in a tooltip, scaled to fit
// (kept until the file changes), and the drag that carries it as a structure payload.
class LibraryPreviews
{
    Q_DECLARE_TR_FUNCTIONS(LibraryPreviews)

public:
    LibraryPreviews();

    // The colours previews are rendered in; null renders every tile black. The colours must
    // outlive this or be replaced first.
    void setRadarColours(const RadarColours *colours);
    // The tooltip of the structure file at path: its preview, or why there is none.
    QString toolTip(const QString &path);
    // Renders the structure at path and drags it from source; nothing when it cannot be
    // rendered.
    void startDrag(QWidget *source, const QString &path) const;

private:
    struct ToolTip
    {
        QDateTime modified; // of the file the text was made from
        qint64 size = 0;
        QString text;
    };
    const RadarColours *m_radarColours = nullptr;
    QCache<QString, ToolTip> m_toolTips; // by path, costs in KiB
};
