#include "model/safe_save.h"
#include "model/safe_save_internal.h"

#include "model/file_utils.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// One file being saved, staged beside its target or rewritten in place
// (SavedFile), and the commit of the files of one save under its journal
// (CommitAll).

using namespace safe_save_internal;

namespace {

// Where its folder lets no copy be made, a file rewritten in place is held
// in memory to be put back should the write fail; a larger one is not
// rewritten.
constexpr qint64 kLargestFormerInMemory = qint64(256) << 20;

}  // namespace

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
