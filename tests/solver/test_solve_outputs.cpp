// Seeded full solves over every preset, both body stages and two property sets,
// each output block (the target's rows, the effector set) held against what
// was recorded in tests/data/solve_outputs.txt.
//
// The bits of a solve follow the CPU's reciprocal and reciprocal square root
// estimates, which differ between makers. The file therefore keeps, for each
// estimate fingerprint (a hash of _mm_rcp_ps and _mm_rsqrt_ps over fixed
// inputs) that was recorded, one hash per output block: a machine with a
// recorded fingerprint must give those bits exactly. Every machine also checks
// the recorded values (global translation, rotation and scale of every row,
// translation and rotation of every effector and floor frame) within a tight
// tolerance, which is what a machine with other estimates is held to.
//
// Recording, after a change that is meant to change the results:
//   SKW_RECORD_SOLVE_OUTPUTS=all test_solver --gtest_filter=Solve.OutputsMatchTheRecording
// rewrites the file from this machine (values and this machine's hashes; the
// hashes of other fingerprints are dropped, since they are stale then). On a
// machine with other estimates, once the values pass,
//   SKW_RECORD_SOLVE_OUTPUTS=add test_solver --gtest_filter=Solve.OutputsMatchTheRecording
// adds its hashes beside the others.
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
    return cases;
}

struct Output {
    std::uint64_t stateHash = 0, setHash = 0;
    std::vector<float> values, tolerances;  // tolerances: what another machine may differ by
    void add(const float* v, int n, float tolerance)
    {
        values.insert(values.end(), v, v + n);
        tolerances.insert(tolerances.end(), std::size_t(n), tolerance);
    }
};

// Tolerances for machines with other estimates, in cm (translations) and in
// units (rotation components, scales). Estimates moved by up to 7e-4 (their
// spread between makers) moved the results by up to 0.022 cm and 7e-4 without
// joint limits; a limit clamp turns through Euler angles, which passes such
// differences on larger (up to 0.14 cm and 5e-3).
constexpr float kTranslation = 0.1f, kUnit = 2e-3f;
constexpr float kLimitedTranslation = 0.5f, kLimitedUnit = 2e-2f;

Output Solve(const Case& c)
{
    const fixtures::PoseOptions pose{0.5f, 0.3f, 10.0f, true, true};
    fixtures::Scene source(c.source, {c.limits, {}, true, false, c.seed}, pose);
    fixtures::Scene target(c.target, {c.limits, {}, true, false, c.seed + 100}, pose);
    VLMEffectorSetLayout* set = target.effectors();
    set->stageWord = c.word;
    if (c.everythingOn) {
        SwitchEverythingOn(target.properties);
        // Floors where the source's hands and feet are, so that contact acts.
        const int ends[4] = {VLM_NODE_LEFT_HAND, VLM_NODE_RIGHT_HAND, VLM_NODE_LEFT_FOOT, VLM_NODE_RIGHT_FOOT};
        for (int k = 0; k < 4; ++k)
            set->extremities[k].t.y = Row(source, ends[k]).globalT.y - 4.0f;
    }
    VLMSolve(target.c(), target.state.get(), source.c(), source.state.get(), target.set.get(), &target.properties,
             &source.properties);

    Output out;
    const std::vector<VLMStateRow> rows = target.snapshot();
    out.stateHash = Hash(rows.data(), rows.size() * sizeof(VLMStateRow));
    out.setHash = Hash(set, sizeof *set);
    const float translation = c.limits ? kLimitedTranslation : kTranslation, unit = c.limits ? kLimitedUnit : kUnit;
    for (const VLMStateRow& r : rows) {
        out.add(&r.globalT.x, 3, translation);
        out.add(&r.globalQ.x, 4, unit);
        out.add(&r.globalS.x, 1, unit);
    }
    for (int k = 0; k < VLM_EFFECTOR_COUNT + 4; ++k) {
        const VLMTransformTQS& e =
            k < VLM_EFFECTOR_COUNT ? set->effectors[k] : set->extremities[k - VLM_EFFECTOR_COUNT];
        out.add(&e.t.x, 3, translation);
        out.add(&e.q.x, 4, unit);
    }
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
            std::snprintf(buffer, sizeof buffer, " %.7g", double(x));
            out << buffer;
        }
        out << "\n";
    }
    out.close();
    return bool(out) && std::rename(temporary.c_str(), path) == 0;
}

TEST(Solve, OutputsMatchTheRecording)
{
    const std::uint64_t fingerprint = EstimateFingerprint();
    const char* record = std::getenv("SKW_RECORD_SOLVE_OUTPUTS");
    const std::string mode = record != nullptr ? record : "";
    Recording recording;
    std::string error;
    const bool read = Read(kFile, recording, error);
    if (mode != "all") {
        ASSERT_TRUE(read) << error;
    }

    std::map<std::string, Output> outputs;
    for (const Case& c : Cases())
        outputs[c.name] = Solve(c);

    if (mode == "all" || mode == "add") {
        if (mode == "all") {
            recording = Recording{};
            for (const auto& [name, out] : outputs)
                recording.values[name] = out.values;
        }
        auto& mine = recording.hashes[fingerprint];
        mine.clear();
        for (const auto& [name, out] : outputs)
            mine[name] = {out.stateHash, out.setHash};
        ASSERT_TRUE(Write(kFile, recording)) << kFile;
        GTEST_SKIP() << "recorded " << outputs.size() << " solves into " << kFile;
    }

    const auto recorded = recording.hashes.find(fingerprint);
    EXPECT_EQ(recording.values.size(), outputs.size()) << "cases in the file";
    for (const auto& [name, out] : outputs) {
        const auto want = recording.values.find(name);
        ASSERT_NE(want, recording.values.end()) << name << " is not recorded";
        ASSERT_EQ(want->second.size(), out.values.size()) << name;
        std::size_t worst = 0;
        double worstOff = 0;  // the largest difference beyond its tolerance
        for (std::size_t i = 0; i < out.values.size(); ++i) {
            const double off = std::fabs(double(out.values[i]) - double(want->second[i]));
            if (!(off <= out.tolerances[i]) && !(off <= worstOff))
                worst = i, worstOff = off;
        }
        EXPECT_EQ(worstOff, 0.0) << name << ": value " << worst << " is " << out.values[worst] << ", recorded "
                                 << want->second[worst];
        if (recorded != recording.hashes.end()) {
            const auto hashes = recorded->second.find(name);
            ASSERT_NE(hashes, recorded->second.end()) << name;
            EXPECT_EQ(out.stateHash, hashes->second.first) << name << ": the target's rows differ in their bits";
            EXPECT_EQ(out.setHash, hashes->second.second) << name << ": the effector set differs in its bits";
        }
    }
}

}  // namespace
