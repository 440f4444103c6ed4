#include "solver_test_util.h"

namespace {

using namespace soltest;

// A sampled pose (forward bends, rolls twisting only) and the limb helpers.
struct LimbScene : fixtures::Scene {
    LimbScene(const fixtures::Proportions& p, bool limits, unsigned seed, float amplitude = 0.5f)
        : fixtures::Scene(p, {limits, {}, true, false, seed}, {amplitude, 0.3f, 10.0f, true, true})
    {
    }
    const VLMLimb* limb(int k) const { return VLMCharacterLimb(c(), k); }
    const VLMStateRow& row(int k, int slot) const { return rows()[limb(k)->slotIndex[slot]]; }
    P3 joint(int k, int slot) const { return At(row(k, slot).globalT); }
    double length(int k) const { return Len(joint(k, 3) - joint(k, 1)) + Len(joint(k, 5) - joint(k, 3)); }
    // Interior angle at the middle joint.
    double interior(int k) const
    {
        const P3 a = joint(k, 1) - joint(k, 3), b = joint(k, 5) - joint(k, 3);
        return std::acos(std::fmax(-1.0, std::fmin(1.0, Dot(a, b) / (Len(a) * Len(b)))));
    }
    void solve(int k) const
    {
        VLMScopedFPGuard guard;
        VLMSolveLimbChainLimited(c(), rows(), effectors(), &properties, limb(k));
    }
    void solveTargets(int k) const
    {
        VLMLimbGoalBlock block;
        VLMInitLimbGoalBlock(&block);
        VLMFillLimbGoalBlock(&block, VLMCharacterExtremity(c(), limb(k)->extremityIndex), effectors());
        VLMScopedFPGuard guard;
        VLMSolveLimbChainTargets(c(), rows(), &block, &properties, k < 2, k % 2 == 0);
    }
    // Only the end effector reaches, by translation, for `target`.
    void aimEnd(int k, const P3& target) const
    {
        std::memset(effectors()->blend, 0, sizeof effectors()->blend);
        goal(k, 2, target, V(1, 0, 0, 0));
    }
    // The goal translation and lanes of effector slot 0..3 (upper, middle, end, extremity).
    void goal(int k, int slot, const P3& t, const VLMVector4& lanes) const
    {
        const int e = limb(k)->effectors[slot];
        effectors()->effectors[e].t = V(float(t.x), float(t.y), float(t.z), 0);
        effectors()->blend[e] = lanes;
    }
    P3 axis(int k) const { return At(VLMQuatRotate(row(k, limb(k)->upperSegmentCount).globalQ, limb(k)->axis)); }
    // The middle joint turned in the world about `about` (unit), its subtree following.
    void turnMiddle(int k, const P3& about, double angle) const
    {
        const VLMNodeRecord* records = VLMCharacterNodeRecords(c());
        const VLMNodeRecord* middle = &records[limb(k)->slotIndex[VLM_SLOT_MIDDLE]];
        VLMStateRow& r = rows()[middle->ownIndex];
        r.globalQ = VLMQuatMultiply(
            VLMQuatFromAxisAngle(S(float(angle)), V(float(about.x), float(about.y), float(about.z), 0)), r.globalQ);
        VLMNodeGlobalToLocal(middle, rows(), records);
        VLMSubtreeLocalToGlobal(middle, rows(), records);
    }
    // The bend about the world bend axis, segments taken across it: > 0 forward.
    double bend(int k) const
    {
        const P3 n = axis(k), u = joint(k, 3) - joint(k, 1), l = joint(k, 5) - joint(k, 3);
        const P3 a = u - Dot(u, n) * n, b = l - Dot(l, n) * n;
        return std::atan2(Dot(Cross(a, b), n), Dot(a, b));
    }
    // The limb's rows against a snapshot: within tol x height and tol radians.
    ::testing::AssertionResult unmoved(const std::vector<VLMStateRow>& before, int k, double tol) const
    {
        for (int slot = 1; slot < VLM_LIMB_SLOT_COUNT; ++slot) {
            const int r = limb(k)->slotIndex[slot];
            if (r < 0)
                continue;
            const double moved = Len(At(rows()[r].globalT) - At(before[r].globalT));
            const double turned = TurnAngle(rows()[r].globalQ, before[r].globalQ);
            if (moved > tol * 177.0 || turned > tol)
                return ::testing::AssertionFailure() << "slot " << slot << " moved " << moved << ", turned " << turned;
        }
        return ::testing::AssertionSuccess();
    }
};

fixtures::Proportions WithRetargetLengths(fixtures::Proportions p)
{
    const fixtures::Proportions r = fixtures::Retarget();
    p.height = r.height, p.arm = r.arm, p.leg = r.leg, p.spine = r.spine, p.hipWidth = r.hipWidth;
    return p;
}

// Against the closed-form two-bone solution (limbs bent 30 degrees or more): reach, angle, lengths, side.
TEST(LimbChain, MatchesTheAnalyticTwoBoneSolution)
{
    int solved = 0;
    for (const fixtures::Proportions& p : {fixtures::Typical(), WithRetargetLengths(fixtures::Typical()),
                                           fixtures::Full(), WithRetargetLengths(fixtures::Full())}) {
        for (unsigned seed = 1; seed <= 8; ++seed) {
            LimbScene s(p, false, seed);
            std::mt19937 rng(seed);
            for (int k = 0; k < 4; ++k) {
                if (s.interior(k) > M_PI * 5 / 6)
                    continue;
                ++solved;
                const P3 up = s.joint(k, 1);
                const double l1 = Len(s.joint(k, 3) - up), l2 = Len(s.joint(k, 5) - s.joint(k, 3));
                const double d =
                    std::uniform_real_distribution<double>(std::fabs(l1 - l2) + 1e-3 * (l1 + l2), 0.8 * (l1 + l2))(rng);
                const P3 target = up + d * RandomDirection(rng);
                s.aimEnd(k, target);
                s.solve(k);
                SCOPED_TRACE(::testing::Message() << p.height << " " << p.rolls << ", seed " << seed << ", limb " << k);
                const P3 mid = s.joint(k, 3), end = s.joint(k, 5);
                EXPECT_LT(Len(end - target), 1e-4 * (l1 + l2));
                EXPECT_NEAR(s.interior(k), std::acos((l1 * l1 + l2 * l2 - d * d) / (2 * l1 * l2)), 1e-4);
                EXPECT_NEAR(Len(mid - up), l1, 1e-5 * l1);
                EXPECT_NEAR(Len(end - mid), l2, 1e-5 * l2);
                const VLMLimb* limb = s.limb(k);
                const P3 axis = At(VLMQuatRotate(s.row(k, limb->upperSegmentCount).globalQ, limb->axis));
                EXPECT_GT(Dot(Cross(mid - up, end - mid), axis), 0.0);
            }
        }
    }
    EXPECT_GT(solved, 64);
}

// Out of reach: aimed and opened to the maximum angle; near full extension the roll flag matters.
TEST(LimbChain, ExtensionIsLimitedToTheMaximumAngle)
{
    const int entries[4] = {vlm_entry::LeftLegMaxExtensionAngle, vlm_entry::RightLegMaxExtensionAngle,
                            vlm_entry::LeftArmMaxExtensionAngle, vlm_entry::RightArmMaxExtensionAngle};
    for (unsigned seed = 1; seed <= 4; ++seed) {
        for (int k = 0; k < 4; ++k) {
            const float degrees[4] = {180, 150, 120, 165};
            LimbScene s(fixtures::Typical(), false, seed);
            std::mt19937 rng(seed + 10 * k);
            s.properties.entries[entries[k]].value = degrees[k];
            const P3 up = s.joint(k, 1), dir = RandomDirection(rng);
            s.aimEnd(k, up + 1.5 * s.length(k) * dir);
            s.solve(k);
            SCOPED_TRACE(::testing::Message() << "seed " << seed << ", limb " << k);
            EXPECT_GT(Dot(s.joint(k, 5) - up, dir) / Len(s.joint(k, 5) - up), 1 - 1e-6);
            EXPECT_NEAR(s.interior(k), degrees[k] * M_PI / 180 - 1e-2, 1.1e-2);

            P3 ends[2];
            for (std::uint32_t flag : {0u, 1u}) {
                LimbScene t(fixtures::Typical(), false, seed);
                const P3 reach = t.joint(k, 5) - t.joint(k, 1);
                t.aimEnd(k, t.joint(k, 1) + (0.99 * t.length(k) / Len(reach)) * reach);
                t.effectors()->blend[t.limb(k)->effectors[1]].w = 1.0f;  // middle stiffness: k = 0.5
                t.effectors()->rollCaptured = flag;
                t.solve(k);
                ends[flag] = t.joint(k, 5);
            }
            EXPECT_GT(Len(ends[0] - ends[1]), 1e-3);
        }
    }
}

// Goals from the pose (reach 1, default pulls) or all lanes 0: the limb stays where it is.
TEST(LimbChain, FixedPoints)
{
    for (unsigned seed = 1; seed <= 6; ++seed) {
        LimbScene s(seed % 2 ? fixtures::Typical() : fixtures::Full(), false, seed);
        VLMEffectorSetLayout* set = s.effectors();
        VLMSetPullAndStiffnessFromProperties(s.set.get(), &s.properties);
        VLMComputeEffectorsFromPose(s.c(), set, s.rows(), &s.properties);
        for (VLMVector4& lane : set->blend)
            lane.x = lane.y = 1.0f;
        const std::vector<VLMStateRow> before = s.snapshot();
        for (int k = 0; k < 4; ++k) {
            s.solve(k);
            EXPECT_TRUE(s.unmoved(before, k, 1e-4)) << "limited, seed " << seed << ", limb " << k;
            s.solveTargets(k);
            EXPECT_TRUE(s.unmoved(before, k, 1e-4)) << "targets, seed " << seed << ", limb " << k;
        }
        std::memset(set->blend, 0, sizeof set->blend);
        for (int k = 0; k < 4; ++k) {
            s.solve(k);
            EXPECT_TRUE(s.unmoved(before, k, 1e-5)) << "lanes 0, seed " << seed << ", limb " << k;
        }
    }
}

// Middle goal, end placement, extension limit, bend frame step and flip keep what they must.
TEST(LimbChain, DesignInvariantsHold)
{
    VLMScopedFPGuard guard;
    for (unsigned seed = 1; seed <= 8; ++seed) {
        LimbScene s(fixtures::Typical(), false, seed);
        for (int k = 0; k < 4; ++k) {
            SCOPED_TRACE(::testing::Message() << "seed " << seed << ", limb " << k);
            const VLMLimb* limb = s.limb(k);
            VLMLimbChainJoints w;
            VLMResetLimbWorkRows(w.rows);
            VLMLimbChainGatherRows(limb, w.rows, s.rows());
            VLMSubtreeGlobalToLocal(&limb->slotRecords[1], w.rows, limb->slotRecords);
            VLMLimbChainGoal goal, g;
            VLMLimbChainInitGoal(&goal);
            VLMLimbChainGoalFromJoints(limb, &goal, w.rows);
            goal.lanes[3] = V(1, 0, 1, 0);
            const P3 end = At(w.rows[5].globalT), up = At(w.rows[1].globalT);
            g = goal;
            VLMLimbSolveMiddleGoal(limb, w.rows, &g);
            EXPECT_LT(Len(At(g.slots[2].t) - end), 1e-4 * 177);
            g = goal;
            const float reach = VLMLimbMaxReach(limb, w.rows, 180.0f, nullptr);
            VLMLimbPlaceEndForExtremity(limb, w.rows, &g, reach);
            EXPECT_LT(Len(At(g.slots[2].t) - end), 1e-4);
            g = goal;
            VLMLimbExtensionLimit(limb, w.rows, &g, reach);
            EXPECT_TRUE(SameBits(g.slots[2].t, w.rows[5].globalT));
            const P3 far = up + 1e3 * (end - up);
            g.slots[2].t = V(float(far.x), float(far.y), float(far.z), 0);
            VLMLimbExtensionLimit(limb, w.rows, &g, reach);
            EXPECT_NEAR(Len(At(g.slots[2].t) - up), reach, 2e-5 * reach);

            VLMLimbChainJoints turned = w;
            VLMStateRow& e = turned.rows[5];
            e.localQ =
                VLMQuatMultiply(VLMQuatFromAxisAngle(S(0.7f), limb->slotRecords[3].rotation.postAxes[0]), e.localQ);
            VLMVector4 f0, f1;
            VLMLimbBendFrame(limb, f0, w.rows);
            VLMLimbBendFrame(limb, f1, turned.rows);
            turned = w;
            turned.rows[3].globalQ = VLMQuatMultiply(VLMQuatMultiply(f1, VLMVector4NegateXYZ(f0)), w.rows[3].globalQ);
            VLMNodeGlobalToLocalRotation(&limb->slotRecords[3], turned.rows, limb->slotRecords);
            VLMSubtreeLocalToGlobal(&limb->slotRecords[3], turned.rows, limb->slotRecords);
            EXPECT_LT(Len(At(turned.rows[5].globalT) - end), 1e-4);

            auto bend = [&](const VLMLimbChainJoints& j) {
                const P3 n = At(VLMLimbWorldBendAxis(limb, j.rows));
                const P3 a = At(j.rows[3].globalT) - At(j.rows[1].globalT);
                const P3 b = At(j.rows[5].globalT) - At(j.rows[3].globalT);
                return std::atan2(Dot(Cross(a, b), n), Dot(a, b));
            };
            VLMLimbChainJoints flipped = w;
            VLMLimbFlipBend(limb, flipped.rows, nullptr);
            EXPECT_LT(Len(At(flipped.rows[5].globalT) - end), 1e-3);
            EXPECT_NEAR(bend(flipped), -bend(w), 1e-4);
            VLMLimbFlipBend(limb, flipped.rows, nullptr);
            for (int j = 1; j < VLM_LIMB_SLOT_COUNT; ++j)
                EXPECT_LT(TurnAngle(flipped.rows[j].globalQ, w.rows[j].globalQ), 1e-4) << j;
        }
    }
}

// Random goals: after each entry the upper and middle joints lie within limits.
TEST(LimbChain, LimitsHoldAfterEachEntry)
{
    for (unsigned seed = 1; seed <= 6; ++seed) {
        LimbScene s(fixtures::Typical(), true, seed, 0.9f);
        std::mt19937 rng(seed);
        VLMEffectorSetLayout* set = s.effectors();
        for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e) {
            set->effectors[e] = {mathtest::RandomVector(rng, 80, 0), mathtest::RandomUnitQuat(rng), V(1, 1, 1, 1)};
            set->effectors[e].t.y += 100;
            set->blend[e] = mathtest::RandomVector(rng, 1, 0.5f);
            set->blend[e] = V(std::fabs(set->blend[e].x), std::fabs(set->blend[e].y), std::fabs(set->blend[e].z), 0.5f);
        }
        const VLMRotationRecord* limits = VLMCharacterRotations(s.c());
        for (int k = 0; k < 4; ++k) {
            for (int entry = 0; entry < 3; ++entry) {
                if (entry == 0)
                    s.solve(k);
                else if (entry == 1)
                    s.solveTargets(k);
                else
                    VLMStretchLimbChain(s.c(), s.rows(), set, &s.properties, s.limb(k));
                for (int slot : {VLM_SLOT_UPPER, VLM_SLOT_MIDDLE}) {
                    const VLMRotationPart* part = &limits[s.limb(k)->slotRecords[slot].rotationIndex].part;
                    VLMVector4 angles;
                    VLMNodeEulerFromRotation(part, angles, s.row(k, slot).localQ);
                    for (int i = 0; i < 3; ++i) {
                        EXPECT_GE(mathtest::Lane(angles, i), part->minLimit[i] - 1e-5) << k << " " << entry;
                        EXPECT_LE(mathtest::Lane(angles, i), part->maxLimit[i] + 1e-5) << k << " " << entry;
                    }
                }
            }
        }
    }
}

