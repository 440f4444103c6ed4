#include "rig/vlm_hierarchy.h"

#include "rig/vlm_quat.h"
#include "rig/vlm_rotation.h"
#include "rig/vlm_vector.h"

#include <cassert>

// Each composition rule below is an "op": a small struct whose Visit converts
// one row given its parent's context and returns the context its own children
// need. The walkers run an op over a path, a subtree or a tree; keeping the
// parent's values in the context (instead of re-reading the parent's row) is
// the same as reading the row after the parent was visited, because no pass
// writes a row other than the one it visits (the roll-child turn of the
// rotation limit pass writes the child before the child is visited).

namespace {

using Row = VLMStateRow;
using Record = VLMNodeRecord;

// Indexes are u64 in the records; all ones (-1 as signed) addresses the spare
// element in front of an array.
inline Row* RowAt(Row* rows, std::uint64_t index) { return rows + std::int64_t(index); }
inline const Record* RecordAt(const Record* records, std::uint64_t index) { return records + std::int64_t(index); }
inline Row* RowOf(Row* rows, const Record* record) { return RowAt(rows, record->ownIndex); }
inline Row* ParentRowOf(Row* rows, const Record* records, const Record* record)
{
    return RowOf(rows, RecordAt(records, record->parentIndex));
}

inline VLMVector4 Conj(const VLMVector4& q) { return VLMVector4NegateXYZ(q); }
inline VLMVector4 Mul(const VLMVector4& a, const VLMVector4& b) { return VLMQuatMultiply(a, b); }
inline VLMVector4 Rot(const VLMVector4& q, const VLMVector4& v) { return VLMQuatRotate(q, v); }
inline VLMVector4 Norm(const VLMVector4& q) { return VLMQuatNormalize(q); }

// ---------------------------------------------------------------------------
// The ops. Each has
//   Context                     what a child needs of its parent;
//   FromRow(row)                the context of a parent given by its row;
//   Enter(context)              prepares a visited record's context for its
//                               children (done once per parent, not per child);
//   Visit(record, row, parent)  converts one row, returns the record's context;
//   Descend(context)            whether the record's children are visited.
// ---------------------------------------------------------------------------

struct ParentTQS {
    VLMVector4 t, q, s;
};
struct ParentTQ {
    VLMVector4 t, q;
};
struct ParentQ {
    VLMVector4 q;
};

// L2G-TQS: gT = pT + rot(pQ, pS * lT); gQ = norm(pQ (x) lQ); gS = pS * lS.
struct LocalToGlobalTQS {
    using Context = ParentTQS;
    static Context FromRow(const Row* r) { return {r->globalT, r->globalQ, r->globalS}; }
    static Context Enter(const Context& c) { return c; }
    static bool Descend(const Context&) { return true; }
    static Context Visit(const Record*, Row* row, const Context& p)
    {
        Context g;
        g.t = VLMVector4Add(p.t, Rot(p.q, VLMVector4Mul(p.s, row->localT)));
        g.q = Norm(Mul(p.q, row->localQ));
        g.s = VLMVector4Mul(p.s, row->localS);
        row->globalT = g.t;
        row->globalQ = g.q;
        row->globalS = g.s;
        return g;
    }
};

// G2L-TQS: c = conj(norm(pQ)); lT = rot(c, gT - pT) / pS; lQ = c (x) gQ;
// lS = gS / pS. The entered context holds c in place of pQ.
struct GlobalToLocalTQS {
    using Context = ParentTQS;
    static Context FromRow(const Row* r) { return {r->globalT, r->globalQ, r->globalS}; }
    static Context Enter(const Context& c) { return {c.t, Conj(Norm(c.q)), c.s}; }
    static bool Descend(const Context&) { return true; }
    static Context Visit(const Record*, Row* row, const Context& p)
    {
        const Context g = FromRow(row);
        row->localT = VLMVector4Div(Rot(p.q, VLMVector4Sub(g.t, p.t)), p.s);
        row->localQ = Mul(p.q, g.q);
        row->localS = VLMVector4Div(g.s, p.s);
        return g;
    }
};

// L2G-TQ: gT = pT + rot(pQ, lT); gQ = norm(pQ (x) lQ).
struct LocalToGlobalTQ {
    using Context = ParentTQ;
    static Context FromRow(const Row* r) { return {r->globalT, r->globalQ}; }
    static Context Enter(const Context& c) { return c; }
    static bool Descend(const Context&) { return true; }
    static Context Visit(const Record*, Row* row, const Context& p)
    {
        Context g;
        g.t = VLMVector4Add(p.t, Rot(p.q, row->localT));
        g.q = Norm(Mul(p.q, row->localQ));
        row->globalT = g.t;
        row->globalQ = g.q;
        return g;
    }
};

// G2L-TQ: c = conj(norm(pQ)); lT = rot(c, gT - pT); lQ = c (x) gQ.
struct GlobalToLocalTQ {
    using Context = ParentTQ;
    static Context FromRow(const Row* r) { return {r->globalT, r->globalQ}; }
    static Context Enter(const Context& c) { return {c.t, Conj(Norm(c.q))}; }
    static bool Descend(const Context&) { return true; }
    static Context Visit(const Record*, Row* row, const Context& p)
    {
        const Context g = FromRow(row);
        row->localT = Rot(p.q, VLMVector4Sub(g.t, p.t));
        row->localQ = Mul(p.q, g.q);
        return g;
    }
};

// L2G-Q: gQ = pQ (x) lQ, not renormalised.
struct LocalToGlobalQ {
    using Context = ParentQ;
    static Context FromRow(const Row* r) { return {r->globalQ}; }
    static Context Enter(const Context& c) { return c; }
    static bool Descend(const Context&) { return true; }
    static Context Visit(const Record*, Row* row, const Context& p)
    {
        row->globalQ = Mul(p.q, row->localQ);
        return {row->globalQ};
    }
};

// G2L-Q: lQ = conj(pQ) (x) gQ, the parent rotation not normalised.
struct GlobalToLocalQ {
    using Context = ParentQ;
    static Context FromRow(const Row* r) { return {r->globalQ}; }
    static Context Enter(const Context& c) { return {Conj(c.q)}; }
    static bool Descend(const Context&) { return true; }
    static Context Visit(const Record*, Row* row, const Context& p)
    {
        row->localQ = Mul(p.q, row->globalQ);
        return {row->globalQ};
    }
};

// A rule limited to levels 0 .. depth below the start record.
template <class Rule>
struct ToDepth {
    struct Context {
        typename Rule::Context inner;
        std::int32_t level;
    };
    std::int32_t depth;
    static Context FromRow(const Row* r) { return {Rule::FromRow(r), -1}; }
    static Context Enter(const Context& c) { return {Rule::Enter(c.inner), c.level}; }
    bool Descend(const Context& c) const { return c.level < depth; }
    static Context Visit(const Record* record, Row* row, const Context& p)
    {
        return {Rule::Visit(record, row, p.inner), p.level + 1};
    }
};

// MARKED: a marked row gets gQ := pQ (x) lQ; either way the record's current
// global rotation is its children's parent rotation.
struct MarkedLocalToGlobalQ {
    using Context = ParentQ;
    const VLMRowBitSet* marked;
    static Context FromRow(const Row* r) { return {r->globalQ}; }
    static Context Enter(const Context& c) { return c; }
    static bool Descend(const Context&) { return true; }
    Context Visit(const Record* record, Row* row, const Context& p) const
    {
        if (VLMRowBitSetTest(marked, record->ownIndex))
            row->globalQ = Mul(p.q, row->localQ);
        return {row->globalQ};
    }
};

// MOVE: gT := T + rot(Q, S * gT); gQ := Q (x) gQ; gS := gS * S.
struct Move {
    struct Context { };
    VLMTransformTQS x;
    static Context FromRow(const Row*) { return {}; }
    static Context Enter(const Context& c) { return c; }
    static bool Descend(const Context&) { return true; }
    Context Visit(const Record*, Row* row, const Context&) const
    {
        row->globalT = VLMVector4Add(x.t, Rot(x.q, VLMVector4Mul(x.s, row->globalT)));
        row->globalQ = Mul(x.q, row->globalQ);
        row->globalS = VLMVector4Mul(row->globalS, x.s);
        return {};
    }
};

// The parent-offset composite C of a parent transform and a node's entry.
ParentTQS OffsetComposite(const ParentTQS& p, std::uint64_t index, const VLMTransformTQS* offsets)
{
    if (index == VLM_INDEX_NONE)
        return {p.t, Norm(p.q), p.s};
    const VLMTransformTQS& e = offsets[index];
    return {VLMVector4Add(p.t, Rot(p.q, VLMVector4Mul(p.s, e.t))), Norm(Mul(p.q, e.q)), VLMVector4Mul(p.s, e.s)};
}

// APPLY-OFFSET: gT = C.T + rot(C.Q, C.S * lT); gQ = norm(C.Q (x) lQ); gS = C.S * lS.
ParentTQS ApplyOffset(const ParentTQS& parent, Row* row, std::uint64_t index, const VLMTransformTQS* offsets)
{
    const ParentTQS c = OffsetComposite(parent, index, offsets);
    ParentTQS g;
    g.t = VLMVector4Add(c.t, Rot(c.q, VLMVector4Mul(c.s, row->localT)));
    g.q = Norm(Mul(c.q, row->localQ));
    g.s = VLMVector4Mul(c.s, row->localS);
    row->globalT = g.t;
    row->globalQ = g.q;
    row->globalS = g.s;
    return g;
}

struct ApplyOffsets {
    using Context = ParentTQS;
    const VLMTransformTQS* offsets;
    static Context FromRow(const Row* r) { return {r->globalT, r->globalQ, r->globalS}; }
    static Context Enter(const Context& c) { return c; }
    static bool Descend(const Context&) { return true; }
    Context Visit(const Record* record, Row* row, const Context& p) const
    {
        return ApplyOffset(p, row, record->parentOffsetIndex, offsets);
    }
};

// REMOVE-OFFSET against a parent transform given by the parent row's local half.
void RemoveOffset(const ParentTQS& parent, Row* row, std::uint64_t index, const VLMTransformTQS* offsets)
{
    const ParentTQS c = OffsetComposite(parent, index, offsets);
    const VLMVector4 inverse = Conj(c.q);
    row->localT = VLMVector4Div(Rot(inverse, VLMVector4Sub(row->localT, c.t)), c.s);
    row->localQ = Mul(inverse, row->localQ);
    row->localS = VLMVector4Div(row->localS, c.s);
}

// The limit clamp of one row; the caller has checked nothing.
bool ClampRow(const Record* record, Row* row, const VLMRotationRecord* rotations)
{
    if (record->rotationIndex == VLM_INDEX_NONE)
        return false;
    const VLMRotationPart* part = &rotations[record->rotationIndex].part;
    if ((part->flags & VLM_ROTFLAG_LIMITS) == 0)
        return false;
    // The repeated-axis orders read every rotation as zero angles (and codes
    // above 12 are no order at all): a round trip through angles would replace
    // the pose with the clamped zero rotation, so such a node is left alone.
    const std::uint32_t order = part->rotationOrder;
    if (order > VLM_ROTATION_SPHERIC_XYZ || (order < VLM_ROTATION_SPHERIC_XYZ && (order & 1u) != 0))
        return false;
    VLMVector4 angles;
    VLMNodeEulerFromRotation(part, angles, row->localQ);
    VLMVector4 clamped;
    VLMClampToRotationLimits(part, angles, clamped);
    VLMVector4 q;
    VLMNodeRotationFromEuler(part, q, clamped);
    row->localQ = q;
    return true;
}

// LIMITS-TQ: the clamp runs on every node; a node that acted, or lies below
// one that did, gets L2G-TQ from its parent's current global values.
struct LimitsTQ {
    struct Context {
        const Row* row;
        bool acted;
    };
    const VLMRotationRecord* rotations;
    static Context FromRow(const Row* r) { return {r, false}; }
    static Context Enter(const Context& c) { return c; }
    static bool Descend(const Context&) { return true; }
    Context Visit(const Record* record, Row* row, const Context& p) const
    {
        const bool acted = ClampRow(record, row, rotations) || p.acted;
        if (acted)
            LocalToGlobalTQ::Visit(record, row, LocalToGlobalTQ::FromRow(p.row));
        return {row, acted};
    }
};

// The shortest-arc turn of a roll parent's first child: the child's axis
// (its first post-rotation row, rotated into the global frame) is brought onto
// the parent's. Opposite or zero axes give no arc; the child is then left as it is.
void TurnRollChild(const Record* parent, const VLMVector4& parentQ, const Record* child, Row* childRow)
{
    const VLMVector4 u = Rot(childRow->globalQ, child->rotation.postAxes[0]);
    const VLMVector4 v = Rot(parentQ, parent->rotation.postAxes[0]);
    const VLMVector4 w =
        VLMVector4Add(VLMVector4Sqrt(VLMVector4Mul(VLMVector4Dot4(u, u), VLMVector4Dot4(v, v))), VLMVector4Dot4(u, v));
    const VLMVector4 arc = VLMVector4MergeW(VLMVector4Cross(u, v), w);
    if (!(VLMVector4GetX(VLMVector4Dot4(arc, arc)) > 0.0f))
        return;
    childRow->globalQ = Mul(Norm(arc), childRow->globalQ);
}

// LIMITS-Q: lQ := G2L-Q against the parent's current global rotation; a node
// that acted gets gQ := L2G-Q and, as a roll parent, turns its first child.
struct LimitsQ {
    using Context = ParentQ;
    const VLMRotationRecord* rotations;
    const Record* records;
    Row* rows;
    static Context FromRow(const Row* r) { return {r->globalQ}; }
    static Context Enter(const Context& c) { return c; }
    static bool Descend(const Context&) { return true; }
    Context Visit(const Record* record, Row* row, const Context& p) const
    {
        row->localQ = Mul(Conj(p.q), row->globalQ);
        if (ClampRow(record, row, rotations)) {
            row->globalQ = Mul(p.q, row->localQ);
            if (record->rollFlag != 0 && record->childCount != 0) {
                const Record* child = RecordAt(records, record->firstChildIndex);
                TurnRollChild(record, row->globalQ, child, RowOf(rows, child));
            }
        }
        return {row->globalQ};
    }
};

// ---------------------------------------------------------------------------
// Walkers
// ---------------------------------------------------------------------------

// Pre-order from node, whose parent's entered context is given. A chain of
// single-child records is followed in the loop; at a record with several
// children every child but the last recurses and the loop goes on with the
// last, which keeps the order of plain recursion.
template <class Op>
void PreOrder(const Op& op, const Record* records, Row* rows, const Record* node, typename Op::Context parent)
{
    for (;;) {
        const typename Op::Context self = op.Visit(node, RowOf(rows, node), parent);
        const std::uint32_t count = node->childCount;
        if (count == 0 || !op.Descend(self))
            return;
        parent = op.Enter(self);
        const Record* child = RecordAt(records, node->firstChildIndex);
        for (std::uint32_t i = 1; i < count; ++i, ++child)
            PreOrder(op, records, rows, child, parent);
        node = child;
    }
}

// Pre-order over the subtree of record, its parent read from the parent's row.
template <class Op>
void Subtree(const Op& op, const Record* record, Row* rows, const Record* records)
{
    PreOrder(op, records, rows, record, op.Enter(op.FromRow(ParentRowOf(rows, records, record))));
}

// One record converted against its parent's row.
template <class Op>
void Single(const Op& op, const Record* record, Row* rows, const Record* records)
{
    op.Visit(record, RowOf(rows, record), op.Enter(op.FromRow(ParentRowOf(rows, records, record))));
}

// Each child of root (or only the first), its parent being the root's row.
template <class Op>
void BelowRoot(const Op& op, const Record* root, Row* rows, const Record* records, bool firstChildOnly)
{
    const std::uint32_t count = firstChildOnly && root->childCount != 0 ? 1 : root->childCount;
    const typename Op::Context parent = op.Enter(op.FromRow(RowOf(rows, root)));
    const Record* child = RecordAt(records, root->firstChildIndex);
    for (std::uint32_t i = 0; i < count; ++i, ++child)
        PreOrder(op, records, rows, child, parent);
}

// Post-order REMOVE-OFFSET over the subtree of top. The single-child chain
// below a record is walked down first, counting its length, then the children
// of its last record recurse, then the chain is rewritten bottom-up along the
// parent links, exactly as many steps as it went down.
void RemoveOffsetsPostOrder(const Record* top, Row* rows, const VLMTransformTQS* offsets, const Record* records)
{
    const Record* node = top;
    std::uint32_t length = 0;
    while (node->childCount == 1) {
        node = RecordAt(records, node->firstChildIndex);
        ++length;
    }
    const Record* child = RecordAt(records, node->firstChildIndex);
    for (std::uint32_t i = 0; i < node->childCount; ++i, ++child)
        RemoveOffsetsPostOrder(child, rows, offsets, records);
    for (;;) {
        const Row* parentRow = ParentRowOf(rows, records, node);
        RemoveOffset({parentRow->localT, parentRow->localQ, parentRow->localS}, RowOf(rows, node),
                     node->parentOffsetIndex, offsets);
        if (length-- == 0)
            return;
        node = RecordAt(records, node->parentIndex);
    }
}

// The longest path a chain form follows. A character has at most 172 records
// in one tree, so a longer walk means the stop row is not an ancestor.
constexpr int kMaxChainLength = 192;

// The chain from the ancestor whose row is stopRow down to record.
template <class Op>
void Chain(const Op& op, const Record* record, std::int32_t stopRow, Row* rows, const Record* records)
{
    const Record* path[kMaxChainLength];
    int length = 0;
    const Record* at = record;
    for (;;) {
        path[length++] = at;
        if (std::int64_t(at->ownIndex) == std::int64_t(stopRow))
            break;
        if (at->parentIndex == VLM_INDEX_NONE || length == kMaxChainLength) {
            assert(!"the stop row of a chain is not the row of the start record or of an ancestor");
            return;
        }
        at = RecordAt(records, at->parentIndex);
    }
    typename Op::Context parent = op.Enter(op.FromRow(ParentRowOf(rows, records, at)));
    while (length > 0) {
        const Record* node = path[--length];
        parent = op.Enter(op.Visit(node, RowOf(rows, node), parent));
    }
}

ParentTQS ToContext(const VLMTransformTQS* x) { return {x->t, x->q, x->s}; }

}  // namespace

