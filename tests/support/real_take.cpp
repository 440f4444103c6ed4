#include "real_take.h"

#include "rig/solver/stages/vlm_contact_point.h"
#include "rig/solver/stages/vlm_pose_setup.h"
#include "rig/solver/stages/vlm_property_entries.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/vlm_solve.h"
#include "rig/solver/vlm_stage_bits.h"
#include "rig/solver/vlm_state.h"
#include "rig/vlm_character.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_names.h"
#include "rig/vlm_quat.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#ifndef SKW_TEST_DATA_DIR
#define SKW_TEST_DATA_DIR "tests/data"
#endif

namespace realtake {
namespace {

void* Malloc(std::uint64_t n) { return std::malloc(n); }

// The words of a text with the line each starts on.
struct Words {
    std::vector<std::string> word;
    std::vector<int> line;
    explicit Words(const std::string& text)
    {
        int at = 1;
        std::size_t i = 0;
        while (i < text.size()) {
            if (text[i] == '\n')
                ++at;
            if (std::isspace(static_cast<unsigned char>(text[i]))) {
                ++i;
                continue;
            }
            const std::size_t start = i;
            while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
                ++i;
            word.push_back(text.substr(start, i - start));
            line.push_back(at);
        }
    }
};

bool Number(const std::string& w, float& value)
{
    char* end = nullptr;
    const double d = std::strtod(w.c_str(), &end);
    if (w.empty() || end != w.c_str() + w.size() || !std::isfinite(d) || std::fabs(d) > 1e30)
        return false;
    value = float(d);
    return true;
}

bool Count(const std::string& w, int& value, int most)
{
    char* end = nullptr;
    const long n = std::strtol(w.c_str(), &end, 10);
    if (w.empty() || end != w.c_str() + w.size() || n < 0 || n > most)
        return false;
    value = int(n);
    return true;
}

int ChannelIndex(const std::string& w)
{
    static const char* const names[6] = {"Xposition", "Yposition", "Zposition", "Xrotation", "Yrotation", "Zrotation"};
    for (int k = 0; k < 6; ++k)
        if (w == names[k])
            return k;
    return -1;
}

bool ParseText(const std::string& text, Take& take, std::string& error)
{
    const Words w(text);
    std::size_t i = 0;
    const auto fail = [&](const std::string& why) {
        error =
            "line " + std::to_string(i < w.line.size() ? w.line[i] : (w.line.empty() ? 0 : w.line.back())) + ": " + why;
        return false;
    };
    const auto next = [&](const char* expected) { return i < w.word.size() && w.word[i] == expected; };
    if (!next("HIERARCHY"))
        return fail("HIERARCHY expected");
    ++i;
    std::vector<int> open;  // joints of the open blocks, -1 for an end site
    bool rootSeen = false;
    while (i < w.word.size() && !(open.empty() && rootSeen)) {
        const std::string& k = w.word[i];
        if (k == "ROOT" || k == "JOINT") {
            if ((k == "ROOT") == rootSeen || (!open.empty() && open.back() < 0) || i + 2 >= w.word.size() ||
                w.word[i + 2] != "{")
                return fail("misplaced " + k);
            if (take.joints.size() >= 1000 || open.size() >= 100)
                return fail("too many joints");
            Joint j;
            j.name = w.word[i + 1];
            j.parent = open.empty() ? -1 : open.back();
            open.push_back(int(take.joints.size()));
            take.joints.push_back(j);
            rootSeen = true;
            i += 3;
        } else if (k == "End") {
            if (open.empty() || i + 2 >= w.word.size() || w.word[i + 1] != "Site" || w.word[i + 2] != "{")
                return fail("misplaced End Site");
            open.push_back(-1);
            i += 3;
        } else if (k == "OFFSET") {
            float o[3];
            if (open.empty() || i + 3 >= w.word.size() || !Number(w.word[i + 1], o[0]) ||
                !Number(w.word[i + 2], o[1]) || !Number(w.word[i + 3], o[2]))
                return fail("bad OFFSET");
            if (open.back() >= 0)
                for (int a = 0; a < 3; ++a)
                    take.joints[std::size_t(open.back())].offset[a] = o[a];
            i += 4;
        } else if (k == "CHANNELS") {
            if (open.empty() || open.back() < 0 || i + 1 >= w.word.size())
                return fail("misplaced CHANNELS");
            Joint& j = take.joints[std::size_t(open.back())];
            if (!Count(w.word[i + 1], j.channelCount, 6) || i + 1 + std::size_t(j.channelCount) >= w.word.size())
                return fail("bad channel count");
            for (int c = 0; c < j.channelCount; ++c)
                if ((j.channels[c] = ChannelIndex(w.word[i + 2 + std::size_t(c)])) < 0)
                    return fail("unknown channel " + w.word[i + 2 + std::size_t(c)]);
            j.firstChannel = take.channelCount;
            take.channelCount += j.channelCount;
            i += 2 + std::size_t(j.channelCount);
        } else if (k == "}") {
            if (open.empty())
                return fail("unbalanced }");
            open.pop_back();
            ++i;
        } else {
            return fail("unexpected " + k);
        }
    }
    if (!open.empty() || !rootSeen)
        return fail("unfinished HIERARCHY");
    int frames = 0;
    float time = 0;
    if (!(next("MOTION") && i + 5 < w.word.size() && w.word[i + 1] == "Frames:" &&
          Count(w.word[i + 2], frames, 1000000) && w.word[i + 3] == "Frame" && w.word[i + 4] == "Time:" &&
          Number(w.word[i + 5], time)))
        return fail("MOTION header expected");
    i += 6;
    if (w.word.size() - i != std::size_t(frames) * std::size_t(take.channelCount))
        return fail("the frames hold " + std::to_string(w.word.size() - i) + " values, not " + std::to_string(frames) +
                    " x " + std::to_string(take.channelCount));
    take.frames.assign(std::size_t(frames), std::vector<float>(std::size_t(take.channelCount)));
    for (auto& frame : take.frames)
        for (float& v : frame)
            if (!Number(w.word[i++], v))
                return fail("bad value " + w.word[i - 1]);
    return true;
}

bool ParseMap(const std::string& text, Take& take, std::string& error)
{
    std::istringstream in(text);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        std::istringstream words(line);
        std::string joint, node, more;
        if (!(words >> joint) || joint[0] == '#')
            continue;
        const int id = (words >> node) ? VLMGetNodeIdFromName(node.c_str()) : -1;
        bool found = false;
        for (Joint& j : take.joints)
            if (j.name == joint && id > 0 && !(words >> more))
                j.node = id, found = true;
        if (!found) {
            error = "map line " + std::to_string(n) + ": no joint or node in \"" + line + "\"";
            return false;
        }
    }
    return true;
}

std::string Read(const std::string& path, bool& ok)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    ok = bool(in);
    return text.str();
}

