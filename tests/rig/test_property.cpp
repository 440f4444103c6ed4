#include "rig/vlm_property.h"

#include "test_alloc.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const VLMPropertyInfo* table() { return VLMPropertyTable(); }

// The table entry a public id stands for, found through the names (which the
// integrity test proves unique).
int entryOfId(int id)
{
    const char* name = VLMGetPropertyName(id);
    for (int e = 0; name && e < VLM_PROPERTY_ENTRY_COUNT; ++e) {
        if (std::strcmp(table()[e].name, name) == 0)
            return e;
    }
    return -1;
}

int idOf(const char* name)
{
    const int id = VLMGetPropertyIdFromName(name);
    EXPECT_GE(id, 0) << name;
    return id;
}

// A set in a heap block of exactly 1696 bytes, so that the sanitizer build
// catches any access past its end.
struct HeapSet {
    VLMPropertySetState* set = VLMCreatePropertySetState(&TestAllocator::allocate);
    HeapSet() = default;
    ~HeapSet() { TestAllocator::release(set); }
    HeapSet(const HeapSet&) = delete;
    HeapSet& operator=(const HeapSet&) = delete;
    VLMPropertyPair& operator[](int entry) { return set->entries[entry]; }
};

}  // namespace

TEST(PropertyTable, IntegrityOfIdsNamesParentsAndRanges)
{
    std::set<std::string> names;
    int bodyFlags = 0;
    for (int e = 0; e < VLM_PROPERTY_ENTRY_COUNT; ++e) {
        const VLMPropertyInfo& info = table()[e];
        ASSERT_NE(info.name, nullptr) << e;
        names.insert(info.name);
        int steps = 0;
        for (int p = info.parent; p != -1; p = table()[p].parent) {
            ASSERT_TRUE(p >= 0 && p < VLM_PROPERTY_ENTRY_COUNT) << e;
            ASSERT_LT(++steps, VLM_PROPERTY_ENTRY_COUNT) << "cycle through " << e;
        }
        EXPECT_GE(info.defaultValue, info.minimum) << info.name;
        EXPECT_LE(info.defaultValue, info.maximum) << info.name;
        EXPECT_LE(info.valueKind, 6u) << info.name;
        const std::uint32_t modes[] = {~0u, 2, 3, 2};  // a property without modes may still carry one
        ASSERT_LE(info.modeKind, 3u) << info.name;
        EXPECT_LT(info.defaultMode, modes[info.modeKind]) << info.name;
        if (info.valueKind == VLM_PROPERTY_VALUE_FRACTION) {
            EXPECT_EQ(info.minimum, 0.0f) << info.name;
            EXPECT_EQ(info.maximum, 1.0f) << info.name;
        }
        EXPECT_EQ(info.reserved0 | info.reserved1[0] | info.reserved1[1] | info.reserved2, 0u) << info.name;
        EXPECT_EQ(info.invert != 0, e == 83) << info.name;
        bodyFlags += info.bodyDescription;
    }
    EXPECT_EQ(names.size(), 212u);
    EXPECT_EQ(bodyFlags, 51);  // posture, 2 x 7 contact sizes, hips mode, 8 angles, 24 tips, 3 types

    std::set<int> reached;
    for (int id = 0; id < VLM_PROPERTY_PUBLIC_COUNT; ++id) {
        reached.insert(entryOfId(id));
        EXPECT_EQ(VLMGetPropertyIdFromName(VLMGetPropertyName(id)), id);
    }
    EXPECT_EQ(reached.size(), 179u);
    EXPECT_EQ(reached.count(-1), 0u);

    // Entries other tables store by number, and public ids callers use.
    const std::pair<int, const char*> pins[] = {{31, "ReachActorLeftAnkleRotationRotation"},
                                                {44, "FloorContact"},
                                                {53, "FloorPivot"},
                                                {67, "LeftUpLegRoll"},
                                                {83, "AnkleStabilizationTime"},
                                                {112, "CtrlResistMaximumExtensionLeftKnee"},
                                                {141, "LeftHandThumbTip"},
                                                {165, "FingerSolving"},
                                                {177, "LeftLegMaxExtensionAngle"},
                                                {211, "RightForeArmRollEx"}};
    for (const auto& pin : pins)
        EXPECT_STREQ(table()[pin.first].name, pin.second) << pin.first;
    const int idEntries[][2] = {{0, 2}, {31, 44}, {59, 125}, {143, 127}, {178, 211}};
    for (const auto& idEntry : idEntries)
        EXPECT_EQ(entryOfId(idEntry[0]), idEntry[1]) << idEntry[0];
}

