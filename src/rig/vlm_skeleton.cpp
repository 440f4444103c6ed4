// The skeleton build: from the numbered node map to linked node records,
// presence words, limb and extremity blocks, mirror partners and digit words.
#include "rig/vlm_character.h"

#include "rig/vlm_frame.h"
#include "rig/vlm_names.h"
#include "rig/vlm_node_record.h"
#include "rig/vlm_tree_rules.h"

#include <cstring>

namespace {

// Left node -> right twin.
struct MirrorRange {
    int left, right, count;
};
constexpr MirrorRange kMirrorPairs[] = {
    {2, 5, 1},   {41, 43, 1}, {3, 6, 1},     {42, 44, 1},   {4, 7, 1},     {16, 17, 1},
    {21, 22, 1}, {18, 19, 1}, {170, 171, 1}, {9, 12, 1},    {45, 47, 1},   {10, 13, 1},
    {46, 48, 1}, {11, 14, 1}, {50, 74, 24},  {98, 122, 24}, {146, 152, 6}, {158, 164, 6},
};

struct LimbConstants {
    std::int32_t effectors[4];   // upper, middle, end, tip
    std::int32_t properties[4];  // kill pitch, resist max extension, max extension angle, reach
    std::int32_t extremity;
    std::uint32_t realisticKnee;
};
constexpr LimbConstants kLimbConstants[4] = {
    {{16, 5, 1, 11}, {128, 112, 177, 195}, 2, 188},
    {{17, 6, 2, 12}, {129, 115, 178, 196}, 3, 189},
    {{13, 7, 3, 18}, {130, 118, 179, 193}, 0, 0},
    {{14, 8, 4, 19}, {131, 121, 180, 194}, 1, 0},
};

struct ExtremityConstants {
    std::int32_t endEffector;
    std::int32_t baseEffector;
    std::int32_t firstDigitEffector;
    std::uint32_t firstTipProperty;
};
constexpr ExtremityConstants kExtremityConstants[4] = {
    {3, 18, 20, 141},
    {4, 19, 26, 147},
    {1, 11, 32, 153},
    {2, 12, 38, 159},
};

// Property entries of a hand and of a foot; positions 13..18 (the digit tip
// sizes) depend on the side and are filled separately.
constexpr std::uint32_t kHandProperties[22] = {55, 56, 57, 58, 59, 60, 61, 62,  166, 65,  63,
                                               64, 0,  0,  0,  0,  0,  0,  165, 167, 168, 169};
constexpr std::uint32_t kFootProperties[22] = {44, 45, 46, 47, 48, 49, 50, 51,  170, 54,  52,
                                               53, 0,  0,  0,  0,  0,  0,  165, 171, 172, 173};
constexpr int kFirstTipPosition = 12;

// Views of the arrays under construction, addressed by node id.
class Skeleton {
public:
    Skeleton(VLMCharacter* character)
        : header_(VLMCharacterHeaderOf(character)),
          records_(VLMCharacterNodeRecords(character)),
          tpose_(VLMCharacterTPoseEntries(character))
    {
    }

    VLMCharacterHeader& header() { return *header_; }
    std::int32_t index(int id) const { return header_->nodeMap[id]; }
    VLMNodeRecord* record(int id) { return VLMNodeRecordAt(records_, index(id)); }
    VLMNodeRecord* recordAt(std::uint64_t compactIndex)
    {
        return VLMNodeRecordAt(records_, std::int64_t(compactIndex));
    }
    bool present(int id) const { return tpose_[index(id)].presence != 0; }

private:
    VLMCharacterHeader* header_;
    VLMNodeRecord* records_;
    VLMTPoseEntry* tpose_;
};

// Links the records as the tree rules emit the edges. An edge with an absent
// end is dropped: an absent child is not counted among its parent's children,
// and the spare record stays a record without links.
class RecordLinker {
public:
    explicit RecordLinker(Skeleton& skeleton) : s_(skeleton) { }

