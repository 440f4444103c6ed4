#include "rig/vlm_property.h"

#include "rig/vlm_property_table.h"

#include <cstring>

namespace {

constexpr float kNoValue = -1.0f;

// Entries of the enumerations, for the value names.
enum : int {
    kPosture = 1,
    kFloorPivot = 53,
    kHandFloorPivot = 64,
    kRollExtractionMode = 66,
    kHipsTranslationMode = 132,
    kHandContactType = 166,
    kHandFingerContactMode = 168,
    kFootContactType = 170,
    kFootFingerContactMode = 172,
    kContactBehaviour = 174
};

// One unsigned compare refuses negative and too-large numbers alike.
inline bool isPublicId(int id) { return static_cast<unsigned>(id) < unsigned(VLM_PROPERTY_PUBLIC_COUNT); }
inline bool isEntry(int entry) { return static_cast<unsigned>(entry) < unsigned(VLM_PROPERTY_ENTRY_COUNT); }

// Callers check the id first.
inline int entryOf(int id) { return kVLMPropertyPublicEntries[id]; }
inline const VLMPropertyInfo& infoOf(int id) { return kVLMPropertyEntries[entryOf(id)]; }

template <std::size_t N>
const char* textAt(const char* const (&texts)[N], unsigned index)
{
    return index < N ? texts[index] : nullptr;
}

const char* const kOffOnModes[] = {"Off", "On"};
const char* const kOffAutoUserModes[] = {"Off", "Auto", "User"};
const char* const kAutoUserModes[] = {"Auto", "User"};

const char* const kPostureNames[] = {"Biped", "Quadruped"};
const char* const kFloorPivotNames[] = {"Auto", "Ankle", "Toes"};
const char* const kHandFloorPivotNames[] = {"Auto", "Wrist", "Fingers"};
const char* const kRollExtractionModeNames[] = {"Relative", "Absolute"};
const char* const kHipsTranslationModeNames[] = {"World Rigid", "Body Rigid", "Trajectory"};
const char* const kHandContactTypeNames[] = {"Normal", "Wrist", "FingerBase", "Hoof"};
const char* const kFootContactTypeNames[] = {"Normal", "Ankle", "ToeBase", "Hoof"};
const char* const kFingerContactModeNames[] = {"Sticky", "Spread", "Sticky & Spread"};
const char* const kContactBehaviourNames[] = {"Never Sync", "Sync On Key", "Always Sync"};

VLMPropertySetState* fillDefaults(void* memory)
{
    if (!memory)
        return nullptr;
    auto* set = static_cast<VLMPropertySetState*>(memory);
    VLMPropertySetDefaults(set);
    return set;
}

}  // namespace

// --- Table, by public id -------------------------------------------------

const char* VLMGetPropertyName(int id) { return isPublicId(id) ? infoOf(id).name : nullptr; }

int VLMGetPropertyIdFromName(const char* name)
{
    if (!name)
        return -1;
    for (int id = 0; id < VLM_PROPERTY_PUBLIC_COUNT; ++id) {
        if (std::strcmp(infoOf(id).name, name) == 0)
            return id;
    }
    return -1;
}

std::uint32_t VLMGetPropertyModeKind(int id) { return isPublicId(id) ? infoOf(id).modeKind : 0u; }
std::uint32_t VLMGetPropertyValueKind(int id) { return isPublicId(id) ? infoOf(id).valueKind : 0u; }
std::uint32_t VLMGetPropertyReservedWord(int id) { return isPublicId(id) ? infoOf(id).reserved0 : 0u; }
int VLMGetPropertyBodyFlag(int id) { return isPublicId(id) ? infoOf(id).bodyDescription : 0; }

int VLMGetPropertyDefaultMode(int id) { return isPublicId(id) ? static_cast<int>(infoOf(id).defaultMode) : -1; }

float VLMGetPropertyDefaultValue(int id) { return isPublicId(id) ? infoOf(id).defaultValue : 0.0f; }
float VLMGetPropertyMin(int id) { return isPublicId(id) ? infoOf(id).minimum : 0.0f; }
float VLMGetPropertyMax(int id) { return isPublicId(id) ? infoOf(id).maximum : 0.0f; }

