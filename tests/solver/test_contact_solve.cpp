#include "solver_test_util.h"

namespace {

using namespace soltest;

constexpr int kLeftFoot = 2;

struct ContactScene : fixtures::Scene {
    ContactScene() : fixtures::Scene(fixtures::Full(), {false, {}, false, false, 1}, {}) { }
    int which = kLeftFoot;
    const VLMExtremity* extremity() const { return VLMCharacterExtremity(c(), which); }
    float& value(int role) { return properties.entries[extremity()->properties[role]].value; }
    // The end goal from a rotation and translation, the toe base at its rest offset.
    VLMLimbGoalBlock block(const VLMVector4& t, const VLMVector4& q, float floor) const
    {
        VLMLimbGoalBlock b{};
        const VLMVector4 rest = VLMVector4Sub(VLMCharacterTPoseEntry(c(), extremity()->baseNodeId)->t,
                                              VLMCharacterTPoseEntry(c(), extremity()->endNodeId)->t);
        b.slots[0] = {t, q, V(1, 1, 1, 1)};
        b.slots[1] = {VLMVector4Add(t, VLMQuatRotate(q, VLMVector4ClearW(rest))), q, V(1, 1, 1, 1)};
        b.frame = {V(0, floor, 0, 0), V(0, 0, 0, 1), V(1, 1, 1, 1)};
        return b;
    }
    // The lowest contact point from `first` on, before `end` (4: the front points of contact type 0).
    float lowest(const VLMLimbGoalBlock& b, int first = 0, int end = 6)
    {
        float m = 1e30f;
        const VLMTransformTQS &a = b.slots[0], &e = b.slots[1];
        for (int i = first; i < std::min(end, value(8) == 0.0f ? 6 : 4); ++i)
            m = std::fmin(m,
                          VLMContactPoint(c(), &p, extremity(), &properties, i, &a.t, &a.q, &a.s, &e.t, &e.q, &e.s)->y);
        return m;
    }
    VLMVector4 p;
    // The toe or finger goal q turned by t about its hinge (its own x for a foot, z for a hand), and the signed
    // angle about the hinge of the turn from q to r, in (-pi, pi].
    VLMVector4 turned(const VLMVector4& q, double t) const
    {
        const double s = std::sin(t / 2), x = extremity()->isFoot != 0 ? s : 0.0;
        const D4 r = mathtest::Hamilton(Wide(q), {x, 0.0, s - x, std::cos(t / 2)});
        return V(float(r[0]), float(r[1]), float(r[2]), float(r[3]));
    }
    double about(const VLMVector4& q, const VLMVector4& r) const
    {
        const D4 d = mathtest::Hamilton(mathtest::Conj(Wide(q)), Wide(r));
        const double t = 2 * std::atan2(extremity()->isFoot != 0 ? d[0] : d[2], d[3]);
        return t > kPi ? t - 2 * kPi : t <= -kPi ? t + 2 * kPi : t;
    }
    // Whether turning the goal by t puts both front points on the floor (within 1e-3; unless not floorToo) and keeps
    // its bend against the end goal, all the way, within a quarter turn or within the bend it had.
    bool lifts(const VLMLimbGoalBlock& b, double t, bool floorToo = true)
    {
        VLMLimbGoalBlock turn = b;
        turn.slots[1].q = turned(b.slots[1].q, t);
        const double bent = about(b.slots[1].q, b.slots[0].q);
        return (!floorToo || lowest(turn, 4) >= b.frame.t.y - 1e-3f) &&
               std::fabs(bent - t) <= std::fmax(kPi / 2, std::fabs(bent)) + 1e-4;
    }
    static constexpr double kPi = 3.141592653589793;
};

VLMVector4 Tilt(std::mt19937& rng, float range)
{
    std::uniform_real_distribution<float> a(-range, range);
    return VLMQuatFromEulerXYZ(V(a(rng), 3 * a(rng), a(rng), 0));
}

// Kind 2 leaves no contact point below the floor; kind 0 follows stiffness; others change nothing.
TEST(Contact, KindsLiftClampOrLeaveTheGoals)
{
    ContactScene s;
    s.properties.entries[vlm_entry::FloorContact].mode = 1;
    std::mt19937 rng(7);
    for (int i = 0; i < 20; ++i) {
        const float floor = i % 2 ? 5.0f : 0.0f;
        VLMLimbGoalBlock b = s.block(V(3, floor + float(i % 5) - 2, 1, 0), Tilt(rng, 0.5f), floor);
        VLMRunLimbSubSolver(s.c(), s.extremity(), &b, 2, &s.properties);
        EXPECT_GE(s.lowest(b), floor - 1e-4f) << i;
        const VLMLimbGoalBlock before = b;
        for (int kind : {-1, 3, 7}) {
            VLMRunLimbSubSolver(s.c(), s.extremity(), &b, kind, &s.properties);
            EXPECT_EQ(std::memcmp(&b, &before, sizeof b), 0) << kind;
        }
    }
    VLMLimbGoalBlock b = s.block(V(0, -2, 0, 0), V(0, 0, 0, 1), 0.0f);
    b.slots[1].t.y = 3;
    s.properties.entries[vlm_entry::ParamFootContactStiffness].value = 0.5f;
    VLMRunLimbSubSolver(s.c(), s.extremity(), &b, 0, &s.properties);
    EXPECT_EQ(b.slots[0].t.y, 0.0f);
    EXPECT_EQ(b.slots[1].t.y, 4.0f);
}

// Kind 1, pivot 1, contact type 0 or 1: the shape ends on the floor, the ankle keeps x and z.
TEST(Contact, RollAboutTheAnkle)
{
    ContactScene s;
    s.properties.entries[vlm_entry::FloorPivot].value = 1;
    std::mt19937 rng(3);
    for (float type : {0.0f, 1.0f}) {
        s.properties.entries[vlm_entry::FootContactType].value = type;
        for (int i = 0; i < 10; ++i) {
            VLMLimbGoalBlock b = s.block(V(4, float(i % 4), -2, 0), Tilt(rng, 0.6f), 0.0f);
            const VLMVector4 end = b.slots[0].t;
            VLMRunLimbSubSolver(s.c(), s.extremity(), &b, 1, &s.properties);
            EXPECT_NEAR(b.slots[0].t.x, end.x, 1e-4) << type << " " << i;
            EXPECT_NEAR(b.slots[0].t.z, end.z, 1e-4) << type << " " << i;
            EXPECT_GE(s.lowest(b), -1e-2) << type << " " << i;
        }
    }
}

// A level shape 3 below the floor only rises, at any goal scale and with the hoof turn (goal: toe base).
TEST(Contact, ScaledGoalRisesWithoutTurning)
{
    ContactScene s;
    const float r = 0.70710677f;
    const struct {
        float type;
        int slot;
        VLMVector4 q;
    } cases[] = {{1, 0, V(0, r, 0, r)}, {1, 0, V(0, 0, 0, 1)}, {3, 1, V(r, 0, 0, r)}};
    const float bottom = s.properties.entries[vlm_entry::FootBottomToAnkle].value;
    for (const auto& c : cases) {
        s.properties.entries[vlm_entry::FootContactType].value = c.type;
        VLMLimbGoalBlock b{};
        b.slots[c.slot] = {V(2, 2 * bottom - 3, 5, 0), c.q, V(2, 2, 2, 1)};
        b.slots[1 - c.slot] = b.slots[c.slot];
        VLMContactRollStep(s.c(), s.extremity(), &b, &s.properties);
        EXPECT_LT(TurnAngle(b.slots[c.slot].q, c.q), 1e-5) << c.type;
        EXPECT_NEAR(b.slots[c.slot].t.y, 2 * bottom, 1e-4) << c.type;
        EXPECT_EQ(b.slots[c.slot].s.x, 2.0f);
    }
}

// Kind 1 over a seeded sweep of foot and hand tilts and heights, toe and finger bends (straight down among
// them, where the lift's two senses tie), every contact type and pivot, the default sole and one below the base
// joint: no corner of the contact shape ends below the floor, the front included. On the same poses the lift of
// the front about its hinge turns the toe or finger within its range and never past the first angle of its sense
// that puts its front on the floor (not at all when the front is up), and raises both goals alike by what that
// turn leaves of the front below the floor, no more, so that the front ends on the floor.
TEST(Contact, RollLeavesNoCornerBelowTheFloor)
{
    ContactScene s;
    enum { kType = 8, kPivot = 11 };
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int which : {kLeftFoot, 1}) {  // 1: the right hand
        s.which = which;
        const bool foot = s.extremity()->isFoot != 0;
        const int across = foot ? 0 : 2;  // the axis the toes or fingers bend about
        const VLMVector4 base = VLMVector4Sub(VLMCharacterTPoseEntry(s.c(), s.extremity()->endNodeId)->t,
                                              VLMCharacterTPoseEntry(s.c(), s.extremity()->baseNodeId)->t);
        for (float bottom : {0.0f, base.y + 2.0f}) {  // the default; the sole 2 below the base joint
            s.value(1) = bottom;
            // The bend that points the middle of the front edge straight down.
            const float front = s.value(3) + s.value(4), side = s.extremity()->isRight != 0 ? -1.0f : 1.0f;
            const VLMVector4 mid = VLMVector4Add(base, foot ? V(0, -bottom, front, 0) : V(side * front, -bottom, 0, 0));
            const float down = foot ? float(std::atan2(double(mid.z), -double(mid.y)))
                                    : float(std::atan2(-double(mid.x), -double(mid.y)));
            for (float type : {0.0f, 1.0f, 2.0f, 3.0f}) {
                s.value(kType) = type;
                int worst = -1, missed = 0, folded = 0, firstMiss = -1, ties = 0;
                float deepest = 0.0f;
                const double step = ContactScene::kPi / 720;
                for (int i = 0; i < 300; ++i) {
                    s.value(kPivot) = float(i % 3);
                    const bool straightDown = type == 0.0f && i % 4 == 0;
                    const float floor = i % 2 ? 4.0f : 0.0f;
                    const VLMVector4 tilt =
                        straightDown ? VLMQuatFromEulerXYZ(V(0, 6 * unit(rng), 0, 0)) : Tilt(rng, 0.7f);
                    const float height = straightDown ? floor + bottom : floor + 8 * unit(rng) - 3;
                    VLMLimbGoalBlock b = s.block(V(4, height, -2, 0), tilt, floor);
                    VLMVector4 bend = V(0, 0, 0, 0);
                    (&bend.x)[across] = straightDown ? down : (foot ? 1 : -side) * (2.2f * unit(rng) - 1.7f);
                    b.slots[1].q = VLMQuatMultiply(tilt, VLMQuatFromEulerXYZ(bend));
                    if (type == 0.0f) {  // the lift alone: a turn about the hinge, in range, never past the floor
                        VLMLimbGoalBlock lifted = b;
                        VLMLiftFrontAboutHinge(s.c(), s.extremity(), &lifted, &s.properties);
                        // A foot may then be pitched about its ankle's cross axis, toe up, by at most 30 degrees,
                        // its ankle kept: undone, the lift is the turn about the hinge.
                        const D4 pitch =
                            mathtest::Hamilton(Wide(lifted.slots[0].q), mathtest::Conj(Wide(b.slots[0].q)));
                        const D4 x = mathtest::Rotate(Wide(b.slots[0].q), {1, 0, 0, 0});
                        const double sense = pitch[3] < 0 ? -1.0 : 1.0,
                                     pitched =
                                         2 * std::atan2(-sense * (pitch[0] * x[0] + pitch[1] * x[1] + pitch[2] * x[2]),
                                                        std::fabs(pitch[3]));
                        EXPECT_TRUE(pitched > -1e-4 && pitched < 0.5236 + 1e-4 && (foot || pitched < 1e-6) &&
                                    TurnAngle(lifted.slots[0].q, b.slots[0].q) < std::fabs(pitched) + 1e-4 &&
                                    lifted.slots[0].t.x == b.slots[0].t.x && lifted.slots[0].t.z == b.slots[0].t.z)
                            << which << " " << i << ": pitched " << pitched;
                        const D4 unpitched = mathtest::Hamilton(mathtest::Conj(pitch), Wide(lifted.slots[1].q));
                        const double t = s.about(b.slots[1].q, V(float(unpitched[0]), float(unpitched[1]),
                                                                 float(unpitched[2]), float(unpitched[3])));
                        double least[2] = {HUGE_VAL, HUGE_VAL};  // of each sense, the least turn that lifts
                        for (int k = 0; k * step <= ContactScene::kPi; ++k)
                            for (int j : {0, 1})
                                least[j] =
                                    least[j] == HUGE_VAL && s.lifts(b, (j ? -k : k) * step) ? k * step : least[j];
                        // Never past that of its own sense; one small turn against a far larger other: that one.
                        // The goals rise by what the turn leaves of the front below the floor, no more.
                        const int near = least[1] < least[0];
                        VLMLimbGoalBlock turn = b;  // turned, then pitched
                        const D4 toe = mathtest::Hamilton(pitch, Wide(s.turned(b.slots[1].q, t)));
                        const D4 toeAt = mathtest::Rotate(pitch, Wide(VLMVector4Sub(b.slots[1].t, b.slots[0].t)));
                        turn.slots[0].q = lifted.slots[0].q;
                        turn.slots[1].q = V(float(toe[0]), float(toe[1]), float(toe[2]), float(toe[3]));
                        turn.slots[1].t =
                            VLMVector4Add(b.slots[0].t, V(float(toeAt[0]), float(toeAt[1]), float(toeAt[2]), 0));
                        const double leaves = std::fmax(0.0, double(floor - s.lowest(turn, 4)));
                        const double raised = double(lifted.slots[0].t.y - b.slots[0].t.y);
                        const bool right = s.lifts(b, t, false) && std::fabs(t) <= least[t < 0] + 0.02 &&
                                           std::fabs(raised - leaves) < 2e-3 &&
                                           Len(At(lifted.slots[1].t) - At(turn.slots[1].t)) < raised + 1e-3 &&
                                           std::fabs(lifted.slots[1].t.y - turn.slots[1].t.y - raised) < 1e-3 &&
                                           s.lowest(lifted, 4) >= floor - 1e-3f &&
                                           (least[near] > 0.3 || least[1 - near] < least[near] + 1.5 ||
                                            std::fabs(std::fabs(t) - least[near]) < 0.02);
                        ties += straightDown && raised > 0.01;
                        folded += std::fabs(t) > ContactScene::kPi / 2;
                        if (!right || TurnAngle(lifted.slots[1].q, turn.slots[1].q) > 1e-4)
                            firstMiss = missed++ == 0 ? i : firstMiss;
                    }
                    VLMRunLimbSubSolver(s.c(), s.extremity(), &b, 1, &s.properties);
                    const float below = floor - s.lowest(b);
                    if (below > deepest)
                        deepest = below, worst = i;
                }
                EXPECT_LT(deepest, 2e-3f) << which << " " << bottom << " " << type << " " << worst;
                if (type == 0.0f) {
                    EXPECT_EQ(missed, 0) << which << " " << bottom << ": of 300 lifts, first at " << firstMiss
                                         << "; turned past a quarter turn: " << folded;
                    // Pointing straight down the senses tie: the front is held up by raising the goals.
                    EXPECT_GT(ties, 0) << which << " " << bottom;
                }
            }
        }
    }
}

