#include "model/safe_save.h"

#include "model/file_utils.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// How much of a file is copied at a time: copies of any size take no more
// memory than this.
constexpr std::size_t kCopyPiece = 1 << 16;
// The most numbered names tried for a file kept aside (NAME(999).EXT.former).
constexpr int kMostAsideNumbers = 1000;
// Where its folder lets no copy be made, a file rewritten in place is held
// in memory to be put back should the write fail; a larger one is not
// rewritten.
constexpr qint64 kLargestFormerInMemory = qint64(256) << 20;
// The longest file name the file systems take, in bytes.
constexpr int kLongestFileName = 255;

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

void Pace(const QString& target) { InjectedFault(PairWriteStep::kCall, target); }

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

// Writes all of `size` bytes to `fd` from offset `at` on; false with errno
// set when the system took fewer.
bool WriteAll(int fd, const char* data, std::size_t size, off_t at = 0)
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

}  // namespace

PairWriteFault SetPairWriteFault(PairWriteFault fault)
{
    std::swap(InstalledFault(), fault);
    return fault;
}

void PaceRead(const QString& path) { InjectedFault(PairWriteStep::kRead, path); }

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

namespace {

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
    return owner == ::geteuid() ? Tr("%1, left by an earlier save of %2, could not be removed: %3")
                                      .arg(QFileInfo(path).fileName(), QFileInfo(target).fileName(),
                                           SystemErrorText(error))
                                : Tr("%1 beside %2, which belongs to %3, could not be removed: %4; %5")
                                      .arg(QFileInfo(path).fileName(), QFileInfo(target).fileName(), UserName(owner),
                                           SystemErrorText(error), Remedy(path, owner));
}

// Removes a plain file a save left; true where none is left. A link or a
// folder under that name is not the save's, and is left alone, but for a
// link a journal names: the second name of a link the save replaced. What
// cannot be removed is named with its owner where it is another user's.
bool RemoveLeftFile(const QString& path, const QString& target, QString& problem, bool linkToo = false)
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

// The journal of a save of files committed together, beside the first of
// them. Written and synced before any of them is replaced, it says which
// files the save commits and how: "r" a file replaced by a new one, whose
// former file has its second name (PreviousPathFor) until the save is
// done; "n" a file that was not there; "p" a file rewritten in place, whose
// former bytes are copied beside it first (CopyPathFor); "k" after a file,
// the name its former file was kept under because it could not be read whole
// (KeptAside), which goes with an undone save. Its first byte is "-" while
// the files are committed and "+" once they all are; a last line "end"
// tells a journal written whole. The next save of those files, and the next
// open of them, read it: a save stopped before "+" is undone, one stopped
// after it is finished, and the journal goes last. A file in the journal's
// own folder is named by its name, one elsewhere (a companion saved in
// another folder, or named through a link to this one) by its full path as
// the save was given it, both percent-encoded. An "r" line ends with the
// device and inode of the former file it sets aside ("r NAME DEV:INODE"),
// so that the user's own stopped save is put back whatever other names that
// file has; a journal without them (an older save's) is judged by the
// former file's names alone.
constexpr char kJournalHead[] = "skelwright save journal 1";
constexpr qint64 kLongestJournal = 1 << 16;

struct JournalEntry {
    char kind = 0;
    QByteArray name;  // as the journal gives it, decoded
    bool hasId = false;
    dev_t device = 0;
    ino_t inode = 0;
    // Filled in once the entry is known to name a file of the caller's: the
    // file's full path, its folder (open) and its name there.
    QString path;
    int dir = -1;
    QByteArray base;
};

enum class JournalRead { kWhole, kNotWhole, kUnreadable };

// Reads the journal `name` in the folder open at `folder`, a plain file only,
// opened without following a link or waiting on a pipe; `status` receives
// what was read. Not whole where it was not written whole (nothing was
// committed then); unreadable, with `error` set, where it could not be read.
JournalRead ReadJournal(int folder, const QByteArray& name, struct stat& status, char& state,
                        std::vector<JournalEntry>& entries, QString& error)
{
    const int fd = ::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = fd < 0 || S_ISREG(status.st_mode) ? SystemErrorText(errno) : Tr("it is not a file");
        if (fd >= 0)
            ::close(fd);
        return JournalRead::kUnreadable;
    }
    QByteArray text;
    std::vector<char> buffer(std::size_t(kLongestJournal) + 1);
    for (;;) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size() - std::size_t(text.size()), text.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = SystemErrorText(errno);
            ::close(fd);
            return JournalRead::kUnreadable;
        }
        text.append(buffer.data(), int(got));
        if (got == 0 || text.size() > kLongestJournal)
            break;
    }
    ::close(fd);
    const QList<QByteArray> lines = text.split('\n');
    if (text.size() > kLongestJournal || lines.size() < 3 || lines[0].size() < 2 || lines[0].mid(1) != kJournalHead ||
        lines[lines.size() - 2] != "end" || !lines.back().isEmpty())
        return JournalRead::kNotWhole;
    state = lines[0][0];
    if (state != '-' && state != '+')
        return JournalRead::kNotWhole;
    for (int i = 1; i < lines.size() - 2; ++i) {
        if (lines[i].size() < 3 || !QByteArray("rnpk").contains(lines[i][0]) || lines[i][1] != ' ')
            return JournalRead::kNotWhole;
        const QList<QByteArray> fields = lines[i].mid(2).split(' ');
        JournalEntry entry;
        entry.kind = lines[i][0];
        entry.name = QByteArray::fromPercentEncoding(fields[0]);
        if (fields.size() == 2 && entry.kind == 'r') {
            const QList<QByteArray> id = fields[1].split(':');
            bool deviceRead = false, inodeRead = false;
            if (id.size() == 2) {
                entry.device = dev_t(id[0].toULongLong(&deviceRead));
                entry.inode = ino_t(id[1].toULongLong(&inodeRead));
            }
            entry.hasId = deviceRead && inodeRead;
        }
        if (fields.size() > 2 || (fields.size() == 2 && !entry.hasId))
            return JournalRead::kNotWhole;
        entries.push_back(entry);
    }
    return JournalRead::kWhole;
}

// The user who wrote a journal, and the groups the user database gives it
// (none where it has no entry there); this process's own where it wrote it.
// What a journal asks is judged by these, never by the journal file's
// group, which a folder that passes its group on gives any file made there.
struct Writer {
    uid_t uid = 0;
    std::vector<gid_t> groups;
    bool InGroup(gid_t group) const { return std::find(groups.begin(), groups.end(), group) != groups.end(); }
};

