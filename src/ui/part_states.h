// The states a figure element shows, the file-name suffix of each state's
// picture, the overlay picture of a selected or picking element, and the names
// of the toolbar pictures. Depends on Qt Core only: the picture generator
// builds the same tables.
#ifndef SKW_UI_PART_STATES_H
#define SKW_UI_PART_STATES_H

#include <QMap>
#include <QString>

// A key of StateRepresentation. 0 to 3 are the node validation states (0
// unassigned, 1 valid, 2 warning, 3 error); 4 to 11 name the overlays.
using PartState = int;

enum : int {
    kPartUnassigned = 0,
    kPartValid = 1,
    kPartWarning = 2,
    kPartError = 3,
    kPartErrorSelected = 4,
    kPartErrorPicking = 5,
    kPartWarningSelected = 6,
    kPartWarningPicking = 7,
    kPartValidSelected = 8,
    kPartValidPicking = 9,
    kPartSelected = 10,
    kPartPicking = 11,
    kPartStateCount = 12
};

// How the edited part is drawn: selected after a click, picking while it
// waits for the host's selection.
enum PartSelectionMode : int { kSelectionNone = 0, kSelectionSelected = 1, kSelectionPicking = 2 };

// State key to picture-name suffix (".png", "_Valid.png", ...).
class StateRepresentation {
public:
    StateRepresentation();
    virtual ~StateRepresentation();

    // The suffix of the key; empty for a key that is not in the table.
    QString GetSuffix(int state) const;

private:
    QMap<int, QString> suffixes_;
};

// The key of the picture drawn over an element in `state` (0 to 3) while it has
// selection `mode`; -1 for mode none (no overlay) or an unknown mode.
int SelectionOverlayKey(int mode, int state);

// Toolbar picture names by key (0 "ToolBar_MenuButton.png" to 6
// "ToolBar_Redo.png"). Only the menu button and delete pictures exist.
class SkelwrightDefinition {
public:
    SkelwrightDefinition();
    virtual ~SkelwrightDefinition();

    // The picture name of the key; empty for a key that is not in the table.
    QString GetPicture(int key) const;

private:
    QMap<int, QString> pictures_;
};

#endif
