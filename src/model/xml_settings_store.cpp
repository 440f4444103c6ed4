#include "model/xml_settings_store.h"

#include "model/file_utils.h"
#include "model/safe_save.h"
#include "model/xml_document.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cmath>
#include <iostream>
#include <optional>
#include <vector>

namespace {

const QString kRootName = QStringLiteral("config_root");
const QString kItem = QStringLiteral("item");
const QString kKey = QStringLiteral("key");
const QString kValue = QStringLiteral("value");
const QString kTrue = QStringLiteral("true");
const QString kFalse = QStringLiteral("false");

// Calls `visit` with every child of `key` that is an element, whatever its name,
// in document order.
template <typename Visit>
void ForEachChildElement(const QDomElement& key, Visit visit)
{
    for (QDomNode node = key.firstChild(); !node.isNull(); node = node.nextSibling()) {
        if (node.isElement())
            visit(node.toElement());
    }
}

QString Tr(const char* text) { return QCoreApplication::translate("XmlSettingsStore", text); }

// The first text of `node` or of what it holds (names, attribute names and
// values, character data, comments) that an XML file cannot hold, as a
// sentence that says where; empty when there is none. `where` is the path
// of element names down to `node`.
QString TextXmlCannotHold(const QDomNode& node, const QString& where)
{
    QString problem;
    if (node.isElement()) {
        const QDomElement element = node.toElement();
        problem = CharacterXmlCannotHold(element.tagName(), Tr("The name of the element %1").arg(where));
        const QDomNamedNodeMap attributes = element.attributes();
        for (int i = 0; problem.isEmpty() && i < attributes.count(); ++i) {
            const QDomAttr attribute = attributes.item(i).toAttr();
            problem = CharacterXmlCannotHold(attribute.name() + attribute.value(),
                                             Tr("The \"%1\" text of %2").arg(attribute.name(), where));
        }
    } else if (node.isCharacterData()) {
        problem = CharacterXmlCannotHold(node.toCharacterData().data(), Tr("The text of %1").arg(where));
    } else if (node.isProcessingInstruction()) {
        const QDomProcessingInstruction instruction = node.toProcessingInstruction();
        problem = CharacterXmlCannotHold(instruction.target() + instruction.data(),
                                         Tr("A processing instruction of %1").arg(where));
    }
    for (QDomNode child = node.firstChild(); problem.isEmpty() && !child.isNull(); child = child.nextSibling()) {
        const QString inner =
            child.isElement() ? (where.isEmpty() ? QString() : where + QLatin1Char('/')) + child.toElement().tagName()
                              : where;
        problem = TextXmlCannotHold(child, inner);
    }
    return problem;
}

// Rounded up, so that a file just over the limit does not show as the limit.
QString Megabytes(qint64 bytes)
{
    const double tenths = std::ceil(double(bytes) * 10.0 / (1024.0 * 1024.0));
    return QString::number(tenths / 10.0, 'f', 1);
}

}  // namespace

