#include "rig/vlm_constants.h"

// The getters hand out the address of the one program-wide copy of each
// constant, so the same pointer comes back on every call.
#define VLM_CONSTANT_GETTER(getter, name, value) \
    const VLMVector4* getter() { return &VLMConstant::name; }
VLM_VECTOR_CONSTANTS(VLM_CONSTANT_GETTER)
#undef VLM_CONSTANT_GETTER
