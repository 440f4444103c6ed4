// skelwright-demo: a host application around the panel, to try the component.
//   skelwright-demo [--screenshot FILE] [--user-dir DIR] [--data DIR] [SKELETON.bvh]
#include "demo_options.h"
#include "demo_window.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <iostream>

namespace {

// Once the window has started and followed the model at least once, grabs it
// into `path` and ends the event loop: 0 when the file was written, 1 when not.
void takeScreenshot(DemoWindow& window, const QString& path)
{
    auto grab = [&window, path] {
        const QImage image = window.Screenshot();
        if (image.isNull() || !image.save(path)) {
            std::cerr << "skelwright-demo: cannot write " << path.toStdString() << std::endl;
            QApplication::exit(1);
            return;
        }
        QApplication::exit(0);
    };
    // Lets the layout settle before the picture is taken.
    QTimer::singleShot(300, &window, [&window, grab] {
        if (window.ModelChangeCount() > 0) {
            grab();
            return;
        }
        QObject::connect(&window, &DemoWindow::ModelFollowed, &window, grab);
    });
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("skelwright-demo"));

    const QStringList arguments = QApplication::arguments().mid(1);
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        std::cout << DemoUsage().toStdString() << std::endl;
        return 0;
    }
    DemoOptions options;
    QString error;
    if (!ParseDemoOptions(arguments, options, error)) {
        std::cerr << "skelwright-demo: " << error.toStdString() << "\n" << DemoUsage().toStdString() << std::endl;
        return 2;
    }
    // The panel reads APPDATA while it is built: the per-user folder goes there.
    if (!options.userDir.isEmpty()) {
        const QString userDir = QDir(options.userDir).absolutePath();
        if (!QDir().mkpath(userDir)) {
            std::cerr << "skelwright-demo: cannot make " << userDir.toStdString() << std::endl;
            return 1;
        }
        qputenv("APPDATA", QFile::encodeName(userDir));
    }

    DemoWindow window(QDir(options.dataDir).absolutePath());
    if (!window.OpenSkeleton(options.skeleton, &error)) {
        std::cerr << "skelwright-demo: " << error.toStdString() << std::endl;
        return 1;
    }
    // The picture shows the window as it opens on a desktop screen, not
    // bounded by the offscreen platform's stand-in screen of 800 by 600.
    if (!options.screenshot.isEmpty())
        window.resize(window.FullSize());
    window.show();
    if (!options.screenshot.isEmpty())
        takeScreenshot(window, options.screenshot);
    return QApplication::exec();
}
