// The host stream pair carries a characterization of a real skeleton out of the
// model and back in, the way the panel's stream members use it.
#include "rig/vlm_character.h"

#include "model/characterization_files.h"
#include "model_fixture.h"

#include <cstdlib>
#include <cstring>

TEST_F(ModelTest, StreamPairBringsBackALockedUnregisteredCharacterization)
{
    LoadSample("rig_names.bvh");
    Characterization* hero = AddNamed("Hero");
    AutoMatchScene();
    CharacterJointGeometry arm;
    ASSERT_TRUE(host_.RestGeometry("LeftArm", arm));
    arm.SetMaxRLimit(0.5f, 1.25f, 3.0f);
    arm.SetMaxRLimitEnable(true, false, true);
    ASSERT_TRUE(host_.SetJointGeometry("LeftArm", arm));
    Tick();
    Model().ToggleBoneInversion(13);
    ASSERT_TRUE(hero->IsNodeComplete(9));
    ASSERT_EQ(Model().GetStatus(), CharacterizationStatus(1, ""));
    const int before = Model().CharacterizationCount();
    host_.ClearRecords();

    // What the panel's SetCharacterizationFromStream does: a readable stream
    // becomes a locked characterization, handed to the model and selected.
    const auto addFromStream = [&](const char* data, std::size_t size) {
        std::unique_ptr<Characterization> c = CharacterizationFromStream(data, size, hero->GetNodeNames());
        if (c) {
            c->SetLocked(true);
            Model().AddCharacterization(c.release());
        }
    };
    for (unsigned char order : {kStreamLittleEndian, kStreamBigEndian}) {
        char* data = nullptr;
        std::size_t size = 0;
        ASSERT_TRUE(CharacterizationToStream(*hero, order, true, data, size));
        addFromStream(data, size);
        std::free(data);

        Characterization& back = Current();
        EXPECT_EQ(back.GetName(), order ? "New Characterization (1)" : "New Characterization");
        EXPECT_TRUE(back.IsLocked());
        EXPECT_FALSE(Polling());
        EXPECT_EQ(back.GetHub(), nullptr);
        EXPECT_EQ(back.GetNodeNames(), hero->GetNodeNames());
        EXPECT_EQ(std::memcmp(&back.GetNodeFlags(), &hero->GetNodeFlags(), sizeof(VLMCharacterDefinition)), 0);
        EXPECT_EQ(std::memcmp(&back.GetBoneInversion(), &hero->GetBoneInversion(), sizeof(VLMBoneInversion)), 0);
        EXPECT_TRUE(VLMJointGeometryEqual(&back.JointGeometryAt(9), &hero->JointGeometryAt(9)));
        // Validated without the host, it is as valid as the original.
        EXPECT_EQ(Model().GetStatus(), CharacterizationStatus(1, ""));
    }
    EXPECT_TRUE(host_.GeometryQueries().empty()) << "locked characterizations ask the host nothing";

    // An unreadable stream adds nothing and leaves the selection alone.
    Characterization* current = Model().GetCurrentCharacterization();
    addFromStream("VLMC", 4);
    EXPECT_EQ(Model().CharacterizationCount(), before + 2);
    EXPECT_EQ(Model().GetCurrentCharacterization(), current);

    model_.reset();
    EXPECT_TRUE(host_.NotificationLog().filter("New Characterization").isEmpty());
}