// --- Records --------------------------------------------------------------------------

std::uint64_t VLMNodeRecordParentOffsetIndex(const VLMNodeRecord* record) { return record->parentOffsetIndex; }

// --- Kernels on one row -----------------------------------------------------------------

void VLMTQSGlobalToLocal(VLMStateRow* row, const VLMTransformTQS* parent)
{
    GlobalToLocalTQS::Visit(nullptr, row, GlobalToLocalTQS::Enter(ToContext(parent)));
}

void VLMTQSLocalToGlobal(VLMStateRow* row, const VLMTransformTQS* parent)
{
    LocalToGlobalTQS::Visit(nullptr, row, ToContext(parent));
}

void VLMRowGlobalToLocalTQ(const VLMTransformTQS* parent, VLMStateRow* row)
{
    GlobalToLocalTQ::Visit(nullptr, row, GlobalToLocalTQ::Enter({parent->t, parent->q}));
}

void VLMRowLocalToGlobalTQ(const VLMTransformTQS* parent, VLMStateRow* row)
{
    LocalToGlobalTQ::Visit(nullptr, row, {parent->t, parent->q});
}

VLMVector4 VLMRowGlobalToLocalQ(const VLMTransformTQS* parent, VLMStateRow* row)
{
    GlobalToLocalQ::Visit(nullptr, row, GlobalToLocalQ::Enter({parent->q}));
    return row->localQ;
}

