// Saves a picture of a widget as a test artefact, into $SKW_ARTIFACT_DIR or
// $TEST_ARTIFACT_DIR when set, else the working folder.
#ifndef SKW_TESTS_SUPPORT_SCREENSHOT_H
#define SKW_TESTS_SUPPORT_SCREENSHOT_H

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <gtest/gtest.h>

// The folder exists once this answers: tests run in any order on a fresh build.
inline QString ArtifactDir()
{
    for (const char* name : {"SKW_ARTIFACT_DIR", "TEST_ARTIFACT_DIR"}) {
        const QString dir = qEnvironmentVariable(name);
        if (!dir.isEmpty()) {
            QDir().mkpath(dir);
            return dir;
        }
    }
    return QDir::currentPath();
}

// Saves `widget` as <name>.png and answers the path; fails the test when the
// picture is empty or a single colour (nothing was drawn).
inline QString SaveScreenshot(QWidget* widget, const QString& name)
{
    const QString path = QDir(ArtifactDir()).filePath(name + QStringLiteral(".png"));
    const QImage image = widget->grab().toImage();
    EXPECT_FALSE(image.isNull()) << name.toStdString();
    bool drawn = false;
    for (int y = 0; y < image.height() && !drawn; ++y) {
        for (int x = 0; x < image.width() && !drawn; ++x)
            drawn = image.pixel(x, y) != image.pixel(0, 0);
    }
    EXPECT_TRUE(drawn) << name.toStdString() << " is blank";
    EXPECT_TRUE(image.save(path)) << path.toStdString();
    return path;
}

#endif
