// What each picture of the figure is: its shape kind, its size and, for bones,
// how far the far end leans toward the next joint of its chain. Keyed by the
// picture name (a part's picture prefix, or the full file name of a single
// picture). Only left-side and centred pictures have rows: a "Right" picture
// is the mirror image of its "Left" twin.
#ifndef SKW_TOOLS_SHAPE_TABLE_H
#define SKW_TOOLS_SHAPE_TABLE_H

#include <QString>

enum ShapeKind {
    // Bones, drawn in the four state colours with selection and pick overlays.
    kBone,        // a vertical bone with a joint knob at each end
    kTip,         // the last bone of a digit: a rounded tip on top
    kBoneAcross,  // a horizontal bone
    kTwinBone,    // two bones side by side, vertical (shin)
    kTwinAcross,  // two bones side by side, horizontal (forearm)
    kKnuckle,     // a short bone lying across its box
    kRoll,        // a thin roll bone with a twist ring, vertical
    kRollAcross,  // the same, horizontal
    kCarpus,      // the wrist bones
    kTarsus,      // the mid-foot bones
    kPelvis,
    kSkull,
    kColumn,         // a short stack of vertebrae
    kVertebra,       // one vertebra, seen from the back
    kClavicle,       // a long curved bone lying across its box
    kShoulderBlade,  // the outer collar bone, ending in the shoulder socket
    kHandSide,       // a whole hand pointing outward
    kFootFront,      // a whole foot seen from the front
    kReference,      // the ground marker
    // Single pictures.
    kLamp,            // the status light: ".png" and the three state colours
    kGoToArrow,       // the go-to glyph and the three state discs under it
    kReturnArrow,     // the way back to the full body
    kToggleNormal,    // limb bent forward
    kToggleInversed,  // limb bent backward
    kBubble,          // a small state disc; `variant`: colour, plus 10 when highlighted
    kMenuButton,
    kDeleteButton,
    // The 3D view: drag cursors (white, dark outline) and title-bar buttons.
    kCursorOrbit,     // circular arrows
    kCursorPan,       // four-way arrow
    kCursorZoom,      // magnifier
    kViewSettings,    // gear
    kViewVisibility,  // eye
    kViewFrame,       // four corners
    kBackground       // a page; `variant`: the page index
};

struct ShapeRow {
    const char* name;
    ShapeKind kind;
    int width;
    int height;
    // Bones: where the far end lies across the bone's axis, in pixels from the
    // near end (vertical bones: top minus bottom x; horizontal: right minus left y).
    int tilt;
    int variant;
};

// The row for a picture name and whether the picture is that row mirrored left
// to right; null when there is none.
const ShapeRow* FindShape(const QString& name, bool* mirrored);

// Every row, in table order.
const ShapeRow* ShapeRows(int* count);

// Pictures that no layout element names (bubbles, toolbar buttons, the 3D
// view's cursors and buttons): drawn for their table row alone.
inline bool IsStandalone(ShapeKind kind) { return kind == kBubble || (kind >= kMenuButton && kind <= kViewFrame); }

#endif
