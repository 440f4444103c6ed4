#!/usr/bin/env python3
"""Writes the sample skeletons of the stand-in host as BVH files.

Every sample is the same humanoid in T-pose, 178 cm tall, in centimetres: Y up,
facing +Z, so its left side is +X; arms straight out along +X (left) and -X
(right) with the shoulder, arm, forearm and hand joints at one height and depth;
legs straight down -Y; hips across X. Hands have four joints per digit (thumb to
pinky), feet two per toe. The samples differ only in how the joints are named
and parented, the way different content-creation tools lay out a skeleton:

  rig_names.bvh          the rig's own node names, roll bones inside the limbs
  namespace_colon.bvh    "hero:Hips": a namespace, then the rig names
  prefix_underscore.bvh  "Character1_Hips", roll bones as leaf twist joints
  biped_spaces.bvh       "Bip01 L Thigh": a biped layout that needs a template
  suffix_lower.bvh       "thigh_l": lower case with side suffixes, twist and ik
                         helper joints mixed in

All coordinates are multiples of 0.5, so a reader that sums the offsets in
single precision gets the positions below exactly. Run this script to rewrite
the files; the output is deterministic.
"""

import os
from fractions import Fraction

F = Fraction

# Global rest positions of the left side and the centre line; the right side
# mirrors X.
CENTRE = {
    "Reference": (0, 0, 0),
    "Hips": (0, 100, 0),
    "Spine": (0, 110, 0),
    "Spine1": (0, 122, 0),
    "Spine2": (0, 134, 0),
    "Neck": (0, 150, 0),
    "Neck1": (0, 155, 0),
    "Head": (0, 161, 0),
}
LEFT = {
    "UpLeg": (9, 94, 0),
    "UpLegRoll": (9, 73, 0),
    "Leg": (9, 52, 0),
    "LegRoll": (9, 31, 0),
    "Foot": (9, 10, 0),
    "ToeBase": (9, 2, 12),
    "Shoulder": (3, 144, 0),
    "Arm": (15, 144, 0),
    "ArmRoll": (29, 144, 0),
    "ForeArm": (43, 144, 0),
    "ForeArmRoll": (56, 144, 0),
    "Hand": (69, 144, 0),
}
FINGERS = {  # four joints each, left hand, palm down, thumb forward
    "Thumb": [(71, 143, 3), (74, 143, F(9, 2)), (F(153, 2), 143, F(11, 2)), (F(157, 2), 143, 6)],
    "Index": [(78, 144, F(5, 2)), (82, 144, F(5, 2)), (F(169, 2), 144, F(5, 2)), (F(173, 2), 144, F(5, 2))],
    "Middle": [(F(157, 2), 144, F(1, 2)), (83, 144, F(1, 2)), (86, 144, F(1, 2)), (88, 144, F(1, 2))],
    "Ring": [(78, 144, F(-3, 2)), (82, 144, F(-3, 2)), (F(169, 2), 144, F(-3, 2)), (F(173, 2), 144, F(-3, 2))],
    "Pinky": [(77, 144, F(-7, 2)), (80, 144, F(-7, 2)), (82, 144, F(-7, 2)), (F(167, 2), 144, F(-7, 2))],
}
TOES = {  # two joints each, left foot, big toe toward the centre line
    "Thumb": [(7, F(3, 2), 14), (7, F(3, 2), 17)],
    "Index": [(F(17, 2), F(3, 2), F(29, 2)), (F(17, 2), F(3, 2), F(33, 2))],
    "Middle": [(F(19, 2), F(3, 2), F(29, 2)), (F(19, 2), F(3, 2), 16)],
    "Ring": [(F(21, 2), F(3, 2), 14), (F(21, 2), F(3, 2), F(31, 2))],
    "Pinky": [(F(23, 2), F(3, 2), F(27, 2)), (F(23, 2), F(3, 2), 15)],
}
DIGITS = ["Thumb", "Index", "Middle", "Ring", "Pinky"]
HEAD_TOP = (0, 17, 0)


