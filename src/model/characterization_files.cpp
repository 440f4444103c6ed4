// The host stream pair and ".vlmc" files with their companion.

#include "rig/vlm_frame.h"
#include "rig/vlm_handle.h"
#include "rig/vlm_names.h"
#include "rig/vlm_stream.h"

#include "model/characterization.h"
#include "model/characterization_files.h"
#include "model/file_utils.h"
#include "model/xml_document.h"
#include "model/xml_settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <cerrno>
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
std::vector<QString> ReadCompanionNames(const QString& companionPath, QString& why, QString& warning)
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
    // A companion that could not be read says why, not that it lists no names.
    if (!store.GetReadProblem().isEmpty()) {
        why = Tr("No joint names were loaded: %1").arg(store.GetReadProblem());
        return names;
    }
    warning = store.GetReadWarning();
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
// The longest file name the file systems take, in bytes.
constexpr int kLongestFileName = 255;

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

PairWriteFault& InstalledFault()
{
    static PairWriteFault fault;
    return fault;
}

int InjectedFault(PairWriteStep step, const QString& target)
{
    return InstalledFault() ? InstalledFault()(step, target) : 0;
}

// A path as the system calls take it.
QByteArray Native(const QString& path) { return QFile::encodeName(path); }

// The entry itself, a link not followed; false when there is none.
bool EntryStatus(const QString& path, struct stat& status) { return ::lstat(Native(path), &status) == 0; }

bool InOwnGroups(gid_t group)
{
    if (group == ::getegid())
        return true;
    std::vector<gid_t> groups(std::size_t(std::max(::getgroups(0, nullptr), 0)));
    groups.resize(std::size_t(std::max(::getgroups(int(groups.size()), groups.data()), 0)));
    return std::find(groups.begin(), groups.end(), group) != groups.end();
}

// Whether a new file of this process may be given the owner and group of
// the file `status` describes: root gives files to anyone, an owner only to
// one of its own groups.
bool CanGiveOwnerAndGroup(const struct stat& status)
{
    return ::geteuid() == 0 || (status.st_uid == ::geteuid() && InOwnGroups(status.st_gid));
}

bool FolderIsWritable(const QString& path) { return QFileInfo(QFileInfo(path).absolutePath()).isWritable(); }

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

// A short name beside `target` for a file of the save, when the target's own
// name with `suffix` would be longer than a file name may be.
QString BesidePath(const QString& target, const char* suffix)
{
    const QFileInfo info(target);
    const QByteArray name = QFile::encodeName(info.fileName());
    if (name.size() + int(std::strlen(suffix)) <= kLongestFileName)
        return target + QLatin1String(suffix);
    const QByteArray hash = QCryptographicHash::hash(name, QCryptographicHash::Sha1).toHex().left(16);
    return info.dir().filePath(QStringLiteral(".~") + QString::fromLatin1(hash) + QLatin1String(suffix));
}

QString StagedPathFor(const QString& target) { return BesidePath(target, ".saving"); }
QString PreviousPathFor(const QString& target) { return BesidePath(target, ".previous"); }

// Removes what a save of `target` that was killed midway left beside it: its
// staged files (also the numbered ones of earlier versions) and the second
// name of the file it replaced. Only plain files are removed.
void RemoveLeftovers(const QString& target)
{
    const QFileInfo info(target);
    QStringList leftovers{StagedPathFor(target), PreviousPathFor(target)};
    const QRegularExpression numbered(QRegularExpression::escape(info.fileName()) + QStringLiteral("\\.saving\\d+"));
    for (const QString& name : info.dir().entryList({info.fileName() + QStringLiteral(".saving*")},
                                                    QDir::Files | QDir::Hidden | QDir::System)) {
        if (numbered.match(name).capturedLength() == name.size())
            leftovers << info.dir().filePath(name);
    }
    for (const QString& path : leftovers) {
        struct stat entry;
        if (EntryStatus(path, entry) && S_ISREG(entry.st_mode))
            ::unlink(Native(path));
    }
}

