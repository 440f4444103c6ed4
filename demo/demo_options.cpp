#include "demo_options.h"

#include "standin_host.h"

QString DefaultDemoDataDir() { return QStringLiteral(SKW_DEMO_DATA_DIR); }

QString DefaultDemoSkeleton() { return StandInHost::SamplePath(QStringLiteral("prefix_underscore.bvh")); }

QString DemoUsage()
{
    return QStringLiteral("usage: skelwright-demo [--screenshot FILE] [--user-dir DIR] [--data DIR] [SKELETON.bvh]");
}

bool ParseDemoOptions(const QStringList& arguments, DemoOptions& options, QString& error)
{
    options = DemoOptions();
    options.dataDir = DefaultDemoDataDir();
    bool skeletonGiven = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        QString* value = nullptr;
        if (argument == QLatin1String("--screenshot"))
            value = &options.screenshot;
        else if (argument == QLatin1String("--user-dir"))
            value = &options.userDir;
        else if (argument == QLatin1String("--data"))
            value = &options.dataDir;
        if (value) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                error = QStringLiteral("%1 needs a value").arg(argument);
                return false;
            }
            *value = arguments[++i];
            continue;
        }
        if (argument.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unknown option %1").arg(argument);
            return false;
        }
        if (skeletonGiven) {
            error = QStringLiteral("more than one skeleton: %1").arg(argument);
            return false;
        }
        options.skeleton = argument;
        skeletonGiven = true;
    }
    if (!skeletonGiven)
        options.skeleton = DefaultDemoSkeleton();
    return true;
}
