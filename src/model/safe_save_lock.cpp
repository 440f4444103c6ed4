#include "model/safe_save.h"
#include "model/safe_save_internal.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// The folder lock that keeps saves, and opens, of one folder apart
// (SaveLock).

using namespace safe_save_internal;

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