TEST(PropertyTable, NamesOfPropertiesModesAndValues)
{
    EXPECT_EQ(VLMGetPropertyIdFromName("Mirror"), 59);
    EXPECT_EQ(VLMGetPropertyIdFromName("ReachActorLeftAnkleRotationRotation"), 16);
    const char* const missing[] = {"mirror", "Damping", "ReachActorLeftAnkleRotation", "Mirror ", "", nullptr};
    for (const char* none : missing)
        EXPECT_EQ(VLMGetPropertyIdFromName(none), -1) << (none ? none : "null");

    EXPECT_STREQ(VLMGetPropertyModeName(1, 1), "Auto");  // ScaleCompensation
    EXPECT_STREQ(VLMGetPropertyModeName(31, 1), "On");   // FloorContact
    EXPECT_EQ(VLMGetPropertyModeName(31, 2), nullptr);
    EXPECT_EQ(VLMGetPropertyModeName(118, 0), nullptr);  // PullIterationCount has no mode
    EXPECT_STREQ(VLMGetAutoUserModeName(0), "Auto");
    EXPECT_STREQ(VLMGetOffAutoUserModeName(2), "User");
    EXPECT_EQ(VLMGetAutoUserModeName(2), nullptr);

    EXPECT_STREQ(VLMGetPropertyValueName(idOf("HandContactType"), 2), "FingerBase");
    EXPECT_STREQ(VLMGetPropertyValueName(idOf("FootContactType"), 2), "ToeBase");
    EXPECT_STREQ(VLMGetPropertyValueName(idOf("FootFingerContactMode"), 2), "Sticky & Spread");
    EXPECT_STREQ(VLMGetPropertyValueName(idOf("HipsTranslationMode"), 0), "World Rigid");
    EXPECT_STREQ(VLMGetPropertyValueName(idOf("Posture"), 1), "Quadruped");
    EXPECT_STREQ(VLMGetPropertyValueName(idOf("HandFloorPivot"), 2), "Fingers");
    EXPECT_EQ(VLMGetPropertyValueName(idOf("FloorPivot"), 3), nullptr) << "range 0..3, names 0..2";
    EXPECT_EQ(VLMGetPropertyValueName(idOf("FloorPivot"), -1), nullptr);
    EXPECT_EQ(VLMGetPropertyValueName(idOf("HipsTOffsetX"), 0), nullptr);
    EXPECT_STREQ(VLMGetContactBehaviourName(1), "Sync On Key");  // no public id: its own function
    EXPECT_EQ(VLMGetContactBehaviourName(3), nullptr);
}

