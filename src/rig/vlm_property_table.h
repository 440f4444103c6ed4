// Internal to the property layer: the static table and the public-id map.
#ifndef VLM_PROPERTY_TABLE_H
#define VLM_PROPERTY_TABLE_H

#include "rig/vlm_property.h"

#include <cstdint>

extern const VLMPropertyInfo kVLMPropertyEntries[VLM_PROPERTY_ENTRY_COUNT];
extern const std::uint8_t kVLMPropertyPublicEntries[VLM_PROPERTY_PUBLIC_COUNT];

#endif
