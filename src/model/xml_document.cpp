#include "model/xml_document.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QRegularExpression>
#include <QTextCodec>
#include <QXmlStreamReader>

#include <algorithm>
#include <vector>

namespace {

QString Tr(const char* text) { return QCoreApplication::translate("XmlDocument", text); }

// A UTF-16 unit as it is named: "001B", "FFFE".
QString CodeText(QChar c)
{
    return QString::number(uint(c.unicode()), 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

// Where the character at `index` of `text` stands: line and column from 1,
// a surrogate pair counting as one column. A carriage return ends a line
// as a line feed does, and the pair of them ends it once.
void LineAndColumn(const QString& text, int index, int& line, int& column)
{
    line = 1;
    column = 1;
    for (int i = 0; i < index && i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\n') || (c == QLatin1Char('\r') && (i + 1 >= text.size() || text.at(i + 1) != '\n'))) {
            ++line;
            column = 1;
        } else if (!(c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())) {
            ++column;
        }
    }
}

// UTF-8 in the way Qt's own decoder reads it, which is how these files were
// read before: each byte that does not belong to a well-formed sequence (a
// stray continuation byte, a sequence cut short, an overlong form, a
// surrogate, a value beyond U+10FFFF) becomes one U+FFFD.
QString DecodeUtf8(const QByteArray& bytes, int from, std::vector<int>& replaced)
{
    const int size = bytes.size();
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    QString text;
    text.reserve(size - from);
    for (int i = from; i < size;) {
        const unsigned lead = b[i];
        if (lead < 0x80) {
            text.append(QChar(ushort(lead)));
            ++i;
            continue;
        }
        int length = 0;
        char32_t least = 0;
        char32_t code = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, least = 0x80, code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, least = 0x800, code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, least = 0x10000, code = lead & 0x07;
        }
        bool good = length > 0 && i + length <= size;
        for (int k = 1; good && k < length; ++k) {
            good = (b[i + k] & 0xC0) == 0x80;
            code = (code << 6) | (b[i + k] & 0x3F);
        }
        good = good && code >= least && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
        if (!good) {
            replaced.push_back(text.size());
            text.append(QChar(QChar::ReplacementCharacter));
            ++i;
            continue;
        }
        if (code > 0xFFFF) {
            text.append(QChar(QChar::highSurrogate(code)));
            text.append(QChar(QChar::lowSurrogate(code)));
        } else {
            text.append(QChar(ushort(code)));
        }
        i += length;
    }
    return text;
}

// The encoding attribute of a declaration; its value is the second capture.
const QRegularExpression& EncodingAttribute()
{
    static const QRegularExpression encoding(QStringLiteral("\\sencoding\\s*=\\s*([\"'])([^\"']*)\\1"));
    return encoding;
}

// The encoding a declaration at the start of `bytes` names; empty without one.
QString DeclaredEncoding(const QByteArray& bytes)
{
    if (!bytes.startsWith("<?xml"))
        return QString();
    const int end = bytes.indexOf("?>");
    if (end < 0)
        return QString();
    return EncodingAttribute().match(QString::fromLatin1(bytes.left(end))).captured(2);
}

bool IsUtf8(const QTextCodec* codec) { return codec && codec->mibEnum() == 106; }

// UTF-16 and UTF-32 in either order (the MIB numbers 1013 to 1019).
bool IsWide(const QTextCodec* codec) { return codec && codec->mibEnum() >= 1013 && codec->mibEnum() <= 1019; }

// The encoding of 16- or 32-bit units that the first bytes show, as XML's
// own rules find it: a byte-order mark (whose length `from` receives), else
// the zero bytes around the "<" a file starts with ("<?xml" or the root).
// Null for a file of 8-bit units, whose declaration names its encoding.
QTextCodec* WideEncoding(const QByteArray& bytes, int& from)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    const int size = bytes.size();
    const auto name = [&from](int mark, const char* codec) {
        from = mark;
        return QTextCodec::codecForName(codec);
    };
    if (size >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0)
        return name(4, "UTF-32LE");
    if (size >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF)
        return name(4, "UTF-32BE");
    if (size >= 2 && b[0] == 0xFE && b[1] == 0xFF)
        return name(2, "UTF-16BE");
    if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE)
        return name(2, "UTF-16LE");
    if (size >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] != 0)
        return name(0, "UTF-32BE");
    if (size >= 4 && b[0] != 0 && b[1] == 0 && b[2] == 0 && b[3] == 0)
        return name(0, "UTF-32LE");
    if (size >= 2 && b[0] == 0 && b[1] != 0)
        return name(0, "UTF-16BE");
    if (size >= 2 && b[0] != 0 && b[1] == 0)
        return name(0, "UTF-16LE");
    from = 0;
    return nullptr;
}

