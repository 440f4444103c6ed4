// Velmora rig library, solver: the stage word of an effector set and the
// fixed maps from its per-limb bits to limbs and from limbs to hands and feet.
//
// Limbs: 0 left leg, 1 right leg, 2 left arm, 3 right arm. Extremities: 0 left
// hand, 1 right hand, 2 left foot, 3 right foot. Bits 21..31 have no effect.
#ifndef VLM_STAGE_BITS_H
#define VLM_STAGE_BITS_H

#include <cstdint>

enum VLMSolveStageBits : std::uint32_t {
    VLM_STAGE_BODY_PULL = 1u << 0,       // body pull; when clear, the spine-only stretch
    VLM_STAGE_LIMBS = 1u << 1,           // limb solve on limbs 0..3
    VLM_STAGE_CONTACT_SYNC = 1u << 2,    // limb contact sync on limbs 0..3
    VLM_STAGE_LEFT_SHOULDER = 1u << 3,   // left collar and shoulder-arm solve
    VLM_STAGE_RIGHT_SHOULDER = 1u << 4,  // the same on the right
    VLM_STAGE_CHAIN_FIRST = 1u << 5,     // bits 5..8: limited chain solve, limbs by VLMStageBitLimb
    VLM_STAGE_DIGITS_FIRST = 1u << 9,    // bits 9..12: digits, limbs by VLMStageBitLimb
    VLM_STAGE_NECK_HEAD = 1u << 13,
    VLM_STAGE_SPINE = 1u << 14,  // spine flag of the body pull and the spine stretch
    VLM_STAGE_HIPS_TRAJECTORY = 1u << 15,
    VLM_STAGE_ROLL = 1u << 16,           // roll capture (stages run alone) and roll distribution
    VLM_STAGE_STRETCH_FIRST = 1u << 17,  // bits 17..20: chain stretch, limbs by VLMStageBitLimb
    VLM_STAGE_ALL = 0x1FFFFFu            // bits 0..20
};

// The first bit of each group of four per-limb bits.
enum : int { VLM_STAGE_CHAIN_BIT = 5, VLM_STAGE_DIGITS_BIT = 9, VLM_STAGE_STRETCH_BIT = 17 };

// Bit (group bit + i) acts on limb VLMStageBitLimb[i]: the arms come first.
constexpr int VLMStageBitLimb[4] = {2, 3, 0, 1};

// The hand or foot at the end of each limb.
constexpr int VLMLimbExtremity[4] = {2, 3, 0, 1};

// The stage-word bit of a limb within a group (VLM_STAGE_CHAIN_BIT, ...).
constexpr std::uint32_t VLMStageLimbBit(int groupBit, int limb)
{
    for (int i = 0; i < 4; ++i)
        if (VLMStageBitLimb[i] == limb)
            return 1u << (groupBit + i);
    return 0u;
}

static_assert(VLMStageLimbBit(VLM_STAGE_CHAIN_BIT, 2) == VLM_STAGE_CHAIN_FIRST, "left arm first");
static_assert(VLMStageLimbBit(VLM_STAGE_STRETCH_BIT, 1) == (1u << 20), "right leg last");

#endif
