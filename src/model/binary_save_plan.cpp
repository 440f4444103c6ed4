#include "model/binary_save_plan.h"

#include "model/characterization_files.h"
#include "model/file_utils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

QString Tr(const char* text) { return QCoreApplication::translate("CharacterizationFiles", text); }

QString ReplaceQuestion(const QString& path)
{
    return Tr("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(path).fileName());
}

// Where a link leads, as the user would look for it: the name alone inside
// the folder, the whole path outside it.
QString LinkTargetText(const QFileInfo& link)
{
    const QFileInfo target(link.symLinkTarget());
    return QDir(target.absolutePath()) == QDir(link.absolutePath()) ? target.fileName() : target.filePath();
}

// The link is replaced by a file of its own. What it leads to is left alone,
// unless it is the other file of this save.
QString LinkQuestion(const QString& path, const QString& otherOfPair)
{
    const QFileInfo link(path);
    const QString target = LinkTargetText(link);
    QString text = link.exists() ? Tr("%1 is a link to %2.").arg(link.fileName(), target)
                   : IsLinkLoop(path)
                       ? Tr("%1 is a link to %2, and its links go round in a loop.").arg(link.fileName(), target)
                       : Tr("%1 is a link to %2, which does not exist.").arg(link.fileName(), target);
    text += Tr("\nDo you want to replace the link with a file of its own?");
    if (link.exists() && !NameReaches(path, otherOfPair))
        text += Tr(" %1 is left as it is.").arg(target);
    return text;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The other ".vlmc" names of the folder that reach `binaryPath` through links
// and, when it is rewritten in place, those that are second names of it (hard
// links): they would open the new stream with their own old names. A second
// name outside the folder is counted in `elsewhere`.
QStringList OtherNamesReaching(const QString& binaryPath, int& elsewhere)
{
    const QFileInfo binary(binaryPath);
    const QDir folder = binary.dir();
    struct stat own;
    const QByteArray native = QFile::encodeName(binaryPath);
    const bool inPlace = ::lstat(native.constData(), &own) == 0 && S_ISREG(own.st_mode) && own.st_nlink > 1 &&
                         IsRewrittenInPlace(binaryPath);
    elsewhere = inPlace ? int(own.st_nlink) - 1 : 0;
    const QStringList binaries =
        folder.entryList({QLatin1Char('*') + QLatin1String(kBinaryExtension)}, QDir::Files | QDir::Hidden, QDir::Name);
    QStringList others;
    for (const QString& name : binaries) {
        struct stat other;
        const bool second = inPlace && ::lstat(QFile::encodeName(folder.filePath(name)).constData(), &other) == 0 &&
                            SameFile(own, other);
        // The name itself, as this folder lists it; on a disk that ignores
        // case, the same file in another case is that name too.
        if (name == binary.fileName() || (second && name.compare(binary.fileName(), Qt::CaseInsensitive) == 0))
            continue;
        elsewhere -= int(second);
        if (second || NameReaches(folder.filePath(name), binaryPath))
            others << name;
    }
    return others;
}

}  // namespace

BinarySavePlan PlanBinarySave(const QString& chosenPath)
{
    BinarySavePlan plan;
    QString file = chosenPath;
    if (!file.endsWith(QLatin1String(kBinaryExtension), Qt::CaseInsensitive))
        file += QLatin1String(kBinaryExtension);
    const QString existing = FindFileIgnoringCase(file);
    plan.binaryPath = existing.isEmpty() ? file : existing;
    const QString own = CompanionPathFor(plan.binaryPath);
    const QString twin = FindFileIgnoringCase(own);
    plan.companionPath = twin.isEmpty() ? own : twin;

    plan.refusal = WhyBinaryPairCannotBeWritten(plan.binaryPath, plan.companionPath);
    if (!plan.refusal.isEmpty())
        return plan;

    if (!existing.isEmpty()) {
        if (QFileInfo(existing).isSymLink())
            plan.questions << LinkQuestion(existing, plan.companionPath);
        else if (existing != chosenPath)
            plan.questions << ReplaceQuestion(existing);
        int elsewhere = 0;
        const QStringList aliases = OtherNamesReaching(existing, elsewhere);
        if (!aliases.isEmpty())
            plan.questions << Tr("%1 is also opened through %2.\nDo you want to replace it?")
                                  .arg(QFileInfo(existing).fileName(), aliases.join(QStringLiteral(", ")));
        if (elsewhere > 0)
            plan.questions << Tr("%1 is also opened under another name outside its folder.\nDo you want to replace it?")
                                  .arg(QFileInfo(existing).fileName());
    }
    if (!twin.isEmpty()) {
        const bool link = QFileInfo(twin).isSymLink();
        if (link)
            plan.questions << LinkQuestion(twin, plan.binaryPath);
        const QStringList others = CompanionClaimants(twin, plan.binaryPath);
        if (!others.isEmpty())
            plan.questions << Tr("%1 holds the joint names of %2.\nDo you want to replace it?")
                                  .arg(QFileInfo(twin).fileName(), others.join(QStringLiteral(", ")));
        else if (existing.isEmpty() && !link)
            plan.questions << ReplaceQuestion(twin);
    }
    return plan;
}
