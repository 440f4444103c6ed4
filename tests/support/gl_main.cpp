// Test entry of the suites that draw with OpenGL (the 3D view, the demo
// window): a QApplication on a real display (xcb, under xvfb-run with Mesa's
// software renderer) and the renderer's name in the log.
#include <QApplication>
#include <QGLWidget>
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
#ifdef SKW_MESA_SWRAST
    // Mesa unloads its driver at exit, after which the leak checker can only
    // name the driver's allocations "<unknown module>", which no suppression
    // matches. Keeping the driver mapped lets them carry its name.
    dlopen(SKW_MESA_SWRAST, RTLD_NOW | RTLD_NODELETE);
#endif
    setenv("QT_QPA_PLATFORM", "xcb", 0);
    // Mesa's software renderer draws on this thread alone: its worker threads
    // can exit while the leak checker stops the process at exit, which crashes
    // the checker's tracer.
    setenv("LP_NUM_THREADS", "0", 0);
    // Without a display (run the suite under xvfb-run) Qt stops here.
    QApplication app(argc, argv);
    {
        QGLWidget probe;
        probe.makeCurrent();
        const GLubyte* renderer = glGetString(GL_RENDERER);
        std::printf("GL_RENDERER: %s\n", renderer ? reinterpret_cast<const char*>(renderer) : "none (no GL context)");
        probe.doneCurrent();
    }
    return RUN_ALL_TESTS();
}