// A foot or hand pitched toe or finger down into the floor, its end goal above the floor, so that one sense of the
// front's turn clearly wins (the other's turn 2.6 to 3.6 times as far): the front turns up to the floor by the
// least turn of that sense (as far as its range allows) and neither goal is raised. The first row is a foot pitched straight down, the ankle 6 over the floor,
// its front points 14 below: the toe turns about 82 degrees, nothing raised.
TEST(Contact, LiftTurnsAClearWinnerAllTheWayToTheFloor)
{
    ContactScene s;
    const struct {
        int which;
        float pitch, over;  // degrees down; the end goal's height over the floor
        double turn;        // when > 0: the least turn (degrees) the row is built for
    } rows[] = {{kLeftFoot, 90, 6, 82}, {kLeftFoot, 70, 4, 0}, {kLeftFoot, 85, 6, 0},
                {1, 50, 4, 0},          {1, 60, 3, 0},         {1, 60, 4, 0}};
    for (const auto& r : rows) {
        s.which = r.which;
        const bool foot = s.extremity()->isFoot != 0;
        const float a = r.pitch * 0.017453292f, side = s.extremity()->isRight != 0 ? -1.0f : 1.0f;
        const VLMVector4 q = foot ? VLMQuatFromEulerXYZ(V(a, 0, 0, 0)) : VLMQuatFromEulerXYZ(V(0, 0, -side * a, 0));
        const float floor = 2.0f;
        VLMLimbGoalBlock b = s.block(V(4, floor + r.over, -2, 0), q, floor);
        const VLMLimbGoalBlock before = b;
        VLMLiftFrontAboutHinge(s.c(), s.extremity(), &b, &s.properties);
        const double t = s.about(before.slots[1].q, b.slots[1].q);
        double least = HUGE_VAL;  // the least turn of t's sense that lifts the front, within range
        for (int k = 0; least == HUGE_VAL && k <= 1800; ++k)
            least = s.lifts(before, (t < 0 ? -k : k) * ContactScene::kPi / 1800) ? k * ContactScene::kPi / 1800 : least;
        SCOPED_TRACE(::testing::Message() << r.which << " pitched " << r.pitch << ", over " << r.over << ": turned "
                                          << t * 57.29578 << ", least " << least * 57.29578);
        EXPECT_NEAR(std::fabs(t), least, 0.01);
        EXPECT_TRUE(r.turn <= 0 || std::fabs(std::fabs(t) * 57.29578 - r.turn) < 2.0);
        EXPECT_NEAR(b.slots[0].t.y, before.slots[0].t.y, 1e-3);
        EXPECT_NEAR(b.slots[1].t.y, before.slots[1].t.y, 1e-3);
        EXPECT_GE(s.lowest(b, 4), floor - 1e-3f);
    }
}

