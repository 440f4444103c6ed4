#include "model/xml_document.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QXmlStreamReader>

namespace {

QString Tr(const char* text) { return QCoreApplication::translate("XmlDocument", text); }

// What the pass ahead of the DOM parser saw.
struct Screening {
    bool refused = false;
    bool hasElement = false;
    bool endedEarly = false;
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
Screening Screen(const QByteArray& text)
{
    Screening screening;
    QXmlStreamReader reader(text);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
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

XmlReadResult ReadXmlDocument(const QByteArray& text, QDomDocument& document, XmlReadError& error)
{
    document = QDomDocument();
    const Screening screening = Screen(text);
    if (screening.refused) {
        error = screening.error;
        return XmlReadResult::kFailed;
    }
    if (!screening.hasElement && screening.endedEarly)
        return XmlReadResult::kEmpty;
    // Built from the stream reader, not from the text: Qt's text parser takes
    // character references XML forbids and cuts those beyond U+FFFF to 16 bits.
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
        const bool held = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD);
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
    const QString code = QString::number(uint(text.at(at).unicode()), 16).toUpper().rightJustified(4, QLatin1Char('0'));
    return Tr("%1 holds the character U+%2, which an XML file cannot hold.").arg(whose, code);
}