const char* VLMGetPropertyModeName(int id, std::uint32_t mode)
{
    if (!isPublicId(id))
        return nullptr;
    switch (infoOf(id).modeKind) {
    case VLM_PROPERTY_MODES_OFF_ON: return textAt(kOffOnModes, mode);
    case VLM_PROPERTY_MODES_OFF_AUTO_USER: return textAt(kOffAutoUserModes, mode);
    case VLM_PROPERTY_MODES_AUTO_USER: return textAt(kAutoUserModes, mode);
    default: return nullptr;
    }
}

const char* VLMGetPropertyValueName(int id, int value)
{
    if (!isPublicId(id))
        return nullptr;
    switch (entryOf(id)) {
    case kPosture: return VLMGetPostureName(value);
    case kFloorPivot: return VLMGetFloorPivotName(value);
    case kHandFloorPivot: return VLMGetHandFloorPivotName(value);
    case kRollExtractionMode: return VLMGetRollExtractionModeName(value);
    case kHipsTranslationMode: return VLMGetHipsTranslationModeName(value);
    case kHandContactType: return VLMGetHandContactTypeName(value);
    case kFootContactType: return VLMGetFootContactTypeName(value);
    case kHandFingerContactMode:
    case kFootFingerContactMode: return VLMGetFingerContactModeName(value);
    case kContactBehaviour: return VLMGetContactBehaviourName(value);
    default: return nullptr;
    }
}

const char* VLMGetOffAutoUserModeName(std::uint32_t mode) { return textAt(kOffAutoUserModes, mode); }
const char* VLMGetAutoUserModeName(std::uint32_t mode) { return textAt(kAutoUserModes, mode); }
const char* VLMGetPostureName(int value) { return textAt(kPostureNames, unsigned(value)); }
const char* VLMGetFloorPivotName(int value) { return textAt(kFloorPivotNames, unsigned(value)); }
const char* VLMGetHandFloorPivotName(int value) { return textAt(kHandFloorPivotNames, unsigned(value)); }
const char* VLMGetRollExtractionModeName(int value) { return textAt(kRollExtractionModeNames, unsigned(value)); }
const char* VLMGetHipsTranslationModeName(int value) { return textAt(kHipsTranslationModeNames, unsigned(value)); }
const char* VLMGetHandContactTypeName(int value) { return textAt(kHandContactTypeNames, unsigned(value)); }
const char* VLMGetFootContactTypeName(int value) { return textAt(kFootContactTypeNames, unsigned(value)); }
const char* VLMGetFingerContactModeName(int value) { return textAt(kFingerContactModeNames, unsigned(value)); }
const char* VLMGetContactBehaviourName(int value) { return textAt(kContactBehaviourNames, unsigned(value)); }

// --- Set access, by public id ---------------------------------------------

int VLMGetPropertyMode(const VLMPropertySetState* set, int id)
{
    return set && isPublicId(id) ? static_cast<int>(set->entries[entryOf(id)].mode) : 0;
}

float VLMGetPropertyValue(const VLMPropertySetState* set, int id)
{
    return set && isPublicId(id) ? set->entries[entryOf(id)].value : 0.0f;
}

void VLMSetPropertyMode(VLMPropertySetState* set, int id, std::uint32_t mode)
{
    if (set && isPublicId(id))
        set->entries[entryOf(id)].mode = mode;
}

void VLMSetPropertyValue(VLMPropertySetState* set, int id, float value)
{
    if (!set || !isPublicId(id))
        return;
    if (infoOf(id).valueKind == VLM_PROPERTY_VALUE_FRACTION)
        value = VLMPropertyFloatClamp01(value);
    set->entries[entryOf(id)].value = value;
}

bool VLMIsPublicPropertyInEffect(const VLMPropertySetState* set, int id)
{
    return set && isPublicId(id) && VLMIsPropertyInEffect(set, entryOf(id));
}

bool VLMIsPublicPropertyAuto(const VLMPropertySetState* set, int id)
{
    return set && isPublicId(id) && VLMIsPropertyAuto(set, entryOf(id));
}

// --- Table and tests, by entry --------------------------------------------

