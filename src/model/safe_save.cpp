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
#include <mutex>
#include <thread>

#include <fcntl.h>
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

// The sentence that names what is in the way of a name a save must make.
QString InTheWay(const QString& path, const struct stat& entry)
{
    return (S_ISDIR(entry.st_mode)   ? Tr("the folder %1 is in the way")
            : S_ISLNK(entry.st_mode) ? Tr("the link %1 is in the way")
                                     : Tr("%1 is in the way"))
        .arg(QFileInfo(path).fileName());
}

// Removes a plain file a save left; true where none is left. A link or a
// folder under that name is not the save's, and is left alone, but for a
// link a journal names: the second name of a link the save replaced.
bool RemoveLeftFile(const QString& path, const QString& target, QString& problem, bool linkToo = false)
{
    struct stat entry;
    if (!EntryStatus(path, entry) || !(S_ISREG(entry.st_mode) || (linkToo && S_ISLNK(entry.st_mode))))
        return true;
    Pace(target);
    if (::unlink(Native(path)) == 0)
        return true;
    problem = Tr("%1, left by an earlier save of %2, could not be removed: %3")
                  .arg(QFileInfo(path).fileName(), QFileInfo(target).fileName(), SystemErrorText(errno));
    return false;
}

void SyncFolder(const QString& path)
{
    const int fd = ::open(Native(QFileInfo(path).absolutePath()), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The journal of a save of files committed together, beside the first of
// them. Written and synced before any of them is replaced, it says which
// files the save commits and how: "r" a file replaced by a new one, whose
// former file has its second name (PreviousPathFor) until the save is
// done; "n" a file that was not there; "p" a file rewritten in place, whose
// former bytes are copied beside it first (CopyPathFor). Its first byte is
// "-" while the files are committed and "+" once they all are; a last line
// "end" tells a journal written whole. The next save of those files, and
// the next open of the pair, read it: a save stopped before "+" is undone,
// one stopped after it is finished, and the journal goes last.
constexpr char kJournalHead[] = "skelwright save journal 1";
constexpr qint64 kLongestJournal = 1 << 16;

struct JournalEntry {
    char kind;
    QString target;
};

// False where the journal at `path` was not written whole (nothing was
// committed then) or cannot be read, with `error` set in that case.
bool ReadJournal(const QString& path, char& state, std::vector<JournalEntry>& entries, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    const QList<QByteArray> lines = file.read(kLongestJournal).split('\n');
    if (lines.size() < 3 || lines[0].size() < 2 || lines[0].mid(1) != kJournalHead || lines[lines.size() - 2] != "end")
        return false;
    state = lines[0][0];
    const QDir folder = QFileInfo(path).absoluteDir();
    for (int i = 1; i < lines.size() - 2; ++i) {
        if (lines[i].size() < 3 || !QByteArray("rnp").contains(lines[i][0]) || lines[i][1] != ' ')
            return false;
        entries.push_back(
            {lines[i][0], folder.filePath(QString::fromUtf8(QByteArray::fromPercentEncoding(lines[i].mid(2))))});
    }
    return true;
}

// Puts one file of a save that was stopped before all were committed back
// as it was; `changed` is set where that changed it.
bool PutBack(const JournalEntry& entry, bool& changed, QString& problem)
{
    const QString& target = entry.target;
    struct stat now, former;
    const bool there = EntryStatus(target, now);
    if (entry.kind == 'n') {
        if (there && S_ISREG(now.st_mode)) {
            Pace(target);
            if (::unlink(Native(target)) != 0) {
                problem = Tr("%1 could not be removed: %2").arg(QFileInfo(target).fileName(), SystemErrorText(errno));
                return false;
            }
            changed = true;
        }
        return true;
    }
    if (entry.kind == 'r') {
        // Its second name alone, where the save had not yet replaced it.
        const QString previous = PreviousPathFor(target);
        if (!EntryStatus(previous, former) || !(S_ISREG(former.st_mode) || S_ISLNK(former.st_mode)))
            return true;
        if (there && now.st_dev == former.st_dev && now.st_ino == former.st_ino)
            return RemoveLeftFile(previous, target, problem, true);
        Pace(target);
        if (::rename(Native(previous), Native(target)) != 0) {
            problem = Tr("%1 could not be put back: %2").arg(QFileInfo(target).fileName(), SystemErrorText(errno));
            return false;
        }
        changed = true;
        return true;
    }
    const QString copy = CopyPathFor(target);
    if (!EntryStatus(copy, former) || !S_ISREG(former.st_mode))
        return true;
    const int from = ::open(Native(copy), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const int to = from < 0 ? -1 : ::open(Native(target), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    const bool back = to >= 0 && Fill(to, from, QByteArray(), target);
    const int error = errno;
    for (const int fd : {from, to}) {
        if (fd >= 0)
            ::close(fd);
    }
    if (!back) {
        problem = Tr("%1 could not be put back: %2").arg(QFileInfo(target).fileName(), SystemErrorText(error));
        return false;
    }
    changed = true;
    return RemoveLeftFile(copy, target, problem);
}

// Whether the owner of another user's journal could have made what it asks
// the recovery to do, so that a journal planted in a shared folder cannot
// make this user remove, replace or rewrite a file its writer could not
// touch; `why` names the first entry that could not be made so. A user's own
// journal is followed whole.
bool JournalIsFollowable(const QString& path, const struct stat& journal, const std::vector<JournalEntry>& entries,
                         QString& why)
{
    if (journal.st_uid == ::geteuid())
        return true;
    const QDir folder = QFileInfo(path).absoluteDir();
    const auto writable = [&](const struct stat& file) {
        return file.st_uid == journal.st_uid   ? (file.st_mode & S_IWUSR) != 0
               : file.st_gid == journal.st_gid ? (file.st_mode & S_IWGRP) != 0
                                               : (file.st_mode & S_IWOTH) != 0;
    };
    for (const JournalEntry& entry : entries) {
        struct stat target, kept;
        const bool there = EntryStatus(entry.target, target);
        bool made = QFileInfo(entry.target).absoluteDir() == folder;
        if (made && entry.kind == 'n')
            made = !there || target.st_uid == journal.st_uid;
        else if (made && entry.kind == 'r')
            made = !there || !EntryStatus(PreviousPathFor(entry.target), kept) || kept.st_uid == target.st_uid;
        else if (made)
            made = !EntryStatus(CopyPathFor(entry.target), kept) ||
                   (kept.st_uid == journal.st_uid && (!there || writable(target)));
        if (!made) {
            why = Tr("%1, left by another user's save, names %2, which that save could not have written; it is "
                     "left as it is")
                      .arg(QFileInfo(path).fileName(), folder.relativeFilePath(entry.target));
            return false;
        }
    }
    return true;
}

}  // namespace

bool RecoverStoppedSave(const QString& key, QString& notice, QString& problem)
{
    const QString journal = JournalPathFor(key);
    struct stat entry;
    if (!EntryStatus(journal, entry))
        return true;
    if (!S_ISREG(entry.st_mode)) {
        problem = InTheWay(journal, entry);
        return false;
    }
    char state = 0;
    std::vector<JournalEntry> entries;
    QString error;
    if (ReadJournal(journal, state, entries, error)) {
        if (!JournalIsFollowable(journal, entry, entries, problem))
            return false;
        bool changed = false;
        QStringList names;
        for (const JournalEntry& file : entries) {
            names << QFileInfo(file.target).fileName();
            // Done: what the save kept of the former files goes.
            const bool done = state == '+' ? RemoveLeftFile(file.kind == 'p' ? CopyPathFor(file.target)
                                                                             : PreviousPathFor(file.target),
                                                            file.target, problem, file.kind == 'r')
                                           : PutBack(file, changed, problem);
            if (!done)
                return false;
        }
        if (changed)
            notice = (names.size() == 1 ? Tr("An earlier save of %1 did not finish; %2 is as it was before it.")
                                        : Tr("An earlier save of %1 did not finish; %2 are as they were before it."))
                         .arg(QFileInfo(key).fileName(), names.join(Tr(" and ")));
    } else if (!error.isEmpty()) {
        problem = Tr("%1, left by an earlier save of %2, could not be read: %3")
                      .arg(QFileInfo(journal).fileName(), QFileInfo(key).fileName(), error);
        return false;
    }
    return RemoveLeftFile(journal, key, problem);
}

bool RecoverBeforeOpening(const QString& key, QString& notice, QString& problem)
{
    struct stat entry;
    if (!EntryStatus(JournalPathFor(key), entry))
        return true;
    const SaveLock lock(key);
    problem = lock.Problem();
    return problem.isEmpty() && RecoverStoppedSave(key, notice, problem);
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
        problem = Tr("%1, the former file an earlier save of %2 left, could not be kept as %3: %4")
                      .arg(QFileInfo(previous).fileName(), QFileInfo(target).fileName(),
                           QFileInfo(NumberedAsideName(target, QStringLiteral(".former"), 0)).fileName(),
                           SystemErrorText(errno));
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
        fd_ = ::open(Native(target_), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        struct stat status;
        if (fd_ < 0 || ::fstat(fd_, &status) != 0)
            return Fail(errno);
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
            const int from = copy_.isEmpty() ? -1 : ::open(Native(copy_), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
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

namespace {

// Writes the journal of `files` (see kJournalHead) and syncs it; false with
// the reason set on the first file.
bool WriteJournal(const QString& path, const std::vector<SavedFile*>& files)
{
    QByteArray text = QByteArray("-") + kJournalHead + '\n';
    const QDir folder = QFileInfo(path).absoluteDir();
    for (const SavedFile* file : files)
        text += QByteArray(1, file->InPlace()   ? 'p'
                              : file->Existed() ? 'r'
                                                : 'n') +
                ' ' +
                folder.relativeFilePath(QFileInfo(file->Target()).absoluteFilePath()).toUtf8().toPercentEncoding() +
                '\n';
    text += "end\n";
    // Readable by all: another user who opens or saves the files recovers
    // a stopped save too. It holds their names alone.
    Pace(path);
    const int fd = ::open(Native(path), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    const bool written = fd >= 0 && Fill(fd, -1, text, path);
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (written) {
        SyncFolder(path);
        return true;
    }
    struct stat inTheWay;
    if (fd < 0 && error == EEXIST && EntryStatus(path, inTheWay))
        files.front()->Refuse(InTheWay(path, inTheWay));
    else {
        if (fd >= 0)
            ::unlink(Native(path));
        files.front()->Refuse(
            Tr("%1 could not be written beside it: %2").arg(QFileInfo(path).fileName(), SystemErrorText(error)));
    }
    return false;
}

// The journal's mark that every file is committed.
bool MarkCommitted(const QString& path)
{
    SyncFolder(path);
    Pace(path);
    const int fd = ::open(Native(path), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    const bool marked = fd >= 0 && ::pwrite(fd, "+", 1, 0) == 1 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    return marked;
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
    if (journaled && !WriteJournal(journal, order))
        return order.front();
    const auto undo = [&](std::size_t last) {
        for (std::size_t k = 0; k <= last; ++k) {
            if (!order[k]->Undo())
                notRestored.push_back(order[k]);
        }
        if (journaled)
            ::unlink(Native(journal));
    };
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order[i]->Commit())
            continue;
        undo(i);
        return order[i];
    }
    if (journaled && !MarkCommitted(journal)) {
        order.front()->Refuse(
            Tr("%1 could not be written beside it: %2").arg(QFileInfo(journal).fileName(), SystemErrorText(errno)));
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
        ::unlink(Native(journal));
    }
    return nullptr;
}

// --- KeptAside ---------------------------------------------------------------

bool KeptAside::Keep(const QString& path, bool copy, QString& why)
{
    path_ = path;
    const QByteArray from = Native(path);
    if (!copy) {
        aside_ = TakeAsideName(path, ".damaged", [&](const QString& name) {
            return ::linkat(AT_FDCWD, from.constData(), AT_FDCWD, Native(name).constData(), 0) == 0;
        });
        if (!aside_.isEmpty())
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
        if (error == EACCES && FolderIsWritable(path)) {
            aside_ = TakeAsideName(path, ".damaged", [&](const QString& name) { return RenameNoReplace(path, name); });
            moved_ = !aside_.isEmpty();
            if (moved_)
                return true;
        }
        why = SystemErrorText(error);
        return false;
    }
    // Copied piece by piece: memory stays bounded whatever its size.
    aside_ =
        TakeAsideName(path, ".damaged", [&](const QString& name) { return WriteCopy(source, status, nullptr, name); });
    const int error = errno;
    ::close(source);
    if (aside_.isEmpty()) {
        why = SystemErrorText(error);
        return false;
    }
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