// A quaternion in double (x, y, z, w) and its few operations.
struct Q {
    double x = 0, y = 0, z = 0, w = 1;
};
Q Mul(const Q& a, const Q& b)
{
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}
void Rotate(const Q& q, const double v[3], double out[3])
{
    const Q p = Mul(Mul(q, Q{v[0], v[1], v[2], 0}), Q{-q.x, -q.y, -q.z, q.w});
    out[0] = p.x, out[1] = p.y, out[2] = p.z;
}

// Each joint's offset from its parent, scaled: joints below an arm's or a leg's root by its ratio.
std::vector<std::array<double, 3>> Offsets(const Take& take, const Ratios& r)
{
    std::vector<double> ratio(take.joints.size(), 1.0);
    std::vector<std::array<double, 3>> out(take.joints.size());
    for (std::size_t j = 0; j < take.joints.size(); ++j) {
        const Joint& joint = take.joints[j];
        if (joint.parent >= 0) {
            const int parentNode = take.joints[std::size_t(joint.parent)].node;
            ratio[j] = ratio[std::size_t(joint.parent)];
            if (parentNode == VLM_NODE_LEFT_ARM || parentNode == VLM_NODE_RIGHT_ARM)
                ratio[j] = r.arm;
            if (parentNode == VLM_NODE_LEFT_UP_LEG || parentNode == VLM_NODE_RIGHT_UP_LEG)
                ratio[j] = r.leg;
        }
        for (int a = 0; a < 3; ++a)
            out[j][std::size_t(a)] = double(joint.offset[a]) * ratio[j] * kCentimetres;
    }
    return out;
}

