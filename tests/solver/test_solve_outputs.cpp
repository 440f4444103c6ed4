// Seeded full solves over every preset, both body stages and two property sets,
// and solves whose wrists and head are pulled beyond the arms' and the neck's
// reach with the contact stiffness off its midpoint (0.2 and 0.8, where a lift
// and a roll share that were swapped would show), each output block (every
// float of the target's rows, the effector set's transforms, blend lanes,
// extremity frames, roll angles, hand pulls and body measurements) held
// against what was recorded in tests/data/solve_outputs.txt.
//
// The bits of a solve follow the CPU's reciprocal and reciprocal square root
// estimates, which differ between makers. The file therefore keeps, for each
// estimate fingerprint (a hash of _mm_rcp_ps and _mm_rsqrt_ps over fixed
// inputs) that was recorded, one hash per output block: a machine with a
// recorded fingerprint must give those bits exactly. Every machine also checks
// every recorded value within its tolerance, which is all that a machine with
// other estimates is held to.
//
// SKW_RECORD_SOLVE_OUTPUTS chooses what the test does with the file:
//   (unset)  compares, as above, and writes nothing.
//   add      for a machine with other estimates: compares every value within
//            its tolerance first; only when all pass does it add this
//            machine's hashes beside the others. It refuses (the test fails,
//            the file is left as it was) when a value is off, a case is
//            missing or surplus, or this fingerprint is recorded already with
//            other bits: the solve changed then, and that calls for `all`.
//   all      the deliberate re-record after a change that is meant to change
//            the results: compares nothing, rewrites every value and this
//            machine's hashes from this machine, drops the hashes of every
//            other fingerprint (stale then; those machines run `add` again)
//            and prints, per case, how many values left their tolerance and
//            the largest change, for the change's note. It refuses only a
//            non-finite value.
// Either mode writes beside the file and moves the result over it, and skips
// the test once it has written. From the build directory:
//   SKW_RECORD_SOLVE_OUTPUTS=all ./tests/test_solver --gtest_filter=Solve.OutputsMatchTheRecording
#include "solver_test_util.h"

#include <xmmintrin.h>

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

using namespace soltest;

const char* const kFile = SKW_TEST_DATA_DIR "/solve_outputs.txt";

std::uint64_t Hash(const void* data, std::size_t size, std::uint64_t h = 14695981039346656037ull)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ bytes[i]) * 1099511628211ull;
    return h;
}

// The estimates this CPU gives for fixed inputs, as one hash.
std::uint64_t EstimateFingerprint()
{
    std::uint64_t h = Hash(nullptr, 0);
    for (int i = 0; i < 64; ++i) {
        const float x = (1.0f + float(i) / 64.0f) * (i % 2 ? 8.0f : 0.125f);
        float r[4], s[4];
        _mm_storeu_ps(r, _mm_rcp_ps(_mm_set1_ps(x)));
        _mm_storeu_ps(s, _mm_rsqrt_ps(_mm_set1_ps(x)));
        h = Hash(&r[0], sizeof(float), Hash(&s[0], sizeof(float), h));
    }
    return h;
}

// Floor contact, digit contact and solving, finger propagation, every stretch
// and roll option on: the stages' optional paths.
void SwitchEverythingOn(VLMPropertySetState& p)
{
    using namespace vlm_entry;
    for (int e :
         {FloorContact, HandFloorContact, FingerSolving, HandFingerContact, FootFingerContact, FingerPropagation})
        p.entries[e].mode = 1;
    for (int k = 0; k < 8; ++k)
        p.entries[VLMRollSegmentTable()[k].rollProperty].mode = 1;
    const struct {
        int entry;
        float value;
    } values[] = {{FootBottomToAnkle, 7.0f},
                  {HandBottomToWrist, 2.0f},
                  {ParamFootContactStiffness, 0.5f},
                  {ContactBehaviour, 2.0f},
                  {ShoulderCorrection, 1.0f},
                  {SnSReachChestEnd, 1.0f},
                  {SnSScaleSpine, 1.0f},
                  {SnSScaleSpineChildren, 1.0f},
                  {SnSSpineFreedom, 0.5f},
                  {SnSReachHead, 1.0f},
                  {SnSNeckFreedom, 0.5f},
                  {SnSScaleNeck, 1.0f},
                  {SnSReachLeftWrist, 1.0f},
                  {SnSReachRightWrist, 1.0f},
                  {SnSReachLeftAnkle, 1.0f},
                  {SnSReachRightAnkle, 1.0f},
                  {SnSScaleArmsAndLegs, 1.0f},
                  {ExtraCollarRatio, 0.3f},
                  {RealisticLeftKneeSolving, 1.0f},
                  {RealisticRightKneeSolving, 1.0f}};
    for (const auto& v : values)
        p.entries[v.entry].value = v.value;
}

