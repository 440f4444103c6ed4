// Draw objects of the 3D view: spheres, indexed line sets and indexed
// triangle sets, each tagged with the part of the character it shows. Line and
// triangle objects hold no positions: their indices point into the vertex
// list of the GeometryStore that owns them.
#ifndef SKW_VIEW3D_DRAW_OBJECTS_H
#define SKW_VIEW3D_DRAW_OBJECTS_H

#include <array>
#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <vector>

// What a draw object shows.
enum DrawPartKind : int {
    DRAW_PART_BONE = 0,
    DRAW_PART_JOINT_AXIS = 1,  // three objects per joint, second id 0, 1, 2 = X, Y, Z
    DRAW_PART_JOINT_SPHERE = 2,
    DRAW_PART_EFFECTOR_AXIS = 3,
    DRAW_PART_EFFECTOR_SPHERE = 4,
    DRAW_PART_FLOOR_CONTACT = 5,
    DRAW_PART_ROTATION_LIMIT = 6
};

enum DrawPrimitiveType : int { DRAW_PRIMITIVE_LINES = 0, DRAW_PRIMITIVE_TRIANGLES = 1, DRAW_PRIMITIVE_SPHERE = 2 };

namespace VLMDrawObjectNS {

class BaseObject {
public:
    virtual ~BaseObject() = default;

    BaseObject(const BaseObject&) = delete;
    BaseObject& operator=(const BaseObject&) = delete;

    DrawPrimitiveType PrimitiveType() const { return primitiveType_; }

    // Extends the object's box by one point, component by component.
    void ExtendBox(const float* p)
    {
        for (int i = 0; i < 3; ++i) {
            boxMin[i] = p[i] < boxMin[i] ? p[i] : boxMin[i];
            boxMax[i] = p[i] > boxMax[i] ? p[i] : boxMax[i];
        }
    }
    void ResetBox()
    {
        for (int i = 0; i < 3; ++i) {
            boxMin[i] = FLT_MAX;
            boxMax[i] = -FLT_MAX;
        }
    }

    float boxMin[3] = {FLT_MAX, FLT_MAX, FLT_MAX};
    float boxMax[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
    float colour[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    int partKind = 0;  // DrawPartKind
    // Rig node id of the joint (effector id for effector kinds, extremity
    // index for floor contacts).
    int nodeId = -1;
    // Bone: the child's node id; axes: 0, 1, 2; rotation limit: 0 twist,
    // 1 and 2 swing; floor contact: 0 outline, 1 normal, 2 plane.
    int secondId = -1;

protected:
    explicit BaseObject(DrawPrimitiveType type) : primitiveType_(type) { }

private:
    DrawPrimitiveType primitiveType_;
};

class SphereObject final : public BaseObject {
public:
    static constexpr DrawPrimitiveType kType = DRAW_PRIMITIVE_SPHERE;
    SphereObject() : BaseObject(DRAW_PRIMITIVE_SPHERE) { }

    float centre[3] = {0.0f, 0.0f, 0.0f};
    float radius = 0.0f;
};

class LinesObject final : public BaseObject {
public:
    static constexpr DrawPrimitiveType kType = DRAW_PRIMITIVE_LINES;
    LinesObject() : BaseObject(DRAW_PRIMITIVE_LINES) { }

    void AddLine(std::uint32_t a, std::uint32_t b) { lines_.push_back({a, b}); }
    std::size_t PairCount() const { return lines_.size(); }
    const std::array<std::uint32_t, 2>& Line(std::size_t i) const { return lines_.at(i); }

    float lineWidth = 1.0f;

private:
    std::vector<std::array<std::uint32_t, 2>> lines_;
};

class TrianglesObject final : public BaseObject {
public:
    static constexpr DrawPrimitiveType kType = DRAW_PRIMITIVE_TRIANGLES;
    TrianglesObject() : BaseObject(DRAW_PRIMITIVE_TRIANGLES) { }

    void AddTriangle(std::uint32_t a, std::uint32_t b, std::uint32_t c) { triangles_.push_back({a, b, c}); }
    std::size_t TriangleCount() const { return triangles_.size(); }
    const std::array<std::uint32_t, 3>& Triangle(std::size_t i) const { return triangles_.at(i); }

private:
    std::vector<std::array<std::uint32_t, 3>> triangles_;
};

}  // namespace VLMDrawObjectNS

#endif