// Holds an exclusive lock on a folder while it lives (see
// SaveCharacterizationBinary). Where the file system keeps no locks on
// folders, the save goes on without one.
class FolderLock {
public:
    explicit FolderLock(const QString& folder) : fd_(::open(Native(folder), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
};

// Writes all of `size` bytes at the start of `fd`; false with errno set when
// the system took fewer.
bool WriteAll(int fd, const char* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::pwrite(fd, data + done, size - done, off_t(done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        done += std::size_t(written);
    }
    return true;
}

// One file of a pair being saved. Where a new file can stand in its place
// (IsRewrittenInPlace), it is written under a name of its own beside the
// target and later renamed over the target's name. Unlike opening the
// target's path for writing (or a QSaveFile, which follows links too), this
// replaces a link there by the file and leaves what it leads to alone: a
// link may lead to another file's companion, to the other file of the pair,
// or out of the folder. Otherwise the target (a writable plain file:
// WhyCannotWrite made sure) is opened without being cut, and cut to its new
// length once written. Errors are kept as the system names them.
class PairFile {
public:
    explicit PairFile(const QString& target) : target_(target) { }
    ~PairFile() { Discard(); }
    PairFile(const PairFile&) = delete;
    PairFile& operator=(const PairFile&) = delete;

    // Changes no byte of the target.
    bool Open()
    {
        inPlace_ = IsRewrittenInPlace(target_);
        if (inPlace_) {
            fd_ = ::open(Native(target_), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
            return fd_ >= 0 || Fail(errno);
        }
        // A replaced plain file's mode from the first byte on, and its owner
        // and group: the umask narrows the mode at the open, fchmod sets it
        // whole (after fchown, which may clear set-id bits). Its owner may
        // always read it: a companion its owner could not read is replaced
        // by one that loads.
        struct stat old;
        const bool replacesFile = EntryStatus(target_, old) && S_ISREG(old.st_mode);
        const mode_t mode = replacesFile ? ((old.st_mode & 07777) | S_IRUSR) : 0666;
        staged_ = StagedPathFor(target_);
        fd_ = ::open(Native(staged_), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd_ < 0) {
            staged_.clear();
            return Fail(errno);
        }
        struct stat made;
        if (replacesFile &&
            (::fstat(fd_, &made) != 0 ||
             ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) && ::fchown(fd_, old.st_uid, old.st_gid) != 0) ||
             ::fchmod(fd_, mode) != 0)) {
            error_ = Tr("it could not keep its owner and group: %1").arg(SystemErrorText(errno));
            return false;
        }
        return true;
    }
    bool Write(const QByteArray& bytes)
    {
        // Where the file system can, a file rewritten in place is given its
        // length before a byte changes, so that a full disk leaves it whole.
        if (inPlace_ && ::fallocate(fd_, 0, 0, off_t(bytes.size())) != 0 && errno != EOPNOTSUPP)
            return Fail(errno);
        if (const int fault = InjectedFault(PairWriteStep::kWrite, target_)) {
            WriteAll(fd_, bytes.constData(), std::size_t(bytes.size() / 2));
            return Fail(fault);
        }
        size_ = bytes.size();
        return WriteAll(fd_, bytes.constData(), std::size_t(bytes.size())) || Fail(errno);
    }
    // Done writing: everything is on the disk, and a file rewritten in place
    // ends where the new content ends.
    bool Finish()
    {
        if (const int fault = InjectedFault(PairWriteStep::kSync, target_))
            return Fail(fault);
        if ((inPlace_ && ::ftruncate(fd_, off_t(size_)) != 0) || ::fsync(fd_) != 0)
            return Fail(errno);
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 || Fail(errno);
    }
    // Puts the written file in the target's place.
    bool Commit()
    {
        if (inPlace_)
            return true;
        if (const int fault = InjectedFault(PairWriteStep::kRename, target_))
            return Fail(fault);
        if (::rename(Native(staged_), Native(target_)) != 0)
            return Fail(errno);
        staged_.clear();
        return true;
    }
    void Discard()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        if (!staged_.isEmpty())
            ::unlink(Native(staged_));
        staged_.clear();
    }
    bool InPlace() const { return inPlace_; }
    const QString& Error() const { return error_; }

private:
    bool Fail(int error)
    {
        error_ = SystemErrorText(error);
        return false;
    }

    QString target_;
    QString staged_;  // a file of ours that has not replaced its target
    int fd_ = -1;
    qint64 size_ = 0;
    bool inPlace_ = false;
    QString error_;
};

// A second name of the file (or link) at `target` for as long as a save may
// still have to put it back; none when there is nothing at the target or the
// file system makes no second names.
class FormerFile {
public:
    explicit FormerFile(const QString& target) : target_(target), kept_(PreviousPathFor(target))
    {
        struct stat entry;
        existed_ = EntryStatus(target_, entry);
        if (!existed_ || ::linkat(AT_FDCWD, Native(target_), AT_FDCWD, Native(kept_), 0) != 0)
            kept_.clear();
    }
    ~FormerFile()
    {
        if (!kept_.isEmpty())
            ::unlink(Native(kept_));
    }
    FormerFile(const FormerFile&) = delete;
    FormerFile& operator=(const FormerFile&) = delete;

