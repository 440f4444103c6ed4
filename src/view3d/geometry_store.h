// One group of draw geometry: a shared vertex list and the draw objects that
// index into it, with a bounding box over everything the store holds.
//
// A store is filled in two modes by the same traversal. Building appends
// every vertex (AddVertex) and every object (AddObject). Rewriting a new pose
// takes vertices and objects again in build order through the two write
// counters (RewriteVertex, NextObject), so the objects' indices stay valid and
// nothing is allocated. Both counter operations are bounds-checked and answer
// failure past the end of the lists: a traversal that does not fit the build
// stops instead of writing outside.
//
// Outside vertex buffer: a caller may hand a buffer of its own that receives
// the positions in place of the own list. The own list is kept alongside and
// written too, so that after the buffer is detached the store still holds the
// current positions and can be rewritten again without a rebuild.
#ifndef SKW_VIEW3D_GEOMETRY_STORE_H
#define SKW_VIEW3D_GEOMETRY_STORE_H

#include "base/skw_export.h"
#include "view3d/draw_objects.h"
#include "view3d/view_math.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class SKW_EXPORT GeometryStore {
public:
    GeometryStore();
    ~GeometryStore();

    GeometryStore(const GeometryStore&) = delete;
    GeometryStore& operator=(const GeometryStore&) = delete;

    // --- Vertices ---

    // Appends to the own list and extends the store's box; answers the new
    // vertex's index.
    std::uint32_t AddVertex(const float* p);
    // Writes vertex `index` into the outside buffer when one is attached and
    // into the own list when it holds that index, and extends the store's box.
    // False, with nothing written, for an index at or past VertexCount.
    bool SetVertex(std::uint32_t index, const float* p);
    // The outside vertex count while a buffer is attached, else the own list's size.
    std::size_t VertexCount() const;
    // Vertex i (3 floats) from the outside buffer when attached, else from the
    // own list; null past the end.
    const float* Vertex(std::size_t i) const;

    // --- Objects ---

    // Takes ownership and appends; answers the object.
    template <typename T>
    T* AddObject(std::unique_ptr<T> object)
    {
        T* raw = object.get();
        objects_.push_back(std::move(object));
        return raw;
    }
    std::size_t ObjectCount() const { return objects_.size(); }
    VLMDrawObjectNS::BaseObject* Object(std::size_t i) const
    {
        return i < objects_.size() ? objects_[i].get() : nullptr;
    }

    // --- Rewriting in build order ---

    void ResetWriteCounters();
    // Writes the next vertex of the build order; false past the end.
    bool RewriteVertex(const float* p, std::uint32_t* index);
    // Takes the next vertex of the build order where it stands: the own
    // list's position is written again (into the outside buffer too) and
    // extends the store's box. False past the end of the own list.
    bool KeepVertex(std::uint32_t* index);
    // The next object of the build order, as it is (ResetBoxes empties every
    // box before a replay); null past the end.
    VLMDrawObjectNS::BaseObject* NextObject();
    std::uint32_t VertexWriteCounter() const { return vertexWriteCounter_; }
    std::uint32_t ObjectWriteCounter() const { return objectWriteCounter_; }

    // --- Boxes ---

    void ExtendBox(const float* p) { ViewMath::Grow(box_, p); }
    const ViewMath::Box& Box() const { return box_; }
    // Empties the store's box and every object's box.
    void ResetBoxes();

    // --- Life cycle ---

    // Destroys every object, empties the own list, detaches any outside buffer
    // and empties all boxes.
    void Clear();
    // Empties the own list and detaches any outside buffer.
    void ClearVertices();
    // Attaches a caller buffer. When the own list holds vertices their number
    // becomes the outside vertex count; an empty own list keeps the earlier count.
    void UseOutsideVertices(float* buffer);
    // Drops the outside buffer; the own list is what the store holds again.
    void DetachOutsideVertices();
    const float* OutsideVertices() const { return outsideVertices_; }

private:
    std::vector<std::array<float, 3>> vertices_;
    std::size_t outsideVertexCount_ = 0;
    float* outsideVertices_ = nullptr;
    std::vector<std::unique_ptr<VLMDrawObjectNS::BaseObject>> objects_;
    std::uint32_t vertexWriteCounter_ = 0;
    std::uint32_t objectWriteCounter_ = 0;
    ViewMath::Box box_;
};

// The rewrite path runs once per vertex and object of every pose: inline.

inline std::size_t GeometryStore::VertexCount() const
{
    return outsideVertices_ ? outsideVertexCount_ : vertices_.size();
}

inline bool GeometryStore::SetVertex(std::uint32_t index, const float* p)
{
    if (index >= VertexCount())
        return false;
    if (outsideVertices_) {
        float* to = outsideVertices_ + 3 * static_cast<std::size_t>(index);
        to[0] = p[0];
        to[1] = p[1];
        to[2] = p[2];
    }
    if (index < vertices_.size())
        vertices_[index] = {p[0], p[1], p[2]};
    ExtendBox(p);
    return true;
}

inline bool GeometryStore::RewriteVertex(const float* p, std::uint32_t* index)
{
    if (!SetVertex(vertexWriteCounter_, p))
        return false;
    *index = vertexWriteCounter_++;
    return true;
}

inline bool GeometryStore::KeepVertex(std::uint32_t* index)
{
    if (vertexWriteCounter_ >= vertices_.size())
        return false;
    const std::array<float, 3> p = vertices_[vertexWriteCounter_];
    return RewriteVertex(p.data(), index);
}

inline VLMDrawObjectNS::BaseObject* GeometryStore::NextObject()
{
    if (objectWriteCounter_ >= objects_.size())
        return nullptr;
    return objects_[objectWriteCounter_++].get();
}

#endif