def side(point, s):
    x, y, z = (F(v) for v in point)
    return (x if s == "Left" else -x, y, z)


def pos(key):
    """Position of a rig-named joint such as "RightHandIndex3"."""
    if key in CENTRE:
        return tuple(F(v) for v in CENTRE[key])
    for s in ("Left", "Right"):
        if not key.startswith(s):
            continue
        rest = key[len(s):]
        if rest in LEFT:
            return side(LEFT[rest], s)
        for table, part in ((FINGERS, "Hand"), (TOES, "Foot")):
            if rest.startswith(part):
                digit, joint = rest[len(part):-1], int(rest[-1])
                return side(table[digit][joint - 1], s)
    raise KeyError(key)


def tip(key, s):
    """End-site offset that continues a digit's last bone by 1.5 cm."""
    return {"Hand": (F(3, 2) if s == "Left" else F(-3, 2), 0, 0), "Foot": (0, 0, F(3, 2))}[key]


class Skeleton:
    def __init__(self):
        self.joints = []  # (name, parent name, position, end-site offset)
        self.names = set()

    def add(self, name, parent, position, end=None):
        assert name not in self.names, name
        assert parent is None or parent in self.names, parent
        self.names.add(name)
        self.joints.append((name, parent, tuple(F(v) for v in position), end))

    def write(self, path):
        children = {}
        for j in self.joints:
            children.setdefault(j[1], []).append(j)
        positions = {j[0]: j[2] for j in self.joints}
        out = ["HIERARCHY"]
        channels = [0]

        def num(v):
            return "%.4f" % float(v)

        def emit(joint, depth):
            name, parent, p, end = joint
            ind = "\t" * depth
            base = positions[parent] if parent else (0, 0, 0)
            off = [p[i] - base[i] for i in range(3)]
            out.append(ind + ("JOINT " if parent else "ROOT ") + name)
            out.append(ind + "{")
            out.append(ind + "\tOFFSET " + " ".join(num(v) for v in off))
            if parent:
                out.append(ind + "\tCHANNELS 3 Zrotation Xrotation Yrotation")
                channels[0] += 3
            else:
                out.append(ind + "\tCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation")
                channels[0] += 6
            kids = children.get(name, [])
            for k in kids:
                emit(k, depth + 1)
            if not kids:
                e = end if end is not None else (0, 0, 0)
                out.append(ind + "\tEnd Site")
                out.append(ind + "\t{")
                out.append(ind + "\t\tOFFSET " + " ".join(num(v) for v in e))
                out.append(ind + "\t}")
            out.append(ind + "}")

        for root in children[None]:
            emit(root, 0)
        out.append("MOTION")
        out.append("Frames: 1")
        out.append("Frame Time: 0.0333333")
        out.append(" ".join(["0.0000"] * channels[0]))
        with open(path, "w", newline="\n") as f:
            f.write("\n".join(out) + "\n")
        return len(self.joints)