    void linkUnderRoot(int child, bool alsoUnderReference)
    {
        if (!s_.present(child))
            return;
        VLMNodeRecordLink(s_.record(child), &s_.header().root);
        if (alsoUnderReference && s_.present(VLM_NODE_REFERENCE))
            VLMNodeRecordLink(s_.record(child), s_.record(VLM_NODE_REFERENCE));
    }
    void link(int child, int parent)
    {
        if (s_.present(child) && s_.present(parent))
            VLMNodeRecordLink(s_.record(child), s_.record(parent));
    }
    void rollFlag(int node)
    {
        if (s_.present(node))
            s_.record(node)->rollFlag = 1;
    }
    void chest(int k) { s_.header().chestIndex = k; }
    void neck(int k) { s_.header().neckIndex = k; }
    void digitJoint(int extremity, int digit, int joint)
    {
        s_.header().extremities[extremity].lastJoint[digit] = joint;
        s_.header().digitWords[extremity] += 1u << (3 * digit);
    }

private:
    Skeleton& s_;
};

void buildExtremity(Skeleton& s, int k)
{
    const vlm::ExtremityNodes& nodes = vlm::kExtremityNodes[k];
    const ExtremityConstants& c = kExtremityConstants[k];
    VLMExtremity& x = s.header().extremities[k];

    std::uint32_t hasDigits = 0;
    for (int i = 0; i < VLM_DIGIT_COUNT * VLM_DIGIT_JOINT_COUNT; ++i)
        if (s.present(nodes.firstJoint + i))
            hasDigits = 1;
    VLMExtremityReset(&x);
    x.hasDigits = hasDigits;

    x.endNode = std::uint64_t(nodes.end);
    x.baseNode = std::uint64_t(nodes.base);
    for (int d = 0; d < VLM_DIGIT_COUNT; ++d)
        for (int j = 0; j < VLM_DIGIT_JOINT_COUNT; ++j)
            x.digitJoints[d][j] = std::uint64_t(vlm::DigitJoint(nodes, d, j));
    x.endEffector = c.endEffector;
    x.baseEffector = c.baseEffector;
    for (int d = 0; d < VLM_DIGIT_COUNT; ++d)
        x.digitEffectors[d] = c.firstDigitEffector + d;
    x.isFoot = k >= 2 ? 1 : 0;
    x.isRight = k & 1;
    x.endNodeId = nodes.end;
    x.baseNodeId = nodes.base;
    x.extremityIndex = std::uint32_t(k);
    std::memcpy(x.properties, x.isFoot ? kFootProperties : kHandProperties, sizeof x.properties);
    for (int d = 0; d < VLM_DIGIT_COUNT; ++d)
        x.properties[kFirstTipPosition + d] = c.firstTipProperty + std::uint32_t(d);
}

void buildLimb(Skeleton& s, int k)
{
    const vlm::LimbNodes& nodes = vlm::kLimbNodes[k];
    const LimbConstants& c = kLimbConstants[k];
    VLMLimb& limb = s.header().limbs[k];

    const VLMNodeRecord* upperParent = s.recordAt(s.record(nodes.upper)->parentIndex);
    const int slotNode[VLM_LIMB_SLOT_COUNT] = {static_cast<std::int32_t>(upperParent->nodeId),
                                               nodes.upper,
                                               nodes.upperRoll,
                                               nodes.middle,
                                               nodes.middleRoll,
                                               nodes.end,
                                               nodes.tip};
    for (int slot = 0; slot < VLM_LIMB_SLOT_COUNT; ++slot)
        limb.slotRecords[slot].nodeId = static_cast<std::uint32_t>(slotNode[slot]);
    limb.slotIndex[VLM_SLOT_PARENT] = static_cast<std::int32_t>(upperParent->ownIndex);
    for (int slot = VLM_SLOT_UPPER; slot < VLM_LIMB_SLOT_COUNT; ++slot)
        limb.slotIndex[slot] = s.index(slotNode[slot]);
    limb.upperSegmentCount = s.present(nodes.upperRoll) ? 2 : 1;
    const std::uint32_t tip = s.present(nodes.tip) ? VLM_INDEX32_NONE : 0;
    for (std::uint32_t& lane : limb.tipMask)
        lane = tip;

    int last = VLM_SLOT_PARENT;
    for (int slot = VLM_SLOT_UPPER; slot < VLM_LIMB_SLOT_COUNT; ++slot) {
        if (!s.present(slotNode[slot]))
            continue;
        VLMNodeRecordLink(&limb.slotRecords[slot], &limb.slotRecords[last]);
        last = slot;
    }

    for (int i = 0; i < 4; ++i) {
        limb.effectors[i] = c.effectors[i];
        limb.properties[i] = c.properties[i];
    }
    limb.jointSlots[0] = VLM_SLOT_UPPER;
    limb.jointSlots[1] = VLM_SLOT_MIDDLE;
    limb.jointSlots[2] = VLM_SLOT_END;
    limb.jointSlots[3] = VLM_SLOT_TIP;
    limb.rollSlots[0] = s.present(nodes.upperRoll) ? VLM_SLOT_UPPER_ROLL : -1;
    limb.rollSlots[1] = s.present(nodes.middleRoll) ? VLM_SLOT_MIDDLE_ROLL : -1;
    limb.rollSlots[2] = -1;
    limb.rollSlots[3] = -1;
    limb.extremityIndex = c.extremity;
    limb.realisticKneeEntry = c.realisticKnee;
}

// Digit word, upper byte and bits 18..20: how many of the non-thumb digits
// have joints, and under which node the first of them hangs.
void finishDigitWord(Skeleton& s, int k)
{
    const vlm::ExtremityNodes& nodes = vlm::kExtremityNodes[k];
    const VLMExtremity& x = s.header().extremities[k];
    std::uint32_t& word = s.header().digitWords[k];
    std::uint32_t withJoints = 0;
    int first = -1;
    for (int d = 1; d < VLM_DIGIT_COUNT; ++d) {
        if (x.lastJoint[d] < 0)
            continue;
        ++withJoints;
        if (first < 0)
            first = d;
    }
    word += withJoints << 18;
    if (first < 0)
        return;
    const VLMNodeRecord* joint = s.record(vlm::DigitJoint(nodes, first, 0));
    if (joint->parentIndex != VLM_INDEX_NONE)
        word += s.recordAt(joint->parentIndex)->nodeId << 24;
}

}  // namespace