// `text` in `codec` as the file's own bytes after any byte-order mark: the
// wide codecs put a mark before what they write unless told not to, and the
// bytes compared with are those after the mark.
QByteArray EncodedWithoutMark(QTextCodec* codec, const QString& text)
{
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    return codec->fromUnicode(text.constData(), text.size(), &state);
}

// Whether `codec` can carry U+FFFD itself, so that one in its output may be
// a character of the file rather than the mark of bytes it could not take.
bool CarriesReplacementCharacter(QTextCodec* codec)
{
    const QString probe = QString(QChar(QChar::ReplacementCharacter)) + QLatin1Char('.');
    return codec->toUnicode(EncodedWithoutMark(codec, probe)) == probe;
}

// The U+FFFD that `codec` put in `text` for bytes it could not take, when it
// did not count them itself (the ICU-based codecs count nothing). Where the
// codec cannot carry U+FFFD, every one it gave is such a mark; where it can,
// they are taken as marks unless the text encodes back to the bytes read.
std::vector<int> ReplacedByCodec(QTextCodec* codec, const char* bytes, int size, const QString& text)
{
    std::vector<int> at;
    for (int i = 0; (i = text.indexOf(QChar(QChar::ReplacementCharacter), i)) >= 0; ++i)
        at.push_back(i);
    if (!at.empty() && CarriesReplacementCharacter(codec) &&
        EncodedWithoutMark(codec, text) == QByteArray(bytes, size))
        at.clear();
    return at;
}

// The file's text, in the encoding found as XML finds it: a byte-order mark,
// else the pattern of the first character in 16- or 32-bit units (with or
// without a declaration, which then cannot say otherwise), else the encoding
// the declaration names when Qt knows it and it is one of 8-bit units, else
// UTF-8.
QString DecodeXmlText(const QByteArray& bytes, XmlTextRepair& repair, std::vector<int>& replaced)
{
    int from = 0;
    QTextCodec* codec = WideEncoding(bytes, from);
    if (!codec && bytes.startsWith("\xEF\xBB\xBF")) {
        from = 3;
    } else if (!codec) {
        codec = QTextCodec::codecForName(DeclaredEncoding(bytes).toLatin1());
        if (IsWide(codec))
            codec = nullptr;  // a wide encoding declared in bytes of 8-bit units
    }
    QString text;
    if (!codec || IsUtf8(codec)) {
        text = DecodeUtf8(bytes, from, replaced);
        repair.encoding = QStringLiteral("UTF-8");
        repair.count = int(replaced.size());
    } else {
        // The mark, if any, was passed over: any further one is a character.
        QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
        text = codec->toUnicode(bytes.constData() + from, bytes.size() - from, &state);
        repair.encoding = QString::fromLatin1(codec->name());
        repair.count = state.invalidChars;
        // The codec does not say where: its replacement characters are the
        // nearest guess.
        for (int at = 0; repair.count > 0 && (at = text.indexOf(QChar(QChar::ReplacementCharacter), at)) >= 0; ++at)
            replaced.push_back(at);
        // A codec that counts nothing still marks what it could not take
        // (UTF-8 still declaring Shift_JIS, say): warned of like any other
        // repair, but, as such files were always read, never refused for
        // where the marks stand.
        if (repair.count == 0) {
            const std::vector<int> marked = ReplacedByCodec(codec, bytes.constData() + from, bytes.size() - from, text);
            repair.count = int(marked.size());
            repair.sequences = repair.count > 0;
            if (repair.count > 0)
                LineAndColumn(text, marked.front(), repair.line, repair.column);
            return text;
        }
    }
    if (repair.count > 0)
        LineAndColumn(text, replaced.empty() ? 0 : replaced.front(), repair.line, repair.column);
    return text;
}