bool VLMIsPropertyInEffect(const VLMPropertySetState* set, int entry)
{
    // Walk up the parent chain until a property without a mode, a switched-off
    // one or the top decides. The table's chains are acyclic.
    for (;;) {
        if (entry == -1)
            return true;
        if (!isEntry(entry))
            return false;
        const VLMPropertyInfo& info = kVLMPropertyEntries[entry];
        switch (info.modeKind) {
        case VLM_PROPERTY_MODES_OFF_ON:
        case VLM_PROPERTY_MODES_OFF_AUTO_USER:
            if (set->entries[entry].mode == 0)
                return false;
            break;
        case VLM_PROPERTY_MODES_AUTO_USER: break;
        default: return true;
        }
        entry = info.parent;
    }
}

bool VLMIsPropertyAuto(const VLMPropertySetState* set, int entry)
{
    if (!isEntry(entry))
        return false;
    const std::uint32_t mode = set->entries[entry].mode;
    switch (kVLMPropertyEntries[entry].modeKind) {
    case VLM_PROPERTY_MODES_OFF_AUTO_USER: return mode == 1;
    case VLM_PROPERTY_MODES_AUTO_USER: return mode == 0;
    default: return false;
    }
}

float VLMResolvePropertyValue(const VLMPropertySetState* set, int entry)
{
    if (!isEntry(entry))
        return kNoValue;
    const VLMPropertyInfo& info = kVLMPropertyEntries[entry];
    if (!VLMIsPropertyAuto(set, entry))
        return info.valueKind == VLM_PROPERTY_VALUE_FRACTION ? set->entries[entry].value : kNoValue;
    if (info.parent == -1)
        return kNoValue;
    const float r = VLMResolvePropertyValue(set, info.parent);
    if (info.invert) {
        // Inverting "no value" would turn -1 into 2, a value far outside any
        // fraction: a missing parent value stays missing.
        return r < 0.0f ? kNoValue : 1.0f - r;
    }
    return r;
}

// --- Property sets ---------------------------------------------------------

std::uint64_t VLMGetPropertySetStateSize() { return sizeof(VLMPropertySetState); }

VLMPropertySetState* VLMCreatePropertySetState(VLMAllocCallback allocate)
{
    // The block is used exactly as allocated: no slack, no raw pointer in
    // front, so the caller frees the set pointer itself.
    return fillDefaults(allocate(sizeof(VLMPropertySetState)));
}

VLMPropertySetState* VLMConstructPropertySetState(void* memory) { return fillDefaults(memory); }
VLMPropertySetState* VLMConstructPropertySetStateOrNull(void* memory) { return fillDefaults(memory); }

void VLMPropertySetDefaults(VLMPropertySetState* set)
{
    for (int entry = 0; entry < VLM_PROPERTY_ENTRY_COUNT; ++entry) {
        set->entries[entry].mode = kVLMPropertyEntries[entry].defaultMode;
        set->entries[entry].value = kVLMPropertyEntries[entry].defaultValue;
    }
}

void VLMPropertySetCopy(VLMPropertySetState* destination, const VLMPropertySetState* source)
{
    std::memmove(destination, source, sizeof(VLMPropertySetState));
}

void VLMResolveAutoProperties(VLMPropertySetState* set)
{
    for (int entry = 0; entry < VLM_PROPERTY_ENTRY_COUNT; ++entry) {
        const VLMPropertyInfo& info = kVLMPropertyEntries[entry];
        if (info.valueKind == 0 || !VLMIsPropertyAuto(set, entry))
            continue;
        const float r = VLMResolvePropertyValue(set, entry);
        set->entries[entry].value = r >= 0.0f ? info.minimum + (info.maximum - info.minimum) * r : info.defaultValue;
    }
}

float VLMPropertyFloatMin(float a, float b) { return a < b ? a : b; }
float VLMPropertyFloatMax(float a, float b) { return a > b ? a : b; }

float VLMPropertyFloatClamp(float v, float low, float high)
{
    return VLMPropertyFloatMin(VLMPropertyFloatMax(v, low), high);
}

float VLMPropertyFloatClamp01(float v) { return VLMPropertyFloatClamp(v, 0.0f, 1.0f); }
