// The viewport's holder and drawer of the skeleton geometry: one
// SkeletonDisplayGeometry built from a character and its pose state, one
// combined index buffer over the skeleton store's line and triangle objects,
// drawn with vertex arrays in one pass per frame. Display flags show or hide
// groups of draw objects; bones and joint spheres always show.
//
// Draw and DrawFloorContacts issue GL calls: call them with the viewport's
// context current. Everything else works without a context.
#ifndef SKW_VIEW3D_SKELETON_RENDERER_H
#define SKW_VIEW3D_SKELETON_RENDERER_H

#include "base/skw_export.h"
#include "view3d/skeleton_display_geometry.h"

#include <cstdint>
#include <memory>
#include <vector>

struct GLUquadric;
struct VLMPropertySetState;

// Display flags: the draw-object kinds each bit shows.
enum : int {
    DISPLAY_ROTATION_LIMITS = 1,  // kind 6
    DISPLAY_JOINT_AXES = 4,       // kind 1
    DISPLAY_EFFECTOR_AXES = 8,    // kind 3
    DISPLAY_FLOOR_CONTACTS = 16,  // kind 5
    DISPLAY_DEFAULT = DISPLAY_ROTATION_LIMITS | DISPLAY_JOINT_AXES | DISPLAY_EFFECTOR_AXES | DISPLAY_FLOOR_CONTACTS
};

class SKW_EXPORT SkeletonRenderer {
public:
    SkeletonRenderer();
    ~SkeletonRenderer();

    SkeletonRenderer(const SkeletonRenderer&) = delete;
    SkeletonRenderer& operator=(const SkeletonRenderer&) = delete;

    // Replaces any geometry with one built from the character and state (the
    // default display settings) and answers the skeleton store's box. False,
    // with nothing changed, for a null character or state.
    bool Build(VLMCharacter* character, VLMCharacterState* state, float* boxMin, float* boxMax);

    // Rewrites the vertex positions in place and answers the new box. The
    // geometry reads the pose from `state` from now on when it is a state of
    // the built character's size; null or any other state keeps the one it
    // reads. False, with nothing changed, while there is no geometry.
    bool UpdatePose(VLMCharacterState* state, float* boxMin, float* boxMax);

    // One pass over the skeleton store (the model-view matrix is the camera).
    void Draw();
    // The floor-contact store in immediate mode: outlines in red, planes in
    // blue. Nothing while there is no geometry.
    void DrawFloorContacts(VLMEffectorSetState* effectors, VLMPropertySetState* properties);
    // The indices of a line or triangle object at the end of the buffer.
    void AppendIndices(const VLMDrawObjectNS::BaseObject& object);

    // Deletes the geometry and empties the index buffer.
    void Clear();
    void SetDisplayFlags(int flags) { displayFlags_ = flags; }
    int DisplayFlags() const { return displayFlags_; }
    bool HasGeometry() const { return geometry_ != nullptr; }
    SkeletonDisplayGeometry* Geometry() const { return geometry_.get(); }
    const std::vector<std::uint32_t>& Indices() const { return indices_; }
    VLMCharacter* Character() const { return character_; }
    VLMCharacterState* State() const { return state_; }

    // A fresh sphere quadric in place of the old one; bones black again.
    void NewQuadric();
    void SetBoneColour(float r, float g, float b, float a);
    const float* BoneColour() const { return boneColour_; }

    // Whether the display flags show a draw-object kind.
    static bool ShowsKind(int flags, int kind);

private:
    std::unique_ptr<SkeletonDisplayGeometry> geometry_;
    std::vector<std::uint32_t> indices_;
    VLMCharacter* character_ = nullptr;
    VLMCharacterState* state_ = nullptr;
    GLUquadric* quadric_ = nullptr;
    int displayFlags_ = DISPLAY_DEFAULT;
    float boneColour_[4] = {0.0f, 0.0f, 0.0f, 1.0f};
};

#endif
