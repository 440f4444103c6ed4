// Reading an XML file into a DOM document. Every XML file the tool reads goes
// through here, so that no file in the user's folders can take the host down:
// the DOM parser recurses once per nesting level and expands entities without
// bound, so a document nested deeper than kDeepestXmlNesting, or one whose
// DOCTYPE declares entities (the tool never writes one), is refused before it
// is built. Every other error is the DOM parser's to find, as before.
//
// The bytes are decoded here, not by the parser, which refuses a whole file
// for one byte that is not UTF-8. Files written by other tools and by older
// versions hold such bytes in names; in a value or a text they are read as
// U+FFFD, as they always were, and the caller hears where (XmlTextRepair).
// In a tag (an element or attribute name, or between attributes) such a byte
// leaves the structure in doubt and the file is refused at its line and
// column, as it always was. The encoding is found as XML's own rules find
// it: a byte-order mark (UTF-8, UTF-16 or UTF-32 in either order), else the
// zero bytes around the first character of a file in 16- or 32-bit units
// (with or without a declaration), else the encoding the declaration names;
// without one, and for an encoding Qt does not know, it is UTF-8. The bytes
// are decoded as they are: a carriage return is a character of the text. The declaration's version
// is not checked (files declaring 1.1 were read before). A character an XML
// file cannot hold (a control character, U+FFFE, a lone surrogate of a UTF-16
// file) is refused at its line and column, as are the character references
// that stand for one.
#ifndef SKW_MODEL_XML_DOCUMENT_H
#define SKW_MODEL_XML_DOCUMENT_H

#include <QByteArray>
#include <QString>

class QDomDocument;

constexpr int kDeepestXmlNesting = 256;

// The largest XML file the tool reads. Its own files are far smaller: a
// companion of 172 names is about 10 KB, a characterization file with every
// node and its limits well under 100 KB, and even 172 joint names of 1,000
// characters that all need escaping stay near 1 MB. A DOM takes up to some
// sixty times its text in memory (4 MB of empty elements: 250 MB, half a
// second; 16 MB: 950 MB), so a larger file could take the host's memory away.
constexpr qint64 kLargestXmlFile = 4 * 1024 * 1024;

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

// Bytes the decoding could not take, each read as U+FFFD: how many, where the
// first one is (line and column from 1, the column counted in characters)
// and the encoding they were not valid in. A codec that does not count what
// it replaced (Qt's ICU-based ones: Shift_JIS, Big5, UTF-7 ...) gives one
// U+FFFD per run of such bytes; those are counted instead.
struct XmlTextRepair {
    int count = 0;
    bool sequences = false;  // each counted one stands for a run of bytes, not one byte
    int line = 0;
    int column = 0;
    QString encoding;
};

// Parses `text` with namespace processing into `document`. Unless the answer
// is kParsed, the document is left empty and `error` is set only for kFailed.
// A file cut short before its root element ends (even inside its start tag)
// fails; only one without the start of an element is kEmpty. `repair`, when
// given, receives the bytes read as U+FFFD (a count of 0 when there were none).
XmlReadResult ReadXmlDocument(const QByteArray& text, QDomDocument& document, XmlReadError& error,
                              XmlTextRepair* repair = nullptr);

// A sentence for the file `fileName` whose bytes were repaired: "hero.bones.xml
// holds 2 bytes that are not valid UTF-8, the first at line 6, column 40; they
// are read as U+FFFD."; empty when nothing was.
QString DescribeXmlTextRepair(const QString& fileName, const XmlTextRepair& repair);

// The position of the first character of `text` that an XML file cannot hold
// (one outside tab, line feed, carriage return, U+0020..U+D7FF,
// U+E000..U+FFFD and surrogate pairs for U+10000..U+10FFFF); -1 when there is
// none. A text without one is read back from the tool's files as written.
int FindCharacterXmlCannotHold(const QString& text);
// When `text` holds such a character, a sentence that says so: `whose`
// followed by "holds the character U+FFFE, which an XML file cannot hold."
// (a lone surrogate shows as itself, U+D800); otherwise empty.
QString CharacterXmlCannotHold(const QString& text, const QString& whose);

#endif
