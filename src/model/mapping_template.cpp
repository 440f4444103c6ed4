#include "model/mapping_template.h"

#include "model/file_utils.h"
#include "model/xml_document.h"
#include "model/xml_settings_store.h"
#include "rig/vlm_base.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString Tr(const char* text) { return QCoreApplication::translate("MappingTemplate", text); }

void Say(QString* message, const QString& text)
{
    if (message)
        *message = text;
}

const QString kMatchListKey = QStringLiteral("match_list");
const QString kUseRootAttribute = QStringLiteral("use_root");

}  // namespace

bool WriteMappingTemplate(const QString& path, const std::vector<NameMatchRule>& rules, QString* message)
{
    // A template name typed as "../name" would be saved outside the template
    // folder, where no list shows it, and over whatever file is there. (A
    // departure: the path was written as given.)
    if (QDir::fromNativeSeparators(path).split(QLatin1Char('/')).contains(QStringLiteral(".."))) {
        Say(message, Tr("%1 was not saved: its path goes up out of its folder (\"..\").").arg(path));
        return false;
    }
    const std::vector<QString>& nodeNames = RigNodeNames();
    XmlSettingsStore::FlaggedPairList items;
    items.reserve(rules.size());
    for (std::size_t node = 0; node < rules.size(); ++node) {
        FlaggedPair item;
        if (node < nodeNames.size())
            item.key = nodeNames[node];
        item.value = rules[node].pattern;
        item.flag = rules[node].useRoot;
        // A pattern the file would not give back is refused before anything
        // is written: the template would not load.
        const QString unwritable = CharacterXmlCannotHold(
            item.value, Tr("The pattern of %1").arg(item.key.isEmpty() ? QString::number(node) : item.key));
        if (!unwritable.isEmpty()) {
            Say(message, Tr("%1 was not saved: %2").arg(QFileInfo(path).fileName(), unwritable));
            return false;
        }
        items.push_back(item);
    }
    // A template is written whole: saving replaces the file. Unlike a plain
    // overwrite, one that could not be read (damaged, too large, unreadable)
    // is kept aside first, and the message says as what: it may be the
    // user's only copy of a convention.
    XmlSettingsStore store(path);
    store.Reset();
    store.SetFlaggedPairList(kMatchListKey, kUseRootAttribute, false, items);
    if (!store.Write()) {
        // The cause where it can be named: a folder (or a pipe) of that name,
        // the store's own reason (text the file cannot hold, a size it could
        // not read back), a folder that is not there.
        const QFileInfo file(path);
        QString why = WhyNotARegularFile(file);
        if (why.isEmpty())
            why = store.GetWriteProblem();
        if (why.isEmpty() && !file.absoluteDir().exists())
            why = Tr("%1 could not be written: its folder %2 does not exist.")
                      .arg(file.fileName(), QDir::toNativeSeparators(file.absolutePath()));
        Say(message, why.isEmpty() ? Tr("%1 could not be written.").arg(file.fileName()) : why);
        return false;
    }
    Say(message, store.GetWriteNotice());
    return true;
}

void LoadMappingTemplate(const QString& path, std::vector<NameMatchRule>& rules, QString* message)
{
    rules.clear();
    XmlSettingsStore::FlaggedPairList items;
    {
        XmlSettingsStore store(path);
        store.GetFlaggedPairList(kMatchListKey, kUseRootAttribute, false, items);
        // What the read put right first, or left alone, is the caller's to
        // hear as well as why nothing or not all was read.
        const QString read = store.GetReadProblem().isEmpty() ? store.GetReadWarning() : store.GetReadProblem();
        Say(message, (store.GetReadNotice() + QLatin1Char(' ') + read).trimmed());
    }
    rules.reserve(items.size());
    for (const FlaggedPair& item : items)
        rules.push_back(NameMatchRule{item.value, item.flag});
}

void BuildTemplateRules(const std::vector<QString>& jointNames, const QString& prefix, const NameMatcher& matcher,
                        std::vector<NameMatchRule>& rules)
{
    const QString root = matcher.CutAtLastDelimiter(prefix);
    const bool rootCounts = !root.isEmpty();
    rules.assign(VLM_NODE_COUNT, NameMatchRule());
    for (int node = 0; node < VLM_NODE_COUNT && std::size_t(node) < jointNames.size(); ++node) {
        const QString& joint = jointNames[node];
        if (joint.isEmpty())
            continue;
        if (joint.startsWith(prefix, Qt::CaseSensitive))
            rules[node].pattern = joint.mid(prefix.length());
        else if (rootCounts)
            rules[node].useRoot = joint == root;
    }
}
