#pragma once

#include "core/PlacementDocument.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The placement file reader as it once was, built on QDomDocument: slow and quadratic in the
// nesting depth, but plain to read. The fuzz targets and the tests hold the streaming reader
// in src/core/PlacementFile.cpp to it.
namespace DomPlacementReader {

// The document in bytes, or nullopt with *error saying where and why when the bytes are not
// well-formed XML or hold no Image element below the root.
std::optional<PlacementDocument> read(const QByteArray &bytes, QString *error = nullptr);

} // namespace DomPlacementReader
