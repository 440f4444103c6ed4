// Velmora rig library: the character property table and property sets.
//
// Every solver property of a character (reach and pull weights, floor contact
// geometry, compensations, roll distribution, stretch settings, ...) is
// described by one entry of a static table of 212 entries. A property set holds
// the current mode and value of each entry for one character.
//
// Two ways of naming a property:
// - the entry number 0..211 indexes the table and the set directly; the solver
//   layer and the character's limb, extremity and roll tables store these;
// - the public id 0..178 is what the interface exposes; a fixed map turns it
//   into an entry. 33 entries have no public id.
// Every function that takes a public id refuses ids outside 0..178 (a null,
// zero or -1 result, or no effect, as stated per function); the functions that
// take an entry refuse entries outside 0..211 the same way.
//
// None of these functions switches the floating-point control word: they run
// in whatever mode the caller (or the library entry point calling them) set.
#ifndef VLM_PROPERTY_H
#define VLM_PROPERTY_H

#include "rig/vlm_base.h"

#include <cstddef>
#include <cstdint>

enum : int { VLM_PROPERTY_ENTRY_COUNT = 212, VLM_PROPERTY_PUBLIC_COUNT = 179 };

// Mode kinds: which modes a property has.
enum : std::uint32_t {
    VLM_PROPERTY_MODES_NONE = 0,           // no mode
    VLM_PROPERTY_MODES_OFF_ON = 1,         // 0 "Off", 1 "On"
    VLM_PROPERTY_MODES_OFF_AUTO_USER = 2,  // 0 "Off", 1 "Auto", 2 "User"
    VLM_PROPERTY_MODES_AUTO_USER = 3       // 0 "Auto", 1 "User"
};

// Value kinds with behaviour in this layer. The others (0, 2, 3, 4, 6) only
// tell the solver layer what the number stands for.
enum : std::uint32_t {
    VLM_PROPERTY_VALUE_FRACTION = 1,  // clamped to [0, 1] when set; source of Auto values
    VLM_PROPERTY_VALUE_ENUM = 5       // an enumeration whose values have names
};

// One entry of the static property table (48 bytes).
struct VLMPropertyInfo {
    std::int32_t parent;      // entry this one depends on, -1 none
    std::uint32_t modeKind;   // VLM_PROPERTY_MODES_*
    std::uint32_t valueKind;  // 0..6
    std::uint32_t reserved0;  // 0
    float minimum;
    float maximum;
    std::uint8_t invert;           // an Auto value is 1 minus the parent's
    std::uint8_t bodyDescription;  // the property describes the actor's body
    std::uint8_t reserved1[2];     // 0
    std::uint32_t defaultMode;
    float defaultValue;
    std::uint32_t reserved2;  // 0
    const char* name;
};

static_assert(sizeof(VLMPropertyInfo) == 48, "property table entry is 48 bytes");
static_assert(offsetof(VLMPropertyInfo, invert) == 24, "property table entry layout");
static_assert(offsetof(VLMPropertyInfo, defaultMode) == 28, "property table entry layout");
static_assert(offsetof(VLMPropertyInfo, name) == 40, "property table entry layout");

// The mode and value of one property in a set.
struct VLMPropertyPair {
    std::uint32_t mode;
    float value;
};

// A character's property settings, indexed by entry number. A plain block
// without internal references: it may be copied byte for byte.
struct VLMPropertySetState {
    VLMPropertyPair entries[VLM_PROPERTY_ENTRY_COUNT];
};

static_assert(sizeof(VLMPropertySetState) == 1696, "property set is 1696 bytes");

// --- Table, by public id -------------------------------------------------

// The property's name, null for a refused id.
VLM_API const char* VLMGetPropertyName(int id);
// The first public id whose name equals `name` byte for byte, -1 when none
// (or for a null name). Entries without a public id are never found.
VLM_API int VLMGetPropertyIdFromName(const char* name);

// 0 for a refused id.
VLM_API std::uint32_t VLMGetPropertyModeKind(int id);
VLM_API std::uint32_t VLMGetPropertyValueKind(int id);
VLM_API std::uint32_t VLMGetPropertyReservedWord(int id);
VLM_API int VLMGetPropertyBodyFlag(int id);
// -1 for a refused id.
VLM_API int VLMGetPropertyDefaultMode(int id);
// 0.0 for a refused id.
VLM_API float VLMGetPropertyDefaultValue(int id);
VLM_API float VLMGetPropertyMin(int id);
VLM_API float VLMGetPropertyMax(int id);

// The text of a mode of the property's mode kind ("Off", "On", "Auto",
// "User"); null for a property without modes, a mode the kind does not have,
// or a refused id.
VLM_API const char* VLMGetPropertyModeName(int id, std::uint32_t mode);
// The name of an enumeration value; null for a property that is not an
// enumeration, a value without a name, or a refused id.
VLM_API const char* VLMGetPropertyValueName(int id, int value);

