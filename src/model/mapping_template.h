// Mapping templates: a skeleton's naming convention as one rule per rig node,
// kept as an XML file ("match_list" under the root, one "item" per rig node
// with "key" the node's name, "value" the pattern and "use_root" "true" on the
// root rule).
#ifndef SKW_MODEL_MAPPING_TEMPLATE_H
#define SKW_MODEL_MAPPING_TEMPLATE_H

#include "model/name_matching.h"

#include <QString>

#include <vector>

// Writes the rules through a settings store on `path` (which writes the file
// when it is done), replacing whatever the file held; the file keeps its
// owner, group, mode and access control list (model/safe_save.h). Rule n is
// written under rig node n's name.
// Answers whether the file was written; when not, `message` receives why. A
// path that goes up a folder ("..") and a pattern holding a character an XML
// file cannot hold are refused, with nothing written. A file that was there and could not be read is kept aside
// under a name of its own, and `message` then says as what even though the
// write succeeded; otherwise it is emptied.
bool WriteMappingTemplate(const QString& path, const std::vector<NameMatchRule>& rules, QString* message = nullptr);

// Empties `rules`, then one rule per item of the file, in file order; the
// items' "key" attributes are not read. A missing or unparsable file gives no
// rules; one that could not be read (not a file, too large, unreadable,
// damaged) also says why in `message`. One read with bytes that were not
// valid in its encoding gives its rules, and `message` says where those
// bytes were; otherwise it is emptied.
void LoadMappingTemplate(const QString& path, std::vector<NameMatchRule>& rules, QString* message = nullptr);

// The rules of a mapped skeleton: `rules` becomes 172 rules, one per rig node
// of `jointNames`. A joint that starts with `prefix` gives the rest of its name
// as the pattern; a joint equal to the root (`prefix` cut at its last
// delimiter, when that is not empty) gets the root flag.
void BuildTemplateRules(const std::vector<QString>& jointNames, const QString& prefix, const NameMatcher& matcher,
                        std::vector<NameMatchRule>& rules);

#endif
