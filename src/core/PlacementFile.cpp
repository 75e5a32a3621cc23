#include "PlacementFile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QSaveFile>
#include <QSet>
#include <QXmlStreamReader>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>

namespace PlacementFile {
namespace {

// XML 1.0 carries every character except most C0 controls, lone surrogates, U+FFFE and
// U+FFFF; those cannot be written even as character references.
bool isXmlCharacter(char32_t c)
{
    if (c < 0x20)
        return c == 0x09 || c == 0x0A || c == 0x0D;
    if (c >= 0xD800 && c <= 0xDFFF)
        return false;
    return c != 0xFFFE && c != 0xFFFF && c <= 0x10FFFF;
}

void appendUtf8(std::string &out, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    out.append(utf8.constData(), size_t(utf8.size()));
}

// Whether text goes into the file as it is: nothing to escape, nothing a reader would lose.
// This is the common case, and checking it is much cheaper than escaping.
bool isPlainText(const QString &text)
{
    const char16_t *p = reinterpret_cast<const char16_t *>(text.constData());
    const char16_t *end = p + text.size();
    // Leading white space only matters when nothing else follows.
    while (p != end && QChar(*p).isSpace()) {
        if (*p < 0x20)
            return false;
        ++p;
    }
    if (p == end)
        return text.isEmpty();
    for (; p != end; ++p) {
        const char16_t u = *p;
        if (u < 0x3F) {
            if (u < 0x20 || u == '&' || u == '<' || u == '>')
                return false;
        } else if (u >= 0xD800 && (u <= 0xDFFF || u >= 0xFFFE)) {
            return false;
        }
    }
    return true;
}

// Escapes the ampersand and the less-than sign as the file always has, plus what would not
// survive a reader otherwise: the ">" of a "]]>", carriage returns (a reader turns them into
// line feeds) and a text made only of white space (a reader drops it, but keeps it in a CDATA
// section).
bool appendText(std::string &out, const QString &text, QString *error)
{
    if (isPlainText(text)) {
        appendUtf8(out, text);
        return true;
    }
    bool onlySpace = !text.isEmpty();
    for (const QChar c : text) {
        if (!c.isSpace()) {
            onlySpace = false;
            break;
        }
    }
    QString escaped;
    escaped.reserve(text.size() + 8);
    // Code points, a lone surrogate kept as it is (toUcs4 would turn it into U+FFFD).
    QList<uint> codes;
    codes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            codes.append(QChar::surrogateToUcs4(c, text.at(++i)));
        else
            codes.append(c.unicode());
    }
    for (int i = 0; i < codes.size(); ++i) {
        const char32_t c = codes[i];
        if (!isXmlCharacter(c)) {
            if (error)
                *error = QCoreApplication::translate(
                             "PlacementFile", "the path \"%1\" holds the character U+%2, which a "
                                              "placement file cannot store")
                             .arg(text)
                             .arg(uint(c), 4, 16, QLatin1Char('0'));
            return false;
        }
        if (onlySpace)
            continue;
        switch (c) {
        case '&':
            escaped += QLatin1String("&amp;");
            break;
        case '<':
            escaped += QLatin1String("&lt;");
            break;
        case '\r':
            escaped += QLatin1String("&#13;");
            break;
        case '>':
            if (i >= 2 && codes[i - 1] == ']' && codes[i - 2] == ']')
                escaped += QLatin1String("&gt;");
            else
                escaped += QLatin1Char('>');
            break;
        default:
            escaped += QChar::fromUcs4(c);
        }
    }
    if (onlySpace) {
        // Inside a CDATA section a carriage return would still read back as a line feed.
        if (text.contains(QLatin1Char('\r'))) {
            if (error)
                *error =
                    QCoreApplication::translate(
                        "PlacementFile", "the path \"%1\" is made only of white space and holds a "
                                         "carriage return, which a placement file cannot store")
                        .arg(text);
            return false;
        }
        out += "<![CDATA[";
        appendUtf8(out, text);
        out += "]]>";
        return true;
    }
    appendUtf8(out, escaped);
    return true;
}

void appendNumber(std::string &out, qint64 value)
{
    char digits[24];
    char *end = digits + sizeof digits;
    char *p = end;
    quint64 magnitude = value < 0 ? 0 - quint64(value) : quint64(value);
    do {
        *--p = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0)
        *--p = '-';
    out.append(p, size_t(end - p));
}

// A position as the file holds it: truncated toward zero.
qint64 integer(double value)
{
    const double truncated = std::trunc(value);
    if (!(truncated >= double(std::numeric_limits<qint64>::min()) &&
          truncated < double(std::numeric_limits<qint64>::max())))
        return 0;
    return qint64(truncated);
}

template <size_t N> void appendAttribute(std::string &out, const char (&name)[N], qint64 value)
{
    out += ' ';
    out.append(name, N - 1);
    out.append("=\"", 2);
    appendNumber(out, value);
    out += '"';
}

// Missing or malformed numbers read as 0. The smallest int is left out so that a width read
// from the file always leaves a rectangle whose edges and width fit an int.
int number(QStringView text)
{
    // Up to nine digits after an optional minus sign read here: the common case, and much
    // cheaper than QStringView::toInt, which reads everything else.
    const qsizetype size = text.size();
    const qsizetype first = size > 0 && text[0] == u'-' ? 1 : 0;
    if (size == first || size - first > 9)
        return qMax(text.toInt(), std::numeric_limits<int>::min() + 1);
    int value = 0;
    for (qsizetype i = first; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return qMax(text.toInt(), std::numeric_limits<int>::min() + 1);
        value = value * 10 + (c - u'0');
    }
    return first ? -value : value;
}

// Compared here rather than through QStringView's operator==, which is no inline function:
// most names in a file differ from the wanted one in length.
template <size_t N> bool is(QStringView name, const char16_t (&wanted)[N])
{
    if (name.size() != qsizetype(N - 1))
        return false;
    for (size_t i = 0; i + 1 < N; ++i) {
        if (name[qsizetype(i)] != wanted[i])
            return false;
    }
    return true;
}

std::nullopt_t refuse(QString *error, ReadFailure *failure, ReadFailure kind,
                      const QString &message)
{
    if (error)
        *error = message;
    if (failure)
        *failure = kind;
    return std::nullopt;
}

QString errorAt(qint64 line, qint64 column, const QString &reason)
{
    return QCoreApplication::translate("PlacementFile", "line %1, column %2: %3")
        .arg(line)
        .arg(column)
        .arg(reason);
}

// Reads what reader delivers in one pass. The rules are those of a document tree built from
// the same XML: a text is an element's first child node, where the tree keeps a run of
// characters only when it is a CDATA section or holds more than white space (as QChar has it);
// comments, processing instructions and elements are child nodes that are not texts.
// carryOn, when set, is called every few thousand elements; when it returns false the read
// stops, refused for the reason it gave, or else cancelled. placementRead, when set, is called
// with each placement as its element ends.
std::optional<PlacementDocument>
readStream(QXmlStreamReader &reader, QString *error, ReadFailure *failure,
           const std::function<bool(QString *reason)> &carryOn,
           const std::function<void(const Placement &)> &placementRead = {}, bool needsImage = true)
{
    reader.setNamespaceProcessing(false);
    const auto refuseHere = [&](const QString &reason) {
        return refuse(error, failure, ReadFailure::NotXml,
                      errorAt(reader.lineNumber(), reader.columnNumber(), reason));
    };
    PlacementDocument document;
    QSet<QString> paths; // equal structure paths share one string
    // Who waits for the text of its first child: the Image element, the File element of a
    // placement, or no one.
    constexpr qsizetype noOne = -2;
    constexpr qsizetype theImage = -1;
    qsizetype awaitingText = noOne;
    const auto takeText = [&](QStringView text) {
        if (awaitingText == theImage) {
            document.terrainPath = text.toString();
        } else if (awaitingText >= 0 && !text.isEmpty()) {
            const QString path = text.toString();
            auto known = paths.constFind(path);
            if (known == paths.constEnd())
                known = paths.insert(path);
            document.placements[awaitingText].structurePath = *known;
        }
        awaitingText = noOne;
    };
    // For each open element, the index of its placement when it is an MLT below the root.
    std::vector<qsizetype> open;
    open.reserve(64);
    bool haveImage = false;
    int elements = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            takeText({});
            if (open.size() >= size_t(maximumDepth))
                return refuseHere(
                    QCoreApplication::translate("PlacementFile", "elements nested deeper than %1")
                        .arg(maximumDepth));
            qsizetype placement = -1;
            if (!open.empty()) {
                const QStringView name = reader.qualifiedName();
                // Held here: a loop over the temporary would copy the list to own it.
                const QXmlStreamAttributes attributes = reader.attributes();
                const qsizetype parent = open.back();
                if (is(name, u"MLT")) {
                    placement = document.placements.size();
                    Placement &added = document.placements.emplace_back();
                    for (const QXmlStreamAttribute &attribute : std::as_const(attributes)) {
                        if (is(attribute.qualifiedName(), u"Invisible"))
                            added.invisible = is(attribute.value(), u"True");
                    }
                } else if (is(name, u"Image")) {
                    if (!haveImage) {
                        haveImage = true;
                        awaitingText = theImage;
                    }
                } else if (parent >= 0 && is(name, u"Location")) {
                    int x = 0, y = 0, offsetX = 0, offsetY = 0;
                    for (const QXmlStreamAttribute &attribute : std::as_const(attributes)) {
                        const QStringView key = attribute.qualifiedName();
                        if (is(key, u"X"))
                            x = number(attribute.value());
                        else if (is(key, u"Y"))
                            y = number(attribute.value());
                        else if (is(key, u"OffsetX"))
                            offsetX = number(attribute.value());
                        else if (is(key, u"OffsetY"))
                            offsetY = number(attribute.value());
                    }
                    Placement &item = document.placements[parent];
                    item.position = QPointF(x, y);
                    item.offset = QPoint(offsetX, offsetY);
                } else if (parent >= 0 && is(name, u"File")) {
                    int width = 0, height = 0;
                    for (const QXmlStreamAttribute &attribute : std::as_const(attributes)) {
                        const QStringView key = attribute.qualifiedName();
                        if (is(key, u"RegionX"))
                            width = number(attribute.value());
                        else if (is(key, u"RegionY"))
                            height = number(attribute.value());
                    }
                    Placement &item = document.placements[parent];
                    item.region = QRect(0, 0, width, height);
                    item.structurePath = QString();
                    awaitingText = parent;
                }
            }
            open.push_back(placement);
            if (++elements == 4096) {
                elements = 0;
                QString reason;
                if (carryOn && !carryOn(&reason)) {
                    if (!reason.isEmpty())
                        return refuseHere(reason);
                    return refuse(error, failure, ReadFailure::Cancelled,
                                  QStringLiteral("cancelled"));
                }
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            takeText({});
            if (open.back() >= 0 && placementRead)
                placementRead(document.placements[open.back()]);
            open.pop_back();
            break;
        case QXmlStreamReader::Characters:
            if (awaitingText != noOne && (reader.isCDATA() || !reader.text().trimmed().isEmpty()))
                takeText(reader.text());
            break;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
        case QXmlStreamReader::EntityReference:
            takeText({});
            break;
        case QXmlStreamReader::DTD:
            // Entities are neither expanded nor fetched: the declaration is refused outright.
            return refuseHere(QCoreApplication::translate(
                "PlacementFile", "a placement file holds no document type declaration"));
        default:
            break;
        }
    }
    if (reader.hasError())
        return refuseHere(reader.errorString());
    if (!haveImage && needsImage)
        return refuse(error, failure, ReadFailure::NoImage,
                      QCoreApplication::translate("PlacementFile",
                                                  "no Image element names the terrain image"));
    return document;
}