struct Case {
    std::string name;
    fixtures::Proportions source, target;
    std::uint32_t word;
    bool everythingOn;
    bool limits;  // every joint limited (the clamps turn through Euler angles)
    unsigned seed;
    float footStiffness = 0.5f, handStiffness = 0.0f;  // contact stiffness, with everything on
    bool pulls = false;  // wrists and head reach their effectors and pull the chest
};

std::vector<Case> Cases()
{
    const struct {
        const char* name;
        fixtures::Proportions source, target;
    } presets[] = {{"minimal", fixtures::Minimal(), fixtures::Minimal()},
                   {"typical", fixtures::Typical(), fixtures::Typical()},
                   {"full", fixtures::Full(), fixtures::Full()},
                   {"retarget", fixtures::Typical(), fixtures::Retarget()}};
    std::vector<Case> cases;
    for (const auto& preset : presets)
        for (std::uint32_t word : {std::uint32_t(VLM_STAGE_ALL), std::uint32_t(VLM_STAGE_ALL & ~VLM_STAGE_BODY_PULL)})
            for (bool on : {false, true})
                for (bool limits : {false, true}) {
                    std::ostringstream name;
                    name << preset.name << (word & VLM_STAGE_BODY_PULL ? "/pull" : "/spine") << (on ? "/on" : "/off")
                         << (limits ? "/limits" : "/free");
                    cases.push_back({name.str(), preset.source, preset.target, word, on, limits, limits ? 2u : 1u});
                }
    // A source with long arms and neck onto a target with short ones: the wrist and head effectors lie beyond
    // what the target's arms and neck reach, so the arm and head pulls act (with every joint limited too, where
    // pulls that wound on once stretched the spine to a scale of hundreds).
    fixtures::Proportions longer = fixtures::Typical(), shorter = fixtures::Typical();
    longer.arm = 1.4f, longer.neck = 1.8f;
    shorter.arm = 0.8f, shorter.neck = 0.7f;
    for (std::uint32_t word : {std::uint32_t(VLM_STAGE_ALL), std::uint32_t(VLM_STAGE_ALL & ~VLM_STAGE_BODY_PULL)})
        for (float stiffness : {0.2f, 0.8f})
            for (bool limits : {false, true}) {
                std::ostringstream name;
                name << "reach" << (word & VLM_STAGE_BODY_PULL ? "/pull" : "/spine") << "/s" << stiffness
                     << (limits ? "/limits" : "/free");
                Case c{name.str(), longer, shorter, word, true, limits, limits ? 4u : 3u};
                c.footStiffness = c.handStiffness = stiffness;
                c.pulls = true;
                cases.push_back(c);
            }
    return cases;
}

// Tolerances for machines with other estimates, in cm (translations, body
// measurements), in units (rotation components, scales, blend lanes, pulls)
// and in radians (roll angles). Estimates moved by up to 7e-4 (their spread
// between makers) moved the results by up to 0.006 cm and 7e-4 without joint
// limits; a limit clamp turns through Euler angles, which passes such
// differences on larger (up to 0.16 cm and 6e-3). Over every float held here,
// estimates moved so (uniformly, and by input-dependent patterns) moved none by
// more than 35% of its tolerance: that is the neck's scale with every option on
// and the joints free, which follows the square of the estimates' error and
// grows smoothly with it. The limited solves stayed within 32%, but settle in
// steps, not smoothly: a pattern's size stepped by 3.5e-5 moved a finger's
// turn from 15% to 5% to 30% of its tolerance, and estimates moved by only
// 1e-4 moved them by up to 10%. Estimates of another 12-bit table moved none by
// more than 9%. Only the square root's estimate moves these solves (none takes
// a reciprocal's); the blend lanes and hand pulls, copied from the properties,
// do not move at all.
struct Tolerances {
    float translation, unit, angle;
};
constexpr Tolerances kFree{0.1f, 2e-3f, 2e-3f}, kLimited{0.5f, 2e-2f, 2e-2f};

