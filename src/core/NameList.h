#pragma once

#include <QByteArray>
#include <QStringList>

// A list of structure names dropped from another application under "korvath/multi": strings
// one after another in a little-endian data stream, with no count and nothing after the last.
namespace NameList {

extern const QString mimeType;

QByteArray encode(const QStringList &names);
// Reads names up to the end; a string cut short or corrupt ends the list there.
QStringList decode(const QByteArray &bytes);

// Whether name is usable as a file's base name inside a folder: not "." or "..", and holding
// no folder separator that would place the file elsewhere.
bool isSafeBaseName(const QString &name);

} // namespace NameList
