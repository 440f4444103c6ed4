#include "rig/solver/stages/vlm_contact_point.h"

#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_character.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_vector.h"

namespace {

// Positions of the contact entries in an extremity's property list.
enum { kBottom = 1, kBack, kMiddle, kFront, kIn, kOut, kType = 8 };

constexpr float kHalfRoot2 = 0.70710677f;
constexpr VLMVector4 kHoofTurn[3] = {{0.0f, 0.0f, kHalfRoot2, kHalfRoot2},    // left hand: +90 about z
                                     {0.0f, 0.0f, -kHalfRoot2, kHalfRoot2},   // right hand: -90 about z
                                     {-kHalfRoot2, 0.0f, 0.0f, kHalfRoot2}};  // a foot: -90 about x

// ((a xor b) and mask) xor a: b where the 0/1 condition holds, a elsewhere.
VLMVector4 Choose(bool second, const VLMVector4& a, const VLMVector4& b)
{
    return VLMVector4Select(VLMVector4MaskFromBool(second), b, a);
}

}  // namespace

VLMVector4* VLMContactPoint(const VLMCharacter* character, VLMVector4* out, const VLMExtremity* extremity,
                            const VLMPropertySetState* properties, int index, const VLMVector4* tA,
                            const VLMVector4* qA, const VLMVector4* sA, const VLMVector4* tB, const VLMVector4* qB,
                            const VLMVector4* sB)
{
    const auto value = [&](int role) { return VLMPropertyValueAt(properties, int(extremity->properties[role])); };
    const float s = extremity->isRight != 0 ? -1.0f : 1.0f;
    const float B = value(kBottom), K = value(kBack), M = value(kMiddle), F = value(kFront), I = value(kIn),
                O = value(kOut);
    const int row = index < 0 || index > 5 ? 5 : index;
    const bool front = (row & 1) != 0;
    const float along = row < 2 ? -K : row < 4 ? M : M + F;
    VLMVector4 p = extremity->isFoot != 0 ? VLMVector4{front ? s * O : -s * I, -B, along, 0.0f}
                                          : VLMVector4{s * along, -B, front ? I : -O, 0.0f};

    int type = VLMFloatToIntRound(value(kType));
    if (type < 0 || type > 3)
        type = 0;
    const int baseNode = extremity->baseNodeId;
    const bool base = VLMCharacterTPoseEntry(character, baseNode)->presence != 0;
    if (type == 3)
        p = VLMQuatRotate(kHoofTurn[extremity->isFoot != 0 ? 2 : extremity->isRight != 0 ? 1 : 0], p);
    const bool followBase = type == 0 && index >= 4 && base;
    const bool useBase = (type == 2 || type == 3) ? base : followBase;
    const VLMVector4 offset =
        VLMCharacterTPoseEntry(character, extremity->endNodeId)->t - VLMCharacterTPoseEntry(character, baseNode)->t;
    p = p + Choose(followBase, VLMVector4Zero(), VLMVector4ClearW(offset));
    const VLMVector4 t = Choose(useBase, *tA, *tB), q = Choose(useBase, *qA, *qB), scale = Choose(useBase, *sA, *sB);
    *out = t + VLMQuatRotate(q, scale * p);
    return out;
}

VLMVector4* VLMContactPointRows(const VLMCharacter* character, VLMVector4* out, const VLMExtremity* extremity,
                                const VLMPropertySetState* properties, int index, const VLMStateRow* rows)
{
    const VLMStateRow* a = VLMNodeRow(character, rows, extremity->endNodeId);
    const VLMStateRow* b = VLMNodeRow(character, rows, extremity->baseNodeId);
    return VLMContactPoint(character, out, extremity, properties, index, &a->globalT, &a->globalQ, &a->globalS,
                           &b->globalT, &b->globalQ, &b->globalS);
}

VLMVector4* VLMContactPointRecord(const VLMCharacter* character, VLMVector4* out, const VLMExtremity* extremity,
                                  const VLMPropertySetState* properties, int index, const VLMStateRow* rows,
                                  const VLMLimbGoalBlock* record)
{
    const VLMVector4& sA = VLMNodeRow(character, rows, extremity->endNodeId)->globalS;
    const VLMVector4& sB = VLMNodeRow(character, rows, extremity->baseNodeId)->globalS;
    return VLMContactPoint(character, out, extremity, properties, index, &record->slots[0].t, &record->slots[0].q, &sA,
                           &record->slots[1].t, &record->slots[1].q, &sB);
}