XmlSettingsStore::XmlSettingsStore(const QString& path) : document_(new QDomDocument), path_(path)
{
    // The file is read under its folder's lock (links are saved through, so
    // the lock is of the folder they lead to): a save under way is read
    // whole or not at all. A save that was stopped before it ended is undone
    // or finished first, under the same lock.
    const QFileInfo link(path_);
    const QString saved = !link.isSymLink() ? path_ : link.exists() ? link.canonicalFilePath() : link.symLinkTarget();
    std::optional<SaveLock> lock;
    if (!path_.isEmpty())
        lock.emplace(saved, SaveLock::Purpose::kRead);
    busy_ = lock ? lock->Problem() : QString();
    QString recovered, problem;
    // Where this user may not change the folder, the file a stopped save
    // kept is read instead of the one it had changed.
    QStringList readFrom;
    if (!busy_.isEmpty())
        std::cout << "Error in reading " << path_.toStdString() << ": " << busy_.toStdString() << '.' << std::endl;
    else if (!path_.isEmpty() && !RecoverBeforeOpening(saved, {saved}, recovered, problem, &readFrom))
        std::cout << "Error in reading " << path_.toStdString() << ": an earlier save of it did not finish, and "
                  << problem.toStdString() << '.' << std::endl;
    else if (!recovered.isEmpty())
        std::cout << recovered.toStdString() << std::endl;
    // Looked at only now: a save may have replaced the file meanwhile. A
    // dangling link counts as no file.
    const QFileInfo info(path_);
    const QString name = info.fileName();
    if (info.exists()) {
        // Opened for bytes, not for text as the store once was: a text-mode
        // read drops every 0x0D byte, which in UTF-16 is half of a line end,
        // of č or of 不, and a carriage return in a value is the XML
        // reader's to normalize.
        QByteArray text;
        const QString kept = readFrom.value(0, saved);
        QFile file;
        QString unopened;
        bool notAFile = false;
        if (!info.isFile()) {
            readState_ = ReadState::kNotAFile;
            readProblem_ = WhyNotARegularFile(info);
        } else if (!busy_.isEmpty()) {
            readState_ = ReadState::kUnreadable;
        } else if (info.size() > kLargestXmlFile) {
            readState_ = ReadState::kTooLarge;
        } else if (!(unopened = OpenRegularFileToRead(file, kept == saved ? path_ : kept, &notAFile)).isEmpty()) {
            // Made a pipe or a folder since it was looked at: never kept
            // aside as damaged, as one seen so at first is not.
            readState_ = notAFile ? ReadState::kNotAFile : ReadState::kUnreadable;
            if (notAFile)
                readProblem_ = unopened;
        } else {
            // One byte more than the limit tells a file that grew meanwhile.
            text = file.read(kLargestXmlFile + 1);
            if (file.error() != QFileDevice::NoError)
                readState_ = ReadState::kUnreadable;
            else if (text.size() > kLargestXmlFile)
                readState_ = ReadState::kTooLarge;
            else
                readState_ = ReadState::kRead;
        }
        if (readState_ == ReadState::kTooLarge)
            readProblem_ = Tr("%1 is too large to be read (%2 MB; the limit is %3 MB).")
                               .arg(name, Megabytes(info.size()), QString::number(kLargestXmlFile / (1024 * 1024)));
        else if (readState_ == ReadState::kUnreadable)
            readProblem_ = !busy_.isEmpty()      ? Tr("%1 could not be read: %2.").arg(name, busy_)
                           : !unopened.isEmpty() ? unopened
                                                 : Tr("%1 could not be read: %2").arg(name, file.errorString());

        XmlReadError error;
        XmlTextRepair repair;
        const XmlReadResult result =
            readState_ == ReadState::kRead ? ReadXmlDocument(text, *document_, error, &repair) : XmlReadResult::kFailed;
        heldNoElement_ = readState_ == ReadState::kRead && result == XmlReadResult::kEmpty;
        if (readState_ == ReadState::kRead && result == XmlReadResult::kFailed) {
            readState_ = ReadState::kDamaged;
            QString why = error.message;
            if (why.endsWith(QLatin1Char('.')))
                why.chop(1);
            readProblem_ =
                Tr("%1 is damaged at line %2, column %3: %4.").arg(name).arg(error.line).arg(error.column).arg(why);
            std::cout << "Error in parsing" << path_.toStdString() << ' ' << error.message.toStdString() << " at line "
                      << error.line << " at column " << error.column << std::endl;
        } else if (readState_ != ReadState::kRead) {
            std::cout << "Error in reading " << path_.toStdString() << ": " << readProblem_.toStdString() << std::endl;
        } else {
            readWarning_ = DescribeXmlTextRepair(name, repair);
            if (!readWarning_.isEmpty())
                std::cout << "Warning in reading " << path_.toStdString() << ": " << readWarning_.toStdString()
                          << std::endl;
        }
        // What could not be read is not replaced by the little the store
        // holds: it is moved aside on the first write (never a path that is
        // not a file, which is not written at all).
        damaged_ = readState_ != ReadState::kRead && readState_ != ReadState::kNotAFile && busy_.isEmpty();
        if (damaged_)
            std::cout << "Settings of " << path_.toStdString()
                      << " start empty: the file is kept under another name when they are first saved." << std::endl;
    }
    // The root is the document element, so a declaration, comment or processing
    // instruction in front of it changes nothing.
    if (document_->documentElement().isNull())
        document_->appendChild(document_->createElement(kRootName));
}

