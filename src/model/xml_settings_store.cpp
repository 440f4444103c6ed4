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
#include <ostream>
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

QString XmlSettingsStore::FileBehind(const QString& path)
{
    const QFileInfo link(path);
    return !link.isSymLink() ? path : link.exists() ? link.canonicalFilePath() : link.symLinkTarget();
}

XmlSettingsStore::XmlSettingsStore(const QString& path) : XmlSettingsStore(path, false) { }

XmlSettingsStore::XmlSettingsStore(const QString& path, bool quiet) : document_(new QDomDocument), path_(path)
{
    // A file read again for a write says nothing on the console: what it
    // holds was said when it was first read, and the write says the rest.
    std::ostream silent(nullptr);
    std::ostream& console = quiet ? silent : std::cout;
    // The file is read under its folder's lock (links are saved through, so
    // the lock is of the folder they lead to): a save under way is read
    // whole or not at all. A save that was stopped before it ended is undone
    // or finished first, under the same lock.
    const QString saved = FileBehind(path_);
    std::optional<SaveLock> lock;
    if (!path_.isEmpty())
        lock.emplace(saved, SaveLock::Purpose::kRead);
    busy_ = lock ? lock->Problem() : QString();
    QString recovered, problem;
    // Where this user may not change the folder, the file a stopped save
    // kept is read instead of the one it had changed.
    QStringList readFrom;
    if (!busy_.isEmpty())
        console << "Error in reading " << path_.toStdString() << ": " << busy_.toStdString() << '.' << std::endl;
    else if (!path_.isEmpty() && !RecoverBeforeOpening(saved, {saved}, recovered, problem, &readFrom)) {
        // Unlike reading the file as it stands, which may hold part of that
        // save, it is not read, and the reader hears why.
        busy_ = Tr("an earlier save of it did not finish, and %1").arg(problem);
        console << "Error in reading " << path_.toStdString() << ": " << busy_.toStdString() << '.' << std::endl;
    } else if (!recovered.isEmpty()) {
        // Said to the caller too, not only on the console.
        readNotice_ = recovered;
        console << recovered.toStdString() << std::endl;
    }
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
        // Where this user may not change the folder and a first save of the
        // file stopped, there is no whole version of it to read: not the
        // file as that save left it.
        const bool noWholeVersion = busy_.isEmpty() && kept.isEmpty();
        if (noWholeVersion)
            readNotice_.clear();  // not read "as it was before": there was no before
        if (noWholeVersion)
            busy_ = Tr("the save that first wrote it stopped before it was written whole, so there is no whole "
                       "version of it to read yet");
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
            readProblem_ = noWholeVersion ? Tr("%1 was not read: %2. It can be read once someone who may change its "
                                               "folder saves it again.")
                                                .arg(name, busy_)
                           : !busy_.isEmpty()    ? Tr("%1 could not be read: %2.").arg(name, busy_)
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
            console << "Error in parsing" << path_.toStdString() << ' ' << error.message.toStdString() << " at line "
                      << error.line << " at column " << error.column << std::endl;
        } else if (readState_ != ReadState::kRead) {
            console << "Error in reading " << path_.toStdString() << ": " << readProblem_.toStdString() << std::endl;
        } else {
            readWarning_ = DescribeXmlTextRepair(name, repair);
            if (!readWarning_.isEmpty())
                console << "Warning in reading " << path_.toStdString() << ": " << readWarning_.toStdString()
                          << std::endl;
        }
        // What could not be read is not replaced by the little the store
        // holds: it is moved aside on the first write (never a path that is
        // not a file, which is not written at all).
        damaged_ = readState_ != ReadState::kRead && readState_ != ReadState::kNotAFile && busy_.isEmpty();
        if (damaged_)
            console << "Settings of " << path_.toStdString()
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
    whole_ = true;
    setKeys_.clear();
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
    // Unlike writing back the document read when the store was made, which
    // would undo a key another store (another process) set since, the keys
    // set here are set again in the file as it stands now, under the lock.
    // (A departure: the whole document the store held was written back.)
    if (!whole_ && !TakeInFileAsItStands(text))
        return false;
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

bool XmlSettingsStore::TakeInFileAsItStands(QByteArray& text)
{
    const QString name = QFileInfo(path_).fileName();
    // Read under this thread's lock of its folder: at once.
    XmlSettingsStore now(path_, true);
    const auto refuse = [&](const QString& problem) {
        writeProblem_ = Tr("%1 was not written: %2").arg(name, problem);
        std::cout << "Error in writing " << path_.toStdString() << ": " << problem.toStdString()
                  << " The file is left as it was." << std::endl;
        return false;
    };
    if (now.readState_ == ReadState::kNotAFile)
        return refuse(now.readProblem_);
    if (!now.busy_.isEmpty())
        return refuse(Tr("it was not read, as %1.").arg(now.busy_));
    // What cannot be read now is kept aside, as a file that could not be read
    // when the store was made is, and this store's document is written.
    damaged_ = now.readState_ != ReadState::kRead && now.readState_ != ReadState::kMissing;
    if (damaged_)
        return true;
    // Each key set here, by the names its element was made with.
    const QDomElement root = Root();
    QDomElement nowRoot = now.Root();
    for (const SetKey& set : setKeys_) {
        // Groups are made in the order the sets made them.
        if (set.group.isNull() || (set.group != root && set.group.parentNode() != root))
            continue;
        QDomElement nowGroup = nowRoot;
        if (set.group != root) {
            nowGroup = nowRoot.firstChildElement(set.group.tagName());
            if (nowGroup.isNull())
                nowGroup = nowRoot.appendChild(now.document_->createElement(set.group.tagName())).toElement();
        }
        // A key element a later set replaced is no longer in its group.
        if (set.element.parentNode() != set.group)
            continue;
        const QString keyName = set.element.tagName();
        QDomElement nowKey = nowGroup.firstChildElement(keyName);
        if (set.list) {
            // Replaced whole and moved to the end of its group, as SetList does.
            if (!nowKey.isNull())
                nowGroup.removeChild(nowKey);
            nowGroup.appendChild(now.document_->importNode(set.element, true));
        } else {
            if (nowKey.isNull())
                nowKey = nowGroup.appendChild(now.document_->createElement(keyName)).toElement();
            nowKey.setAttribute(kValue, set.element.attribute(kValue));
        }
    }
    document_.swap(now.document_);
    if (Serialize(text))
        return true;
    std::cout << "Error in writing " << path_.toStdString() << ": " << writeProblem_.toStdString()
              << " The file is left as it was." << std::endl;
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
    if (!whole_)
        setKeys_.push_back({groupElement, element, true});
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
    QDomElement element = FindKey(group, key, true);
    element.setAttribute(kValue, value);
    if (!whole_)
        setKeys_.push_back({element.parentNode().toElement(), element, false});
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