VLMVector4 VLMRowLocalToGlobalQ(const VLMTransformTQS* parent, VLMStateRow* row)
{
    return LocalToGlobalQ::Visit(nullptr, row, {parent->q}).q;
}

// --- Per-node forms -----------------------------------------------------------------------

void VLMNodeGlobalToLocalTQS(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records)
{
    Single(GlobalToLocalTQS(), record, rows, records);
}

void VLMNodeLocalToGlobalTQS(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records)
{
    Single(LocalToGlobalTQS(), record, rows, records);
}

void VLMNodeGlobalToLocal(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records)
{
    Single(GlobalToLocalTQ(), record, rows, records);
}

void VLMNodeLocalToGlobal(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records)
{
    Single(LocalToGlobalTQ(), record, rows, records);
}

void VLMNodeGlobalToLocalRotation(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records)
{
    Single(GlobalToLocalQ(), record, rows, records);
}

void VLMNodeLocalToGlobalRotation(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records)
{
    Single(LocalToGlobalQ(), record, rows, records);
}

void VLMNodeRemoveParentOffset(const VLMStateRow* parentRow, VLMStateRow* row, std::uint64_t parentOffsetIndex,
                               const VLMTransformTQS* offsets)
{
    RemoveOffset({parentRow->localT, parentRow->localQ, parentRow->localS}, row, parentOffsetIndex, offsets);
}

