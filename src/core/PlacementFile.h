#pragma once

#include "PlacementDocument.h"

#include <QByteArray>
#include <QIODevice>

#include <functional>
#include <optional>

// The placement file: a small XML document, written byte for byte in one fixed layout and
// read leniently (any root name, any nesting, any attribute order, unknown names ignored).
namespace PlacementFile {

// Why a read failed.
enum class ReadFailure {
    NotXml,   // not well-formed, or refused by a limit below
    NoImage,  // well-formed, but no Image element below the root names the terrain image
    Cancelled // the progress callback asked to stop
};

// Larger files are refused before a byte of them is read.
constexpr qint64 maximumFileSize = qint64(1) << 30;
// Elements nested deeper are refused; the root element is at depth 1.
constexpr int maximumDepth = 1000;

// The file's bytes, or nullopt with *error set when a path holds a character that an XML
// document cannot carry at all (a control character other than tab, line feed and carriage
// return, or a lone surrogate): such a path would not read back as written.
std::optional<QByteArray> write(const PlacementDocument &document, QString *error = nullptr);

// The document read from device in one pass, or nullopt with *error saying where and why
// ("line L, column C: reason") and *failure saying what kind of failure it was. Refused: what
// is not well-formed XML, a document type declaration (entities are neither expanded nor
// fetched), elements nested deeper than maximumDepth, and a device holding more than
// maximumFileSize bytes from its position on (a sequential device, whose size is unknown, is
// cut off once that many characters have gone by). The first Image element below the root, in
// document order, names the terrain image; every MLT element below the root is a placement.
// progress, when set, is called every few thousand elements with the bytes read so far; when
// it returns false the read stops, *error is "cancelled" and *failure Cancelled. placementRead,
// when set, is called with each placement as its element ends, when nothing of it can change
// any more, so that work on it can start while the rest of the file is read.
std::optional<PlacementDocument>
read(QIODevice &device, QString *error = nullptr, ReadFailure *failure = nullptr,
     const std::function<bool(qint64)> &progress = {},
     const std::function<void(const Placement &)> &placementRead = {});

// The same for a file's bytes.
std::optional<PlacementDocument> read(const QByteArray &bytes, QString *error = nullptr,
                                      ReadFailure *failure = nullptr);

// Placements alone, as a placement file records them but without its Image element: what the
// clipboard carries. Nullopt with *error set as write() does.
std::optional<QByteArray> writePlacements(const QList<Placement> &placements,
                                          QString *error = nullptr);
// The placements of such bytes (or of a whole placement file), read as read() does but needing
// no Image element; nullopt with *error saying where and why.
std::optional<QList<Placement>> readPlacements(const QByteArray &bytes, QString *error = nullptr);

// Puts bytes in place of the file at path, all or nothing (QSaveFile): false with *error set when
// they could not all be written, the previous file then intact.
bool saveBytes(const QString &path, const QByteArray &bytes, QString *error = nullptr);

// The text of one "Item is at" line for a placement at position, without the line end.
QByteArray itemIsAtLine(const QPointF &position);

} // namespace PlacementFile
