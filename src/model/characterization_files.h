// A characterization in and out of the tool: the binary character-definition
// stream handed to the host with the 172 joint names, ".vlmc" files with their
// ".bones.xml" companion, and the XML characterization file.
//
// Every function is self-contained: a rig character lives only during the call,
// and each settings store is made and written inside it. Characterizations
// returned are new, without a hub (never registered with the host), and belong
// to the caller.
//
// Failures are answered, never thrown: the savers return false and the loaders
// null, and when the caller passes `message` it receives a sentence the panel
// can show. A loader that succeeds but had to leave something out (joint names
// that do not fit the rig) also says so there; otherwise the text is cleared.
//
// Paths come as Qt strings or as 8-bit text. The 8-bit forms read their text
// as Latin-1, the way the panel hands its file names over; the Qt string forms
// keep names that Latin-1 cannot spell.
#ifndef SKW_MODEL_CHARACTERIZATION_FILES_H
#define SKW_MODEL_CHARACTERIZATION_FILES_H

#include "model/safe_save.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

class Characterization;

// Byte order of a written stream. Any non-zero code writes big endian; the
// readers take either order whatever the code.
enum : unsigned char { kStreamLittleEndian = 0, kStreamBigEndian = 1 };

// The extension of binary files and the suffix of their companion.
extern const char* const kBinaryExtension;  // ".vlmc"
extern const char* const kCompanionSuffix;  // ".bones.xml"

// --- The host stream pair -----------------------------------------------------

// Builds a rig character from the characterization (no hub, so nothing about
// it changes) and writes its definition stream, rotation limits included when
// `withLimits`, into a buffer from the C runtime's malloc: on success `data`
// and `size` receive it and the caller releases it with free. False when the
// character or the buffer could not be made; the outputs are then untouched.
bool CharacterizationToStream(Characterization& characterization, unsigned char byteOrder, bool withLimits, char*& data,
                              std::size_t& size, QString* message = nullptr);

// Reads a stream in either byte order into a new characterization named
// "New Characterization": node words, joint records and inversion flags from
// the stream, joint names from `names` by rig node id. A name list of any
// length other than 0 or 172 gives no names (the message says so). Null when
// the stream cannot be read (a record that is not finite is named in the
// message); rotations come back of unit length (VLMReadCharacterBlobChecked).
std::unique_ptr<Characterization> CharacterizationFromStream(const char* data, std::size_t size,
                                                             const std::vector<QString>& names,
                                                             QString* message = nullptr);

// The first joint name that an XML file cannot hold (see
// FindCharacterXmlCannotHold), as a sentence: "The joint name of Hips holds
// the character U+FFFE, which an XML file cannot hold."; empty when there is
// none. The savers refuse such a characterization and write nothing: its
// names would not come back.
QString JointNameXmlCannotHold(const Characterization& characterization);

// --- ".vlmc" files --------------------------------------------------------------