VLMStateRow* VLMNodeApplyParentOffset(const VLMTransformTQS* parent, VLMStateRow* row, std::uint64_t parentOffsetIndex,
                                      const VLMTransformTQS* offsets)
{
    ApplyOffset(ToContext(parent), row, parentOffsetIndex, offsets);
    return row;
}

bool VLMClampNodeToLimits(const VLMNodeRecord* record, VLMStateRow* rows, const VLMRotationRecord* rotations)
{
    return ClampRow(record, RowOf(rows, record), rotations);
}

// --- Chain forms ------------------------------------------------------------------------

void VLMChainGlobalToLocal(const VLMNodeRecord* record, std::int32_t stopRow, VLMStateRow* rows,
                           const VLMNodeRecord* records)
{
    Chain(GlobalToLocalTQ(), record, stopRow, rows, records);
}

void VLMChainGlobalToLocalTQS(const VLMNodeRecord* record, std::int32_t stopRow, VLMStateRow* rows,
                              const VLMNodeRecord* records)
{
    Chain(GlobalToLocalTQS(), record, stopRow, rows, records);
}

void VLMChainLocalToGlobal(const VLMNodeRecord* record, std::int32_t stopRow, VLMStateRow* rows,
                           const VLMNodeRecord* records)
{
    Chain(LocalToGlobalTQ(), record, stopRow, rows, records);
}

