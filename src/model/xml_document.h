// Reading an XML file into a DOM document. Every XML file the tool reads goes
// through here, so that no file in the user's folders can take the host down:
// the DOM parser recurses once per nesting level and expands entities without
// bound, so a document nested deeper than kDeepestXmlNesting, or one whose
// DOCTYPE declares entities (the tool never writes one), is refused before it
// is built. Every other error is the DOM parser's to find, as before.
#ifndef SKW_MODEL_XML_DOCUMENT_H
#define SKW_MODEL_XML_DOCUMENT_H

#include <QByteArray>
#include <QString>

class QDomDocument;

constexpr int kDeepestXmlNesting = 256;

enum class XmlReadResult {
    kParsed,  // the document holds the file
    kEmpty,   // the file has no element at all (blank, or a declaration or comments only)
    kFailed,  // refused or unparsable; the error says why and where
};

struct XmlReadError {
    QString message;
    int line = 0;
    int column = 0;
};

// Parses `text` with namespace processing into `document`. Unless the answer
// is kParsed, the document is left empty and `error` is set only for kFailed.
XmlReadResult ReadXmlDocument(const QByteArray& text, QDomDocument& document, XmlReadError& error);

#endif
