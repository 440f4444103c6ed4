// Draw geometry of a characterized skeleton: bone shapes, joint spheres,
// joint axis tripods and rotation-limit shapes, built from a rig character and
// a pose state into the skeleton store; effector tripods and spheres from an
// effector set into the effector store; the hands' and feet's floor-contact
// outline, normal and plane into the floor-contact store.
//
// Init builds once. Update rewrites only the vertex positions for a new pose
// of the same state, replaying the build in the same order so that the draw
// objects and their indices stay valid, and allocates nothing. Every choice
// that decides how many vertices and objects a joint gets (which frame axis is
// the twist axis, which limit shapes exist, how many segments they have) and
// the character data it comes from are taken once at Init, so a later pose,
// however it bends or translates joints, cannot change the layout. The two
// other stores follow the same rules, each replaying from the blocks its own
// Init was given.
#ifndef SKW_VIEW3D_SKELETON_DISPLAY_GEOMETRY_H
#define SKW_VIEW3D_SKELETON_DISPLAY_GEOMETRY_H

#include "base/skw_export.h"
#include "view3d/geometry_store.h"
#include "view3d/skeleton_display_settings.h"
#include "view3d/view_math.h"

#include "rig/vlm_base.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

struct VLMPropertySetState;

class SKW_EXPORT SkeletonDisplayGeometry {
public:
    SkeletonDisplayGeometry();
    ~SkeletonDisplayGeometry();

    SkeletonDisplayGeometry(const SkeletonDisplayGeometry&) = delete;
    SkeletonDisplayGeometry& operator=(const SkeletonDisplayGeometry&) = delete;

    // Builds the skeleton store from scratch (mode 0). Keeps the character and
    // the state (not owned). False, with an empty store, when either is null.
    bool Init(const SkeletonDisplaySettings& settings, VLMCharacter* character, VLMCharacterState* state);

    // Rewrites the skeleton store's vertex positions from the state given to
    // Init (mode 1). With a buffer, the positions are also written there
    // (3 floats per vertex, VertexCount vertices) and the buffer is detached
    // again afterwards. False, with nothing written, when nothing was built or
    // the store no longer holds what the build made.
    bool Update(float* outsideVertices);

    // Points the pose reads at another state of the built character. Only a
    // state of the character's size is taken (another character's state would
    // be read past its end); null, a mismatch or nothing built keeps the old
    // one and answers false.
    bool UseState(VLMCharacterState* state);
    VLMCharacterState* State() const { return state_; }
    VLMCharacter* Character() const { return character_; }

    GeometryStore& SkeletonStore() { return skeleton_; }
    const GeometryStore& SkeletonStore() const { return skeleton_; }
    GeometryStore& EffectorStore() { return effectors_; }
    const GeometryStore& EffectorStore() const { return effectors_; }
    GeometryStore& FloorContactStore() { return floorContacts_; }
    const GeometryStore& FloorContactStore() const { return floorContacts_; }

    int Mode() const { return mode_; }
    // The settings of the last Init, negative sizes replaced.
    const SkeletonDisplaySettings& Settings() const { return settings_; }
    const SkeletonEffectorSettings& EffectorSettings() const { return effectorSettings_; }
    // Head.y - Hips.y of the T-pose, with its sign.
    float Height() const { return height_; }
    const float* UpAxis() const { return upAxis_; }

    // --- Effectors ---

    // Builds the effector store from scratch (mode 0): for each of the 44
    // effectors a tripod (flag 1) and a sphere coloured by its blend lanes
    // (flag 2). Negative sizes are divisors of the character's height, taken
    // positive. Keeps the effector set (not owned). False, with an empty
    // store, when the character or the effector set is null.
    bool InitEffectors(int flags, float sphereRadius, float axisLength, VLMCharacter* character,
                       VLMEffectorSetState* effectors);
    // Rewrites the effector store from the effector set given to InitEffectors,
    // as Update does for the skeleton store; the spheres take the current
    // blend lanes as their colours.
    bool UpdateEffectors(float* outsideVertices);

    // --- Floor contacts ---

    // Builds the floor-contact store from scratch (mode 0): for the feet, then
    // the hands, when their floor-contact property is not off, the contact
    // outline (six points for contact type 0, four for the others), the
    // contact normal and the contact plane of the extremity frame. Keeps the
    // four blocks (not owned). False, with an empty store, when any is null.
    bool InitFloorContacts(VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetState* effectors,
                           VLMPropertySetState* properties);
    // Rewrites the floor-contact store from the blocks given to
    // InitFloorContacts, as Update does for the skeleton store. Which
    // extremities are drawn and how many outline points each has stay as
    // built; an outline point the pose no longer gives keeps its place.
    bool UpdateFloorContacts(float* outsideVertices);

private:
    // The rotation-limit shapes of one joint as fixed at Init.
    struct LimitPlan {
        bool twist = false;  // twist arc and marker
        bool swing = false;  // two swing grids
        int a = 0, u = 1, v = 2;
        float sign = 1.0f;
        float twistLo = 0.0f, twistHi = 0.0f;
        int twistSegments = 1;
        float uLo = 0.0f, uHi = 0.0f, vLo = 0.0f, vHi = 0.0f;
        int gridOuterU = 1, gridInnerV = 1;  // grid of second id 1
        int gridOuterV = 1, gridInnerU = 1;  // grid of second id 2
    };

