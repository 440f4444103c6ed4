// The host stream pair and ".vlmc" files with their companion.

#include "rig/vlm_frame.h"
#include "rig/vlm_handle.h"
#include "rig/vlm_names.h"
#include "rig/vlm_stream.h"

#include "model/characterization.h"
#include "model/characterization_files.h"
#include "model/file_utils.h"
#include "model/safe_save.h"
#include "model/xml_document.h"
#include "model/xml_settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTextStream>

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <tuple>
#include <vector>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

const char* const kBinaryExtension = ".vlmc";
const char* const kCompanionSuffix = ".bones.xml";

namespace {

const QString kNewCharacterizationName = QStringLiteral("New Characterization");
const QString kBoneCorrespondance = QStringLiteral("bone_correspondance");

// The longest stream there is: every rig node used. A file may run on after
// its stream, but nothing past this length is ever read.
constexpr std::uint64_t kLongestStream =
    VLM_BLOB_HEADER_BYTES + VLM_BLOB_DEFINITION_BYTES + VLM_BLOB_RECORD_BYTES * VLM_NODE_COUNT + VLM_BLOB_TRAILER_BYTES;

void* RuntimeMalloc(std::uint64_t size) { return std::malloc(size); }

void RuntimeFree(void* block) { std::free(block); }

QString Tr(const char* text) { return QCoreApplication::translate("CharacterizationFiles", text); }

void Say(QString* message, const QString& text)
{
    if (message)
        *message = text;
}

QString FileNameOf(const QString& path) { return QFileInfo(path).fileName(); }

// The stream is written in the host's order when that matches the machine's,
// byte-reversed otherwise.
bool SwapFor(unsigned char byteOrder)
{
    const bool bigEndian = byteOrder != kStreamLittleEndian;
    return bigEndian != (Q_BYTE_ORDER == Q_BIG_ENDIAN);
}

// Reads the companion's joint names. Answers the list only when it has one
// name per rig node; otherwise an empty list and the reason in `why`.
// `warning` receives where bytes that were not valid in the file's encoding
// were read as U+FFFD.
std::vector<QString> ReadCompanionNames(const QString& companionPath, QString& why, QString& warning,
                                        QString& unread)
{
    std::vector<QString> names;
    if (companionPath.isEmpty()) {
        why = Tr("No joint names were loaded: no companion file was found.");
        return names;
    }
    if (!QFileInfo::exists(companionPath)) {
        why = Tr("No joint names were loaded: %1 is missing.").arg(FileNameOf(companionPath));
        return names;
    }
    XmlSettingsStore store(companionPath);
    warning = store.GetReadNotice();
    // A companion that is there but was not read for a save (another's under
    // way, or one of its own that could not be put right) may hold names the
    // stream needs: not a pair without names.
    if (!store.GetUnread().isEmpty()) {
        unread = store.GetReadProblem();
        return names;
    }
    // A companion that could not be read says why, not that it lists no names.
    if (!store.GetReadProblem().isEmpty()) {
        why = Tr("No joint names were loaded: %1").arg(store.GetReadProblem());
        return names;
    }
    warning = (warning + QLatin1Char(' ') + store.GetReadWarning()).trimmed();
    store.GetList(kBoneCorrespondance, names);
    if (names.size() != std::size_t(VLM_NODE_COUNT)) {
        why = Tr("No joint names were loaded: %1 lists %2 names, not %3.")
                  .arg(FileNameOf(companionPath))
                  .arg(qulonglong(names.size()))
                  .arg(VLM_NODE_COUNT);
        names.clear();
    }
    return names;
}

// The rig character of a stream, filled with `names`: null when the stream
// cannot be read, with `fault` naming the record at fault if one is.
std::unique_ptr<Characterization> ReadStream(const char* data, std::size_t size, const std::vector<QString>& names,
                                             QString* message, QString& fault)
{
    VLMCharacterDefinition words = {};
    VLMBlobFault blobFault = {-1, VLM_BLOB_RECORD_OK};
    const VLMCharacterHandle character = VLMAdopt<VLMCharacterHandle>(
        VLMReadCharacterBlobChecked(&words, data, size, RuntimeMalloc, RuntimeFree, &blobFault), RuntimeFree);
    if (!character) {
        const QString node = QString::fromLatin1(VLMGetNodeName(blobFault.node));
        if (blobFault.fault == VLM_BLOB_RECORD_NOT_FINITE)
            fault = Tr("the rest geometry of %1 holds a value that is not a finite number.").arg(node);
        else if (blobFault.fault == VLM_BLOB_RECORD_ROTATION_ORDER)
            fault = Tr("the rotation order of %1 is not one of the 13 there are.").arg(node);
        return nullptr;
    }
    std::unique_ptr<Characterization> characterization(new Characterization(kNewCharacterizationName, nullptr));
    const int loaded = characterization->LoadFromSdkCharacter(names, words, character.get());
    if (loaded == Characterization::kLoadBadNameCount)
        Say(message, Tr("No joint names were loaded: %1 names were given, not %2.")
                         .arg(qulonglong(names.size()))
                         .arg(VLM_NODE_COUNT));
    else
        Say(message, QString());
    return characterization;
}

}  // namespace

