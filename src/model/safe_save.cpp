#include "model/safe_save.h"

#include "model/file_utils.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

QString Tr(const char* text) { return QCoreApplication::translate("SafeSave", text); }

// A path as the system calls take it.
QByteArray Native(const QString& path) { return QFile::encodeName(path); }

bool EntryStatus(const QString& path, struct stat& status) { return ::lstat(Native(path), &status) == 0; }

PairWriteFault& InstalledFault()
{
    static PairWriteFault fault;
    return fault;
}

int InjectedFault(PairWriteStep step, const QString& target)
{
    return InstalledFault() ? InstalledFault()(step, target) : 0;
}

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

// Beside `target`: ".~", 16 hex digits of its name, then `suffix`.
QString BesidePath(const QString& target, const char* suffix)
{
    const QFileInfo info(target);
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(info.fileName()), QCryptographicHash::Sha1).toHex().left(16);
    return info.dir().filePath(QStringLiteral(".~") + QString::fromLatin1(hash) + QLatin1String(suffix));
}

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

// Reads all of the file at `fd` from its start; false with errno set.
bool ReadAll(int fd, QByteArray& bytes)
{
    bytes.clear();
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        bytes.append(buffer, int(got));
        at += got;
    }
}

// Gives `to` every extended attribute of `from`, its access control list
// first among them, and takes from `to` an access control list `from` does
// not have (one a new file inherits from its folder's default). Attributes
// only the system may set (security.*, trusted.*) are given where allowed;
// an access control list or a user's attribute that cannot be given fails
// the copy: the file would be open to more users, or lose what the user
// kept on it.
bool CopyExtendedAttributes(int from, int to)
{
    static const char* const kAccessList = "system.posix_acl_access";
    std::vector<char> names(std::size_t(std::max<ssize_t>(::flistxattr(from, nullptr, 0), 0)));
    if (!names.empty()) {
        const ssize_t got = ::flistxattr(from, names.data(), names.size());
        if (got < 0)
            return errno == ENOTSUP;
        names.resize(std::size_t(got));
    }
    bool hasAccessList = false;
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1) {
        const char* name = names.data() + at;
        const bool needed = std::strcmp(name, kAccessList) == 0 || std::strncmp(name, "user.", 5) == 0;
        hasAccessList |= std::strcmp(name, kAccessList) == 0;
        const ssize_t size = ::fgetxattr(from, name, nullptr, 0);
        std::vector<char> value(std::size_t(std::max<ssize_t>(size, 0)));
        const ssize_t read = size < 0 ? -1 : ::fgetxattr(from, name, value.data(), value.size());
        if (read < 0 || ::fsetxattr(to, name, value.data(), std::size_t(read), 0) != 0) {
            if (needed)
                return false;
        }
    }
    if (!hasAccessList && ::fremovexattr(to, kAccessList) != 0 && errno != ENODATA && errno != ENOTSUP)
        return false;
    return true;
}

// Writes `bytes` to a new file at `to` as a copy of the file open at
// `source`, whose status is `status`. A copy belongs to whoever saves. It is
// made owner-only, and takes the former file's mode whole only where it also
// takes its group and access list: under the saver's own group, or without
// the list whose mask the group bits stand for, the same bits would open it
// to other users. False, with errno set and nothing left at `to`, where it
// could not be written whole.
bool WriteCopy(int source, const struct stat& status, const QByteArray& bytes, const QString& to)
{
    const int fd = ::open(Native(to), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, status.st_mode & 0700);
    if (fd < 0)
        return false;
    if (!WriteAll(fd, bytes.constData(), std::size_t(bytes.size())) || ::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(Native(to));
        errno = error;
        return false;
    }
    struct stat made;
    const bool sameGroup =
        ::fstat(fd, &made) == 0 && (made.st_gid == status.st_gid || ::fchown(fd, uid_t(-1), status.st_gid) == 0);
    if (sameGroup && CopyExtendedAttributes(source, fd))
        ::fchmod(fd, status.st_mode & 0777);
    ::close(fd);
    return true;
}

}  // namespace

PairWriteFault SetPairWriteFault(PairWriteFault fault)
{
    std::swap(InstalledFault(), fault);
    return fault;
}

