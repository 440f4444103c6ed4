#include "rig/solver/vlm_blend.h"
#include "rig/solver/vlm_bulk.h"
#include "rig/solver/vlm_compose.h"
#include "rig/solver/vlm_effector_frame.h"
#include "rig/solver/vlm_effector_matrix.h"
#include "rig/solver/vlm_runtime_entries.h"
#include "rig/solver/vlm_solver_access.h"

#include "solver_fixtures.h"
#include "solver_test_util.h"
#include "test_fpenv.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

// Everything an entry may need, made once.
struct World {
    fixtures::Scene scene{fixtures::Typical(), {true, {}, true, false, 2}, {}};
    fixtures::Scene other{fixtures::Typical(), {true, {}, true, false, 3}, {}};
    const VLMCharacter* c = scene.c();
    VLMCharacterState* s = scene.state.get();
    VLMCharacterState* o = other.state.get();
    VLMEffectorSetState* e = scene.set.get();
    const VLMPropertySetState* p = &scene.properties;
    alignas(16) float f[64] = {1, 2, 3, 0, 0, 0, 0, 1, 1, 1, 1, 1, 0.5f, 0.5f, 0.5f, 0.5f,
                               0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1, 0,    0,    0,    1};
    double d[64] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1, 0, 0, 0, 1, 1, 1, 1, 1};
    VLMVector4 v[4] = {{1, 2, 3, 0}, {0, 0, 0, 1}, {1, 1, 1, 1}, {0, 0, 0, 0}};
    VLMTransformTQS record = {{0, 0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1, 1}};
    const std::int32_t ids[4] = {3, -1, 1, -2};
    const VLMNodeRecordLayout nodes = {1, 0, 0, 16, 32, 48, ids};
    const VLMNodeMatrixLayout matrices = {1, 0, 0, 64, ids};
    const VLMEffectorRecordLayout effectors = {0, 16, 32, 48, 64, ids};
    alignas(16) float records[4][48] = {};
};

World& TheWorld()
{
    static World world;
    return world;
}

struct Entry {
    const char* name;
    std::function<void(World&)> run;
};