XmlSettingsStore::~XmlSettingsStore()
{
    if (dirty_)
        Save();
}

void XmlSettingsStore::Reset()
{
    document_.reset(new QDomDocument);
    document_->appendChild(document_->createElement(kRootName));
    // A file that could not be read is still kept aside when it is replaced:
    // the new document owes it nothing, but its owner may.
    dirty_ = true;
}

bool XmlSettingsStore::Write()
{
    if (!dirty_)
        return true;
    dirty_ = false;
    return Save();
}

bool XmlSettingsStore::WriteInto(QByteArray& text)
{
    dirty_ = false;
    writeProblem_.clear();
    if (damaged_) {
        writeProblem_ = Tr("%1 was not written: the file there could not be read.").arg(QFileInfo(path_).fileName());
        return false;
    }
    return Serialize(text);
}

bool XmlSettingsStore::Serialize(QByteArray& text)
{
    const QString name = QFileInfo(path_).fileName();
    const QString unheld = TextXmlCannotHold(*document_, QString());
    if (!unheld.isEmpty()) {
        writeProblem_ = Tr("%1 was not written: %2").arg(name, unheld);
        return false;
    }
    text.clear();
    {
        QTextStream out(&text);
        out.setCodec("UTF-8");
        document_->save(out, 4);
    }
    if (text.size() > kLargestXmlFile) {
        writeProblem_ = Tr("%1 was not written: at %2 MB it would be too large to be read back (the limit is %3 MB).")
                            .arg(name, Megabytes(text.size()), QString::number(kLargestXmlFile / (1024 * 1024)));
        return false;
    }
    // What else the reader refuses (a name that is no XML name, say) is
    // found by reading the text back.
    QDomDocument readBack;
    XmlReadError error;
    if (ReadXmlDocument(text, readBack, error) == XmlReadResult::kFailed) {
        writeProblem_ = Tr("%1 was not written: it would not be read back (line %2, column %3: %4).")
                            .arg(name)
                            .arg(error.line)
                            .arg(error.column)
                            .arg(error.message);
        return false;
    }
    return true;
}