bool FolderIsWritable(const QString& path) { return QFileInfo(QFileInfo(path).absolutePath()).isWritable(); }

bool IsRewrittenInPlace(const QString& path)
{
    if (!FolderIsWritable(path))
        return true;
    struct stat entry;
    return EntryStatus(path, entry) && S_ISREG(entry.st_mode) && !CanGiveOwnerAndGroup(entry);
}

QString StagedPathFor(const QString& target) { return BesidePath(target, ".saving"); }

QString PreviousPathFor(const QString& target) { return BesidePath(target, ".previous"); }

QString RemoveLeftovers(const QString& target)
{
    struct stat entry;
    const QString staged = StagedPathFor(target), previous = PreviousPathFor(target);
    if (EntryStatus(staged, entry) && S_ISREG(entry.st_mode))
        ::unlink(Native(staged));
    if (!EntryStatus(previous, entry) || !S_ISREG(entry.st_mode))
        return QString();
    // A second name of a file still there under another is let go. The
    // last name of a former file is not: a save stopped between replacing
    // its target and letting the former file go may have left a mixed pair,
    // and one that could not put it back left the user's only copy.
    if (entry.st_nlink > 1) {
        ::unlink(Native(previous));
        return QString();
    }
    const QString aside = FormerFileAsideName(target);
    if (::rename(Native(previous), Native(aside)) != 0)
        return QString();
    return Tr("An earlier save of %1 did not finish; its former file is kept as %2.")
        .arg(QFileInfo(target).fileName(), QFileInfo(aside).fileName());
}

// --- SaveLock --------------------------------------------------------------

namespace {

using Clock = std::chrono::steady_clock;

QString StillHeld()
{
    return Tr("another save in its folder has not finished after %1 seconds").arg(kSaveLockWaitMilliseconds / 1000);
}

}  // namespace

SaveLock::SaveLock(const QString& target)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kSaveLockWaitMilliseconds);
    folderFd_ = ::open(Native(QFileInfo(target).absolutePath()), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd_ >= 0) {
        // A user who may not list the folder cannot lock it, and locks the
        // file instead (below): the file is locked here too, so that the
        // saves of such a user and of this one follow each other. Where
        // there is no such file, no such save can be made.
        if (Wait(folderFd_, deadline))
            LockFile(target, deadline, false);
        return;
    }
    if (errno == EACCES)
        LockFile(target, deadline, true);
    // Otherwise there is no folder: the save finds that itself.
}

