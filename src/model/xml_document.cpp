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
// the DOM parser, so that no file the DOM parser takes is refused.
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
    if (!document.setContent(text, true, &error.message, &error.line, &error.column)) {
        document = QDomDocument();
        return XmlReadResult::kFailed;
    }
    return XmlReadResult::kParsed;
}