void VLMChainLocalToGlobalRotation(const VLMNodeRecord* record, std::int32_t stopRow, VLMStateRow* rows,
                                   const VLMNodeRecord* records)
{
    Chain(LocalToGlobalQ(), record, stopRow, rows, records);
}

// --- Subtree forms -----------------------------------------------------------------------

void VLMGlobalToLocalTree(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records)
{
    Subtree(GlobalToLocalTQS(), record, rows, records);
}

void VLMLocalToGlobalTree(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records)
{
    Subtree(LocalToGlobalTQS(), record, rows, records);
}

void VLMSubtreeGlobalToLocal(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records)
{
    Subtree(GlobalToLocalTQ(), record, rows, records);
}

void VLMSubtreeLocalToGlobal(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records)
{
    Subtree(LocalToGlobalTQ(), record, rows, records);
}

void VLMSubtreeLocalToGlobalToDepth(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records,
                                    std::int32_t depth)
{
    if (depth >= 0)
        Subtree(ToDepth<LocalToGlobalTQ>{depth}, record, rows, records);
}

void VLMSubtreeLocalToGlobalRotation(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records,
                                     std::int32_t depth)
{
    if (depth >= 0)
        Subtree(ToDepth<LocalToGlobalQ>{depth}, record, rows, records);
}

