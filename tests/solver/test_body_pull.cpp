#include "solver_test_util.h"

namespace {

using namespace soltest;

// Leg pulls beyond reach move the hips along them, continuously per lane; bit 0 beats the spine-only pass.
TEST(BodyPull, PullsMoveTheHipsAlongThem)
{
    fixtures::Proportions shortLegs = fixtures::Typical();
    shortLegs.leg = 0.8f;
    Posed s(shortLegs, 5);
    VLMEffectorSetLayout* set = s.effectors();
    set->effectors[VLM_LEFT_ANKLE_EFFECTOR].t.y -= 15.0f;
    const std::vector<VLMStateRow> before = s.snapshot();
    const P3 legs = 0.5 * (At(s.row(2).globalT) + At(s.row(5).globalT));
    const P3 pull = At(set->effectors[VLM_LEFT_ANKLE_EFFECTOR].t) - At(s.row(2).globalT);
    VLMScopedFPGuard guard;
    const auto run = [&](int n) {
        Restore(s, before);
        VLMSolveBodyPull(s.c(), s.rows(), set, &s.properties, n, true, false, false, false, false);
        VLMTreeLocalToGlobal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
        return s.snapshot();
    };
    for (int n : {0, 10, 30}) {
        run(n);
        const P3 moved = 0.5 * (At(s.row(2).globalT) + At(s.row(5).globalT)) - legs;
        EXPECT_GT(Len(moved), 0.5) << n;
        EXPECT_GT(Dot(moved, pull) / (Len(moved) * Len(pull)), 0.9) << n;
    }
    const std::vector<VLMStateRow> base = run(10);
    double worst = 0;
    for (int e : {0, 1, 2, 3, 4, 5, 9, 10, 11, 13, 15, 16}) {
        for (int lane = 0; lane < 4; ++lane) {
            float& v = (&set->blend[e].x)[lane];
            v += 1e-3f;
            run(10);
            v -= 1e-3f;
            worst = std::fmax(worst, s.moved(base));
        }
    }
    // The stretched chest end follows its pulled goal, so a pull's lane carries through to the arms and head: a
    // 1e-3 step moves a node by up to about 0.21 cm (0.021 at 1e-4, in proportion: a slope, not a jump).
    EXPECT_LT(worst, 0.25);
    const auto ankleMiss = [&](bool bodyPull) {
        Restore(s, before);
        if (bodyPull) {
            VLMSolveBodyPull(s.c(), s.rows(), set, &s.properties, 10, true, false, false, false, false);
        } else {
            VLMSpineGoal goal;
            VLMInitSpineGoal(&goal);
            VLMFillSpineGoal(&goal, set);
            VLMVector4 limiter = V(1, 0.1f, 1, 1);
            VLMSolveSpineStretch(s.c(), s.rows(), &goal, &s.properties, S(0), S(0), &limiter, true);
        }
        VLMTreeLocalToGlobal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
        VLMSolveLimbChainLimited(s.c(), s.rows(), set, &s.properties, VLMCharacterLimb(s.c(), 0));
        return Len(At(s.row(4).globalT) - At(set->effectors[VLM_LEFT_ANKLE_EFFECTOR].t));
    };
    EXPECT_LT(ankleMiss(true), ankleMiss(false) - 1.0);
    for (float e : {1.0f, 2.4f, 6.4f})
        EXPECT_EQ(VLMPoweredStiffness(S(0), e).x, 0.0f);
}

// Every reach lane 1 and every pull 0 but the one given, whose effector is put at `goal`.
void PullOnly(Posed& s, int effector, const P3& goal)
{
    for (VLMVector4& lane : s.effectors()->blend)
        lane = V(1, 1, 0, 0);
    s.effectors()->effectors[effector].t = V(float(goal.x), float(goal.y), float(goal.z), 0);
    s.effectors()->blend[effector] = V(1, 1, 1, 0);
}

void SolveBodyPull(const Posed& s)
{
    VLMScopedFPGuard guard;
    VLMSolveBodyPull(s.c(), s.rows(), s.effectors(), &s.properties, 10, true, false, false, false, false);
    VLMTreeLocalToGlobal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
}

P3 ChestEnd(const Posed& s)
{
    VLMVector4 t, q, scale;
    VLMComputeEffectorFromPose(s.c(), t, q, scale, s.rows(), VLM_CHEST_END_EFFECTOR, &s.properties);
    return At(t);
}

// A wrist pulled 60 beyond its shoulder: the chest end follows the pull and the chest twists about the spine
// the way the pull turns the arm's root about the chest end.
TEST(BodyPull, AnArmPullMovesTheChestAlongItAndTwistsItTowardTheArm)
{
    const P3 directions[4] = {{0, 0.2, 1}, {0.7, 0.3, 0.7}, {-0.7, 0.3, 0.7}, {0, 0.3, -1}};
    int twisted = 0;
    for (unsigned seed = 1; seed <= 4; ++seed) {
        for (VLMArmSide side : {VLM_ARM_SIDE_LEFT, VLM_ARM_SIDE_RIGHT}) {
            for (const P3& towards : directions) {
                Posed s(fixtures::Typical(), seed);
                const int root = side ? VLM_NODE_LEFT_ARM : VLM_NODE_RIGHT_ARM, chest = VLM_NODE_SPINE1 + 1;
                const P3 dir = (1 / Len(towards)) * towards, from = At(s.row(root).globalT);
                const P3 end = ChestEnd(s), spine = end - At(s.row(VLM_NODE_HIPS).globalT), goal = from + 60.0 * dir;
                const VLMVector4 turned = s.row(chest).globalQ;
                PullOnly(s, side ? VLM_LEFT_WRIST_EFFECTOR : VLM_RIGHT_WRIST_EFFECTOR, goal);
                // The other arm's shoulder holds all: a pull read through the wrong side's hold would vanish.
                s.effectors()->blend[side ? VLM_RIGHT_SHOULDER_EFFECTOR : VLM_LEFT_SHOULDER_EFFECTOR] = V(1, 1, 1, 0);
                SolveBodyPull(s);
                SCOPED_TRACE(::testing::Message() << "seed " << seed << ", side " << side << ", toward " << dir.x << " "
                                                  << dir.y << " " << dir.z);
                const P3 moved = ChestEnd(s) - end;
                EXPECT_GT(Dot(moved, dir), std::fmax(2.0, 0.3 * Len(moved)));
                EXPECT_LT(Len(goal - At(s.row(root).globalT)), Len(goal - from) - 2.0);
                const D4 d = mathtest::Hamilton(Wide(s.row(chest).globalQ), mathtest::Conj(Wide(turned)));
                const double twist = 2 * std::atan2(Dot(P3{d[0], d[1], d[2]}, spine) / Len(spine), d[3]);
                const double asked = Dot(Cross(from - end, dir), spine) / (Len(from - end) * Len(spine));
                // A pull that turns the root about the spine. A pull this near reach also moves the chest end
                // along it as far as twice its first length, which leaves a little less to twist.
                if (std::fabs(asked) > 0.3) {
                    EXPECT_GT(asked > 0 ? twist : -twist, 0.045);
                    ++twisted;
                }
            }
        }
    }
    EXPECT_GT(twisted, 24);
}

// The limbs' moves of the body stay within their bounds: both ankles pulled 150 beyond reach shift the hips by at
// most half a leg; ankles 8 beyond reach whose goals lie turned 1.5 rad about the spine turn the hips, their turns
// added up over 32 iterations, by at most half a radian; and two hands pulled 8 beyond reach, one forward and one
// back, whose arcs twist the chest the same way, ask for that twist once in each iteration: over two iterations they
// twist it well short of twice as far as either alone.
TEST(BodyPull, LimbPullsStayWithinTheirBoundsAndTwoHandsTwistTheChestOnce)
{
    int atBound = 0;
    for (unsigned seed = 1; seed <= 4; ++seed) {
        Posed s(fixtures::Typical(), seed);
        const std::vector<VLMStateRow> start = s.snapshot();
        const P3 hips = At(s.row(VLM_NODE_HIPS).globalT), end = ChestEnd(s);
        const P3 spine = (1 / Len(end - hips)) * (end - hips);
        const P3 across = At(s.row(VLM_NODE_LEFT_ARM).globalT) - At(s.row(VLM_NODE_RIGHT_ARM).globalT);
        const P3 front = (1 / Len(Cross(spine, across))) * Cross(spine, across);
        const VLMVector4 hipsTurn = s.row(VLM_NODE_HIPS).globalQ, chestTurn = s.row(VLM_NODE_SPINE1 + 1).globalQ;
        const auto length = [&](int root) {
            return Len(At(s.row(root + 1).globalT) - At(s.row(root).globalT)) +
                   Len(At(s.row(root + 2).globalT) - At(s.row(root + 1).globalT));
        };
        // Each effector pulling toward its goal (given by the limb's root), every other lane reaching without
        // pulling; the pull run over `iterations`.
        const auto pull = [&](std::initializer_list<std::pair<int, P3>> goals, int iterations) {
            Restore(s, start);
            for (VLMVector4& lane : s.effectors()->blend)
                lane = V(1, 1, 0, 0);
            for (const auto& g : goals) {
                s.effectors()->effectors[g.first].t = V(float(g.second.x), float(g.second.y), float(g.second.z), 0);
                s.effectors()->blend[g.first] = V(1, 1, 1, 0);
            }
            VLMScopedFPGuard guard;
            VLMSolveBodyPull(s.c(), s.rows(), s.effectors(), &s.properties, iterations, true, false, false, false,
                             false);
            VLMTreeLocalToGlobal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
        };
        // Goals by the limbs' roots as they start.
        const auto below = [&](int root, double beyond, double turn) {
            Restore(s, start);
            const P3 r = At(s.row(root).globalT) - hips;
            const P3 turned =
                std::cos(turn) * r + std::sin(turn) * Cross(spine, r) + (1 - std::cos(turn)) * Dot(spine, r) * spine;
            return hips + turned - (length(root) + beyond) * spine;
        };
        const auto twist = [&]() {  // the chest's about the spine
            const D4 d = mathtest::Hamilton(Wide(s.row(VLM_NODE_SPINE1 + 1).globalQ), mathtest::Conj(Wide(chestTurn)));
            return std::fabs(2 * std::atan2(Dot(P3{d[0], d[1], d[2]}, spine), d[3]));
        };
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        pull({{VLM_LEFT_ANKLE_EFFECTOR, below(VLM_NODE_LEFT_UP_LEG, 150, 0)},
              {VLM_RIGHT_ANKLE_EFFECTOR, below(VLM_NODE_RIGHT_UP_LEG, 150, 0)}},
             10);
        const double shifted = Len(At(s.row(VLM_NODE_HIPS).globalT) - hips), leg = length(VLM_NODE_LEFT_UP_LEG);
        EXPECT_GT(shifted, 0.4 * leg);
        EXPECT_LT(shifted, 0.5 * leg + 0.1);
        pull({{VLM_LEFT_ANKLE_EFFECTOR, below(VLM_NODE_LEFT_UP_LEG, 8, 1.5)},
              {VLM_RIGHT_ANKLE_EFFECTOR, below(VLM_NODE_RIGHT_UP_LEG, 8, 1.5)}},
             30);
        const double turned = TurnAngle(s.row(VLM_NODE_HIPS).globalQ, hipsTurn);
        EXPECT_LT(turned, 0.5 + 1e-3);
        atBound += turned > 0.45;
        const auto reach = [&](int root, double sense) {
            Restore(s, start);
            return At(s.row(root).globalT) + (length(root) + 8) * (sense * front);
        };
        pull({{VLM_LEFT_WRIST_EFFECTOR, reach(VLM_NODE_LEFT_ARM, 1)}}, 0);
        const double left = twist();
        pull({{VLM_RIGHT_WRIST_EFFECTOR, reach(VLM_NODE_RIGHT_ARM, -1)}}, 0);
        const double alone = std::fmax(left, twist());
        pull({{VLM_LEFT_WRIST_EFFECTOR, reach(VLM_NODE_LEFT_ARM, 1)},
              {VLM_RIGHT_WRIST_EFFECTOR, reach(VLM_NODE_RIGHT_ARM, -1)}},
             0);
        EXPECT_GT(alone, 0.2);
        EXPECT_LT(twist(), 1.75 * alone);
    }
    EXPECT_GE(atBound, 3);
}

// A head effector 5 from the neck, or pulled with lane 0, moves nothing; 45 from it, the chest end moves toward
// it and the neck comes closer; with the chest's position held, the chest turns until the neck points at it.
TEST(BodyPull, AHeadPullActsBeyondTheNeckByItsLane)
{
    const P3 directions[4] = {{0, 0.2, 1}, {0.7, 0.3, 0.7}, {-0.7, 0.3, 0.7}, {0, 0.3, -1}};
    const struct {
        double distance;
        float lane, held;
    } cases[] = {{5, 1, 0}, {45, 0, 0}, {45, 1, 0}, {45, 1, 1}};
    for (unsigned seed = 1; seed <= 4; ++seed) {
        for (const P3& towards : directions) {
            const P3 dir = (1 / Len(towards)) * towards;
            Posed s(fixtures::Typical(), seed);
            const std::vector<VLMStateRow> start = s.snapshot();
            const P3 neck = At(s.row(VLM_NODE_NECK).globalT), end = ChestEnd(s);
            PullOnly(s, VLM_HEAD_EFFECTOR, neck);
            SolveBodyPull(s);
            const std::vector<VLMStateRow> still = s.snapshot();
            for (const auto& c : cases) {
                Restore(s, start);
                const P3 goal = neck + c.distance * dir;
                PullOnly(s, VLM_HEAD_EFFECTOR, goal);
                s.effectors()->blend[VLM_HEAD_EFFECTOR].z = c.lane;
                s.effectors()->blend[VLM_CHEST_END_EFFECTOR].z = c.held;
                SolveBodyPull(s);
                SCOPED_TRACE(::testing::Message()
                             << "seed " << seed << ", toward " << dir.x << " " << dir.y << " " << dir.z << ", case "
                             << c.distance << " " << c.lane << " " << c.held);
                const P3 moved = ChestEnd(s) - end, to = At(s.row(VLM_NODE_NECK).globalT);
                if (c.distance < 10 || c.lane == 0) {
                    EXPECT_LT(s.moved(still), 1e-3);
                } else if (c.held == 0) {
                    EXPECT_GT(Dot(moved, dir), std::fmax(2.0, 0.3 * Len(moved)));
                    EXPECT_LT(Len(goal - to), c.distance - 2.0);
                } else {
                    const auto off = [&](const P3& p, const P3& from) {
                        return std::acos(Dot(p - from, goal - from) / (Len(p - from) * Len(goal - from)));
                    };
                    EXPECT_LT(off(to, ChestEnd(s)), std::fmin(0.15, 0.25 * off(neck, end)));
                }
            }
        }
    }
}

// A head effector beyond the Neck-to-Head chain pulls the neck toward it; one within the chain does not.
TEST(BodyPull, HeadBeyondTheNecksReachPullsTheChest)
{
    Posed s(fixtures::Typical(), 2);
    VLMEffectorSetLayout* set = s.effectors();
    const P3 neck = At(s.row(VLM_NODE_NECK).globalT);
    const double chain = Len(At(s.row(VLM_NODE_NECK1).globalT) - neck) +
                         Len(At(s.row(VLM_NODE_HEAD).globalT) - At(s.row(VLM_NODE_NECK1).globalT));
    const P3 up = (1 / Len(At(s.row(VLM_NODE_HEAD).globalT) - neck)) * (At(s.row(VLM_NODE_HEAD).globalT) - neck);
    const std::vector<VLMStateRow> before = s.snapshot();
    VLMScopedFPGuard guard;
    // The neck's distance to the effector after a pull with the head's pull lane on or off.
    const auto remaining = [&](double distance, float pull) {
        Restore(s, before);
        const P3 at = neck + distance * up;
        set->effectors[VLM_HEAD_EFFECTOR].t = V(float(at.x), float(at.y), float(at.z), 0);
        set->blend[VLM_HEAD_EFFECTOR] = V(1, 1, pull, 0);
        VLMSolveBodyPull(s.c(), s.rows(), set, &s.properties, 10, true, false, false, false, false);
        VLMTreeLocalToGlobal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
        return Len(at - At(s.row(VLM_NODE_NECK).globalT));
    };
    EXPECT_LT(remaining(1.3 * chain, 1), remaining(1.3 * chain, 0) - 0.05 * chain);
    EXPECT_NEAR(remaining(0.8 * chain, 1), remaining(0.8 * chain, 0), 1e-3);
}

// A head goal beyond the neck's reach turns the chest toward it but not the head with it: the neck and head keep the
// world turn they came in with, at every distance the goal leaves reach by, and through a frame whose hips turn 12
// degrees (the spine carried with them, the head still, as a take's jerking hips leave a longer spine built up from
// them), where a head riding the chest turned with whatever the pull asked of it.
TEST(BodyPull, AHeadPullTurnsTheChestButNotTheHead)
{
    const P3 directions[3] = {{1, 0.2, 0.3}, {-0.7, 0.5, 0.4}, {0.3, 0.1, -1}};
    double chestTurned = 0;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        for (const P3& towards : directions) {
            Posed s(fixtures::Typical(), seed);
            const std::vector<VLMStateRow> start = s.snapshot();
            const P3 neck = At(s.row(VLM_NODE_NECK).globalT), dir = (1 / Len(towards)) * towards;
            const double reach = Len(At(s.row(VLM_NODE_HEAD).globalT) - neck);
            const VLMVector4 head = s.row(VLM_NODE_HEAD).globalQ, chest = s.row(VLM_NODE_SPINE1).globalQ;
            for (bool jerked : {false, true}) {
                for (double d : {1.1, 1.4, 2.0}) {
                    Restore(s, start);
                    if (jerked) {
                        const VLMNodeRecord* records = VLMCharacterNodeRecords(s.c());
                        VLMStateRow* hips = VLMNodeRow(s.c(), s.rows(), VLM_NODE_HIPS);
                        hips->globalQ = VLMQuatMultiply(VLMQuatAboutAxis(V(0, 1, 0, 0), 0.21f), hips->globalQ);
                        VLMNodeGlobalToLocal(VLMCharacterNodeRecord(s.c(), VLM_NODE_HIPS), s.rows(), records);
                        VLMTreeLocalToGlobal(s.c(), s.rows(), records);
                        VLMNodeRow(s.c(), s.rows(), VLM_NODE_HEAD)->globalQ = head;
                        VLMNodeGlobalToLocal(VLMCharacterNodeRecord(s.c(), VLM_NODE_HEAD), s.rows(), records);
                    }
                    PullOnly(s, VLM_HEAD_EFFECTOR, neck + d * reach * dir);
                    SolveBodyPull(s);
                    SCOPED_TRACE(::testing::Message() << "seed " << seed << ", toward " << dir.x << " " << dir.y << " "
                                                      << dir.z << ", " << d << " of the reach, jerked " << jerked);
                    EXPECT_LT(TurnAngle(s.row(VLM_NODE_HEAD).globalQ, head), 1e-3);
                    chestTurned = std::fmax(chestTurned, TurnAngle(s.row(VLM_NODE_SPINE1).globalQ, chest));
                }
            }
        }
    }
    EXPECT_GT(chestTurned, 0.2);  // the chest did turn toward the goals
}