// A toe bent about straight down, its front hanging 0.5 to 2 cm below the floor where it points straight down (the
// lift's two senses tying), the foot level or pitched up to 40 degrees down: as the bend jumps by up to 34 degrees (a
// source's toe flicking down for a frame and back), the lift turns the toe goal by at most 20 degrees more than the
// bend changed, raises the ankle goal by at most 1.5 cm (meeting the rest by pitching the foot) and keeps it over its place.
TEST(Contact, LiftFollowsAToeFlickingThroughTheTie)
{
    ContactScene s;
    const VLMVector4 base = VLMVector4Sub(VLMCharacterTPoseEntry(s.c(), s.extremity()->endNodeId)->t,
                                          VLMCharacterTPoseEntry(s.c(), s.extremity()->baseNodeId)->t);
    const VLMVector4 mid = VLMVector4Add(base, V(0, -s.value(1), s.value(3) + s.value(4), 0));
    const double down = std::atan2(double(mid.z), -double(mid.y)), d = ContactScene::kPi / 180;
    double worst = 0.0, raised = 0.0;
    for (const float pitch : {0.0f, 20.0f, 40.0f}) {
        for (const float deep : {0.5f, 1.0f, 2.0f}) {
            const VLMVector4 q = VLMQuatFromEulerXYZ(V(pitch * 0.017453292f, 0, 0, 0));
            VLMLimbGoalBlock tie = s.block(V(4, 0, -2, 0), q, 0.0f);
            tie.slots[1].q = s.turned(q, down - pitch * d);
            const float up = -deep - s.lowest(tie, 4);
            std::vector<VLMLimbGoalBlock> lifted;
            for (int k = -40; k <= 40; ++k) {
                VLMLimbGoalBlock b = tie;
                b.slots[0].t.y += up, b.slots[1].t.y += up;
                b.slots[1].q = s.turned(tie.slots[1].q, k * d);
                VLMLiftFrontAboutHinge(s.c(), s.extremity(), &b, &s.properties);
                raised = std::fmax(raised, double(b.slots[0].t.y - tie.slots[0].t.y - up));
                EXPECT_TRUE(b.slots[0].t.x == tie.slots[0].t.x && b.slots[0].t.z == tie.slots[0].t.z);
                EXPECT_GE(s.lowest(b, 4), -1e-3f) << pitch << " " << deep << " " << k;
                lifted.push_back(b);
            }
            for (std::size_t i = 0; i < lifted.size(); ++i)
                for (std::size_t j = i + 1; j < lifted.size() && j <= i + 34; ++j)
                    worst = std::fmax(worst,
                                      TurnAngle(lifted[i].slots[1].q, lifted[j].slots[1].q) * 57.29578 - double(j - i));
        }
    }
    EXPECT_LE(worst, 20.0);
    EXPECT_LE(raised, 1.5);
    std::printf("toe's turn beyond the bend's change at most %.1f degrees, the ankle goal raised by at most %.2f\n",
                worst, raised);
}

