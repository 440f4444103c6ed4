#include "view3d/skeleton_renderer.h"

#include <GL/gl.h>
#include <GL/glu.h>

using namespace VLMDrawObjectNS;

namespace {

constexpr int kSphereSlices = 40;
constexpr int kSphereStacks = 40;

void CopyBox(const GeometryStore& store, float* boxMin, float* boxMax)
{
    for (int i = 0; i < 3; ++i) {
        boxMin[i] = store.Box().min[i];
        boxMax[i] = store.Box().max[i];
    }
}

// The store's positions as GL reads them: from the outside buffer while one is
// attached, else from its own list.
const float* VertexData(const GeometryStore& store)
{
    return store.OutsideVertices() ? store.OutsideVertices() : store.Vertex(0);
}

}  // namespace

SkeletonRenderer::SkeletonRenderer() { NewQuadric(); }

SkeletonRenderer::~SkeletonRenderer()
{
    Clear();
    indices_.shrink_to_fit();
    if (quadric_)
        gluDeleteQuadric(quadric_);
}

bool SkeletonRenderer::ShowsKind(int flags, int kind)
{
    switch (kind) {
    case DRAW_PART_BONE:
    case DRAW_PART_JOINT_SPHERE: return true;
    case DRAW_PART_JOINT_AXIS: return (flags & DISPLAY_JOINT_AXES) != 0;
    case DRAW_PART_EFFECTOR_AXIS: return (flags & DISPLAY_EFFECTOR_AXES) != 0;
    case DRAW_PART_FLOOR_CONTACT: return (flags & DISPLAY_FLOOR_CONTACTS) != 0;
    case DRAW_PART_ROTATION_LIMIT: return (flags & DISPLAY_ROTATION_LIMITS) != 0;
    default: return false;
    }
}

bool SkeletonRenderer::Build(VLMCharacter* character, VLMCharacterState* state, float* boxMin, float* boxMax)
{
    if (!character || !state)
        return false;
    Clear();
    geometry_ = std::make_unique<SkeletonDisplayGeometry>();
    character_ = character;
    state_ = state;
    geometry_->Init(SkeletonDisplaySettings(), character, state);
    indices_.clear();
    const GeometryStore& store = geometry_->SkeletonStore();
    for (std::size_t i = 0; i < store.ObjectCount(); ++i) {
        const BaseObject& object = *store.Object(i);
        switch (object.partKind) {
        case DRAW_PART_BONE:
        case DRAW_PART_JOINT_AXIS:
        case DRAW_PART_EFFECTOR_AXIS:
        case DRAW_PART_FLOOR_CONTACT:
        case DRAW_PART_ROTATION_LIMIT: AppendIndices(object); break;
        default: break;
        }
    }
    CopyBox(store, boxMin, boxMax);
    return true;
}

bool SkeletonRenderer::UpdatePose(VLMCharacterState* state, float* boxMin, float* boxMax)
{
    if (!geometry_)
        return false;
    if (state != geometry_->State() && geometry_->UseState(state))
        state_ = state;
    geometry_->Update(nullptr);
    CopyBox(geometry_->SkeletonStore(), boxMin, boxMax);
    return true;
}

void SkeletonRenderer::AppendIndices(const BaseObject& object)
{
    if (const auto* lines = dynamic_cast<const LinesObject*>(&object)) {
        for (std::size_t i = 0; i < lines->PairCount(); ++i) {
            indices_.push_back(lines->Line(i)[0]);
            indices_.push_back(lines->Line(i)[1]);
        }
    } else if (const auto* triangles = dynamic_cast<const TrianglesObject*>(&object)) {
        for (std::size_t i = 0; i < triangles->TriangleCount(); ++i)
            for (const std::uint32_t index : triangles->Triangle(i))
                indices_.push_back(index);
    }
}

