// Velmora rig library: the node hierarchy transform passes.
//
// A pose holds one state row per present node (vlm_layout.h, VLMStateRow):
// the node's global transform (relative to the character's root frame) and
// its local transform (relative to its parent's global transform, or, in the
// offset-aware passes, to the parent's transform composed with the node's
// parent-offset entry). The passes here keep the two halves consistent over
// the rig tree: per node, along the path from an ancestor down to a node, over
// a subtree, and over the whole tree; they apply and remove parent offsets,
// move a subtree by one transform and clamp local rotations to the nodes'
// rotation limits.
//
// Arguments, in the names used below:
//   rows      the state row of compact index 0 (a record's row is
//             rows[record->ownIndex]; index -1 is the spare row in front);
//   records   node record 0 (the parent and child indices of a record index
//             this array; index -1 is the spare record);
//   offsets   the parent-offset table, indexed by a record's parent-offset index;
//   rotations the rotation records, indexed by a record's rotation index.
// The tree forms take a root record that stands for the root of the tree: the
// record that opens a character block (its row is node 0's, its children are
// Hips and, when present, HipsTranslation). Overloads taking the character
// itself pass that record.
//
// Traversal: pre-order (a record, then each child's whole subtree in index
// order); the offset removal runs in post-order (children before their
// parent). Single-child chains are walked in a loop and only records with two
// or more children recurse, so stack use grows with the branching depth only.
// Nothing here allocates, checks its input or touches the floating-point
// control word: the passes run under the guard of the entry point that calls
// them. Indexes are trusted; a start record of a per-node, chain or subtree
// form must have a parent.
//
// Composition rules (P = (pT, pQ, pS) the parent transform; g and l the node's
// global and local values; (x) the Hamilton product; rot(q, v) = VLMQuatRotate;
// norm = VLMQuatNormalize; * and / lane-wise):
//   L2G-TQS  gT = pT + rot(pQ, pS * lT)   gQ = norm(pQ (x) lQ)   gS = pS * lS
//   G2L-TQS  c = conj(norm(pQ)); lT = rot(c, gT - pT) / pS; lQ = c (x) gQ; lS = gS / pS
//   L2G-TQ   gT = pT + rot(pQ, lT)        gQ = norm(pQ (x) lQ)   (scale untouched)
//   G2L-TQ   c = conj(norm(pQ)); lT = rot(c, gT - pT); lQ = c (x) gQ
//   L2G-Q    gQ = pQ (x) lQ               (not renormalised)
//   G2L-Q    lQ = conj(pQ) (x) gQ         (the parent rotation not normalised)
// A local rotation written by a G2L rule is not renormalised.
#ifndef VLM_HIERARCHY_H
#define VLM_HIERARCHY_H

#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"

#include <cstdint>

// --- Records and sets -------------------------------------------------------------

// The record's parent-offset index (all ones when it has none).
VLM_API std::uint64_t VLMNodeRecordParentOffsetIndex(const VLMNodeRecord* record);

// The bit of a state row in a row set: bit (row mod 32) of word row / 32.
// Rows beyond the set's 192 bits read as clear.
inline bool VLMRowBitSetTest(const VLMRowBitSet* set, std::uint64_t row)
{
    return row < 192 && ((set->words[row >> 5] >> (row & 31u)) & 1u) != 0;
}

// The record that opens a character block: the root of its tree.
inline const VLMNodeRecord* VLMCharacterRootRecord(const VLMCharacter* character)
{
    return &reinterpret_cast<const VLMCharacterHeader*>(character)->root;
}

// --- Kernels on one row --------------------------------------------------------------

