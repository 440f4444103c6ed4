#include "sample_rig.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace sample_rig;

namespace {

struct Sample {
    const char* file;
    int assigned;  // joints that the hand mapping assigns
};

const Sample kSamples[] = {{"rig_names.bvh", 92},
                           {"namespace_colon.bvh", 83},
                           {"prefix_underscore.bvh", 92},
                           {"biped_spaces.bvh", 82},
                           {"suffix_lower.bvh", 92}};

struct Fixture {
    StandInHost host;
    Characterization c{QStringLiteral("Body"), nullptr};
    int assigned = 0;

    explicit Fixture(const Sample& s) { assigned = AssignSample(host, QString::fromLatin1(s.file), c); }
    Validation validate() { return Validate(c, &host, BuildValidators()); }

    // Puts the joint of one rig node (alone, its children stay) at another place.
    void place(int node, float x, float y, float z)
    {
        CharacterJointGeometry g;
        ASSERT_TRUE(host.RestGeometry(c.GetNodeName(node), g));
        g.SetTranslate(x, y, z);
        ASSERT_TRUE(host.SetJointGeometry(c.GetNodeName(node), g));
    }
    void placeAt(int node, int other)
    {
        CharacterJointGeometry g;
        ASSERT_TRUE(host.RestGeometry(c.GetNodeName(other), g));
        place(node, g.GetTranslate()[0], g.GetTranslate()[1], g.GetTranslate()[2]);
    }
};

}  // namespace

TEST(SampleValidation, EverySampleInItsTPoseIsValid)
{
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.file);
        Fixture f(s);
        EXPECT_EQ(f.assigned, s.assigned);
        const Validation v = f.validate();
        EXPECT_EQ(v.overall, CharacterizationStatus(1, ""));
        for (int node = 0; node < VLM_NODE_COUNT; ++node)
            EXPECT_EQ(v.nodes[node], CharacterizationStatus(f.c.IsNodeAssigned(node), "")) << VLMGetNodeName(node);
    }
}

TEST(SampleValidation, AnArmThreeDegreesOffTheXAxisWarns)
{
    const std::string text = "The left arm doesn't seem to be parallel to the X axis. There is a difference of "
                             "3.000027 degrees between it and the X axis. This difference should be less than "
                             "2.000000 degrees.";
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.file);
        Fixture f(s);
        // The hand 54 cm from the arm joint, raised 3 degrees; its position
        // rounded to float puts the angle at 3.000027.
        const double rad = 3.0 * 3.14159265358979323846 / 180.0;
        f.place(VLM_NODE_LEFT_HAND, float(15 + 54 * std::cos(rad)), float(144 + 54 * std::sin(rad)), 0);
        const Validation v = f.validate();
        EXPECT_EQ(v.overall, CharacterizationStatus(2, "The left arm doesn't seem to be parallel to the X axis."));
        EXPECT_EQ(v.nodes[VLM_NODE_LEFT_HAND], CharacterizationStatus(2, text));
        EXPECT_EQ(v.nodes[VLM_NODE_LEFT_ARM], CharacterizationStatus(2, text));
        EXPECT_EQ(v.nodes[VLM_NODE_LEFT_FORE_ARM], CharacterizationStatus(1, ""));
        EXPECT_EQ(v.nodes[VLM_NODE_RIGHT_HAND], CharacterizationStatus(1, ""));
    }
}

TEST(SampleValidation, AMissingRequiredNodeIsAnError)
{
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.file);
        Fixture f(s);
        f.c.ClearNode(VLM_NODE_HEAD);
        const Validation v = f.validate();
        EXPECT_EQ(v.overall, CharacterizationStatus(3, "Missing required bones."));
        EXPECT_EQ(v.nodes[VLM_NODE_HEAD], CharacterizationStatus(0, ""));
        EXPECT_EQ(v.nodes[VLM_NODE_HIPS], CharacterizationStatus(1, ""));
    }

    // Nothing assigned at all: no validator applies but the required one.
    Characterization empty(QStringLiteral("Empty"), nullptr);
    const Validation v = Validate(empty, nullptr, BuildValidators());
    EXPECT_EQ(v.overall, CharacterizationStatus(3, "Missing required bones."));
    for (const CharacterizationStatus& n : v.nodes)
        EXPECT_EQ(n, CharacterizationStatus(0, ""));
}

