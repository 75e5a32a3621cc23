#include "LibraryPreviews.h"

#include "core/RadarColours.h"
#include "core/StructurePayload.h"
#include "core/StructurePreview.h"

#include <QApplication>
#include <QBuffer>
#include <QDrag>
#include <QFileInfo>
#include <QWidget>

#include <algorithm>

namespace {

// Tooltip previews are at most this large a side; smaller ones are magnified a whole number of
// times towards half of it, so that a structure of a few cells can be made out.
constexpr int toolTipSide = 256;
// The tooltips kept, in KiB: an image of the largest size takes a few hundred.
constexpr int toolTipCacheKiB = 16 * 1024;

QImage toolTipImage(const QImage &preview)
{
    const int side = std::max(preview.width(), preview.height());
    if (side > toolTipSide) {
        const auto fit = [side](int length) {
            return std::max(1, (length * toolTipSide + side / 2) / side);
        };
        return preview.scaled(fit(preview.width()), fit(preview.height()), Qt::IgnoreAspectRatio,
                              Qt::SmoothTransformation);
    }
    const int factor = std::max(1, toolTipSide / 2 / side);
    return preview.scaled(preview.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

} // namespace

LibraryPreviews::LibraryPreviews() : m_toolTips(toolTipCacheKiB) {}

void LibraryPreviews::setRadarColours(const RadarColours *colours)
{
    m_radarColours = colours;
    m_toolTips.clear();
}

QString LibraryPreviews::toolTip(const QString &path)
{
    const QFileInfo file(path); // afresh: a view's may be older than the file
    if (const ToolTip *kept = m_toolTips.object(path)) {
        if (kept->modified == file.lastModified() && kept->size == file.size())
            return kept->text;
    }
    const RadarColours closed;
    QImage preview;
    QPoint offset;
    QRect region;
    QString reason;
    auto *tip = new ToolTip{file.lastModified(), file.size(), QString()};
    const QString name = file.fileName().toHtmlEscaped();
    if (!renderStructurePreview(path, m_radarColours ? *m_radarColours : closed, preview, offset,
                                region, &reason)) {
        tip->text = tr("<qt>%1 cannot be rendered: %2</qt>").arg(name, reason.toHtmlEscaped());
    } else {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        toolTipImage(preview).save(&buffer, "PNG");
        const QString caption =
            tr("%1  %2 x %3 cells")
                .arg(name, QString::number(region.width()), QString::number(region.height()));
        tip->text = QStringLiteral("<qt><p style=\"white-space:pre\">%1</p>"
                                   "<p><img src=\"data:image/png;base64,%2\"></p></qt>")
                        .arg(caption, QString::fromLatin1(png.toBase64()));
    }
    const QString text = tip->text;
    m_toolTips.insert(path, tip, int(text.size() / 512) + 1);
    return text;
}

void LibraryPreviews::startDrag(QWidget *source, const QString &path) const
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    StructurePayload payload;
    payload.path = path;
    const RadarColours closed;
    if (!renderStructurePreview(path, m_radarColours ? *m_radarColours : closed, payload.image,
                                payload.offset, payload.region)) {
        QApplication::restoreOverrideCursor();
        return;
    }
    auto *drag = new QDrag(source);
    drag->setMimeData(payload.toMimeData());
    drag->exec(Qt::CopyAction);
    QApplication::restoreOverrideCursor();
}
