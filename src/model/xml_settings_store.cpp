#include "model/xml_settings_store.h"

#include "model/file_utils.h"
#include "model/xml_document.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <cmath>
#include <iostream>

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

// Rounded up, so that a file just over the limit does not show as the limit.
QString Megabytes(qint64 bytes)
{
    const double tenths = std::ceil(double(bytes) * 10.0 / (1024.0 * 1024.0));
    return QString::number(tenths / 10.0, 'f', 1);
}

}  // namespace

XmlSettingsStore::XmlSettingsStore(const QString& path) : document_(new QDomDocument), path_(path)
{
    // A dangling link counts as no file.
    const QFileInfo info(path_);
    const QString name = info.fileName();
    if (info.exists()) {
        QByteArray text;
        QFile file(path_);
        if (!info.isFile()) {
            readState_ = ReadState::kNotAFile;
            readProblem_ = WhyNotARegularFile(info);
        } else if (info.size() > kLargestXmlFile) {
            readState_ = ReadState::kTooLarge;
        } else if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            readState_ = ReadState::kUnreadable;
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
            readProblem_ = Tr("%1 could not be read: %2").arg(name, file.errorString());

        XmlReadError error;
        if (readState_ == ReadState::kRead && ReadXmlDocument(text, *document_, error) == XmlReadResult::kFailed) {
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
        }
        // What could not be read is not replaced by the little the store
        // holds: it is moved aside on the first write (never a path that is
        // not a file, which is not written at all).
        damaged_ = readState_ != ReadState::kRead && readState_ != ReadState::kNotAFile;
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
    damaged_ = false;
    dirty_ = true;
}

bool XmlSettingsStore::Write()
{
    if (!dirty_)
        return true;
    dirty_ = false;
    return Save();
}

bool XmlSettingsStore::WriteInto(QFileDevice& file)
{
    dirty_ = false;
    if (damaged_)
        return false;
    QTextStream out(&file);
    out.setCodec("UTF-8");
    document_->save(out, 4);
    out.flush();
    return out.status() == QTextStream::Ok && file.flush();
}

bool XmlSettingsStore::KeepDamagedFile()
{
    const QFileInfo info(path_);
    if (info.exists()) {
        const QString suffix = info.completeSuffix().isEmpty()
                                   ? QStringLiteral(".damaged")
                                   : QLatin1Char('.') + info.completeSuffix() + QStringLiteral(".damaged");
        QString base = info.baseName();
        const QString aside = MakeUniqueFileName(base, info.absolutePath(), suffix);
        if (!QFile::rename(path_, aside)) {
            std::cout << "Error in writing " << path_.toStdString() << ": the damaged file could not be kept as "
                      << aside.toStdString() << ", so nothing is written." << std::endl;
            return false;
        }
        std::cout << "The damaged file " << path_.toStdString() << " is kept as " << aside.toStdString() << '.'
                  << std::endl;
    }
    damaged_ = false;
    return true;
}

bool XmlSettingsStore::Save()
{
    if (readState_ == ReadState::kNotAFile) {
        std::cout << "Error in writing " << path_.toStdString() << ": " << readProblem_.toStdString()
                  << " Nothing is written." << std::endl;
        return false;
    }
    if (damaged_ && !KeepDamagedFile())
        return false;
    // Written beside the file and renamed over it only when complete, so a
    // failed write leaves the former file as it was; only where no file can be
    // made in the folder is the file itself rewritten.
    QSaveFile file(path_);
    file.setDirectWriteFallback(true);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text) && WriteInto(file) && file.commit())
        return true;
    std::cout << "Error in writing " << path_.toStdString() << ": " << file.errorString().toStdString()
              << "; the file is left as it was." << std::endl;
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
