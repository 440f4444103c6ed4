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

Pose poseOf(const VLMCharacter* character, VLMCharacterState* state)
{
    return {character, VLMStateFirstRow(state), VLMCharacterNodeRecords(character),
            VLMCharacterParentOffsets(const_cast<VLMCharacter*>(character))};
}

// f(id, record) for every list entry but -1; the record advances after every
// entry, skipped or not.
template <class Byte, class F>
void forEachListed(const std::int32_t* ids, Byte* record, std::int64_t stride, F f)
{
    for (const std::int32_t* id = ids; *id != VLM_LIST_END; ++id, record += stride)
        if (*id != VLM_LIST_SKIP)
            f(*id, record);
}

template <class F>
void forEachListedId(const std::int32_t* ids, F f)
{
    for (const std::int32_t* id = ids; *id != VLM_LIST_END; ++id)
        if (*id != VLM_LIST_SKIP)
            f(*id);
}

// The local write's last two steps: every global half from the locals, then
// the listed nodes' globals into the stored frame.
void finishLocalWrite(const Pose& p, const std::int32_t* ids)
{
    VLMTreeApplyParentOffsets(p.character, p.rows, p.offsets, p.records);
    forEachListedId(ids, [&](int id) {
        VLMStateRow* row = VLMNodeRow(p.character, p.rows, id);
        VLMNodeStateFromApiFrame(p.character, id, row->globalT, row->globalQ, row->globalS);
    });
}

// The local read's preparation: each listed node's API-frame global in its
// local half, then every local half relative to its parent's.
void prepareLocalRead(const Pose& p, const std::int32_t* ids, bool refresh)
{
    if (refresh)
        VLMTreeGlobalToLocal(p.character, p.rows, p.records);
    forEachListedId(ids, [&](int id) {
        VLMStateRow* row = VLMNodeRow(p.character, p.rows, id);
        VLMNodeStateToApiFrame(p.character, id, row->globalT, row->globalQ, row->globalS, row->localT, row->localQ,
                               row->localS);
    });
    VLMTreeRemoveParentOffsets(p.character, p.rows, p.offsets, p.records);
}

void writeNode(const Pose& p, bool local, int id, const VLMTransformTQS& x)
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
VLMTransformTQS readNode(const Pose& p, bool local, int id)
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
bool usable(const VLMCharacter* character, VLMCharacterState* state, const Layout* layout, const void* base)
{
    return Fits(character, state) && layout && layout->nodeIds && base &&
           (layout->space == VLM_SPACE_GLOBAL || layout->space == VLM_SPACE_LOCAL);
}

template <class Access>
void write(const VLMCharacter* character, VLMCharacterState* state, const Access& access, const void* base)
{
    const auto* layout = access.layout;
    if (!usable(character, state, layout, base))
        return;
    const Pose p = poseOf(character, state);
    const bool local = layout->space == VLM_SPACE_LOCAL;
    forEachListed(layout->nodeIds, static_cast<const unsigned char*>(base), layout->stride,
                  [&](int id, const unsigned char* r) { writeNode(p, local, id, access.take(r)); });
    if (local)
        finishLocalWrite(p, layout->nodeIds);
}

template <class Access>
void read(const VLMCharacter* character, VLMCharacterState* state, const Access& access, void* base, bool refresh)
{
    const auto* layout = access.layout;
    if (!usable(character, state, layout, base))
        return;
    const Pose p = poseOf(character, state);
    const bool local = layout->space == VLM_SPACE_LOCAL;
    if (local)
        prepareLocalRead(p, layout->nodeIds, refresh);
    forEachListed(layout->nodeIds, static_cast<unsigned char*>(base), layout->stride,
                  [&](int id, unsigned char* r) { access.put(r, readNode(p, local, id)); });
}

// --- Packets -----------------------------------------------------------------------

struct Packet {
    VLMTransformTQS lane[4];
};

void unpack(const unsigned char* packet, const VLMNodeRecordLayout* layout, Packet& out)
{
    VLMTransformTQS* x = out.lane;
    VLMTQS4Unpack(x[0].t, x[0].q, x[0].s, x[1].t, x[1].q, x[1].s, x[2].t, x[2].q, x[2].s, x[3].t, x[3].q, x[3].s,
                  &AlignedAt(packet, layout->offsetT), &AlignedAt(packet, layout->offsetQ),
                  &AlignedAt(packet, layout->offsetS));
}