bool CharacterizationToStream(Characterization& characterization, unsigned char byteOrder, bool withLimits, char*& data,
                              std::size_t& size, QString* message)
{
    VLMCharacterDefinition words;
    const VLMCharacterHandle character = VLMAdopt<VLMCharacterHandle>(
        characterization.CreateSdkCharacter(words, withLimits, RuntimeMalloc, nullptr), RuntimeFree);
    if (!character) {
        Say(message, Tr("The rig character of %1 could not be built.").arg(characterization.GetName()));
        return false;
    }
    std::uint64_t bytes = 0;
    void* buffer =
        VLMWriteCharacterBlob(&bytes, &words, character.get(), SwapFor(byteOrder), RuntimeMalloc, RuntimeFree);
    if (!buffer) {
        Say(message, Tr("There was not enough memory to write the character definition."));
        return false;
    }
    data = static_cast<char*>(buffer);
    size = std::size_t(bytes);
    Say(message, QString());
    return true;
}

std::unique_ptr<Characterization> CharacterizationFromStream(const char* data, std::size_t size,
                                                             const std::vector<QString>& names, QString* message)
{
    QString fault;
    std::unique_ptr<Characterization> characterization = ReadStream(data, size, names, message, fault);
    if (!characterization)
        Say(message, fault.isEmpty() ? Tr("The data is not a character definition, or it is damaged.")
                                     : Tr("The data is damaged: %1").arg(fault));
    return characterization;
}