// Global places and turns of every joint at a frame (frame 0 with every rotation zero is the rest pose). The root
// stands where the frame puts it, raised or lowered with the legs.
void Globals(const Take& take, int frame, const Ratios& r, std::vector<std::array<double, 3>>& at, std::vector<Q>& q)
{
    const auto offsets = Offsets(take, r);
    const std::vector<float>& values = take.frames[std::size_t(frame)];
    at.assign(take.joints.size(), {});
    q.assign(take.joints.size(), Q{});
    for (std::size_t j = 0; j < take.joints.size(); ++j) {
        const Joint& joint = take.joints[j];
        double move[3] = {0, 0, 0};
        Q local;
        for (int c = 0; c < joint.channelCount; ++c) {
            const double v = double(values[std::size_t(joint.firstChannel + c)]);
            const int k = joint.channels[c];
            if (k < 3) {
                move[k] = v * kCentimetres * double(r.leg);
            } else {
                const double half = 0.5 * v * 3.14159265358979323846 / 180.0, s = std::sin(half);
                local = Mul(local, Q{k == 3 ? s : 0, k == 4 ? s : 0, k == 5 ? s : 0, std::cos(half)});
            }
        }
        if (joint.parent < 0) {
            for (int a = 0; a < 3; ++a)
                at[j][std::size_t(a)] = offsets[j][std::size_t(a)] + move[a];
            q[j] = local;
        } else {
            const std::size_t p = std::size_t(joint.parent);
            double turned[3];
            Rotate(q[p], offsets[j].data(), turned);
            for (int a = 0; a < 3; ++a)
                at[j][std::size_t(a)] = at[p][std::size_t(a)] + turned[a];
            q[j] = Mul(q[p], local);
        }
    }
}

}  // namespace

bool Parse(const std::string& bvh, const std::string& map, Take& take, std::string& error)
{
    take = Take();
    const bool ok = ParseText(bvh, take, error) && ParseMap(map, take, error);
    if (ok && take.frames.size() < 2)
        error = "no motion after the calibration frame";
    if (!ok || take.frames.size() < 2)
        take = Take();
    return !take.joints.empty();
}

bool Load(const std::string& bvhPath, const std::string& mapPath, Take& take, std::string& error)
{
    bool ok[2];
    const std::string bvh = Read(bvhPath, ok[0]), map = Read(mapPath, ok[1]);
    if (!ok[0] || !ok[1]) {
        take = Take();
        error = "cannot read " + (ok[0] ? mapPath : bvhPath);
        return false;
    }
    return Parse(bvh, map, take, error);
}

const Take& Named(const std::string& name)
{
    static const char* const names[] = {"01_01", "01_03"};
    static Take takes[2];
    static bool loaded[2] = {};
    const auto known = std::find(std::begin(names), std::end(names), name);
    if (known == std::end(names)) {
        std::fprintf(stderr, "no real take named %s\n", name.c_str());
        std::abort();
    }
    const std::size_t k = std::size_t(known - std::begin(names));
    if (!loaded[k]) {
        std::string error;
        const std::string dir = std::string(SKW_TEST_DATA_DIR) + "/motion/";
        if (!Load(dir + name + ".bvh", dir + "01_01.map.txt", takes[k], error)) {
            std::fprintf(stderr, "the real take %s: %s\n", name.c_str(), error.c_str());
            std::abort();
        }
        loaded[k] = true;
    }
    return takes[k];
}