// Along straight paths of tiny steps through the foot's or hand's pitch, roll, yaw and height (of its lowest
// corner above the floor) and the toe's or finger's bend (at most 0.05 degree or 0.01 per step), the lift turns the
// toe or finger little for each step.
TEST(Contact, LiftTurnsTheFrontLittleForALittleChange)
{
    ContactScene s;
    std::mt19937 rng(45);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int which : {kLeftFoot, 1}) {
        s.which = which;
        int over = 0, steps = 0;
        double worst = 0.0;
        for (int path = 0; path < 200; ++path) {
            const float d = 0.017453292f, from[5] = {100 * d * u(rng), 45 * d * u(rng), 180 * d * u(rng),
                                                     3 * u(rng) + 2, 90 * d * u(rng)};
            const float by[5] = {30 * d * u(rng), 30 * d * u(rng), 30 * d * u(rng), 4 * u(rng), 30 * d * u(rng)};
            float n = 0.0f;
            for (int k = 0; k < 5; ++k)
                n = std::fmax(n, std::fabs(by[k]) / (k == 3 ? 0.01f : 0.05f * d));
            VLMVector4 last{};
            for (int i = 0; i <= int(n) + 1; ++i, ++steps) {
                float x[5];
                for (int k = 0; k < 5; ++k)
                    x[k] = from[k] + by[k] * float(i) / float(int(n) + 1);
                const VLMVector4 q = VLMQuatFromEulerXYZ(V(x[0], x[2], x[1], 0));
                VLMLimbGoalBlock b = s.block(V(4, 0, -2, 0), q, 0.0f);
                const float up = x[3] - s.lowest(b, 0, 4);
                b.slots[0].t.y += up, b.slots[1].t.y += up, b.slots[1].q = s.turned(q, double(x[4]));
                VLMLiftFrontAboutHinge(s.c(), s.extremity(), &b, &s.properties);
                const double turn = i > 0 ? TurnAngle(b.slots[1].q, last) * 57.29578 : 0.0;
                worst = std::fmax(worst, turn), over += turn > 10.0, last = b.slots[1].q;
            }
        }
        EXPECT_EQ(over, 0) << which << ": of " << steps << " steps, the worst turned " << worst << " degrees";
    }
}