// Bones scale by s = W (ratio - start) / (stop - start) (stop - 1) + 1; none when start >= stop or below start.
TEST(LimbChain, StretchScalesTheBonesByTheRatio)
{
    const struct {
        float start, stop, ratio, s;
    } cases[] = {
        {0.9f, 1.1f, 1.05f, 1.0f + 0.15f / 0.2f * 0.1f},
        {0.5f, 1.5f, 1.2f, 1.0f + 0.7f * 0.5f},
        {1.1f, 1.1f, 1.2f, 1.0f},
        {0.9f, 1.1f, 0.8f, 1.0f},
    };
    for (const auto& c : cases) {
        LimbScene s(fixtures::Typical(), false, 5);
        const int k = 2;
        s.properties.entries[vlm_entry::StretchStartArmsAndLegs].value = c.start;
        s.properties.entries[vlm_entry::StretchStopArmsAndLegs].value = c.stop;
        s.properties.entries[vlm_entry::SnSScaleArmsAndLegs].value = 0.5f;
        s.properties.entries[vlm_entry::SnSReachLeftWrist].value = 1.0f;
        const double l1 = Len(s.joint(k, 3) - s.joint(k, 1)), l2 = Len(s.joint(k, 5) - s.joint(k, 3));
        std::mt19937 rng(2);
        s.aimEnd(k, s.joint(k, 1) + c.ratio * (l1 + l2) * RandomDirection(rng));
        const std::vector<VLMStateRow> before = s.snapshot();
        {
            VLMScopedFPGuard guard;
            VLMStretchLimbChain(s.c(), s.rows(), s.effectors(), &s.properties, s.limb(k));
        }
        SCOPED_TRACE(::testing::Message() << "start " << c.start << ", ratio " << c.ratio);
        EXPECT_NEAR(Len(s.joint(k, 3) - s.joint(k, 1)), c.s * l1, 1e-4 * l1);
        EXPECT_NEAR(Len(s.joint(k, 5) - s.joint(k, 3)), c.s * l2, 1e-4 * l2);
        EXPECT_NEAR(s.row(k, 1).globalS.y, (c.s - 1) * 0.5 + 1, 1e-5);
        EXPECT_EQ(s.row(k, 5).globalS.y, 1.0f);
        EXPECT_TRUE(c.s != 1.0f || s.unmoved(before, k, 1e-6));
    }
}

