// Reads back where the 3D view drew its joints: the projection GL used for
// the last frame, times the camera.
#ifndef SKW_TESTS_SUPPORT_VIEW3D_PROBE_H
#define SKW_TESTS_SUPPORT_VIEW3D_PROBE_H

#include "rig/vlm_names.h"
#include "view3d/geometry_store.h"
#include "view3d/skeleton_display_geometry.h"
#include "view3d/vlm_gl_widget.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

// Draws a frame and names the joint spheres that land outside its view volume
// (GL clips them away, whole or in part); empty when every joint shows.
inline std::string JointsOutsideTheView(VLMGlWidget& gl)
{
    using namespace ViewMath;
    gl.GrabFrame();
    gl.makeCurrent();
    Mat4 projection;
    glGetFloatv(GL_PROJECTION_MATRIX, projection.m);
    gl.doneCurrent();
    std::string outside;
    const GeometryStore& store = gl.GetRenderer()->Geometry()->SkeletonStore();
    for (std::size_t i = 0; i < store.ObjectCount(); ++i) {
        const auto* joint = dynamic_cast<const VLMDrawObjectNS::SphereObject*>(store.Object(i));
        if (!joint)
            continue;
        const float* p = joint->centre;
        const Vec4 c = Multiply(projection, Multiply(gl.GetCamera(), Vec4{{p[0], p[1], p[2], 1.0f}}));
        if (std::abs(c[0]) > 1.0f || std::abs(c[1]) > 1.0f || std::abs(c[2]) > 1.0f)
            outside += std::string(outside.empty() ? "" : ", ") + VLMGetNodeName(joint->nodeId);
    }
    return outside;
}

// Draws a frame and names the joint spheres of the nodes that the view's
// edges cut (any part of the sphere beyond them); empty when all show whole.
inline std::string JointsCutByTheView(VLMGlWidget& gl, const std::vector<int>& nodes)
{
    using namespace ViewMath;
    gl.GrabFrame();
    gl.makeCurrent();
    Mat4 projection;
    glGetFloatv(GL_PROJECTION_MATRIX, projection.m);
    gl.doneCurrent();
    std::string cut;
    const GeometryStore& store = gl.GetRenderer()->Geometry()->SkeletonStore();
    for (std::size_t i = 0; i < store.ObjectCount(); ++i) {
        const auto* joint = dynamic_cast<const VLMDrawObjectNS::SphereObject*>(store.Object(i));
        if (!joint || std::find(nodes.begin(), nodes.end(), joint->nodeId) == nodes.end())
            continue;
        const float* p = joint->centre;
        const Vec4 c = Multiply(projection, Multiply(gl.GetCamera(), Vec4{{p[0], p[1], p[2], 1.0f}}));
        if (std::abs(c[0]) + joint->radius * std::abs(projection.m[0]) > 1.0f ||
            std::abs(c[1]) + joint->radius * std::abs(projection.m[5]) > 1.0f)
            cut += std::string(cut.empty() ? "" : ", ") + VLMGetNodeName(joint->nodeId);
    }
    return cut;
}

#endif