// The texts of each enumeration and of the two mode lists with an Auto mode,
// by value; null for a value without a text.
VLM_API const char* VLMGetOffAutoUserModeName(std::uint32_t mode);  // "Off", "Auto", "User"
VLM_API const char* VLMGetAutoUserModeName(std::uint32_t mode);     // "Auto", "User"
VLM_API const char* VLMGetPostureName(int value);                   // Posture
VLM_API const char* VLMGetFloorPivotName(int value);                // FloorPivot
VLM_API const char* VLMGetHandFloorPivotName(int value);            // HandFloorPivot
VLM_API const char* VLMGetRollExtractionModeName(int value);        // RollExtractionMode
VLM_API const char* VLMGetHipsTranslationModeName(int value);       // HipsTranslationMode
VLM_API const char* VLMGetHandContactTypeName(int value);           // HandContactType
VLM_API const char* VLMGetFootContactTypeName(int value);           // FootContactType
VLM_API const char* VLMGetFingerContactModeName(int value);         // Hand/FootFingerContactMode
VLM_API const char* VLMGetContactBehaviourName(int value);          // ContactBehaviour

// --- Set access, by public id ---------------------------------------------

// The stored mode / value; 0 / 0.0 for a refused id or a missing set.
VLM_API int VLMGetPropertyMode(const VLMPropertySetState* set, int id);
VLM_API float VLMGetPropertyValue(const VLMPropertySetState* set, int id);
// The mode is stored as given. A fraction's value (value kind 1) is clamped
// to [0, 1]; other values are stored as given, the table's range is not
// enforced. A refused id or a missing set changes nothing.
VLM_API void VLMSetPropertyMode(VLMPropertySetState* set, int id, std::uint32_t mode);
VLM_API void VLMSetPropertyValue(VLMPropertySetState* set, int id, float value);

// The entry tests below for the id's entry; false for a refused id or a missing set.
VLM_API bool VLMIsPublicPropertyInEffect(const VLMPropertySetState* set, int id);
VLM_API bool VLMIsPublicPropertyAuto(const VLMPropertySetState* set, int id);

// --- Table and tests, by entry --------------------------------------------

// The 212 table entries, indexed by entry number.
VLM_API const VLMPropertyInfo* VLMPropertyTable();

// Whether the property acts: entry -1 (no parent) does; a property without a
// mode does, whatever its parent; an Off/On or Off/Auto/User property does not
// when "Off" and otherwise as its parent does; an Auto/User property as its
// parent does. False for any other out-of-range entry.
VLM_API bool VLMIsPropertyInEffect(const VLMPropertySetState* set, int entry);
// Whether the mode means Auto: mode 1 of an Off/Auto/User property, mode 0 of
// an Auto/User property. False for other kinds and out-of-range entries.
VLM_API bool VLMIsPropertyAuto(const VLMPropertySetState* set, int entry);
// The value an Auto property takes over, or -1 for "no value": an Auto entry
// takes its parent's resolved value (1 minus it when inverted; an inverted
// entry whose parent has no value has none either); any other entry gives its
// own value when it is a fraction. -1 for out-of-range entries.
VLM_API float VLMResolvePropertyValue(const VLMPropertySetState* set, int entry);

// --- Property sets ---------------------------------------------------------

// 1696.
VLM_API std::uint64_t VLMGetPropertySetStateSize();
// Asks the callback for exactly VLMGetPropertySetStateSize() bytes and uses
// them as they come (no alignment slack, no raw pointer stored in front): the
// result is the allocation itself, and the caller releases it by handing it
// to its own free callback. A null allocation gives null. The set holds the
// defaults.
VLM_API VLMPropertySetState* VLMCreatePropertySetState(VLMAllocCallback allocate);
// Fill the defaults into caller memory of at least 1696 bytes, 4-byte aligned,
// and return it as a set. Both forms return null for null memory.
VLM_API VLMPropertySetState* VLMConstructPropertySetState(void* memory);
VLM_API VLMPropertySetState* VLMConstructPropertySetStateOrNull(void* memory);

// Every entry's mode and value := the table's defaults.
VLM_API void VLMPropertySetDefaults(VLMPropertySetState* set);
// Copies the 212 pairs.
VLM_API void VLMPropertySetCopy(VLMPropertySetState* destination, const VLMPropertySetState* source);
// Gives every Auto entry of a value kind other than 0 its Auto value:
// minimum + (maximum - minimum) r for a resolved value r >= 0, else the
// default value. Modes are not changed.
VLM_API void VLMResolveAutoProperties(VLMPropertySetState* set);

// Small float helpers of the property layer. Minimum and maximum give the
// second operand when either is NaN, so a clamp turns NaN into its low bound.
VLM_API float VLMPropertyFloatMin(float a, float b);
VLM_API float VLMPropertyFloatMax(float a, float b);
VLM_API float VLMPropertyFloatClamp(float v, float low, float high);  // max with low, then min with high
VLM_API float VLMPropertyFloatClamp01(float v);

#endif
