#include "rig/solver/vlm_bulk.h"

#include "rig/solver/stages/vlm_entry_util.h"
#include "rig/solver/vlm_node_state.h"
#include "rig/solver/vlm_state.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_vector.h"

using vlm_entry::AlignedAt;
using vlm_entry::Fits;

namespace {

// The state and the character tables the passes need.
struct Pose {
    const VLMCharacter* character;
    VLMStateRow* rows;
    const VLMNodeRecord* records;
    const VLMTransformTQS* offsets;
};

Pose PoseOf(const VLMCharacter* character, VLMCharacterState* state)
{
    return {character, VLMStateFirstRow(state), VLMCharacterNodeRecords(character),
            VLMCharacterParentOffsets(const_cast<VLMCharacter*>(character))};
}

// f(id, record) for every list entry but -1; the record advances after every
// entry, skipped or not.
template <class Byte, class F>
void ForEachListed(const std::int32_t* ids, Byte* record, std::int64_t stride, F f)
{
    for (const std::int32_t* id = ids; *id != VLM_LIST_END; ++id, record += stride)
        if (*id != VLM_LIST_SKIP)
            f(*id, record);
}

template <class F>
void ForEachListedId(const std::int32_t* ids, F f)
{
    for (const std::int32_t* id = ids; *id != VLM_LIST_END; ++id)
        if (*id != VLM_LIST_SKIP)
            f(*id);
}

// The local write's last two steps: every global half from the locals, then
// the listed nodes' globals into the stored frame.
void FinishLocalWrite(const Pose& p, const std::int32_t* ids)
{
    VLMTreeApplyParentOffsets(p.character, p.rows, p.offsets, p.records);
    ForEachListedId(ids, [&](int id) {
        VLMStateRow* row = VLMNodeRow(p.character, p.rows, id);
        VLMNodeStateFromApiFrame(p.character, id, row->globalT, row->globalQ, row->globalS);
    });
}

// The local read's preparation: each listed node's API-frame global in its
// local half, then every local half relative to its parent's.
void PrepareLocalRead(const Pose& p, const std::int32_t* ids, bool refresh)
{
    if (refresh)
        VLMTreeGlobalToLocal(p.character, p.rows, p.records);
    ForEachListedId(ids, [&](int id) {
        VLMStateRow* row = VLMNodeRow(p.character, p.rows, id);
        VLMNodeStateToApiFrame(p.character, id, row->globalT, row->globalQ, row->globalS, row->localT, row->localQ,
                               row->localS);
    });
    VLMTreeRemoveParentOffsets(p.character, p.rows, p.offsets, p.records);
}

void WriteNode(const Pose& p, bool local, int id, const VLMTransformTQS& x)
{
    if (!local) {
        VLMSetNodeStateInternal(p.character, p.rows, id, x.t, x.q, x.s, false);
        return;
    }
    VLMStateRow* row = VLMNodeRow(p.character, p.rows, id);
    row->localT = VLMVector4ClearW(x.t);
    row->localQ = x.q;
    row->localS = VLMVector4MergeW(x.s, VLMConstant::One);
}

// The transform a read hands out: the API-frame global, or the local half as
// the preparation left it.
VLMTransformTQS ReadNode(const Pose& p, bool local, int id)
{
    VLMTransformTQS x;
    if (local) {
        const VLMStateRow* row = VLMNodeRow(p.character, p.rows, id);
        x = {row->localT, row->localQ, row->localS};
    } else {
        VLMGetNodeStateInternal(p.character, p.rows, id, x.t, x.q, x.s, false);
    }
    return x;
}

// --- Record forms ------------------------------------------------------------------

enum class Fields { TQS, TQ, Q };

struct Records {
    const VLMNodeRecordLayout* layout;
    Fields fields;
    VLMTransformTQS take(const unsigned char* r) const
    {
        const VLMVector4 s = fields == Fields::TQ ? VLMConstant::One : AlignedAt(r, layout->offsetS);
        return {AlignedAt(r, layout->offsetT), AlignedAt(r, layout->offsetQ), s};
    }
    void put(unsigned char* r, const VLMTransformTQS& x) const
    {
        if (fields != Fields::Q)
            AlignedAt(r, layout->offsetT) = x.t;
        AlignedAt(r, layout->offsetQ) = x.q;
        if (fields == Fields::TQS)
            AlignedAt(r, layout->offsetS) = x.s;
    }
};

struct Matrices {
    const VLMNodeMatrixLayout* layout;
    VLMTransformTQS take(const unsigned char* r) const
    {
        VLMTransformTQS x;
        VLMMatrix44ToTQS(x.t, x.q, x.s, *reinterpret_cast<const VLMMatrix44*>(r + layout->offsetMatrix));
        return x;
    }
    void put(unsigned char* r, const VLMTransformTQS& x) const
    {
        const VLMVector4 q = VLMVector4Div(x.q, VLMVector4Length4(x.q));
        *reinterpret_cast<VLMMatrix44*>(r + layout->offsetMatrix) = VLMTQSToMatrix44(x.t, q, x.s);
    }
};

template <class Layout>
bool Usable(const VLMCharacter* character, VLMCharacterState* state, const Layout* layout, const void* base)
{
    return Fits(character, state) && layout && layout->nodeIds && base &&
           (layout->space == VLM_SPACE_GLOBAL || layout->space == VLM_SPACE_LOCAL);
}

template <class Access>
void Write(const VLMCharacter* character, VLMCharacterState* state, const Access& access, const void* base)
{
    const auto* layout = access.layout;
    if (!Usable(character, state, layout, base))
        return;
    const Pose p = PoseOf(character, state);
    const bool local = layout->space == VLM_SPACE_LOCAL;
    ForEachListed(layout->nodeIds, static_cast<const unsigned char*>(base), layout->stride,
                  [&](int id, const unsigned char* r) { WriteNode(p, local, id, access.take(r)); });
    if (local)
        FinishLocalWrite(p, layout->nodeIds);
}

template <class Access>
void Read(const VLMCharacter* character, VLMCharacterState* state, const Access& access, void* base, bool refresh)
{
    const auto* layout = access.layout;
    if (!Usable(character, state, layout, base))
        return;
    const Pose p = PoseOf(character, state);
    const bool local = layout->space == VLM_SPACE_LOCAL;
    if (local)
        PrepareLocalRead(p, layout->nodeIds, refresh);
    ForEachListed(layout->nodeIds, static_cast<unsigned char*>(base), layout->stride,
                  [&](int id, unsigned char* r) { access.put(r, ReadNode(p, local, id)); });
}

// --- Packets -----------------------------------------------------------------------

struct Packet {
    VLMTransformTQS lane[4];
};

void Unpack(const unsigned char* packet, const VLMNodeRecordLayout* layout, Packet& out)
{
    VLMTransformTQS* x = out.lane;
    VLMTQS4Unpack(x[0].t, x[0].q, x[0].s, x[1].t, x[1].q, x[1].s, x[2].t, x[2].q, x[2].s, x[3].t, x[3].q, x[3].s,
                  &AlignedAt(packet, layout->offsetT), &AlignedAt(packet, layout->offsetQ),
                  &AlignedAt(packet, layout->offsetS));
}

void Pack(unsigned char* packet, const VLMNodeRecordLayout* layout, const Packet& in)
{
    const VLMTransformTQS* x = in.lane;
    VLMTQS4Pack(&AlignedAt(packet, layout->offsetT), &AlignedAt(packet, layout->offsetQ),
                &AlignedAt(packet, layout->offsetS), x[0].t, x[0].q, x[0].s, x[1].t, x[1].q, x[1].s, x[2].t, x[2].q,
                x[2].s, x[3].t, x[3].q, x[3].s);
}

// f(packet, group, count) for each packet that serves entries: count 4 for a
// full group, 1..3 for the entries before the end mark (the last packet).
template <class Byte, class F>
void ForEachPacket(const std::int32_t* ids, Byte* packet, std::int64_t stride, F f)
{
    for (const std::int32_t* group = ids;; group += 4, packet += stride) {
        int count = 0;
        while (count < 4 && group[count] != VLM_LIST_END)
            ++count;
        if (count > 0)
            f(packet, group, count);
        if (count < 4)
            return;
    }
}

void WritePackets(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                  const void* base)
{
    if (!Usable(character, state, layout, base))
        return;
    const Pose p = PoseOf(character, state);
    const bool local = layout->space == VLM_SPACE_LOCAL;
    ForEachPacket(layout->nodeIds, static_cast<const unsigned char*>(base), layout->stride,
                  [&](const unsigned char* packet, const std::int32_t* group, int count) {
                      Packet x;
                      Unpack(packet, layout, x);
                      for (int j = 0; j < count; ++j)
                          if (group[j] != VLM_LIST_SKIP)
                              WriteNode(p, local, group[j], x.lane[j]);
                  });
    if (local)
        FinishLocalWrite(p, layout->nodeIds);
}

void ReadPackets(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout, void* base)
{
    if (!Usable(character, state, layout, base))
        return;
    const Pose p = PoseOf(character, state);
    const bool local = layout->space == VLM_SPACE_LOCAL;
    if (local)
        PrepareLocalRead(p, layout->nodeIds, false);
    ForEachPacket(layout->nodeIds, static_cast<unsigned char*>(base), layout->stride,
                  [&](unsigned char* packet, const std::int32_t* group, int count) {
                      bool whole = count == 4;
                      for (int j = 0; j < count; ++j)
                          whole = whole && group[j] != VLM_LIST_SKIP;
                      Packet x;
                      if (!whole)
                          Unpack(packet, layout, x);
                      for (int j = 0; j < count; ++j)
                          if (group[j] != VLM_LIST_SKIP)
                              x.lane[j] = ReadNode(p, local, group[j]);
                      Pack(packet, layout, x);
                  });
}

}  // namespace