void VLMSubtreeRemoveParentOffsets(const VLMNodeRecord* record, VLMStateRow* rows, const VLMTransformTQS* offsets,
                                   const VLMNodeRecord* records)
{
    RemoveOffsetsPostOrder(record, rows, offsets, records);
}

void VLMSubtreeApplyParentOffsets(const VLMNodeRecord* record, VLMStateRow* rows, const VLMTransformTQS* offsets,
                                  const VLMNodeRecord* records)
{
    Subtree(ApplyOffsets{offsets}, record, rows, records);
}

void VLMTransformSubtree(const VLMNodeRecord* record, VLMStateRow* rows, const VLMNodeRecord* records,
                         const VLMVector4& t, const VLMVector4& q, const VLMVector4& s)
{
    const Move move{{t, q, s}};
    PreOrder(move, records, rows, record, Move::Context{});
}

// --- Tree forms --------------------------------------------------------------------------

void VLMTreeGlobalToLocalTQS(const VLMNodeRecord* root, VLMStateRow* rows, const VLMNodeRecord* records)
{
    Row* row = RowOf(rows, root);
    row->localT = row->globalT;
    row->localQ = row->globalQ;
    row->localS = row->globalS;
    BelowRoot(GlobalToLocalTQS(), root, rows, records, false);
}