namespace {

// The longest chain of links followed, as the systems' own limits go.
constexpr int kMostLinksFollowed = 40;

// A name as its folder sees it: the folder's canonical path and the file
// name, so that two spellings of one folder compare equal, while the last
// step, which may be a link, is kept as it is.
QString EntryKey(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName();
}

bool IsEntry(const QFileInfo& info) { return info.exists() || info.isSymLink(); }

boost::filesystem::path NativePath(const QString& path)
{
#ifdef Q_OS_WIN
    return boost::filesystem::path(path.toStdWString());
#else
    return boost::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

// A path as the system calls take it.
QByteArray Native(const QString& path) { return QFile::encodeName(path); }

// The entry itself, a link not followed; false when there is none.
bool EntryStatus(const QString& path, struct stat& status) { return ::lstat(Native(path), &status) == 0; }

// The save locks of every folder the files of a pair are in, taken in one
// order whatever the pair: by each folder's device and inode. Unlike the
// stream's folder locked first and the companion's when it is read, two
// opens or saves of pairs that lie across the same two folders the other
// way round never each hold one and wait for the other until one gives up
// (and reads the stream without its names).
class PairLock {
public:
    struct Target {
        QString path;
        SaveLock::Purpose purpose;
    };
    // The first target of each folder stands for it (a user who may not
    // list the folder locks that file).
    explicit PairLock(const std::vector<Target>& targets)
    {
        struct Folder {
            dev_t device;
            ino_t inode;
            bool known;
            std::size_t target;
        };
        std::vector<Folder> folders;
        for (std::size_t at = 0; at < targets.size(); ++at) {
            struct stat folder;
            const bool known = ::stat(Native(QFileInfo(targets[at].path).absolutePath()), &folder) == 0;
            const bool seen = known && std::any_of(folders.begin(), folders.end(), [&](const Folder& f) {
                                  return f.known && f.device == folder.st_dev && f.inode == folder.st_ino;
                              });
            if (!seen)
                folders.push_back({known ? folder.st_dev : 0, known ? folder.st_ino : 0, known, at});
        }
        // A folder that is not there locks nothing; it goes last.
        std::sort(folders.begin(), folders.end(), [](const Folder& a, const Folder& b) {
            return std::make_tuple(!a.known, a.device, a.inode, a.target) <
                   std::make_tuple(!b.known, b.device, b.inode, b.target);
        });
        for (const Folder& folder : folders) {
            const Target& target = targets[folder.target];
            locks_.push_back(std::make_unique<SaveLock>(target.path, target.purpose));
            if (!locks_.back()->Problem().isEmpty()) {
                problem_ = locks_.back()->Problem();
                failed_ = folder.target;
                locks_.clear();
                return;
            }
        }
    }
    // Empty when every folder is locked; otherwise why not, as SaveLock says.
    const QString& Problem() const { return problem_; }
    // Which of the targets could not be locked.
    std::size_t Failed() const { return failed_; }

private:
    std::vector<std::unique_ptr<SaveLock>> locks_;
    QString problem_;
    std::size_t failed_ = 0;
};

// The companion as a message names it: its file name beside its stream, its
// path where it is in another folder.
QString CompanionShown(const QString& binaryPath, const QString& companion)
{
    return QFileInfo(companion).absolutePath() == QFileInfo(binaryPath).absolutePath() ? FileNameOf(companion)
                                                                                        : companion;
}

// In a folder with the sticky bit only an entry's owner, the folder's owner
// and root may rename over it.
bool StickyFolderKeeps(const QString& path, const struct stat& entry)
{
    struct stat folder;
    const uid_t self = ::geteuid();
    return ::stat(Native(QFileInfo(path).absolutePath()), &folder) == 0 && (folder.st_mode & S_ISVTX) && self != 0 &&
           entry.st_uid != self && folder.st_uid != self;
}

// Why one file of a pair cannot be written at `path`; empty when it can.
QString WhyCannotWrite(const QString& path)
{
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir())
        return IsLinkLoop(folder.filePath())
                   ? Tr("%1 cannot be saved: the links to its folder %2 go round in a loop.")
                         .arg(info.fileName(), folder.filePath())
                   : Tr("%1 cannot be saved: the folder %2 does not exist.").arg(info.fileName(), folder.filePath());
    const bool inPlace = IsRewrittenInPlace(path);
    struct stat entry;
    if (info.isSymLink()) {
        if (inPlace)
            return Tr("%1 is a link, and its folder is read-only, so the link cannot be replaced by a file "
                      "of its own.")
                .arg(info.fileName());
        if (EntryStatus(path, entry) && StickyFolderKeeps(path, entry))
            return Tr("%1 is a link of another user's, and its folder lets only the owner replace it.")
                .arg(info.fileName());
        return QString();
    }
    if (!info.exists())
        return inPlace ? Tr("%1 cannot be made: its folder is read-only.").arg(info.fileName()) : QString();
    if (!info.isFile())
        return Tr("%1 is not a file.").arg(info.fileName());
    if (!info.isWritable())
        return Tr("%1 is read-only.").arg(info.fileName());
    return QString();
}

}  // namespace

QString JointNameXmlCannotHold(const Characterization& characterization)
{
    const std::vector<QString>& names = characterization.GetNodeNames();
    for (std::size_t node = 0; node < names.size(); ++node) {
        const QString problem = CharacterXmlCannotHold(
            names[node], Tr("The joint name of %1").arg(QString::fromLatin1(VLMGetNodeName(int(node)))));
        if (!problem.isEmpty())
            return problem;
    }
    return QString();
}

QString CompanionPathFor(const QString& binaryPath)
{
    QString stem = binaryPath;
    if (stem.endsWith(QLatin1String(kBinaryExtension), Qt::CaseInsensitive))
        stem.chop(int(qstrlen(kBinaryExtension)));
    return stem + QLatin1String(kCompanionSuffix);
}

QString LegacyCompanionPathFor(const QString& binaryPath)
{
    const QFileInfo info(binaryPath);
    return info.dir().filePath(info.baseName() + QLatin1String(kCompanionSuffix));
}