// A goal at the upper joint folds the limb; coincident joints give no NaN.
TEST(LimbChain, DegenerateGeometryGivesNoNaN)
{
    LimbScene s(fixtures::Typical(), false, 7);
    const double before = s.interior(0);
    s.aimEnd(0, s.joint(0, 1));
    s.solve(0);
    EXPECT_TRUE(Finite(s));
    EXPECT_LT(s.interior(0), before);

    fixtures::Fixture f = fixtures::Build(fixtures::Typical(), {false, {}, false, false, 1});
    for (int id : {VLM_NODE_LEFT_FORE_ARM, VLM_NODE_LEFT_HAND, VLM_NODE_LEFT_FINGER_BASE})
        std::memcpy(f.records[id].translate, f.records[VLM_NODE_LEFT_ARM].translate, sizeof f.records[id].translate);
    VLMApplyJointGeometries(&f.definition, f.character.get(), f.records.data(), VLM_NODE_COUNT, nullptr);
    VLMCharacterStateHandle state = NewState(f.character.get());
    VLMStateRow* rows = VLMStateFirstRow(state.get());
    std::mt19937 rng(1);
    fixtures::SamplePose(f.character.get(), state.get(), rng, {});
    VLMEffectorSetLayout* e = s.effectors();
    for (int id = 0; id < VLM_EFFECTOR_COUNT; ++id)
        e->effectors[id].t = V(10, 100, 30, 0), e->blend[id] = V(1, 1, 0.5f, 0.5f);
    VLMScopedFPGuard guard;
    const VLMLimb* arm = VLMCharacterLimb(f.character.get(), 2);
    VLMSolveLimbChainLimited(f.character.get(), rows, e, &s.properties, arm);
    VLMStretchLimbChain(f.character.get(), rows, e, &s.properties, arm);
    VLMLimbChainJoints work;
    VLMResetLimbWorkRows(work.rows);
    VLMLimbChainGatherRows(arm, work.rows, rows);
    VLMLimbFlipBend(arm, work.rows, nullptr);
    EXPECT_TRUE(Finite(rows, int(VLMCharacterHeaderOf(f.character.get())->nodeCount)));
    EXPECT_TRUE(Finite(work.rows, VLM_LIMB_SLOT_COUNT));
}