    // Puts the former file back in the target's place (removes the new one
    // when there was none); false when it cannot.
    bool Restore()
    {
        if (!existed_)
            return ::unlink(Native(target_)) == 0;
        if (kept_.isEmpty() || ::rename(Native(kept_), Native(target_)) != 0)
            return false;
        kept_.clear();
        return true;
    }

private:
    QString target_;
    QString kept_;
    bool existed_ = false;
};

// Keeps a companion that could not be read under a name of its own before it
// is replaced: a second name of it when a new file takes its place, a copy
// when it is rewritten in place (a second name would be rewritten with it).
// The kept file's path, or empty with `why` set.
QString KeepCompanionAside(const QString& companion, bool copy, QString& why)
{
    const QString aside = DamagedFileAsideName(companion);
    const QByteArray from = Native(companion), to = Native(aside);
    if (!copy && ::linkat(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), 0) == 0)
        return aside;
    // A copy has the former one's mode; its owner is whoever saves.
    QFile source(companion);
    struct stat status;
    const int fd = ::lstat(from.constData(), &status) == 0
                       ? ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, status.st_mode & 0777)
                       : -1;
    if (fd < 0) {
        why = SystemErrorText(errno);
        return QString();
    }
    QByteArray bytes;
    bool copied = source.open(QIODevice::ReadOnly);
    if (copied) {
        bytes = source.readAll();
        copied = source.error() == QFileDevice::NoError;
    }
    why = copied ? QString() : source.errorString();
    if (copied && (!WriteAll(fd, bytes.constData(), std::size_t(bytes.size())) || ::fsync(fd) != 0)) {
        why = SystemErrorText(errno);
        copied = false;
    }
    ::close(fd);
    if (!copied)
        ::unlink(to.constData());
    return copied ? aside : QString();
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

bool IsRewrittenInPlace(const QString& path)
{
    if (!FolderIsWritable(path))
        return true;
    struct stat entry;
    return EntryStatus(path, entry) && S_ISREG(entry.st_mode) && !CanGiveOwnerAndGroup(entry);
}

