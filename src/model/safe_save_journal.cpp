#include "model/safe_save.h"
#include "model/safe_save_internal.h"

#include "model/file_utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace safe_save_internal {

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
                                  ? ' ' + QByteArray::number(qulonglong(status.st_dev)) + ':' +
                                        QByteArray::number(qulonglong(status.st_ino))
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

}  // namespace safe_save_internal