// The row's local T, Q, S from its global ones (G2L-TQS), and the reverse
// (L2G-TQS), against the parent's global transform.
VLM_API void VLMTQSGlobalToLocal(VLMStateRow* row, const VLMTransformTQS* parent);
VLM_API void VLMTQSLocalToGlobal(VLMStateRow* row, const VLMTransformTQS* parent);
// The one-row forms of G2L-TQ, L2G-TQ, G2L-Q and L2G-Q against a parent
// transform (the Q forms read only its rotation and return the rotation they
// wrote).
VLM_API void VLMRowGlobalToLocalTQ(const VLMTransformTQS* parent, VLMStateRow* row);
VLM_API void VLMRowLocalToGlobalTQ(const VLMTransformTQS* parent, VLMStateRow* row);
VLM_API VLMVector4 VLMRowGlobalToLocalQ(const VLMTransformTQS* parent, VLMStateRow* row);
VLM_API VLMVector4 VLMRowLocalToGlobalQ(const VLMTransformTQS* parent, VLMStateRow* row);

// --- Per-node forms: the parent's global values come from its row --------------------

VLM_API void VLMNodeGlobalToLocalTQS(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records);
VLM_API void VLMNodeLocalToGlobalTQS(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records);
VLM_API void VLMNodeGlobalToLocal(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records);
VLM_API void VLMNodeLocalToGlobal(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records);
VLM_API void VLMNodeGlobalToLocalRotation(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records);
VLM_API void VLMNodeLocalToGlobalRotation(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records);

// Parent offsets. With the node's entry E = (eT, eQ, eS) (index all ones: no
// entry) the composite C of a parent transform P is
//   C.T = pT + rot(pQ, pS * eT), C.Q = norm(pQ (x) eQ), C.S = pS * eS,
// or without an entry C = (pT, norm(pQ), pS).
// Remove: P is the parent row's local half (which holds the parent's transform
// in the tree's space); the node row's local half is rewritten in place:
//   lT := rot(conj(C.Q), lT - C.T) / C.S, lQ := conj(C.Q) (x) lQ, lS := lS / C.S.
VLM_API void VLMNodeRemoveParentOffset(const VLMStateRow* parentRow, VLMStateRow* row, std::uint64_t parentOffsetIndex,
                                       const VLMTransformTQS* offsets);
// Apply: P is the parent's global transform; the node row's global half :=
//   gT = C.T + rot(C.Q, C.S * lT), gQ = norm(C.Q (x) lQ), gS = C.S * lS.
// Returns the row.
VLM_API VLMStateRow* VLMNodeApplyParentOffset(const VLMTransformTQS* parent, VLMStateRow* row,
                                              std::uint64_t parentOffsetIndex, const VLMTransformTQS* offsets);

// The limit clamp. False, with the row untouched, when the record has no
// rotation record, when that record enables none of its six limits, or when
// its rotation order cannot express the pose as angles (the repeated-axis
// orders 1, 3, ... 11, whose angles always read as zero, and codes above 12).
// Otherwise the local rotation is converted to angles (pre- and post-rotation
// taken out), clamped, converted back and stored, and the answer is true
// (whether or not a limit bit): the result says the node has limits.
VLM_API bool VLMClampNodeToLimits(const VLMNodeRecord* record, VLMStateRow* rows, const VLMRotationRecord* rotations);

// --- Chain forms ----------------------------------------------------------------------
// Every record on the path from the ancestor whose row is stopRow down to
// record, ancestors first, the ancestor included. stopRow must be the record's
// own row or an ancestor's (checked by an assertion in debug builds; otherwise
// a stop row that is not on the path converts nothing).

VLM_API void VLMChainGlobalToLocal(const VLMNodeRecord* record, std::int32_t stopRow, VLMStateRow* rows,
                                   const VLMNodeRecord* records);
VLM_API void VLMChainGlobalToLocalTQS(const VLMNodeRecord* record, std::int32_t stopRow, VLMStateRow* rows,
                                      const VLMNodeRecord* records);
VLM_API void VLMChainLocalToGlobal(const VLMNodeRecord* record, std::int32_t stopRow, VLMStateRow* rows,
                                   const VLMNodeRecord* records);
VLM_API void VLMChainLocalToGlobalRotation(const VLMNodeRecord* record, std::int32_t stopRow, VLMStateRow* rows,
                                           const VLMNodeRecord* records);

// --- Subtree forms ---------------------------------------------------------------------
// The record and all its descendants, pre-order unless stated; the record's
// parent supplies the first parent transform.