namespace {

// Whether the plain file at `companion` holds something the tool could not
// read: it is damaged, unreadable or too large, or lists a number of names
// other than 172. An empty one holds nothing to lose, and a link or no file
// loses nothing when replaced.
bool CompanionCouldNotBeRead(const QString& companion)
{
    struct stat entry;
    if (!EntryStatus(companion, entry) || !S_ISREG(entry.st_mode))
        return false;
    XmlSettingsStore store(companion);
    std::vector<QString> names;
    store.GetList(kBoneCorrespondance, names);
    return !store.GetReadProblem().isEmpty() || (!names.empty() && names.size() != std::size_t(VLM_NODE_COUNT));
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
    // A companion that could not be read is kept under another name, which
    // a read-only folder cannot take, and a copy needs it readable.
    if (IsRewrittenInPlace(companionPath) && CompanionCouldNotBeRead(companionPath)) {
        if (!FolderIsWritable(companionPath))
            return Tr("%1 could not be read, and its folder is read-only, so it cannot be kept under another name "
                      "before it is replaced.")
                .arg(FileNameOf(companionPath));
        if (!QFileInfo(companionPath).isReadable())
            return Tr("%1 could not be read, and it cannot be copied to keep it before it is replaced.")
                .arg(FileNameOf(companionPath));
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
    // Another save of the folder finishes first; what the folder holds is
    // looked at only then.
    const FolderLock lock(QFileInfo(binaryPath).absolutePath());
    const QString refusal = WhyBinaryPairCannotBeWritten(binaryPath, companion);
    if (!refusal.isEmpty()) {
        Say(message, refusal);
        return false;
    }
    RemoveLeftovers(binaryPath);
    RemoveLeftovers(companion);
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

    QString aside;
    bool companionTouched = false;  // rewritten in place, it may no longer be what was kept
    auto failed = [message, &aside, &companionTouched](const QString& path, const PairFile& file) {
        if (!aside.isEmpty() && !companionTouched)
            QFile::remove(aside);
        Say(message, Tr("%1 could not be written: %2").arg(FileNameOf(path), file.Error()));
        return false;
    };
    // Unlike writing the stream and then trying the companion, both are
    // found writable, and then opened, before either is written (rewritten
    // in place, opening changes nothing), so a companion that cannot be
    // written leaves the stream as it was: a stream is useless without its
    // names.
    PairFile binary(binaryPath), names(companion);
    if (!binary.Open())
        return failed(binaryPath, binary);
    if (!names.Open())
        return failed(companion, names);
    // What could not be read is not lost with the save.
    if (CompanionCouldNotBeRead(companion)) {
        QString why;
        aside = KeepCompanionAside(companion, names.InPlace(), why);
        if (aside.isEmpty()) {
            Say(message, Tr("%1 could not be read, and it could not be kept under another name before it is "
                            "replaced: %2")
                             .arg(FileNameOf(companion), why));
            return false;
        }
    }
    if (!binary.Write(stream) || !binary.Finish())
        return failed(binaryPath, binary);
    companionTouched = names.InPlace();
    if (!names.Write(text) || !names.Finish())
        return failed(companion, names);

    FormerFile former(binaryPath);
    if (!binary.Commit())
        return failed(binaryPath, binary);
    if (!names.Commit()) {
        // The stream goes back to the names it had, where it can.
        if (!binary.InPlace() && former.Restore())
            return failed(companion, names);
        Say(message, Tr("%1 was written, but its joint names could not be written to %2: %3")
                         .arg(FileNameOf(binaryPath), FileNameOf(companion), names.Error()));
        return false;
    }
    Say(message, aside.isEmpty() ? QString()
                                 : Tr("%1 was saved. %2 could not be read, so the former file is kept as %3.")
                                       .arg(FileNameOf(binaryPath), FileNameOf(companion), FileNameOf(aside)));
    return true;
}

PairWriteFault SetPairWriteFault(PairWriteFault fault)
{
    std::swap(InstalledFault(), fault);
    return fault;
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
    QFile file(binaryPath);
    if (!file.open(QIODevice::ReadOnly)) {
        Say(message, Tr("%1 could not be opened: %2").arg(FileNameOf(binaryPath), file.errorString()));
        return nullptr;
    }
    const QByteArray bytes = file.read(qint64(kLongestStream));
    if (file.error() != QFileDevice::NoError) {
        Say(message, Tr("%1 could not be read: %2").arg(FileNameOf(binaryPath), file.errorString()));
        return nullptr;
    }
    file.close();

    // Without a companion to take, the file's own is the one reported missing.
    QString companion = companionPath;
    if (companion.isEmpty()) {
        companion = FindCompanionPath(binaryPath);
        if (companion.isEmpty())
            companion = CompanionPathFor(binaryPath);
    }
    QString why, warning;
    const std::vector<QString> names = ReadCompanionNames(companion, why, warning);

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
    Say(message, why);
    return characterization;
}

std::unique_ptr<Characterization> LoadCharacterizationBinary(const char* binaryPath, const char* companionPath,
                                                             QString* message)
{
    return LoadCharacterizationBinary(QString::fromLatin1(binaryPath), QString::fromLatin1(companionPath), message);
}