bool SaveLock::LockFile(const QString& target, std::chrono::steady_clock::time_point deadline, bool required)
{
    // When another save replaced the file while this one waited, the lock
    // is of a file no longer there, and the one there now is locked in its
    // turn.
    for (;;) {
        // Only a plain file is opened: opening a device may act on it.
        struct stat locked, now;
        if (EntryStatus(target, now) && S_ISREG(now.st_mode)) {
            fileFd_ = ::open(Native(target), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
            if (fileFd_ < 0 && errno == EACCES)
                fileFd_ = ::open(Native(target), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        }
        if (fileFd_ < 0 || ::fstat(fileFd_, &locked) != 0 || !S_ISREG(locked.st_mode)) {
            if (fileFd_ >= 0)
                ::close(fileFd_);
            fileFd_ = -1;
            if (!required)
                return true;
            problem_ = Tr("its folder may not be listed and %1 is not a file there that could be locked, so the "
                          "save could not be kept apart from others")
                           .arg(QFileInfo(target).fileName());
            return false;
        }
        if (!Wait(fileFd_, deadline))
            return false;
        if (EntryStatus(target, now) && now.st_dev == locked.st_dev && now.st_ino == locked.st_ino)
            return true;
        ::close(fileFd_);
        fileFd_ = -1;
        if (Clock::now() >= deadline) {
            problem_ = StillHeld();
            return false;
        }
    }
}

SaveLock::~SaveLock()
{
    for (const int fd : {fileFd_, folderFd_}) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool SaveLock::Wait(int fd, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return true;  // a file system without locks
        if (Clock::now() >= deadline) {
            problem_ = StillHeld();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// --- SavedFile ---------------------------------------------------------------

SavedFile::SavedFile(const QString& target) : target_(target) { }

SavedFile::~SavedFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!staged_.isEmpty())
        ::unlink(Native(staged_));
    ForgetFormer();
}

bool SavedFile::Fail(int error)
{
    error_ = SystemErrorText(error);
    return false;
}

bool SavedFile::Open()
{
    inPlace_ = IsRewrittenInPlace(target_);
    struct stat old;
    existed_ = EntryStatus(target_, old);
    if (inPlace_) {
        fd_ = ::open(Native(target_), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (fd_ < 0 || !ReadAll(fd_, former_))
            return Fail(errno);
        return true;
    }
    // Made for the owner alone, then given the former file's owner and
    // group, extended attributes (its access control list among them) and,
    // last, its mode, which also sets the list's mask as it was: never
    // readable by more users than the target while it is written. Its owner
    // may always read it: a file its owner could not read is replaced by one
    // that loads.
    const bool replacesFile = existed_ && S_ISREG(old.st_mode);
    const mode_t mode = replacesFile ? ((old.st_mode & 07777) | S_IRUSR) : 0666;
    const QString staged = StagedPathFor(target_);
    fd_ = ::open(Native(staged), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                 replacesFile ? (mode & 0700) : mode);
    if (fd_ < 0) {
        struct stat inTheWay;
        if (errno == EEXIST && EntryStatus(staged, inTheWay) && !S_ISREG(inTheWay.st_mode)) {
            error_ = (S_ISDIR(inTheWay.st_mode)   ? Tr("the folder %1 is in the way")
                      : S_ISLNK(inTheWay.st_mode) ? Tr("the link %1 is in the way")
                                                  : Tr("%1 is in the way"))
                         .arg(QFileInfo(staged).fileName());
            return false;
        }
        return Fail(errno);
    }
    staged_ = staged;
    if (!replacesFile)
        return true;
    struct stat made;
    if (::fstat(fd_, &made) != 0 ||
        ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) && ::fchown(fd_, old.st_uid, old.st_gid) != 0)) {
        error_ = Tr("it could not keep its owner and group: %1").arg(SystemErrorText(errno));
        return false;
    }
    const int former = ::open(Native(target_), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    const bool copied = former >= 0 ? CopyExtendedAttributes(former, fd_) : errno == EACCES;
    const int error = errno;
    if (former >= 0)
        ::close(former);
    // An unreadable former file shows its attributes to no one; its mode
    // alone is kept.
    if (!copied) {
        error_ = Tr("it could not keep its access control list and attributes: %1").arg(SystemErrorText(error));
        return false;
    }
    if (::fchmod(fd_, mode) != 0)
        return Fail(errno);
    return true;
}

bool SavedFile::Stage(const QByteArray& bytes)
{
    if (inPlace_) {
        bytes_ = bytes;
        return true;
    }
    if (const int fault = InjectedFault(PairWriteStep::kWrite, target_)) {
        WriteAll(fd_, bytes.constData(), std::size_t(bytes.size() / 2));
        return Fail(fault);
    }
    if (!WriteAll(fd_, bytes.constData(), std::size_t(bytes.size())))
        return Fail(errno);
    if (const int fault = InjectedFault(PairWriteStep::kSync, target_))
        return Fail(fault);
    if (::fsync(fd_) != 0)
        return Fail(errno);
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 || Fail(errno);
}

bool SavedFile::Rewrite(const QByteArray& bytes)
{
    // Where the file system can, the file is given its length before a byte
    // changes, so that a full disk leaves it whole.
    if (::fallocate(fd_, 0, 0, off_t(bytes.size())) != 0 && errno != EOPNOTSUPP)
        return false;
    return WriteAll(fd_, bytes.constData(), std::size_t(bytes.size())) && ::ftruncate(fd_, off_t(bytes.size())) == 0 &&
           ::fsync(fd_) == 0;
}

bool SavedFile::Commit()
{
    committed_ = true;
    if (inPlace_) {
        intact_ = false;
        if (const int fault = InjectedFault(PairWriteStep::kWrite, target_)) {
            WriteAll(fd_, bytes_.constData(), std::size_t(bytes_.size() / 2));
            return Fail(fault);
        }
        if (!Rewrite(bytes_))
            return Fail(errno);
        if (const int fault = InjectedFault(PairWriteStep::kSync, target_))
            return Fail(fault);
        return true;
    }
    if (const int fault = InjectedFault(PairWriteStep::kRename, target_))
        return Fail(fault);
    // A second name of the former file, to put it back should a file saved
    // with this one fail.
    previous_ = PreviousPathFor(target_);
    if (!existed_ || ::linkat(AT_FDCWD, Native(target_), AT_FDCWD, Native(previous_), 0) != 0)
        previous_.clear();
    if (::rename(Native(staged_), Native(target_)) != 0) {
        const int error = errno;
        ForgetFormer();
        return Fail(error);
    }
    intact_ = false;
    staged_.clear();
    return true;
}

bool SavedFile::Undo()
{
    if (intact_)
        return true;
    if (inPlace_) {
        const int fault = InjectedFault(PairWriteStep::kPutBack, target_);
        intact_ = !fault && Rewrite(former_);
        // What the file held is kept beside it, where a copy can be made:
        // its bytes are in memory alone.
        struct stat status;
        if (!intact_ && ::fstat(fd_, &status) == 0) {
            const QString aside = FormerFileAsideName(target_);
            if (WriteCopy(fd_, status, former_, aside))
                keptAs_ = aside;
        }
        return intact_;
    }
    if (!existed_) {
        intact_ = ::unlink(Native(target_)) == 0;
        return intact_;
    }
    if (previous_.isEmpty())
        return false;  // no second name was made: the former file is gone
    const int fault = InjectedFault(PairWriteStep::kPutBack, target_);
    if (!fault && ::rename(Native(previous_), Native(target_)) == 0) {
        intact_ = true, previous_.clear();
        return true;
    }
    // The former file's last name: given one the user sees, which no later
    // save removes.
    const QString aside = FormerFileAsideName(target_);
    keptAs_ = ::rename(Native(previous_), Native(aside)) == 0 ? aside : previous_;
    previous_.clear();
    return false;
}

void SavedFile::ForgetFormer()
{
    if (!previous_.isEmpty())
        ::unlink(Native(previous_));
    previous_.clear();
}

SavedFile* CommitAll(const std::vector<SavedFile*>& files, std::vector<const SavedFile*>& notRestored)
{
    std::vector<SavedFile*> order = files;
    std::stable_partition(order.begin(), order.end(), [](const SavedFile* file) { return !file->InPlace(); });
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order[i]->Commit())
            continue;
        for (std::size_t k = 0; k <= i; ++k) {
            if (!order[k]->Undo())
                notRestored.push_back(order[k]);
        }
        return order[i];
    }
    return nullptr;
}

// --- KeptAside ---------------------------------------------------------------

bool KeptAside::Keep(const QString& path, bool copy, QString& why)
{
    path_ = path;
    const QString aside = DamagedFileAsideName(path);
    const QByteArray from = Native(path), to = Native(aside);
    if (!copy && ::linkat(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), 0) == 0) {
        aside_ = aside;
        return true;
    }
    struct stat status;
    const int source = ::open(from.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (source < 0 || ::fstat(source, &status) != 0) {
        const int error = errno;
        if (source >= 0)
            ::close(source);
        // Neither readable nor to be linked: the file itself goes aside,
        // with its owner and mode, where its folder allows it.
        if (error == EACCES && FolderIsWritable(path) && ::rename(from.constData(), to.constData()) == 0) {
            aside_ = aside;
            moved_ = true;
            return true;
        }
        why = SystemErrorText(error);
        return false;
    }
    QByteArray bytes;
    const bool copied = ReadAll(source, bytes) && WriteCopy(source, status, bytes, aside);
    const int error = errno;
    ::close(source);
    if (!copied) {
        why = SystemErrorText(error);
        return false;
    }
    aside_ = aside;
    return true;
}

void KeptAside::Undo(bool keep)
{
    if (aside_.isEmpty())
        return;
    if (moved_)
        ::rename(Native(aside_), Native(path_));
    else if (!keep)
        ::unlink(Native(aside_));
    aside_.clear();
}