QString tooLarge()
{
    return QCoreApplication::translate(
        "PlacementFile", "the file is larger than the 1 GiB a placement file may hold");
}

// Appends each placement's MLT element.
bool appendPlacements(std::string &out, const QList<Placement> &placements, QString *error)
{
    for (const Placement &placement : placements) {
        out += "\t<MLT";
        out += placement.invisible ? " Invisible=\"True\"" : " Invisible=\"False\"";
        out += ">\n\t\t<Location";
        appendAttribute(out, "X", integer(placement.position.x()));
        appendAttribute(out, "Y", integer(placement.position.y()));
        appendAttribute(out, "OffsetX", placement.offset.x());
        appendAttribute(out, "OffsetY", placement.offset.y());
        out += " />\n\t\t<File";
        appendAttribute(out, "RegionX", placement.region.width());
        appendAttribute(out, "RegionY", placement.region.height());
        out += '>';
        if (!appendText(out, placement.structurePath, error))
            return false;
        out += "</File>\n\t</MLT>\n";
    }
    return true;
}

const char header[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<Valdrune>\n";
const char footer[] = "</Valdrune>\n";

} // namespace

std::optional<QByteArray> write(const PlacementDocument &document, QString *error)
{
    // Built in a std::string: appending to it is much cheaper than to a QByteArray.
    std::string out;
    out.reserve(128 + document.placements.size() * (160 + 2 * 64));
    out += header;
    out += "\t<Image>";
    if (!appendText(out, document.terrainPath, error))
        return std::nullopt;
    out += "</Image>\n";
    if (!appendPlacements(out, document.placements, error))
        return std::nullopt;
    out += footer;
    return QByteArray(out.data(), qsizetype(out.size()));
}

