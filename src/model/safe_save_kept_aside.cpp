#include "model/safe_save.h"
#include "model/safe_save_internal.h"

#include "model/file_utils.h"

#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// A damaged former file kept under a name of its own before it is replaced
// (KeptAside).

using namespace safe_save_internal;

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