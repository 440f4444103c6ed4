#include "model/binary_save_plan.h"

#include "model/characterization_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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
                                 : Tr("%1 is a link to %2, which does not exist.").arg(link.fileName(), target);
    text += Tr("\nDo you want to replace the link with a file of its own?");
    if (link.exists() && !NameReaches(path, otherOfPair))
        text += Tr(" %1 is left as it is.").arg(target);
    return text;
}

// The other ".vlmc" names of the folder that reach `binaryPath` through links.
QStringList OtherNamesReaching(const QString& binaryPath)
{
    const QFileInfo binary(binaryPath);
    const QDir folder = binary.dir();
    const QStringList binaries =
        folder.entryList({QLatin1Char('*') + QLatin1String(kBinaryExtension)}, QDir::Files | QDir::Hidden, QDir::Name);
    QStringList others;
    for (const QString& name : binaries) {
        if (name.compare(binary.fileName(), Qt::CaseInsensitive) != 0 && NameReaches(folder.filePath(name), binaryPath))
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
        const QStringList aliases = OtherNamesReaching(existing);
        if (!aliases.isEmpty())
            plan.questions << Tr("%1 is also opened through %2.\nDo you want to replace it?")
                                  .arg(QFileInfo(existing).fileName(), aliases.join(QStringLiteral(", ")));
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