def rig_style(prefix, reference, roll_in_chain, roll_as_leaf):
    """Rig node names behind a prefix ("", "hero:", "Character1_")."""
    sk = Skeleton()
    n = lambda key: prefix + key
    if reference:
        sk.add(n("Reference"), None, pos("Reference"))
        sk.add(n("Hips"), n("Reference"), pos("Hips"))
    else:
        sk.add(n("Hips"), None, pos("Hips"))
    for s in ("Left", "Right"):
        chain = ["UpLeg", "UpLegRoll", "Leg", "LegRoll", "Foot", "ToeBase"] if roll_in_chain \
            else ["UpLeg", "Leg", "Foot", "ToeBase"]
        parent = n("Hips")
        for part in chain:
            sk.add(n(s + part), parent, pos(s + part))
            parent = n(s + part)
        for d in DIGITS:
            parent = n(s + "ToeBase")
            for j in (1, 2):
                key = "%sFoot%s%d" % (s, d, j)
                sk.add(n(key), parent, pos(key), tip("Foot", s) if j == 2 else None)
                parent = n(key)
    sk.add(n("Spine"), n("Hips"), pos("Spine"))
    sk.add(n("Spine1"), n("Spine"), pos("Spine1"))
    sk.add(n("Spine2"), n("Spine1"), pos("Spine2"))
    sk.add(n("Neck"), n("Spine2"), pos("Neck"))
    sk.add(n("Neck1"), n("Neck"), pos("Neck1"))
    sk.add(n("Head"), n("Neck1"), pos("Head"), HEAD_TOP)
    for s in ("Left", "Right"):
        chain = ["Shoulder", "Arm", "ArmRoll", "ForeArm", "ForeArmRoll", "Hand"] if roll_in_chain \
            else ["Shoulder", "Arm", "ForeArm", "Hand"]
        parent = n("Spine2")
        for part in chain:
            sk.add(n(s + part), parent, pos(s + part))
            parent = n(s + part)
        for d in DIGITS:
            parent = n(s + "Hand")
            for j in (1, 2, 3, 4):
                key = "%sHand%s%d" % (s, d, j)
                sk.add(n(key), parent, pos(key), tip("Hand", s) if j == 4 else None)
                parent = n(key)
    if roll_as_leaf:
        for s in ("Left", "Right"):
            for roll, owner in (("UpLegRoll", "UpLeg"), ("LegRoll", "Leg"),
                                ("ArmRoll", "Arm"), ("ForeArmRoll", "ForeArm")):
                sk.add(n(s + roll), n(s + owner), pos(s + roll))
    return sk


def biped_style():
    sk = Skeleton()
    sk.add("Bip01", None, pos("Hips"))
    sk.add("Bip01 Pelvis", "Bip01", pos("Hips"))
    sk.add("Bip01 Footsteps", "Bip01", (0, 0, 0))
    sk.add("Bip01 Spine", "Bip01 Pelvis", pos("Spine"))
    sk.add("Bip01 Spine1", "Bip01 Spine", pos("Spine1"))
    sk.add("Bip01 Spine2", "Bip01 Spine1", pos("Spine2"))
    sk.add("Bip01 Neck", "Bip01 Spine2", pos("Neck"))
    sk.add("Bip01 Head", "Bip01 Neck", pos("Head"), HEAD_TOP)
    for s, c in (("Left", "L"), ("Right", "R")):
        b = "Bip01 %s " % c
        sk.add(b + "Thigh", "Bip01 Pelvis", pos(s + "UpLeg"))
        sk.add(b + "Calf", b + "Thigh", pos(s + "Leg"))
        sk.add(b + "Foot", b + "Calf", pos(s + "Foot"))
        for i, d in enumerate(DIGITS):
            sk.add(b + "Toe%d" % i, b + "Foot", pos("%sFoot%s1" % (s, d)))
            sk.add(b + "Toe%d1" % i, b + "Toe%d" % i, pos("%sFoot%s2" % (s, d)), tip("Foot", s))
        # Clavicles hang under the neck in this layout, not under the chest.
        sk.add(b + "Clavicle", "Bip01 Neck", pos(s + "Shoulder"))
        sk.add(b + "UpperArm", b + "Clavicle", pos(s + "Arm"))
        sk.add(b + "Forearm", b + "UpperArm", pos(s + "ForeArm"))
        sk.add(b + "ForeTwist", b + "Forearm", pos(s + "ForeArmRoll"))
        sk.add(b + "Hand", b + "Forearm", pos(s + "Hand"))
        for i, d in enumerate(DIGITS):
            names = [b + "Finger%d" % i, b + "Finger%d1" % i, b + "Finger%d2" % i, b + "Finger%dNub" % i]
            parent = b + "Hand"
            for j, name in enumerate(names):
                sk.add(name, parent, pos("%sHand%s%d" % (s, d, j + 1)), tip("Hand", s) if j == 3 else None)
                parent = name
    return sk


