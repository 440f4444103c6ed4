#include "rig/vlm_names.h"

#include "rig/vlm_frame.h"
#include "rig/vlm_tree_rules.h"

#include <cstring>

namespace {

// clang-format off
const char* const kNodeNames[VLM_NODE_COUNT] = {
    "Reference", "Hips", "LeftUpLeg", "LeftLeg", "LeftFoot", "RightUpLeg", "RightLeg", "RightFoot",
    "Spine", "LeftArm", "LeftForeArm", "LeftHand", "RightArm", "RightForeArm", "RightHand", "Head",
    "LeftToeBase", "RightToeBase", "LeftShoulder", "RightShoulder", "Neck", "LeftFingerBase", "RightFingerBase",
    "Spine1", "Spine2", "Spine3", "Spine4", "Spine5", "Spine6", "Spine7", "Spine8", "Spine9",
    "Neck1", "Neck2", "Neck3", "Neck4", "Neck5", "Neck6", "Neck7", "Neck8", "Neck9",
    "LeftUpLegRoll", "LeftLegRoll", "RightUpLegRoll", "RightLegRoll",
    "LeftArmRoll", "LeftForeArmRoll", "RightArmRoll", "RightForeArmRoll",
    "HipsTranslation",
    "LeftHandThumb1", "LeftHandThumb2", "LeftHandThumb3", "LeftHandThumb4",
    "LeftHandIndex1", "LeftHandIndex2", "LeftHandIndex3", "LeftHandIndex4",
    "LeftHandMiddle1", "LeftHandMiddle2", "LeftHandMiddle3", "LeftHandMiddle4",
    "LeftHandRing1", "LeftHandRing2", "LeftHandRing3", "LeftHandRing4",
    "LeftHandPinky1", "LeftHandPinky2", "LeftHandPinky3", "LeftHandPinky4",
    "LeftHandExtraFinger1", "LeftHandExtraFinger2", "LeftHandExtraFinger3", "LeftHandExtraFinger4",
    "RightHandThumb1", "RightHandThumb2", "RightHandThumb3", "RightHandThumb4",
    "RightHandIndex1", "RightHandIndex2", "RightHandIndex3", "RightHandIndex4",
    "RightHandMiddle1", "RightHandMiddle2", "RightHandMiddle3", "RightHandMiddle4",
    "RightHandRing1", "RightHandRing2", "RightHandRing3", "RightHandRing4",
    "RightHandPinky1", "RightHandPinky2", "RightHandPinky3", "RightHandPinky4",
    "RightHandExtraFinger1", "RightHandExtraFinger2", "RightHandExtraFinger3", "RightHandExtraFinger4",
    "LeftFootThumb1", "LeftFootThumb2", "LeftFootThumb3", "LeftFootThumb4",
    "LeftFootIndex1", "LeftFootIndex2", "LeftFootIndex3", "LeftFootIndex4",
    "LeftFootMiddle1", "LeftFootMiddle2", "LeftFootMiddle3", "LeftFootMiddle4",
    "LeftFootRing1", "LeftFootRing2", "LeftFootRing3", "LeftFootRing4",
    "LeftFootPinky1", "LeftFootPinky2", "LeftFootPinky3", "LeftFootPinky4",
    "LeftFootExtraFinger1", "LeftFootExtraFinger2", "LeftFootExtraFinger3", "LeftFootExtraFinger4",
    "RightFootThumb1", "RightFootThumb2", "RightFootThumb3", "RightFootThumb4",
    "RightFootIndex1", "RightFootIndex2", "RightFootIndex3", "RightFootIndex4",
    "RightFootMiddle1", "RightFootMiddle2", "RightFootMiddle3", "RightFootMiddle4",
    "RightFootRing1", "RightFootRing2", "RightFootRing3", "RightFootRing4",
    "RightFootPinky1", "RightFootPinky2", "RightFootPinky3", "RightFootPinky4",
    "RightFootExtraFinger1", "RightFootExtraFinger2", "RightFootExtraFinger3", "RightFootExtraFinger4",
    "LeftInHandThumb", "LeftInHandIndex", "LeftInHandMiddle", "LeftInHandRing", "LeftInHandPinky",
    "LeftInHandExtraFinger",
    "RightInHandThumb", "RightInHandIndex", "RightInHandMiddle", "RightInHandRing", "RightInHandPinky",
    "RightInHandExtraFinger",
    "LeftInFootThumb", "LeftInFootIndex", "LeftInFootMiddle", "LeftInFootRing", "LeftInFootPinky",
    "LeftInFootExtraFinger",
    "RightInFootThumb", "RightInFootIndex", "RightInFootMiddle", "RightInFootRing", "RightInFootPinky",
    "RightInFootExtraFinger",
    "LeftShoulderExtra", "RightShoulderExtra",
};
// clang-format on

// clang-format off
const char* const kEffectorNames[VLM_EFFECTOR_COUNT] = {
    "HipsEffector", "LeftAnkleEffector", "RightAnkleEffector", "LeftWristEffector", "RightWristEffector",
    "LeftKneeEffector", "RightKneeEffector", "LeftElbowEffector", "RightElbowEffector",
    "ChestOriginEffector", "ChestEndEffector", "LeftFootEffector", "RightFootEffector",
    "LeftShoulderEffector", "RightShoulderEffector", "HeadEffector", "LeftHipEffector", "RightHipEffector",
    "LeftHandEffector", "RightHandEffector",
    "LeftHandThumbEffector", "LeftHandIndexEffector", "LeftHandMiddleEffector", "LeftHandRingEffector",
    "LeftHandPinkyEffector", "LeftHandExtraFingerEffector",
    "RightHandThumbEffector", "RightHandIndexEffector", "RightHandMiddleEffector", "RightHandRingEffector",
    "RightHandPinkyEffector", "RightHandExtraFingerEffector",
    "LeftFootThumbEffector", "LeftFootIndexEffector", "LeftFootMiddleEffector", "LeftFootRingEffector",
    "LeftFootPinkyEffector", "LeftFootExtraFingerEffector",
    "RightFootThumbEffector", "RightFootIndexEffector", "RightFootMiddleEffector", "RightFootRingEffector",
    "RightFootPinkyEffector", "RightFootExtraFingerEffector",
};
// clang-format on

// clang-format off
const VLMRollSegmentRow kRollSegments[8] = {
    {2, 67, 204, 3}, {3, 68, 205, 4}, {5, 69, 206, 6}, {6, 70, 207, 7},
    {9, 71, 208, 10}, {10, 72, 209, 11}, {12, 73, 210, 13}, {13, 74, 211, 14},
};
// clang-format on

constexpr VLMEffectorInfoRow Digit(int d, int paired, int kind) { return {d, paired, kind}; }

// clang-format off
const VLMEffectorInfoRow kEffectorInfo[VLM_EFFECTOR_COUNT] = {
    {1, -1, VLM_EFFECTOR_HIPS},
    {4, 2, VLM_EFFECTOR_BODY},   {7, -1, VLM_EFFECTOR_BODY},
    {11, 4, VLM_EFFECTOR_BODY},  {14, -1, VLM_EFFECTOR_BODY},
    {3, 6, VLM_EFFECTOR_BODY},   {6, -1, VLM_EFFECTOR_BODY},
    {10, 8, VLM_EFFECTOR_BODY},  {13, -1, VLM_EFFECTOR_BODY},
    {8, -1, VLM_EFFECTOR_BODY},  {8, -1, VLM_EFFECTOR_CHEST_END},
    {16, 12, VLM_EFFECTOR_BODY}, {17, -1, VLM_EFFECTOR_BODY},
    {9, 14, VLM_EFFECTOR_BODY},  {12, -1, VLM_EFFECTOR_BODY},
    {15, -1, VLM_EFFECTOR_BODY},
    {2, 17, VLM_EFFECTOR_BODY},  {5, -1, VLM_EFFECTOR_BODY},
    {21, 19, VLM_EFFECTOR_BODY}, {22, -1, VLM_EFFECTOR_BODY},
    Digit(0, 26, 3), Digit(1, 27, 3), Digit(2, 28, 3), Digit(3, 29, 3), Digit(4, 30, 3), Digit(5, 31, 3),
    Digit(0, -1, 4), Digit(1, -1, 4), Digit(2, -1, 4), Digit(3, -1, 4), Digit(4, -1, 4), Digit(5, -1, 4),
    Digit(0, 38, 5), Digit(1, 39, 5), Digit(2, 40, 5), Digit(3, 41, 5), Digit(4, 42, 5), Digit(5, 43, 5),
    Digit(0, -1, 6), Digit(1, -1, 6), Digit(2, -1, 6), Digit(3, -1, 6), Digit(4, -1, 6), Digit(5, -1, 6),
};
// clang-format on

int findName(const char* const* table, int count, const char* name)
{
    if (!name)
        return -1;
    for (int id = 0; id < count; ++id)
        if (std::strcmp(table[id], name) == 0)
            return id;
    return -1;
}

// --- Compact numbering -------------------------------------------------------

constexpr int kUnderRoot = -2;

// Records, for every present node, the node the tree rules hang it under.
struct ParentSink {
    const bool* present;
    int parent[VLM_NODE_COUNT];