QString FindCompanionPath(const QString& binaryPath)
{
    // Unlike a lookup of the exact name, a companion whose name differs from
    // the file's own only in case is taken too (the exact name first): a
    // file system that ignores case opens it under the own name, and the
    // save replaces it under the name it has, so that load and save agree.
    const QString current = FindFileIgnoringCase(CompanionPathFor(binaryPath));
    if (!current.isEmpty() && QFileInfo(current).isFile())
        return current;
    // Files saved under the older naming shared one companion between all
    // the names of one first part ("hero.take1", "hero.take2", "hero"): it
    // holds the names of whichever was saved last. It is taken only when
    // nothing else in the folder could have written it.
    const QString legacy = LegacyCompanionPathFor(binaryPath);
    if (QFileInfo(legacy).isFile() && CompanionClaimants(legacy, binaryPath).isEmpty())
        return legacy;
    return QString();
}

QStringList CompanionClaimants(const QString& companionPath, const QString& except)
{
    const QFileInfo companion(companionPath);
    const QString companionName = companion.fileName();
    const QString exceptName = except.isEmpty() ? QString() : QFileInfo(except).fileName();
    const QDir folder = companion.dir();
    // The folder is listed once: each file's own companion is looked up in
    // it as FindFileIgnoringCase would, its exact name first.
    const QStringList entries =
        folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    QHash<QString, QString> exact, folded;
    for (const QString& entry : entries) {
        exact.insert(entry, entry);
        if (!folded.contains(entry.toCaseFolded()))
            folded.insert(entry.toCaseFolded(), entry);
    }
    auto found = [&](const QString& name) { return exact.value(name, folded.value(name.toCaseFolded(), name)); };
    auto sameName = [&companionName](const QString& path) {
        return QFileInfo(path).fileName().compare(companionName, Qt::CaseInsensitive) == 0;
    };

    QStringList claimants;
    for (const QString& binary : entries) {
        if (!binary.endsWith(QLatin1String(kBinaryExtension), Qt::CaseInsensitive))
            continue;
        const QString path = folder.filePath(binary);
        // Left out by its own name; in another case only where it is the same
        // file (a disk that ignores case): on a disk that keeps case, HERO.VLMC
        // beside hero.vlmc is a file of its own, with its own names.
        boost::system::error_code error;
        if (!exceptName.isEmpty() &&
            (binary == exceptName ||
             (binary.compare(exceptName, Qt::CaseInsensitive) == 0 &&
              boost::filesystem::equivalent(NativePath(path), NativePath(except), error) && !error)))
            continue;
        if (!QFileInfo(path).isFile())
            continue;
        const QString own = CompanionPathFor(path);
        const QString ownFound = folder.filePath(found(QFileInfo(own).fileName()));
        const bool hasOwn = QFileInfo(ownFound).isFile();
        const QString legacy = LegacyCompanionPathFor(path);
        // Names as a file system that ignores case sees them, and the file
        // the companion it reads leads to through links.
        const bool claims =
            sameName(own) || (!hasOwn && sameName(legacy)) || NameReaches(hasOwn ? ownFound : legacy, companionPath);
        if (claims)
            claimants << binary;
    }
    return claimants;
}

QString FindFileIgnoringCase(const QString& path)
{
    const QFileInfo info(path);
    if (IsEntry(info))
        return path;
    const QString name = info.fileName();
    const QDir folder = info.dir();
    const QStringList entries =
        folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return folder.filePath(entry);
    }
    return QString();
}

bool NameReaches(const QString& name, const QString& entry)
{
    const QString target = EntryKey(entry);
    QString step = name;
    for (int links = 0; links <= kMostLinksFollowed && !step.isEmpty(); ++links) {
        if (EntryKey(step) == target)
            return true;
        const QFileInfo info(step);
        if (!info.isSymLink())
            return false;
        step = info.symLinkTarget();
    }
    return false;
}

