// How the tool replaces a file it saves, for every writer (the ".vlmc" pair,
// the settings store, and through it templates and characterization files),
// so that a save never costs the user a file:
//
// - Saves follow each other (SaveLock): a save holds an exclusive lock on its
//   folder while it writes, waiting for another save a bounded time only.
//   Opens read under the same lock, so that they never read half of a save;
//   one already held by the thread that asks is had again at once.
// - A file is written whole beside its target under a name no user picks
//   (".~<16 hex>.saving", StagedPathFor), with the target's owner, group,
//   mode, access control list and other extended attributes, and only then
//   renamed over it (SavedFile). Where a new file could not carry the owner
//   and group, or the folder lets no file be made, the target is rewritten
//   in place instead (IsRewrittenInPlace), its former bytes first copied to
//   disk beside it (CopyPathFor), or, where the folder lets no file be made,
//   kept in memory, to be put back should the write fail.
// - Files saved together are committed under a journal beside the first of
//   them (CommitAll, JournalPathFor), so that a failure puts every one of
//   them back, and a save stopped at any point (the host killed) is undone
//   or finished by the next save or open (RecoverStoppedSave): the files
//   are never left as parts of two saves. A journal is followed only as far
//   as its writer could have gone, on the files of that save alone, and is
//   open to no one who may not read them all.
// - What a killed save left beside its target is removed by the next one
//   (RemoveLeftovers): only names of that form, only plain files, and never
//   the last name of a former file, which is given one the user sees.
// - A former file that could not be read whole is kept under a name of its
//   own before it is replaced (KeptAside).
// - A file is kept aside only under a name nothing holds: a name taken is
//   skipped for the next number, whether or not the folder may be listed.
//
// Each of these is in a file of its own beside this one: the lock in
// safe_save_lock.cpp, the journal in safe_save_journal.cpp and its recovery
// in safe_save_recovery.cpp, the staged file and the commit in
// safe_save_commit.cpp, the copies kept aside in safe_save_kept_aside.cpp,
// and where a test makes a save fail in safe_save_fault_seam.cpp.
#ifndef SKW_MODEL_SAFE_SAVE_H
#define SKW_MODEL_SAFE_SAVE_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <vector>

// How long a save waits for another save of its folder to finish before it
// gives up and writes nothing. Saves run on the window's thread: a holder
// that never lets go must not freeze it.
constexpr int kSaveLockWaitMilliseconds = 3000;

// Where a test makes a save fail: before each step on the file that is to
// stand at `target`, the fault answers an error number to fail the step with
// (ENOSPC, EPERM, ...), or 0 to let it run. A write fault lets half of the
// bytes through first, as a disk that fills up does. kPutBack puts the
// former file back after a failure (a rename, or a rewrite in place).
// Returns the fault it replaces; an empty one lets every step run.
// kLink makes a second name of a file (a fault stands for a file system
// without hard links), kRemove removes a save's own leftover, and kCall comes
// before every call that changes a file or the folder (its answer is not
// taken: a test slows the save there). kJournal writes a save's journal (its
// target the journal's path, JournalPathFor), and kSync at that path syncs
// its folder: once the journal is written, once before it is marked done,
// and once after it is removed. Two more steps are not a save's, and their
// answers are not taken either: kRead comes before an open of a pair reads
// each of its two files (a test slows the open there), and kWait each time a
// SaveLock finds its lock held by another (a test counts the waits).
enum class PairWriteStep { kWrite, kSync, kRename, kPutBack, kLink, kRemove, kCall, kJournal, kRead, kWait };
using PairWriteFault = std::function<int(PairWriteStep step, const QString& target)>;
PairWriteFault SetPairWriteFault(PairWriteFault fault);
// Called by an open of a pair before it reads `path`: the fault's kRead.
void PaceRead(const QString& path);

// Whether the folder of `path` lets this process make files.
bool FolderIsWritable(const QString& path);

// Whether a file is rewritten in place rather than replaced by a new file:
// where its folder lets no file be made, and where a new file could not be
// given the owner and group of the plain file it replaces (only root may give
// a file away; its owner may give it one of its own groups). Rewritten in
// place, the file keeps its owner, group, mode and access control list, and
// every other name of it (a hard link) reads the new content.
bool IsRewrittenInPlace(const QString& path);

// The name a file is written under beside `target` before it replaces it:
// ".~" and 16 hex digits of the target's name, then ".saving". No user picks
// such a name, so the next save may remove a file of it that a killed save
// left.
QString StagedPathFor(const QString& target);
// The second name a save gives the file it replaces, until the save is done:
// ".~", the same 16 hex digits, then ".previous".
QString PreviousPathFor(const QString& target);
// Where the former bytes of a file rewritten in place are copied until the
// save is done: ".~", the same 16 hex digits, then ".copy".
QString CopyPathFor(const QString& target);
// The journal of a save whose first file is `key`: ".~", 16 hex digits of
// its name, then ".journal".
QString JournalPathFor(const QString& key);

