#include "ui/template_helpers.h"

#include "model/characterization.h"
#include "model/file_utils.h"

#include <QCoreApplication>
#include <QDir>

namespace {
const QString kTemplateExtension = QStringLiteral(".xml");
}  // namespace

QString TemplateExampleBone(const Characterization* characterization)
{
    if (!characterization)
        return QString();
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        const QString& joint = characterization->GetNodeName(node);
        if (characterization->IsNodeAssigned(node) && !joint.isEmpty())
            return joint;
    }
    return QString();
}

QString ProposedTemplateName(const QString& folder)
{
    QString name = QStringLiteral("template");
    MakeUniqueFileName(name, folder, kTemplateExtension);
    return name;
}

QString WhyNotATemplateName(const QString& name)
{
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return QCoreApplication::translate("TemplateHelpers",
                                           "A template name cannot hold \"/\" or \"\\\": templates are kept in one "
                                           "folder.");
    // The Apply list, like every file list, leaves hidden files out: a
    // template saved so could never be chosen.
    if (name.startsWith(QLatin1Char('.')))
        return QCoreApplication::translate("TemplateHelpers",
                                           "A template name cannot start with \".\": the file would be hidden, and "
                                           "no template list would show it.");
    return QString();
}

QString TemplateFilePath(const QString& folder, const QString& name)
{
    return QDir(folder).filePath(name + kTemplateExtension);
}