void VLMSetNodeStates(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                      const void* base)
{
    VLMScopedFPGuard guard;
    Write(character, state, Records{layout, Fields::TQS}, base);
}

void VLMSetNodeStatesTQ(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                        const void* base)
{
    VLMScopedFPGuard guard;
    Write(character, state, Records{layout, Fields::TQ}, base);
}

void VLMWriteNodeStateMatrices(const VLMCharacter* character, VLMCharacterState* state,
                               const VLMNodeMatrixLayout* layout, const void* base)
{
    VLMScopedFPGuard guard;
    Write(character, state, Matrices{layout}, base);
}

void VLMSetNodeStatesSoA(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                         const void* base)
{
    VLMScopedFPGuard guard;
    WritePackets(character, state, layout, base);
}

void VLMGetNodeStates(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                      void* base)
{
    VLMScopedFPGuard guard;
    Read(character, state, Records{layout, Fields::TQS}, base, true);
}

void VLMGetNodeStatesTQ(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                        void* base)
{
    VLMScopedFPGuard guard;
    Read(character, state, Records{layout, Fields::TQ}, base, false);
}

void VLMGetNodeStatesQ(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                       void* base)
{
    VLMScopedFPGuard guard;
    Read(character, state, Records{layout, Fields::Q}, base, false);
}

void VLMReadNodeStateMatrices(const VLMCharacter* character, VLMCharacterState* state,
                              const VLMNodeMatrixLayout* layout, void* base)
{
    VLMScopedFPGuard guard;
    Read(character, state, Matrices{layout}, base, true);
}

void VLMGetNodeStatesSoA(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                         void* base)
{
    VLMScopedFPGuard guard;
    ReadPackets(character, state, layout, base);
}
