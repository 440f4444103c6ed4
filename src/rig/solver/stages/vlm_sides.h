// Solver, internal: names for the limb and side numbers that the stages pass
// between them. Each name has the number its tables and callers already use,
// so that a name and a number can stand for each other; the two side
// numberings differ, and each function says which one it takes by its type.
#ifndef VLM_SIDES_H
#define VLM_SIDES_H

// The character's limbs, in the order of its limb table and of the stage
// word's per-limb bits.
enum VLMLimbIndex : int {
    VLM_LIMB_LEFT_LEG = 0,
    VLM_LIMB_RIGHT_LEG = 1,
    VLM_LIMB_LEFT_ARM = 2,
    VLM_LIMB_RIGHT_ARM = 3,
};

// A side in the order of the node and effector tables, where every left id
// comes before its right partner: 0 is the left.
enum VLMSide : int {
    VLM_SIDE_LEFT = 0,
    VLM_SIDE_RIGHT = 1,
};

// A side as the collar and shoulder stages take it, like the effector set's
// hand pull: 1 is the left.
enum VLMArmSide : int {
    VLM_ARM_SIDE_RIGHT = 0,
    VLM_ARM_SIDE_LEFT = 1,
};

#endif