VLM_API void VLMGlobalToLocalTree(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records);
VLM_API void VLMLocalToGlobalTree(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records);
VLM_API void VLMSubtreeGlobalToLocal(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records);
VLM_API void VLMSubtreeLocalToGlobal(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records);
// Levels 0 (the record) .. depth below it: a record at level k is converted
// when k <= depth, its children visited only when k < depth.
VLM_API void VLMSubtreeLocalToGlobalToDepth(const VLMNodeRecord* record, VLMStateRow* rows,
                                            const VLMNodeRecord* records, std::int32_t depth);
VLM_API void VLMSubtreeLocalToGlobalRotation(const VLMNodeRecord* record, VLMStateRow* rows,
                                             const VLMNodeRecord* records, std::int32_t depth);
// Post-order: every node is rewritten before its parent, so each one sees its
// parent's local half still holding the input transform.
VLM_API void VLMSubtreeRemoveParentOffsets(const VLMNodeRecord* record, VLMStateRow* rows,
                                           const VLMTransformTQS* offsets, const VLMNodeRecord* records);
VLM_API void VLMSubtreeApplyParentOffsets(const VLMNodeRecord* record, VLMStateRow* rows,
                                          const VLMTransformTQS* offsets, const VLMNodeRecord* records);
// Moves the record and its descendants by X = (T, Q, S), on the global half
// only: gT := T + rot(Q, S * gT), gQ := Q (x) gQ (not renormalised), gS := gS * S.
VLM_API void VLMTransformSubtree(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records,
                                 const VLMVector4& t, const VLMVector4& q, const VLMVector4& s);

// --- Tree forms ------------------------------------------------------------------------
// The root's own row is set from itself first, then the descendants follow.
// The forms without TQS in their name (and the rotation-only ones) descend
// into the root's first child only: a second child of the root (HipsTranslation)
// is left to the TQS, offset and limit forms and to the per-node forms.

// Root: local := global (T, Q, S); then VLMGlobalToLocalTree on every child.
VLM_API void VLMTreeGlobalToLocalTQS(const VLMNodeRecord* root, VLMStateRow* rows, const VLMNodeRecord* records);
// Root: global := local (T, Q, S); then VLMLocalToGlobalTree on every child.
VLM_API void VLMTreeLocalToGlobalTQS(const VLMNodeRecord* root, VLMStateRow* rows, const VLMNodeRecord* records);
// Root: local T, Q := global T, Q; then VLMSubtreeGlobalToLocal on the first child.
VLM_API void VLMTreeGlobalToLocal(const VLMNodeRecord* root, VLMStateRow* rows, const VLMNodeRecord* records);
// Root: local Q := global Q; then G2L-Q over the first child's subtree.
VLM_API void VLMTreeGlobalToLocalRotation(const VLMNodeRecord* root, VLMStateRow* rows, const VLMNodeRecord* records);
// Root: global T, Q := local T, Q; then VLMSubtreeLocalToGlobal on the first child.
VLM_API void VLMTreeLocalToGlobal(const VLMNodeRecord* root, VLMStateRow* rows, const VLMNodeRecord* records);
// Over the root and its first child's subtree: a record whose row is marked
// gets gQ := pQ (x) lQ (the root: gQ := lQ); an unmarked one keeps its global
// rotation, which is what its children then compose with.
VLM_API void VLMTreeLocalToGlobalRotationMarked(const VLMNodeRecord* root, VLMStateRow* rows,
                                                const VLMNodeRecord* records, const VLMRowBitSet* marked);
// Every child's subtree first, then the root against the identity transform:
// with an entry lT := rot(conj(norm(eQ)), lT - eT) / eS, lQ := conj(norm(eQ)) (x) lQ,
// lS := lS / eS; without one the root row is unchanged.
VLM_API void VLMTreeRemoveParentOffsets(const VLMNodeRecord* root, VLMStateRow* rows, const VLMTransformTQS* offsets,
                                        const VLMNodeRecord* records);
