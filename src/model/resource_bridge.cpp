#include "model/resource_bridge.h"

#include "model/file_utils.h"
#include "base/tool_identity.h"

#include <QDir>
#include <QImageReader>
#include <QtGlobal>

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

namespace fs = boost::filesystem;

// The rcc functions of resources/skelwright.qrc (global namespace, as rcc makes them).
int qInitResources_skelwright();
int qCleanupResources_skelwright();

const QString SettingsVersionText = QStringLiteral("2.0");

namespace {

const QString kPicturePrefix = QStringLiteral(":/skelwright/resources/shared_pictures/");

// The root of the per-user folder: APPDATA when it is set, else the user's data
// folder as the XDG base directories define it.
QString PerUserRoot()
{
    const QString appData = qEnvironmentVariable("APPDATA");
    if (!appData.isEmpty())
        return appData;
    QString root = qEnvironmentVariable("XDG_DATA_HOME");
    if (root.isEmpty() || QDir::isRelativePath(root))
        root = QDir::homePath() + QStringLiteral("/.local/share");
    std::cerr << "APPDATA is not set: the per-user folder is made under " << root.toStdString() << std::endl;
    return root;
}

}  // namespace

fs::path AppendToPath(const fs::path& base, const QString& text)
{
    std::string result = base.generic_string();
    std::string tail = text.toStdString();
    if (tail.compare(0, 3, "//:") == 0)
        tail.erase(0, 3);
    if (!result.empty() && !tail.empty() && tail.front() != '/' && tail.front() != '\\' && result.back() != '/' &&
        result.back() != ':')
        result += '/';
    // UTF-8 never uses an ASCII byte inside a multi-byte character, so this
    // touches only real backslashes.
    std::replace(tail.begin(), tail.end(), '\\', '/');
    return fs::path(result + tail);
}

fs::path MakePortablePath(const QString& text) { return AppendToPath(fs::path(), text); }

QString PathToQString(const fs::path& path) { return QString::fromStdString(path.generic_string()); }

SharedResourceTree::SharedResourceTree(Hook registerTree, Hook unregisterTree)
    : register_(registerTree), unregister_(unregisterTree)
{
}

void SharedResourceTree::Acquire()
{
    if (users_++ == 0)
        register_();
}

void SharedResourceTree::Release()
{
    if (users_ > 0 && --users_ == 0)
        unregister_();
}

SharedResourceTree& SharedPictureTree()
{
    // Loading the module already registers the tree (rcc's static initialiser);
    // registering an already registered tree changes nothing.
    static SharedResourceTree tree(&qInitResources_skelwright, &qCleanupResources_skelwright);
    return tree;
}

ResourceBridge::ResourceBridge(const fs::path& installPath, const fs::path& resourcePath)
    : installPath_(installPath), resourcePath_(resourcePath), versionText_(SettingsVersionText)
{
    SharedPictureTree().Acquire();

    userPath_ = MakePortablePath(
        QStringLiteral("%1/Tovrand/%2").arg(PerUserRoot(), QString::fromUtf8(ToolIdentity::GetCompactName())));
    // The folders are made from the stored path, so that what is created and what
    // the getters answer are the same folders.
    const QString user = PathToQString(userPath_);
    const QString config = user + QStringLiteral("/config");
    const QString templates = user + QStringLiteral("/template");
    const QString clip = user + QStringLiteral("/clip");

    EnsureDirectory(user);
    EnsureDirectory(config);
    EnsureDirectory(templates);
    EnsureDirectory(clip);

    const QString xmlFiles = QStringLiteral("*.xml");
    CopyFolderRecursive(PathToQString(AppendToPath(resourcePath_, QStringLiteral("config"))), config, xmlFiles);
    CopyFolderRecursive(PathToQString(AppendToPath(resourcePath_, QStringLiteral("template"))), templates, xmlFiles);
    CopyFolderRecursive(PathToQString(AppendToPath(resourcePath_, QStringLiteral("clip"))), clip,
                        QStringLiteral("*.qvz"));
}

ResourceBridge::~ResourceBridge() { SharedPictureTree().Release(); }

fs::path ResourceBridge::GetSettingsFilePath() const
{
    return AppendToPath(GetConfigPath(), QStringLiteral("skelwright.xml"));
}

fs::path ResourceBridge::GetClipPath() const { return AppendToPath(userPath_, QStringLiteral("clip")); }

fs::path ResourceBridge::GetConfigPath() const { return AppendToPath(userPath_, QStringLiteral("config")); }

fs::path ResourceBridge::GetTemplatePath() const { return AppendToPath(userPath_, QStringLiteral("template")); }

fs::path ResourceBridge::GetHelpFilePath() const
{
    const fs::path doc = AppendToPath(resourcePath_, QStringLiteral("doc"));
    std::vector<std::string> found;
    boost::system::error_code error;
    for (fs::directory_iterator it(doc, error), end; !error && it != end; it.increment(error)) {
        boost::system::error_code statusError;
        if (!fs::is_regular_file(it->status(statusError)))
            continue;
        const std::string name = it->path().filename().string();
        const std::string::size_type dot = name.rfind('.');
        if (dot != std::string::npos && name.compare(dot, std::string::npos, ".chm") == 0)
            found.push_back(it->path().generic_string());
    }
    // Directory order differs between file systems; the last name in byte order
    // keeps the choice the same everywhere.
    if (found.empty())
        return fs::path();
    return fs::path(*std::max_element(found.begin(), found.end()));
}

QPixmap ResourceBridge::LoadSharedPicture(const QString& name)
{
    SharedPictureTree().Acquire();
    // Through an image reader, not QPixmap's file constructor: that one looks
    // the resource up again for a process-wide cache key on every call, which
    // costs more than decoding these small pictures, whose data the reader
    // takes in place from the compiled-in tree.
    QImageReader reader(kPicturePrefix + name);
    const QPixmap picture = QPixmap::fromImageReader(&reader);
    SharedPictureTree().Release();
    return picture;
}