// A chest-end goal four spine lengths away, squash and stretch on: over all its iterations the pull stretches the
// spine no further than one stretch may, 1 + 2 SnSSpineFreedom times its length.
TEST(BodyPull, StretchesTheSpineNoFurtherOverAllIterationsThanOnce)
{
    for (bool limits : {false, true}) {
        Posed s(fixtures::Typical(), 3, limits);
        s.properties.entries[vlm_entry::SnSReachChestEnd].value = 1.0f;
        s.properties.entries[vlm_entry::SnSSpineFreedom].value = 0.5f;
        const P3 spine = At(s.row(VLM_NODE_SPINE).globalT);
        PullOnly(s, VLM_CHEST_END_EFFECTOR, spine + 4.0 * (ChestEnd(s) - spine));
        SolveBodyPull(s);
        const double bone = Len(At(VLMCharacterTPoseEntry(s.c(), VLM_NODE_SPINE1)->t) -
                                At(VLMCharacterTPoseEntry(s.c(), VLM_NODE_SPINE)->t));
        const double stretch = Len(At(s.row(VLM_NODE_SPINE1).localT)) / bone;
        EXPECT_GT(stretch, 1.5) << limits;
        EXPECT_LE(stretch, 2.0 + 1e-4) << limits;
    }
}

