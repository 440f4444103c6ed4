#include "model/mapping_template.h"

#include "model/xml_settings_store.h"
#include "rig/vlm_base.h"

namespace {

const QString kMatchListKey = QStringLiteral("match_list");
const QString kUseRootAttribute = QStringLiteral("use_root");

}  // namespace

bool WriteMappingTemplate(const QString& path, const std::vector<NameMatchRule>& rules)
{
    const std::vector<QString>& nodeNames = RigNodeNames();
    XmlSettingsStore::FlaggedPairList items;
    items.reserve(rules.size());
    for (std::size_t node = 0; node < rules.size(); ++node) {
        FlaggedPair item;
        if (node < nodeNames.size())
            item.key = nodeNames[node];
        item.value = rules[node].pattern;
        item.flag = rules[node].useRoot;
        items.push_back(item);
    }
    // A template is written whole: saving replaces the file, also one that is
    // damaged (which the store would otherwise move aside first).
    XmlSettingsStore store(path);
    store.Reset();
    store.SetFlaggedPairList(kMatchListKey, kUseRootAttribute, false, items);
    return store.Write();
}

void LoadMappingTemplate(const QString& path, std::vector<NameMatchRule>& rules)
{
    rules.clear();
    XmlSettingsStore::FlaggedPairList items;
    {
        XmlSettingsStore store(path);
        store.GetFlaggedPairList(kMatchListKey, kUseRootAttribute, false, items);
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