def suffix_style():
    sk = Skeleton()
    sk.add("root", None, (0, 0, 0))
    sk.add("pelvis", "root", pos("Hips"))
    for s, c in (("Left", "l"), ("Right", "r")):
        sk.add("thigh_" + c, "pelvis", pos(s + "UpLeg"))
        sk.add("thigh_twist_01_" + c, "thigh_" + c, pos(s + "UpLegRoll"))
        sk.add("calf_" + c, "thigh_" + c, pos(s + "Leg"))
        sk.add("calf_twist_01_" + c, "calf_" + c, pos(s + "LegRoll"))
        sk.add("foot_" + c, "calf_" + c, pos(s + "Foot"))
        sk.add("ball_" + c, "foot_" + c, pos(s + "ToeBase"))
        for toe, d in zip(("bigtoe", "indextoe", "middletoe", "ringtoe", "littletoe"), DIGITS):
            sk.add("%s_01_%s" % (toe, c), "ball_" + c, pos("%sFoot%s1" % (s, d)))
            sk.add("%s_02_%s" % (toe, c), "%s_01_%s" % (toe, c), pos("%sFoot%s2" % (s, d)), tip("Foot", s))
    sk.add("spine_01", "pelvis", pos("Spine"))
    sk.add("spine_02", "spine_01", pos("Spine1"))
    sk.add("spine_03", "spine_02", pos("Spine2"))
    sk.add("neck_01", "spine_03", pos("Neck"))
    sk.add("neck_02", "neck_01", pos("Neck1"))
    sk.add("head", "neck_02", pos("Head"), HEAD_TOP)
    for s, c in (("Left", "l"), ("Right", "r")):
        sk.add("clavicle_" + c, "spine_03", pos(s + "Shoulder"))
        sk.add("upperarm_" + c, "clavicle_" + c, pos(s + "Arm"))
        sk.add("upperarm_twist_01_" + c, "upperarm_" + c, pos(s + "ArmRoll"))
        sk.add("lowerarm_" + c, "upperarm_" + c, pos(s + "ForeArm"))
        sk.add("lowerarm_twist_01_" + c, "lowerarm_" + c, pos(s + "ForeArmRoll"))
        sk.add("hand_" + c, "lowerarm_" + c, pos(s + "Hand"))
        for d in DIGITS:
            parent = "hand_" + c
            for j in (1, 2, 3, 4):
                name = "%s_%02d_%s" % (d.lower(), j, c)
                sk.add(name, parent, pos("%sHand%s%d" % (s, d, j)), tip("Hand", s) if j == 4 else None)
                parent = name
    # Helper joints that share names with real ones: the matcher must not take them.
    sk.add("ik_foot_root", "root", (0, 0, 0))
    sk.add("ik_foot_l", "ik_foot_root", pos("LeftFoot"))
    sk.add("ik_foot_r", "ik_foot_root", pos("RightFoot"))
    sk.add("ik_hand_root", "root", (0, 0, 0))
    sk.add("ik_hand_gun", "ik_hand_root", pos("RightHand"))
    sk.add("ik_hand_l", "ik_hand_gun", pos("LeftHand"))
    sk.add("ik_hand_r", "ik_hand_gun", pos("RightHand"))
    return sk


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    samples = [
        ("rig_names.bvh", rig_style("", True, True, False)),
        ("namespace_colon.bvh", rig_style("hero:", False, False, False)),
        ("prefix_underscore.bvh", rig_style("Character1_", True, False, True)),
        ("biped_spaces.bvh", biped_style()),
        ("suffix_lower.bvh", suffix_style()),
    ]
    for name, sk in samples:
        count = sk.write(os.path.join(here, name))
        print("%s: %d joints" % (name, count))


if __name__ == "__main__":
    main()