TEST(PropertyTable, EveryIdAndEntryOutsideTheTableIsRefused)
{
    HeapSet s;
    ASSERT_NE(s.set, nullptr);
    for (int id : {179, 180, 255, 256, -1, -2, INT_MIN, INT_MAX}) {
        EXPECT_EQ(VLMGetPropertyName(id), nullptr) << id;
        EXPECT_EQ(VLMGetPropertyModeKind(id) | VLMGetPropertyValueKind(id) | VLMGetPropertyReservedWord(id), 0u);
        EXPECT_EQ(VLMGetPropertyBodyFlag(id), 0) << id;
        EXPECT_EQ(VLMGetPropertyDefaultMode(id), -1) << id;
        EXPECT_EQ(VLMGetPropertyDefaultValue(id), 0.0f) << id;
        EXPECT_EQ(VLMGetPropertyMin(id), 0.0f) << id;
        EXPECT_EQ(VLMGetPropertyMax(id), 0.0f) << id;
        EXPECT_EQ(VLMGetPropertyModeName(id, 0), nullptr) << id;
        EXPECT_EQ(VLMGetPropertyValueName(id, 0), nullptr) << id;
        EXPECT_EQ(VLMGetPropertyMode(s.set, id), 0) << id;
        EXPECT_EQ(VLMGetPropertyValue(s.set, id), 0.0f) << id;
        EXPECT_FALSE(VLMIsPublicPropertyInEffect(s.set, id)) << id;
        EXPECT_FALSE(VLMIsPublicPropertyAuto(s.set, id)) << id;
        VLMPropertySetState before;
        VLMPropertySetCopy(&before, s.set);
        VLMSetPropertyMode(s.set, id, 7);
        VLMSetPropertyValue(s.set, id, 0.5f);
        EXPECT_EQ(std::memcmp(&before, s.set, sizeof before), 0) << id;
    }
    for (int entry : {212, 213, -2, INT_MIN, INT_MAX}) {
        EXPECT_FALSE(VLMIsPropertyInEffect(s.set, entry)) << entry;
        EXPECT_FALSE(VLMIsPropertyAuto(s.set, entry)) << entry;
        EXPECT_EQ(VLMResolvePropertyValue(s.set, entry), -1.0f) << entry;
    }
    EXPECT_TRUE(VLMIsPropertyInEffect(s.set, -1));
    EXPECT_FALSE(VLMIsPropertyAuto(s.set, -1));
    EXPECT_EQ(VLMResolvePropertyValue(s.set, -1), -1.0f);

    // A missing set answers as an id outside the table does, and takes nothing.
    const int floorContact = 31;
    EXPECT_EQ(VLMGetPropertyMode(nullptr, floorContact), 0);
    EXPECT_EQ(VLMGetPropertyValue(nullptr, floorContact), 0.0f);
    EXPECT_FALSE(VLMIsPublicPropertyInEffect(nullptr, floorContact));
    EXPECT_FALSE(VLMIsPublicPropertyAuto(nullptr, floorContact));
    VLMSetPropertyMode(nullptr, floorContact, 1);
    VLMSetPropertyValue(nullptr, floorContact, 0.5f);
}

TEST(PropertySet, AllocationIsExactlyTheSetWithItsDefaults)
{
    EXPECT_EQ(VLMGetPropertySetStateSize(), 1696u);
    TestAllocator::reset();
    {
        HeapSet s;
        ASSERT_EQ(TestAllocator::requests, std::vector<std::uint64_t>{1696u});
        for (int e = 0; e < VLM_PROPERTY_ENTRY_COUNT; ++e) {
            EXPECT_EQ(s[e].mode, table()[e].defaultMode) << e;
            EXPECT_EQ(s[e].value, table()[e].defaultValue) << e;
        }
        EXPECT_EQ(VLMGetPropertyValue(s.set, 118), 10.0f);  // PullIterationCount
        EXPECT_EQ(VLMGetPropertyMode(s.set, 1), 1);         // ScaleCompensation: Auto
        EXPECT_EQ(VLMGetPropertyValue(s.set, 1), 100.0f);
        EXPECT_EQ(VLMGetPropertyMode(s.set, idOf("LeftUpLegRoll")), 0);
        EXPECT_EQ(VLMGetPropertyValue(s.set, idOf("LeftUpLegRoll")), 0.6f);
        EXPECT_EQ(VLMGetPropertyValue(s.set, idOf("StretchStopArmsAndLegs")), 1.1f);
    }
    EXPECT_EQ(TestAllocator::live, 0) << "the set is the allocation: the caller frees it as it is";
    TestAllocator::failAt = 1;
    EXPECT_EQ(VLMCreatePropertySetState(&TestAllocator::allocate), nullptr);
    EXPECT_EQ(VLMConstructPropertySetState(nullptr), nullptr);
    EXPECT_EQ(VLMConstructPropertySetStateOrNull(nullptr), nullptr);

    // No alignment slack: memory 4 but not 16 bytes aligned is used where it is.
    alignas(16) unsigned char memory[4 + 1696];
    std::memset(memory, 0xAB, sizeof memory);
    VLMPropertySetState* placed = VLMConstructPropertySetStateOrNull(memory + 4);
    EXPECT_EQ(static_cast<void*>(placed), memory + 4);
    EXPECT_EQ(placed->entries[3].mode, 1u);
    placed->entries[5].value = 3.0f;
    placed->entries[200].mode = 9;
    VLMPropertySetState copy;
    VLMPropertySetCopy(&copy, placed);
    EXPECT_EQ(std::memcmp(&copy, placed, sizeof copy), 0);
    EXPECT_EQ(VLMConstructPropertySetState(&copy), &copy);
    EXPECT_EQ(copy.entries[5].value, 0.0f);
    EXPECT_EQ(copy.entries[200].mode, 0u);
}