// Limbs of both presets (with and without roll nodes) in sampled poses, every lane 0.
template <typename Check>
void ForEachLimb(Check check)
{
    for (const fixtures::Proportions& p : {fixtures::Typical(), fixtures::Full()}) {
        for (unsigned seed = 1; seed <= 6; ++seed) {
            for (int k = 0; k < 4; ++k) {
                LimbScene s(p, false, seed);
                std::memset(s.effectors()->blend, 0, sizeof s.effectors()->blend);
                std::mt19937 rng(seed * 4 + k);
                SCOPED_TRACE(::testing::Message() << "rolls " << p.rolls << ", seed " << seed << ", limb " << k);
                check(s, k, rng);
            }
        }
    }
}

double Between(std::mt19937& rng, double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }
double Angle(const P3& a, const P3& b)
{
    return std::acos(std::fmax(-1.0, std::fmin(1.0, Dot(a, b) / (Len(a) * Len(b)))));
}

// The end pass turns the limb about the upper-to-end line until the knee lies in the plane of its goal.
TEST(LimbChain, AKneeGoalTurnsTheBendPlaneThroughIt)
{
    ForEachLimb([](LimbScene& s, int k, std::mt19937& rng) {
        const P3 up = s.joint(k, 1);
        const double l1 = Len(s.joint(k, 3) - up);
        const P3 target = up + Between(rng, 0.45, 0.85) * s.length(k) * RandomDirection(rng);
        const P3 line = (1 / Len(target - up)) * (target - up);
        P3 knee, across;
        do {
            knee = up + 1.5 * l1 * RandomDirection(rng);
            across = (knee - up) - Dot(knee - up, line) * line;
        } while (Len(across) < 0.5 * l1);
        s.goal(k, 2, target, V(1, 0, 0, 0));
        s.goal(k, 1, knee, V(1, 0, 0, 0));
        s.goal(k, 0, up, V(0, 0, 0, 0));  // the knee goal is read against the goals' line from here to the end goal
        s.solve(k);
        const P3 normal = Cross(target - up, knee - up), mid = s.joint(k, 3);
        EXPECT_LT(Len(s.joint(k, 5) - target), 1e-3 * s.length(k));
        EXPECT_LT(std::fabs(Dot(mid - up, normal)) / Len(normal), 1e-3 * l1);
        EXPECT_GT(Dot(mid - up, across), 0.0);
    });
}