const Take& Walk() { return Named("01_01"); }

fixtures::Fixture BuildCharacter(const Take& take, const Ratios& ratios)
{
    fixtures::Fixture f;
    f.definition.words[0] = 7;
    for (const Joint& j : take.joints)
        if (j.node > 0)
            f.definition.words[j.node] = 7;
    f.character = VLMAdopt<VLMCharacterHandle>(VLMCreateCharacter(&f.definition, &Malloc));
    std::vector<std::array<double, 3>> at;
    std::vector<Q> q;
    Globals(take, 0, ratios, at, q);
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        VLMJointGeometry& r = f.records[std::size_t(id)];
        VLMJointGeometryInit(&r);
        VLMJointGeometrySetScale(&r, 1.0f, 1.0f, 1.0f);
        VLMJointGeometrySetMinRLimit(&r, -1.0f, -1.0f, -1.0f);
        VLMJointGeometrySetMaxRLimit(&r, 1.0f, 1.0f, 1.0f);
        VLMJointGeometrySetLimitEnableMask(&r, 0u);
    }
    for (std::size_t j = 0; j < take.joints.size(); ++j)
        if (take.joints[j].node > 0)
            VLMJointGeometrySetTranslate(&f.records[std::size_t(take.joints[j].node)], float(at[j][0]), float(at[j][1]),
                                         float(at[j][2]));
    VLMBoneInversion inversion;
    VLMBoneInversionInit(&inversion);
    VLMApplyJointGeometries(&f.definition, f.character.get(), f.records.data(), VLM_NODE_COUNT, &inversion);
    return f;
}

void PoseFrame(const Take& take, int frame, const Ratios& ratios, const fixtures::Scene& scene)
{
    std::vector<std::array<double, 3>> at;
    std::vector<Q> q;
    Globals(take, frame, ratios, at, q);
    const VLMCharacter* c = scene.c();
    VLMStateRow* rows = scene.rows();
    const VLMNodeRecord* records = VLMCharacterNodeRecords(c);
    VLMSetStateToTPose(c, rows);
    for (std::size_t j = 0; j < take.joints.size(); ++j) {
        const int id = take.joints[j].node;
        if (id <= 0 || VLMCharacterCompactIndex(c, id) < 0)
            continue;
        VLMStateRow* row = VLMNodeRow(c, rows, id);
        row->globalT = VLMVector4{float(at[j][0]), float(at[j][1]), float(at[j][2]), row->globalT.w};
        row->globalQ = VLMQuatNormalize(VLMVector4{float(q[j].x), float(q[j].y), float(q[j].z), float(q[j].w)});
    }
    VLMTreeGlobalToLocal(c, rows, records);
    VLMTreeLocalToGlobal(c, rows, records);
}

namespace {

double TurnBetween(const VLMVector4& a, const VLMVector4& b)
{
    const double d = std::fabs(double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z + double(a.w) * b.w);
    return 2.0 * std::acos(std::fmin(1.0, d));
}

double Distance(const VLMVector4& a, const VLMVector4& b)
{
    const double x = double(a.x) - b.x, y = double(a.y) - b.y, z = double(a.z) - b.z;
    return std::sqrt(x * x + y * y + z * z);
}

}  // namespace