bool XmlSettingsStore::Save()
{
    writeNotice_.clear();
    writeProblem_.clear();
    const QString name = QFileInfo(path_).fileName();
    if (readState_ == ReadState::kNotAFile) {
        std::cout << "Error in writing " << path_.toStdString() << ": " << readProblem_.toStdString()
                  << " Nothing is written." << std::endl;
        writeProblem_ = Tr("%1 was not written: %2").arg(name, readProblem_);
        return false;
    }
    // Unlike writing whatever the document holds, text the reader would
    // refuse is not written: the next read would lose every setting in the
    // file. Refused before anything moves: a file kept aside for a write
    // that never comes would leave its place empty.
    QByteArray text;
    if (!Serialize(text)) {
        std::cout << "Error in writing " << path_.toStdString() << ": " << writeProblem_.toStdString()
                  << " The file is left as it was." << std::endl;
        return false;
    }
    // A link is written through, as it always was: a settings file linked
    // from elsewhere stays linked.
    const QFileInfo info(path_);
    const QString target = !info.isSymLink() ? path_ : info.exists() ? info.canonicalFilePath() : info.symLinkTarget();
    const SaveLock lock(target);
    if (!lock.Problem().isEmpty()) {
        writeProblem_ = Tr("%1 was not written: %2.").arg(name, lock.Problem());
        std::cout << "Error in writing " << path_.toStdString() << ": " << lock.Problem().toStdString()
                  << "; the file is left as it was." << std::endl;
        return false;
    }
    // What could not be read for another save is not known: not to be
    // replaced, nor kept aside as unreadable.
    if (!busy_.isEmpty()) {
        writeProblem_ = Tr("%1 was not written: it was not read, as %2.").arg(name, busy_);
        std::cout << "Error in writing " << path_.toStdString() << ": it was not read, as " << busy_.toStdString()
                  << "; the file is left as it was." << std::endl;
        return false;
    }
    // A save of this file that was stopped before it ended is undone or
    // finished first; a former file an earlier save could neither put back
    // nor let go is kept. The notice says so.
    QString formerKept, problem;
    if (RecoverStoppedSave(target, {target}, formerKept, problem)) {
        const QString kept = RemoveLeftovers(target, problem);
        formerKept = (formerKept + QLatin1Char(' ') + kept).trimmed();
    }
    if (!problem.isEmpty()) {
        writeProblem_ = Tr("%1 was not written: %2.").arg(name, problem);
        std::cout << "Error in writing " << path_.toStdString() << ": " << problem.toStdString()
                  << "; the file is left as it was." << std::endl;
        return false;
    }
    if (!formerKept.isEmpty())
        std::cout << formerKept.toStdString() << std::endl;
    KeptAside aside;
    if (damaged_ && QFileInfo::exists(target)) {
        const QString asideName = DamagedFileAsideName(target);
        QString why;
        if (!aside.Keep(target, IsRewrittenInPlace(target), why)) {
            std::cout << "Error in writing " << path_.toStdString() << ": the damaged file could not be kept as "
                      << asideName.toStdString() << " (" << why.toStdString() << "), so nothing is written."
                      << std::endl;
            writeProblem_ = Tr("%1 was not written: it could not be read, and it could not be kept aside as %2.")
                                .arg(name, QFileInfo(asideName).fileName());
            return false;
        }
    }
    SavedFile file(target);
    file.KeepsAside(aside);
    std::vector<const SavedFile*> notRestored;
    if (file.Open() && file.Stage(text) && !CommitAll({&file}, notRestored, target)) {
        if (!aside.Path().isEmpty()) {
            std::cout << "The damaged file " << path_.toStdString() << " is kept as " << aside.Path().toStdString()
                      << '.' << std::endl;
            writeNotice_ =
                Tr("The former %1 could not be read; it is kept as %2.").arg(name, QFileInfo(aside.Path()).fileName());
        }
        writeNotice_ = (writeNotice_ + QLatin1Char(' ') + formerKept + QLatin1Char(' ') + file.Notice()).trimmed();
        damaged_ = false;
        return true;
    }
    const bool restored = notRestored.empty();
    aside.Undo(!restored);
    std::cout << "Error in writing " << path_.toStdString() << ": " << file.Error().toStdString()
              << (restored ? "; the file is left as it was." : "; the file could not be put back as it was.")
              << std::endl;
    const QString kept = file.KeptAs().isEmpty()
                             ? QString()
                             : Tr(" The former file is kept as %1.").arg(QFileInfo(file.KeptAs()).fileName());
    writeProblem_ =
        restored
            ? Tr("%1 could not be written: %2").arg(name, file.Error())
            : Tr("%1 could not be written: %2. It could not be put back as it was.%3").arg(name, file.Error(), kept);
    return false;
}

QDomElement XmlSettingsStore::Root() const { return document_->documentElement(); }

QDomElement XmlSettingsStore::MakeElement(const QString& name)
{
    QString elementName = name;
    elementName.replace(QLatin1Char(' '), QLatin1Char('_'));
    return document_->createElement(elementName);
}

QDomElement XmlSettingsStore::FindGroup(const QString& group, bool create)
{
    QDomElement root = Root();
    if (group.isEmpty())
        return root;
    QDomElement element = root.firstChildElement(group);
    if (element.isNull() && create) {
        element = MakeElement(group);
        root.appendChild(element);
    }
    return element;
}

QDomElement XmlSettingsStore::FindKey(const QString& group, const QString& key, bool create)
{
    QDomElement groupElement = FindGroup(group, create);
    if (groupElement.isNull())
        return QDomElement();
    QDomElement element = groupElement.firstChildElement(key);
    if (element.isNull() && create) {
        element = MakeElement(key);
        groupElement.appendChild(element);
    }
    return element;
}

QDomElement XmlSettingsStore::ReplaceKey(const QString& group, const QString& key)
{
    dirty_ = true;
    QDomElement groupElement = FindGroup(group, true);
    const QDomElement old = groupElement.firstChildElement(key);
    if (!old.isNull())
        groupElement.removeChild(old);
    QDomElement element = MakeElement(key);
    groupElement.appendChild(element);
    return element;
}

