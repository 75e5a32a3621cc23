#include "PlacementFile.h"

#include <QDomDocument>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

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
                *error = QStringLiteral("the path \"%1\" holds the character U+%2, which a "
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
                *error = QStringLiteral("the path \"%1\" is made only of white space and holds a "
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
int intAttribute(const QDomElement &element, const QString &name)
{
    return qMax(element.attribute(name).toInt(), std::numeric_limits<int>::min() + 1);
}

} // namespace

namespace PlacementFile {

std::optional<QByteArray> write(const PlacementDocument &document, QString *error)
{
    // Built in a std::string: appending to it is much cheaper than to a QByteArray.
    std::string out;
    out.reserve(128 + document.placements.size() * (160 + 2 * 64));
    out += "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n";
    out += "<Valdrune>\n";
    out += "\t<Image>";
    if (!appendText(out, document.terrainPath, error))
        return std::nullopt;
    out += "</Image>\n";
    for (const Placement &placement : document.placements) {
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
            return std::nullopt;
        out += "</File>\n\t</MLT>\n";
    }
    out += "</Valdrune>\n";
    return QByteArray(out.data(), qsizetype(out.size()));
}

std::optional<PlacementDocument> read(const QByteArray &bytes, QString *error)
{
    QDomDocument dom;
    QString message;
    int line = 0;
    int column = 0;
    if (!dom.setContent(bytes, false, &message, &line, &column)) {
        if (error)
            *error = QStringLiteral("line %1, column %2: %3").arg(line).arg(column).arg(message);
        return std::nullopt;
    }
    const QDomElement root = dom.documentElement();
    const QDomNodeList images = root.elementsByTagName(QStringLiteral("Image"));
    if (images.isEmpty()) {
        if (error)
            *error = QStringLiteral("no Image element names the terrain image");
        return std::nullopt;
    }

    PlacementDocument document;
    document.terrainPath = images.item(0).firstChild().toText().data();

    const QDomNodeList items = root.elementsByTagName(QStringLiteral("MLT"));
    document.placements.reserve(items.size());
    for (int i = 0; i < items.size(); ++i) {
        const QDomElement element = items.item(i).toElement();
        Placement placement;
        placement.region = QRect(0, 0, 0, 0);
        placement.invisible =
            element.attribute(QStringLiteral("Invisible")) == QLatin1String("True");
        for (QDomNode node = element.firstChild(); !node.isNull(); node = node.nextSibling()) {
            const QDomElement child = node.toElement();
            if (child.isNull())
                continue;
            if (child.tagName() == QLatin1String("Location")) {
                placement.position = QPointF(intAttribute(child, QStringLiteral("X")),
                                             intAttribute(child, QStringLiteral("Y")));
                placement.offset = QPoint(intAttribute(child, QStringLiteral("OffsetX")),
                                          intAttribute(child, QStringLiteral("OffsetY")));
            } else if (child.tagName() == QLatin1String("File")) {
                placement.region = QRect(0, 0, intAttribute(child, QStringLiteral("RegionX")),
                                         intAttribute(child, QStringLiteral("RegionY")));
                placement.structurePath = child.firstChild().toText().data();
            }
        }
        document.placements.append(placement);
    }
    return document;
}

std::optional<PlacementDocument> read(QIODevice &device, QString *error, ReadFailure *failure,
                                      const std::function<bool(qint64)> &progress)
{
    const QByteArray bytes = device.readAll();
    if (progress && !progress(bytes.size())) {
        if (failure)
            *failure = ReadFailure::Cancelled;
        return std::nullopt;
    }
    auto document = read(bytes, error);
    if (!document && failure)
        *failure = error && error->startsWith(QLatin1String("no Image")) ? ReadFailure::NoImage
                                                                         : ReadFailure::NotXml;
    return document;
}

QByteArray itemIsAtLine(const QPointF &position)
{
    char line[96];
    std::snprintf(line, sizeof line, "Item is at %g,%g", position.x(), position.y());
    return QByteArray(line);
}

} // namespace PlacementFile
