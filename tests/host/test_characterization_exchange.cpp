// The host stream pair carries a characterization of a real skeleton out of the
// model and back in, the way the panel's stream members use it.
#include "rig/vlm_character.h"

#include "model/characterization_files.h"
#include "model_fixture.h"

#include <cstdlib>
#include <cstring>

namespace {

// The panel's SetCharacterizationFromStream: a readable stream becomes a
// locked characterization, handed to the model and selected.
bool AddFromStream(CharacterizationModel& model, const char* data, std::size_t size,
                   const std::vector<QString>& names)
{
    std::unique_ptr<Characterization> c = CharacterizationFromStream(data, size, names);
    if (!c)
        return false;
    c->SetLocked(true);
    model.AddCharacterization(c.release());
    model.SetCurrentCharacterization(model.CharacterizationCount() - 1);
    return true;
}

} // namespace

TEST_F(ModelTest, StreamPairBringsBackALockedUnregisteredCharacterization)
{
    LoadSample("rig_names.bvh");
    Characterization* hero = AddNamed("Hero");
    AutoMatchScene();
    CharacterJointGeometry arm;
    ASSERT_TRUE(host_.RestGeometry("LeftArm", arm));
    arm.SetMaxRLimit(0.5f, 1.25f, 3.0f);
    arm.SetMaxRLimitEnable(true, false, true);
    arm.SetRotationOrder(VLMRotationOrder(4));
    ASSERT_TRUE(host_.SetJointGeometry("LeftArm", arm));
    Tick();
    Model().ToggleBoneInversion(13);
    ASSERT_TRUE(hero->IsNodeComplete(9));
    ASSERT_EQ(Model().GetStatus(), CharacterizationStatus(1, ""));
    const int before = Model().CharacterizationCount();
    host_.ClearRecords();

    const char* const expectedNames[] = {"New Characterization", "New Characterization (1)"};
    for (bool bigEndian : {false, true}) {
        char* data = nullptr;
        std::size_t size = 0;
        ASSERT_TRUE(CharacterizationToStream(*hero, bigEndian, true, data, size));
        const std::vector<QString> names = hero->GetNodeNames();
        ASSERT_TRUE(AddFromStream(Model(), data, size, names));
        std::free(data);

        Characterization& back = Current();
        EXPECT_EQ(back.GetName(), expectedNames[bigEndian]);
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
    EXPECT_EQ(Model().CharacterizationCount(), before + 2);
    EXPECT_TRUE(host_.GeometryQueries().empty()) << "locked characterizations ask the host nothing";

    // An unreadable stream adds nothing and leaves the selection alone.
    Characterization* current = Model().GetCurrentCharacterization();
    EXPECT_FALSE(AddFromStream(Model(), "VLMC", 4, hero->GetNodeNames()));
    EXPECT_EQ(Model().CharacterizationCount(), before + 2);
    EXPECT_EQ(Model().GetCurrentCharacterization(), current);

    model_.reset();
    for (const QString& line : host_.NotificationLog())
        EXPECT_FALSE(line.contains("New Characterization")) << line.toStdString();
}
