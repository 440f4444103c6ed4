// File and folder helpers shared by the folder object and the panel's commands.
// Paths are Qt strings (UTF-8 on disk).
#ifndef SKW_MODEL_FILE_UTILS_H
#define SKW_MODEL_FILE_UTILS_H

#include <QString>

class QFile;
class QFileInfo;

// Why an existing entry cannot be read as a file ("NAME is a folder, not a
// file." or that it is a pipe, a socket or a device), or empty when it is a
// regular file or does not exist. Asked before opening: opening a named pipe
// waits for a writer.
QString WhyNotARegularFile(const QFileInfo& info);

// Opens `path` to be read, links followed, without waiting on a pipe that was
// put in its place after it was looked at (WhyNotARegularFile): what it opens
// is checked to be a regular file and closed again where it is not. Empty
// when `file` is open; otherwise why not, a sentence naming the file, and
// `notAFile`, where given, says whether it was because what stands there is
// no regular file.
QString OpenRegularFileToRead(QFile& file, const QString& path, bool* notAFile = nullptr);

// Creates the folder, parents included, when it does not exist. Reports nothing.
void EnsureDirectory(const QString& folder);

// True exactly when both files exist and A was modified later than B.
bool IsFileNewer(const QString& fileA, const QString& fileB);

// Finds a name in `folder` that no entry ending in `suffix` uses as its base
// name (the part before the first "."): `baseName` itself, else "base(1)",
// "base(2)", ... `baseName` receives the choice; the result is the absolute path
// of that name followed by the suffix.
QString MakeUniqueFileName(QString& baseName, const QString& folder, const QString& suffix);

// The name a file that could not be read is kept under before it is
// replaced, beside it: "NAME.EXT.damaged", else "NAME(1).EXT.damaged", ...
// (MakeUniqueFileName), the way the settings store keeps its own.
QString DamagedFileAsideName(const QString& path);

// The name `number` of those a file is kept under beside `path`, with `tag`
// after it: "NAME.EXT<tag>" for 0, else "NAME(number).EXT<tag>".
QString NumberedAsideName(const QString& path, const QString& tag, int number);

// The system's own words for an error number ("No space left on device").
QString SystemErrorText(int error);

// True when `path` is a link whose chain of links goes round in a loop, so
// that it leads to no file at all.
bool IsLinkLoop(const QString& path);

// Copies `source` to `target`. An existing target is first moved to a unique
// ".bak" name beside it, which is deleted once the copy succeeded and kept when
// it failed.
void CopyFileWithBackup(const QString& source, const QString& target);

// Copies the files of `source` that match `nameFilter` into `target`, and does
// the same for every subfolder (created in the target whatever its name), but
// only where the target has no entry of that name: nothing is overwritten.
// Symbolic links to folders are not followed. Missing folders and failed copies
// are skipped silently.
void CopyFolderRecursive(const QString& source, const QString& target, const QString& nameFilter);

#endif