void SkeletonRenderer::Draw()
{
    if (!geometry_)
        return;
    const GeometryStore& store = geometry_->SkeletonStore();
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, VertexData(store));
    // The running offset advances over hidden objects too: every line and
    // triangle object holds its place in the index buffer.
    std::size_t offset = 0;
    for (std::size_t i = 0; i < store.ObjectCount(); ++i) {
        const BaseObject& object = *store.Object(i);
        const bool visible = ShowsKind(displayFlags_, object.partKind);
        glColor4fv(object.partKind == DRAW_PART_BONE ? boneColour_ : object.colour);
        switch (object.PrimitiveType()) {
        case DRAW_PRIMITIVE_LINES: {
            const std::size_t n = 2 * static_cast<const LinesObject&>(object).PairCount();
            if (offset + n > indices_.size())
                break;
            if (visible)
                glDrawElements(GL_LINES, static_cast<GLsizei>(n), GL_UNSIGNED_INT, indices_.data() + offset);
            offset += n;
            break;
        }
        case DRAW_PRIMITIVE_TRIANGLES: {
            const std::size_t n = 3 * static_cast<const TrianglesObject&>(object).TriangleCount();
            if (offset + n > indices_.size())
                break;
            if (visible)
                glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(n), GL_UNSIGNED_INT, indices_.data() + offset);
            offset += n;
            break;
        }
        case DRAW_PRIMITIVE_SPHERE: {
            const auto& sphere = static_cast<const SphereObject&>(object);
            if (!quadric_)
                break;
            glPushMatrix();
            glTranslatef(sphere.centre[0], sphere.centre[1], sphere.centre[2]);
            gluSphere(quadric_, sphere.radius, kSphereSlices, kSphereStacks);
            glPopMatrix();
            break;
        }
        }
    }
    glDisableClientState(GL_VERTEX_ARRAY);
}

void SkeletonRenderer::DrawFloorContacts(VLMEffectorSetState* effectors, VLMPropertySetState* properties)
{
    if (!geometry_)
        return;
    // The store is built once from the given blocks, then replayed in place.
    if (geometry_->FloorContactStore().ObjectCount() > 0)
        geometry_->UpdateFloorContacts(nullptr);
    else
        geometry_->InitFloorContacts(geometry_->Character(), geometry_->State(), effectors, properties);
    const GeometryStore& store = geometry_->FloorContactStore();
    const auto vertex = [&store](std::uint32_t index) {
        const float* p = store.Vertex(index);
        if (p)
            glVertex3fv(p);
    };
    for (std::size_t i = 0; i < store.ObjectCount(); ++i) {
        const BaseObject* object = store.Object(i);
        if (const auto* lines = dynamic_cast<const LinesObject*>(object)) {
            glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
            for (std::size_t k = 0; k < lines->PairCount(); ++k) {
                glBegin(GL_LINES);
                vertex(lines->Line(k)[0]);
                vertex(lines->Line(k)[1]);
                glEnd();
            }
        } else if (const auto* triangles = dynamic_cast<const TrianglesObject*>(object)) {
            glColor4f(0.0f, 0.0f, 1.0f, 1.0f);
            for (std::size_t k = 0; k < triangles->TriangleCount(); ++k) {
                glBegin(GL_TRIANGLES);
                for (const std::uint32_t index : triangles->Triangle(k))
                    vertex(index);
                glEnd();
            }
        }
    }
}

void SkeletonRenderer::Clear()
{
    geometry_.reset();
    indices_.clear();
}

void SkeletonRenderer::NewQuadric()
{
    // The old quadric goes first: replacing it must not leak it.
    if (quadric_)
        gluDeleteQuadric(quadric_);
    quadric_ = gluNewQuadric();
    if (quadric_) {
        gluQuadricDrawStyle(quadric_, GLU_FILL);
        gluQuadricNormals(quadric_, GLU_SMOOTH);
        gluQuadricTexture(quadric_, GL_TRUE);
    }
    SetBoneColour(0.0f, 0.0f, 0.0f, 1.0f);
}

void SkeletonRenderer::SetBoneColour(float r, float g, float b, float a)
{
    boneColour_[0] = r;
    boneColour_[1] = g;
    boneColour_[2] = b;
    boneColour_[3] = a;
}