void VLMLimbReset(VLMLimb* limb)
{
    std::memset(static_cast<void*>(limb), 0, sizeof *limb);
    for (int slot = 0; slot < VLM_LIMB_SLOT_COUNT; ++slot) {
        VLMNodeRecordInit(&limb->slotRecords[slot]);
        limb->slotRecords[slot].ownIndex = std::uint64_t(slot);
    }
    limb->axis = VLMVector4{0.0f, 0.0f, 0.0f, 1.0f};
    limb->upperSegmentCount = -1;
    for (int i = 0; i < VLM_LIMB_SLOT_COUNT; ++i)
        limb->slotIndex[i] = -1;
    for (int i = 0; i < 4; ++i) {
        limb->effectors[i] = -1;
        limb->jointSlots[i] = -1;
        limb->rollSlots[i] = -1;
        limb->properties[i] = -1;
    }
    limb->extremityIndex = -1;
}

void VLMExtremityReset(VLMExtremity* extremity)
{
    std::memset(static_cast<void*>(extremity), 0, sizeof *extremity);
    extremity->endNode = VLM_INDEX_NONE;
    extremity->baseNode = VLM_INDEX_NONE;
    for (auto& digit : extremity->digitJoints)
        for (std::uint64_t& joint : digit)
            joint = VLM_INDEX_NONE;
    for (std::int32_t& last : extremity->lastJoint)
        last = -1;
    extremity->endNodeId = -1;
    extremity->baseNodeId = -1;
    for (std::uint32_t& entry : extremity->properties)
        entry = VLM_INDEX32_NONE;
}

