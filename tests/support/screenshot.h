// Pictures saved as test artefacts, every suite's in one folder:
// $SKW_ARTIFACT_DIR when set, else build/<dir>/artifacts, which the test build
// passes to every suite as SKW_ARTIFACT_DIR_DEFAULT.
#ifndef SKW_TESTS_SUPPORT_SCREENSHOT_H
#define SKW_TESTS_SUPPORT_SCREENSHOT_H

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <gtest/gtest.h>

#ifndef SKW_ARTIFACT_DIR_DEFAULT
#error "SKW_ARTIFACT_DIR_DEFAULT is defined by skw_test_suite in tests/CMakeLists.txt"
#endif

// The folder exists once this answers: tests run in any order on a fresh build.
inline QString ArtifactDir()
{
    QString dir = qEnvironmentVariable("SKW_ARTIFACT_DIR");
    if (dir.isEmpty())
        dir = QStringLiteral(SKW_ARTIFACT_DIR_DEFAULT);
    QDir().mkpath(dir);
    return dir;
}

// Saves `image` as <name>.png in the artefact folder and answers it; fails the
// test when the picture is empty or a single colour (nothing was drawn), or
// cannot be written.
inline QImage SaveArtifact(const QImage& image, const QString& name)
{
    const QString path = QDir(ArtifactDir()).filePath(name + QStringLiteral(".png"));
    EXPECT_FALSE(image.isNull()) << name.toStdString();
    bool drawn = false;
    for (int y = 0; y < image.height() && !drawn; ++y) {
        for (int x = 0; x < image.width() && !drawn; ++x)
            drawn = image.pixel(x, y) != image.pixel(0, 0);
    }
    EXPECT_TRUE(drawn) << name.toStdString() << " is blank";
    EXPECT_TRUE(image.save(path)) << path.toStdString();
    return image;
}

// What `widget` shows, saved as <name>.png as SaveArtifact does.
inline QImage SaveScreenshot(QWidget* widget, const QString& name)
{
    return SaveArtifact(widget->grab().toImage(), name);
}

#endif
