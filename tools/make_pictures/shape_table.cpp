#include "shape_table.h"

#include <iterator>

namespace {

// Sizes follow two rules. Widths: every page is mirror-symmetric about x = 190,
// so a left/right pair at xL and xR is 380 - xL - xR wide and a centred element
// 2 (190 - x). Heights: a bone reaches down to the next joint of its chain
// below it; where that would make two boxes of a page overlap (the in-foot
// bones, the in-hand thumb, the first middle toe) the box is shorter. Arm
// boxes are centred on the arm axis, y = 84 of the full-body page.
const ShapeRow kRows[] = {
    // Full body.
    {"Bones/FullBody/Reference", kReference, 14, 14, 0, 0},
    {"Bones/FullBody/Spine", kColumn, 10, 31, 0, 0},
    {"Bones/FullBody/Hips", kPelvis, 36, 15, 0, 0},
    {"Bones/FullBody/Head", kSkull, 14, 39, 0, 0},
    {"Bones/FullBody/LeftUpLeg", kBone, 15, 80, -2, 0},
    {"Bones/FullBody/LeftLeg", kTwinBone, 15, 80, -2, 0},
    {"Bones/FullBody/LeftFoot", kFootFront, 16, 28, 0, 0},
    {"Bones/FullBody/LeftArm", kBoneAcross, 49, 12, 0, 0},
    {"Bones/FullBody/LeftForeArm", kTwinAcross, 52, 14, 0, 0},
    {"Bones/FullBody/LeftHand", kHandSide, 27, 20, 0, 0},
    {"Bones/FullBody/NotReq_LeftLeg", kRoll, 10, 24, 0, 0},
    {"Bones/FullBody/NotReq_LeftArm", kRollAcross, 19, 12, 0, 0},
    // Collars.
    {"Bones/Shoulders/LeftShoulder", kClavicle, 101, 28, -12, 0},
    {"Bones/Shoulders/LeftShoulderExtra", kShoulderBlade, 108, 28, -10, 0},
    // Hands: the wrist, then each digit from the palm to the tip.
    {"Bones/Hands/LeftFingerBase", kCarpus, 27, 28, 0, 0},
    {"Bones/Hands/LeftInHandThumb", kBone, 23, 28, 12, 0},
    {"Bones/Hands/LeftHandThumb1", kBone, 26, 34, 15, 0},
    {"Bones/Hands/LeftHandThumb2", kBone, 22, 39, 11, 0},
    {"Bones/Hands/LeftHandThumb3", kBone, 20, 37, 9, 0},
    {"Bones/Hands/LeftHandThumb4", kTip, 13, 21, 2, 0},
    {"Bones/Hands/LeftInHandIndex", kBone, 19, 77, 8, 0},
    {"Bones/Hands/LeftHandIndex1", kBone, 20, 45, 9, 0},
    {"Bones/Hands/LeftHandIndex2", kBone, 18, 33, 7, 0},
    {"Bones/Hands/LeftHandIndex3", kBone, 18, 36, 7, 0},
    {"Bones/Hands/LeftHandIndex4", kTip, 14, 21, 3, 0},
    {"Bones/Hands/LeftInHandMiddle", kBone, 15, 82, 4, 0},
    {"Bones/Hands/LeftHandMiddle1", kBone, 15, 59, 4, 0},
    {"Bones/Hands/LeftHandMiddle2", kBone, 15, 41, 4, 0},
    {"Bones/Hands/LeftHandMiddle3", kBone, 15, 36, 2, 0},
    {"Bones/Hands/LeftHandMiddle4", kTip, 13, 21, 1, 0},
    {"Bones/Hands/LeftInHandRing", kBone, 15, 79, -4, 0},
    {"Bones/Hands/LeftHandRing1", kBone, 15, 51, -2, 0},
    {"Bones/Hands/LeftHandRing2", kBone, 15, 38, -3, 0},
    {"Bones/Hands/LeftHandRing3", kBone, 16, 36, -5, 0},
    {"Bones/Hands/LeftHandRing4", kTip, 14, 21, -3, 0},
    {"Bones/Hands/LeftInHandPinky", kBone, 15, 65, -4, 0},
    {"Bones/Hands/LeftHandPinky1", kBone, 15, 39, -4, 0},
    {"Bones/Hands/LeftHandPinky2", kBone, 15, 36, -4, 0},
    {"Bones/Hands/LeftHandPinky3", kBone, 18, 39, -7, 0},
    {"Bones/Hands/LeftHandPinky4", kTip, 13, 21, -2, 0},
    {"Bones/Hands/LeftInHandExtra", kBone, 17, 55, -6, 0},
    {"Bones/Hands/LeftHandExtra1", kBone, 15, 38, -4, 0},
    {"Bones/Hands/LeftHandExtra2", kBone, 15, 36, -4, 0},
    {"Bones/Hands/LeftHandExtra3", kBone, 14, 31, -3, 0},
    {"Bones/Hands/LeftHandExtra4", kTip, 14, 21, -3, 0},
    // Feet: the mid-foot, then each toe from the ball of the foot to the tip.
    {"Bones/Feet/LeftToeBase", kTarsus, 36, 40, 0, 0},
    {"Bones/Feet/LeftInFootExtra", kKnuckle, 20, 13, -3, 0},
    {"Bones/Feet/LeftFootExtra1", kBone, 14, 25, 3, 0},
    {"Bones/Feet/LeftFootExtra2", kBone, 14, 27, 0, 0},
    {"Bones/Feet/LeftFootExtra3", kBone, 14, 28, 0, 0},
    {"Bones/Feet/LeftFootExtra4", kTip, 14, 21, -1, 0},
    {"Bones/Feet/LeftInFootThumb", kKnuckle, 16, 13, -3, 0},
    {"Bones/Feet/LeftFootThumb1", kBone, 14, 29, -2, 0},
    {"Bones/Feet/LeftFootThumb2", kBone, 14, 30, -2, 0},
    {"Bones/Feet/LeftFootThumb3", kBone, 14, 28, -3, 0},
    {"Bones/Feet/LeftFootThumb4", kTip, 13, 20, -2, 0},
    {"Bones/Feet/LeftInFootIndex", kKnuckle, 26, 12, 3, 0},
    {"Bones/Feet/LeftFootIndex1", kBone, 15, 40, -4, 0},
    {"Bones/Feet/LeftFootIndex2", kBone, 14, 22, -3, 0},
    {"Bones/Feet/LeftFootIndex3", kBone, 14, 21, -2, 0},
    {"Bones/Feet/LeftFootIndex4", kTip, 13, 21, -2, 0},
    {"Bones/Feet/LeftInFootMiddle", kKnuckle, 29, 13, 3, 0},
    {"Bones/Feet/LeftFootMiddle1", kBone, 16, 20, -5, 0},
    {"Bones/Feet/LeftFootMiddle2", kBone, 14, 21, -3, 0},
    {"Bones/Feet/LeftFootMiddle3", kBone, 15, 20, -4, 0},
    {"Bones/Feet/LeftFootMiddle4", kTip, 14, 18, -3, 0},
    {"Bones/Feet/LeftInFootRing", kKnuckle, 28, 9, 1, 0},
    {"Bones/Feet/LeftFootRing1", kBone, 16, 28, -5, 0},
    {"Bones/Feet/LeftFootRing2", kBone, 15, 21, -4, 0},
    {"Bones/Feet/LeftFootRing3", kBone, 15, 16, -4, 0},
    {"Bones/Feet/LeftFootRing4", kTip, 15, 19, -4, 0},
    {"Bones/Feet/LeftInFootPinky", kKnuckle, 29, 13, 3, 0},
    {"Bones/Feet/LeftFootPinky1", kBone, 17, 23, -6, 0},
    {"Bones/Feet/LeftFootPinky2", kBone, 14, 17, -3, 0},
    {"Bones/Feet/LeftFootPinky3", kBone, 14, 17, -3, 0},
    {"Bones/Feet/LeftFootPinky4", kTip, 15, 19, -4, 0},
    // Neck and spine: one picture for all nineteen vertebrae (pitch 31).
    {"Bones/Neck_Spine/NeckSpine", kVertebra, 22, 29, 0, 0},
    // Status light, arrows and inversion toggles.
    {"Status", kLamp, 32, 32, 0, 0},
    {"GoToArrow", kGoToArrow, 22, 22, 0, 0},
    {"ReturnToArrow", kReturnArrow, 22, 22, 0, 0},
    {"LeftNormal.png", kToggleNormal, 22, 22, 0, 0},
    {"LeftInversed.png", kToggleInversed, 22, 22, 0, 0},
    // Name-match list bubbles: a 10 pixel disc, highlighted with a white ring.
    {"BubbleSmall_Gray.png", kBubble, 16, 16, 0, 0},
    {"BubbleSmall_Gray_Highlight.png", kBubble, 16, 16, 0, 10},
    {"BubbleSmall_Green.png", kBubble, 16, 16, 0, 1},
    {"BubbleSmall_Green_Highlight.png", kBubble, 16, 16, 0, 11},
    {"BubbleSmall_Orange.png", kBubble, 16, 16, 0, 2},
    {"BubbleSmall_Orange_Highlight.png", kBubble, 16, 16, 0, 12},
    {"BubbleSmall_Red.png", kBubble, 16, 16, 0, 3},
    {"BubbleSmall_Red_Highlight.png", kBubble, 16, 16, 0, 13},
    // Toolbar buttons that exist (the other toolbar names have no picture).
    {"ToolBar_MenuButton.png", kMenuButton, 16, 16, 0, 0},
    {"ToolBar_Delete.png", kDeleteButton, 16, 16, 0, 0},
    // The 3D view's drag cursors and title-bar buttons.
    {"Cursor_View_Orbit.png", kCursorOrbit, 32, 32, 0, 0},
    {"Cursor_View_Pan.png", kCursorPan, 32, 32, 0, 0},
    {"Cursor_View_Zoom.png", kCursorZoom, 32, 32, 0, 0},
    {"ViewportButton_Settings.png", kViewSettings, 20, 20, 0, 0},
    {"ViewportButton_Visibility.png", kViewVisibility, 20, 20, 0, 0},
    {"ViewportButton_Frame.png", kViewFrame, 20, 20, 0, 0},
    // Page backgrounds; the right collar is the left one mirrored.
    {"BodyGUI_Base.png", kBackground, 380, 380, 0, 0},
    {"HandsGUI_Base.png", kBackground, 380, 380, 0, 1},
    {"FootGUI_Base.png", kBackground, 380, 380, 0, 2},
    {"NeckGUI_Base.png", kBackground, 380, 380, 0, 3},
    {"SpineGUI_Base.png", kBackground, 380, 380, 0, 4},
    {"ShoulderLeftGUI_Base.png", kBackground, 380, 380, 0, 5},
};

const ShapeRow* FindRow(const QString& name)
{
    for (const ShapeRow& row : kRows)
        if (name == QLatin1String(row.name))
            return &row;
    return nullptr;
}

}  // namespace

const ShapeRow* FindShape(const QString& name, bool* mirrored)
{
    *mirrored = false;
    if (const ShapeRow* row = FindRow(name))
        return row;
    const int right = name.indexOf(QLatin1String("Right"));
    if (right < 0)
        return nullptr;
    QString left = name;
    left.replace(right, 5, QStringLiteral("Left"));
    *mirrored = true;
    return FindRow(left);
}

const ShapeRow* ShapeRows(int* count)
{
    *count = int(std::size(kRows));
    return kRows;
}