TEST(PropertySet, ValuesAreClampedOnlyForFractions)
{
    HeapSet s;
    for (int id = 0; id < VLM_PROPERTY_PUBLIC_COUNT; ++id) {
        VLMSetPropertyMode(s.set, id, 100u + id);
        VLMSetPropertyValue(s.set, id, 0.25f);
        EXPECT_EQ(s[entryOfId(id)].mode, 100u + id) << id;
        EXPECT_EQ(VLMGetPropertyValue(s.set, id), 0.25f);
    }
    const int fraction = idOf("ShoulderCorrection"), offset = idOf("HipsTOffsetX");
    const float cases[][2] = {{1.7f, 1.0f}, {-0.3f, 0.0f}, {-5000.0f, 0.0f}, {NAN, 0.0f}, {0.42f, 0.42f}};
    for (const auto& c : cases) {
        VLMSetPropertyValue(s.set, fraction, c[0]);
        VLMSetPropertyValue(s.set, offset, c[0]);
        EXPECT_EQ(VLMGetPropertyValue(s.set, fraction), c[1]) << c[0];
        EXPECT_EQ(std::memcmp(&s[entryOfId(offset)].value, &c[0], 4), 0) << "the table's range is not enforced";
    }
}

TEST(PropertySet, InEffectFollowsModesUpTheParentChain)
{
    HeapSet s;
    enum {
        FloorContact = 44,
        FootBottomToAnkle = 45,
        Damping = 75,
        Orientation = 76,
        Displacement = 77,
        DisplacementMemory = 78,
        HipsDisplacementDamping = 79
    };
    for (std::uint32_t mode : {0u, 1u}) {
        s[FloorContact].mode = mode;
        EXPECT_TRUE(VLMIsPropertyInEffect(s.set, FootBottomToAnkle)) << mode;
        EXPECT_EQ(VLMIsPropertyInEffect(s.set, FloorContact), mode == 1);
        EXPECT_EQ(VLMIsPublicPropertyInEffect(s.set, 31), mode == 1);
    }
    EXPECT_TRUE(VLMIsPropertyInEffect(s.set, Damping));
    for (std::uint32_t mode : {0u, 1u, 2u}) {
        s[Orientation].mode = mode;
        EXPECT_EQ(VLMIsPropertyInEffect(s.set, Orientation), mode != 0);
    }
    for (std::uint32_t parent : {0u, 1u, 2u}) {
        s[Displacement].mode = parent;
        for (std::uint32_t own : {0u, 1u}) {
            s[DisplacementMemory].mode = own;
            s[HipsDisplacementDamping].mode = own;
            EXPECT_EQ(VLMIsPropertyInEffect(s.set, DisplacementMemory), parent != 0) << parent << own;
            EXPECT_EQ(VLMIsPropertyInEffect(s.set, HipsDisplacementDamping), parent != 0);
        }
    }
}