std::optional<QByteArray> writePlacements(const QList<Placement> &placements, QString *error)
{
    std::string out;
    out.reserve(128 + placements.size() * (160 + 2 * 64));
    out += header;
    if (!appendPlacements(out, placements, error))
        return std::nullopt;
    out += footer;
    return QByteArray(out.data(), qsizetype(out.size()));
}

std::optional<PlacementDocument> read(QIODevice &device, QString *error, ReadFailure *failure,
                                      const std::function<bool(qint64)> &progress,
                                      const std::function<void(const Placement &)> &placementRead)
{
    const bool sequential = device.isSequential();
    const qint64 start = sequential ? 0 : device.pos();
    if (!sequential && device.size() - start > maximumFileSize)
        return refuse(error, failure, ReadFailure::NotXml, errorAt(1, 0, tooLarge()));
    QXmlStreamReader reader(&device);
    // A sequential device cannot tell its size: the characters read so far stand in for bytes.
    return readStream(
        reader, error, failure,
        [&](QString *reason) {
            const qint64 sofar = sequential ? reader.characterOffset() : device.pos() - start;
            if (sequential && sofar > maximumFileSize) {
                *reason = tooLarge();
                return false;
            }
            return !progress || progress(sofar);
        },
        placementRead);
}

std::optional<PlacementDocument> read(const QByteArray &bytes, QString *error, ReadFailure *failure)
{
    if (bytes.size() > maximumFileSize)
        return refuse(error, failure, ReadFailure::NotXml, errorAt(1, 0, tooLarge()));
    QXmlStreamReader reader(bytes);
    return readStream(reader, error, failure, {});
}

std::optional<QList<Placement>> readPlacements(const QByteArray &bytes, QString *error)
{
    if (bytes.size() > maximumFileSize)
        return refuse(error, nullptr, ReadFailure::NotXml, errorAt(1, 0, tooLarge()));
    QXmlStreamReader reader(bytes);
    std::optional<PlacementDocument> document = readStream(reader, error, nullptr, {}, {}, false);
    if (!document)
        return std::nullopt;
    return std::move(document->placements);
}

bool saveBytes(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    // Unbuffered, so that a write cut short (disk full, file size limit) shows in write()'s
    // count: a buffered flush that stops part way is not reported, and commit() would put the
    // truncated file in place of the previous one.
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                         file.write(bytes) == bytes.size();
    if (!written)
        file.cancelWriting();
    if (!written || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QByteArray itemIsAtLine(const QPointF &position)
{
    char line[96];
    std::snprintf(line, sizeof line, "Item is at %g,%g", position.x(), position.y());
    return QByteArray(line);
}

} // namespace PlacementFile