// The first of the ascending positions `at` that lies in a tag of `text`
// (a name or the space between attributes, not an attribute's value, text,
// a comment, CDATA or a processing instruction); -1 when none does.
int FirstInATag(const QString& text, const std::vector<int>& at)
{
    enum class Place { kText, kTag, kQuoted, kComment, kCData, kInstruction } place = Place::kText;
    QChar quote;
    std::size_t next = 0;
    for (int i = 0; i < text.size() && next < at.size(); ++i) {
        if (i == at[next]) {
            if (place == Place::kTag)
                return i;
            ++next;
        }
        const QChar c = text.at(i);
        const QStringRef rest = text.midRef(i);
        switch (place) {
        case Place::kText:
            if (rest.startsWith(QLatin1String("<!--")))
                place = Place::kComment, i += 3;
            else if (rest.startsWith(QLatin1String("<![CDATA[")))
                place = Place::kCData, i += 8;
            else if (rest.startsWith(QLatin1String("<?")))
                place = Place::kInstruction, i += 1;
            else if (c == QLatin1Char('<'))
                place = Place::kTag;
            break;
        case Place::kTag:
            if (c == QLatin1Char('"') || c == QLatin1Char('\''))
                place = Place::kQuoted, quote = c;
            else if (c == QLatin1Char('>'))
                place = Place::kText;
            break;
        case Place::kQuoted:
            if (c == quote)
                place = Place::kTag;
            break;
        case Place::kComment:
            if (rest.startsWith(QLatin1String("-->")))
                place = Place::kText, i += 2;
            break;
        case Place::kCData:
            if (rest.startsWith(QLatin1String("]]>")))
                place = Place::kText, i += 2;
            break;
        case Place::kInstruction:
            if (rest.startsWith(QLatin1String("?>")))
                place = Place::kText, i += 1;
            break;
        }
    }
    return -1;
}

// The declaration's version is not checked and its encoding no longer
// applies to the decoded text, but the stream reader refuses a version other
// than 1.0 and an encoding it does not know. Such a declaration is made one
// of version 1.0 without an encoding, in place and of the same length, so that
// every line and column of the file stays where it was; one too short for
// that, or spread over lines, becomes blanks. The document then keeps no
// encoding that its next write would follow.
void NeutralizeDeclaration(QString& text)
{
    static const QRegularExpression start(QStringLiteral("^<\\?xml\\s"));
    if (!start.match(text).hasMatch())
        return;
    const int end = text.indexOf(QLatin1String("?>"));
    if (end < 0)
        return;
    const QString declaration = text.left(end);
    static const QRegularExpression version(QStringLiteral("\\sversion\\s*=\\s*([\"'])([^\"']*)\\1"));
    const QRegularExpressionMatch versionMatch = version.match(declaration);
    const QRegularExpressionMatch encodingMatch = EncodingAttribute().match(declaration);
    const bool oddVersion = versionMatch.hasMatch() && versionMatch.captured(2) != QLatin1String("1.0");
    const bool foreignEncoding =
        encodingMatch.hasMatch() && !IsUtf8(QTextCodec::codecForName(encodingMatch.captured(2).toLatin1()));
    if (!oddVersion && !foreignEncoding)
        return;
    const QString plain = QStringLiteral("<?xml version=\"1.0\"");
    const int length = end + 2;
    const bool oneLine = !declaration.contains(QLatin1Char('\n')) && !declaration.contains(QLatin1Char('\r'));
    if (oneLine && length >= plain.size() + 2) {
        text.replace(0, length, plain + QString(length - plain.size() - 2, QLatin1Char(' ')) + QStringLiteral("?>"));
        return;
    }
    for (int i = 0; i < length; ++i) {
        if (text.at(i) != QLatin1Char('\n') && text.at(i) != QLatin1Char('\r'))
            text[i] = QLatin1Char(' ');
    }
}

// What the pass ahead of the DOM parser saw.
struct Screening {
    bool refused = false;
    bool hasElement = false;
    bool endedEarly = false;
    // Where the last whole token ended: what follows it in a file that ended
    // early was cut short, unless it is blank.
    qint64 lastTokenEnd = 0;
    XmlReadError error;
};

void Refuse(Screening& screening, const QXmlStreamReader& reader, const QString& why)
{
    screening.refused = true;
    screening.error.message = why;
    screening.error.line = int(reader.lineNumber());
    screening.error.column = int(reader.columnNumber());
}

// Walks the tokens without building anything. It decides only the depth and
// the DTD; where it finds any other error it stops and leaves the verdict to
// the DOM's own pass.
Screening Screen(const QString& text)
{
    Screening screening;
    QXmlStreamReader reader(text);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token != QXmlStreamReader::Invalid)
            screening.lastTokenEnd = reader.characterOffset();
        switch (token) {
        case QXmlStreamReader::StartElement:
            screening.hasElement = true;
            if (++depth > kDeepestXmlNesting) {
                Refuse(screening, reader, Tr("elements nested deeper than %1 levels").arg(kDeepestXmlNesting));
                return screening;
            }
            break;
        case QXmlStreamReader::EndElement: --depth; break;
        case QXmlStreamReader::DTD:
            // Parameter entities are not among the declarations the reader
            // lists: the declaration text decides.
            if (!reader.entityDeclarations().isEmpty() || reader.text().contains(QLatin1String("<!ENTITY"))) {
                Refuse(screening, reader, Tr("a document type that declares entities"));
                return screening;
            }
            break;
        default: break;
        }
    }
    screening.endedEarly = reader.error() == QXmlStreamReader::PrematureEndOfDocumentError;
    return screening;
}

}  // namespace

