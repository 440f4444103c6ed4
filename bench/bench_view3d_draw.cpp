// Drawing one frame of the posed full character (170 joint spheres) in a
// 400 x 400 viewport, ended by glFinish, beside a frame that only clears and
// beside a bare loop that makes the same GL calls from precomputed lists, all
// in the same context. The figures are the two ratios: draw / clear and
// draw / bare loop. Needs a display: run it by hand under
//   xvfb-run -a -s "-screen 0 1280x1024x24" env LIBGL_ALWAYS_SOFTWARE=1 bench_view3d_draw
#include "bench_main.h"
#include "view3d/vlm_gl_widget.h"

#include "posed_rig.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>
#include <vector>

namespace {

class BenchView : public VLMGlWidget {
public:
    BenchView() : VLMGlWidget(nullptr, nullptr) { }
    using VLMGlWidget::paintGL;
};

BenchView* view = nullptr;

void DrawFrame(benchmark::State& state)
{
    view->makeCurrent();
    for (auto _ : state) {
        view->paintGL();
        glFinish();
    }
    view->doneCurrent();
}

void ClearFrame(benchmark::State& state)
{
    view->makeCurrent();
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glFinish();
    }
    view->doneCurrent();
}

// The renderer's frame with nothing decided per frame: the draw calls, their
// colours and the spheres are read from lists made once.
void BareLoop(benchmark::State& state)
{
    using namespace VLMDrawObjectNS;
    struct Call {
        GLenum mode;  // GL_LINES, GL_TRIANGLES, or 0 for a sphere
        GLsizei count;
        const std::uint32_t* indices;
        const float* colour;
        const SphereObject* sphere;
    };
    const SkeletonRenderer& renderer = *view->GetRenderer();
    const GeometryStore& store = renderer.Geometry()->SkeletonStore();
    std::vector<Call> calls;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < store.ObjectCount(); ++i) {
        const BaseObject* o = store.Object(i);
        const float* colour = o->partKind == DRAW_PART_BONE ? renderer.BoneColour() : o->colour;
        if (const auto* l = dynamic_cast<const LinesObject*>(o)) {
            calls.push_back(
                {GL_LINES, GLsizei(2 * l->PairCount()), renderer.Indices().data() + offset, colour, nullptr});
            offset += 2 * l->PairCount();
        } else if (const auto* s = dynamic_cast<const SphereObject*>(o)) {
            calls.push_back({0, 0, nullptr, colour, s});
        }
    }
    static const float kGizmo[18] = {1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    static const float kGizmoColours[18] = {1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1};
    GLUquadric* quadric = gluNewQuadric();
    gluQuadricNormals(quadric, GLU_SMOOTH);
    gluQuadricTexture(quadric, GL_TRUE);
    const ViewCamera::Ortho o = ViewCamera::Projection(view->width(), view->height(), view->GetZoom());
    const ViewMath::Mat4 gizmo = ViewMath::RotationPart(view->GetCamera());
    view->makeCurrent();
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glViewport(0, 0, 50, 50);
        glOrtho(-34.0, 34.0, -34.0, 34.0, -34.0, 2014.0);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glMultMatrixf(gizmo.m);
        glScalef(20.0f, 20.0f, 20.0f);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, kGizmo);
        glColorPointer(3, GL_FLOAT, 0, kGizmoColours);
        glDrawArrays(GL_LINES, 0, 6);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        glViewport(0, 0, view->width(), view->height());
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(o.left, o.right, o.bottom, o.top, o.zNear, o.zFar);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glMultMatrixf(view->GetCamera().m);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, store.Vertex(0));
        for (const Call& call : calls) {
            glColor4fv(call.colour);
            if (call.sphere) {
                glPushMatrix();
                glTranslatef(call.sphere->centre[0], call.sphere->centre[1], call.sphere->centre[2]);
                gluSphere(quadric, call.sphere->radius, 40, 40);
                glPopMatrix();
            } else {
                glDrawElements(call.mode, call.count, GL_UNSIGNED_INT, call.indices);
            }
        }
        glDisableClientState(GL_VERTEX_ARRAY);
        glFinish();
    }
    view->doneCurrent();
    gluDeleteQuadric(quadric);
}

BENCHMARK(DrawFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(ClearFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BareLoop)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("DISPLAY")) {
        std::fprintf(stderr, "bench_view3d_draw needs a display: run it under xvfb-run\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    posed::Rig rig = posed::Make(fixtures::Full(), posed::Limits::None);
    rig.WriteTPose();
    const float z[3] = {0, 0, 1}, x[3] = {1, 0, 0};
    rig.Bend(9, z, 0.6f);
    rig.Bend(5, x, -0.4f);
    BenchView bench;
    view = &bench;
    bench.resize(400, 400);
    bench.show();
    QApplication::processEvents();
    bench.SetCharacter(nullptr, rig.c(), rig.s());
    bench.makeCurrent();
    std::printf("GL_RENDERER: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    bench.doneCurrent();
    return RunRegisteredBenchmarks(argc, argv);
}
