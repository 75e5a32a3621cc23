#pragma once

#include "PlacementDocument.h"

#include <QByteArray>
#include <QIODevice>

#include <functional>

#include <optional>

// The placement file: a small XML document, written byte for byte in one fixed layout and
// read leniently (any root name, any nesting, any attribute order, unknown names ignored).
namespace PlacementFile {

// The file's bytes, or nullopt with *error set when a path holds a character that an XML
// document cannot carry at all (a control character other than tab, line feed and carriage
// return, or a lone surrogate): such a path would not read back as written.
std::optional<QByteArray> write(const PlacementDocument &document, QString *error = nullptr);

enum class ReadFailure { NotXml, NoImage, Cancelled };
std::optional<PlacementDocument> read(QIODevice &device, QString *error = nullptr,
                                      ReadFailure *failure = nullptr,
                                      const std::function<bool(qint64)> &progress = {});

// The document in bytes, or nullopt with *error saying where and why when the bytes are not
// well-formed XML or hold no Image element.
std::optional<PlacementDocument> read(const QByteArray &bytes, QString *error = nullptr);

// The text of one "Item is at" line for a placement at position, without the line end.
QByteArray itemIsAtLine(const QPointF &position);

} // namespace PlacementFile
