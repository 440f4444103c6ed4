#include "base/tool_identity.h"

#include <locale>
#include <sstream>
#include <string>

namespace {

const char kToolName[] = "Velmora Skelwright Component";
const char kVersionText[] = "3.4.3";

}  // namespace

const char* ToolIdentity::GetToolName() { return kToolName; }

float ToolIdentity::GetToolVersion()
{
    const std::string text(kVersionText);
    // The classic locale keeps "3.4" a number whatever locale the host set.
    std::istringstream in(text.substr(0, text.rfind('.')));
    in.imbue(std::locale::classic());
    float version = 0.0f;
    in >> version;
    return version;
}

const char* ToolIdentity::GetCompactName()
{
    static const std::string name = [] {
        const std::string text(kVersionText);
        return "VLMSkelwright" + text.substr(0, text.find('.'));
    }();
    return name.c_str();
}