// Held at reach (its end goal 0.995 of its length out), the limb follows a knee goal stepped by 0.01 cm across the
// line from the upper joint to the end goal without spinning about that line: near straight the bend plane is
// steadied by the bend axis (unsteadied, the limb turns 95 to 177 degrees in one step).
TEST(LimbChain, AKneeGoalCrossingTheLineOfALimbHeldAtReachTurnsItSmoothly)
{
    ForEachLimb([](LimbScene& s, int k, std::mt19937& rng) {
        const P3 up = s.joint(k, 1), line = RandomDirection(rng), target = up + 0.995 * s.length(k) * line;
        const P3 r = RandomDirection(rng), side = r - Dot(r, line) * line, across = (1 / Len(side)) * side;
        s.goal(k, 2, target, V(1, 0, 0, 0));
        s.goal(k, 0, up, V(0, 0, 0, 0));
        const std::vector<VLMStateRow> start = s.snapshot();
        double worst = 0;
        VLMVector4 before = VLMConstant::IdentityQuat;
        for (int step = -100; step <= 100; ++step) {
            Restore(s, start);
            s.goal(k, 1, up + 0.5 * s.length(k) * line + 0.01 * step * across, V(1, 0, 0, 0));
            s.solve(k);
            if (step > -100)
                worst = std::fmax(worst, TurnAngle(s.row(k, 1).globalQ, before));
            before = s.row(k, 1).globalQ;
        }
        EXPECT_LT(worst * 180 / M_PI, 5.0);
    });
}

