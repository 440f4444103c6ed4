#include "model/file_utils.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString WhyNotARegularFile(const QFileInfo& info)
{
    if (!info.exists() || info.isFile())
        return QString();
    return (info.isDir() ? QCoreApplication::translate("FileUtils", "%1 is a folder, not a file.")
                         : QCoreApplication::translate("FileUtils",
                                                       "%1 is not a regular file: it is a pipe, a socket or a device."))
        .arg(info.fileName());
}

QString OpenRegularFileToRead(QFile& file, const QString& path, bool* notAFile)
{
    if (notAFile)
        *notAFile = false;
    const QString name = QFileInfo(path).fileName();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QCoreApplication::translate("FileUtils", "%1 could not be opened: %2").arg(name, SystemErrorText(errno));
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const bool folder = S_ISDIR(status.st_mode);
        ::close(fd);
        if (notAFile)
            *notAFile = true;
        return (folder ? QCoreApplication::translate("FileUtils", "%1 is a folder, not a file.")
                       : QCoreApplication::translate("FileUtils",
                                                     "%1 is not a regular file: it is a pipe, a socket or a device."))
            .arg(name);
    }
    // Reads of a regular file never wait anyway; the flag only kept the open
    // from waiting on a pipe.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return QCoreApplication::translate("FileUtils", "%1 could not be opened: %2").arg(name, file.errorString());
    }
    return QString();
}

void EnsureDirectory(const QString& folder)
{
    if (!QFileInfo::exists(folder))
        QDir().mkpath(folder);
}

bool IsFileNewer(const QString& fileA, const QString& fileB)
{
    const QFileInfo a(fileA);
    const QFileInfo b(fileB);
    return a.exists() && b.exists() && a.lastModified() > b.lastModified();
}

QString MakeUniqueFileName(QString& baseName, const QString& folder, const QString& suffix)
{
    const QDir dir(folder);
    QSet<QString> taken;
    const QFileInfoList entries =
        dir.entryInfoList(QStringList(QStringLiteral("*") + suffix), QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries)
        taken.insert(entry.baseName());

    QString candidate = baseName;
    for (int counter = 1; taken.contains(candidate); ++counter)
        candidate = QStringLiteral("%1(%2)").arg(baseName).arg(counter);
    baseName = candidate;
    return dir.absoluteFilePath(candidate + suffix);
}

namespace {

// Beside `path`: its name with `tag` after it, made unique.
QString AsideName(const QString& path, const QString& tag)
{
    const QFileInfo info(path);
    const QString suffix = info.completeSuffix().isEmpty() ? tag : QLatin1Char('.') + info.completeSuffix() + tag;
    QString base = info.baseName();
    return MakeUniqueFileName(base, info.absolutePath(), suffix);
}

}  // namespace

QString DamagedFileAsideName(const QString& path) { return AsideName(path, QStringLiteral(".damaged")); }

QString NumberedAsideName(const QString& path, const QString& tag, int number)
{
    const QFileInfo info(path);
    const QString suffix = info.completeSuffix().isEmpty() ? tag : QLatin1Char('.') + info.completeSuffix() + tag;
    const QString base = number == 0 ? info.baseName() : QStringLiteral("%1(%2)").arg(info.baseName()).arg(number);
    return QDir(info.absolutePath()).absoluteFilePath(base + suffix);
}

QString SystemErrorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

bool IsLinkLoop(const QString& path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) != 0 && errno == ELOOP;
}

void CopyFileWithBackup(const QString& source, const QString& target)
{
    QString backup;
    if (QFile::exists(target)) {
        const QFileInfo info(target);
        QString base = info.baseName();
        backup = MakeUniqueFileName(base, info.absolutePath(), QStringLiteral(".bak"));
        QFile::rename(target, backup);
    }
    if (QFile::copy(source, target) && !backup.isEmpty())
        QFile::remove(backup);
}

void CopyFolderRecursive(const QString& source, const QString& target, const QString& nameFilter)
{
    const QDir from(source);
    const QDir to(target);
    if (!from.exists() || !to.exists())
        return;

    // A link to a folder may lead back to an ancestor and never end: only real
    // subfolders are entered.
    const QFileInfoList subfolders =
        from.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& subfolder : subfolders) {
        to.mkdir(subfolder.fileName());
        CopyFolderRecursive(subfolder.absoluteFilePath(), target + '/' + subfolder.fileName(), nameFilter);
    }

    const QFileInfoList files = from.entryInfoList(QStringList(nameFilter), QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& file : files) {
        const QString destination = target + '/' + file.fileName();
        if (!QFileInfo::exists(destination))
            CopyFileWithBackup(file.absoluteFilePath(), destination);
    }
}