// A hand or foot landing on its edge: along paths that tip it about its length or across it through standing upright
// (from 20 to 160 degrees, 0.5 a step), tilted and turned a little the other way, its lowest corner 1, 6 or 20 below
// the floor, the roll turns the carrying goal little for each step (laying a steep shape flat in full swaps sense where it
// stands upright) and leaves no corner of its shape below the floor; a hand pressed 20 below moves its wrist goal by
// less than 1.5 cm in a step (0.84 with the move scaled as the turn is; left unscaled, 4.2). And a hand falling onto
// the floor on its edge (tipped 40 to 88 degrees about its length), coming down from 12 over 20 frames to a wrist goal
// 4 below to 4 above the floor and staying down while its goal turns flat over 60 frames: the roll turns the hand no
// more than 30 degrees a frame beyond its goal's turn, leaves no corner below the floor, and rolls it toward the floor
// rather than standing it on its edge: on average its wrist ends within 0.1 cm of where the roll steps laying each
// triangle flat in full leave it (0.08; steps spared by how steeply their triangle stands: 0.3), at most 5 cm further
// wherever the goal's shape stands more than 8 degrees from upright and 3.5 nearer (4.64 and 3.48: the tip allowed
// grows only 1.7 times as fast as the goal's angle from upright; at twice, 4.50 and 3.38), and, its wrist goal 4 below
// the floor off upright, the hand's normal keeps an upward part over 0.37 (0.382; at twice, 0.422; spared steps: 0.27).
TEST(Contact, RollTurnsAShapeLandingOnItsEdgeLittleForALittleChange)
{
    ContactScene s;
    for (int which : {1, 0, kLeftFoot}) {  // the right hand, the left hand, the left foot
        s.which = which;
        const int length = s.extremity()->isFoot != 0 ? 2 : 0;  // the Euler angle about its length
        double worst = 0.0, wristStep = 0.0;  // wristStep: the hand's wrist goal's move in a step, 20 below
        float deepest = 0.0f;
        for (int across = 0; across < 2; ++across) {
            for (const float other : {-0.3f, 0.0f, 0.25f}) {
                for (const float depth : {1.0f, 6.0f, 20.0f}) {
                    VLMVector4 last{}, lastAt{};
                    for (int i = 0; i <= 280; ++i) {
                        VLMVector4 e = V(other, 0.3f, other, 0);
                        (&e.x)[across ? 2 - length : length] = (20.0f + 0.5f * float(i)) * 0.017453292f;
                        VLMLimbGoalBlock b = s.block(V(4, 0, -2, 0), VLMQuatFromEulerXYZ(e), 0.0f);
                        const float down = depth + s.lowest(b, 0, 4);
                        b.slots[0].t.y -= down, b.slots[1].t.y -= down;
                        VLMRunLimbSubSolver(s.c(), s.extremity(), &b, 1, &s.properties);
                        deepest = std::fmax(deepest, -s.lowest(b, 0, 4));
                        if (i > 0)
                            worst = std::fmax(worst, TurnAngle(b.slots[0].q, last) * 57.29578);
                        if (i > 0 && depth == 20.0f)
                            wristStep = std::fmax(wristStep, Len(At(b.slots[0].t) - At(lastAt)));
                        last = b.slots[0].q, lastAt = b.slots[0].t;
                    }
                }
            }
        }
        EXPECT_LT(worst, 10.0) << which;
        EXPECT_LT(deepest, 2e-3f) << which;
        if (length == 2)
            continue;
        EXPECT_LT(wristStep, 1.5) << which;
        double beyond = 0.0;               // the hand's turn in a frame beyond its goal's, degrees
        double further[2] = {-1e9, -1e9};  // the wrist's miss beyond the full steps', off and near upright
        double flattest = 1.0;             // pressed 4 below, off upright: the least upward part of the hand's normal
        double mean[2] = {};               // the wrist's miss summed: the roll's, the full steps'
        int frames = 0;
        for (const float land : {40.0f, 55.0f, 70.0f, 80.0f, 88.0f})
            for (const float wrist : {-4.0f, -2.0f, 0.0f, 2.0f, 4.0f})
                for (const float other : {-0.2f, 0.0f, 0.2f}) {
                    VLMVector4 was[2] = {};
                    for (int f = 0; f <= 110; ++f) {
                        const float tilt = land * VLMClampFloat(float(90 - f) / 60.0f, 0.0f, 1.0f);
                        VLMVector4 e = V(tilt * 0.017453292f, 0.3f + other, 0.05f + other, 0);
                        const float y = f < 20 ? 12.0f - (12.0f - wrist) * float(f) / 20.0f : wrist;
                        VLMLimbGoalBlock b = s.block(V(4, y, -2, 0), VLMQuatFromEulerXYZ(e), 0.0f);
                        const VLMVector4 goal = b.slots[0].q, aim = b.slots[0].t;
                        VLMLimbGoalBlock full = b;
                        for (int i = 0; i < 32 && (i < 4 || s.lowest(full, 0, 4) < -1e-3f); ++i)
                            VLMContactRollStep(s.c(), s.extremity(), &full, &s.properties);
                        VLMRunLimbSubSolver(s.c(), s.extremity(), &b, 1, &s.properties);
                        deepest = std::fmax(deepest, -s.lowest(b, 0, 4));
                        const bool near = std::fabs(VLMQuatRotate(goal, V(0, 1, 0, 0)).y) < std::sin(8 * 0.017453292f);
                        mean[0] += Len(At(b.slots[0].t) - At(aim)), mean[1] += Len(At(full.slots[0].t) - At(aim));
                        ++frames;
                        further[near] = std::fmax(further[near],
                                                  Len(At(b.slots[0].t) - At(aim)) - Len(At(full.slots[0].t) - At(aim)));
                        if (wrist == -4.0f && f >= 20 && !near)
                            flattest =
                                std::fmin(flattest, double(std::fabs(VLMQuatRotate(b.slots[0].q, V(0, 1, 0, 0)).y)));
                        if (f > 0)
                            beyond = std::fmax(beyond,
                                               (TurnAngle(b.slots[0].q, was[1]) - TurnAngle(goal, was[0])) * 57.29578);
                        was[0] = goal, was[1] = b.slots[0].q;
                    }
                }
        EXPECT_LT(beyond, 30.0) << which;
        EXPECT_LT(deepest, 2e-3f) << which;
        EXPECT_LT((mean[0] - mean[1]) / frames, 0.1) << which;
        EXPECT_LT(further[0], 5.0) << which;
        EXPECT_LT(further[1], 3.5) << which;
        EXPECT_GT(flattest, 0.37) << which;
    }
}

