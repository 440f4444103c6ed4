#include "vlm_property.h"

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

// An allocator that answers from a pool at an address that is 4 but not 16
// bytes aligned, and remembers what it handed out.
struct PoolAllocator {
    alignas(16) static inline unsigned char pool[2048];
    static inline void* last = nullptr;
    static void* allocate(std::uint64_t size)
    {
        last = size <= sizeof pool - 4 ? pool + 4 : nullptr;
        return last;
    }
};

} // namespace

TEST(PropertyTable, PublicIdsMapOneToOneOntoEntriesAndNamesAreUnique)
{
    std::set<std::string> names;
    for (int e = 0; e < VLM_PROPERTY_ENTRY_COUNT; ++e) {
        ASSERT_NE(table()[e].name, nullptr) << e;
        EXPECT_GT(std::strlen(table()[e].name), 0u) << e;
        names.insert(table()[e].name);
    }
    EXPECT_EQ(names.size(), 212u);

    std::set<int> reached;
    for (int id = 0; id < VLM_PROPERTY_PUBLIC_COUNT; ++id) {
        const int e = entryOfId(id);
        ASSERT_GE(e, 0) << id;
        reached.insert(e);
        EXPECT_EQ(VLMGetPropertyIdFromName(VLMGetPropertyName(id)), id);
    }
    EXPECT_EQ(reached.size(), 179u);
    EXPECT_EQ(212 - static_cast<int>(reached.size()), 33);
}

TEST(PropertyTable, ParentsAreInRangeAndAcyclicDefaultsLieInTheirRanges)
{
    for (int e = 0; e < VLM_PROPERTY_ENTRY_COUNT; ++e) {
        const VLMPropertyInfo& info = table()[e];
        int steps = 0;
        for (int p = info.parent; p != -1; p = table()[p].parent) {
            ASSERT_TRUE(p >= 0 && p < VLM_PROPERTY_ENTRY_COUNT) << e;
            ASSERT_LT(++steps, VLM_PROPERTY_ENTRY_COUNT) << "cycle through " << e;
        }
        EXPECT_LE(info.minimum, info.maximum) << e;
        EXPECT_GE(info.defaultValue, info.minimum) << info.name;
        EXPECT_LE(info.defaultValue, info.maximum) << info.name;
        EXPECT_LE(info.modeKind, 3u) << info.name;
        EXPECT_LE(info.valueKind, 6u) << info.name;
        if (info.modeKind != VLM_PROPERTY_MODES_NONE) {
            const std::uint32_t modes = info.modeKind == VLM_PROPERTY_MODES_OFF_AUTO_USER ? 3u : 2u;
            EXPECT_LT(info.defaultMode, modes) << info.name;
        }
        if (info.valueKind == VLM_PROPERTY_VALUE_FRACTION) {
            EXPECT_EQ(info.minimum, 0.0f) << info.name;
            EXPECT_EQ(info.maximum, 1.0f) << info.name;
        }
        EXPECT_EQ(info.reserved0 | info.reserved1[0] | info.reserved1[1] | info.reserved2, 0u) << info.name;
        EXPECT_EQ(info.invert != 0, e == 83) << info.name;
    }
}