XmlReadResult ReadXmlDocument(const QByteArray& bytes, QDomDocument& document, XmlReadError& error,
                              XmlTextRepair* repair)
{
    document = QDomDocument();
    XmlTextRepair repaired;
    std::vector<int> replaced;
    QString text = DecodeXmlText(bytes, repaired, replaced);
    if (repair)
        *repair = repaired;
    // A byte that is not valid where a name or the markup between names must
    // stand leaves the file's structure in doubt: refused, as it always was.
    // In a value or a text it is one character of a name, read as U+FFFD.
    const int inATag = FirstInATag(text, replaced);
    if (inATag >= 0) {
        error.message = Tr("a byte that is not valid %1 in a tag").arg(repaired.encoding);
        LineAndColumn(text, inATag, error.line, error.column);
        return XmlReadResult::kFailed;
    }
    // Refused here rather than by the stream reader, which names no character
    // ("Unexpected ''.") and lets a lone surrogate through.
    const int unheld = FindCharacterXmlCannotHold(text);
    if (unheld >= 0) {
        error.message = Tr("a character an XML file cannot hold (U+%1)").arg(CodeText(text.at(unheld)));
        LineAndColumn(text, unheld, error.line, error.column);
        return XmlReadResult::kFailed;
    }
    NeutralizeDeclaration(text);
    const Screening screening = Screen(text);
    if (screening.refused) {
        error = screening.error;
        return XmlReadResult::kFailed;
    }
    // Only a file that holds nothing but blanks, a declaration and comments
    // is empty; one cut short in its first start tag ("<config_root") is
    // damaged.
    if (!screening.hasElement && screening.endedEarly && text.midRef(int(screening.lastTokenEnd)).trimmed().isEmpty())
        return XmlReadResult::kEmpty;
    // Built from the stream reader, not from the text: Qt's text parser takes
    // character references XML forbids and cuts those beyond U+FFFF to 16 bits.
    // Given text rather than bytes, the reader decodes nothing itself.
    QXmlStreamReader reader(text);
    if (!document.setContent(&reader, true, &error.message, &error.line, &error.column)) {
        // Some of the reader's errors (an early end, a second root) reach the
        // document without their text.
        if (error.message.isEmpty()) {
            error.message = reader.errorString();
            error.line = int(reader.lineNumber());
            error.column = int(reader.columnNumber());
        }
        document = QDomDocument();
        return XmlReadResult::kFailed;
    }
    return XmlReadResult::kParsed;
}

int FindCharacterXmlCannotHold(const QString& text)
{
    const int length = text.size();
    for (int i = 0; i < length; ++i) {
        const ushort c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < length && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            ++i;
            continue;
        }
        const bool held =
            c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD);
        if (!held)
            return i;
    }
    return -1;
}

QString CharacterXmlCannotHold(const QString& text, const QString& whose)
{
    const int at = FindCharacterXmlCannotHold(text);
    if (at < 0)
        return QString();
    return Tr("%1 holds the character U+%2, which an XML file cannot hold.").arg(whose, CodeText(text.at(at)));
}

QString DescribeXmlTextRepair(const QString& fileName, const XmlTextRepair& repair)
{
    if (repair.count <= 0)
        return QString();
    // Such a codec gives one U+FFFD for each run of bytes it could not take.
    if (repair.sequences && repair.count == 1)
        return Tr("%1 holds bytes that are not valid %2, at line %3, column %4; they are read as U+FFFD.")
            .arg(fileName, repair.encoding)
            .arg(repair.line)
            .arg(repair.column);
    if (repair.sequences)
        return Tr("%1 holds %2 runs of bytes that are not valid %3, the first at line %4, column %5; each is read as "
                  "U+FFFD.")
            .arg(fileName)
            .arg(repair.count)
            .arg(repair.encoding)
            .arg(repair.line)
            .arg(repair.column);
    if (repair.count == 1)
        return Tr("%1 holds a byte that is not valid %2, at line %3, column %4; it is read as U+FFFD.")
            .arg(fileName, repair.encoding)
            .arg(repair.line)
            .arg(repair.column);
    return Tr("%1 holds %2 bytes that are not valid %3, the first at line %4, column %5; they are read as U+FFFD.")
        .arg(fileName)
        .arg(repair.count)
        .arg(repair.encoding)
        .arg(repair.line)
        .arg(repair.column);
}