// A hand landing near upright, its goal's shape standing on its edge and its lowest corner 1, 6 or 20 below the floor,
// leaning either way: where its goal tilts from upright by 0.28, 0.85 then 12.5 degrees in three frames (as a fall's
// landing did), where it stays within a degree of upright for several frames and then tilts 12 degrees in one, and
// where it sways through upright by 1 to 5 degrees a frame, the roll turns the hand beyond its goal's turn no more
// than the row allows (held to 1.7 times the goal's angle from upright: 20.1, 20.8 and 8.8 degrees; to twice, 23.7,
// 24.5 and 10.3; to ten times, as its allowance first was, 70.9, 80.3 and 51.7). While the goal stays near upright
// the wrist is raised no further than the goal lifted straight up, unturned, puts it, and 0.5 cm (as at ten times).
// Then hands held down as in push-ups: the goal 3 to 60 degrees from upright, its lowest corner bobbing from 2 to 6
// below the floor every 60 frames, still or turning 2 degrees a frame about the vertical (a crawl), leave no corner
// below the floor, and lie nearly as flat and as near their goals as at ten times (0.6113 of the palm's upward part on
// average, the wrist 3.4328 cm from its goal, at worst 6.1086): within 0.03 of the palm (0.585; at twice, 0.594), 0.1
// cm of the wrist's mean miss (3.463) and 1 cm of its worst (6.228). A tilt bounded as above costs flatness here: a
// goal standing 13 degrees off upright is the same frame whether it came there at once or over many.
TEST(Contact, HandLandingNearUprightTurnsWithItsGoal)
{
    ContactScene s;
    std::vector<float> sway;
    for (int k = 0; k < 40; ++k)  // -15 to 15 degrees and back, by 1, 2, 3, 4, 5 degrees a frame in turn
        sway.push_back(
            k == 0 ? -15.0f
                   : VLMClampFloat(sway.back() + ((k / 8) % 2 ? -1.0f : 1.0f) * float(1 + k % 5), -15.0f, 15.0f));
    const struct {
        std::vector<float> path;  // the goal's angle from upright, a frame each
        double most;              // how far the hand may turn beyond its goal's turn in a frame
    } rows[] = {{{0.28f, 0.85f, 12.5f}, 21.0},
                {{0.0f, 0.4f, 1.0f, 0.6f, 0.2f, 12.2f}, 21.0},
                {{0.5f, 0.9f, 0.3f, 1.0f, 13.0f}, 21.0},
                {sway, 10.0}};
    for (int which : {0, 1}) {  // the left hand, the right hand
        s.which = which;
        const auto goal = [&](float upright, float lean, float yaw) {
            // Upright: the hand's normal (its own y) level; tipped about x by the angle from upright.
            return VLMQuatMultiply(VLMQuatAboutAxis(V(0, 1, 0, 0), 0.3f + yaw),
                                   VLMQuatAboutAxis(V(1, 0, 0, 0), (90.0f - lean * upright) * 0.017453292f));
        };
        const auto pressed = [&](const VLMVector4& q, float depth) {  // the goal's lowest corner depth below
            VLMLimbGoalBlock b = s.block(V(4, 0, -2, 0), q, 0.0f);
            const float down = depth + s.lowest(b, 0, 4);
            b.slots[0].t.y -= down, b.slots[1].t.y -= down;
            return b;
        };
        for (std::size_t k = 0; k < sizeof rows / sizeof rows[0]; ++k) {
            double beyond = -1e9, raised = -1e9;  // the worst turn beyond the goal's; wrist beyond the lifted goal's
            for (const float lean : {1.0f, -1.0f})
                for (const float depth : {1.0f, 6.0f, 20.0f}) {
                    VLMVector4 was[2] = {};
                    for (std::size_t f = 0; f < rows[k].path.size(); ++f) {
                        VLMLimbGoalBlock b = pressed(goal(rows[k].path[f], lean, 0.0f), depth), lifted = b;
                        const VLMVector4 aim = b.slots[0].t, q = b.slots[0].q;
                        VLMRunLimbSubSolver(s.c(), s.extremity(), &b, 1, &s.properties);
                        lifted.slots[0].t.y -= std::fmin(s.lowest(lifted, 0, 4), 0.0f);
                        if (std::fabs(rows[k].path[f]) <= 1.0f)
                            raised = std::fmax(raised, Len(At(b.slots[0].t) - At(aim)) - (lifted.slots[0].t.y - aim.y));
                        if (f > 0)
                            beyond =
                                std::fmax(beyond, (TurnAngle(b.slots[0].q, was[1]) - TurnAngle(q, was[0])) * 57.29578);
                        was[0] = q, was[1] = b.slots[0].q;
                    }
                }
            EXPECT_LT(beyond, rows[k].most) << which << " row " << k;
            EXPECT_LT(raised, 0.5) << which << " row " << k;
        }
        double palm = 0.0, miss = 0.0, worst = 0.0;
        int frames = 0;
        for (const float upright : {3.0f, 6.0f, 10.0f, 15.0f, 20.0f, 30.0f, 45.0f, 60.0f})
            for (const float lean : {1.0f, -1.0f})
                for (const float yaw : {0.0f, 2.0f})
                    for (int f = 0; f < 120; f += 2) {
                        VLMLimbGoalBlock b = pressed(goal(upright, lean, yaw * 0.017453292f * float(f)),
                                                     4.0f - 2.0f * std::cos(0.10471976f * float(f)));
                        const VLMVector4 aim = b.slots[0].t;
                        VLMRunLimbSubSolver(s.c(), s.extremity(), &b, 1, &s.properties);
                        EXPECT_GT(s.lowest(b, 0, 4), -2e-3f) << which << " " << upright << " " << f;
                        palm += std::fabs(VLMQuatRotate(b.slots[0].q, V(0, 1, 0, 0)).y);
                        miss += Len(At(b.slots[0].t) - At(aim));
                        worst = std::fmax(worst, Len(At(b.slots[0].t) - At(aim)));
                        ++frames;
                    }
        EXPECT_GT(palm / frames, 0.6113 - 0.03) << which;
        EXPECT_LT(miss / frames, 3.4328 + 0.1) << which;
        EXPECT_LT(worst, 6.1086 + 1.0) << which;
    }
}