// Pulled by its knee goal, the limb aims its upper bone at it and its lower bone at the end goal.
TEST(LimbChain, AKneePullAimsTheUpperBoneAtTheKneeGoal)
{
    ForEachLimb([](LimbScene& s, int k, std::mt19937& rng) {
        const P3 up = s.joint(k, 1);
        const double l1 = Len(s.joint(k, 3) - up), l2 = Len(s.joint(k, 5) - s.joint(k, 3));
        const P3 knee = up + Between(rng, 0.5, 2.0) * l1 * RandomDirection(rng);
        const P3 target = up + Between(rng, 0.3, 1.2) * s.length(k) * RandomDirection(rng);
        s.goal(k, 1, knee, V(1, 0, 1, 0));
        s.goal(k, 2, target, V(1, 0, 0, 0));
        s.solve(k);
        const P3 mid = s.joint(k, 3), end = s.joint(k, 5);
        EXPECT_LT(Angle(mid - up, knee - up), 1e-3);
        EXPECT_LT(Angle(end - mid, target - mid), 1e-3);
        EXPECT_NEAR(Len(mid - up), l1, 1e-4 * l1);
        EXPECT_NEAR(Len(end - mid), l2, 1e-4 * l2);
    });
}

// Pulled by its extremity goal within reach, the limb puts its toe or finger base on it.
TEST(LimbChain, AnExtremityPullPutsTheTipOnItsGoal)
{
    ForEachLimb([](LimbScene& s, int k, std::mt19937& rng) {
        const P3 up = s.joint(k, 1);
        const double reach = s.length(k) + Len(s.joint(k, 6) - s.joint(k, 5));
        const P3 target = up + Between(rng, 0.4, 0.8) * reach * RandomDirection(rng);
        s.goal(k, 3, target, V(1, 0, 1, 0));
        s.solve(k);
        EXPECT_LT(Len(s.joint(k, 6) - target), 1e-3 * reach);
    });
}

