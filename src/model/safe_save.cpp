#include "model/safe_save.h"
#include "model/safe_save_internal.h"

#include "model/file_utils.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

// The names beside a target and the file calls every piece of the save
// machinery makes; the pieces themselves are in files of their own
// (model/safe_save_internal.h says which).

namespace safe_save_internal {

QString Tr(const char* text) { return QCoreApplication::translate("SafeSave", text); }

// A path as the system calls take it.
QByteArray Native(const QString& path) { return QFile::encodeName(path); }

bool EntryStatus(const QString& path, struct stat& status) { return ::lstat(Native(path), &status) == 0; }

// Writes all of `size` bytes to `fd` from offset `at` on; false with errno
// set when the system took fewer.
bool WriteAll(int fd, const char* data, std::size_t size, off_t at)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::pwrite(fd, data + done, size - done, at + off_t(done));
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

// Gives a new copy, open at `fd`, what it may take of the file open at
// `source`, whose status is `status`. A copy belongs to whoever saves. It is
// made owner-only, and takes the former file's mode whole only where it also
// takes its group and access list: under the saver's own group, or without
// the list whose mask the group bits stand for, the same bits would open it
// to other users.
void GiveCopyAccess(int source, const struct stat& status, int fd)
{
    struct stat made;
    const bool sameGroup =
        ::fstat(fd, &made) == 0 && (made.st_gid == status.st_gid || ::fchown(fd, uid_t(-1), status.st_gid) == 0);
    if (sameGroup && CopyExtendedAttributes(source, fd))
        ::fchmod(fd, status.st_mode & 0777);
}

// Makes a new file at `to` only where no entry is there: false with errno
// set (EEXIST where one is). Owner-only until the caller gives it more.
int MakeNewFile(const QString& to, const struct stat& status)
{
    return ::open(Native(to), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, status.st_mode & 0700);
}

// Writes `bytes`, or (where `from` is not negative) what the file open at
// `from` holds, read piece by piece, to the start of the file open at `fd`,
// and gives it that length; false with errno set.
bool Fill(int fd, int from, const QByteArray& bytes, const QString& target)
{
    std::vector<char> buffer(from >= 0 ? kCopyPiece : 0);
    off_t at = 0;
    for (;;) {
        const char* data = bytes.constData() + at;
        ssize_t got = bytes.size() - at;
        if (from >= 0) {
            got = ::pread(from, buffer.data(), buffer.size(), at);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return false;
            data = buffer.data();
        }
        if (got == 0)
            break;
        Pace(target);
        if (!WriteAll(fd, data, std::size_t(got), at))
            return false;
        at += got;
    }
    Pace(target);
    if (::ftruncate(fd, at) != 0)
        return false;
    Pace(target);
    return ::fsync(fd) == 0;
}

// Writes a copy of the file open at `source` (`bytes` where they are in
// memory, otherwise read from it piece by piece: memory stays bounded
// whatever its size) to a new file at `to`, and gives it the access it may
// take (GiveCopyAccess). False, with errno set (EEXIST where an entry is at
// `to`) and nothing left there, where it could not be written whole.
bool WriteCopy(int source, const struct stat& status, const QByteArray* bytes, const QString& to)
{
    Pace(to);
    const int fd = MakeNewFile(to, status);
    if (fd < 0)
        return false;
    if (!Fill(fd, bytes ? -1 : source, bytes ? *bytes : QByteArray(), to)) {
        const int error = errno;
        ::close(fd);
        ::unlink(Native(to));
        errno = error;
        return false;
    }
    GiveCopyAccess(source, status, fd);
    ::close(fd);
    return true;
}

// Moves `from` to `to` only where no entry is at `to` (not even a dangling
// link): false with errno set, EEXIST where one is.
bool RenameNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = Native(from), target = Native(to);
    if (::renameat2(AT_FDCWD, source, AT_FDCWD, target, RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system that cannot rename so: a second name made only where
    // there is none, then the first let go; without hard links, a rename
    // where nothing is found, which the lock keeps other saves from taking.
    if (::link(source, target) == 0) {
        ::unlink(source);
        return true;
    }
    if (errno == EEXIST)
        return false;
    struct stat entry;
    if (::lstat(target, &entry) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(source, target) == 0;
}

// Puts a file under the first name of the form NAME.EXT<tag>,
// NAME(1).EXT<tag>, ... that no entry holds: `make` makes it there only
// where nothing is, answering EEXIST otherwise, so that a kept file is never
// taken over, whether or not the folder may be listed. The name taken, or
// empty with errno set.
QString TakeAsideName(const QString& path, const char* tag, const std::function<bool(const QString&)>& make)
{
    for (int number = 0; number < kMostAsideNumbers; ++number) {
        const QString name = NumberedAsideName(path, QLatin1String(tag), number);
        if (make(name))
            return name;
        if (errno != EEXIST)
            return QString();
    }
    return QString();
}

// How the user database names the user `uid`: "user NAME", or "user UID"
// where it has no entry.
QString UserName(uid_t uid)
{
    struct passwd entry;
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return Tr("user %1").arg(QString::fromLocal8Bit(found->pw_name));
    return Tr("user %1").arg(uid);
}

// What the user can do about a file of another user's at a name its save
// needs: only that user, or an administrator, can remove it.
QString Remedy(const QString& path, uid_t owner)
{
    return Tr("save under another name, or ask %1 or an administrator to remove %2")
        .arg(UserName(owner), QFileInfo(path).absoluteFilePath());
}

// The sentence that names what is in the way of a name a save must make,
// with its owner and what to do where it is another user's.
QString InTheWay(const QString& path, const struct stat& entry)
{
    const QString name = QFileInfo(path).fileName();
    if (entry.st_uid != ::geteuid())
        return (S_ISDIR(entry.st_mode)   ? Tr("the folder %1, which belongs to %2, is in the way; %3")
                : S_ISLNK(entry.st_mode) ? Tr("the link %1, which belongs to %2, is in the way; %3")
                                         : Tr("%1, which belongs to %2, is in the way; %3"))
            .arg(name, UserName(entry.st_uid), Remedy(path, entry.st_uid));
    return (S_ISDIR(entry.st_mode)   ? Tr("the folder %1 is in the way")
            : S_ISLNK(entry.st_mode) ? Tr("the link %1 is in the way")
                                     : Tr("%1 is in the way"))
        .arg(name);
}

// Why `path`, which stands beside `target` and belongs to `owner`, could not
// be removed: a file of this user's was left by an earlier save; another
// user's is named with its owner, since only that user can remove it.
QString NotRemoved(const QString& path, const QString& target, uid_t owner, int error)
{
    return owner == ::geteuid()
               ? Tr("%1, left by an earlier save of %2, could not be removed: %3")
                     .arg(QFileInfo(path).fileName(), QFileInfo(target).fileName(), SystemErrorText(error))
               : Tr("%1 beside %2, which belongs to %3, could not be removed: %4; %5")
                     .arg(QFileInfo(path).fileName(), QFileInfo(target).fileName(), UserName(owner),
                          SystemErrorText(error), Remedy(path, owner));
}

// Removes a plain file a save left; true where none is left. A link or a
// folder under that name is not the save's, and is left alone, but for a
// link a journal names: the second name of a link the save replaced. What
// cannot be removed is named with its owner where it is another user's.
bool RemoveLeftFile(const QString& path, const QString& target, QString& problem, bool linkToo)
{
    struct stat entry;
    if (!EntryStatus(path, entry) || !(S_ISREG(entry.st_mode) || (linkToo && S_ISLNK(entry.st_mode))))
        return true;
    Pace(target);
    if (::unlink(Native(path)) == 0)
        return true;
    problem = NotRemoved(path, target, entry.st_uid, errno);
    return false;
}

// Syncs the folder of `path`, so that the names made and removed in it are
// on disk; false with errno set where the system could not. A folder that
// cannot be opened (one its user may not list) is left to the system.
bool SyncFolder(const QString& path)
{
    if (const int fault = InjectedFault(PairWriteStep::kSync, path)) {
        errno = fault;
        return false;
    }
    const int fd = ::open(Native(QFileInfo(path).absolutePath()), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true;
    // A file system that keeps no folder to sync says EINVAL.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

// Whether the files open at `a` and `b` hold the same bytes.
bool SameBytes(int a, int b)
{
    struct stat first, second;
    if (::fstat(a, &first) != 0 || ::fstat(b, &second) != 0 || first.st_size != second.st_size)
        return false;
    std::vector<char> one(kCopyPiece), two(kCopyPiece);
    for (off_t at = 0; at < first.st_size;) {
        const ssize_t got = ::pread(a, one.data(), one.size(), at);
        if (got <= 0 || ::pread(b, two.data(), std::size_t(got), at) != got ||
            std::memcmp(one.data(), two.data(), std::size_t(got)) != 0)
            return false;
        at += got;
    }
    return true;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace safe_save_internal

using namespace safe_save_internal;

namespace {

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
}  // namespace

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

QString CopyPathFor(const QString& target) { return BesidePath(target, ".copy"); }

QString JournalPathFor(const QString& key) { return BesidePath(key, ".journal"); }
