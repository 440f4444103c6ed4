// What the panel's template commands need besides the dialogs: the example
// joint shown when a template is extracted, the name proposed for it, and the
// one file a template name stands for.
#ifndef SKW_UI_TEMPLATE_HELPERS_H
#define SKW_UI_TEMPLATE_HELPERS_H

#include <QString>

class Characterization;

// The joint of the lowest rig node that has a joint assigned; empty when no
// node has one (or there is no characterization).
QString TemplateExampleBone(const Characterization* characterization);

// "template", else "template(1)", "template(2)" ...: the first name that no
// template in `folder` uses.
QString ProposedTemplateName(const QString& folder);

// Why `name` cannot name a template: one holding "/" or "\\" would be a path
// out of the template folder, or into a folder below it that no list shows,
// and one starting with "." a hidden file that no list shows either. Empty
// for a name that can.
QString WhyNotATemplateName(const QString& name);

// The template file of a name: `name` followed by ".xml", in `folder` (with or
// without a trailing "/"). The save dialog asks before overwriting this file,
// so the template must be written to exactly this path.
QString TemplateFilePath(const QString& folder, const QString& name);

#endif
