// The command line of skelwright-demo:
//   skelwright-demo [--screenshot FILE] [--user-dir DIR] [--data DIR] [SKELETON.bvh]
#ifndef SKW_DEMO_DEMO_OPTIONS_H
#define SKW_DEMO_DEMO_OPTIONS_H

#include <QString>
#include <QStringList>

struct DemoOptions {
    QString screenshot;  // grab the window into this file and quit
    QString userDir;     // becomes APPDATA, the root of the per-user folder
    QString dataDir;     // the install data: config, template, doc, the about text
    QString skeleton;    // the BVH file opened at start
};

// The install data shipped in the source tree.
QString DefaultDemoDataDir();
// The sample opened when no skeleton is given: the one named "Character1_...".
QString DefaultDemoSkeleton();
QString DemoUsage();

// Reads the arguments (without the program name). False, with the reason, for
// an unknown option, an option without its value or a second skeleton.
bool ParseDemoOptions(const QStringList& arguments, DemoOptions& options, QString& error);

#endif
