#include "model/safe_save.h"
#include "model/safe_save_internal.h"

#include "model/file_utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

// The recovery of a stopped save (RecoverStoppedSave, RecoverBeforeOpening,
// RemoveLeftovers): what its journal says is followed only as far as its
// writer could have gone, by the rules below, on the caller's files alone.

using namespace safe_save_internal;

namespace {

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
        return kept.st_nlink != 1
                   ? Tr("names %1, whose former file beside it has other names too, and the journal "
                        "does not say which file its save set aside")
                         .arg(Shown(entry.name))
                   : Tr("names %1, whose former file beside it belongs to another user").arg(Shown(entry.name));
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
    const QString full =
        QDir::cleanPath(name.contains('/') ? QDir(folder).absoluteFilePath(name) : folder + '/' + name);
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
            const int b =
                ::openat(before->dir, before->base.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
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
            return LeaveAlone(Tr("names %1, which is not a file of this save").arg(Shown(entry.name)), notice, problem);
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