Writer WriterOf(uid_t uid)
{
    Writer writer;
    writer.uid = uid;
    if (uid == ::geteuid()) {
        writer.groups.resize(std::size_t(std::max(::getgroups(0, nullptr), 0)));
        writer.groups.resize(std::size_t(std::max(::getgroups(int(writer.groups.size()), writer.groups.data()), 0)));
        writer.groups.push_back(::getegid());
        return writer;
    }
    struct passwd entry;
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return writer;
    int count = 64;
    writer.groups.resize(std::size_t(count));
    if (::getgrouplist(found->pw_name, found->pw_gid, writer.groups.data(), &count) < 0) {
        writer.groups.resize(std::size_t(std::max(count, 0)));
        if (::getgrouplist(found->pw_name, found->pw_gid, writer.groups.data(), &count) < 0)
            count = 0;
    }
    writer.groups.resize(std::size_t(std::max(count, 0)));
    return writer;
}

// The path of `name` in the folder open at `folder`, for the calls that take
// no folder (reading an attribute): through the folder as it was opened.
QByteArray InFolder(int folder, const QByteArray& name)
{
    return "/proc/self/fd/" + QByteArray::number(folder) + '/' + name;
}

// Whether `writer` may write the file `name`, whose status is `file`, by its
// mode and, where it has one, its access control list (a list that cannot
// be read answers no).
bool MayWrite(const Writer& writer, int folder, const QByteArray& name, const struct stat& file)
{
    if (writer.uid == 0)
        return true;
    if (writer.uid == file.st_uid)
        return (file.st_mode & S_IWUSR) != 0;
    unsigned char list[4096];
    const ssize_t size = ::lgetxattr(InFolder(folder, name).constData(), "system.posix_acl_access", list, sizeof list);
    if (size < 0 && errno != ENODATA && errno != ENOTSUP)
        return false;
    if (size >= 4) {
        if ((size - 4) % 8 != 0)
            return false;
        unsigned mask = 7, other = 0;
        int user = -1;
        bool inGroup = false, groupWrites = false;
        for (ssize_t at = 4; at < size; at += 8) {
            const unsigned tag = qFromLittleEndian<quint16>(list + at);
            const unsigned allowed = qFromLittleEndian<quint16>(list + at + 2);
            const quint32 id = qFromLittleEndian<quint32>(list + at + 4);
            if (tag == 0x02 && id == writer.uid)
                user = int(allowed);
            else if ((tag == 0x04 && writer.InGroup(file.st_gid)) || (tag == 0x08 && writer.InGroup(gid_t(id))))
                inGroup = true, groupWrites = groupWrites || (allowed & 2) != 0;
            else if (tag == 0x10)
                mask = allowed;
            else if (tag == 0x20)
                other = allowed;
        }
        if (user >= 0)
            return (unsigned(user) & mask & 2) != 0;
        if (inGroup)
            return groupWrites && (mask & 2) != 0;
        return (other & 2) != 0;
    }
    return (file.st_mode & (writer.InGroup(file.st_gid) ? S_IWGRP : S_IWOTH)) != 0;
}

// The most of a copy's length that may be unwritten: a save writes every
// byte of the copies it makes, so a copy whose blocks hold far less than its
// length (a sparse file) is none of a save's, and is not written back: it
// would make the open write blocks no file held. A file system that stores
// runs of zeros in no blocks (compressing ones) may make a true copy look so;
// its save is then read as it stands rather than put back.
constexpr qint64 kMostUnwrittenOfACopy = qint64(1) << 20;

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

