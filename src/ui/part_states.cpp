#include "ui/part_states.h"

StateRepresentation::StateRepresentation()
{
    suffixes_.insert(kPartUnassigned, QStringLiteral(".png"));
    suffixes_.insert(kPartValid, QStringLiteral("_Valid.png"));
    suffixes_.insert(kPartWarning, QStringLiteral("_Warn.png"));
    suffixes_.insert(kPartError, QStringLiteral("_Err.png"));
    suffixes_.insert(kPartErrorSelected, QStringLiteral("_Err_Sel.png"));
    suffixes_.insert(kPartErrorPicking, QStringLiteral("_Err_Pick.png"));
    suffixes_.insert(kPartWarningSelected, QStringLiteral("_Warn_Sel.png"));
    suffixes_.insert(kPartWarningPicking, QStringLiteral("_Warn_Pick.png"));
    suffixes_.insert(kPartValidSelected, QStringLiteral("_Valid_Sel.png"));
    suffixes_.insert(kPartValidPicking, QStringLiteral("_Valid_Pick.png"));
    suffixes_.insert(kPartSelected, QStringLiteral("_Sel.png"));
    suffixes_.insert(kPartPicking, QStringLiteral("_Pick.png"));
}

StateRepresentation::~StateRepresentation() = default;

QString StateRepresentation::GetSuffix(int state) const { return suffixes_.value(state); }

int SelectionOverlayKey(int mode, int state)
{
    if (mode == kSelectionSelected) {
        switch (state) {
        case kPartValid: return kPartValidSelected;
        case kPartWarning: return kPartWarningSelected;
        case kPartError: return kPartErrorSelected;
        default: return kPartSelected;
        }
    }
    if (mode == kSelectionPicking) {
        switch (state) {
        case kPartValid: return kPartValidPicking;
        case kPartWarning: return kPartWarningPicking;
        case kPartError: return kPartErrorPicking;
        default: return kPartPicking;
        }
    }
    return -1;
}

SkelwrightDefinition::SkelwrightDefinition()
{
    pictures_.insert(0, QStringLiteral("ToolBar_MenuButton.png"));
    pictures_.insert(1, QStringLiteral("ToolBar_New.png"));
    pictures_.insert(2, QStringLiteral("ToolBar_Open.png"));
    pictures_.insert(3, QStringLiteral("ToolBar_Save.png"));
    pictures_.insert(4, QStringLiteral("ToolBar_Delete.png"));
    pictures_.insert(5, QStringLiteral("ToolBar_Undo.png"));
    pictures_.insert(6, QStringLiteral("ToolBar_Redo.png"));
}

SkelwrightDefinition::~SkelwrightDefinition() = default;

QString SkelwrightDefinition::GetPicture(int key) const { return pictures_.value(key); }