    void linkUnderRoot(int child, bool) { parent[child] = kUnderRoot; }
    void link(int child, int parentId)
    {
        if (present[child])
            parent[child] = parentId;
    }
    void rollFlag(int) { }
    void chest(int) { }
    void neck(int) { }
    void digitJoint(int, int, int) { }
};

// Numbers candidate nodes in the rig's fixed order; nodes that already have an
// index are left alone, so the same order can run over several sets in turn.
class RigOrderNumbering {
public:
    RigOrderNumbering(std::int32_t* index, const bool* candidate, std::int32_t& next)
        : index_(index), candidate_(candidate), next_(next)
    {
    }

    void run()
    {
        number(VLM_NODE_REFERENCE);
        number(VLM_NODE_HIPS);
        number(VLM_NODE_HIPS_TRANSLATION);
        number(VLM_NODE_LEFT_UP_LEG);
        number(VLM_NODE_RIGHT_UP_LEG);
        number(VLM_NODE_SPINE);
        leg(vlm::kLimbNodes[0]);
        digits(vlm::kExtremityNodes[2]);
        leg(vlm::kLimbNodes[1]);
        digits(vlm::kExtremityNodes[3]);
        for (int k = 0; k < VLM_SPINE_CHAIN_LENGTH; ++k)
            number(VLM_NODE_SPINE1 + k);

        // The chest's children come next, one slot each: both shoulders (or
        // arms) and the first node of the neck.
        bool shoulderSlot[2];
        for (int side = 0; side < 2; ++side) {
            shoulderSlot[side] = number(vlm::kShoulder[side]);
            if (!shoulderSlot[side])
                number(vlm::kLimbNodes[2 + side].upper);
        }
        const int neckSlot[] = {VLM_NODE_NECK, 32, 33, 34, 35, 36, 37, 38, 39, 40, VLM_NODE_HEAD};
        for (int id : neckSlot)
            if (number(id))
                break;

        for (int side = 0; side < 2; ++side) {
            if (shoulderSlot[side])
                number(vlm::kShoulderExtra[side]);
            const vlm::LimbNodes& arm = vlm::kLimbNodes[2 + side];
            number(arm.upper);
            number(arm.upperRoll);
            number(arm.middle);
            number(arm.middleRoll);
            number(arm.end);
            number(arm.tip);
            digits(vlm::kExtremityNodes[side]);
        }
        for (int k = 0; k < VLM_SPINE_CHAIN_LENGTH; ++k)
            number(VLM_NODE_NECK1 + k);
        number(VLM_NODE_HEAD);
    }

private:
    // Gives id the next index when it is a candidate without one; true then.
    bool number(int id)
    {
        if (!candidate_[id] || index_[id] >= 0)
            return false;
        index_[id] = next_++;
        return true;
    }

