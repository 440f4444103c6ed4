// The pieces of the save machinery (model/safe_save.h) share these: the
// file calls a save makes beside its target, the sentences that name what
// is in the way, and the journal's lines as they are read. None is for a
// caller outside the save machinery.
//
// Where each piece is:
// - safe_save.cpp: the names beside a target, the calls every piece makes
//   (writing, copying, renaming without replacing, syncing a folder) and the
//   sentences that name a file in the way and its owner;
// - safe_save_fault_seam.cpp: where a test makes a save fail or slows it;
// - safe_save_lock.cpp: the folder lock (SaveLock);
// - safe_save_journal.cpp: the journal's lines, written, marked done and read;
// - safe_save_recovery.cpp: the recovery of a stopped save and the rules by
//   which a journal is trusted (RecoverStoppedSave, RemoveLeftovers);
// - safe_save_commit.cpp: the staged file and the commit (SavedFile, CommitAll);
// - safe_save_kept_aside.cpp: the copies of a damaged former file (KeptAside).
#ifndef SKW_MODEL_SAFE_SAVE_INTERNAL_H
#define SKW_MODEL_SAFE_SAVE_INTERNAL_H

#include "model/safe_save.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <functional>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

namespace safe_save_internal {

// How much of a file is copied at a time: copies of any size take no more
// memory than this.
constexpr std::size_t kCopyPiece = 1 << 16;
// The most numbered names tried for a file kept aside (NAME(999).EXT.former).
constexpr int kMostAsideNumbers = 1000;
// The longest file name the file systems take, in bytes.
constexpr int kLongestFileName = 255;

QString Tr(const char* text);
// A path as the system calls take it.
QByteArray Native(const QString& path);
bool EntryStatus(const QString& path, struct stat& status);

// The fault a test installed for `step` on `target` (SetPairWriteFault), or
// 0; Pace is its kCall, before a call that changes a file or the folder.
int InjectedFault(PairWriteStep step, const QString& target);
void Pace(const QString& target);

// Writes all of `size` bytes to `fd` from offset `at` on; false with errno
// set when the system took fewer.
bool WriteAll(int fd, const char* data, std::size_t size, off_t at = 0);

// Reads all of the file at `fd` from its start; false with errno set.
bool ReadAll(int fd, QByteArray& bytes);

// Gives `to` every extended attribute of `from`, its access control list
// first among them, and takes from `to` an access control list `from` does
// not have (one a new file inherits from its folder's default). Attributes
// only the system may set (security.*, trusted.*) are given where allowed;
// an access control list or a user's attribute that cannot be given fails
// the copy: the file would be open to more users, or lose what the user
// kept on it.
bool CopyExtendedAttributes(int from, int to);

// Gives a new copy, open at `fd`, what it may take of the file open at
// `source`, whose status is `status`. A copy belongs to whoever saves. It is
// made owner-only, and takes the former file's mode whole only where it also
// takes its group and access list: under the saver's own group, or without
// the list whose mask the group bits stand for, the same bits would open it
// to other users.
void GiveCopyAccess(int source, const struct stat& status, int fd);

// Makes a new file at `to` only where no entry is there: false with errno
// set (EEXIST where one is). Owner-only until the caller gives it more.
int MakeNewFile(const QString& to, const struct stat& status);

// Writes `bytes`, or (where `from` is not negative) what the file open at
// `from` holds, read piece by piece, to the start of the file open at `fd`,
// and gives it that length; false with errno set.
bool Fill(int fd, int from, const QByteArray& bytes, const QString& target);

// Writes a copy of the file open at `source` (`bytes` where they are in
// memory, otherwise read from it piece by piece: memory stays bounded
// whatever its size) to a new file at `to`, and gives it the access it may
// take (GiveCopyAccess). False, with errno set (EEXIST where an entry is at
// `to`) and nothing left there, where it could not be written whole.
bool WriteCopy(int source, const struct stat& status, const QByteArray* bytes, const QString& to);

// Moves `from` to `to` only where no entry is at `to` (not even a dangling
// link): false with errno set, EEXIST where one is.
bool RenameNoReplace(const QString& from, const QString& to);

// Puts a file under the first name of the form NAME.EXT<tag>,
// NAME(1).EXT<tag>, ... that no entry holds: `make` makes it there only
// where nothing is, answering EEXIST otherwise, so that a kept file is never
// taken over, whether or not the folder may be listed. The name taken, or
// empty with errno set.
QString TakeAsideName(const QString& path, const char* tag, const std::function<bool(const QString&)>& make);
// How the user database names the user `uid`: "user NAME", or "user UID"
// where it has no entry.
QString UserName(uid_t uid);

// What the user can do about a file of another user's at a name its save
// needs: only that user, or an administrator, can remove it.
QString Remedy(const QString& path, uid_t owner);

// The sentence that names what is in the way of a name a save must make,
// with its owner and what to do where it is another user's.
QString InTheWay(const QString& path, const struct stat& entry);

// Why `path`, which stands beside `target` and belongs to `owner`, could not
// be removed: a file of this user's was left by an earlier save; another
// user's is named with its owner, since only that user can remove it.
QString NotRemoved(const QString& path, const QString& target, uid_t owner, int error);

// Removes a plain file a save left; true where none is left. A link or a
// folder under that name is not the save's, and is left alone, but for a
// link a journal names: the second name of a link the save replaced. What
// cannot be removed is named with its owner where it is another user's.
bool RemoveLeftFile(const QString& path, const QString& target, QString& problem, bool linkToo = false);

// Syncs the folder of `path`, so that the names made and removed in it are
// on disk; false with errno set where the system could not. A folder that
// cannot be opened (one its user may not list) is left to the system.
bool SyncFolder(const QString& path);

// Whether the files open at `a` and `b` hold the same bytes.
bool SameBytes(int a, int b);

// Whether two statuses are of one file.
bool SameFile(const struct stat& a, const struct stat& b);

// One line of a journal (safe_save_journal.cpp), as it is read.
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
                        std::vector<JournalEntry>& entries, QString& error);

// Writes the journal of `files` (see kJournalHead), and syncs it and its
// folder; false with the reason set on the first file.
bool WriteJournal(const QString& path, const std::vector<SavedFile*>& files, struct stat& made);

// The journal's mark that every file is committed, once their new names are
// on disk; false with the reason set on `file`.
bool MarkCommitted(const QString& path, const struct stat& made, SavedFile& file);

// Removes the journal this save wrote, and only it: a file another put at
// its name stays.
void RemoveJournal(const QString& path, const struct stat& made);

}  // namespace safe_save_internal

#endif