// clang-format off
const Entry kEntries[] = {
    {"PutStateInTPose", [](World& w) { VLMPutStateInTPose(w.c, w.s); }},
    {"PutStateInZeroPose", [](World& w) { VLMPutStateInZeroPose(w.c, w.s); }},
    {"AddStanceOffsets", [](World& w) { VLMAddStanceOffsetsToState(w.c, w.s); }},
    {"RemoveStanceOffsets", [](World& w) { VLMRemoveStanceOffsetsFromState(w.c, w.s); }},
    {"TransferPoseAndUpdate", [](World& w) { VLMTransferPoseAndUpdate(w.c, w.s, w.c, w.o, w.p); }},
    {"SetEffectorsFromPose", [](World& w) { VLMSetEffectorsFromPose(w.c, w.e, w.s, w.p); }},
    {"CopyCharacterState", [](World& w) { VLMCopyCharacterState(w.s, w.o); }},
    {"ClampPose", [](World& w) { VLMClampPoseToRotationLimits(w.c, w.s); }},
    {"MirrorPoseInFrame", [](World& w) { VLMMirrorPoseInFrame(nullptr, w.s, w.o, w.c, w.d + 16); }},
    {"GetContactPoint", [](World& w) { (void)VLMGetContactPoint(w.c, w.s, w.p, 2, 4, w.f + 32); }},
    {"GetContactPointMatrixd", [](World& w) { (void)VLMGetContactPointMatrixd(w.c, w.s, w.p, 1, 2, w.d + 32); }},
    {"ReadEffectorMatrix", [](World& w) { VLMReadEffectorMatrix(w.e, 3, w.f + 32); }},
    {"ReadEffectorMatrixd", [](World& w) { VLMReadEffectorMatrixd(w.e, 3, w.d + 32); }},
    {"WriteEffectorMatrix", [](World& w) { VLMWriteEffectorMatrix(w.e, 3, w.f + 16); }},
    {"WriteEffectorMatrixd", [](World& w) { VLMWriteEffectorMatrixd(w.e, 3, w.d); }},
    {"ReadExtremityMatrix", [](World& w) { VLMReadExtremityMatrix(w.e, 1, w.f + 32); }},
    {"ReadExtremityMatrixd", [](World& w) { VLMReadExtremityMatrixd(w.e, 1, w.d + 32); }},
    {"WriteExtremityMatrix", [](World& w) { VLMWriteExtremityMatrix(w.e, 1, w.f + 16); }},
    {"WriteExtremityMatrixd", [](World& w) { VLMWriteExtremityMatrixd(w.e, 1, w.d); }},
    {"ReadPoseEffectorMatrix", [](World& w) { VLMReadPoseEffectorMatrix(w.c, 10, w.s, w.p, w.f + 32); }},
    {"ReadPoseEffectorMatrixd", [](World& w) { VLMReadPoseEffectorMatrixd(w.c, 10, w.s, w.p, w.d + 32); }},
    {"SetPivotMatrix", [](World& w) { VLMSetEffectorStatePivotMatrix(w.e, 4, w.f + 16, w.f); }},
    {"SetPivotMatrixd", [](World& w) { VLMSetEffectorStatePivotMatrixd(w.e, 4, w.d, w.d + 16); }},
    {"SetPivotTQS", [](World& w) { VLMSetEffectorStatePivotTQS(w.e, 4, w.f, w.f + 4, w.f + 8, w.f); }},
    {"SetPivotTQSd", [](World& w) { VLMSetEffectorStatePivotTQSd(w.e, 4, w.d, w.d + 16, w.d + 20, w.d); }},
    {"GetPivotTQS", [](World& w) { VLMGetEffectorStatePivotTQS(w.e, 4, w.f + 32, w.f + 36, w.f + 40, w.f); }},
    {"GetPivotTQSd", [](World& w) { VLMGetEffectorStatePivotTQSd(w.e, 4, w.d + 32, w.d + 36, w.d + 40, w.d); }},
    {"GetPivotMatrix", [](World& w) { VLMGetEffectorStatePivotMatrix(w.e, 4, w.f + 32, w.f); }},
    {"GetPivotMatrixd", [](World& w) { VLMGetEffectorStatePivotMatrixd(w.e, 4, w.d + 32, w.d); }},
    {"TQSPostMultiply", [](World& w) { VLMTQSPostMultiply(&w.record, &w.v[0], &w.v[1], &w.v[2], 1); }},
    {"TQSPreMultiply", [](World& w) { VLMTQSPreMultiply(&w.record, &w.v[0], &w.v[1], &w.v[2], 1); }},
    {"PostMultiplyNodeMatrix", [](World& w) { VLMPostMultiplyNodeStateMatrix(w.c, w.s, 3, w.f + 16, 1); }},
    {"PostMultiplyNodeMatrixd", [](World& w) { VLMPostMultiplyNodeStateMatrixd(w.c, w.s, 3, w.d, 0); }},
    {"PostMultiplyNodeTQS", [](World& w) { VLMPostMultiplyNodeStateTQS(w.c, w.s, 3, w.f, w.f + 4, w.f + 8, 1); }},
    {"PostMultiplyNodeTQSd", [](World& w) { VLMPostMultiplyNodeStateTQSd(w.c, w.s, 3, w.d, w.d + 16, w.d + 20, 1); }},
    {"PreMultiplyNodeTQS", [](World& w) { VLMPreMultiplyNodeStateTQS(w.c, w.s, 3, w.f, w.f + 4, w.f + 8, 1); }},
    {"PreMultiplyNodeTQSd", [](World& w) { VLMPreMultiplyNodeStateTQSd(w.c, w.s, 3, w.d, w.d + 16, w.d + 20, 1); }},
    {"PreMultiplyCharacter", [](World& w) { VLMPreMultiplyCharacterStateTQS(w.c, w.s, w.f, w.f + 4, w.f + 8, 1); }},
    {"PreMultiplyCharacterd", [](World& w) { VLMPreMultiplyCharacterStateTQSd(w.c, w.s, w.d, w.d + 16, w.d + 20, 1); }},
    {"PostMultiplyEffectorMatrix", [](World& w) { VLMPostMultiplyEffectorStateMatrix(w.e, 2, w.f + 16, 1); }},
    {"PostMultiplyEffectorMatrixd", [](World& w) { VLMPostMultiplyEffectorStateMatrixd(w.e, 2, w.d, 1); }},
    {"PostMultiplyEffectorTQS", [](World& w) { VLMPostMultiplyEffectorStateTQS(w.e, 2, w.f, w.f + 4, w.f + 8, 1); }},
    {"PostMultiplyEffectorTQSd", [](World& w) { VLMPostMultiplyEffectorStateTQSd(w.e, 2, w.d, w.d + 16, w.d + 20, 1); }},
    {"SetEffectorTQS", [](World& w) { VLMSetEffectorTQS(w.c, 5, w.e, w.f, w.f + 4, w.f + 8); }},
    {"SetEffectorTQSd", [](World& w) { VLMSetEffectorTQSd(w.c, 5, w.e, w.d, w.d + 16, w.d + 20); }},
    {"SetEffectorTQ", [](World& w) { VLMSetEffectorTQ(w.c, 5, w.e, w.f, w.f + 4); }},
    {"SetEffectorTQSAligned", [](World& w) { VLMSetEffectorTQSAligned(w.c, 5, w.e, &w.v[0], &w.v[1], &w.v[2]); }},
    {"SetEffectorMatrix", [](World& w) { VLMSetEffectorMatrix(w.c, 5, w.e, w.f + 16); }},
    {"SetEffectorMatrixd", [](World& w) { VLMSetEffectorMatrixd(w.c, 5, w.e, w.d); }},
    {"GetEffectorTQS", [](World& w) { VLMGetEffectorTQS(w.c, 5, w.e, w.f + 32, w.f + 36, w.f + 40); }},
    {"GetEffectorTQSd", [](World& w) { VLMGetEffectorTQSd(w.c, 5, w.e, w.d + 32, w.d + 36, w.d + 40); }},
    {"GetEffectorMatrix", [](World& w) { VLMGetEffectorMatrix(w.c, 5, w.e, w.f + 32); }},
    {"GetEffectorMatrixd", [](World& w) { VLMGetEffectorMatrixd(w.c, 5, w.e, w.d + 32); }},
    {"SetEffectors", [](World& w) { VLMSetEffectors(w.c, w.e, &w.effectors, w.records); }},
    {"GetEffectors", [](World& w) { VLMGetEffectors(w.c, w.e, &w.effectors, w.records); }},
    {"GetPoseEffectorTQS", [](World& w) { VLMGetPoseEffectorTQS(25, w.c, w.s, w.p, w.f + 32, w.f + 36, w.f + 40); }},
    {"GetPoseEffectorTQSd", [](World& w) { VLMGetPoseEffectorTQSd(0, w.c, w.s, w.p, w.d + 32, w.d + 36, w.d + 40); }},
    {"GetPoseEffectorMatrix", [](World& w) { VLMGetPoseEffectorMatrix(10, w.c, w.s, w.p, w.f + 32); }},
    {"GetPoseEffectorMatrixd", [](World& w) { VLMGetPoseEffectorMatrixd(10, w.c, w.s, w.p, w.d + 32); }},
    {"GetPoseEffectorTQSRows", [](World& w) { VLMGetPoseEffectorTQSRows(&w.v[0], &w.v[1], &w.v[3], 3, w.c, VLMStateFirstRow(w.s), w.p); }},
    {"BlendTQS", [](World& w) { VLMBlendEffectorStateTQS(w.e, 6, w.f, w.f + 4, w.f + 8, w.f, w.f + 12, w.f + 13, 2); }},
    {"BlendTQSd", [](World& w) { VLMBlendEffectorStateTQSd(w.e, 6, w.d, w.d + 16, w.d + 20, w.d, w.d + 16, w.d + 17, 1); }},
    {"BlendMatrix", [](World& w) { VLMBlendEffectorStateMatrix(w.e, 6, w.f + 16, w.f, w.f + 12, w.f + 13, 1); }},
    {"BlendMatrixd", [](World& w) { VLMBlendEffectorStateMatrixd(w.e, 6, w.d, w.d + 16, w.d + 16, w.d + 17, 1); }},
    {"SetNodeStates", [](World& w) { VLMSetNodeStates(w.c, w.s, &w.nodes, w.records); }},
    {"SetNodeStatesTQ", [](World& w) { VLMSetNodeStatesTQ(w.c, w.s, &w.nodes, w.records); }},
    {"WriteNodeStateMatrices", [](World& w) { VLMWriteNodeStateMatrices(w.c, w.s, &w.matrices, w.records); }},
    {"SetNodeStatesSoA", [](World& w) { VLMSetNodeStatesSoA(w.c, w.s, &w.nodes, w.records); }},
    {"GetNodeStates", [](World& w) { VLMGetNodeStates(w.c, w.s, &w.nodes, w.records); }},
    {"GetNodeStatesTQ", [](World& w) { VLMGetNodeStatesTQ(w.c, w.s, &w.nodes, w.records); }},
    {"GetNodeStatesQ", [](World& w) { VLMGetNodeStatesQ(w.c, w.s, &w.nodes, w.records); }},
    {"ReadNodeStateMatrices", [](World& w) { VLMReadNodeStateMatrices(w.c, w.s, &w.matrices, w.records); }},
    {"GetNodeStatesSoA", [](World& w) { VLMGetNodeStatesSoA(w.c, w.s, &w.nodes, w.records); }},
};
// clang-format on

class Guard : public ::testing::TestWithParam<Entry> { };

// Every entry hands the caller's unusual control word back.
TEST_P(Guard, RestoresTheCallerWord)
{
    World& w = TheWorld();
    EXPECT_TRUE(RestoresCallerWord([&] { GetParam().run(w); }));
}

INSTANTIATE_TEST_SUITE_P(Periphery, Guard, ::testing::ValuesIn(kEntries),
                         [](const ::testing::TestParamInfo<Entry>& param) { return std::string(param.param.name); });

}  // namespace