void pack(unsigned char* packet, const VLMNodeRecordLayout* layout, const Packet& in)
{
    const VLMTransformTQS* x = in.lane;
    VLMTQS4Pack(&AlignedAt(packet, layout->offsetT), &AlignedAt(packet, layout->offsetQ),
                &AlignedAt(packet, layout->offsetS), x[0].t, x[0].q, x[0].s, x[1].t, x[1].q, x[1].s, x[2].t, x[2].q,
                x[2].s, x[3].t, x[3].q, x[3].s);
}

// f(packet, group, count) for each packet that serves entries: count 4 for a
// full group, 1..3 for the entries before the end mark (the last packet).
template <class Byte, class F>
void forEachPacket(const std::int32_t* ids, Byte* packet, std::int64_t stride, F f)
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

void writePackets(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                  const void* base)
{
    if (!usable(character, state, layout, base))
        return;
    const Pose p = poseOf(character, state);
    const bool local = layout->space == VLM_SPACE_LOCAL;
    forEachPacket(layout->nodeIds, static_cast<const unsigned char*>(base), layout->stride,
                  [&](const unsigned char* packet, const std::int32_t* group, int count) {
                      Packet x;
                      unpack(packet, layout, x);
                      for (int j = 0; j < count; ++j)
                          if (group[j] != VLM_LIST_SKIP)
                              writeNode(p, local, group[j], x.lane[j]);
                  });
    if (local)
        finishLocalWrite(p, layout->nodeIds);
}

void readPackets(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout, void* base)
{
    if (!usable(character, state, layout, base))
        return;
    const Pose p = poseOf(character, state);
    const bool local = layout->space == VLM_SPACE_LOCAL;
    if (local)
        prepareLocalRead(p, layout->nodeIds, false);
    forEachPacket(layout->nodeIds, static_cast<unsigned char*>(base), layout->stride,
                  [&](unsigned char* packet, const std::int32_t* group, int count) {
                      bool whole = count == 4;
                      for (int j = 0; j < count; ++j)
                          whole = whole && group[j] != VLM_LIST_SKIP;
                      Packet x;
                      if (!whole)
                          unpack(packet, layout, x);
                      for (int j = 0; j < count; ++j)
                          if (group[j] != VLM_LIST_SKIP)
                              x.lane[j] = readNode(p, local, group[j]);
                      pack(packet, layout, x);
                  });
}

}  // namespace

void VLMSetNodeStates(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                      const void* base)
{
    VLMScopedFPGuard guard;
    write(character, state, Records{layout, Fields::TQS}, base);
}

void VLMSetNodeStatesTQ(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                        const void* base)
{
    VLMScopedFPGuard guard;
    write(character, state, Records{layout, Fields::TQ}, base);
}

void VLMWriteNodeStateMatrices(const VLMCharacter* character, VLMCharacterState* state,
                               const VLMNodeMatrixLayout* layout, const void* base)
{
    VLMScopedFPGuard guard;
    write(character, state, Matrices{layout}, base);
}

void VLMSetNodeStatesSoA(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                         const void* base)
{
    VLMScopedFPGuard guard;
    writePackets(character, state, layout, base);
}

void VLMGetNodeStates(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                      void* base)
{
    VLMScopedFPGuard guard;
    read(character, state, Records{layout, Fields::TQS}, base, true);
}

void VLMGetNodeStatesTQ(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                        void* base)
{
    VLMScopedFPGuard guard;
    read(character, state, Records{layout, Fields::TQ}, base, false);
}

void VLMGetNodeStatesQ(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                       void* base)
{
    VLMScopedFPGuard guard;
    read(character, state, Records{layout, Fields::Q}, base, false);
}

void VLMReadNodeStateMatrices(const VLMCharacter* character, VLMCharacterState* state,
                              const VLMNodeMatrixLayout* layout, void* base)
{
    VLMScopedFPGuard guard;
    read(character, state, Matrices{layout}, base, true);
}

void VLMGetNodeStatesSoA(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                         void* base)
{
    VLMScopedFPGuard guard;
    readPackets(character, state, layout, base);
}
