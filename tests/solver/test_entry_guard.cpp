#include "solver_test_util.h"
#include "test_fpenv.h"

#include <string>

namespace {

using namespace soltest;

// Everything an entry may need, made once.
VLMCharacterDefinition kDefinition = sample::FullDefinition();
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
    {"StateCreation", [](World& w) { VLMDestroyCharacterState(VLMCreateCharacterState(w.c, &Malloc), &std::free); VLMConstructCharacterState(w.c, w.o); }},
    {"StateSizes", [](World& w) { (void)VLMGetCharacterStateSize(w.c); (void)VLMGetCharacterStateSizeFromState(w.s); (void)VLMGetCharacterStateSizeForDefinition(&kDefinition); (void)VLMGetCharacterBlockSize(w.c); }},
    {"EffectorSetCreation", [](World& w) { (void)VLMGetEffectorSetStateSize(); VLMDestroyEffectorSetState(VLMCreateEffectorSetState(&Malloc), &std::free); VLMResetEffectorSetState(w.e); }},
    {"EffectorStateReads", [](World& w) { VLMGetEffectorStateTQS(w.e, 1, w.f + 32, w.f + 36, w.f + 40); VLMGetEffectorStateTQ(w.e, 1, w.f + 32, w.f + 36); VLMGetEffectorStateTQSAt(w.e, 1, w.f + 32, 0, 16, 32); }},
    {"EffectorStateLists", [](World& w) { VLMGetEffectorStateTQAt(w.e, 1, w.f + 32, 0, 16); VLMGetEffectorStates(w.e, &w.effectors, w.records); }},
    {"LaneSetters", [](World& w) { VLMSetEffectorReachT(w.e, 1, 0.5f); VLMSetEffectorReachR(w.e, 1, 0.5f); VLMSetEffectorPull(w.e, 1, 0.5f); VLMSetEffectorStiffness(w.e, 1, 0.5f); }},
    {"LaneGetters", [](World& w) { (void)(VLMGetEffectorReachT(w.e, 1) + VLMGetEffectorReachR(w.e, 1) + VLMGetEffectorPull(w.e, 1) + VLMGetEffectorStiffness(w.e, 1)); }},
    {"HandPullAndExtremity", [](World& w) { VLMSetHandPull(w.e, 1, VLMGetHandPull(w.e, 1) * 0.5f); VLMSetExtremityTQ(w.e, 1, w.f, w.f + 4); }},
    {"ExtremityTQ", [](World& w) { VLMSetExtremityTQd(w.e, 1, w.d + 12, w.d + 16); VLMGetExtremityTQ(w.e, 1, w.f + 32, w.f + 36); }},
    {"StagesAndStored", [](World& w) { VLMSetSolveStages(w.e, VLMGetSolveStages(w.e)); VLMSetNodeStoredTQS(w.c, w.s, 3, w.f, w.f + 4, w.f + 8); }},
    {"StoredTQSd", [](World& w) { VLMSetNodeStoredTQSd(w.c, w.s, 3, w.d + 12, w.d + 16, w.d + 20); VLMGetNodeStoredTQSd(w.c, w.s, 3, w.d + 32, w.d + 36, w.d + 40); }},
    {"StoredLists", [](World& w) { VLMSetNodeStoredStates(w.c, w.s, &w.nodes, w.records); VLMGetNodeStoredStates(w.c, w.s, &w.nodes, w.records); }},
    {"Blends", [](World& w) { VLMBlendCharacterStates(w.c, w.s, w.s, w.o, 0.5f); VLMBlendEffectorSetStates(w.e, w.e, w.e, 0.5f); }},
    {"DampAndSetTQS", [](World& w) { VLMDampLocalEulerAngles(w.c, w.s, 0.1f, 0.2f, 0.3f); VLMSetNodeStateTQS(w.c, w.s, 3, w.f, w.f + 4, w.f + 8); }},
    {"SetTQAndAt", [](World& w) { VLMSetNodeStateTQ(w.c, w.s, 0, w.f, w.f + 4); VLMSetNodeStateTQSAt(w.c, w.s, 3, w.f, 0, 16, 32); }},
    {"SetTQAtAndRotScale", [](World& w) { VLMSetNodeStateTQAt(w.c, w.s, 3, w.f, 0, 16); VLMSetNodeStateTQSRotScale(w.c, w.s, 3, w.f, w.f + 4, w.f + 8); }},
    {"SetTQSdAndMatrix", [](World& w) { VLMSetNodeStateTQSd(w.c, w.s, 3, w.d + 12, w.d + 16, w.d + 20); VLMWriteNodeStateMatrix(w.c, w.s, 3, w.f + 16); }},
    {"WriteMatrixdAndGetTQS", [](World& w) { VLMWriteNodeStateMatrixd(w.c, w.s, 3, w.d); VLMGetNodeStateTQS(w.c, w.s, 3, w.f + 32, w.f + 36, w.f + 40); }},
    {"GetTQAndAt", [](World& w) { VLMGetNodeStateTQ(w.c, w.s, 3, w.f + 32, w.f + 36); VLMGetNodeStateTQSAt(w.c, w.s, 3, w.f + 32, 0, 16, 32); }},
    {"GetTQAtAndRotScale", [](World& w) { VLMGetNodeStateTQAt(w.c, w.s, 3, w.f + 32, 0, 16); VLMGetNodeStateTQSRotScale(w.c, w.s, 3, w.f + 32, w.f + 36, w.f + 40); }},
    {"GetTQSdAndReadMatrix", [](World& w) { VLMGetNodeStateTQSd(w.c, w.s, 3, w.d + 32, w.d + 36, w.d + 40); VLMReadNodeStateMatrix(w.c, w.s, 3, w.f + 32); }},
    {"ReadMatrices", [](World& w) { VLMReadNodeStateMatrixd(w.c, w.s, 3, w.d + 32); VLMReadNodeStoredMatrix(w.c, w.s, 3, w.f + 32); VLMReadNodeStoredMatrixd(w.c, w.s, 3, w.d + 32); }},
    {"PoseSetUp", [](World& w) { VLMPutStateInTPose(w.c, w.s); VLMPutStateInZeroPose(w.c, w.s); }},
    {"StanceOffsets", [](World& w) { VLMAddStanceOffsetsToState(w.c, w.s); VLMRemoveStanceOffsetsFromState(w.c, w.s); }},
    {"TransferAndEffectors", [](World& w) { VLMTransferPoseAndUpdate(w.c, w.s, w.c, w.o, w.p); VLMSetEffectorsFromPose(w.c, w.e, w.s, w.p); }},
    {"CopyAndClamp", [](World& w) { VLMCopyCharacterState(w.s, w.o); VLMClampPoseToRotationLimits(w.c, w.s); }},
    {"MirrorPoseInFrame", [](World& w) { VLMMirrorPoseInFrame(nullptr, w.s, w.o, w.c, w.d + 16); }},
    {"ContactPoints", [](World& w) { (void)VLMGetContactPoint(w.c, w.s, w.p, 2, 4, w.f + 32); (void)VLMGetContactPointMatrixd(w.c, w.s, w.p, 1, 2, w.d + 32); }},
    {"EffectorMatrix", [](World& w) { VLMReadEffectorMatrix(w.e, 3, w.f + 32); VLMWriteEffectorMatrix(w.e, 3, w.f + 16); }},
    {"EffectorMatrixd", [](World& w) { VLMReadEffectorMatrixd(w.e, 3, w.d + 32); VLMWriteEffectorMatrixd(w.e, 3, w.d); }},
    {"ExtremityMatrix", [](World& w) { VLMReadExtremityMatrix(w.e, 1, w.f + 32); VLMWriteExtremityMatrix(w.e, 1, w.f + 16); }},
    {"ExtremityMatrixd", [](World& w) { VLMReadExtremityMatrixd(w.e, 1, w.d + 32); VLMWriteExtremityMatrixd(w.e, 1, w.d); }},
    {"ReadPoseEffectorMatrix", [](World& w) { VLMReadPoseEffectorMatrix(w.c, 10, w.s, w.p, w.f + 32); VLMReadPoseEffectorMatrixd(w.c, 10, w.s, w.p, w.d + 32); }},
    {"PivotMatrix", [](World& w) { VLMSetEffectorStatePivotMatrix(w.e, 4, w.f + 16, w.f); VLMGetEffectorStatePivotMatrix(w.e, 4, w.f + 32, w.f); }},
    {"PivotMatrixd", [](World& w) { VLMSetEffectorStatePivotMatrixd(w.e, 4, w.d, w.d + 16); VLMGetEffectorStatePivotMatrixd(w.e, 4, w.d + 32, w.d); }},
    {"PivotTQS", [](World& w) { VLMSetEffectorStatePivotTQS(w.e, 4, w.f, w.f + 4, w.f + 8, w.f); VLMGetEffectorStatePivotTQS(w.e, 4, w.f + 32, w.f + 36, w.f + 40, w.f); }},
    {"PivotTQSd", [](World& w) { VLMSetEffectorStatePivotTQSd(w.e, 4, w.d, w.d + 16, w.d + 20, w.d); VLMGetEffectorStatePivotTQSd(w.e, 4, w.d + 32, w.d + 36, w.d + 40, w.d); }},
    {"RecordPair", [](World& w) { VLMTQSPostMultiply(&w.record, &w.v[0], &w.v[1], &w.v[2], 1); VLMTQSPreMultiply(&w.record, &w.v[0], &w.v[1], &w.v[2], 1); }},
    {"PostMultiplyNodeMatrix", [](World& w) { VLMPostMultiplyNodeStateMatrix(w.c, w.s, 3, w.f + 16, 1); VLMPostMultiplyNodeStateMatrixd(w.c, w.s, 3, w.d, 0); }},
    {"PostMultiplyNodeTQS", [](World& w) { VLMPostMultiplyNodeStateTQS(w.c, w.s, 3, w.f, w.f + 4, w.f + 8, 1); VLMPostMultiplyNodeStateTQSd(w.c, w.s, 3, w.d, w.d + 16, w.d + 20, 1); }},
    {"PreMultiplyNodeTQS", [](World& w) { VLMPreMultiplyNodeStateTQS(w.c, w.s, 3, w.f, w.f + 4, w.f + 8, 1); VLMPreMultiplyNodeStateTQSd(w.c, w.s, 3, w.d, w.d + 16, w.d + 20, 1); }},
    {"PreMultiplyCharacter", [](World& w) { VLMPreMultiplyCharacterStateTQS(w.c, w.s, w.f, w.f + 4, w.f + 8, 1); VLMPreMultiplyCharacterStateTQSd(w.c, w.s, w.d, w.d + 16, w.d + 20, 1); }},
    {"PostMultiplyEffectorMatrix", [](World& w) { VLMPostMultiplyEffectorStateMatrix(w.e, 2, w.f + 16, 1); VLMPostMultiplyEffectorStateMatrixd(w.e, 2, w.d, 1); }},
    {"PostMultiplyEffectorTQS", [](World& w) { VLMPostMultiplyEffectorStateTQS(w.e, 2, w.f, w.f + 4, w.f + 8, 1); VLMPostMultiplyEffectorStateTQSd(w.e, 2, w.d, w.d + 16, w.d + 20, 1); }},
    {"SetEffectorTQS", [](World& w) { VLMSetEffectorTQS(w.c, 5, w.e, w.f, w.f + 4, w.f + 8); VLMSetEffectorTQSd(w.c, 5, w.e, w.d, w.d + 16, w.d + 20); }},
    {"SetEffectorTQ", [](World& w) { VLMSetEffectorTQ(w.c, 5, w.e, w.f, w.f + 4); VLMSetEffectorTQSAligned(w.c, 5, w.e, &w.v[0], &w.v[1], &w.v[2]); }},
    {"SetEffectorMatrix", [](World& w) { VLMSetEffectorMatrix(w.c, 5, w.e, w.f + 16); VLMSetEffectorMatrixd(w.c, 5, w.e, w.d); }},
    {"GetEffectorTQS", [](World& w) { VLMGetEffectorTQS(w.c, 5, w.e, w.f + 32, w.f + 36, w.f + 40); VLMGetEffectorTQSd(w.c, 5, w.e, w.d + 32, w.d + 36, w.d + 40); }},
    {"GetEffectorMatrix", [](World& w) { VLMGetEffectorMatrix(w.c, 5, w.e, w.f + 32); VLMGetEffectorMatrixd(w.c, 5, w.e, w.d + 32); }},
    {"EffectorLists", [](World& w) { VLMSetEffectors(w.c, w.e, &w.effectors, w.records); VLMGetEffectors(w.c, w.e, &w.effectors, w.records); }},
    {"PoseEffectorTQS", [](World& w) { VLMGetPoseEffectorTQS(25, w.c, w.s, w.p, w.f + 32, w.f + 36, w.f + 40); VLMGetPoseEffectorTQSd(0, w.c, w.s, w.p, w.d + 32, w.d + 36, w.d + 40); }},
    {"PoseEffectorMatrix", [](World& w) { VLMGetPoseEffectorMatrix(10, w.c, w.s, w.p, w.f + 32); VLMGetPoseEffectorMatrixd(10, w.c, w.s, w.p, w.d + 32); }},
    {"PoseEffectorTQSRows", [](World& w) { VLMGetPoseEffectorTQSRows(&w.v[0], &w.v[1], &w.v[3], 3, w.c, VLMStateFirstRow(w.s), w.p); }},
    {"BlendTQS", [](World& w) { VLMBlendEffectorStateTQS(w.e, 6, w.f, w.f + 4, w.f + 8, w.f, w.f + 12, w.f + 13, 2); VLMBlendEffectorStateTQSd(w.e, 6, w.d, w.d + 16, w.d + 20, w.d, w.d + 16, w.d + 17, 1); }},
    {"BlendMatrix", [](World& w) { VLMBlendEffectorStateMatrix(w.e, 6, w.f + 16, w.f, w.f + 12, w.f + 13, 1); VLMBlendEffectorStateMatrixd(w.e, 6, w.d, w.d + 16, w.d + 16, w.d + 17, 1); }},
    {"SetNodeStates", [](World& w) { VLMSetNodeStates(w.c, w.s, &w.nodes, w.records); VLMSetNodeStatesTQ(w.c, w.s, &w.nodes, w.records); }},
    {"WriteNodeStateMatrices", [](World& w) { VLMWriteNodeStateMatrices(w.c, w.s, &w.matrices, w.records); VLMSetNodeStatesSoA(w.c, w.s, &w.nodes, w.records); }},
    {"GetNodeStates", [](World& w) { VLMGetNodeStates(w.c, w.s, &w.nodes, w.records); VLMGetNodeStatesTQ(w.c, w.s, &w.nodes, w.records); }},
    {"GetNodeStatesQ", [](World& w) { VLMGetNodeStatesQ(w.c, w.s, &w.nodes, w.records); VLMGetNodeStatesSoA(w.c, w.s, &w.nodes, w.records); }},
    {"ReadNodeStateMatrices", [](World& w) { VLMReadNodeStateMatrices(w.c, w.s, &w.matrices, w.records); }},
};
// clang-format on

class Guard : public ::testing::TestWithParam<Entry> { };

// Every entry, pose state and runtime entries alike, hands the caller's unusual control word back.
TEST_P(Guard, RestoresTheCallerWord)
{
    World& w = TheWorld();
    EXPECT_TRUE(RestoresCallerWord([&] { GetParam().run(w); }));
}

INSTANTIATE_TEST_SUITE_P(Periphery, Guard, ::testing::ValuesIn(kEntries),
                         [](const ::testing::TestParamInfo<Entry>& param) { return std::string(param.param.name); });

}  // namespace
