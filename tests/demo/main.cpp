// Test entry of the demo suite: a QApplication on the display that
// scripts/test.sh starts (xcb under xvfb-run, Mesa's software renderer).
#include <QApplication>
#include <gtest/gtest.h>

#include <dlfcn.h>

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
    setenv("SKW_ARTIFACT_DIR", SKW_ARTIFACT_DIR_DEFAULT, 0);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