// Every float of the blocks a solve writes, in this order: each row's 24
// (global T, Q, S, local T, Q, S); each effector's T, Q, S and blend lanes; each
// extremity frame's T, Q, S; the roll-angle block; both hand pulls and the
// three body measurements.
struct Output {
    std::uint64_t stateHash = 0, setHash = 0;
    std::size_t rows = 0;
    std::vector<float> values, tolerances;  // tolerances: what another machine may differ by
    void add(const VLMVector4* v, int n, float tolerance)
    {
        values.insert(values.end(), &v->x, &v->x + 4 * n);
        tolerances.insert(tolerances.end(), std::size_t(4 * n), tolerance);
    }
    void add(const VLMTransformTQS& f, const Tolerances& k)
    {
        add(&f.t, 1, k.translation);
        add(&f.q, 2, k.unit);
    }
};

// What value i of an output with `rows` rows is.
std::string Where(std::size_t i, std::size_t rows)
{
    static const char* const kRow[] = {"global T", "global Q", "global S", "local T", "local Q", "local S"};
    static const char* const kEffector[] = {"T", "Q", "S", "blend lanes"};
    const std::size_t lane = i % 4;  // every block below starts on a lane 0
    std::ostringstream s;
    if (i < rows * 24)
        s << "row " << i / 24 << " " << kRow[i % 24 / 4];
    else if ((i -= rows * 24) < VLM_EFFECTOR_COUNT * 16)
        s << "effector " << i / 16 << " " << kEffector[i % 16 / 4];
    else if ((i -= VLM_EFFECTOR_COUNT * 16) < 4 * 12)
        s << "extremity frame " << i / 12 << " " << kEffector[i % 12 / 4];
    else if ((i -= 4 * 12) < 16 * 4)
        s << "roll angles " << i / 4;
    else
        return (i -= 16 * 4) < 2 ? "hand pull " + std::to_string(i) : "body measurement " + std::to_string(i - 2);
    s << " lane " << lane;
    return s.str();
}

Output Solve(const Case& c)
{
    using namespace vlm_entry;
    const fixtures::PoseOptions pose{0.5f, 0.3f, 10.0f, true, true};
    fixtures::Scene source(c.source, {c.limits, {}, true, false, c.seed}, pose);
    fixtures::Scene target(c.target, {c.limits, {}, true, false, c.seed + 100}, pose);
    VLMEffectorSetLayout* set = target.effectors();
    set->stageWord = c.word;
    if (c.everythingOn) {
        SwitchEverythingOn(target.properties);
        target.properties.entries[ParamFootContactStiffness].value = c.footStiffness;
        target.properties.entries[ParamHandContactStiffness].value = c.handStiffness;
        // Floors where the source's hands and feet are, so that contact acts.
        const int ends[4] = {VLM_NODE_LEFT_HAND, VLM_NODE_RIGHT_HAND, VLM_NODE_LEFT_FOOT, VLM_NODE_RIGHT_FOOT};
        for (int k = 0; k < 4; ++k)
            set->extremities[k].t.y = Row(source, ends[k]).globalT.y - 4.0f;
    }
    if (c.pulls)
        for (int e : {ReachActorLeftWrist, ReachActorRightWrist, CtrlChestPullLeftHand, CtrlChestPullRightHand,
                      ReachActorHead, CtrlPullHead})
            target.properties.entries[e].value = 1.0f;
    VLMSolve(target.c(), target.state.get(), source.c(), source.state.get(), target.set.get(), &target.properties,
             &source.properties);

    Output out;
    const std::vector<VLMStateRow> rows = target.snapshot();
    out.stateHash = Hash(rows.data(), rows.size() * sizeof(VLMStateRow));
    out.setHash = Hash(set, sizeof *set);
    out.rows = rows.size();
    const Tolerances& k = c.limits ? kLimited : kFree;
    for (const VLMStateRow& r : rows) {
        out.add(VLMTransformTQS{r.globalT, r.globalQ, r.globalS}, k);
        out.add(VLMTransformTQS{r.localT, r.localQ, r.localS}, k);
    }
    for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e) {
        out.add(set->effectors[e], k);
        out.add(&set->blend[e], 1, k.unit);
    }
    for (const VLMTransformTQS& frame : set->extremities)
        out.add(frame, k);
    out.add(set->rollAngles, 16, k.angle);
    const float pulls[2] = {set->leftHandPull, set->rightHandPull};
    out.values.insert(out.values.end(), pulls, pulls + 2);
    out.values.insert(out.values.end(), set->bodyMeasurements, set->bodyMeasurements + 3);
    out.tolerances.insert(out.tolerances.end(), {k.unit, k.unit, k.translation, k.translation, k.translation});
    return out;
}