// The companion of "NAME.vlmc" is "NAME.bones.xml" beside it: only the
// extension (in any case) is replaced, so "hero.take2.vlmc" and
// "hero.take1.vlmc" keep their own names. A path without the extension gets
// the suffix appended.
QString CompanionPathFor(const QString& binaryPath);
// The name files saved before used: the file's name up to its first "."
// followed by ".bones.xml", in the same folder.
QString LegacyCompanionPathFor(const QString& binaryPath);
// The companion that exists beside a binary file: CompanionPathFor first (in
// another case of its name when only that exists, as a file system that
// ignores case finds it, and as the save writes it), then
// LegacyCompanionPathFor, but the latter only when no other ".vlmc" file
// of the folder claims it (CompanionClaimants): an older-naming companion
// shared by several files, or another file's own, belongs to none of them
// for sure. Empty when there is no companion to take.
QString FindCompanionPath(const QString& binaryPath);
// The ".vlmc" files (the extension in any case) of the companion's folder
// that take their joint names from it: those whose own companion it is, and
// those without an own companion whose older-naming companion it is. Names
// compare without regard to case, as the file systems of the hosts' platforms
// see them, and a file also claims the companion when the companion it reads
// is a link that reaches it (NameReaches); `except` (a path in that folder,
// or empty) is left out. File names only, sorted.
QStringList CompanionClaimants(const QString& companionPath, const QString& except = QString());
// The file that opening `path` would reach on a file system that ignores
// case: `path` when it exists (a link counts, also one that leads nowhere),
// else the first entry of its folder whose name differs from it only in case;
// empty when there is none.
QString FindFileIgnoringCase(const QString& path);
// Whether opening `name` reaches the entry `entry`: the same name, or a chain
// of links that passes through it. Replacing the entry then changes what
// `name` opens; a second name of the same file (a hard link) keeps the file
// it had when the entry is replaced by another.
bool NameReaches(const QString& name, const QString& entry);
// Why SaveCharacterizationBinary could not write the stream to `binaryPath`
// and the joint names to `companionPath`; empty when it can. Each name must be
// free, a link (which is replaced, what it leads to left alone) or a writable
// plain file, in a folder that lets it be replaced; in a folder where no file
// can be made, only a writable plain file, which is rewritten in place, and
// then the two names must not be one file, and a companion that was not read
// whole must be readable, so that a copy of it is kept. In a folder where only
// a file's owner may replace it (the sticky bit), a link of another user's
// cannot be replaced.
QString WhyBinaryPairCannotBeWritten(const QString& binaryPath, const QString& companionPath);

// Writes the stream to `binaryPath` and the 172 joint names to the companion
// (under "bone_correspondance"). Nothing is written unless both can be
// (WhyBinaryPairCannotBeWritten).
//
// The files are saved as every file of the tool is (model/safe_save.h):
// under the folder's lock (a save that waits for another longer than
// kSaveLockWaitMilliseconds writes nothing and says so), each written
// completely beside its target under a staged name with the target's owner,
// group, mode, access control list and attributes, or rewritten in place
// where a new file could not carry them (IsRewrittenInPlace), its former
// bytes first copied to disk beside it. A save of the pair that was stopped
// before it ended (the host killed) is undone or finished first, as its
// journal says, and the message says when files were put back ("An earlier
// save of hero.vlmc did not finish; hero.vlmc and hero.bones.xml are as they
// were before it."). What a killed save left under the staged names is
// removed, but for the last name of a former file, which is kept as
// "NAME.EXT.former" (the message says so); files of other names
// ("NAME.saving", "NAME.previous") are the user's and are left alone. A
// leftover that cannot be removed is named, and nothing is written.
//
// Only then is the pair committed, under a journal beside the stream written
// before either file changes and removed last: files replaced by a new one
// first (the stream, then the companion), files rewritten in place last, so
// that a failure puts back every file committed before it, and the message
// names whatever could not be put back, and where a replaced file that could
// not be renamed back is kept ("NAME.EXT.former", or the first
// "NAME(n).EXT.former" nothing holds). A save with no way back is not begun:
// where the former file's second name or copy cannot be made, or the name it
// would be kept under would pass 255 bytes. A name that is a link is
// replaced by the new file: what the link leads to, inside the folder or out
// of it, is never written. A failure while writing either leaves both former
// files as they were.
//
// A companion that was not read whole (damaged, unreadable, too large, with
// bytes read as U+FFFD, or holding anything but the 172 names as the save
// writes them: a list under another key, in a group, names as element
// text) is not lost: it is kept under a name of its own beside it
// ("NAME.EXT.damaged", or the first "NAME(n).EXT.damaged" nothing holds),
// copied piece by piece where it is rewritten in place, whatever its size,
// and the message, though the save succeeded, says
// so. Only a companion without any element holds nothing to keep. An empty or
// null companion path means CompanionPathFor(binaryPath).
// False, with the reason (the system's own words for a full disk or a file
// size limit), when either file could not be written.
bool SaveCharacterizationBinary(Characterization& characterization, const QString& binaryPath,
                                const QString& companionPath, unsigned char byteOrder, bool withLimits,
                                QString* message = nullptr);