Result Measure(const Take& take, const Run& run, bool everyTurn)
{
    const auto start = std::chrono::steady_clock::now();
    fixtures::Scene source(BuildCharacter(take, run.source));
    fixtures::Scene target(run.target == Target::Same      ? BuildCharacter(take)
                           : run.target == Target::Typical ? fixtures::Build(fixtures::Typical(), {false})
                                                           : fixtures::Build(fixtures::Full(), {false}));
    // The soles at the ankles' height in the T-pose, so that the floor holds the feet where the take's feet touch
    // it, or at the ankle's height over the toe joint.
    for (fixtures::Scene* s : {&source, &target}) {
        float sole = VLMNodeRow(s->c(), s->rows(), VLM_NODE_LEFT_FOOT)->globalT.y;
        if (run.sole == Sole::Toe && VLMCharacterCompactIndex(s->c(), VLM_NODE_LEFT_TOE_BASE) >= 0)
            sole -= VLMNodeRow(s->c(), s->rows(), VLM_NODE_LEFT_TOE_BASE)->globalT.y;
        s->properties.entries[vlm_entry::FootBottomToAnkle].value = sole;
    }
    for (const Setting& v : run.values) {
        target.properties.entries[v.entry].value = v.value;
        if (v.mode >= 0)
            target.properties.entries[v.entry].mode = unsigned(v.mode);
    }
    VLMEffectorSetLayout* set = target.effectors();
    set->stageWord = VLM_STAGE_ALL;
    Result result;
    for (int e : run.effectors)
        result.misses.push_back({e, 0, 0, -1, {}});
    result.beyond.assign(VLM_NODE_COUNT, -1e9);
    result.beyondFrame.assign(VLM_NODE_COUNT, -1);
    result.over.assign(VLM_NODE_COUNT, -1e9);
    for (int e = 0; e < 4; ++e)
        result.contact[e] =
            target.properties.entries[e < 2 ? vlm_entry::HandFloorContact : vlm_entry::FloorContact].mode != 0;
    constexpr double kDegrees = 180.0 / 3.14159265358979323846;
    std::vector<VLMStateRow> was[2];
    for (int f = 1; f < int(take.frames.size()); f += std::max(1, run.step)) {
        PoseFrame(take, f, run.source, source);
        VLMSolve(target.c(), target.state.get(), source.c(), source.state.get(), target.set.get(), &target.properties,
                 &source.properties);
        const std::vector<VLMStateRow> now[2] = {source.snapshot(), target.snapshot()};
        bool finite = true;
        for (const VLMStateRow& r : now[1])
            for (const VLMVector4* v : {&r.globalT, &r.globalQ})
                finite =
                    finite && std::isfinite(v->x) && std::isfinite(v->y) && std::isfinite(v->z) && std::isfinite(v->w);
        result.nan += !finite;
        for (Miss& m : result.misses) {
            VLMVector4 t, q, s;
            VLMComputeEffectorFromPose(target.c(), t, q, s, target.rows(), m.effector, &target.properties);
            const double d = Distance(t, set->effectors[m.effector].t);
            m.mean += d;
            m.frames.push_back(float(d));
            if (d > m.max)
                m.max = d, m.maxFrame = f;
        }
        std::array<float, 4> low;
        bool below = false;
        for (int e = 0; e < 4; ++e) {
            low[std::size_t(e)] = 1e9f;
            for (int corner = 0; corner < 6; ++corner) {
                VLMVector4 at;
                VLMContactPointRows(target.c(), &at, VLMCharacterExtremity(target.c(), e), &target.properties, corner,
                                    target.rows());
                low[std::size_t(e)] = std::fmin(low[std::size_t(e)], at.y);
            }
            if (result.contact[e] && low[std::size_t(e)] < result.lowest)
                result.lowest = low[std::size_t(e)], result.lowestExtremity = e, result.lowestFrame = f;
            below = below || (result.contact[e] && low[std::size_t(e)] < -0.05f);
        }
        result.corners.push_back(low);
        result.framesBelow += below;
        if (everyTurn)
            result.turns.emplace_back(), result.overs.emplace_back();
        for (int id = 1; !was[0].empty() && id < VLM_NODE_COUNT; ++id) {
            const int i = VLMCharacterCompactIndex(target.c(), id);
            int k = VLMCharacterCompactIndex(source.c(), id);
            for (int up = id; k < 0 && up > 0; k = VLMCharacterCompactIndex(source.c(), up))
                up = VLMGetParentNodeId(target.c(), up);
            if (i < 0 || k < 0)
                continue;
            const double from = TurnBetween(now[0][std::size_t(k)].globalQ, was[0][std::size_t(k)].globalQ);
            const double to = TurnBetween(now[1][std::size_t(i)].globalQ, was[1][std::size_t(i)].globalQ);
            const double beyond = (to - std::fmax(2 * from, from + 5 / kDegrees)) * kDegrees;
            result.over[std::size_t(id)] = std::fmax(result.over[std::size_t(id)], (to - from) * kDegrees);
            if (everyTurn && beyond > -2)
                result.turns.back().emplace_back(id, float(beyond));
            if (everyTurn && (to - from) * kDegrees > 10)
                result.overs.back().emplace_back(id, float((to - from) * kDegrees));
            if (beyond > result.beyond[std::size_t(id)])
                result.beyond[std::size_t(id)] = beyond, result.beyondFrame[std::size_t(id)] = f;
            if (beyond > result.worst)
                result.worst = beyond, result.worstNode = id, result.worstFrame = f;
        }
        was[0] = now[0], was[1] = now[1];
        ++result.frames;
    }
    for (Miss& m : result.misses)
        m.mean /= std::max(1, result.frames);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

std::string Describe(const Run& run, const Result& r)
{
    char line[256];
    std::string out;
    std::snprintf(line, sizeof line,
                  "%-28s %d frames, %.1f s, %d with NaN, worst %.1f deg beyond (node %s, frame %d)\n", run.name.c_str(),
                  r.frames, r.seconds, r.nan, r.worst, r.worstNode > 0 ? VLMGetNodeName(r.worstNode) : "-",
                  r.worstFrame);
    out += line;
    static const char* const extremities[4] = {"left hand", "right hand", "left foot", "right foot"};
    if (r.lowestExtremity >= 0) {
        std::snprintf(line, sizeof line, "  lowest contact corner %7.3f cm (%s, frame %d), %d frames below -0.05 cm\n",
                      r.lowest, extremities[r.lowestExtremity], r.lowestFrame, r.framesBelow);
        out += line;
    }
    for (const Miss& m : r.misses) {
        std::snprintf(line, sizeof line, "  %-22s mean %7.3f  max %7.3f cm (frame %d)\n",
                      VLMGetEffectorName(m.effector), m.mean, m.max, m.maxFrame);
        out += line;
    }
    // The nodes that turn furthest beyond their source's turn.
    std::vector<int> ids;
    for (int id = 1; id < VLM_NODE_COUNT; ++id)
        if (r.beyondFrame[std::size_t(id)] >= 0)
            ids.push_back(id);
    std::sort(ids.begin(), ids.end(),
              [&](int a, int b) { return r.beyond[std::size_t(a)] > r.beyond[std::size_t(b)]; });
    out += "  turns beyond:";
    for (std::size_t k = 0; k < ids.size() && k < 4; ++k) {
        std::snprintf(line, sizeof line, " %s %.1f (f%d)", VLMGetNodeName(ids[k]), r.beyond[std::size_t(ids[k])],
                      r.beyondFrame[std::size_t(ids[k])]);
        out += line;
    }
    std::sort(ids.begin(), ids.end(), [&](int a, int b) { return r.over[std::size_t(a)] > r.over[std::size_t(b)]; });
    out += "\n  turns over source:";
    for (std::size_t k = 0; k < ids.size() && k < 4; ++k) {
        std::snprintf(line, sizeof line, " %s %.1f", VLMGetNodeName(ids[k]), r.over[std::size_t(ids[k])]);
        out += line;
    }
    return out + "\n";
}

const std::vector<Run>& Runs()
{
    using namespace vlm_entry;
    static const Setting floor = {FloorContact, 0, 1};
    static const std::vector<Setting> wrists = {floor, {ReachActorLeftWrist, 1}, {ReachActorRightWrist, 1}};
    static const std::vector<Setting> chest = {floor, {ReachActorChest, 1}};
    static const std::vector<Setting> stretch = {floor, {ReachActorChest, 1}, {SnSReachChestEnd, 1}};
    static const std::vector<Setting> chestWrists = {floor, {ReachActorChest, 1}, wrists[1], wrists[2]};
    static const std::vector<Setting> stretchWrists = {
        floor, {ReachActorChest, 1}, {SnSReachChestEnd, 1}, wrists[1], wrists[2]};
    static const std::vector<Setting> stretchSpineWrists = {
        floor,     {ReachActorChest, 1}, {SnSReachChestEnd, 1},      wrists[1],
        wrists[2], {SnSScaleSpine, 1},   {SnSScaleSpineChildren, 1}, {SnSSpineFreedom, 0.5f}};
    static const std::vector<Setting> resisted = {
        floor, {ReachActorChest, 1}, wrists[1], wrists[2], {CtrlResistChestPosition, 0.9f}};
    static const std::vector<Setting> knees = {floor, {ReachActorLeftKnee, 1}, {ReachActorRightKnee, 1}};
    static const std::vector<Setting> head = {floor, {ReachActorHead, 1}};
    static const std::vector<Setting> headPulled = {floor, {ReachActorHead, 1}, {CtrlPullHead, 1}};
    static const std::vector<int> ankles = {1, 2}, hands = {3, 4}, chestEnd = {10}, kneeGoals = {5, 6}, headGoal = {15};
    static const std::vector<Run> runs = [&] {
        std::vector<Run> r;
        const struct {
            Target target;
            const char* name;
        } targets[] = {{Target::Same, "Same"}, {Target::Typical, "Typical"}, {Target::Full, "Full"}};
        for (const auto& t : targets) {
            const auto add = [&](const std::string& what, Ratios ratios, const std::vector<Setting>& values,
                                 const std::vector<int>& goals) {
                r.push_back({what + t.name, t.target, ratios, values, goals});
            };
            add("Default", {}, {floor}, ankles);
            for (float arm : {1.0f, 1.1f, 1.2f})
                add("WristReachArms" + std::to_string(int(std::lround(arm * 10))), {arm, 1.0f}, wrists, hands);
            add("ChestReach", {}, chest, chestEnd);
            add("SquashAndStretch", {}, stretch, chestEnd);
            add("SquashAndStretchWristReach", {}, stretchWrists, chestEnd);
            // The hands' pulls on the chest with the chest's own goal: what the hands' share costs the chest end.
            add("ChestAndWristReachArms12", {1.2f, 1.0f}, chestWrists, chestEnd);
            add("SquashAndStretchWristReachArms12", {1.2f, 1.0f}, stretchWrists, chestEnd);
            // The chest end held against the hands (its position resisted by 0.9), its own goal on and the source's
            // arms half as long again: the hands' first moves on the chest end are short against their pulls far
            // beyond reach, and their shift must stay within those moves, not the share of the spine.
            add("ChestResistedWristReachArms15", {1.5f, 1.0f}, resisted, chestEnd);
            // The target's arms 1.2 times the source's: the hands within reach pull the chest end no further.
            add("ChestAndWristReachTargetArms12", {1 / 1.2f, 1.0f}, chestWrists, chestEnd);
            add("SquashAndStretchSpineWristReachTargetArms12", {1 / 1.2f, 1.0f}, stretchSpineWrists, chestEnd);
            add("KneeReach", {}, knees, kneeGoals);
            add("HeadReach", {}, head, headGoal);
            // The head's pull on as well: a head goal beyond the neck's reach turns and moves the chest toward it.
            add("HeadReachPulled", {}, headPulled, headGoal);
        }
        // Every run with both soles, on both takes.
        std::vector<Run> both;
        for (const char* take : {"01_01", "01_03"})
            for (const Run& run : r)
                for (const Sole sole : {Sole::Ankle, Sole::Toe}) {
                    both.push_back(run);
                    both.back().name = std::string(take == std::string("01_03") ? "Take03" : "") + run.name +
                                       (sole == Sole::Ankle ? "AnkleSole" : "ToeSole");
                    both.back().sole = sole;
                    both.back().take = take;
                }
        return both;
    }();
    return runs;
}

}  // namespace realtake