void VLMBuildSkeleton(VLMCharacter* character, VLMTPoseEntry* tposeEntries, VLMNodeRecord* nodeRecords)
{
    VLMCharacterHeader* header = VLMCharacterHeaderOf(character);
    const auto selfRelative = [](const void* target, const void* descriptor) {
        return std::int64_t(static_cast<const unsigned char*>(target) - static_cast<const unsigned char*>(descriptor));
    };

    // 1. T-pose descriptor and presence words. Entry 0 is the spare.
    header->tpose.indexTableOffset = selfRelative(header->nodeMap, &header->tpose);
    header->tpose.elementOffset = selfRelative(tposeEntries + 1, &header->tpose);
    for (std::uint32_t i = 1; i <= header->nodeCount; ++i)
        tposeEntries[i].presence = VLM_INDEX32_NONE;

    // 2. Node descriptor, node ids, skeleton fields, limbs.
    header->nodes.indexTableOffset = selfRelative(header->nodeMap, &header->nodes);
    header->nodes.elementOffset = selfRelative(nodeRecords + 1, &header->nodes);
    Skeleton s(character);
    header->root.nodeId = VLM_NODE_REFERENCE;
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        if (s.present(id))
            s.record(id)->nodeId = std::uint32_t(id);
    header->chestIndex = -1;
    header->neckIndex = -1;
    for (std::uint32_t& word : header->digitWords)
        word = 0;
    for (VLMLimb& limb : header->limbs)
        VLMLimbReset(&limb);

    // 3. Own indices.
    header->root.ownIndex = std::uint64_t(std::int64_t(s.index(VLM_NODE_REFERENCE)));
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        if (s.present(id))
            s.record(id)->ownIndex = std::uint64_t(std::int64_t(s.index(id)));

    // 4. Mirror partners, on the left nodes.
    for (const MirrorRange& pair : kMirrorPairs)
        for (int i = 0; i < pair.count; ++i)
            if (s.present(pair.left + i))
                s.record(pair.left + i)->mirrorPartner = static_cast<std::uint32_t>(s.record(pair.right + i)->ownIndex);

    // 5. Extremities, before the tree fills their digit runs.
    for (int k = 0; k < 4; ++k)
        buildExtremity(s, k);

    // 6. The tree, the limbs and the digit words.
    VLMLinkNodeTree(character);
}

void VLMLinkNodeTree(VLMCharacter* character)
{
    Skeleton s(character);
    RecordLinker linker(s);
    vlm::ApplyTreeRules([&](int id) { return s.present(id); }, linker);
    for (int k = 0; k < 4; ++k)
        buildLimb(s, k);
    for (int k = 0; k < 4; ++k)
        finishDigitWord(s, k);
}

int VLMEffectorNodeIndex(const VLMCharacter* character, int effectorId)
{
    VLMScopedFPGuard guard;
    if (!character || static_cast<unsigned>(effectorId) >= unsigned(VLM_EFFECTOR_COUNT))
        return -1;
    const VLMEffectorInfoRow& info = VLMEffectorInfoTable()[effectorId];
    const VLMCharacterHeader* header = VLMCharacterHeaderOf(character);
    switch (info.kind) {
    case VLM_EFFECTOR_BODY: return info.index;
    case VLM_EFFECTOR_HIPS: return VLM_NODE_HIPS;
    case VLM_EFFECTOR_CHEST_END: return header->chestIndex < 0 ? VLM_NODE_SPINE : VLM_NODE_SPINE1 + header->chestIndex;
    default: {
        const int k = info.kind - VLM_EFFECTOR_LEFT_HAND_DIGIT;
        const int last = header->extremities[k].lastJoint[info.index];
        if (last < 0)
            return -1;
        return vlm::DigitJoint(vlm::kExtremityNodes[k], info.index, last >= 2 ? 2 : 0);
    }
    }
}
