// The static description of every character property, and the map from
// public ids to table entries.
//
// Entry numbers are fixed: the character's limb, extremity and roll tables and
// the solver layer store them, so an entry never moves.
#include "rig/vlm_property_table.h"

namespace {

// Arguments in column order: name, parent entry, mode kind, value kind,
// minimum, maximum, invert flag, body-description flag, default mode, default
// value. The reserved words and bytes are always 0.
constexpr VLMPropertyInfo Entry(const char* name, int parent, unsigned modeKind, unsigned valueKind, float minimum,
                                float maximum, int invert, int body, unsigned defaultMode, float defaultValue)
{
    return VLMPropertyInfo{parent,
                           modeKind,
                           valueKind,
                           0u,
                           minimum,
                           maximum,
                           static_cast<std::uint8_t>(invert),
                           static_cast<std::uint8_t>(body),
                           {0, 0},
                           defaultMode,
                           defaultValue,
                           0u,
                           name};
}

}  // namespace

// Entry 31's name carries "Rotation" twice (its right twin does not); stored
// settings and callers look it up by that exact string.
// clang-format off
const VLMPropertyInfo kVLMPropertyEntries[VLM_PROPERTY_ENTRY_COUNT] = {
    Entry("PullIterationCount", -1, 0, 6, 0.0f, 30.0f, 0, 0, 0, 10.0f),                  //   0, id 118
    Entry("Posture", -1, 0, 5, 0.0f, 2.0f, 0, 1, 0, 0.0f),                               //   1, id 99
    Entry("ForceActorSpace", -1, 1, 0, 0.0f, 0.0f, 0, 0, 0, 0.0f),                       //   2, id 0
    Entry("ScaleCompensation", -1, 2, 6, 1.0f, 1000.0f, 0, 0, 1, 100.0f),                //   3, id 1
    Entry("HipsHeightCompensation", -1, 2, 3, -1000.0f, 1000.0f, 0, 0, 1, 0.0f),         //   4, id 5
    Entry("AnkleHeightCompensation", -1, 2, 3, -1000.0f, 1000.0f, 0, 0, 1, 0.0f),        //   5, id 3
    Entry("AnkleProximityCompensation", -1, 2, 3, -1000.0f, 1000.0f, 0, 0, 1, 0.0f),     //   6, id 4
    Entry("MassCenterCompensation", -1, 1, 6, 0.0f, 120.0f, 0, 0, 1, 80.0f),             //   7, id 2
    Entry("ApplyLimits", -1, 1, 0, 0.0f, 100.0f, 0, 0, 0, 0.0f),                         //   8
    Entry("ChestReduction", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                        //   9
    Entry("CollarReduction", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                       //  10
    Entry("NeckReduction", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                         //  11
    Entry("HeadReduction", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                         //  12
    Entry("ReachActorLeftAnkle", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 1.0f),                   //  13, id 6
    Entry("ReachActorRightAnkle", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 1.0f),                  //  14, id 7
    Entry("ReachActorLeftKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                    //  15, id 11
    Entry("ReachActorRightKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                   //  16, id 12
    Entry("ReachActorChest", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                       //  17, id 8
    Entry("ReachActorHead", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                        //  18, id 13
    Entry("ReachActorLeftWrist", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                   //  19, id 9
    Entry("ReachActorRightWrist", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                  //  20, id 10
    Entry("ReachActorLeftElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                   //  21, id 14
    Entry("ReachActorRightElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                  //  22, id 15
    Entry("ReachActorLeftFingerBase", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),              //  23, id 21
    Entry("ReachActorRightFingerBase", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),             //  24, id 22
    Entry("ReachActorLeftToesBase", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                //  25, id 23
    Entry("ReachActorRightToesBase", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),               //  26, id 24
    Entry("ReachActorLeftFingerBaseRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),      //  27, id 25
    Entry("ReachActorRightFingerBaseRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),     //  28, id 26
    Entry("ReachActorLeftToesBaseRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),        //  29, id 27
    Entry("ReachActorRightToesBaseRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),       //  30, id 28
    Entry("ReachActorLeftAnkleRotationRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 1.0f),   //  31, id 16
    Entry("ReachActorRightAnkleRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 1.0f),          //  32, id 17
    Entry("ReachActorHeadRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                //  33, id 18
    Entry("ReachActorLeftWristRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),           //  34, id 19
    Entry("ReachActorRightWristRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),          //  35, id 20
    Entry("ReachActorChestRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),               //  36, id 29
    Entry("ReachActorLowerChestRotation", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),          //  37, id 30
    Entry("HipsTOffsetX", -1, 0, 3, -1000.0f, 1000.0f, 0, 0, 1, 0.0f),                   //  38, id 91
    Entry("HipsTOffsetY", -1, 0, 3, -1000.0f, 1000.0f, 0, 0, 1, 0.0f),                   //  39, id 92
    Entry("HipsTOffsetZ", -1, 0, 3, -1000.0f, 1000.0f, 0, 0, 1, 0.0f),                   //  40, id 93
    Entry("ChestTOffsetX", -1, 0, 3, -1000.0f, 1000.0f, 0, 0, 1, 0.0f),                  //  41, id 94
    Entry("ChestTOffsetY", -1, 0, 3, -1000.0f, 1000.0f, 0, 0, 1, 0.0f),                  //  42, id 95
    Entry("ChestTOffsetZ", -1, 0, 3, -1000.0f, 1000.0f, 0, 0, 1, 0.0f),                  //  43, id 96
    Entry("FloorContact", -1, 1, 0, 0.0f, 0.0f, 0, 0, 0, 0.0f),                          //  44, id 31
    Entry("FootBottomToAnkle", 44, 0, 3, 0.0f, 10000.0f, 0, 1, 1, 0.0f),                 //  45, id 32
    Entry("FootBackToAnkle", 44, 0, 3, 0.0f, 10000.0f, 0, 1, 1, 4.5f),                   //  46, id 33
    Entry("FootMiddleToAnkle", 44, 0, 3, 0.0f, 10000.0f, 0, 1, 1, 13.0f),                //  47, id 34
    Entry("FootFrontToMiddle", 44, 0, 3, 0.0f, 10000.0f, 0, 1, 1, 7.0f),                 //  48, id 35
    Entry("FootInToAnkle", 44, 0, 3, 0.0f, 10000.0f, 0, 1, 1, 5.0f),                     //  49, id 36
    Entry("FootOutToAnkle", 44, 0, 3, 0.0f, 10000.0f, 0, 1, 1, 5.0f),                    //  50, id 37
    Entry("ContactSize", 44, 0, 6, 10.0f, 1000.0f, 0, 1, 1, 100.0f),                     //  51
    Entry("AutomaticToes", -1, 1, 0, 0.0f, 0.0f, 0, 0, 0, 0.0f),                         //  52, id 97
    Entry("FloorPivot", -1, 0, 5, 0.0f, 3.0f, 0, 0, 0, 0.0f),                            //  53, id 98
    Entry("ParamFootContactStiffness", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),             //  54, id 105
    Entry("HandFloorContact", -1, 1, 0, 0.0f, 0.0f, 0, 0, 0, 0.0f),                      //  55, id 38
    Entry("HandBottomToWrist", 55, 0, 3, 0.0f, 10000.0f, 0, 1, 1, 0.0f),                 //  56, id 39
    Entry("HandBackToWrist", 55, 0, 3, 0.0f, 10000.0f, 0, 1, 1, 4.5f),                   //  57, id 40
    Entry("HandMiddleToWrist", 55, 0, 3, 0.0f, 10000.0f, 0, 1, 1, 13.0f),                //  58, id 41
    Entry("HandFrontToMiddle", 55, 0, 3, 0.0f, 10000.0f, 0, 1, 1, 7.0f),                 //  59, id 42
    Entry("HandInToWrist", 55, 0, 3, 0.0f, 10000.0f, 0, 1, 1, 5.0f),                     //  60, id 43
    Entry("HandOutToWrist", 55, 0, 3, 0.0f, 10000.0f, 0, 1, 1, 5.0f),                    //  61, id 44
    Entry("HandContactSize", 55, 0, 6, 10.0f, 1000.0f, 0, 1, 1, 100.0f),                 //  62
    Entry("AutomaticFingers", -1, 1, 0, 0.0f, 0.0f, 0, 0, 0, 0.0f),                      //  63, id 100
    Entry("HandFloorPivot", -1, 0, 5, 0.0f, 3.0f, 0, 0, 0, 0.0f),                        //  64, id 101
    Entry("ParamHandContactStiffness", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),             //  65, id 116
    Entry("RollExtractionMode", -1, 0, 5, 0.0f, 2.0f, 0, 0, 0, 0.0f),                    //  66, id 117
    Entry("LeftUpLegRoll", -1, 1, 1, 0.0f, 1.0f, 0, 0, 0, 0.6f),                         //  67, id 51
    Entry("LeftLegRoll", -1, 1, 1, 0.0f, 1.0f, 0, 0, 0, 0.6f),                           //  68, id 52
    Entry("RightUpLegRoll", -1, 1, 1, 0.0f, 1.0f, 0, 0, 0, 0.6f),                        //  69, id 53
    Entry("RightLegRoll", -1, 1, 1, 0.0f, 1.0f, 0, 0, 0, 0.6f),                          //  70, id 54
    Entry("LeftArmRoll", -1, 1, 1, 0.0f, 1.0f, 0, 0, 0, 0.6f),                           //  71, id 55
    Entry("LeftForeArmRoll", -1, 1, 1, 0.0f, 1.0f, 0, 0, 0, 0.6f),                       //  72, id 56
    Entry("RightArmRoll", -1, 1, 1, 0.0f, 1.0f, 0, 0, 0, 0.6f),                          //  73, id 57
    Entry("RightForeArmRoll", -1, 1, 1, 0.0f, 1.0f, 0, 0, 0, 0.6f),                      //  74, id 58
    Entry("Damping", -1, 0, 6, 0.0f, 100.0f, 0, 0, 0, 0.0f),                             //  75
    Entry("Orientation", 75, 2, 2, 0.0f, 0.25f, 0, 0, 1, 0.0f),                          //  76
    Entry("Displacement", 75, 2, 6, 0.0f, 100.0f, 0, 0, 1, 0.0f),                        //  77
    Entry("DisplacementMemory", 77, 3, 2, 0.0f, 0.25f, 0, 0, 0, 0.0f),                   //  78
    Entry("HipsDisplacementDamping", 77, 3, 6, 0.0f, 100.0f, 0, 0, 0, 0.0f),             //  79
    Entry("AnkleDisplacementDamping", 77, 3, 6, 0.0f, 100.0f, 0, 0, 0, 0.0f),            //  80
    Entry("WristDisplacementDamping", 77, 3, 6, 0.0f, 100.0f, 0, 0, 0, 0.0f),            //  81
    Entry("Stabilization", -1, 0, 6, 0.0f, 100.0f, 0, 0, 0, 0.0f),                       //  82
    Entry("AnkleStabilizationTime", 82, 3, 2, 0.0f, 1.0f, 1, 0, 0, 0.0f),                //  83
    Entry("AnkleStabilizationPerimeter", 82, 3, 3, 0.0f, 15.0f, 0, 0, 0, 0.0f),          //  84
    Entry("AnkleStabilizationAngularPerimeter", 82, 2, 4, 0.0f, 60.0f, 0, 0, 1, 0.0f),   //  85
    Entry("AnkleStabilizationFloorProximity", 82, 2, 3, 0.0f, 10.0f, 0, 0, 1, 0.0f),     //  86
    Entry("AnkleStabilizationDamping", 82, 2, 2, 0.0f, 10.0f, 0, 0, 0, 0.0f),            //  87
    Entry("AnkleStabilizationRecoveryTime", 82, 2, 2, 0.0f, 1.0f, 0, 0, 1, 0.0f),        //  88
    Entry("CtrlPullLeftToeBase", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                   //  89, id 69
    Entry("CtrlPullLeftFoot", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 1.0f),                      //  90, id 64
    Entry("CtrlPullLeftKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                      //  91, id 70
    Entry("CtrlPullRightToeBase", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                  //  92, id 71
    Entry("CtrlPullRightFoot", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 1.0f),                     //  93, id 65
    Entry("CtrlPullRightKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                     //  94, id 72
    Entry("CtrlPullLeftFingerBase", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                //  95, id 73
    Entry("CtrlPullLeftHand", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 1.0f),                      //  96, id 66
    Entry("CtrlPullLeftElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                     //  97, id 74
    Entry("CtrlPullRightFingerBase", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),               //  98, id 75
    Entry("CtrlPullRightHand", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 1.0f),                     //  99, id 67
    Entry("CtrlPullRightElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                    // 100, id 76
    Entry("CtrlChestPullLeftHand", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 1.0f),                 // 101, id 77
    Entry("CtrlChestPullRightHand", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 1.0f),                // 102, id 78
    Entry("CtrlPullHead", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                          // 103, id 68
    Entry("CtrlResistHipsPosition", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                // 104, id 79
    Entry("CtrlEnforceGravity", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.6f),                    // 105, id 80
    Entry("CtrlResistHipsOrientation", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),             // 106, id 81
    Entry("CtrlResistChestPosition", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),               // 107, id 82
    Entry("CtrlResistChestOrientation", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),            // 108, id 83
    Entry("CtrlResistLeftCollar", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.5f),                  // 109, id 84
    Entry("CtrlResistRightCollar", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.5f),                 // 110, id 85
    Entry("CtrlResistLeftKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.5f),                    // 111, id 86
    Entry("CtrlResistMaximumExtensionLeftKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.5f),    // 112, id 106
    Entry("CtrlResistCompressionFactorLeftKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.5f),   // 113, id 110
    Entry("CtrlResistRightKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.5f),                   // 114, id 87
    Entry("CtrlResistMaximumExtensionRightKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.5f),   // 115, id 107
    Entry("CtrlResistCompressionFactorRightKnee", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.5f),  // 116, id 111
    Entry("CtrlResistLeftElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.5f),                   // 117, id 88
    Entry("CtrlResistMaximumExtensionLeftElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.5f),   // 118, id 108
    Entry("CtrlResistCompressionFactorLeftElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.5f),  // 119, id 112
    Entry("CtrlResistRightElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.5f),                  // 120, id 89
    Entry("CtrlResistMaximumExtensionRightElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.5f),  // 121, id 109
    Entry("CtrlResistCompressionFactorRightElbow", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.5f), // 122, id 113
    Entry("ParamCtrlSpineStiffness", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),               // 123, id 90
    Entry("ParamCtrlNeckStiffness", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                // 124, id 102
    Entry("Mirror", -1, 1, 0, 0.0f, 100.0f, 0, 0, 0, 0.0f),                              // 125, id 59
    Entry("GameMode", -1, 1, 0, 0.0f, 100.0f, 0, 0, 0, 0.0f),                            // 126
    Entry("ShoulderCorrection", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                    // 127, id 143
    Entry("LeftKneeKillPitch", -1, 1, 0, 0.0f, 100.0f, 0, 0, 0, 0.0f),                   // 128, id 60
    Entry("RightKneeKillPitch", -1, 1, 0, 0.0f, 100.0f, 0, 0, 0, 0.0f),                  // 129, id 61
    Entry("LeftElbowKillPitch", -1, 1, 0, 0.0f, 100.0f, 0, 0, 0, 0.0f),                  // 130, id 62
    Entry("RightElbowKillPitch", -1, 1, 0, 0.0f, 100.0f, 0, 0, 0, 0.0f),                 // 131, id 63
    Entry("HipsTranslationMode", -1, 0, 5, 0.0f, 3.0f, 0, 1, 0, 0.0f),                   // 132, id 103
    Entry("LeftShoulderFrontAngle", -1, 0, 4, 0.0f, 180.0f, 0, 1, 0, 150.0f),            // 133
    Entry("LeftShoulderBackAngle", -1, 0, 4, 0.0f, 180.0f, 0, 1, 0, 150.0f),             // 134
    Entry("LeftShoulderUpAngle", -1, 0, 4, 0.0f, 180.0f, 0, 1, 0, 150.0f),               // 135
    Entry("LeftShoulderDownAngle", -1, 0, 4, 0.0f, 180.0f, 0, 1, 0, 150.0f),             // 136
    Entry("RightShoulderFrontAngle", -1, 0, 4, 0.0f, 180.0f, 0, 1, 0, 150.0f),           // 137
    Entry("RightShoulderBackAngle", -1, 0, 4, 0.0f, 180.0f, 0, 1, 0, 150.0f),            // 138
    Entry("RightShoulderUpAngle", -1, 0, 4, 0.0f, 180.0f, 0, 1, 0, 150.0f),              // 139
    Entry("RightShoulderDownAngle", -1, 0, 4, 0.0f, 180.0f, 0, 1, 0, 150.0f),            // 140
    Entry("LeftHandThumbTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                   // 141, id 119
    Entry("LeftHandIndexTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                   // 142, id 120
    Entry("LeftHandMiddleTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                  // 143, id 121
    Entry("LeftHandRingTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                    // 144, id 122
    Entry("LeftHandPinkyTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                   // 145, id 123
    Entry("LeftHandExtraFingerTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),             // 146, id 124
    Entry("RightHandThumbTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                  // 147, id 125
    Entry("RightHandIndexTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                  // 148, id 126
    Entry("RightHandMiddleTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                 // 149, id 127
    Entry("RightHandRingTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                   // 150, id 128
    Entry("RightHandPinkyTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                  // 151, id 129
    Entry("RightHandExtraFingerTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),            // 152, id 130
    Entry("LeftFootThumbTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                   // 153, id 131
    Entry("LeftFootIndexTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                   // 154, id 132
    Entry("LeftFootMiddleTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                  // 155, id 133
    Entry("LeftFootRingTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                    // 156, id 134
    Entry("LeftFootPinkyTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                   // 157, id 135
    Entry("LeftFootExtraFingerTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),             // 158, id 136
    Entry("RightFootThumbTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                  // 159, id 137
    Entry("RightFootIndexTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                  // 160, id 138
    Entry("RightFootMiddleTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                 // 161, id 139
    Entry("RightFootRingTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                   // 162, id 140
    Entry("RightFootPinkyTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),                  // 163, id 141
    Entry("RightFootExtraFingerTip", -1, 0, 3, 0.0f, 1000.0f, 0, 1, 0, 0.5f),            // 164, id 142
    Entry("FingerSolving", -1, 1, 0, 0.0f, 0.0f, 0, 0, 1, 0.0f),                         // 165, id 104
    Entry("HandContactType", -1, 0, 5, 0.0f, 4.0f, 0, 1, 0, 0.0f),                       // 166, id 45
    Entry("HandFingerContact", -1, 1, 0, 0.0f, 0.0f, 0, 0, 0, 0.0f),                     // 167, id 46
    Entry("HandFingerContactMode", -1, 0, 5, 0.0f, 3.0f, 0, 0, 0, 1.0f),                 // 168, id 47
    Entry("ParamHandFingerContactRollStiffness", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),   // 169, id 114
    Entry("FootContactType", -1, 0, 5, 0.0f, 4.0f, 0, 1, 0, 0.0f),                       // 170, id 48
    Entry("FootFingerContact", -1, 1, 0, 0.0f, 0.0f, 0, 0, 0, 0.0f),                     // 171, id 49
    Entry("FootFingerContactMode", -1, 0, 5, 0.0f, 3.0f, 0, 0, 0, 1.0f),                 // 172, id 50
    Entry("ParamFootFingerContactRollStiffness", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),   // 173, id 115
    Entry("ContactBehaviour", -1, 0, 5, 0.0f, 3.0f, 0, 1, 0, 0.0f),                      // 174
    Entry("WriteReference", -1, 1, 0, 0.0f, 0.0f, 0, 0, 0, 0.0f),                        // 175
    Entry("SyncMode", -1, 1, 0, 0.0f, 0.0f, 0, 0, 1, 0.0f),                              // 176
    Entry("LeftLegMaxExtensionAngle", -1, 0, 4, 0.0f, 180.0f, 0, 0, 0, 180.0f),          // 177, id 144
    Entry("RightLegMaxExtensionAngle", -1, 0, 4, 0.0f, 180.0f, 0, 0, 0, 180.0f),         // 178, id 145
    Entry("LeftArmMaxExtensionAngle", -1, 0, 4, 0.0f, 180.0f, 0, 0, 0, 180.0f),          // 179, id 146
    Entry("RightArmMaxExtensionAngle", -1, 0, 4, 0.0f, 180.0f, 0, 0, 0, 180.0f),         // 180, id 147
    Entry("ExtraCollarRatio", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                      // 181, id 148
    Entry("CollarStiffnessX", -1, 0, 6, -1.0f, 1.0f, 0, 0, 1, 0.0f),                     // 182, id 149
    Entry("CollarStiffnessY", -1, 0, 6, -1.0f, 1.0f, 0, 0, 1, 0.0f),                     // 183, id 150
    Entry("CollarStiffnessZ", -1, 0, 6, -1.0f, 1.0f, 0, 0, 1, 0.0f),                     // 184, id 151
    Entry("ReachActorLeftShoulder", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                // 185, id 152
    Entry("ReachActorRightShoulder", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),               // 186, id 153
    Entry("FingerPropagation", -1, 1, 0, 0.0f, 0.0f, 0, 0, 0, 0.0f),                     // 187, id 154
    Entry("RealisticLeftKneeSolving", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),              // 188, id 155
    Entry("RealisticRightKneeSolving", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),             // 189, id 156
    Entry("StretchStartArmsAndLegs", -1, 0, 0, 0.0f, 1.0f, 0, 0, 0, 0.9f),               // 190, id 157
    Entry("StretchStopArmsAndLegs", -1, 0, 0, 1.0f, 2.0f, 0, 0, 0, 1.1f),                // 191, id 158
    Entry("SnSScaleArmsAndLegs", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                   // 192, id 159
    Entry("SnSReachLeftWrist", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                     // 193, id 160
    Entry("SnSReachRightWrist", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                    // 194, id 161
    Entry("SnSReachLeftAnkle", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                     // 195, id 162
    Entry("SnSReachRightAnkle", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                    // 196, id 163
    Entry("SnSScaleSpine", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                         // 197, id 164
    Entry("SnSScaleSpineChildren", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                 // 198, id 165
    Entry("SnSSpineFreedom", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.1f),                       // 199, id 166
    Entry("SnSReachChestEnd", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                      // 200, id 167
    Entry("SnSScaleNeck", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                          // 201, id 168
    Entry("SnSNeckFreedom", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.1f),                        // 202, id 169
    Entry("SnSReachHead", -1, 0, 1, 0.0f, 1.0f, 0, 0, 0, 0.0f),                          // 203, id 170
    Entry("LeftUpLegRollEx", -1, 0, 0, 0.0f, 2.0f, 0, 0, 0, 0.0f),                       // 204, id 171
    Entry("LeftLegRollEx", -1, 0, 0, 0.0f, 2.0f, 0, 0, 0, 0.0f),                         // 205, id 172
    Entry("RightUpLegRollEx", -1, 0, 0, 0.0f, 2.0f, 0, 0, 0, 0.0f),                      // 206, id 173
    Entry("RightLegRollEx", -1, 0, 0, 0.0f, 2.0f, 0, 0, 0, 0.0f),                        // 207, id 174
    Entry("LeftArmRollEx", -1, 0, 0, 0.0f, 2.0f, 0, 0, 0, 0.0f),                         // 208, id 175
    Entry("LeftForeArmRollEx", -1, 0, 0, 0.0f, 2.0f, 0, 0, 0, 0.0f),                     // 209, id 176
    Entry("RightArmRollEx", -1, 0, 0, 0.0f, 2.0f, 0, 0, 0, 0.0f),                        // 210, id 177
    Entry("RightForeArmRollEx", -1, 0, 0, 0.0f, 2.0f, 0, 0, 0, 0.0f),                    // 211, id 178
};
// clang-format on

// Public id -> entry number.
// clang-format off
const std::uint8_t kVLMPropertyPublicEntries[VLM_PROPERTY_PUBLIC_COUNT] = {
      2,  //   0 ForceActorSpace
      3,  //   1 ScaleCompensation
      7,  //   2 MassCenterCompensation
      5,  //   3 AnkleHeightCompensation
      6,  //   4 AnkleProximityCompensation
      4,  //   5 HipsHeightCompensation
     13,  //   6 ReachActorLeftAnkle
     14,  //   7 ReachActorRightAnkle
     17,  //   8 ReachActorChest
     19,  //   9 ReachActorLeftWrist
     20,  //  10 ReachActorRightWrist
     15,  //  11 ReachActorLeftKnee
     16,  //  12 ReachActorRightKnee
     18,  //  13 ReachActorHead
     21,  //  14 ReachActorLeftElbow
     22,  //  15 ReachActorRightElbow
     31,  //  16 ReachActorLeftAnkleRotationRotation
     32,  //  17 ReachActorRightAnkleRotation
     33,  //  18 ReachActorHeadRotation
     34,  //  19 ReachActorLeftWristRotation
     35,  //  20 ReachActorRightWristRotation
     23,  //  21 ReachActorLeftFingerBase
     24,  //  22 ReachActorRightFingerBase
     25,  //  23 ReachActorLeftToesBase
     26,  //  24 ReachActorRightToesBase
     27,  //  25 ReachActorLeftFingerBaseRotation
     28,  //  26 ReachActorRightFingerBaseRotation
     29,  //  27 ReachActorLeftToesBaseRotation
     30,  //  28 ReachActorRightToesBaseRotation
     36,  //  29 ReachActorChestRotation
     37,  //  30 ReachActorLowerChestRotation
     44,  //  31 FloorContact
     45,  //  32 FootBottomToAnkle
     46,  //  33 FootBackToAnkle
     47,  //  34 FootMiddleToAnkle
     48,  //  35 FootFrontToMiddle
     49,  //  36 FootInToAnkle
     50,  //  37 FootOutToAnkle
     55,  //  38 HandFloorContact
     56,  //  39 HandBottomToWrist
     57,  //  40 HandBackToWrist
     58,  //  41 HandMiddleToWrist
     59,  //  42 HandFrontToMiddle
     60,  //  43 HandInToWrist
     61,  //  44 HandOutToWrist
    166,  //  45 HandContactType
    167,  //  46 HandFingerContact
    168,  //  47 HandFingerContactMode
    170,  //  48 FootContactType
    171,  //  49 FootFingerContact
    172,  //  50 FootFingerContactMode
     67,  //  51 LeftUpLegRoll
     68,  //  52 LeftLegRoll
     69,  //  53 RightUpLegRoll
     70,  //  54 RightLegRoll
     71,  //  55 LeftArmRoll
     72,  //  56 LeftForeArmRoll
     73,  //  57 RightArmRoll
     74,  //  58 RightForeArmRoll
    125,  //  59 Mirror
    128,  //  60 LeftKneeKillPitch
    129,  //  61 RightKneeKillPitch
    130,  //  62 LeftElbowKillPitch
    131,  //  63 RightElbowKillPitch
     90,  //  64 CtrlPullLeftFoot
     93,  //  65 CtrlPullRightFoot
     96,  //  66 CtrlPullLeftHand
     99,  //  67 CtrlPullRightHand
    103,  //  68 CtrlPullHead
     89,  //  69 CtrlPullLeftToeBase
     91,  //  70 CtrlPullLeftKnee
     92,  //  71 CtrlPullRightToeBase
     94,  //  72 CtrlPullRightKnee
     95,  //  73 CtrlPullLeftFingerBase
     97,  //  74 CtrlPullLeftElbow
     98,  //  75 CtrlPullRightFingerBase
    100,  //  76 CtrlPullRightElbow
    101,  //  77 CtrlChestPullLeftHand
    102,  //  78 CtrlChestPullRightHand
    104,  //  79 CtrlResistHipsPosition
    105,  //  80 CtrlEnforceGravity
    106,  //  81 CtrlResistHipsOrientation
    107,  //  82 CtrlResistChestPosition
    108,  //  83 CtrlResistChestOrientation
    109,  //  84 CtrlResistLeftCollar
    110,  //  85 CtrlResistRightCollar
    111,  //  86 CtrlResistLeftKnee
    114,  //  87 CtrlResistRightKnee
    117,  //  88 CtrlResistLeftElbow
    120,  //  89 CtrlResistRightElbow
    123,  //  90 ParamCtrlSpineStiffness
     38,  //  91 HipsTOffsetX
     39,  //  92 HipsTOffsetY
     40,  //  93 HipsTOffsetZ
     41,  //  94 ChestTOffsetX
     42,  //  95 ChestTOffsetY
     43,  //  96 ChestTOffsetZ
     52,  //  97 AutomaticToes
     53,  //  98 FloorPivot
      1,  //  99 Posture
     63,  // 100 AutomaticFingers
     64,  // 101 HandFloorPivot
    124,  // 102 ParamCtrlNeckStiffness
    132,  // 103 HipsTranslationMode
    165,  // 104 FingerSolving
     54,  // 105 ParamFootContactStiffness
    112,  // 106 CtrlResistMaximumExtensionLeftKnee
    115,  // 107 CtrlResistMaximumExtensionRightKnee
    118,  // 108 CtrlResistMaximumExtensionLeftElbow
    121,  // 109 CtrlResistMaximumExtensionRightElbow
    113,  // 110 CtrlResistCompressionFactorLeftKnee
    116,  // 111 CtrlResistCompressionFactorRightKnee
    119,  // 112 CtrlResistCompressionFactorLeftElbow
    122,  // 113 CtrlResistCompressionFactorRightElbow
    169,  // 114 ParamHandFingerContactRollStiffness
    173,  // 115 ParamFootFingerContactRollStiffness
     65,  // 116 ParamHandContactStiffness
     66,  // 117 RollExtractionMode
      0,  // 118 PullIterationCount
    141,  // 119 LeftHandThumbTip
    142,  // 120 LeftHandIndexTip
    143,  // 121 LeftHandMiddleTip
    144,  // 122 LeftHandRingTip
    145,  // 123 LeftHandPinkyTip
    146,  // 124 LeftHandExtraFingerTip
    147,  // 125 RightHandThumbTip
    148,  // 126 RightHandIndexTip
    149,  // 127 RightHandMiddleTip
    150,  // 128 RightHandRingTip
    151,  // 129 RightHandPinkyTip
    152,  // 130 RightHandExtraFingerTip
    153,  // 131 LeftFootThumbTip
    154,  // 132 LeftFootIndexTip
    155,  // 133 LeftFootMiddleTip
    156,  // 134 LeftFootRingTip
    157,  // 135 LeftFootPinkyTip
    158,  // 136 LeftFootExtraFingerTip
    159,  // 137 RightFootThumbTip
    160,  // 138 RightFootIndexTip
    161,  // 139 RightFootMiddleTip
    162,  // 140 RightFootRingTip
    163,  // 141 RightFootPinkyTip
    164,  // 142 RightFootExtraFingerTip
    127,  // 143 ShoulderCorrection
    177,  // 144 LeftLegMaxExtensionAngle
    178,  // 145 RightLegMaxExtensionAngle
    179,  // 146 LeftArmMaxExtensionAngle
    180,  // 147 RightArmMaxExtensionAngle
    181,  // 148 ExtraCollarRatio
    182,  // 149 CollarStiffnessX
    183,  // 150 CollarStiffnessY
    184,  // 151 CollarStiffnessZ
    185,  // 152 ReachActorLeftShoulder
    186,  // 153 ReachActorRightShoulder
    187,  // 154 FingerPropagation
    188,  // 155 RealisticLeftKneeSolving
    189,  // 156 RealisticRightKneeSolving
    190,  // 157 StretchStartArmsAndLegs
    191,  // 158 StretchStopArmsAndLegs
    192,  // 159 SnSScaleArmsAndLegs
    193,  // 160 SnSReachLeftWrist
    194,  // 161 SnSReachRightWrist
    195,  // 162 SnSReachLeftAnkle
    196,  // 163 SnSReachRightAnkle
    197,  // 164 SnSScaleSpine
    198,  // 165 SnSScaleSpineChildren
    199,  // 166 SnSSpineFreedom
    200,  // 167 SnSReachChestEnd
    201,  // 168 SnSScaleNeck
    202,  // 169 SnSNeckFreedom
    203,  // 170 SnSReachHead
    204,  // 171 LeftUpLegRollEx
    205,  // 172 LeftLegRollEx
    206,  // 173 RightUpLegRollEx
    207,  // 174 RightLegRollEx
    208,  // 175 LeftArmRollEx
    209,  // 176 LeftForeArmRollEx
    210,  // 177 RightArmRollEx
    211,  // 178 RightForeArmRollEx
};
// clang-format on

const VLMPropertyInfo* VLMPropertyTable() { return kVLMPropertyEntries; }
