// A real motion-capture take for the solver's tests: a BVH file (hierarchy and
// motion) with a joint map onto rig nodes, the source character built from its
// skeleton through the public path the fixtures use, its pose per frame, and a
// harness that retargets every frame onto a target and measures how far each
// goal is missed and how far each node turns beyond its source node.
#ifndef SKW_TESTS_SUPPORT_REAL_TAKE_H
#define SKW_TESTS_SUPPORT_REAL_TAKE_H

#include "solver_fixtures.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace realtake {

struct Joint {
    std::string name;
    int parent = -1;  // index of the parent joint, -1 for the root
    float offset[3] = {0, 0, 0};
    int channels[6] = {};  // 0..2 X/Y/Z position, 3..5 X/Y/Z rotation, in the file's order
    int channelCount = 0;
    int firstChannel = 0;  // into a frame's values
    int node = -1;         // the rig node it maps onto, -1 when none
};

struct Take {
    std::vector<Joint> joints;  // parents first
    int channelCount = 0;
    std::vector<std::vector<float>> frames;  // channel values per frame
};

// Reads the BVH text and the map ("joint node" a line, '#' comments). On bad
// input answers false with the line and the reason in `error`; `take` is left
// empty.
bool Parse(const std::string& bvh, const std::string& map, Take& take, std::string& error);
bool Load(const std::string& bvhPath, const std::string& mapPath, Take& take, std::string& error);

// A take in the project's test data by its name ("01_01": a walk, turns, a jump and a climb; "01_03": the same
// subject and skeleton, its planted feet often below the capture's floor), read with the one map both share (loaded
// once; a failure to load ends the program with the reason).
const Take& Named(const std::string& name);
const Take& Walk();  // 01_01

// Lengths of the capture in centimetres per unit.
constexpr float kCentimetres = 5.6f;

// The source character: the take's mapped joints at their rest places (the
// calibration pose of frame 0 has every rotation zero), limbs scaled by the
// ratios (each joint below the limb's root moved out from it).
struct Ratios {
    float arm = 1.0f, leg = 1.0f;
};
fixtures::Fixture BuildCharacter(const Take& take, const Ratios& ratios = {});
// The pose of a frame on a character built from the take with the same ratios.
void PoseFrame(const Take& take, int frame, const Ratios& ratios, const fixtures::Scene& scene);

// A retarget of the whole take under one set of settings.
enum class Target { Same, Typical, Full };
// Where the soles are set, on source and target alike, each measured on its own skeleton in the T-pose: at the
// ankle's height (8.10 cm on the take's skeleton), or at the ankle's height over the toe joint (2.58 cm), as users
// as often measure it.
enum class Sole { Ankle, Toe };
struct Setting {
    int entry;
    float value;
    int mode = -1;  // left as it is when negative
};
struct Run {
    std::string name;
    Target target;
    Ratios source;                // the source's limbs against the take's
    std::vector<Setting> values;  // the target's settings
    std::vector<int> effectors;   // the goals measured
    int step = 1;                 // every step-th frame of the take
    Sole sole = Sole::Ankle;
    std::string take = "01_01";  // the take's name (Named)
};

struct Miss {
    int effector;
    double mean = 0, max = 0;  // cm from its goal
    int maxFrame = -1;
    std::vector<float> frames;  // the miss at each frame measured
};
struct Result {
    std::vector<Miss> misses;  // one per effector of the run, in its order
    // Per node, the worst turn between two frames beyond max(2 x its source node's turn, that turn + 5 degrees),
    // in degrees (the source node: the node itself, else its nearest ancestor the source has).
    std::vector<double> beyond;  // by node id
    std::vector<int> beyondFrame;
    std::vector<double> over;  // by node id: the worst turn between two frames beyond its source node's, in degrees
    double worst = -1e9;
    int worstNode = -1, worstFrame = -1;
    // The contact corners of the hands (extremities 0, 1) and feet (2, 3): the lowest of each extremity per frame
    // measured, cm above the floor, and the lowest over the take of those whose floor contact is on (the floor
    // column), with its frame and the frames with such a corner more than 0.05 cm below the floor.
    std::vector<std::array<float, 4>> corners;
    bool contact[4] = {};
    double lowest = 1e9;
    int lowestExtremity = -1, lowestFrame = -1, framesBelow = 0;
    // Filled when asked: per frame measured, the nodes turning less than 2 degrees short of the bound above or
    // beyond it, as (node, degrees beyond), and those turning more than 10 degrees beyond their source node's turn,
    // as (node, degrees over).
    std::vector<std::vector<std::pair<int, float>>> turns, overs;
    int frames = 0, nan = 0;
    double seconds = 0;
};
Result Measure(const Take& take, const Run& run, bool everyTurn = false);
// One line per effector and the worst nodes.
std::string Describe(const Run& run, const Result& result);

// The runs on the takes: the presets, the source's arm ratios, the settings users turn on most, each with both soles
// (named ...AnkleSole and ...ToeSole), on 01_01 and on 01_03 (named Take03...).
const std::vector<Run>& Runs();

}  // namespace realtake

#endif
