// Where the widget tests leave their screenshots: $SKW_ARTIFACT_DIR when set,
// else "artifacts" under the test's working directory (the build tree).
#ifndef SKW_TESTS_WIDGET_ARTIFACTS_H
#define SKW_TESTS_WIDGET_ARTIFACTS_H

#include <QDir>
#include <QString>
#include <QWidget>

inline QString widgetArtifactPath(const QString& fileName)
{
    const QString dir = qEnvironmentVariable("SKW_ARTIFACT_DIR", QStringLiteral("artifacts"));
    QDir().mkpath(dir);
    return QDir(dir).filePath(fileName);
}

// Saves what the widget shows and answers the picture for probing.
inline QImage saveScreenshot(QWidget& widget, const QString& fileName)
{
    const QPixmap shot = widget.grab();
    shot.save(widgetArtifactPath(fileName));
    return shot.toImage().convertToFormat(QImage::Format_ARGB32);
}

#endif