TEST(PropertyTable, EntriesOtherTablesStoreByIndexHoldTheirProperties)
{
    struct Pin {
        int entry;
        const char* name;
    };
    const Pin pins[] = {
        {0, "PullIterationCount"}, {31, "ReachActorLeftAnkleRotationRotation"}, {38, "HipsTOffsetX"},
        {43, "ChestTOffsetZ"}, {44, "FloorContact"}, {45, "FootBottomToAnkle"}, {51, "ContactSize"},
        {52, "AutomaticToes"}, {53, "FloorPivot"}, {54, "ParamFootContactStiffness"},
        {55, "HandFloorContact"}, {62, "HandContactSize"}, {65, "ParamHandContactStiffness"},
        {67, "LeftUpLegRoll"}, {74, "RightForeArmRoll"}, {83, "AnkleStabilizationTime"},
        {112, "CtrlResistMaximumExtensionLeftKnee"}, {115, "CtrlResistMaximumExtensionRightKnee"},
        {118, "CtrlResistMaximumExtensionLeftElbow"}, {121, "CtrlResistMaximumExtensionRightElbow"},
        {128, "LeftKneeKillPitch"}, {131, "RightElbowKillPitch"}, {141, "LeftHandThumbTip"},
        {147, "RightHandThumbTip"}, {153, "LeftFootThumbTip"}, {159, "RightFootThumbTip"},
        {164, "RightFootExtraFingerTip"}, {165, "FingerSolving"}, {166, "HandContactType"},
        {170, "FootContactType"}, {173, "ParamFootFingerContactRollStiffness"},
        {177, "LeftLegMaxExtensionAngle"}, {180, "RightArmMaxExtensionAngle"},
        {188, "RealisticLeftKneeSolving"}, {189, "RealisticRightKneeSolving"},
        {193, "SnSReachLeftWrist"}, {196, "SnSReachRightAnkle"}, {204, "LeftUpLegRollEx"},
        {211, "RightForeArmRollEx"},
    };
    for (const Pin& pin : pins)
        EXPECT_STREQ(table()[pin.entry].name, pin.name) << pin.entry;

    // Public ids the solver layer and the 3D view use.
    EXPECT_EQ(entryOfId(0), 2);    // ForceActorSpace
    EXPECT_EQ(entryOfId(31), 44);  // FloorContact
    EXPECT_EQ(entryOfId(38), 55);  // HandFloorContact
    EXPECT_EQ(entryOfId(59), 125); // Mirror
    EXPECT_EQ(entryOfId(143), 127); // ShoulderCorrection
    EXPECT_EQ(entryOfId(178), 211);

    const VLMPropertyInfo& time = table()[83];
    EXPECT_EQ(time.parent, 82);
    EXPECT_EQ(time.modeKind, 3u);
    EXPECT_EQ(time.valueKind, 2u);
    EXPECT_EQ(time.defaultMode, 0u);

    int bodyFlags = 0;
    for (int e = 0; e < VLM_PROPERTY_ENTRY_COUNT; ++e)
        bodyFlags += table()[e].bodyDescription;
    EXPECT_EQ(bodyFlags, 51);  // posture, 2 x 7 contact sizes, hips mode, 8 angles, 24 tips, 3 types
    EXPECT_EQ(VLMGetPropertyBodyFlag(idOf("Posture")), 1);
    EXPECT_EQ(VLMGetPropertyBodyFlag(idOf("FloorContact")), 0);
}

TEST(PropertyTable, NameLookupIsExactAndCoversPublicIdsOnly)
{
    EXPECT_EQ(VLMGetPropertyIdFromName("Mirror"), 59);
    EXPECT_EQ(VLMGetPropertyIdFromName("mirror"), -1);
    EXPECT_EQ(VLMGetPropertyIdFromName("Damping"), -1);
    EXPECT_EQ(VLMGetPropertyIdFromName("ReachActorLeftAnkleRotationRotation"), 16);
    EXPECT_EQ(VLMGetPropertyIdFromName("ReachActorLeftAnkleRotation"), -1);
    EXPECT_EQ(VLMGetPropertyIdFromName("Mirror "), -1);
    EXPECT_EQ(VLMGetPropertyIdFromName(""), -1);
    EXPECT_EQ(VLMGetPropertyIdFromName(nullptr), -1);
}

TEST(PropertyTable, ModeAndValueNames)
{
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
    EXPECT_STREQ(VLMGetPropertyValueName(idOf("RollExtractionMode"), 1), "Absolute");
    EXPECT_STREQ(VLMGetPropertyValueName(idOf("HandFloorPivot"), 2), "Fingers");
    // FloorPivot's range reaches 3, but only 0..2 have names.
    EXPECT_EQ(VLMGetPropertyValueName(idOf("FloorPivot"), 3), nullptr);
    EXPECT_EQ(VLMGetPropertyValueName(idOf("FloorPivot"), -1), nullptr);
    EXPECT_EQ(VLMGetPropertyValueName(idOf("HipsTOffsetX"), 0), nullptr);
    // ContactBehaviour has no public id; its names come through its own function.
    EXPECT_STREQ(VLMGetContactBehaviourName(1), "Sync On Key");
    EXPECT_EQ(VLMGetContactBehaviourName(3), nullptr);
}