// From backward, straight and slightly bent starts the limb ends bent forward with its end on the goal.
TEST(LimbChain, BackwardAndNearlyStraightStartsEndBentForwardOnTheGoal)
{
    for (const double degrees : {-90.0, -20.0, -5.0, 0.0, 5.0, 20.0}) {
        ForEachLimb([degrees](LimbScene& s, int k, std::mt19937& rng) {
            // The middle joint in its rest relation, then bent by `degrees` about the bend axis.
            const std::int32_t middle = s.limb(k)->slotIndex[VLM_SLOT_MIDDLE];
            s.rows()[middle].globalQ = s.rows()[VLMCharacterNodeRecords(s.c())[middle].parentIndex].globalQ;
            s.turnMiddle(k, s.axis(k), 0.0);
            s.turnMiddle(k, s.axis(k), degrees * M_PI / 180 - s.bend(k));
            ASSERT_NEAR(s.bend(k), degrees * M_PI / 180, 1e-4);

            const P3 up = s.joint(k, 1);
            const double l1 = Len(s.joint(k, 3) - up), l2 = Len(s.joint(k, 5) - s.joint(k, 3));
            const double d = Between(rng, 0.4, 0.9) * (l1 + l2);
            const P3 target = up + d * RandomDirection(rng);
            s.aimEnd(k, target);
            s.solve(k);
            SCOPED_TRACE(degrees);
            EXPECT_LT(Len(s.joint(k, 5) - target), 2e-3 * (l1 + l2));
            EXPECT_NEAR(s.bend(k), M_PI - std::acos((l1 * l1 + l2 * l2 - d * d) / (2 * l1 * l2)), 5e-3);
        });
    }
}

// With kill pitch the bend plane ends on the bend axis; without it the plane keeps its angle to the axis.
const int kKillPitch[4] = {vlm_entry::LeftKneeKillPitch, vlm_entry::RightKneeKillPitch, vlm_entry::LeftElbowKillPitch,
                           vlm_entry::RightElbowKillPitch};
