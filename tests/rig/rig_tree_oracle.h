// Test oracle: where the rig tree hangs each node, written node by node (what
// is my parent?) rather than edge by edge as the library does, plus random
// definitions with and without broken chains.
#ifndef SKW_RIG_TREE_ORACLE_H
#define SKW_RIG_TREE_ORACLE_H

#include "rig/vlm_base.h"

#include <array>
#include <cstdint>
#include <random>

namespace oracle {

using Presence = std::array<bool, VLM_NODE_COUNT>;

constexpr int kRoot = -2;  // hangs under the character root
constexpr int kNone = -1;  // not linked

struct Limb {
    int upper, upperRoll, middle, middleRoll, end, tip;
};
constexpr Limb kLimbs[4] = {
    {2, 41, 3, 42, 4, 16}, {5, 43, 6, 44, 7, 17}, {9, 45, 10, 46, 11, 21}, {12, 47, 13, 48, 14, 22}};
struct Extremity {
    int end, base, firstJoint, firstRoot;
};
constexpr Extremity kExtremities[4] = {{11, 21, 50, 146}, {14, 22, 74, 152}, {4, 16, 98, 158}, {7, 17, 122, 164}};

// True when first..last-1 are all present.
inline bool Run(const Presence& p, int first, int last)
{
    for (int k = first; k < last; ++k)
        if (!p[k])
            return false;
    return true;
}

// The last node of the unbroken chain first, first+1, ... (count long) under
// start, or start itself.
inline int ChainEnd(const Presence& p, int start, int first, int count)
{
    int last = start;
    for (int k = 0; k < count && p[first + k]; ++k)
        last = first + k;
    return last;
}

// The node id a present node hangs under, kRoot, or kNone when its chain is
// broken (including when the node it would hang under is absent).
inline int ExpectedParent(const Presence& p, int id)
{
    const auto existing = [&](int parent) { return p[parent] ? parent : kNone; };
    if (!p[id] || id == 0)
        return kNone;
    if (id == 1 || id == 49)
        return kRoot;
    if (id == 2 || id == 5 || id == 8)
        return existing(1);
    for (const Limb& l : kLimbs) {
        if (id == l.upperRoll || id == l.tip)
            return existing(id == l.tip ? l.end : l.upper);
        if (id == l.middle)
            return existing(p[l.upperRoll] ? l.upperRoll : l.upper);
        if (id == l.middleRoll)
            return existing(l.middle);
        if (id == l.end)
            return existing(p[l.middleRoll] ? l.middleRoll : l.middle);
    }
    const int chest = ChainEnd(p, 8, 23, 9);
    if (id >= 23 && id <= 31)
        return Run(p, 23, id) ? existing(id == 23 ? 8 : id - 1) : kNone;
    for (int side = 0; side < 2; ++side) {
        const int shoulder = 18 + side, extra = 170 + side;
        if (id == shoulder)
            return existing(chest);
        if (id == extra)
            return existing(shoulder);
        if (id == kLimbs[2 + side].upper)
            return existing(p[shoulder] ? (p[extra] ? extra : shoulder) : chest);
    }
    if (id == 20)
        return existing(chest);
    if (id >= 32 && id <= 40)
        return p[20] && Run(p, 32, id) ? existing(id == 32 ? 20 : id - 1) : kNone;
    if (id == 15)
        return existing(p[20] ? ChainEnd(p, 20, 32, 9) : chest);
    for (const Extremity& x : kExtremities) {
        for (int d = 0; d < 6; ++d) {
            const int joint1 = x.firstJoint + 4 * d;
            const int underHand = d > 0 && p[x.base] ? x.base : x.end;
            if (id == x.firstRoot + d)
                return existing(underHand);
            if (id > joint1 && id < joint1 + 4)
                return Run(p, joint1, id) ? existing(id - 1) : kNone;
            if (id == joint1)
                return existing(p[x.firstRoot + d] ? x.firstRoot + d : underHand);
        }
    }
    return kNone;
}

inline bool Reachable(const Presence& p, int id)
{
    for (int at = id, steps = 0; p[at] && steps < VLM_NODE_COUNT; ++steps) {
        const int up = at == 0 ? kRoot : ExpectedParent(p, at);
        if (up == kRoot)
            return true;
        if (up == kNone)
            return false;
        at = up;
    }
    return false;
}

// Every node present with probability density (Reference always).
inline Presence RandomPresence(std::mt19937& rng, double density)
{
    std::bernoulli_distribution pick(density);
    Presence p{};
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        p[id] = id == 0 || pick(rng);
    return p;
}

// Drops every node that the tree cannot reach: a definition without holes.
inline Presence WithoutHoles(Presence p)
{
    for (bool changed = true; changed;) {
        changed = false;
        const Presence before = p;
        for (int id = 0; id < VLM_NODE_COUNT; ++id)
            if (before[id] && !Reachable(before, id)) {
                p[id] = false;
                changed = true;
            }
    }
    return p;
}

// Definition words: present nodes get word, absent ones 0.
inline VLMCharacterDefinition Definition(const Presence& p, std::uint32_t word = 7)
{
    VLMCharacterDefinition def{};
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        def.words[id] = p[id] ? word : 0;
    return def;
}

inline Presence Required()
{
    Presence p{};
    for (int id = 0; id <= 15; ++id)
        p[id] = true;
    return p;
}

inline Presence Full()
{
    Presence p;
    p.fill(true);
    return p;
}

}  // namespace oracle

#endif