TEST(PropertyTable, EveryIdAndEntryOutsideTheTableIsRefused)
{
    HeapSet s;
    ASSERT_NE(s.set, nullptr);
    for (int id : {179, 180, 255, 256, -1, -2, INT_MIN, INT_MAX}) {
        EXPECT_EQ(VLMGetPropertyName(id), nullptr) << id;
        EXPECT_EQ(VLMGetPropertyModeKind(id), 0u) << id;
        EXPECT_EQ(VLMGetPropertyValueKind(id), 0u) << id;
        EXPECT_EQ(VLMGetPropertyReservedWord(id), 0u) << id;
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
}

TEST(PropertySet, AllocationIsExactlyTheSetAndNullStaysNull)
{
    EXPECT_EQ(VLMGetPropertySetStateSize(), 1696u);

    TestAllocator::reset();
    VLMPropertySetState* set = VLMCreatePropertySetState(&TestAllocator::allocate);
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(TestAllocator::requests, std::vector<std::uint64_t>{1696u});
    TestAllocator::release(set);  // the set is the allocation: freeing it is valid
    EXPECT_EQ(TestAllocator::freed, std::vector<void*>{set});
    EXPECT_EQ(TestAllocator::live, 0);

    TestAllocator::reset();
    TestAllocator::failAt = 0;
    EXPECT_EQ(VLMCreatePropertySetState(&TestAllocator::allocate), nullptr);
    EXPECT_EQ(TestAllocator::requests.size(), 1u);

    // No alignment slack: an allocation that is not 16-byte aligned is used
    // where it is.
    set = VLMCreatePropertySetState(&PoolAllocator::allocate);
    EXPECT_EQ(static_cast<void*>(set), PoolAllocator::last);
    EXPECT_EQ(set->entries[0].value, 10.0f);

    EXPECT_EQ(VLMConstructPropertySetState(nullptr), nullptr);
    EXPECT_EQ(VLMConstructPropertySetStateOrNull(nullptr), nullptr);
    std::vector<unsigned char> memory(1696, 0xAB);
    VLMPropertySetState* placed = VLMConstructPropertySetStateOrNull(memory.data());
    EXPECT_EQ(static_cast<void*>(placed), memory.data());
    EXPECT_EQ(placed->entries[3].mode, 1u);
    EXPECT_EQ(placed->entries[211].value, 0.0f);
    std::vector<unsigned char> other(1696, 0xCD);
    EXPECT_EQ(std::memcmp(VLMConstructPropertySetState(other.data()), placed, 1696), 0);
}

TEST(PropertySet, FreshSetHoldsTheDefaultsAndCopiesWhole)
{
    HeapSet s;
    ASSERT_NE(s.set, nullptr);
    for (int e = 0; e < VLM_PROPERTY_ENTRY_COUNT; ++e) {
        EXPECT_EQ(s[e].mode, table()[e].defaultMode) << e;
        EXPECT_EQ(s[e].value, table()[e].defaultValue) << e;
    }
    EXPECT_EQ(VLMGetPropertyMode(s.set, 118), 0);  // PullIterationCount
    EXPECT_EQ(VLMGetPropertyValue(s.set, 118), 10.0f);
    EXPECT_EQ(VLMGetPropertyMode(s.set, 1), 1);  // ScaleCompensation: Auto
    EXPECT_EQ(VLMGetPropertyValue(s.set, 1), 100.0f);
    EXPECT_EQ(VLMGetPropertyMode(s.set, idOf("LeftUpLegRoll")), 0);
    EXPECT_EQ(VLMGetPropertyValue(s.set, idOf("LeftUpLegRoll")), 0.6f);
    EXPECT_EQ(VLMGetPropertyValue(s.set, idOf("StretchStopArmsAndLegs")), 1.1f);

    s[5].value = 3.0f;
    s[200].mode = 9;
    VLMPropertySetState copy;
    VLMPropertySetCopy(&copy, s.set);
    EXPECT_EQ(std::memcmp(&copy, s.set, sizeof copy), 0);
    VLMPropertySetDefaults(s.set);
    EXPECT_EQ(s[5].value, 0.0f);
    EXPECT_EQ(s[200].mode, 0u);
}

TEST(PropertySet, SetAndGetRoundTripThroughTheIdsEntry)
{
    HeapSet s;
    for (int id = 0; id < VLM_PROPERTY_PUBLIC_COUNT; ++id) {
        VLMSetPropertyMode(s.set, id, 100u + id);
        VLMSetPropertyValue(s.set, id, 0.25f);
        const int e = entryOfId(id);
        EXPECT_EQ(s[e].mode, 100u + id) << id;
        EXPECT_EQ(VLMGetPropertyMode(s.set, id), 100 + id);
        EXPECT_EQ(VLMGetPropertyValue(s.set, id), 0.25f);
    }

    const int fraction = idOf("ShoulderCorrection");
    VLMSetPropertyValue(s.set, fraction, 1.7f);
    EXPECT_EQ(VLMGetPropertyValue(s.set, fraction), 1.0f);
    VLMSetPropertyValue(s.set, fraction, -0.3f);
    EXPECT_EQ(VLMGetPropertyValue(s.set, fraction), 0.0f);
    VLMSetPropertyValue(s.set, fraction, NAN);
    EXPECT_EQ(VLMGetPropertyValue(s.set, fraction), 0.0f);
    VLMSetPropertyValue(s.set, fraction, 0.42f);
    EXPECT_EQ(VLMGetPropertyValue(s.set, fraction), 0.42f);

    // Other kinds are stored as given; the table's range is not enforced.
    const int offset = idOf("HipsTOffsetX");
    VLMSetPropertyValue(s.set, offset, 1.7f);
    EXPECT_EQ(VLMGetPropertyValue(s.set, offset), 1.7f);
    VLMSetPropertyValue(s.set, offset, -5000.0f);
    EXPECT_EQ(VLMGetPropertyValue(s.set, offset), -5000.0f);
    VLMSetPropertyValue(s.set, idOf("HandContactType"), 7.0f);
    EXPECT_EQ(VLMGetPropertyValue(s.set, idOf("HandContactType")), 7.0f);
}

TEST(PropertySet, InEffectFollowsModesUpTheParentChain)
{
    HeapSet s;
    enum { FloorContact = 44, FootBottomToAnkle = 45, Damping = 75, Orientation = 76, Displacement = 77,
           DisplacementMemory = 78, HipsDisplacementDamping = 79 };

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
    enum { ScaleCompensation = 3, FloorContact = 44, Displacement = 77, DisplacementMemory = 78,
           AnkleStabilizationTime = 83, ShoulderCorrection = 127 };

    EXPECT_TRUE(VLMIsPropertyAuto(s.set, ScaleCompensation));  // Off/Auto/User, mode 1
    EXPECT_TRUE(VLMIsPublicPropertyAuto(s.set, 1));
    s[ScaleCompensation].mode = 2;
    EXPECT_FALSE(VLMIsPropertyAuto(s.set, ScaleCompensation));
    EXPECT_TRUE(VLMIsPropertyAuto(s.set, DisplacementMemory));  // Auto/User, mode 0
    s[DisplacementMemory].mode = 1;
    EXPECT_FALSE(VLMIsPropertyAuto(s.set, DisplacementMemory));
    s[FloorContact].mode = 1;
    EXPECT_FALSE(VLMIsPropertyAuto(s.set, FloorContact));
    s[0].mode = 0;
    EXPECT_FALSE(VLMIsPropertyAuto(s.set, 0));  // no modes: never Auto

    VLMPropertySetDefaults(s.set);
    s[ShoulderCorrection].value = 0.25f;
    EXPECT_EQ(VLMResolvePropertyValue(s.set, ShoulderCorrection), 0.25f);  // a fraction gives its value
    EXPECT_EQ(VLMResolvePropertyValue(s.set, 0), -1.0f);                   // another number gives none
    EXPECT_EQ(VLMResolvePropertyValue(s.set, ScaleCompensation), -1.0f);   // Auto without parent
    EXPECT_EQ(VLMResolvePropertyValue(s.set, DisplacementMemory), -1.0f);  // parent chain without fraction
    s[Displacement].mode = 2;
    EXPECT_EQ(VLMResolvePropertyValue(s.set, DisplacementMemory), -1.0f);
    // Inverted Auto entry whose parent has no value: no value, not 1 - (-1).
    EXPECT_EQ(VLMResolvePropertyValue(s.set, AnkleStabilizationTime), -1.0f);
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
    EXPECT_EQ(s[84].value, 0.0f);
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
