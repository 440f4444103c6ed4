// Test oracle: where the rig tree hangs each node, written node by node (what
// is my parent?) rather than edge by edge as the library does, plus random
// definitions with and without broken chains.
#ifndef SKW_RIG_TREE_ORACLE_H
#define SKW_RIG_TREE_ORACLE_H

#include "vlm_base.h"

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
constexpr Limb kLimbs[4] = {{2, 41, 3, 42, 4, 16}, {5, 43, 6, 44, 7, 17}, {9, 45, 10, 46, 11, 21}, {12, 47, 13, 48, 14, 22}};
struct Extremity {
    int end, base, firstJoint, firstRoot;
};
constexpr Extremity kExtremities[4] = {{11, 21, 50, 146}, {14, 22, 74, 152}, {4, 16, 98, 158}, {7, 17, 122, 164}};

inline int Chest(const Presence& p)
{
    int chest = 8;
    for (int k = 0; k < 9 && p[23 + k]; ++k)
        chest = 23 + k;
    return chest;
}

// The node id a present node hangs under, kRoot, or kNone when its chain is
// broken (including when the node it would hang under is absent).
inline int ExpectedParent(const Presence& p, int id)
{
    auto existing = [&](int parent) { return parent >= 0 && p[parent] ? parent : kNone; };
    if (!p[id] || id == 0)
        return kNone;
    if (id == 1 || id == 49)
        return kRoot;
    if (id == 2 || id == 5 || id == 8)
        return existing(1);
    for (const Limb& l : kLimbs) {
        if (id == l.upperRoll)
            return existing(l.upper);
        if (id == l.middle)
            return existing(p[l.upperRoll] ? l.upperRoll : l.upper);
        if (id == l.middleRoll)
            return existing(l.middle);
        if (id == l.end)
            return existing(p[l.middleRoll] ? l.middleRoll : l.middle);
        if (id == l.tip)
            return existing(l.end);
    }
    if (id >= 23 && id <= 31) {
        for (int k = 23; k < id; ++k)
            if (!p[k])
                return kNone;
        return existing(id == 23 ? 8 : id - 1);
    }
    for (int side = 0; side < 2; ++side) {
        const int shoulder = 18 + side, extra = 170 + side, arm = kLimbs[2 + side].upper;
        if (id == shoulder)
            return existing(Chest(p));
        if (id == extra)
            return existing(shoulder);
        if (id == arm)
            return existing(p[shoulder] ? (p[extra] ? extra : shoulder) : Chest(p));
    }
    if (id == 20)
        return existing(Chest(p));
    if (id >= 32 && id <= 40) {
        if (!p[20])
            return kNone;
        for (int k = 32; k < id; ++k)
            if (!p[k])
                return kNone;
        return existing(id == 32 ? 20 : id - 1);
    }
    if (id == 15) {
        if (!p[20])
            return existing(Chest(p));
        int last = 20;
        for (int k = 0; k < 9 && p[32 + k]; ++k)
            last = 32 + k;
        return existing(last);
    }
    for (const Extremity& x : kExtremities) {
        for (int d = 0; d < 6; ++d) {
            if (id == x.firstRoot + d)
                return existing(d > 0 && p[x.base] ? x.base : x.end);
            for (int j = 0; j < 4; ++j) {
                if (id != x.firstJoint + 4 * d + j)
                    continue;
                for (int i = 0; i < j; ++i)
                    if (!p[x.firstJoint + 4 * d + i])
                        return kNone;
                if (j > 0)
                    return existing(id - 1);
                if (p[x.firstRoot + d])
                    return existing(x.firstRoot + d);
                return existing(d > 0 && p[x.base] ? x.base : x.end);
            }
        }
    }
    return kNone;  // a shoulder extra is handled above; nothing else is left
}

inline bool Reachable(const Presence& p, int id)
{
    if (!p[id])
        return false;
    for (int at = id, steps = 0; steps < VLM_NODE_COUNT; ++steps) {
        if (at == 0)
            return true;
        const int up = ExpectedParent(p, at);
        if (up == kRoot)
            return true;
        if (up == kNone)
            return false;
        at = up;
    }
    return false;
}

// A random subset of the rig: every node is present with probability density
// (Reference always).
inline Presence RandomPresence(std::mt19937& rng, double density)
{
    std::bernoulli_distribution pick(density);
    Presence p{};
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        p[id] = id == 0 || pick(rng);
    return p;
}

// Drops every node that the tree cannot reach until none is left: a
// definition without broken chains.
inline Presence WithoutHoles(Presence p)
{
    for (bool changed = true; changed;) {
        changed = false;
        Presence next = p;
        for (int id = 0; id < VLM_NODE_COUNT; ++id)
            if (p[id] && !Reachable(p, id)) {
                next[id] = false;
                changed = true;
            }
        p = next;
    }
    return p;
}

inline bool HasHoles(const Presence& p)
{
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        if (p[id] && !Reachable(p, id))
            return true;
    return false;
}

// Definition words: present nodes get word, absent ones 0.
inline VLMCharacterDefinition Definition(const Presence& p, std::uint32_t word = 7)
{
    VLMCharacterDefinition def{};
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        def.words[id] = p[id] ? word : 0;
    return def;
}

inline Presence PresenceOf(std::initializer_list<int> ids)
{
    Presence p{};
    for (int id : ids)
        p[id] = true;
    return p;
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

} // namespace oracle

#endif
