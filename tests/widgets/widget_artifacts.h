// Screenshots go to $SKW_ARTIFACT_DIR, else "artifacts" under the working directory.
#ifndef SKW_TESTS_WIDGET_ARTIFACTS_H
#define SKW_TESTS_WIDGET_ARTIFACTS_H

#include <QDir>
#include <QWidget>

// Saves what the widget shows and answers the picture for probing.
inline QImage saveScreenshot(QWidget& widget, const QString& fileName)
{
    const QString dir = qEnvironmentVariable("SKW_ARTIFACT_DIR", QStringLiteral("artifacts"));
    QDir().mkpath(dir);
    const QPixmap shot = widget.grab();
    shot.save(QDir(dir).filePath(fileName));
    return shot.toImage().convertToFormat(QImage::Format_ARGB32);
}

#endif