TEST(PropertySet, AutoModesAndResolvedValues)
{
    HeapSet s;
    enum {
        ScaleCompensation = 3,
        FloorContact = 44,
        Displacement = 77,
        DisplacementMemory = 78,
        AnkleStabilizationTime = 83,
        ShoulderCorrection = 127
    };
    EXPECT_TRUE(VLMIsPropertyAuto(s.set, ScaleCompensation));  // Off/Auto/User, mode 1
    EXPECT_TRUE(VLMIsPublicPropertyAuto(s.set, 1));
    EXPECT_TRUE(VLMIsPropertyAuto(s.set, DisplacementMemory));  // Auto/User, mode 0
    s[FloorContact].mode = 1;
    s[0].mode = 1;
    EXPECT_FALSE(VLMIsPropertyAuto(s.set, FloorContact)) << "Off/On has no Auto";
    EXPECT_FALSE(VLMIsPropertyAuto(s.set, 0)) << "no modes: never Auto";

    s[ShoulderCorrection].value = 0.25f;
    EXPECT_EQ(VLMResolvePropertyValue(s.set, ShoulderCorrection), 0.25f);  // a fraction gives its value
    EXPECT_EQ(VLMResolvePropertyValue(s.set, 0), -1.0f);                   // another number gives none
    EXPECT_EQ(VLMResolvePropertyValue(s.set, ScaleCompensation), -1.0f);   // Auto without parent
    EXPECT_EQ(VLMResolvePropertyValue(s.set, DisplacementMemory), -1.0f);  // parent chain without fraction
    s[Displacement].mode = 2;
    EXPECT_EQ(VLMResolvePropertyValue(s.set, DisplacementMemory), -1.0f);
    // Inverted Auto entry whose parent has no value: no value, not 1 - (-1).
    EXPECT_EQ(VLMResolvePropertyValue(s.set, AnkleStabilizationTime), -1.0f);

    s[ScaleCompensation].mode = 2;
    s[DisplacementMemory].mode = 1;
    EXPECT_FALSE(VLMIsPropertyAuto(s.set, ScaleCompensation));
    EXPECT_FALSE(VLMIsPropertyAuto(s.set, DisplacementMemory));
}

TEST(PropertySet, ResolvingAutoPropertiesRestoresDefaultsWithoutAFractionSource)
{
    HeapSet s;
    for (int e = 0; e < VLM_PROPERTY_ENTRY_COUNT; ++e)
        s[e].value = 0.75f;
    s[3].mode = 2;  // ScaleCompensation switched to User keeps its value
    VLMPropertySetState before;
    VLMPropertySetCopy(&before, s.set);
    VLMResolveAutoProperties(s.set);
    for (int e = 0; e < VLM_PROPERTY_ENTRY_COUNT; ++e) {
        const VLMPropertyInfo& info = table()[e];
        EXPECT_EQ(s[e].mode, before.entries[e].mode) << info.name;
        const bool resolved = info.valueKind != 0 && VLMIsPropertyAuto(s.set, e);
        EXPECT_EQ(s[e].value, resolved ? info.defaultValue : 0.75f) << info.name;
    }
    EXPECT_EQ(s[3].value, 0.75f);
    EXPECT_EQ(s[4].value, 0.0f);   // HipsHeightCompensation, Auto
    EXPECT_EQ(s[83].value, 0.0f);  // AnkleStabilizationTime stays inside [0, 1]
}

TEST(PropertyFloat, ClampTakesTheLowBoundFirst)
{
    EXPECT_EQ(VLMPropertyFloatMin(1.0f, 2.0f), 1.0f);
    EXPECT_EQ(VLMPropertyFloatMax(1.0f, 2.0f), 2.0f);
    EXPECT_EQ(VLMPropertyFloatMin(NAN, 2.0f), 2.0f);
    EXPECT_EQ(VLMPropertyFloatMax(NAN, 2.0f), 2.0f);
    EXPECT_EQ(VLMPropertyFloatClamp(5.0f, -1.0f, 1.0f), 1.0f);
    EXPECT_EQ(VLMPropertyFloatClamp(-5.0f, -1.0f, 1.0f), -1.0f);
    EXPECT_EQ(VLMPropertyFloatClamp(0.5f, 2.0f, 1.0f), 1.0f);  // max with low, then min with high
    EXPECT_EQ(VLMPropertyFloatClamp(NAN, 0.25f, 1.0f), 0.25f);
    EXPECT_EQ(VLMPropertyFloatClamp01(0.3f), 0.3f);
}
