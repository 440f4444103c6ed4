#include "ui/template_helpers.h"

#include "model/characterization.h"
#include "model/file_utils.h"

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

QString TemplateFilePath(const QString& folder, const QString& name)
{
    return QDir(folder).filePath(name + kTemplateExtension);
}