// The recovery of one stopped save: its journal's folder, opened once, and
// the folder of each file of the caller's it names, opened once as the
// caller spelled it; every name it acts on is one in those, never followed
// where it is a link.
class Recovery {
public:
    Recovery(const QString& key, const QStringList& files, bool opening, QStringList* readFrom)
        : key_(key), files_(files), opening_(opening), readFrom_(readFrom)
    {
        if (readFrom_)
            *readFrom_ = files_;
        folder_ = ::open(Native(QFileInfo(key).absolutePath()), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    ~Recovery()
    {
        if (folder_ >= 0)
            ::close(folder_);
        for (const auto& dir : dirs_) {
            if (dir.second >= 0)
                ::close(dir.second);
        }
    }
    Recovery(const Recovery&) = delete;
    Recovery& operator=(const Recovery&) = delete;

    bool Run(QString& notice, QString& problem);

private:
    // Why the journal is not followed, in a clause naming it and its owner;
    // an open reads the files as they stand, a save cannot go on.
    bool LeaveAlone(const QString& why, QString& notice, QString& problem) const;
    // Whether `entry` names a file of the caller's (or, for "k", a name the
    // file before it is kept under), and where it is.
    bool Place(JournalEntry& entry, const JournalEntry* last);
    // The folder at `path`, opened once.
    int Dir(const QString& path);
    // Checks, and where `act`, follows one entry; false with `why_` set where
    // its writer could not have made what it says, or `problem_` where an
    // act failed.
    bool Follow(const JournalEntry& entry, const JournalEntry* before, bool act);
    static bool Stat(int dir, const QByteArray& name, struct stat& status)
    {
        return ::fstatat(dir, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0;
    }
    QByteArray Beside(const JournalEntry& entry, QString (*pathFor)(const QString&)) const
    {
        return Native(QFileInfo(pathFor(entry.path)).fileName());
    }
    QString Shown(const QByteArray& name) const { return QFile::decodeName(name); }
    // Where an open may not change the folder, the file it reads in place of
    // `entry`'s (empty: none).
    void ReadInstead(const JournalEntry& entry, const QByteArray& instead);
    // True where the failure `error` is one of the user's rights, which an
    // open answers by reading the kept files instead.
    bool Denied(int error) const { return opening_ && (error == EACCES || error == EPERM || error == EROFS); }
    bool Failed(const QString& what, const QByteArray& name, int error)
    {
        problem_ = what.arg(Shown(name), SystemErrorText(error));
        return false;
    }
    // The user's own save, whose journal says which file it set aside.
    bool OwnRecord(const JournalEntry& entry, const struct stat& kept) const
    {
        return entry.hasId && writer_.uid == ::geteuid() && kept.st_dev == entry.device && kept.st_ino == entry.inode;
    }
    // Why a former file is not followed: another user's journal cannot tell
    // its writer's file from one planted; the user's own names the file it
    // kept, and that is not it.
    QString NotKept(const JournalEntry& entry, const struct stat& kept) const
    {
        if (writer_.uid != ::geteuid())
            return Tr("names %1, whose former file beside it is not one its save kept").arg(Shown(entry.name));
        if (entry.hasId)
            return Tr("names %1, whose former file beside it is no longer the file its save set aside")
                .arg(Shown(entry.name));
        return kept.st_nlink != 1 ? Tr("names %1, whose former file beside it has other names too, and the journal "
                                       "does not say which file its save set aside")
                                        .arg(Shown(entry.name))
                                  : Tr("names %1, whose former file beside it belongs to another user")
                                        .arg(Shown(entry.name));
    }

    QString key_;
    QStringList files_;
    bool opening_;
    QStringList* readFrom_;
    int folder_ = -1;
    std::vector<std::pair<QString, int>> dirs_;
    Writer writer_;
    char state_ = 0;
    bool mayChange_ = true;
    bool changed_ = false;
    bool readKept_ = false;  // an open reads a kept file instead of one of the files
    QString why_, problem_;
};

// Unlike refusing the open until the journal is gone, which a file planted
// at its name in a folder others may write could make last for good, an
// open reads the files as they stand and says so: a journal not followed
// changes nothing. Those files may be parts of two saves, and the user is
// told so, and what to do. A save cannot write its own journal there, and is
// refused, saying who can remove it.
bool Recovery::LeaveAlone(const QString& why, QString& notice, QString& problem) const
{
    struct stat journal;
    const QString path = JournalPathFor(key_), name = QFileInfo(path).fileName();
    const bool there = Stat(folder_, Native(name), journal);
    const QString owner = there ? UserName(journal.st_uid) : Tr("no one");
    const QString clause = Tr("%1 beside it, which belongs to %2, %3, so it was left alone").arg(name, owner, why);
    const bool own = there && journal.st_uid == ::geteuid();
    if (opening_) {
        notice = Tr("%1 is read as it stands: %2. Its files may hold parts of two saves, one of them unfinished; "
                    "check them before saving over them.")
                     .arg(QFileInfo(key_).fileName(), clause);
        if (there)
            notice += QLatin1Char(' ') + (own ? Tr("To save them again, remove %1.").arg(path)
                                              : Tr("To save them again, ask %1 or an administrator to remove %2, or "
                                                   "save under another name.")
                                                    .arg(owner, path));
        return true;
    }
    problem = clause;
    if (there && !own)
        problem += QStringLiteral("; ") + Remedy(path, journal.st_uid);
    return false;
}

void Recovery::ReadInstead(const JournalEntry& entry, const QByteArray& instead)
{
    readKept_ = true;
    for (int i = 0; readFrom_ && i < files_.size(); ++i) {
        if (QFileInfo(files_[i]).absoluteFilePath() == entry.path)
            (*readFrom_)[i] =
                instead.isEmpty() ? QString() : QFileInfo(entry.path).absoluteDir().filePath(Shown(instead));
    }
}

int Recovery::Dir(const QString& path)
{
    for (const auto& dir : dirs_) {
        if (dir.first == path)
            return dir.second;
    }
    dirs_.emplace_back(path, ::open(Native(path), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return dirs_.back().second;
}

bool Recovery::Place(JournalEntry& entry, const JournalEntry* last)
{
    const QString name = Shown(entry.name);
    if (name.isEmpty() || entry.name.contains('\0') || name == "." || name == "..")
        return false;
    const QString folder = QFileInfo(key_).absolutePath();
    // A name alone is of the journal's folder; a path (older journals wrote
    // one relative to it) names a file elsewhere.
    const QString full = QDir::cleanPath(name.contains('/') ? QDir(folder).absoluteFilePath(name) : folder + '/' + name);
    if (entry.kind == 'k') {
        if (!last || QFileInfo(full).absolutePath() != QDir::cleanPath(QFileInfo(last->path).absolutePath()))
            return false;
        const QString fileName = QFileInfo(full).fileName();
        for (int number = 0; number < kMostAsideNumbers; ++number) {
            if (QFileInfo(NumberedAsideName(last->path, QStringLiteral(".damaged"), number)).fileName() != fileName)
                continue;
            entry.path = QFileInfo(last->path).absoluteDir().filePath(fileName);
            entry.dir = last->dir;
            entry.base = Native(fileName);
            return true;
        }
        return false;
    }
    for (const QString& file : files_) {
        const QFileInfo info(file);
        if (QDir::cleanPath(info.absoluteFilePath()) != full)
            continue;
        entry.path = info.absoluteFilePath();
        entry.dir = Dir(info.absolutePath());
        entry.base = Native(info.fileName());
        return true;
    }
    return false;
}

bool Recovery::Follow(const JournalEntry& entry, const JournalEntry* before, bool act)
{
    const QByteArray& name = entry.base;
    const int dir = entry.dir;
    struct stat target, kept;
    const bool there = Stat(dir, name, target);
    const bool own = writer_.uid == 0;  // the system's own user may have written any file
    const auto madeBySave = [&](const struct stat& file) {
        return S_ISREG(file.st_mode) && file.st_nlink == 1 && (own || file.st_uid == writer_.uid);
    };
    if (entry.kind == 'k') {
        // A damaged former file kept aside: it goes with an undone save where
        // it is a second name of the file put back, or a copy of it the
        // save's writer made; any other file of that name is left.
        if (state_ != '-' || !act || !mayChange_ || !before || !there || !S_ISREG(target.st_mode))
            return true;
        struct stat former;
        if (!Stat(before->dir, before->base, former) || !S_ISREG(former.st_mode))
            return true;
        bool same = SameFile(target, former) && target.st_nlink > 1;
        if (!same && madeBySave(target)) {
            const int a = ::openat(dir, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            const int b = ::openat(before->dir, before->base.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            same = a >= 0 && b >= 0 && SameBytes(a, b);
            for (const int fd : {a, b}) {
                if (fd >= 0)
                    ::close(fd);
            }
        }
        Pace(before->path);
        if (same)
            ::unlinkat(dir, name.constData(), 0);
        return true;
    }
    if (state_ == '+') {
        // Done: what the save kept of the former file goes, where it is what
        // the save kept: a second name, or the writer's own file, or (for
        // "r") the link it replaced.
        if (entry.kind == 'n')
            return true;
        const QByteArray left = Beside(entry, entry.kind == 'p' ? CopyPathFor : PreviousPathFor);
        if (!Stat(dir, left, kept) || !(S_ISREG(kept.st_mode) || (entry.kind == 'r' && S_ISLNK(kept.st_mode))))
            return true;
        if (S_ISREG(kept.st_mode) && kept.st_nlink == 1 && !own && kept.st_uid != writer_.uid) {
            why_ = NotKept(entry, kept);
            return false;
        }
        if (!act || !mayChange_)
            return true;
        Pace(entry.path);
        if (::unlinkat(dir, left.constData(), 0) == 0 || errno == ENOENT || Denied(errno))
            return true;
        return Failed(Tr("%1, left by an earlier save, could not be removed: %2"), left, errno);
    }
    if (entry.kind == 'n') {
        // Made by the save: a plain file of its writer's with no other name.
        if (!there)
            return true;
        if (!madeBySave(target)) {
            why_ = Tr("names %1, which its save did not make").arg(Shown(entry.name));
            return false;
        }
        if (!act)
            return true;
        if (!mayChange_) {
            ReadInstead(entry, QByteArray());
            return true;
        }
        Pace(entry.path);
        if (::unlinkat(dir, name.constData(), 0) == 0) {
            changed_ = true;
            return true;
        }
        if (Denied(errno)) {
            ReadInstead(entry, QByteArray());
            return true;
        }
        return Failed(Tr("%1 could not be removed: %2"), name, errno);
    }
    if (entry.kind == 'r') {
        // Its second name alone, where the save had not yet replaced it.
        const QByteArray previous = Beside(entry, PreviousPathFor);
        if (!Stat(dir, previous, kept) || !(S_ISREG(kept.st_mode) || S_ISLNK(kept.st_mode)))
            return true;
        const bool second = there && S_ISREG(kept.st_mode) && SameFile(target, kept);
        if (!second) {
            // The former file is the target's: the very file the user's own
            // save set aside, as its journal says, whatever other names it
            // has (a stream linked elsewhere too); otherwise, as another
            // user's journal cannot tell it from a file planted there, its
            // only name, kept by the writer (a save gives the file it
            // replaces no other owner). The target, where there is one, is
            // the save's new file.
            if (!OwnRecord(entry, kept) &&
                (kept.st_nlink != 1 || (S_ISREG(kept.st_mode) && !own && kept.st_uid != writer_.uid))) {
                why_ = NotKept(entry, kept);
                return false;
            }
            if (there && !(S_ISREG(target.st_mode) && target.st_nlink == 1 &&
                           (own || target.st_uid == writer_.uid || target.st_uid == kept.st_uid))) {
                why_ = Tr("names %1, which its save did not make").arg(Shown(entry.name));
                return false;
            }
        }
        if (!act)
            return true;
        if (!mayChange_) {
            if (!second)
                ReadInstead(entry, previous);
            return true;
        }
        Pace(entry.path);
        if (second ? ::unlinkat(dir, previous.constData(), 0) == 0
                   : ::renameat(dir, previous.constData(), dir, name.constData()) == 0) {
            changed_ = changed_ || !second;
            return true;
        }
        if (Denied(errno)) {
            if (!second)
                ReadInstead(entry, previous);
            return true;
        }
        return Failed(second ? Tr("%1, left by an earlier save, could not be removed: %2")
                             : Tr("%1 could not be put back: %2"),
                      second ? previous : name, errno);
    }
    // Rewritten in place: its copy, made by the writer and written whole,
    // goes back over a plain file the writer could write.
    const QByteArray copy = Beside(entry, CopyPathFor);
    if (!Stat(dir, copy, kept) || !S_ISREG(kept.st_mode))
        return true;
    if (!madeBySave(kept)) {
        why_ = Tr("names %1, whose copy beside it is not one its save made").arg(Shown(entry.name));
        return false;
    }
    if (qint64(kept.st_blocks) * 512 + kMostUnwrittenOfACopy < qint64(kept.st_size)) {
        why_ = Tr("names %1, whose copy beside it takes far less of the disk than its length, as no copy a save "
                  "makes does")
                   .arg(Shown(entry.name));
        return false;
    }
    if (!there || !S_ISREG(target.st_mode)) {
        why_ = Tr("names %1, which is not a plain file").arg(Shown(entry.name));
        return false;
    }
    if (!MayWrite(writer_, dir, name, target)) {
        why_ = Tr("names %1, which its save could not have written").arg(Shown(entry.name));
        return false;
    }
    if (!act)
        return true;
    if (!mayChange_) {
        ReadInstead(entry, copy);
        return true;
    }
    const int from = ::openat(dir, copy.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat opened;
    if (from < 0 || ::fstat(from, &opened) != 0 || !SameFile(opened, kept)) {
        const int error = from < 0 ? errno : EAGAIN;
        if (from >= 0)
            ::close(from);
        return Failed(Tr("%1 could not be put back: %2"), name, error);
    }
    Pace(entry.path);
    const int to = ::openat(dir, name.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    bool back = to >= 0 && ::fstat(to, &opened) == 0 && S_ISREG(opened.st_mode) && SameFile(opened, target);
    int error = to < 0 ? errno : EAGAIN;
    // A target that holds its copy's bytes already is not written again.
    if (back && !SameBytes(from, to)) {
        back = Fill(to, from, QByteArray(), entry.path);
        error = errno;
        changed_ = true;
    }
    for (const int fd : {from, to}) {
        if (fd >= 0)
            ::close(fd);
    }
    if (!back) {
        if (to < 0 && Denied(error)) {
            ReadInstead(entry, copy);
            return true;
        }
        return Failed(Tr("%1 could not be put back: %2"), name, error);
    }
    Pace(entry.path);
    if (::unlinkat(dir, copy.constData(), 0) == 0 || errno == ENOENT || Denied(errno))
        return true;
    return Failed(Tr("%1, the copy an earlier save kept, could not be removed: %2"), copy, errno);
}

bool Recovery::Run(QString& notice, QString& problem)
{
    const QString journalPath = JournalPathFor(key_);
    const QByteArray journalName = Native(QFileInfo(journalPath).fileName());
    struct stat journal;
    if (folder_ < 0 || !Stat(folder_, journalName, journal))
        return true;
    // Unlike an open that must undo the save before it reads, one by a user
    // who may not change the folder changes nothing: it reads what the save
    // kept in place of what it had changed.
    mayChange_ = !opening_ || ::faccessat(folder_, ".", W_OK | X_OK, AT_EACCESS) == 0;
    char state = 0;
    std::vector<JournalEntry> entries;
    QString error;
    const JournalRead read = ReadJournal(folder_, journalName, journal, state, entries, error);
    if (read == JournalRead::kUnreadable)
        return LeaveAlone(Tr("could not be read (%1)").arg(error), notice, problem);
    if (read == JournalRead::kNotWhole) {
        // Not written whole: nothing was committed under it.
        struct stat now;
        if (!mayChange_ || !Stat(folder_, journalName, now) || !SameFile(now, journal))
            return true;
        Pace(key_);
        if (::unlinkat(folder_, journalName.constData(), 0) == 0)
            return true;
        return LeaveAlone(Tr("is not the record of a save, and could not be removed (%1)").arg(SystemErrorText(errno)),
                          notice, problem);
    }
    // Written by its owner alone: a journal others may write, or one that is
    // also a file elsewhere, says what its owner never asked.
    if (journal.st_nlink != 1 || (journal.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return LeaveAlone(Tr("is a file others than its owner may have written"), notice, problem);
    // A save writes a line for each of its files and at most one kept aside
    // after each: a journal holding more is none of a save's, and is not
    // read on (each line would cost the open time under the lock).
    int files = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        files += entries[i].kind != 'k';
        if (entries[i].kind == 'k' && (i == 0 || entries[i - 1].kind == 'k'))
            files = files_.size() + 1;
    }
    if (files > files_.size())
        return LeaveAlone(Tr("holds more than a save of these files writes"), notice, problem);
    // It names the files of this save alone, as the caller knows them: the
    // journal's own folder's by name, others by their full path. Unlike a
    // journal that may name any path, its names then reach no file but
    // those the user opens or saves.
    const JournalEntry* last = nullptr;
    for (JournalEntry& entry : entries) {
        if (!Place(entry, last))
            return LeaveAlone(Tr("names %1, which is not a file of this save").arg(Shown(entry.name)), notice,
                              problem);
        for (const JournalEntry* other = entries.data(); other != &entry; ++other) {
            if (other->kind != 'k' && entry.kind != 'k' && other->path == entry.path)
                return LeaveAlone(Tr("holds more than a save of these files writes"), notice, problem);
        }
        if (entry.kind != 'k')
            last = &entry;
    }
    writer_ = WriterOf(journal.st_uid);
    state_ = state;
    // Every entry is checked before any is followed: a journal followed in
    // part would leave the files parts of two saves.
    for (int act = 0; act < 2; ++act) {
        const JournalEntry* before = nullptr;
        for (const JournalEntry& entry : entries) {
            if (!Follow(entry, before, act == 1)) {
                if (!why_.isEmpty())
                    return LeaveAlone(why_, notice, problem);
                problem = problem_;
                return false;
            }
            if (entry.kind != 'k')
                before = &entry;
        }
    }
    QStringList shown;
    for (const JournalEntry& entry : entries) {
        if (entry.kind != 'k')
            shown << QFileInfo(entry.path).fileName();
    }
    const QString all = shown.join(Tr(" and "));
    if (readKept_) {
        notice = (shown.size() == 1 ? Tr("An earlier save of %1 did not finish; %2 is read as it was before it, from "
                                         "what the save kept, as this user may not change its folder.")
                                    : Tr("An earlier save of %1 did not finish; %2 are read as they were before it, "
                                         "from what the save kept, as this user may not change their folder."))
                     .arg(QFileInfo(key_).fileName(), all);
        return true;
    }
    if (changed_)
        notice = (shown.size() == 1 ? Tr("An earlier save of %1 did not finish; %2 is as it was before it.")
                                    : Tr("An earlier save of %1 did not finish; %2 are as they were before it."))
                     .arg(QFileInfo(key_).fileName(), all);
    if (!mayChange_)
        return true;
    struct stat now;
    if (!Stat(folder_, journalName, now) || !SameFile(now, journal))
        return true;
    Pace(key_);
    if (::unlinkat(folder_, journalName.constData(), 0) == 0 || errno == ENOENT || (opening_ && Denied(errno)))
        return true;
    problem = NotRemoved(journalPath, key_, journal.st_uid, errno);
    return false;
}

}  // namespace

bool RecoverStoppedSave(const QString& key, const QStringList& files, QString& notice, QString& problem)
{
    Recovery recovery(key, files, false, nullptr);
    return recovery.Run(notice, problem);
}

bool RecoverBeforeOpening(const QString& key, const QStringList& files, QString& notice, QString& problem,
                          QStringList* readFrom)
{
    if (readFrom)
        *readFrom = files;
    struct stat entry;
    if (!EntryStatus(JournalPathFor(key), entry))
        return true;
    const SaveLock lock(key);
    problem = lock.Problem();
    if (!problem.isEmpty())
        return false;
    Recovery recovery(key, files, true, readFrom);
    return recovery.Run(notice, problem);
}

QString RemoveLeftovers(const QString& target, QString& problem)

{
    if (!RemoveLeftFile(StagedPathFor(target), target, problem) ||
        !RemoveLeftFile(CopyPathFor(target), target, problem))
        return QString();
    struct stat entry;
    const QString previous = PreviousPathFor(target);
    if (!EntryStatus(previous, entry) || !S_ISREG(entry.st_mode))
        return QString();
    // A second name of a file still there under another is let go. The
    // last name of a former file is not: one a save that could not put it
    // back left, or one a save with no journal left, is the user's only
    // copy of it.
    if (entry.st_nlink > 1) {
        RemoveLeftFile(previous, target, problem);
        return QString();
    }
    const QString aside =
        TakeAsideName(target, ".former", [&](const QString& name) { return RenameNoReplace(previous, name); });
    if (aside.isEmpty()) {
        const int error = errno;
        const QString kept = QFileInfo(NumberedAsideName(target, QStringLiteral(".former"), 0)).fileName();
        // Another user's file there is named with its owner: it may be none
        // of a save's.
        problem =
            entry.st_uid == ::geteuid()
                ? Tr("%1, the former file an earlier save of %2 left, could not be kept as %3: %4")
                      .arg(QFileInfo(previous).fileName(), QFileInfo(target).fileName(), kept, SystemErrorText(error))
                : Tr("%1 beside %2, which belongs to %3, could not be kept as %4: %5; %6")
                      .arg(QFileInfo(previous).fileName(), QFileInfo(target).fileName(), UserName(entry.st_uid), kept,
                           SystemErrorText(error), Remedy(previous, entry.st_uid));
        return QString();
    }
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

// The folders and files whose lock a SaveLock of this process holds, and
// the thread that took each.
struct HeldLock {
    dev_t device;
    ino_t inode;
    std::thread::id holder;
};

std::mutex& HeldLocksGuard()
{
    static std::mutex guard;
    return guard;
}

std::vector<HeldLock>& HeldLocks()
{
    static std::vector<HeldLock> held;
    return held;
}

// Where in HeldLocks this thread's lock of the file open at `fd` is.
std::vector<HeldLock>::iterator HeldByThisThread(int fd)
{
    struct stat status;
    std::vector<HeldLock>& held = HeldLocks();
    if (::fstat(fd, &status) != 0)
        return held.end();
    return std::find_if(held.begin(), held.end(), [&](const HeldLock& lock) {
        return lock.device == status.st_dev && lock.inode == status.st_ino && lock.holder == std::this_thread::get_id();
    });
}

bool HoldsAlready(int fd)
{
    const std::lock_guard<std::mutex> guard(HeldLocksGuard());
    return HeldByThisThread(fd) != HeldLocks().end();
}

void NoteHeld(int fd)
{
    struct stat status;
    if (::fstat(fd, &status) != 0)
        return;
    const std::lock_guard<std::mutex> guard(HeldLocksGuard());
    HeldLocks().push_back({status.st_dev, status.st_ino, std::this_thread::get_id()});
}

void NoteReleased(int fd)
{
    const std::lock_guard<std::mutex> guard(HeldLocksGuard());
    const auto lock = HeldByThisThread(fd);
    if (lock != HeldLocks().end())
        HeldLocks().erase(lock);
}

}  // namespace

SaveLock::SaveLock(const QString& target, Purpose purpose)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kSaveLockWaitMilliseconds);
    folderFd_ = ::open(Native(QFileInfo(target).absolutePath()), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd_ >= 0) {
        // Taken again under this thread's own lock of the folder: the
        // outer one keeps the others out, and holds the file too.
        if (HoldsAlready(folderFd_)) {
            ::close(folderFd_);
            folderFd_ = -1;
            return;
        }
        // A user who may not list the folder cannot lock it, and locks the
        // file instead (below): the file is locked here too, so that the
        // saves of such a user and of this one follow each other. Where
        // there is no such file, no such save can be made.
        if (Wait(folderFd_, target, deadline)) {
            NoteHeld(folderFd_);
            LockFile(target, deadline, false);
        }
        return;
    }
    if (errno == EACCES)
        LockFile(target, deadline, purpose == Purpose::kSave);
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
        if (HoldsAlready(fileFd_)) {
            ::close(fileFd_);
            fileFd_ = -1;
            return true;
        }
        if (!Wait(fileFd_, target, deadline))
            return false;
        if (EntryStatus(target, now) && now.st_dev == locked.st_dev && now.st_ino == locked.st_ino) {
            NoteHeld(fileFd_);
            return true;
        }
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
        if (fd >= 0) {
            NoteReleased(fd);
            ::close(fd);
        }
    }
}

bool SaveLock::Wait(int fd, const QString& target, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return true;  // a file system without locks
        InjectedFault(PairWriteStep::kWait, target);
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
    // A copy of a file never touched; after a commit, the copy is the
    // journal's until the save is done.
    if (!committed_ && !copy_.isEmpty())
        ::unlink(Native(copy_));
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
    // Should the save fail and its former file not go back, that file is
    // kept under a name the user sees, which must be one the system can
    // make: a save with no way back is not begun.
    if (existed_) {
        const QString former = NumberedAsideName(target_, QStringLiteral(".former"), 0);
        if (Native(QFileInfo(former).fileName()).size() > kLongestFileName) {
            error_ = Tr("should the save fail, its former file could not be kept, as %1 would be a name of more "
                        "than %2 bytes")
                         .arg(QFileInfo(former).fileName())
                         .arg(kLongestFileName);
            return false;
        }
    }
    if (inPlace_) {
        // Opened without waiting on a pipe, and only a plain file is
        // rewritten: another may have put a pipe or a device at its name.
        fd_ = ::open(Native(target_), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat status;
        if (fd_ < 0 || ::fstat(fd_, &status) != 0)
            return Fail(errno);
        if (!S_ISREG(status.st_mode)) {
            error_ = Tr("it is not a plain file");
            return false;
        }
        // What the file held is on disk beside it before a byte of it is
        // overwritten, copied piece by piece whatever its size; only a
        // folder that lets no file be made leaves it to memory.
        if (FolderIsWritable(target_)) {
            const QString copy = CopyPathFor(target_);
            if (!WriteCopy(fd_, status, nullptr, copy)) {
                struct stat inTheWay;
                if (errno == EEXIST && EntryStatus(copy, inTheWay)) {
                    error_ = InTheWay(copy, inTheWay);
                    return false;
                }
                return Fail(errno);
            }
            copy_ = copy;
            return true;
        }
        if (status.st_size > kLargestFormerInMemory) {
            error_ = Tr("its folder lets no copy of it be made, and at %1 MB it is too large to be held while it is "
                        "rewritten (the limit is %2 MB)")
                         .arg(qlonglong(status.st_size / (1024 * 1024)))
                         .arg(kLargestFormerInMemory / (1024 * 1024));
            return false;
        }
        if (!ReadAll(fd_, former_))
            return Fail(errno);
        return true;
    }
    // The second name the former file takes while the save commits must be
    // free: without it there is no way back.
    if (existed_) {
        struct stat inTheWay;
        const QString previous = PreviousPathFor(target_);
        if (EntryStatus(previous, inTheWay)) {
            error_ = InTheWay(previous, inTheWay);
            return false;
        }
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
    Pace(target_);
    fd_ = ::open(Native(staged), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                 replacesFile ? (mode & 0700) : mode);
    if (fd_ < 0) {
        struct stat inTheWay;
        if (errno == EEXIST && EntryStatus(staged, inTheWay) && !S_ISREG(inTheWay.st_mode)) {
            error_ = InTheWay(staged, inTheWay);
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
    Pace(target_);
    if (!WriteAll(fd_, bytes.constData(), std::size_t(bytes.size())))
        return Fail(errno);
    if (const int fault = InjectedFault(PairWriteStep::kSync, target_))
        return Fail(fault);
    Pace(target_);
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
    return Fill(fd_, -1, bytes, target_);
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
    if (!existed_) {
        Pace(target_);
        if (::rename(Native(staged_), Native(target_)) != 0)
            return Fail(errno);
        intact_ = false;
        staged_.clear();
        return true;
    }
    // A second name of the former file, to put it back should a file saved
    // with this one fail. Where the file system makes none, the former file
    // itself takes that name, and the target has no file until the new one
    // takes its place: the journal puts it back should the save be stopped
    // there.
    previous_ = PreviousPathFor(target_);
    Pace(target_);
    const int linkFault = InjectedFault(PairWriteStep::kLink, target_);
    const bool linked = !linkFault && ::linkat(AT_FDCWD, Native(target_), AT_FDCWD, Native(previous_), 0) == 0;
    if (!linked) {
        const int error = linkFault ? linkFault : errno;
        Pace(target_);
        if (error == EEXIST || ::rename(Native(target_), Native(previous_)) != 0) {
            previous_.clear();
            return Fail(error == EEXIST ? error : errno);
        }
    }
    intact_ = false;
    Pace(target_);
    if (::rename(Native(staged_), Native(target_)) != 0) {
        const int error = errno;
        if (linked) {
            intact_ = true;
            ForgetFormer();
        }
        return Fail(error);
    }
    staged_.clear();
    return true;
}

bool SavedFile::Undo()
{
    if (intact_)
        return true;
    const int fault = InjectedFault(PairWriteStep::kPutBack, target_);
    if (inPlace_) {
        if (!fault) {
            const int from =
                copy_.isEmpty() ? -1 : ::open(Native(copy_), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            intact_ = (copy_.isEmpty() || from >= 0) && Fill(fd_, from, former_, target_);
            if (from >= 0)
                ::close(from);
        }
        if (intact_) {
            ForgetFormer();
            return true;
        }
        // What the file held is kept beside it under a name the user sees:
        // its copy, or where its bytes are in memory alone, a copy of them.
        struct stat status;
        if (!copy_.isEmpty())
            keptAs_ =
                TakeAsideName(target_, ".former", [this](const QString& name) { return RenameNoReplace(copy_, name); });
        else if (::fstat(fd_, &status) == 0)
            keptAs_ = TakeAsideName(target_, ".former",
                                    [&](const QString& name) { return WriteCopy(fd_, status, &former_, name); });
        if (!keptAs_.isEmpty())
            copy_.clear();
        else
            keptAs_ = copy_;
        return false;
    }
    if (!existed_) {
        Pace(target_);
        intact_ = ::unlink(Native(target_)) == 0;
        return intact_;
    }
    if (previous_.isEmpty())
        return false;  // no second name was made: the former file is gone
    Pace(target_);
    if (!fault && ::rename(Native(previous_), Native(target_)) == 0) {
        intact_ = true, previous_.clear();
        return true;
    }
    // The former file's last name: given one the user sees, which no later
    // save removes.
    keptAs_ =
        TakeAsideName(target_, ".former", [this](const QString& name) { return RenameNoReplace(previous_, name); });
    if (keptAs_.isEmpty())
        keptAs_ = previous_;
    previous_.clear();
    return false;
}

bool SavedFile::Finish()
{
    QString& kept = inPlace_ ? copy_ : previous_;
    if (kept.isEmpty())
        return true;
    Pace(target_);
    if (InjectedFault(PairWriteStep::kRemove, target_) != 0 || ::unlink(Native(kept)) != 0)
        return false;
    kept.clear();
    return true;
}

void SavedFile::ForgetFormer()
{
    QString& kept = inPlace_ ? copy_ : previous_;
    if (!kept.isEmpty())
        ::unlink(Native(kept));
    kept.clear();
}

void SavedFile::Refuse(const QString& why) { error_ = why; }

void SavedFile::Notify(const QString& notice) { notice_ = notice; }

void SavedFile::KeepsAside(KeptAside& aside) { aside_ = &aside; }

QString SavedFile::Aside() const { return aside_ ? aside_->Path() : QString(); }

bool SavedFile::MakeAside()
{
    QString why;
    if (!aside_ || aside_->Make(why))
        return true;
    error_ = Tr("it could not be read whole, and it could not be kept under another name before it is replaced: %1")
                 .arg(why);
    return false;
}

void SavedFile::DropAside()
{
    if (aside_)
        aside_->Undo(false);
}

namespace {

// Writes the journal of `files` (see kJournalHead), and syncs it and its
// folder; false with the reason set on the first file.
bool WriteJournal(const QString& path, const std::vector<SavedFile*>& files, struct stat& made)
{
    QByteArray text = QByteArray("-") + kJournalHead + '\n';
    const QString folder = QFileInfo(path).absolutePath();
    // Open to no one who may not read every file it names (another user who
    // opens or saves them recovers a stopped save too), written by its owner
    // alone: a journal others could write would not be followed.
    mode_t mode = 0644;
    for (const SavedFile* file : files) {
        // A file of the journal's folder by its name, one elsewhere by its
        // full path as the save was given it.
        const auto line = [&](char kind, const QString& name, const QByteArray& more) {
            const QFileInfo info(name);
            const QString named = info.absolutePath() == folder ? info.fileName() : info.absoluteFilePath();
            text += QByteArray(1, kind) + ' ' + named.toUtf8().toPercentEncoding() + more + '\n';
        };
        struct stat status;
        const bool there = EntryStatus(file->Target(), status);
        // The former file a replacing save sets aside, as the system knows
        // it: the user's own stopped save is put back by it.
        const QByteArray id = there && !file->InPlace() && file->Existed()
            ? ' ' + QByteArray::number(qulonglong(status.st_dev)) + ':' + QByteArray::number(qulonglong(status.st_ino))
            : QByteArray();
        line(file->InPlace() ? 'p' : file->Existed() ? 'r' : 'n', file->Target(), id);
        if (!file->Aside().isEmpty())
            line('k', file->Aside(), QByteArray());
        if (there && S_ISREG(status.st_mode))
            mode &= status.st_mode;
    }
    text += "end\n";
    const auto refuse = [&](int error) {
        files.front()->Refuse(
            Tr("the record that would undo the save, were it stopped, could not be written beside it: %1")
                .arg(SystemErrorText(error)));
        return false;
    };
    Pace(path);
    const int fd = ::open(Native(path), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode | 0600);
    const int fault = fd >= 0 ? InjectedFault(PairWriteStep::kJournal, path) : 0;
    const bool written = fd >= 0 && !fault && ::fstat(fd, &made) == 0 && Fill(fd, -1, text, path);
    const int error = fault ? fault : errno;
    if (fd >= 0)
        ::close(fd);
    struct stat inTheWay;
    if (fd < 0 && error == EEXIST && EntryStatus(path, inTheWay)) {
        files.front()->Refuse(InTheWay(path, inTheWay));
        return false;
    }
    if (!written) {
        if (fd >= 0)
            ::unlink(Native(path));
        return refuse(error);
    }
    // Its name is on disk before the first file changes: a journal lost
    // with the folder's last changes could not undo them.
    if (!SyncFolder(path)) {
        const int syncError = errno;
        ::unlink(Native(path));
        files.front()->Refuse(Tr("its folder could not be synced to disk: %1").arg(SystemErrorText(syncError)));
        return false;
    }
    return true;
}

// The journal's mark that every file is committed, once their new names are
// on disk; false with the reason set on `file`.
bool MarkCommitted(const QString& path, const struct stat& made, SavedFile& file)
{
    if (!SyncFolder(path)) {
        file.Refuse(Tr("its folder could not be synced to disk: %1").arg(SystemErrorText(errno)));
        return false;
    }
    Pace(path);
    // The journal this save wrote, and nothing else at its name: another
    // member of a shared folder could have put a pipe there, which an open
    // would wait on for good.
    const int fd = ::open(Native(path), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat opened;
    const bool ours = fd >= 0 && ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && SameFile(opened, made);
    if (fd >= 0 && !ours)
        errno = EEXIST;
    const bool marked = ours && ::pwrite(fd, "+", 1, 0) == 1 && ::fsync(fd) == 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (!marked)
        file.Refuse(Tr("the record that would undo the save, were it stopped, could not be marked done: %1")
                        .arg(SystemErrorText(error)));
    return marked;
}

// Removes the journal this save wrote, and only it: a file another put at
// its name stays.
void RemoveJournal(const QString& path, const struct stat& made)
{
    struct stat now;
    if (EntryStatus(path, now) && SameFile(now, made))
        ::unlink(Native(path));
}

}  // namespace

SavedFile* CommitAll(const std::vector<SavedFile*>& files, std::vector<const SavedFile*>& notRestored,
                     const QString& journalKey)
{
    std::vector<SavedFile*> order = files;
    std::stable_partition(order.begin(), order.end(), [](const SavedFile* file) { return !file->InPlace(); });
    // Only a folder that lets no file be made leaves nothing on disk to go
    // back to, and no journal.
    const bool journaled = std::any_of(order.begin(), order.end(),
                                       [](const SavedFile* file) { return !file->InPlace() || file->HasCopy(); });
    const QString journal = JournalPathFor(journalKey);
    struct stat made { };
    if (journaled && !WriteJournal(journal, order, made))
        return order.front();
    // A damaged former file is kept aside only now, under the name the
    // journal gives it: a save stopped once it is made is undone with it.
    for (SavedFile* file : order) {
        if (!file->MakeAside()) {
            for (SavedFile* kept : order)
                kept->DropAside();
            if (journaled)
                RemoveJournal(journal, made);
            return file;
        }
    }
    const auto undo = [&](std::size_t last) {
        for (std::size_t k = 0; k <= last; ++k) {
            if (!order[k]->Undo())
                notRestored.push_back(order[k]);
        }
        if (journaled)
            RemoveJournal(journal, made);
    };
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order[i]->Commit())
            continue;
        undo(i);
        return order[i];
    }
    if (journaled && !MarkCommitted(journal, made, *order.front())) {
        undo(order.size() - 1);
        return order.front();
    }
    // The former files go, then the journal; one that cannot be removed
    // keeps the journal, which tells the next save it is a finished save's.
    bool finished = true;
    for (SavedFile* file : order)
        finished = file->Finish() && finished;
    if (journaled && finished) {
        Pace(journal);
        RemoveJournal(journal, made);
    }
    // Committed: a folder that cannot be synced now leaves the save as it
    // is, and the user hears it.
    if (journaled && !SyncFolder(journal))
        order.front()->Notify(Tr("Its folder could not be synced to disk after it: %1.").arg(SystemErrorText(errno)));
    return nullptr;
}

// --- KeptAside ---------------------------------------------------------------

bool KeptAside::Keep(const QString& path, bool copy, QString& why)
{
    path_ = path;
    copy_ = copy;
    // Kept already, by a save stopped before it was done: the former file
    // itself under that name (a second name of it), or the saver's own copy
    // of the same bytes with no other name, is not kept again. Another
    // user's file there, or one with a name elsewhere, could be removed or
    // changed by someone else: a name of its own is taken instead.
    const int held = ::open(Native(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    const int heldError = errno;
    struct stat former, kept;
    int number = 0;
    for (; held >= 0 && ::fstat(held, &former) == 0 && S_ISREG(former.st_mode) && number < kMostAsideNumbers;
         ++number) {
        const QString name = NumberedAsideName(path, QStringLiteral(".damaged"), number);
        if (!EntryStatus(name, kept))
            break;
        if (!S_ISREG(kept.st_mode))
            continue;
        if (SameFile(former, kept)) {
            // A second name a save makes is a copy where the file is
            // rewritten in place: its bytes would change with it.
            reused_ = !copy;
        } else if (kept.st_uid == ::geteuid() && kept.st_nlink == 1) {
            const int other = ::open(Native(name), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
            struct stat opened;
            reused_ = other >= 0 && ::fstat(other, &opened) == 0 && SameFile(opened, kept) && SameBytes(held, other);
            if (other >= 0)
                ::close(other);
        }
        if (reused_) {
            aside_ = name;
            break;
        }
    }
    if (held >= 0)
        ::close(held);
    if (reused_)
        return true;
    // The first name nothing holds; the file goes there once the save's
    // journal names it (Make).
    for (number = 0; number < kMostAsideNumbers; ++number) {
        const QString name = NumberedAsideName(path, QStringLiteral(".damaged"), number);
        if (EntryStatus(name, kept))
            continue;
        if (errno != ENOENT) {
            why = SystemErrorText(errno);
            return false;
        }
        aside_ = name;
        // A file this user may not read is kept now: where it can be given
        // no second name, it is the file itself that goes aside, before the
        // save opens its name anew.
        if (held >= 0 || heldError != EACCES)
            return true;
        if (Make(why))
            return true;
        aside_.clear();
        return false;
    }
    why = SystemErrorText(EEXIST);
    return false;
}

bool KeptAside::Make(QString& why)
{
    if (aside_.isEmpty() || reused_ || made_)
        return true;
    const QByteArray from = Native(path_);
    Pace(path_);
    if (!copy_) {
        made_ = ::linkat(AT_FDCWD, from.constData(), AT_FDCWD, Native(aside_).constData(), 0) == 0;
        if (made_)
            return true;
        if (errno == EEXIST) {
            why = Tr("%1 was made by another meanwhile").arg(QFileInfo(aside_).fileName());
            return false;
        }
    }
    struct stat status;
    const int source = ::open(from.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (source < 0 || ::fstat(source, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int error = source < 0 ? errno : EINVAL;
        if (source >= 0)
            ::close(source);
        // Neither readable nor to be linked: the file itself goes aside,
        // with its owner and mode, where its folder allows it.
        if (error == EACCES && FolderIsWritable(path_) && RenameNoReplace(path_, aside_)) {
            moved_ = made_ = true;
            return true;
        }
        why = SystemErrorText(error);
        return false;
    }
    // Copied piece by piece: memory stays bounded whatever its size.
    made_ = WriteCopy(source, status, nullptr, aside_);
    const int error = errno;
    ::close(source);
    if (!made_)
        why = SystemErrorText(error);
    return made_;
}

void KeptAside::Undo(bool keep)
{
    if (aside_.isEmpty())
        return;
    if (reused_ || !made_)
        ;  // kept by an earlier save, or not made: it stays as it is
    else if (moved_)
        ::rename(Native(aside_), Native(path_));
    else if (!keep)
        ::unlink(Native(aside_));
    aside_.clear();
}