// Between its iterations the pull refreshes only the trunk; what it hands back has every global below the hips
// (fingers, neck chain, forearms) up to date with the locals, the neck's root turned back by the head's pull too.
TEST(BodyPull, LeavesEveryGlobalBelowTheHipsUpToDate)
{
    for (const fixtures::Proportions& p : {fixtures::Minimal(), fixtures::Full()}) {
        Posed s(p, 4, true);
        VLMEffectorSetLayout* set = s.effectors();
        set->effectors[VLM_LEFT_WRIST_EFFECTOR].t.z += 25.0f;
        set->effectors[VLM_HEAD_EFFECTOR].t.y += 20.0f;
        set->blend[VLM_HEAD_EFFECTOR] = V(1, 0, 1, 0);  // the head pulling: the neck's root keeps its world turn
        const std::vector<VLMStateRow> before = s.snapshot();
        VLMScopedFPGuard guard;
        VLMSolveBodyPull(s.c(), s.rows(), set, &s.properties, 3, true, true, true, true, true);
        const std::vector<VLMStateRow> solved = s.snapshot();
        EXPECT_GT(s.moved(before), 1.0);
        VLMSubtreeLocalToGlobal(VLMCharacterNodeRecord(s.c(), VLM_NODE_HIPS), s.rows(), VLMCharacterNodeRecords(s.c()));
        EXPECT_TRUE(Unchanged(s, solved));
    }
}