    void leg(const vlm::LimbNodes& leg)
    {
        number(leg.upperRoll);
        number(leg.middle);
        number(leg.middleRoll);
        number(leg.end);
        number(leg.tip);
    }

    // First the node each digit hangs from its hand or foot by (its root, or
    // its first joint), all digits in a row, so that they stay siblings; then
    // the rest of every chain.
    void digits(const vlm::ExtremityNodes& x)
    {
        for (int d = 0; d < VLM_DIGIT_COUNT; ++d) {
            if (number(x.firstRoot + d))
                continue;
            for (int j = 0; j < VLM_DIGIT_JOINT_COUNT; ++j)
                if (candidate_[vlm::DigitJoint(x, d, j)]) {
                    number(vlm::DigitJoint(x, d, j));
                    break;
                }
        }
        for (int d = 0; d < VLM_DIGIT_COUNT; ++d)
            for (int j = 0; j < VLM_DIGIT_JOINT_COUNT; ++j)
                number(vlm::DigitJoint(x, d, j));
    }

    std::int32_t* index_;
    const bool* candidate_;
    std::int32_t& next_;
};

}  // namespace

int VLMGetNodeCount() { return VLM_NODE_COUNT; }
const char* const* VLMGetNodeNameTable() { return kNodeNames; }
const VLMRollSegmentRow* VLMRollSegmentTable() { return kRollSegments; }
const VLMEffectorInfoRow* VLMEffectorInfoTable() { return kEffectorInfo; }