struct Recording {
    std::map<std::string, std::vector<float>> values;
    // fingerprint -> case -> (state hash, set hash)
    std::map<std::uint64_t, std::map<std::string, std::pair<std::uint64_t, std::uint64_t>>> hashes;
};

// Lines: "values <case> <count> <floats...>" and "hashes <fingerprint> <case> <state> <set>"; '#' comments.
bool Read(const char* path, Recording& r, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = std::string("cannot open ") + path;
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::istringstream fields(line);
        std::string kind, name;
        if (!(fields >> kind) || kind[0] == '#')
            continue;
        bool ok = false;
        if (kind == "values") {
            std::size_t count = 0;
            if (fields >> name >> count && count < 100000) {
                std::vector<float>& v = r.values[name];
                v.resize(count);
                ok = true;
                for (float& x : v)
                    ok = ok && bool(fields >> x);
            }
        } else if (kind == "hashes") {
            std::string fingerprint, state, set;
            if (fields >> fingerprint >> name >> state >> set) {
                try {
                    r.hashes[std::stoull(fingerprint, nullptr, 16)][name] = {std::stoull(state, nullptr, 16),
                                                                             std::stoull(set, nullptr, 16)};
                    ok = true;
                } catch (const std::exception&) {
                }
            }
        }
        if (!ok) {
            error = std::string(path) + ":" + std::to_string(number) + ": unreadable line";
            return false;
        }
    }
    return true;
}

// Written beside the file and moved over it, so that a failed write leaves the old one.
bool Write(const char* path, const Recording& r)
{
    const std::string temporary = std::string(path) + ".new";
    std::ofstream out(temporary);
    out << "# Outputs of the seeded solves of tests/solver/test_solve_outputs.cpp (how to record: see there).\n";
    char buffer[64];
    for (const auto& [fingerprint, cases] : r.hashes)
        for (const auto& [name, pair] : cases) {
            std::snprintf(buffer, sizeof buffer, "%016" PRIx64, fingerprint);
            out << "hashes " << buffer << " " << name;
            std::snprintf(buffer, sizeof buffer, " %016" PRIx64 " %016" PRIx64 "\n", pair.first, pair.second);
            out << buffer;
        }
    for (const auto& [name, values] : r.values) {
        out << "values " << name << " " << values.size();
        for (float x : values) {
            std::snprintf(buffer, sizeof buffer, " %.9g", double(x));  // 9 digits give a float back exactly
            out << buffer;
        }
        out << "\n";
    }
    out.close();
    return bool(out) && std::rename(temporary.c_str(), path) == 0;
}

// How this machine's values stand against the recorded ones, per case.
struct Comparison {
    std::string problem;      // a case or a value count that does not match, else empty
    std::size_t beyond = 0;   // values off by more than their tolerance
    std::size_t worst = 0;    // the value furthest beyond its tolerance (in tolerances)
    std::size_t largest = 0;  // the value that moved most
    double moved = 0;         // by how much
};

std::map<std::string, Comparison> Compare(const std::map<std::string, Output>& outputs, const Recording& recording)
{
    std::map<std::string, Comparison> result;
    for (const auto& [name, values] : recording.values)
        if (outputs.count(name) == 0)
            result[name].problem = "recorded, but no longer solved";
    for (const auto& [name, out] : outputs) {
        Comparison& c = result[name];
        const auto want = recording.values.find(name);
        if (want == recording.values.end()) {
            c.problem = "not recorded";
            continue;
        }
        if (want->second.size() != out.values.size()) {
            c.problem = std::to_string(out.values.size()) + " values, " + std::to_string(want->second.size()) +
                        " recorded";
            continue;
        }
        double worst = 0;
        for (std::size_t i = 0; i < out.values.size(); ++i) {
            const double off = std::fabs(double(out.values[i]) - double(want->second[i]));
            if (!(off <= c.moved))  // a NaN counts as the largest move and the worst miss
                c.largest = i, c.moved = off;
            if (!(off <= out.tolerances[i])) {
                ++c.beyond;
                const double times = off / out.tolerances[i];
                if (!(times <= worst))
                    c.worst = i, worst = std::isnan(times) ? HUGE_VAL : times;
            }
        }
    }
    return result;
}