// (x - a) m below the zone, its linear continuation above, continuous; the select form bit-identical.
TEST(BodyPull, SoftExcess)
{
    const struct {
        float a, b, f, r, s;
    } cases[] = {{10, 14, 1, 0.5f, 1}, {10, 14, 0.3f, 0.5f, 2}, {10, 10, 0.5f, 1, 1}, {3, 9, 0, 0.2f, 0.7f}};
    for (const auto& c : cases) {
        const float m = c.f;  // x >= a in the zone
        const float lo = c.b - (c.b - c.a) * m, hi = ((c.b - lo) * 1.5f + lo) * (1 - m) + c.b * m;
        auto excess = [&](float x) { return VLMSoftExcess(S(x), S(c.a), S(c.b), S(c.f), S(c.r), S(c.s)).x; };
        EXPECT_NEAR(excess(lo - 1e-3f), excess(lo + 1e-3f), 1e-2);
        EXPECT_NEAR(excess(hi - 1e-3f), excess(hi + 1e-3f), 1e-2);
        EXPECT_FLOAT_EQ(excess(c.a - 2), (-2) * c.r * c.f * c.s);
        EXPECT_FLOAT_EQ(excess(hi + 5), ((hi + 5 - c.b) * (1 - m) + (hi + 5 - c.a) * m) * c.s);
        for (float x = c.a - 5; x < hi + 5; x += 0.01f) {
            const VLMVector4 xs = V(x, x + 0.003f, x - 0.007f, x * 1.01f);
            EXPECT_TRUE(SameBits(VLMSoftExcess(xs, S(c.a), S(c.b), S(c.f), S(c.r), S(c.s)),
                                 VLMSoftExcessSelect(xs, S(c.a), S(c.b), S(c.f), S(c.r), S(c.s))))
                << x;
        }
    }
}

}  // namespace