QString XmlSettingsStore::GetValue(const QString& group, const QString& key, const QString& defaultValue)
{
    const QDomElement element = FindKey(group, key, false);
    return element.isNull() ? defaultValue : element.attribute(kValue);
}

QString XmlSettingsStore::GetValue(const QString& key, const QString& defaultValue)
{
    return GetValue(QString(), key, defaultValue);
}

void XmlSettingsStore::SetValue(const QString& group, const QString& key, const QString& value)
{
    dirty_ = true;
    FindKey(group, key, true).setAttribute(kValue, value);
}

void XmlSettingsStore::SetValue(const QString& key, const QString& value) { SetValue(QString(), key, value); }

void XmlSettingsStore::GetList(const QString& group, const QString& key, StringList& out)
{
    ForEachChildElement(FindKey(group, key, false),
                        [&](const QDomElement& item) { out.push_back(item.attribute(kValue)); });
}

void XmlSettingsStore::GetList(const QString& key, StringList& out) { GetList(QString(), key, out); }

void XmlSettingsStore::SetList(const QString& group, const QString& key, const StringList& list)
{
    QDomElement element = ReplaceKey(group, key);
    for (const QString& entry : list) {
        QDomElement item = document_->createElement(kItem);
        item.setAttribute(kValue, entry);
        element.appendChild(item);
    }
}

void XmlSettingsStore::SetList(const QString& key, const StringList& list) { SetList(QString(), key, list); }

void XmlSettingsStore::GetPairList(const QString& group, const QString& key, PairList& out)
{
    ForEachChildElement(FindKey(group, key, false), [&](const QDomElement& item) {
        out.emplace_back(item.attribute(kKey), item.attribute(kValue));
    });
}

void XmlSettingsStore::GetPairList(const QString& key, PairList& out) { GetPairList(QString(), key, out); }

void XmlSettingsStore::SetPairList(const QString& group, const QString& key, const PairList& list)
{
    QDomElement element = ReplaceKey(group, key);
    for (const auto& entry : list) {
        QDomElement item = document_->createElement(kItem);
        item.setAttribute(kKey, entry.first);
        item.setAttribute(kValue, entry.second);
        element.appendChild(item);
    }
}

void XmlSettingsStore::SetPairList(const QString& key, const PairList& list) { SetPairList(QString(), key, list); }

void XmlSettingsStore::GetFlaggedPairList(const QString& group, const QString& key, const QString& flagAttribute,
                                          bool defaultFlag, FlaggedPairList& out)
{
    const QString defaultText = defaultFlag ? kTrue : kFalse;
    ForEachChildElement(FindKey(group, key, false), [&](const QDomElement& item) {
        FlaggedPair entry;
        entry.key = item.attribute(kKey);
        entry.value = item.attribute(kValue);
        entry.flag = item.attribute(flagAttribute, defaultText) == kTrue;
        out.push_back(entry);
    });
}

void XmlSettingsStore::GetFlaggedPairList(const QString& key, const QString& flagAttribute, bool defaultFlag,
                                          FlaggedPairList& out)
{
    GetFlaggedPairList(QString(), key, flagAttribute, defaultFlag, out);
}

void XmlSettingsStore::SetFlaggedPairList(const QString& group, const QString& key, const QString& flagAttribute,
                                          bool defaultFlag, const FlaggedPairList& list)
{
    QDomElement element = ReplaceKey(group, key);
    for (const FlaggedPair& entry : list) {
        QDomElement item = document_->createElement(kItem);
        item.setAttribute(kKey, entry.key);
        item.setAttribute(kValue, entry.value);
        if (entry.flag != defaultFlag)
            item.setAttribute(flagAttribute, entry.flag ? kTrue : kFalse);
        element.appendChild(item);
    }
}

void XmlSettingsStore::SetFlaggedPairList(const QString& key, const QString& flagAttribute, bool defaultFlag,
                                          const FlaggedPairList& list)
{
    SetFlaggedPairList(QString(), key, flagAttribute, defaultFlag, list);
}