// The root first with the identity as parent (with an entry gT = eT +
// rot(norm(eQ), eS * lT), gQ = norm(norm(eQ) (x) lQ), gS = eS * lS; without one
// gT = lT, gQ = norm(lQ), gS = lS), then VLMSubtreeApplyParentOffsets on every child.
VLM_API void VLMTreeApplyParentOffsets(const VLMNodeRecord* root, VLMStateRow* rows, const VLMTransformTQS* offsets,
                                       const VLMNodeRecord* records);
// Below the root (the root's row untouched), pre-order: every node is clamped;
// a node that has limits, and every descendant of one, gets its global T and Q
// recomputed by L2G-TQ from its local values as they stand.
VLM_API void VLMApplyLimitsBelow(const VLMNodeRecord* root, VLMStateRow* rows, const VLMNodeRecord* records,
                                 const VLMRotationRecord* rotations);
// Below the root, pre-order, rotation only: lQ := G2L-Q against the parent's
// current global rotation; when the clamp acts, gQ := L2G-Q, and a roll parent
// turns its first child's global rotation by the shortest arc that brings the
// child's axis (first post-rotation row) back onto its own. Children keep their
// global rotations otherwise; translations are not touched.
VLM_API void VLMApplyLimitsBelowRotation(const VLMNodeRecord* root, VLMStateRow* rows, const VLMNodeRecord* records,
                                         const VLMRotationRecord* rotations);

// The tree forms with the character as their root record.
inline void VLMTreeGlobalToLocalTQS(const VLMCharacter* c, VLMStateRow* rows, const VLMNodeRecord* records)
{
    VLMTreeGlobalToLocalTQS(VLMCharacterRootRecord(c), rows, records);
}
inline void VLMTreeLocalToGlobalTQS(const VLMCharacter* c, VLMStateRow* rows, const VLMNodeRecord* records)
{
    VLMTreeLocalToGlobalTQS(VLMCharacterRootRecord(c), rows, records);
}
inline void VLMTreeGlobalToLocal(const VLMCharacter* c, VLMStateRow* rows, const VLMNodeRecord* records)
{
    VLMTreeGlobalToLocal(VLMCharacterRootRecord(c), rows, records);
}
inline void VLMTreeGlobalToLocalRotation(const VLMCharacter* c, VLMStateRow* rows, const VLMNodeRecord* records)
{
    VLMTreeGlobalToLocalRotation(VLMCharacterRootRecord(c), rows, records);
}
inline void VLMTreeLocalToGlobal(const VLMCharacter* c, VLMStateRow* rows, const VLMNodeRecord* records)
{
    VLMTreeLocalToGlobal(VLMCharacterRootRecord(c), rows, records);
}
inline void VLMTreeLocalToGlobalRotationMarked(const VLMCharacter* c, VLMStateRow* rows, const VLMNodeRecord* records,
                                               const VLMRowBitSet* marked)
{
    VLMTreeLocalToGlobalRotationMarked(VLMCharacterRootRecord(c), rows, records, marked);
}
inline void VLMTreeRemoveParentOffsets(const VLMCharacter* c, VLMStateRow* rows, const VLMTransformTQS* offsets,
                                       const VLMNodeRecord* records)
{
    VLMTreeRemoveParentOffsets(VLMCharacterRootRecord(c), rows, offsets, records);
}
inline void VLMTreeApplyParentOffsets(const VLMCharacter* c, VLMStateRow* rows, const VLMTransformTQS* offsets,
                                      const VLMNodeRecord* records)
{
    VLMTreeApplyParentOffsets(VLMCharacterRootRecord(c), rows, offsets, records);
}
inline void VLMApplyLimitsBelow(const VLMCharacter* c, VLMStateRow* rows, const VLMNodeRecord* records,
                                const VLMRotationRecord* rotations)
{
    VLMApplyLimitsBelow(VLMCharacterRootRecord(c), rows, records, rotations);
}
inline void VLMApplyLimitsBelowRotation(const VLMCharacter* c, VLMStateRow* rows, const VLMNodeRecord* records,
                                        const VLMRotationRecord* rotations)
{
    VLMApplyLimitsBelowRotation(VLMCharacterRootRecord(c), rows, records, rotations);
}

#endif
