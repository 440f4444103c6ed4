#include "view3d/geometry_store.h"

GeometryStore::GeometryStore() { ViewMath::Reset(box_); }

// The objects go first, each through its virtual destructor, then the lists.
GeometryStore::~GeometryStore() { objects_.clear(); }

std::uint32_t GeometryStore::AddVertex(const float* p)
{
    const auto index = static_cast<std::uint32_t>(vertices_.size());
    vertices_.push_back({p[0], p[1], p[2]});
    ExtendBox(p);
    return index;
}

const float* GeometryStore::Vertex(std::size_t i) const
{
    if (i >= VertexCount())
        return nullptr;
    if (outsideVertices_)
        return outsideVertices_ + 3 * i;
    return vertices_[i].data();
}

void GeometryStore::ResetWriteCounters()
{
    vertexWriteCounter_ = 0;
    objectWriteCounter_ = 0;
}

void GeometryStore::ResetBoxes()
{
    ViewMath::Reset(box_);
    for (const auto& object : objects_)
        object->ResetBox();
}

void GeometryStore::Clear()
{
    objects_.clear();
    ClearVertices();
    ResetWriteCounters();
    ViewMath::Reset(box_);
}

void GeometryStore::ClearVertices()
{
    vertices_.clear();
    outsideVertexCount_ = 0;
    outsideVertices_ = nullptr;
}

void GeometryStore::UseOutsideVertices(float* buffer)
{
    if (!vertices_.empty())
        outsideVertexCount_ = vertices_.size();
    outsideVertices_ = buffer;
}

void GeometryStore::DetachOutsideVertices() { outsideVertices_ = nullptr; }
