// The tool's name and version. The panel exposes these as its own static
// members; the folder object takes the compact name for the per-user folder.
#ifndef SKW_BASE_TOOL_IDENTITY_H
#define SKW_BASE_TOOL_IDENTITY_H

class ToolIdentity {
public:
    // "Velmora Skelwright Component".
    static const char* GetToolName();
    // The version text without its last component, as a number: 3.4 for "3.4.3".
    static float GetToolVersion();
    // "VLMSkelwright" followed by the major version. Built once; the pointer
    // stays valid, and the same, for the life of the module.
    static const char* GetCompactName();

    ToolIdentity() = delete;
};

#endif