namespace {

// What replacing a plain companion could lose.
enum class CompanionLoss {
    kNothing,     // no plain file, one with no element at all, or one read whole
    kUnreadable,  // damaged, unreadable or too large
    kNotWhole,    // read, but the tool did not take all it holds
    kUnread,      // not read for a save (XmlSettingsStore::GetUnread): nothing is known of it
};

QString ElementText(const QDomElement& element)
{
    QString text;
    QTextStream out(&text);
    element.save(out, 0);
    return text;
}

// A companion is read whole when it gave 172 joint names, read with every
// byte valid, and holds nothing else: its root is what the save would write
// for those names. Anything more (a list under another key, in a group,
// names as element text, other entries) or fewer names is not taken by the
// loader and would be lost to the save. Only a file without any element
// holds nothing to lose: unlike a plain write of the names, which replaced
// whatever was there, the save keeps such a file aside (an empty root or a
// file with bytes read as U+FFFD included), and says so.
CompanionLoss WhatReplacingLoses(const QString& companion, QString* unread = nullptr)
{
    struct stat entry;
    if (!EntryStatus(companion, entry) || !S_ISREG(entry.st_mode))
        return CompanionLoss::kNothing;
    XmlSettingsStore store(companion);
    if (!store.GetUnread().isEmpty()) {
        if (unread)
            *unread = store.GetReadProblem();
        return CompanionLoss::kUnread;
    }
    if (!store.GetReadProblem().isEmpty())
        return CompanionLoss::kUnreadable;
    if (store.HeldNoElement())
        return CompanionLoss::kNothing;
    std::vector<QString> names;
    store.GetList(kBoneCorrespondance, names);
    // What the save would write for those names; taken as text, so that the
    // store on no file is written nowhere.
    XmlSettingsStore written{QString()};
    written.SetList(kBoneCorrespondance, names);
    QByteArray unused;
    written.WriteInto(unused);
    const bool whole =
        store.GetReadWarning().isEmpty() && names.size() == std::size_t(VLM_NODE_COUNT) &&
        ElementText(store.FindGroup(QString(), false)) == ElementText(written.FindGroup(QString(), false));
    return whole ? CompanionLoss::kNothing : CompanionLoss::kNotWhole;
}

}  // namespace

QString WhyBinaryPairCannotBeWritten(const QString& binaryPath, const QString& companionPath)
{
    if (EntryKey(binaryPath).compare(EntryKey(companionPath), Qt::CaseInsensitive) == 0)
        return Tr("%1 cannot hold both the stream and the joint names.").arg(FileNameOf(binaryPath));
    for (const QString& path : {binaryPath, companionPath}) {
        const QString why = WhyCannotWrite(path);
        if (!why.isEmpty())
            return why;
    }
    // Rewritten in place, two names of one file would keep only the names.
    boost::system::error_code error;
    if (IsRewrittenInPlace(binaryPath) && IsRewrittenInPlace(companionPath) &&
        boost::filesystem::equivalent(NativePath(binaryPath), NativePath(companionPath), error) && !error)
        return Tr("%1 and %2 are one file, and it can only be rewritten in place, so they cannot be written apart.")
            .arg(FileNameOf(binaryPath), FileNameOf(companionPath));
    // A companion that could not be read whole is kept under another name,
    // which a read-only folder cannot take, and a copy needs it readable.
    const CompanionLoss loss =
        IsRewrittenInPlace(companionPath) ? WhatReplacingLoses(companionPath) : CompanionLoss::kNothing;
    // One not read for another save is refused by the save itself, saying why.
    if (loss != CompanionLoss::kNothing && loss != CompanionLoss::kUnread) {
        const QString unread =
            loss == CompanionLoss::kUnreadable ? Tr("%1 could not be read") : Tr("%1 was not read whole");
        if (!FolderIsWritable(companionPath))
            return Tr("%1, and its folder is read-only, so it cannot be kept under another name before it is "
                      "replaced.")
                .arg(unread.arg(FileNameOf(companionPath)));
        if (!QFileInfo(companionPath).isReadable())
            return Tr("%1, and it cannot be copied to keep it before it is replaced.")
                .arg(unread.arg(FileNameOf(companionPath)));
    }
    return QString();
}