std::string Describe(const std::string& name, const Comparison& c, const Output& out, const Recording& recording)
{
    std::ostringstream s;
    s << name << ": ";
    if (!c.problem.empty())
        return s.str() + c.problem;
    const std::vector<float>& want = recording.values.at(name);
    s << c.beyond << " of " << out.values.size() << " values beyond their tolerance";
    if (c.beyond > 0)
        s << "; worst " << Where(c.worst, out.rows) << ": " << out.values[c.worst] << ", recorded " << want[c.worst]
          << ", tolerance " << out.tolerances[c.worst];
    if (c.moved == 0)
        return s.str() + "; unchanged";
    s << "; largest change " << c.moved << " (" << Where(c.largest, out.rows) << ")";
    return s.str();
}

TEST(Solve, OutputsMatchTheRecording)
{
    const std::uint64_t fingerprint = EstimateFingerprint();
    const char* record = std::getenv("SKW_RECORD_SOLVE_OUTPUTS");
    const std::string mode = record != nullptr ? record : "";
    ASSERT_TRUE(mode.empty() || mode == "add" || mode == "all")
        << "SKW_RECORD_SOLVE_OUTPUTS is \"" << mode << "\": \"add\" or \"all\", or unset to compare";
    Recording recording;
    std::string error;
    const bool read = Read(kFile, recording, error);
    if (mode != "all") {
        ASSERT_TRUE(read) << error;
    }

    std::map<std::string, Output> outputs;
    for (const Case& c : Cases())
        outputs[c.name] = Solve(c);
    const std::map<std::string, Comparison> comparisons = Compare(outputs, recording);

    if (mode == "all") {
        for (const auto& [name, out] : outputs)
            for (std::size_t i = 0; i < out.values.size(); ++i)
                ASSERT_TRUE(std::isfinite(out.values[i]))
                    << name << ": " << Where(i, out.rows) << " is " << out.values[i] << "; nothing recorded";
        if (read)
            for (const auto& [name, c] : comparisons)
                if (outputs.count(name) != 0)
                    std::printf("%s\n", Describe(name, c, outputs.at(name), recording).c_str());
        recording = Recording{};
        for (const auto& [name, out] : outputs) {
            recording.values[name] = out.values;
            recording.hashes[fingerprint][name] = {out.stateHash, out.setHash};
        }
        ASSERT_TRUE(Write(kFile, recording)) << kFile;
        GTEST_SKIP() << "recorded " << outputs.size() << " solves (values and hashes) into " << kFile;
    }

    // Every value within its tolerance, on every machine.
    std::size_t failed = 0;
    for (const auto& [name, c] : comparisons)
        if (!c.problem.empty() || c.beyond > 0) {
            ++failed;
            ADD_FAILURE() << Describe(name, c, outputs.count(name) ? outputs.at(name) : Output{}, recording);
        }
    if (mode == "add") {
        ASSERT_EQ(failed, 0u) << "refused: the values above differ from the recording, so this machine's hashes "
                                 "were not added and "
                              << kFile << " is as it was; a change meant to move them is re-recorded with all";
        auto& mine = recording.hashes[fingerprint];
        std::size_t differ = 0;
        for (const auto& [name, out] : outputs) {
            const auto was = mine.find(name);
            differ += was != mine.end() && was->second != std::make_pair(out.stateHash, out.setHash);
        }
        ASSERT_EQ(differ, 0u) << "refused: this machine's estimates are recorded already, with other bits for "
                              << differ << " cases: the solve changed; " << kFile
                              << " is as it was; a change meant to move the results is re-recorded with all";
        for (const auto& [name, out] : outputs)
            mine[name] = {out.stateHash, out.setHash};
        ASSERT_TRUE(Write(kFile, recording)) << kFile;
        GTEST_SKIP() << "values agree; added this machine's hashes for " << outputs.size() << " solves to " << kFile;
    }

    // The bits, where this machine's estimates were recorded.
    const auto recorded = recording.hashes.find(fingerprint);
    if (recorded == recording.hashes.end())
        return;
    for (const auto& [name, out] : outputs) {
        const auto hashes = recorded->second.find(name);
        ASSERT_NE(hashes, recorded->second.end()) << name << ": no hashes for this machine";
        EXPECT_EQ(out.stateHash, hashes->second.first) << name << ": the target's rows differ in their bits";
        EXPECT_EQ(out.setHash, hashes->second.second) << name << ": the effector set differs in its bits";
    }
}

}  // namespace