bool SaveCharacterizationBinary(Characterization& characterization, const char* binaryPath, const char* companionPath,
                                unsigned char byteOrder, bool withLimits, QString* message = nullptr);

// Reads a binary file into a new characterization named by the file's name up
// to its first ".". Joint names come from the companion when one is given;
// with an empty or null companion path, from the one FindCompanionPath finds.
// A companion that is missing, cannot be read (a folder, a pipe, too large,
// unreadable, damaged) or whose list is not 172 names long gives no names,
// and the message says which; the node words and records still come from the
// stream. A companion that leaves used nodes of the stream without a name is
// taken, and the message says how many ("44 of the 45 nodes of hero.vlmc
// have no joint name in hero.bones.xml."; "1 of the 45 nodes ... has ...").
// Names read with bytes that were not valid in the companion's encoding
// hold U+FFFD, and the message says where the first such byte was. A
// companion cut short, even in its first tag, is damaged, not empty.
// A save of the pair that was stopped before it ended is first undone or
// finished under the save's lock (RecoverBeforeOpening), so that the stream
// and names read are of one save; the message then starts with "An earlier
// save of hero.vlmc did not finish; ...". The folders of the stream and of
// the companion (and of what a companion that is a link leads to) are locked
// together, in one order whatever the pair, so that two opens across two
// folders never wait each for the other: one whose companion's folder stays
// busy is refused as one whose stream's is ("hero.vlmc was not opened: its
// joint names are read from PATH, and another save in its folder has not
// finished after 3 seconds."), never read without its names. Where a first
// save of the pair stopped and this user may not change the folder, there is
// no whole version to read, and the open is refused, saying so.
// Null, with the reason, where that could not be done, or when the file is
// not a
// regular file (a pipe would block the open), cannot be read or holds no
// valid stream; a stream refused for one node's record names the node.
std::unique_ptr<Characterization> LoadCharacterizationBinary(const QString& binaryPath, const QString& companionPath,
                                                             QString* message = nullptr);
std::unique_ptr<Characterization> LoadCharacterizationBinary(const char* binaryPath, const char* companionPath,
                                                             QString* message = nullptr);

// --- The XML characterization file ------------------------------------------------

// Writes the name, the 172 joint names, the node flags ("bone_used": the words
// with limits, else 0 or 1) and the rest geometry of every assigned node under
// "joints". The file is written whole: entries of an earlier file at the path
// are not kept. Like the companion, it is saved through model/safe_save.h:
// it keeps the owner, group, mode and access control list of the file it
// replaces, and is rewritten in place where a new file could not. A file
// that was there and could not be read is first kept aside under a name of
// its own; the message then says as what, though the save succeeded.
bool SaveCharacterizationXml(const Characterization& characterization, const QString& path, bool withLimits,
                             QString* message = nullptr);
bool SaveCharacterizationXml(const Characterization& characterization, const char* path, bool withLimits,
                             QString* message = nullptr);

// Reads an XML characterization file into a new characterization. Null, with
// nothing made, for a file that is missing, does not parse, lacks the 172
// joint names, or lacks the geometry of an assigned node (too few items or
// numbers, a rotation order outside 0..12). A number that is not a finite
// float ("x", "nan", "inf", or "1e39", beyond the float range) reads as 0.
// Bytes that are not valid in the file's encoding read as U+FFFD, and the
// message of the characterization returned says where they were.
std::unique_ptr<Characterization> LoadCharacterizationXml(const QString& path, QString* message = nullptr);
std::unique_ptr<Characterization> LoadCharacterizationXml(const char* path, QString* message = nullptr);

// --- Number texts ------------------------------------------------------------------

// A float as the files write it: "0" for a magnitude below 1e-6; otherwise the
// shortest text of 6 to 9 significant digits that reads back as the same
// float, in the shorter of fixed and exponent notation, without trailing
// zeros, with "." as the decimal point.
QString FloatToText(float value);

#endif