    // One joint drawn, in build order (depth first, children in child order).
    struct NodePlan {
        int id = -1;
        int parent = -1;  // plan slot of the parent, -1 below the reference node
        int firstChild = 0;
        int childCount = 0;
        ViewMath::Quat pre{{0, 0, 0, 1}};
        ViewMath::Quat post{{0, 0, 0, 1}};
        bool limited = false;  // any of the six limit bits
        LimitPlan limits;
    };

    void PlanSkeleton();
    LimitPlan PlanLimits(int slot, const float* lower, const float* upper, std::uint32_t mask,
                         std::uint32_t order) const;
    void ReadPose();
    bool Rebuild();
    void BuildNode(int slot);
    void BuildBone(int parentSlot, int slot);
    void BuildJointAxes(int slot, float length);
    void BuildRotationLimits(int slot, float localSize);
    bool BuildEffectors();
    bool BuildFloorContacts();

    // Three lines objects from the origin's vertex to origin + length x each
    // axis, coloured X, Y, Z, with second ids 0, 1, 2.
    void BuildTripod(GeometryStore& store, const ViewMath::Vec4& origin, std::uint32_t originIndex,
                     const std::array<ViewMath::Vec4, 3>& axes, float length, int kind, int id);
    void FillSphere(GeometryStore& store, VLMDrawObjectNS::SphereObject* sphere, const ViewMath::Vec4& centre,
                    float radius);

    // Counts a store held after its build; an update must find them again.
    struct BuiltCounts {
        std::size_t vertices = 0;
        std::size_t objects = 0;
    };
    bool Replay(GeometryStore& store, const BuiltCounts& built, float* outsideVertices,
                bool (SkeletonDisplayGeometry::*pass)());

    ViewMath::Vec4 Position(int slot) const;

    std::uint32_t EmitVertex(GeometryStore& store, const ViewMath::Vec4& p, VLMDrawObjectNS::BaseObject* object);
    // In build mode adds `p`; in update mode keeps the next vertex where it is.
    std::uint32_t EmitKeptVertex(GeometryStore& store, const ViewMath::Vec4& p, VLMDrawObjectNS::BaseObject* object);
    template <typename T>
    T* EmitObject(GeometryStore& store, int kind, int nodeId, int secondId, const float* colour);
    void EmitLine(VLMDrawObjectNS::LinesObject* object, std::uint32_t a, std::uint32_t b);

    GeometryStore skeleton_;
    GeometryStore effectors_;
    GeometryStore floorContacts_;
    int mode_ = 0;
    SkeletonDisplaySettings settings_;
    SkeletonEffectorSettings effectorSettings_;
    VLMCharacter* character_ = nullptr;
    VLMCharacterState* state_ = nullptr;
    VLMEffectorSetState* effectorSet_ = nullptr;  // of the effector store
    float upAxis_[3] = {0.0f, 1.0f, 0.0f};
    float height_ = 0.0f;

    // Fixed at Init.
    std::vector<NodePlan> plan_;
    std::vector<int> childSlots_;
    std::size_t builtVertexCount_ = 0;
    std::size_t builtObjectCount_ = 0;
    // Per pass: each joint's matrix and unit axes, and the length (-1 without
    // a parent) and unit direction of the bone from its parent.
    std::vector<ViewMath::Mat4> pose_;
    std::vector<std::array<ViewMath::Vec4, 3>> axes_;
    std::vector<float> boneLength_;
    std::vector<ViewMath::Vec4> boneDirection_;
    std::vector<std::uint32_t> vertexOf_;
    bool failed_ = false;

    // The effector store, fixed at InitEffectors.
    BuiltCounts effectorsBuilt_;
    bool effectorsReady_ = false;

    // The floor-contact store, fixed at InitFloorContacts: its blocks, and
    // per drawn extremity (in build order) the number of outline points.
    struct ContactPlan {
        int extremity = 0;
        int points = 4;
    };
    VLMCharacter* contactCharacter_ = nullptr;
    VLMCharacterState* contactState_ = nullptr;
    VLMEffectorSetState* contactEffectors_ = nullptr;
    VLMPropertySetState* contactProperties_ = nullptr;
    std::array<ContactPlan, 4> contactPlan_{};
    int contactCount_ = 0;
    BuiltCounts contactsBuilt_;
    bool contactsReady_ = false;
};

#endif