TEST(SampleValidation, HolesInTheSpineNeckAndDigitChains)
{
    // Samples whose spine, neck and fingers have more than one joint each.
    for (const Sample& s : {kSamples[0], kSamples[4]}) {
        SCOPED_TRACE(s.file);
        Fixture f(s);
        f.c.ClearNode(VLM_NODE_SPINE1);
        f.c.ClearNode(VLM_NODE_NECK);
        f.c.ClearNode(VLM_NODE_LEFT_HAND_THUMB1 + 4 + 1);   // LeftHandIndex2
        f.c.ClearNode(VLM_NODE_RIGHT_FOOT_THUMB1 + 4 * 4);  // RightFootPinky1
        const Validation v = f.validate();
        EXPECT_EQ(v.overall, CharacterizationStatus(3, "One or more nodes are missing in the spine\n"
                                                       "One or more nodes are missing in the neck\n"
                                                       "One or more nodes are missing in the left hand index finger\n"
                                                       "One or more nodes are missing in the right foot pinky finger"));
        EXPECT_EQ(v.nodes[VLM_NODE_SPINE1 + 1],
                  CharacterizationStatus(3, "One or more nodes are missing in the spine. Node Spine2 is set but not "
                                            "node Spine1"));
        EXPECT_EQ(v.nodes[VLM_NODE_NECK1],
                  CharacterizationStatus(3, "One or more nodes are missing in the neck. Node Neck1 is set but not "
                                            "node Neck"));
        EXPECT_EQ(v.nodes[VLM_NODE_LEFT_HAND_THUMB1 + 6],
                  CharacterizationStatus(3, "One or more nodes are missing in the left hand index finger. Node "
                                            "LeftHandIndex3 is set but not node LeftHandIndex2"));
        EXPECT_EQ(v.nodes[VLM_NODE_LEFT_HAND_THUMB1 + 7], CharacterizationStatus(1, ""));
        EXPECT_EQ(v.nodes[VLM_NODE_RIGHT_FOOT_THUMB1 + 17],
                  CharacterizationStatus(3, "One or more nodes are missing in the right foot pinky finger. Node "
                                            "RightFootPinky2 is set but not node RightFootPinky1"));
        EXPECT_EQ(v.nodes[VLM_NODE_SPINE1], CharacterizationStatus(0, ""));
    }
}

TEST(SampleValidation, TwoJointsAtOnePosition)
{
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.file);
        // The two ends of the forearm together: an error on both.
        {
            Fixture f(s);
            f.placeAt(VLM_NODE_LEFT_HAND, VLM_NODE_LEFT_FORE_ARM);
            const Validation v = f.validate();
            EXPECT_EQ(v.overall, CharacterizationStatus(3, "Some nodes are at the same position."));
            const CharacterizationStatus error(3, "Node LeftForeArm is at the same position as node LeftHand.");
            EXPECT_EQ(v.nodes[VLM_NODE_LEFT_FORE_ARM], error);
            EXPECT_EQ(v.nodes[VLM_NODE_LEFT_HAND], error);
        }
        // The first toe joint onto the ankle: not one limb bone, a warning.
        {
            Fixture f(s);
            // The biped's first toe joint is a digit, the others' a toe base.
            const int toeNode =
                f.c.IsNodeAssigned(VLM_NODE_LEFT_TOE_BASE) ? VLM_NODE_LEFT_TOE_BASE : VLM_NODE_LEFT_FOOT_THUMB1;
            f.placeAt(toeNode, VLM_NODE_LEFT_FOOT);
            const Validation v = f.validate();
            const std::string text =
                std::string("Node LeftFoot is at the same position as node ") + VLMGetNodeName(toeNode) + ".";
            EXPECT_EQ(v.overall, CharacterizationStatus(2, "Some nodes are almost at the same position."));
            EXPECT_EQ(v.nodes[VLM_NODE_LEFT_FOOT], CharacterizationStatus(2, text));
            EXPECT_EQ(v.nodes[toeNode], CharacterizationStatus(2, text));
        }
    }

    // Roll nodes are skipped: a twist joint on its limb joint changes nothing.
    Fixture f(kSamples[0]);
    f.placeAt(VLM_NODE_LEFT_UP_LEG_ROLL, VLM_NODE_LEFT_UP_LEG);
    f.placeAt(VLM_NODE_RIGHT_FORE_ARM_ROLL, VLM_NODE_RIGHT_HAND);
    EXPECT_EQ(f.validate().overall, CharacterizationStatus(1, ""));
}

TEST(SampleValidation, HipsTogetherWarnTwice)
{
    Fixture f(kSamples[2]);
    f.placeAt(VLM_NODE_RIGHT_UP_LEG, VLM_NODE_LEFT_UP_LEG);
    const Validation v = f.validate();
    EXPECT_EQ(v.overall, CharacterizationStatus(2, "The hips don't seem to be facing the positive direction of the Z "
                                                   "axis.\nSome nodes are almost at the same position."));
    // Only an error sticks to a node: the later same-position warning
    // replaces the axis warning.
    EXPECT_EQ(v.nodes[VLM_NODE_LEFT_UP_LEG],
              CharacterizationStatus(2, "Node LeftUpLeg is at the same position as node RightUpLeg."));
}