// Undoes or finishes a save whose first file was `key` that was stopped
// before it ended, as its journal says: stopped before all its files were
// committed, each is put back as it was; after, what it kept of the former
// files is removed. `files` are the files that save writes, as the caller
// knows them. True when nothing is left to do; `notice` then receives,
// where files were put back, "An earlier save of NAME did not finish; A and
// B are as they were before it." False, with `problem` naming what could not
// be done, otherwise. Called under the save's lock.
//
// The recovery acts through the journal's folder, opened once, on names in
// it alone, never through a link, and on plain files alone. Unlike a journal
// followed whatever it says, one is followed only as far as its writer could
// have gone, judged by the user who owns it and that user's groups in the
// user database (never by the journal file's group):
// - it names files of `files` alone: those in its own folder by name, others
//   (a companion in another folder, or named through a link to this one) by
//   their full path as `files` spells them; it holds a line for each at
//   most, and at most one kept file after each. One others than its owner
//   may have written (writable by them, or with a second name, or a link at
//   its name) is not that owner's;
// - a file it says its save made is a plain file of the writer's with one
//   name; a former file put back is the one the user's own save set aside,
//   as the journal records it (its device and inode), whatever other names
//   it has; under another user's journal, the target's only name, kept by
//   the writer, or a second name of the target; a copy written back was
//   made by the writer, takes on disk about what its length says (a save
//   writes every byte of its copies), and goes over a plain file the writer
//   could write; one that holds its bytes already is not written again.
// A journal not followed is left alone: `problem` (a save) names it and its
// owner, and, where it is another user's, what the user can do; an open
// gets true, and `notice` says so ("NAME is read as it stands: ..."), that
// the files may hold parts of two saves, and what to do.
bool RecoverStoppedSave(const QString& key, const QStringList& files, QString& notice, QString& problem);

// Before a file of a save whose first file was `key` is read: where a
// journal of a save is there, waits for the save's lock and recovers it
// (RecoverStoppedSave). False, with `problem` a clause saying why, where
// that could not be done. Where this user may not change the folder (or a
// file it would act on), nothing is changed: `readFrom` (one path for each
// of `files`) receives the file that holds each one's last whole version,
// the one the save kept where it had changed it (empty: there was none),
// and `notice` says so.
bool RecoverBeforeOpening(const QString& key, const QStringList& files, QString& notice, QString& problem,
                          QStringList* readFrom = nullptr);

// Removes what a killed save of `target` left beside it: the staged file,
// the copy of a file rewritten in place, and the second name of the file it
// replaced, plain files only. A link or a folder under those names is left
// alone (SavedFile names it). Where that second name is the former file's
// last (left by a save that failed to put it back), the file is kept as
// NAME.EXT.former (the first such name free), and the answer tells the user
// so: "An earlier save of NAME did not finish; its former file is kept as
// NAME.former."; otherwise it is empty. What cannot be removed or kept is
// named in `problem`. Called after RecoverStoppedSave.
QString RemoveLeftovers(const QString& target, QString& problem);

// An exclusive lock that keeps saves of `target` apart while it lives: on
// the target's folder (so also saves of other names there) and on the target
// file, where there is one. A user who may not list the folder cannot open it
// to lock it, and locks the file alone, which is then rewritten in place; the
// file's lock keeps that user's saves and those of users who may list the
// folder apart. Where the file system keeps no locks, the save goes on
// without one.
//
// An open takes the same lock (Purpose::kRead), so that what it reads is
// all of one save: it waits for a save as long as a save does, and is
// refused as clearly. Where it could lock nothing (a folder it may not
// list, and no file there to lock) it goes on without: it finds nothing to
// read either.
//
// A thread that holds the lock of a folder (or, where it may not list the
// folder, of the file) has it again at once: a save reads the file it
// replaces, and an open of a pair reads its names, under the lock it took.
// Two locks of one folder conflict even in one process, so without that
// the save would wait for itself.
class SaveLock {
public:
    enum class Purpose { kSave, kRead };
    explicit SaveLock(const QString& target, Purpose purpose = Purpose::kSave);
    ~SaveLock();
    SaveLock(const SaveLock&) = delete;
    SaveLock& operator=(const SaveLock&) = delete;

    // Empty when the save may go on; otherwise why not, as a clause: "another
    // save in its folder has not finished after 3 seconds".
    const QString& Problem() const { return problem_; }

private:
    // Waits for the lock on `fd` until `deadline`; false, with the problem
    // set, when another holds it still.
    bool Wait(int fd, const QString& target, std::chrono::steady_clock::time_point deadline);
    // Locks the file at `target` as it stands once locked; where there is no
    // file to lock, false with the problem set if one was `required`.
    bool LockFile(const QString& target, std::chrono::steady_clock::time_point deadline, bool required);

    int folderFd_ = -1;
    int fileFd_ = -1;
    QString problem_;
};

class KeptAside;

// One file being saved. Open, Stage and Commit change nothing of the target
// until Commit; after a Commit, Undo puts the former file back.
class SavedFile {
public:
    explicit SavedFile(const QString& target);
    ~SavedFile();
    SavedFile(const SavedFile&) = delete;
    SavedFile& operator=(const SavedFile&) = delete;

