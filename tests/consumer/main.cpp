// Uses the installed headers and the module the way a host does: the rig
// library's flat functions and an exported model class.
#include <model/character_joint_geometry.h>
#include <rig/velmora.h>

#include <cstdio>
#include <cstring>

int main()
{
    const int hips = VLMGetNodeIdFromName("Hips");
    if (VLMGetNodeCount() != 172 || hips < 0 || std::strcmp(VLMGetNodeName(hips), "Hips") != 0) {
        std::puts("the rig library's names are not reachable");
        return 1;
    }
    CharacterJointGeometry joint;
    joint.SetTranslate(1.0f, 2.0f, 3.0f);
    joint.SetRotationOrder(VLM_ROTATION_EULER_ZYX);
    if (joint.GetRotationOrder() != VLM_ROTATION_EULER_ZYX) {
        std::puts("the exported joint record does not keep its rotation order");
        return 1;
    }
    std::puts("consumer: ok");
    return 0;
}