void VLMTreeLocalToGlobalTQS(const VLMNodeRecord* root, VLMStateRow* rows, const VLMNodeRecord* records)
{
    Row* row = RowOf(rows, root);
    row->globalT = row->localT;
    row->globalQ = row->localQ;
    row->globalS = row->localS;
    BelowRoot(LocalToGlobalTQS(), root, rows, records, false);
}

void VLMTreeGlobalToLocal(const VLMNodeRecord* root, VLMStateRow* rows, const VLMNodeRecord* records)
{
    Row* row = RowOf(rows, root);
    row->localT = row->globalT;
    row->localQ = row->globalQ;
    BelowRoot(GlobalToLocalTQ(), root, rows, records, true);
}

void VLMTreeGlobalToLocalRotation(const VLMNodeRecord* root, VLMStateRow* rows, const VLMNodeRecord* records)
{
    Row* row = RowOf(rows, root);
    row->localQ = row->globalQ;
    BelowRoot(GlobalToLocalQ(), root, rows, records, true);
}

void VLMTreeLocalToGlobal(const VLMNodeRecord* root, VLMStateRow* rows, const VLMNodeRecord* records)
{
    Row* row = RowOf(rows, root);
    row->globalT = row->localT;
    row->globalQ = row->localQ;
    BelowRoot(LocalToGlobalTQ(), root, rows, records, true);
}

void VLMTreeLocalToGlobalRotationMarked(const VLMNodeRecord* root, VLMStateRow* rows, const VLMNodeRecord* records,
                                        const VLMRowBitSet* marked)
{
    Row* row = RowOf(rows, root);
    if (VLMRowBitSetTest(marked, root->ownIndex))
        row->globalQ = row->localQ;
    BelowRoot(MarkedLocalToGlobalQ{marked}, root, rows, records, true);
}

void VLMTreeRemoveParentOffsets(const VLMNodeRecord* root, VLMStateRow* rows, const VLMTransformTQS* offsets,
                                const VLMNodeRecord* records)
{
    const Record* child = RecordAt(records, root->firstChildIndex);
    for (std::uint32_t i = 0; i < root->childCount; ++i, ++child)
        RemoveOffsetsPostOrder(child, rows, offsets, records);
    if (root->parentOffsetIndex == VLM_INDEX_NONE)
        return;
    const VLMTransformTQS& e = offsets[root->parentOffsetIndex];
    const VLMVector4 inverse = Conj(Norm(e.q));
    Row* row = RowOf(rows, root);
    row->localT = VLMVector4Div(Rot(inverse, VLMVector4Sub(row->localT, e.t)), e.s);
    row->localQ = Mul(inverse, row->localQ);
    row->localS = VLMVector4Div(row->localS, e.s);
}

void VLMTreeApplyParentOffsets(const VLMNodeRecord* root, VLMStateRow* rows, const VLMTransformTQS* offsets,
                               const VLMNodeRecord* records)
{
    Row* row = RowOf(rows, root);
    if (root->parentOffsetIndex == VLM_INDEX_NONE) {
        row->globalT = row->localT;
        row->globalQ = Norm(row->localQ);
        row->globalS = row->localS;
    } else {
        const VLMTransformTQS& e = offsets[root->parentOffsetIndex];
        const VLMVector4 q = Norm(e.q);
        row->globalT = VLMVector4Add(e.t, Rot(q, VLMVector4Mul(e.s, row->localT)));
        row->globalQ = Norm(Mul(q, row->localQ));
        row->globalS = VLMVector4Mul(e.s, row->localS);
    }
    BelowRoot(ApplyOffsets{offsets}, root, rows, records, false);
}

void VLMApplyLimitsBelow(const VLMNodeRecord* root, VLMStateRow* rows, const VLMNodeRecord* records,
                         const VLMRotationRecord* rotations)
{
    BelowRoot(LimitsTQ{rotations}, root, rows, records, false);
}

void VLMApplyLimitsBelowRotation(const VLMNodeRecord* root, VLMStateRow* rows, const VLMNodeRecord* records,
                                 const VLMRotationRecord* rotations)
{
    BelowRoot(LimitsQ{rotations, records, rows}, root, rows, records, false);
}