    // Makes the staged file (owner, group, mode and extended attributes of
    // the target first), or opens the target to be rewritten in place and
    // copies what it holds beside it. Refused where there would be no way
    // back: the former file's second name or copy cannot be made, or the
    // name it would be kept under should the save fail is too long.
    bool Open();
    // Writes `bytes` to the staged file and syncs it; in place, keeps them
    // for Commit.
    bool Stage(const QByteArray& bytes);
    // Puts the new content in the target's place: renames the staged file
    // over it (keeping a second name of the former file), or rewrites the
    // target.
    bool Commit();
    // After a Commit (or a failed one): the former file back in its place.
    // True when the target holds what it held before the save. Where a
    // replaced file cannot be renamed back, it is kept as NAME.EXT.former
    // (or, failing that, under its second name); where a file rewritten in
    // place cannot be rewritten back, its copy is kept so. KeptAs() says
    // where.
    bool Undo();
    const QString& KeptAs() const { return keptAs_; }
    // After every file of the save is committed: lets the former file go.
    // False where it could not be removed.
    bool Finish();
    // Sets the failure to `why`, a sentence of the save's own.
    void Refuse(const QString& why);
    // After a save that stands: what the user should still hear of it (a
    // folder that could not be synced after the files were committed).
    void Notify(const QString& notice);
    const QString& Notice() const { return notice_; }
    // Names where its former file is kept (KeptAside): the journal names
    // it, CommitAll makes it once the journal is on disk, and a save undone
    // lets it go.
    void KeepsAside(KeptAside& aside);
    QString Aside() const;
    // Makes the kept file (KeptAside::Make); false, with the reason set,
    // where it could not be made. DropAside lets it go again.
    bool MakeAside();
    void DropAside();

    bool InPlace() const { return inPlace_; }
    bool Existed() const { return existed_; }
    // Rewritten in place with its former bytes copied to disk.
    bool HasCopy() const { return !copy_.isEmpty(); }
    const QString& Target() const { return target_; }
    // The last failure in the system's own words, or a sentence naming what
    // is in the way.
    const QString& Error() const { return error_; }

private:
    bool Fail(int error);
    bool Rewrite(const QByteArray& bytes);
    void ForgetFormer();

    QString target_;
    QString staged_;    // a file of ours that has not replaced its target
    QString previous_;  // a second name of the replaced file, while it may be put back
    QString copy_;      // in place: a copy of the target's bytes before the save
    QString keptAs_;    // where the replaced file is, when it could not be put back
    int fd_ = -1;
    bool inPlace_ = false;
    bool existed_ = false;
    bool committed_ = false;
    bool intact_ = true;  // the target still holds its former content
    QByteArray former_;   // in place, where no copy can be made: the target's bytes before the save
    QByteArray bytes_;    // in place: the bytes to write
    QString error_;
    QString notice_;
    KeptAside* aside_ = nullptr;
};

// Commits `files` so that any failure leaves each of them as it was: first
// those replaced by a new file (a rename puts them back), then those
// rewritten in place, under a journal beside `journalKey` (JournalPathFor)
// written and synced before the first of them changes and removed last. On a
// failure every committed file is undone, and the answer is the file that
// failed; `notRestored` receives the files that could not be put back. Null
// when all were committed.
SavedFile* CommitAll(const std::vector<SavedFile*>& files, std::vector<const SavedFile*>& notRestored,
                     const QString& journalKey);

// Keeps a former file that could not be read whole under a name of its own
// beside it (NAME.EXT.damaged, the first such name free) before it is
// replaced: a second name of it
// where a new file takes its place, a copy where it is rewritten in place (a
// second name would be rewritten with it), and where it can be neither read
// nor given a second name, the file itself under the new name. One kept so
// already by a stopped save (a second name of it, or the saver's own copy of
// the same bytes with no other name) is not kept again; a file of another
// user's, or one with another name, is never taken for it. Keep chooses the
// name; the file is made there (Make) by CommitAll once the save's journal,
// which names it, is on disk, so that a save stopped after it is made lets
// it go.
class KeptAside {
public:
    KeptAside() = default;
    ~KeptAside() = default;
    KeptAside(const KeptAside&) = delete;
    KeptAside& operator=(const KeptAside&) = delete;

    // False, with the reason in `why`, when no name could be chosen.
    bool Keep(const QString& path, bool copy, QString& why);
    // Makes the kept file under the name chosen; false, with the reason in
    // `why`, when it could not be.
    bool Make(QString& why);
    // The save failed: the file is back under its own name when it was moved,
    // and a copy or second name is dropped unless `keep` (the former file
    // could not be put back, so the kept one is the only one left).
    void Undo(bool keep);
    const QString& Path() const { return aside_; }

private:
    QString path_;
    QString aside_;
    bool copy_ = false;
    bool made_ = false;
    bool moved_ = false;
    bool reused_ = false;  // kept so by a save that was stopped: not this one's to drop
};

#endif
