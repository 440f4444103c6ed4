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
// (GL clips them away, whole or in part); empty when every joint shows. With
// `whole`, only the spheres of those nodes, cut anywhere by the view's edges.
inline std::string JointsOutsideTheView(VLMGlWidget& gl, const std::vector<int>& whole = {})
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
        if (!joint || (!whole.empty() && std::find(whole.begin(), whole.end(), joint->nodeId) == whole.end()))
            continue;
        const float* p = joint->centre;
        const Vec4 c = Multiply(projection, Multiply(gl.GetCamera(), Vec4{{p[0], p[1], p[2], 1.0f}}));
        const float r = whole.empty() ? 0.0f : joint->radius;
        if (std::abs(c[0]) + r * projection.m[0] > 1.0f || std::abs(c[1]) + r * projection.m[5] > 1.0f ||
            std::abs(c[2]) > 1.0f)
            outside += std::string(outside.empty() ? "" : ", ") + VLMGetNodeName(joint->nodeId);
    }
    return outside;
}

#endif