// The contact pass at stiffness 0 takes the roll's goals as they are, at 1 the lift's: the other sub-solver does
// not run, so nothing of it comes back through the blend (goals far below the floor would show its rounding).
TEST(Contact, PassAtStiffnessZeroOrOneTakesOneSubSolversGoals)
{
    ContactScene s;
    s.properties.entries[vlm_entry::FloorContact].mode = 1;
    s.value(8) = 2.0f;  // toe base: the roll moves the toe goal only, the lift both goals
    std::mt19937 rng(4);
    for (int i = 0; i < 10; ++i) {
        const VLMLimbGoalBlock block = s.block(V(3, float(i) - 1000.0f, 1, 0), Tilt(rng, 0.5f), 0.0f);
        for (float stiffness : {0.0f, 1.0f}) {
            s.value(9) = stiffness;
            VLMLimbGoalBlock alone = block, passed = block;
            VLMRunLimbSubSolver(s.c(), s.extremity(), &alone, stiffness == 0.0f ? 1 : 2, &s.properties);
            VLMLimbContactPass(s.c(), s.extremity(), &passed, &s.properties);
            EXPECT_EQ(std::memcmp(passed.slots, alone.slots, sizeof alone.slots), 0) << i << " " << stiffness;
        }
    }
}

// What a partial contact stiffness lets through: the pass blends the lift's goals (raised, unturned) with the roll's
// (turned onto the floor), and a blend of two goals each on the floor may dip below it. Over hands falling onto the
// floor on their edge, wrist goals 12 below to 4 above it, and staying down while their goal turns flat (as above),
// at stiffness 0 and 1 no corner ends below the floor; at 0.2 a corner sinks up to 0.35 cm (over 0.05 in 14 to 19% of
// the frames), at 0.8 up to 0.49 (19 to 23%).
TEST(Contact, PartialStiffnessLetsAHandSinkOnlySoFar)
{
    ContactScene s;
    const struct {
        float stiffness, most;  // the stiffness; how far a corner may end below the floor
    } rows[] = {{0.0f, 2e-3f}, {0.2f, 0.4f}, {0.8f, 0.55f}, {1.0f, 2e-3f}};
    for (int which : {0, 1}) {
        s.which = which;
        s.properties.entries[s.extremity()->properties[0]].mode = 1;
        for (const auto& row : rows) {
            s.value(9) = row.stiffness;
            float deepest = 0.0f;
            int sunk = 0, frames = 0;  // frames with a corner over 0.05 below
            for (const float land : {40.0f, 55.0f, 70.0f, 80.0f, 88.0f})
                for (const float wrist : {-12.0f, -8.0f, -4.0f, -2.0f, 0.0f, 2.0f, 4.0f})
                    for (const float other : {-0.2f, 0.0f, 0.2f})
                        for (int f = 0; f <= 110; ++f) {
                            const float tilt = land * VLMClampFloat(float(90 - f) / 60.0f, 0.0f, 1.0f);
                            const VLMVector4 e = V(tilt * 0.017453292f, 0.3f + other, 0.05f + other, 0);
                            const float y = f < 20 ? 12.0f - (12.0f - wrist) * float(f) / 20.0f : wrist;
                            VLMLimbGoalBlock b = s.block(V(4, y, -2, 0), VLMQuatFromEulerXYZ(e), 0.0f);
                            VLMLimbContactPass(s.c(), s.extremity(), &b, &s.properties);
                            const float low = s.lowest(b);
                            deepest = std::fmax(deepest, -low);
                            sunk += low < -0.05f, ++frames;
                        }
            EXPECT_LT(deepest, row.most) << which << " " << row.stiffness << ": " << sunk << " of " << frames
                                         << " frames with a corner over 0.05 below";
        }
    }
}

TEST(Contact, CollinearTriangleGivesIdentityAxes)
{
    VLMVector4 f[4];
    VLMTriangleFrame(f, V(1, 2, 3, 1), V(2, 4, 6, 1), V(4, 8, 12, 1));
    const VLMVector4 want[4] = {V(1, 0, 0, 0), V(0, 1, 0, 0), V(0, 0, 1, 0), V(7.0f / 3, 14.0f / 3, 7, 1)};
    for (int i = 0; i < 4; ++i)
        EXPECT_LT(MaxDiff(f[i], Wide(want[i])), 1e-5) << i;
}

}  // namespace