bool SaveCharacterizationBinary(Characterization& characterization, const QString& binaryPath,
                                const QString& companionPath, unsigned char byteOrder, bool withLimits,
                                QString* message)
{
    // Names the companion would not give back are refused before anything is
    // written: the stream would load without them.
    const QString unwritable = JointNameXmlCannotHold(characterization);
    if (!unwritable.isEmpty()) {
        Say(message, Tr("%1 was not saved: %2").arg(FileNameOf(binaryPath), unwritable));
        return false;
    }
    const QString companion = companionPath.isEmpty() ? CompanionPathFor(binaryPath) : companionPath;
    // Another save of the folder finishes first, or, after a while, this one
    // gives up; what the folder holds is looked at only then. So too for the
    // folder the names are written in, and the one a link there leads to,
    // where the names it replaces are read.
    const PairLock lock({{binaryPath, SaveLock::Purpose::kSave},
                         {companion, SaveLock::Purpose::kRead},
                         {XmlSettingsStore::FileBehind(companion), SaveLock::Purpose::kRead}});
    if (!lock.Problem().isEmpty()) {
        Say(message, lock.Failed() == 0
                         ? Tr("%1 was not saved: %2. Nothing was written.").arg(FileNameOf(binaryPath), lock.Problem())
                         : Tr("%1 was not saved: its joint names are written to %2, and %3. Nothing was written.")
                               .arg(FileNameOf(binaryPath), CompanionShown(binaryPath, companion), lock.Problem()));
        return false;
    }
    // A save of this pair that was stopped before it ended is undone or
    // finished first, and the message says so; what the folder holds is
    // looked at only then.
    QString formerKept, problem;
    RecoverStoppedSave(binaryPath, {binaryPath, companion}, formerKept, problem);
    if (problem.isEmpty()) {
        const QString refusal = WhyBinaryPairCannotBeWritten(binaryPath, companion);
        if (!refusal.isEmpty()) {
            Say(message, refusal);
            return false;
        }
        // Where an earlier save failed to put a former file back, that file
        // is kept, and the message says where.
        for (const QString& path : {binaryPath, companion}) {
            const QString notice = problem.isEmpty() ? RemoveLeftovers(path, problem) : QString();
            if (!notice.isEmpty())
                formerKept += QLatin1Char(' ') + notice;
        }
    }
    if (!problem.isEmpty()) {
        Say(message, Tr("%1 was not saved: %2. Nothing was written.").arg(FileNameOf(binaryPath), problem));
        return false;
    }
    char* data = nullptr;
    std::size_t size = 0;
    if (!CharacterizationToStream(characterization, byteOrder, withLimits, data, size, message))
        return false;
    const QByteArray stream(data, int(size));
    std::free(data);
    // The names are made whole before either file is touched. Unlike a store
    // made on the companion's path, which would parse the old file first, a
    // store on no file reads nothing, and its reasons name no file: they read
    // on from the companion's name.
    XmlSettingsStore store{QString()};
    store.SetList(kBoneCorrespondance, characterization.GetNodeNames());
    QByteArray text;
    if (!store.WriteInto(text)) {
        Say(message, FileNameOf(companion) + store.GetWriteProblem());
        return false;
    }

    KeptAside aside;
    auto failed = [message, &aside](const SavedFile& file) {
        aside.Undo(false);
        Say(message, Tr("%1 could not be written: %2").arg(FileNameOf(file.Target()), file.Error()));
        return false;
    };
    // Unlike writing the stream and then trying the companion, both are
    // found writable, opened and written completely before either replaces
    // its target (rewritten in place, nothing changes before the commit),
    // so a companion that cannot be written leaves the stream as it was: a
    // stream is useless without its names.
    SavedFile binary(binaryPath), names(companion);
    if (!binary.Open())
        return failed(binary);
    if (!names.Open())
        return failed(names);
    // What was not read whole is not lost with the save; what was not read
    // for another save is not replaced.
    QString unread;
    const CompanionLoss loss = WhatReplacingLoses(companion, &unread);
    if (loss == CompanionLoss::kUnread) {
        Say(message, Tr("%1 was not saved: %2 Nothing was written.").arg(FileNameOf(binaryPath), unread));
        return false;
    }
    if (loss != CompanionLoss::kNothing) {
        QString why;
        if (!aside.Keep(companion, names.InPlace(), why)) {
            Say(message, Tr("%1 could not be read whole, and it could not be kept under another name before it is "
                            "replaced: %2")
                             .arg(FileNameOf(companion), why));
            return false;
        }
        names.KeepsAside(aside);
    }
    if (!binary.Stage(stream))
        return failed(binary);
    if (!names.Stage(text))
        return failed(names);

    // Files replaced by new ones first, files rewritten in place last: any
    // failure puts back each file committed before it.
    std::vector<const SavedFile*> notRestored;
    if (const SavedFile* failure = CommitAll({&binary, &names}, notRestored, binaryPath)) {
        if (notRestored.empty())
            return failed(*failure);
        // Not all could be put back: the user hears what is left, and where
        // a former file is kept. The former companion, if it was kept aside,
        // is kept.
        aside.Undo(true);
        QStringList left, kept;
        for (const SavedFile* file : notRestored) {
            left << FileNameOf(file->Target());
            if (!file->KeptAs().isEmpty())
                kept << Tr(" The former %1 is kept as %2.").arg(FileNameOf(file->Target()), FileNameOf(file->KeptAs()));
        }
        if (failure == &names && notRestored == std::vector<const SavedFile*>{&binary})
            Say(message, Tr("%1 was written, but its joint names could not be written to %2: %3.%4")
                             .arg(FileNameOf(binaryPath), FileNameOf(companion), names.Error(), kept.join(QString())));
        else
            Say(message, Tr("%1 could not be written: %2. %3 could not be put back as it was.%4")
                             .arg(FileNameOf(failure->Target()), failure->Error(), left.join(QStringLiteral(", ")),
                                  kept.join(QString())));
        return false;
    }
    const QString kept = FileNameOf(aside.Path());
    formerKept = formerKept.trimmed();
    QString saved = formerKept.isEmpty() ? QString() : Tr("%1 was saved.").arg(FileNameOf(binaryPath));
    if (!kept.isEmpty())
        saved = (loss == CompanionLoss::kUnreadable
                     ? Tr("%1 was saved. %2 could not be read, so the former file is kept as %3.")
                     : Tr("%1 was saved. %2 was not read whole, so the former file is kept as %3."))
                    .arg(FileNameOf(binaryPath), FileNameOf(companion), kept);
    // A folder that could not be synced after the files were committed is said.
    for (const SavedFile* file : {&binary, &names}) {
        if (!file->Notice().isEmpty())
            saved = (saved.isEmpty() ? Tr("%1 was saved.").arg(FileNameOf(binaryPath)) : saved) + QLatin1Char(' ') +
                    file->Notice();
    }
    Say(message, formerKept.isEmpty() ? saved : saved + QLatin1Char(' ') + formerKept);
    return true;
}

