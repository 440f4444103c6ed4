// The rules that hang the present nodes of a character into the rig tree.
// They depend on nothing but which nodes are present, so the compact numbering
// (which must know which nodes the tree reaches) and the skeleton build (which
// links the records) run the very same rules through different sinks.
#ifndef VLM_TREE_RULES_H
#define VLM_TREE_RULES_H

#include "rig/vlm_names.h"

namespace vlm {

// Per extremity (0 left hand, 1 right hand, 2 left foot, 3 right foot).
struct ExtremityNodes {
    int end;         // wrist or ankle
    int base;        // finger or toe base
    int firstJoint;  // joint 1 of the thumb
    int firstRoot;   // in-hand or in-foot root of the thumb
};
constexpr ExtremityNodes kExtremityNodes[4] = {
    {VLM_NODE_LEFT_HAND, VLM_NODE_LEFT_FINGER_BASE, VLM_NODE_LEFT_HAND_THUMB1, VLM_NODE_LEFT_IN_HAND_THUMB},
    {VLM_NODE_RIGHT_HAND, VLM_NODE_RIGHT_FINGER_BASE, VLM_NODE_RIGHT_HAND_THUMB1, VLM_NODE_RIGHT_IN_HAND_THUMB},
    {VLM_NODE_LEFT_FOOT, VLM_NODE_LEFT_TOE_BASE, VLM_NODE_LEFT_FOOT_THUMB1, VLM_NODE_LEFT_IN_FOOT_THUMB},
    {VLM_NODE_RIGHT_FOOT, VLM_NODE_RIGHT_TOE_BASE, VLM_NODE_RIGHT_FOOT_THUMB1, VLM_NODE_RIGHT_IN_FOOT_THUMB},
};

constexpr int DigitJoint(const ExtremityNodes& e, int digit, int joint)
{
    return e.firstJoint + VLM_DIGIT_JOINT_COUNT * digit + joint;
}

// A limb segment chain: upper -> (upper roll) -> middle -> (middle roll) -> end -> (tip).
struct LimbNodes {
    int upper, upperRoll, middle, middleRoll, end, tip;
};
// By VLMLimb: 0 left leg, 1 right leg, 2 left arm, 3 right arm.
constexpr LimbNodes kLimbNodes[4] = {
    {VLM_NODE_LEFT_UP_LEG, VLM_NODE_LEFT_UP_LEG_ROLL, VLM_NODE_LEFT_LEG, VLM_NODE_LEFT_LEG_ROLL, VLM_NODE_LEFT_FOOT,
     VLM_NODE_LEFT_TOE_BASE},
    {VLM_NODE_RIGHT_UP_LEG, VLM_NODE_RIGHT_UP_LEG_ROLL, VLM_NODE_RIGHT_LEG, VLM_NODE_RIGHT_LEG_ROLL,
     VLM_NODE_RIGHT_FOOT, VLM_NODE_RIGHT_TOE_BASE},
    {VLM_NODE_LEFT_ARM, VLM_NODE_LEFT_ARM_ROLL, VLM_NODE_LEFT_FORE_ARM, VLM_NODE_LEFT_FORE_ARM_ROLL, VLM_NODE_LEFT_HAND,
     VLM_NODE_LEFT_FINGER_BASE},
    {VLM_NODE_RIGHT_ARM, VLM_NODE_RIGHT_ARM_ROLL, VLM_NODE_RIGHT_FORE_ARM, VLM_NODE_RIGHT_FORE_ARM_ROLL,
     VLM_NODE_RIGHT_HAND, VLM_NODE_RIGHT_FINGER_BASE},
};
constexpr int LimbIndex(bool leg, bool left) { return (leg ? 0 : 2) + (left ? 0 : 1); }
constexpr int kShoulder[2] = {VLM_NODE_LEFT_SHOULDER, VLM_NODE_RIGHT_SHOULDER};
constexpr int kShoulderExtra[2] = {VLM_NODE_LEFT_SHOULDER_EXTRA, VLM_NODE_RIGHT_SHOULDER_EXTRA};

// Upper -> middle -> end with the roll nodes spliced in where present, then
// the tip under the end when present.
template <class Present, class Sink>
void LinkLimbSegments(const Present& present, Sink& sink, const LimbNodes& limb)
{
    if (present(limb.upperRoll)) {
        sink.rollFlag(limb.upper);
        sink.link(limb.upperRoll, limb.upper);
        sink.link(limb.middle, limb.upperRoll);
    } else {
        sink.link(limb.middle, limb.upper);
    }
    if (present(limb.middleRoll)) {
        sink.rollFlag(limb.middle);
        sink.link(limb.middleRoll, limb.middle);
        sink.link(limb.end, limb.middleRoll);
    } else {
        sink.link(limb.end, limb.middle);
    }
    if (present(limb.tip))
        sink.link(limb.tip, limb.end);
}

// The rig tree over the present nodes, rule by rule. The sink receives
//   linkUnderRoot(child, alsoUnderReference)  an edge to the character root
//   link(child, parent)                       an edge between two node ids
//   rollFlag(node), chest(k), neck(k)         the segment and chain facts
//   digitJoint(extremity, digit, joint)       a joint of a digit's unbroken run
// Edges are emitted as the rules state them; a sink decides what to do with an
// edge whose child or parent is absent.
template <class Present, class Sink>
void ApplyTreeRules(const Present& present, Sink& sink)
{
    // Hips under the root, and under Reference's own record.
    sink.linkUnderRoot(VLM_NODE_HIPS, true);
    sink.link(VLM_NODE_LEFT_UP_LEG, VLM_NODE_HIPS);
    sink.link(VLM_NODE_RIGHT_UP_LEG, VLM_NODE_HIPS);
    sink.link(VLM_NODE_SPINE, VLM_NODE_HIPS);
    LinkLimbSegments(present, sink, kLimbNodes[0]);
    LinkLimbSegments(present, sink, kLimbNodes[1]);

    // The spine chain runs while it is unbroken; its last node is the chest.
    int chest = VLM_NODE_SPINE;
    for (int k = 0; k < VLM_SPINE_CHAIN_LENGTH && present(VLM_NODE_SPINE1 + k); ++k) {
        sink.link(VLM_NODE_SPINE1 + k, chest);
        chest = VLM_NODE_SPINE1 + k;
        sink.chest(k);
    }

    for (int side = 0; side < 2; ++side) {
        const LimbNodes& arm = kLimbNodes[2 + side];
        if (present(kShoulder[side])) {
            sink.link(kShoulder[side], chest);
            if (present(kShoulderExtra[side])) {
                sink.link(kShoulderExtra[side], kShoulder[side]);
                sink.link(arm.upper, kShoulderExtra[side]);
            } else {
                sink.link(arm.upper, kShoulder[side]);
            }
        } else {
            sink.link(arm.upper, chest);
        }
        LinkLimbSegments(present, sink, arm);
    }

    // Digits: each runs from joint 1 until its first absent joint.
    for (int e = 0; e < 4; ++e) {
        const ExtremityNodes& x = kExtremityNodes[e];
        for (int d = 0; d < VLM_DIGIT_COUNT; ++d) {
            for (int j = 0; j < VLM_DIGIT_JOINT_COUNT && present(DigitJoint(x, d, j)); ++j) {
                sink.digitJoint(e, d, j);
                int parent;
                if (j > 0)
                    parent = DigitJoint(x, d, j - 1);
                else if (present(x.firstRoot + d))
                    parent = x.firstRoot + d;
                else if (d > 0 && present(x.base))
                    parent = x.base;
                else
                    parent = x.end;
                sink.link(DigitJoint(x, d, j), parent);
            }
        }
    }
    // Digit roots: the thumb's under the end node, the others under the base.
    for (int e = 0; e < 4; ++e) {
        const ExtremityNodes& x = kExtremityNodes[e];
        if (present(x.firstRoot))
            sink.link(x.firstRoot, x.end);
        for (int d = 1; d < VLM_DIGIT_COUNT; ++d)
            if (present(x.firstRoot + d))
                sink.link(x.firstRoot + d, present(x.base) ? x.base : x.end);
    }

    // The neck chain needs Neck itself; Head closes whatever came last.
    int last = chest;
    if (present(VLM_NODE_NECK)) {
        sink.link(VLM_NODE_NECK, chest);
        last = VLM_NODE_NECK;
        for (int k = 0; k < VLM_SPINE_CHAIN_LENGTH && present(VLM_NODE_NECK1 + k); ++k) {
            sink.link(VLM_NODE_NECK1 + k, last);
            last = VLM_NODE_NECK1 + k;
            sink.neck(k);
        }
    }
    sink.link(VLM_NODE_HEAD, last);

    if (present(VLM_NODE_HIPS_TRANSLATION))
        sink.linkUnderRoot(VLM_NODE_HIPS_TRANSLATION, false);
}

}  // namespace vlm

#endif