const char* VLMGetNodeName(int id)
{
    VLMScopedFPGuard guard;
    return static_cast<unsigned>(id) < unsigned(VLM_NODE_COUNT) ? kNodeNames[id] : nullptr;
}

int VLMGetNodeIdFromName(const char* name)
{
    VLMScopedFPGuard guard;
    return findName(kNodeNames, VLM_NODE_COUNT, name);
}

const char* VLMGetEffectorNameInternal(int id)
{
    return static_cast<unsigned>(id) < unsigned(VLM_EFFECTOR_COUNT) ? kEffectorNames[id] : nullptr;
}

const char* VLMGetEffectorName(int id)
{
    VLMScopedFPGuard guard;
    return VLMGetEffectorNameInternal(id);
}

int VLMGetEffectorIdFromName(const char* name)
{
    VLMScopedFPGuard guard;
    return findName(kEffectorNames, VLM_EFFECTOR_COUNT, name);
}

void VLMAssignCompactIndices(std::int32_t* nodeMap)
{
    bool present[VLM_NODE_COUNT];
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        present[id] = nodeMap[id] != -1;

    // Where does the tree hang each present node?
    ParentSink parents{present, {}};
    for (int& p : parents.parent)
        p = VLM_NODE_NONE;
    vlm::ApplyTreeRules([&](int id) { return present[id]; }, parents);
    parents.parent[VLM_NODE_REFERENCE] = kUnderRoot;

    // The top of each present node's chain: kUnderRoot when the chain reaches
    // the character root, else the node that hangs under nothing (the tree
    // rules link no chain in a circle).
    int top[VLM_NODE_COUNT];
    bool known[VLM_NODE_COUNT] = {};
    bool anyBroken = false;
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        if (!present[id])
            continue;
        int chain[VLM_NODE_COUNT];
        int length = 0;
        int at = id;
        int answer;
        while (true) {
            if (known[at]) {
                answer = top[at];
                break;
            }
            chain[length++] = at;
            const int up = parents.parent[at];
            if (up == kUnderRoot) {
                answer = kUnderRoot;
                break;
            }
            if (up == VLM_NODE_NONE || !present[up]) {
                answer = at;
                break;
            }
            at = up;
        }
        for (int i = 0; i < length; ++i) {
            top[chain[i]] = answer;
            known[chain[i]] = true;
        }
        anyBroken |= answer != kUnderRoot;
    }

    std::int32_t index[VLM_NODE_COUNT];
    for (std::int32_t& i : index)
        i = -1;
    std::int32_t next = 0;
    bool candidate[VLM_NODE_COUNT];
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        candidate[id] = present[id] && top[id] == kUnderRoot;
    RigOrderNumbering(index, candidate, next).run();

    if (anyBroken) {
        // A broken chain leaves pieces of tree that hang under nothing. Each
        // piece is numbered after the tree, as a block in the same order, so
        // that it never splits a run of siblings; the pieces follow one
        // another in the order of their top nodes.
        std::int32_t rank[VLM_NODE_COUNT];
        for (std::int32_t& r : rank)
            r = -1;
        std::int32_t ranked = 0;
        for (int id = 0; id < VLM_NODE_COUNT; ++id)
            candidate[id] = present[id] && top[id] == id;
        RigOrderNumbering(rank, candidate, ranked).run();
        int pieces[VLM_NODE_COUNT];
        for (int id = 0; id < VLM_NODE_COUNT; ++id)
            if (rank[id] >= 0)
                pieces[rank[id]] = id;
        for (std::int32_t r = 0; r < ranked; ++r) {
            for (int id = 0; id < VLM_NODE_COUNT; ++id)
                candidate[id] = present[id] && top[id] == pieces[r];
            RigOrderNumbering(index, candidate, next).run();
        }
        // A shoulder extra without its shoulder has no place in that order.
        for (int id = 0; id < VLM_NODE_COUNT; ++id)
            if (present[id] && index[id] < 0)
                index[id] = next++;
    }

    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        nodeMap[id] = index[id];
}