bool SaveCharacterizationBinary(Characterization& characterization, const char* binaryPath, const char* companionPath,
                                unsigned char byteOrder, bool withLimits, QString* message)
{
    return SaveCharacterizationBinary(characterization, QString::fromLatin1(binaryPath),
                                      QString::fromLatin1(companionPath), byteOrder, withLimits, message);
}

std::unique_ptr<Characterization> LoadCharacterizationBinary(const QString& binaryPath, const QString& companionPath,
                                                             QString* message)
{
    const QFileInfo info(binaryPath);
    const QString notAFile = WhyNotARegularFile(info);
    if (!notAFile.isEmpty()) {
        Say(message, notAFile);
        return nullptr;
    }
    // Both files are read under the folder's lock, so that a save under way
    // is read whole or not at all: read without it, the stream of one save
    // could come with the names of the next. A save of the pair that was
    // stopped before it ended is undone or finished first, under the same
    // lock: its stream and names are then of one save.
    // The companion's folder, and the one a link there leads to, are
    // locked with the stream's: an open whose names' folder stays busy is
    // refused as one whose stream's folder is, never read without its names.
    // (A departure: a companion that could not be read gave a pair without
    // names, whatever kept it from being read.)
    QString companion = companionPath;
    if (companion.isEmpty()) {
        companion = FindCompanionPath(binaryPath);
        if (companion.isEmpty())
            companion = CompanionPathFor(binaryPath);
    }
    const PairLock lock({{binaryPath, SaveLock::Purpose::kRead},
                         {XmlSettingsStore::FileBehind(companion), SaveLock::Purpose::kRead}});
    if (!lock.Problem().isEmpty()) {
        Say(message, lock.Failed() == 0
                         ? Tr("%1 was not opened: %2.").arg(FileNameOf(binaryPath), lock.Problem())
                         : Tr("%1 was not opened: its joint names are read from %2, and %3.")
                               .arg(FileNameOf(binaryPath), CompanionShown(binaryPath, companion), lock.Problem()));
        return nullptr;
    }
    // The journal names the files of its save alone: the stream and a
    // companion a save of it writes.
    QString recovered, problem;
    QStringList files = {binaryPath, CompanionPathFor(binaryPath)}, readFrom;
    for (const QString& other : {FindFileIgnoringCase(files[1]), companionPath}) {
        if (!other.isEmpty() && !files.contains(other))
            files << other;
    }
    if (!RecoverBeforeOpening(binaryPath, files, recovered, problem, &readFrom)) {
        Say(message, Tr("%1 was not opened: an earlier save of it did not finish, and %2.")
                         .arg(FileNameOf(binaryPath), problem));
        return nullptr;
    }
    // Where this user may not change the folder, the files the stopped save
    // kept are read instead of those it had changed.
    const auto readPath = [&](const QString& path) {
        const int at = files.indexOf(path);
        return at >= 0 && at < readFrom.size() ? readFrom[at] : path;
    };
    // Where a first save of the pair stopped, a user who may not change the
    // folder has no whole version to read: said so, with what puts it right.
    if (readPath(binaryPath).isEmpty()) {
        Say(message, Tr("%1 was not opened: the save that first wrote it stopped before the pair was written whole, "
                        "so there is no whole version of it to read yet. It can be opened once someone who may "
                        "change its folder saves it again.")
                         .arg(FileNameOf(binaryPath)));
        return nullptr;
    }
    PaceRead(binaryPath);
    QFile file;
    const QString unopened = OpenRegularFileToRead(file, readPath(binaryPath));
    if (!unopened.isEmpty()) {
        Say(message, unopened);
        return nullptr;
    }
    const QByteArray bytes = file.read(qint64(kLongestStream));
    if (file.error() != QFileDevice::NoError) {
        Say(message, Tr("%1 could not be read: %2").arg(FileNameOf(binaryPath), file.errorString()));
        return nullptr;
    }
    file.close();

    // Without a companion to take, the file's own is the one reported
    // missing. Looked for again now that the folder is locked: a save may
    // have made one meanwhile.
    if (companionPath.isEmpty()) {
        companion = FindCompanionPath(binaryPath);
        if (companion.isEmpty())
            companion = CompanionPathFor(binaryPath);
    }
    PaceRead(companion);
    QString why, warning, unread;
    const QString namesFrom = readPath(companion);
    std::vector<QString> names;
    if (!namesFrom.isEmpty())
        names = ReadCompanionNames(namesFrom, why, warning, unread);
    else
        why = Tr("No joint names were loaded: the save that first wrote %1 stopped before it was written whole, so "
                 "there is none to read yet.")
                  .arg(FileNameOf(companion));
    // A companion that is there but was not read for a save (its folder's
    // lock had only now, a link there having changed since it was looked at,
    // or a stopped save of its own that could not be put right): refused as
    // above.
    if (!unread.isEmpty()) {
        Say(message, Tr("%1 was not opened: %2").arg(FileNameOf(binaryPath), unread));
        return nullptr;
    }

    QString fault;
    std::unique_ptr<Characterization> characterization =
        ReadStream(bytes.constData(), std::size_t(bytes.size()), names, nullptr, fault);
    if (!characterization) {
        // A stream refused for one node's record says which.
        Say(message, fault.isEmpty()
                         ? Tr("%1 is not a character definition file, or it is damaged.").arg(FileNameOf(binaryPath))
                         : Tr("%1 is damaged: %2").arg(FileNameOf(binaryPath), fault));
        return nullptr;
    }
    characterization->SetName(info.baseName());
    // Names that do not fit the stream leave used nodes without a joint.
    if (why.isEmpty() && !names.empty()) {
        int used = 0;
        const int unnamed = characterization->CountUnnamedAssignedNodes(&used);
        if (unnamed > 0)
            why = Tr(unnamed == 1 ? "%1 of the %2 nodes of %3 has no joint name in %4."
                                  : "%1 of the %2 nodes of %3 have no joint name in %4.")
                      .arg(unnamed)
                      .arg(used)
                      .arg(FileNameOf(binaryPath), FileNameOf(companion));
    }
    // Names read with bytes that were not valid are taken, and the user
    // hears where those bytes were.
    if (!warning.isEmpty())
        why = why.isEmpty() ? warning : warning + QLatin1Char(' ') + why;
    if (!recovered.isEmpty())
        why = why.isEmpty() ? recovered : recovered + QLatin1Char(' ') + why;
    Say(message, why);
    return characterization;
}

std::unique_ptr<Characterization> LoadCharacterizationBinary(const char* binaryPath, const char* companionPath,
                                                             QString* message)
{
    return LoadCharacterizationBinary(QString::fromLatin1(binaryPath), QString::fromLatin1(companionPath), message);
}