TEST(LimbChain, KillPitchKeepsTheBendPlaneOnTheAxis)
{
    ForEachLimb([](LimbScene& s, int k, std::mt19937& rng) {
        const auto offAxis = [&] {
            return Angle(Cross(s.joint(k, 3) - s.joint(k, 1), s.joint(k, 5) - s.joint(k, 3)), s.axis(k));
        };
        // The lower bone turned about the upper one: the bend plane 0.2 to 0.6 radians off the axis.
        const P3 u = (1 / Len(s.joint(k, 3) - s.joint(k, 1))) * (s.joint(k, 3) - s.joint(k, 1)), n = s.axis(k);
        const P3 normal = Cross(u, s.joint(k, 5) - s.joint(k, 3)), across = n - Dot(n, u) * u;
        s.turnMiddle(k, u,
                     std::atan2(Dot(Cross(normal, across), u), Dot(normal, across)) +
                         (rng() % 2 ? 1 : -1) * Between(rng, 0.2, 0.6));
        const double before = offAxis();
        ASSERT_GT(before, 0.15);
        const std::vector<VLMStateRow> start = s.snapshot();
        const P3 target = s.joint(k, 1) + Between(rng, 0.5, 0.85) * s.length(k) * RandomDirection(rng);
        s.aimEnd(k, target);
        for (std::uint32_t mode : {0u, 1u}) {
            Restore(s, start);
            s.properties.entries[kKillPitch[k]].mode = mode;
            s.solve(k);
            EXPECT_LT(Len(s.joint(k, 5) - target), 1e-3 * s.length(k)) << mode;
            EXPECT_NEAR(offAxis(), mode ? 0.0 : before, 1e-2) << mode;
        }
    });
}

// The realistic knee turns the leg as the end goal's turn asks and swings it back onto the ankle: a model in double.
TEST(LimbChain, RealisticKneeTwistsTheLegAboutTheHipToAnkleLine)
{
    using mathtest::Conj;
    using mathtest::Hamilton;
    using mathtest::Normalized;
    const auto turn = [](const D4& q, const P3& v) {
        const D4 r = mathtest::Rotate(q, {v.x, v.y, v.z, 0});
        return P3{r[0], r[1], r[2]};
    };
    ForEachLimb([&](LimbScene& s, int k, std::mt19937& rng) {
        if (k > 1)
            return;
        const double share = k == 0 ? 1.0 : 0.5;
        s.properties.entries[k == 0 ? vlm_entry::RealisticLeftKneeSolving : vlm_entry::RealisticRightKneeSolving]
            .value = float(share);
        const P3 up = s.joint(k, 1), knee = s.joint(k, 3), end = s.joint(k, 5);
        const D4 qe = Wide(s.row(k, 5).globalQ);
        D4 t;
        P3 want;
        do {  // a goal turn that moves the knee by 5 mm at least
            const P3 axis = RandomDirection(rng);
            const double half = Between(rng, 0.4, 0.8);
            t = Hamilton({std::sin(half) * axis.x, std::sin(half) * axis.y, std::sin(half) * axis.z, std::cos(half)},
                         qe);
            // Half the turn from the ankle to its goal, its vector part times the share, applied at the hip.
            D4 d = Hamilton(Conj(qe), Normalized({qe[0] + t[0], qe[1] + t[1], qe[2] + t[2], qe[3] + t[3]}));
            d = Normalized({share * d[0], share * d[1], share * d[2], d[3]});
            const P3 from = turn(d, end - up), to = end - up, c = Cross(from, to);
            const D4 back = Normalized({c.x, c.y, c.z, Len(from) * Len(to) + Dot(from, to)});
            want = up + turn(back, turn(d, knee - up));
        } while (Len(want - knee) < 0.5);
        s.effectors()->effectors[s.limb(k)->effectors[2]].q = V(float(t[0]), float(t[1]), float(t[2]), float(t[3]));
        s.effectors()->blend[s.limb(k)->effectors[2]] = V(0, 1, 0, 0);
        s.solve(k);
        EXPECT_LT(Len(s.joint(k, 3) - want), 1e-2);
        EXPECT_LT(Len(s.joint(k, 5) - end), 1e-2);
    });
}

}  // namespace
