// The folder object of the panel: the install paths handed over by the host, the
// per-user folder "<root>/Tovrand/<compact name>" with its "config", "template"
// and "clip" subfolders (filled from the install folder wherever the user has no
// file of that name), the settings and help file paths, and the compiled-in
// pictures.
#ifndef SKW_MODEL_RESOURCE_BRIDGE_H
#define SKW_MODEL_RESOURCE_BRIDGE_H

#include <QPixmap>
#include <QString>

#include <boost/filesystem/path.hpp>

// The settings version of the module, "2.0".
extern const QString SettingsVersionText;

// Host path texts to filesystem paths. Appending drops a leading "//:" from the
// text, puts a "/" between the two unless either side already provides the
// separation (an empty side, text starting with "/" or "\", a path ending in "/"
// or ":"), and turns every "\" into "/". Texts are UTF-8 on disk.
boost::filesystem::path AppendToPath(const boost::filesystem::path& base, const QString& text);
boost::filesystem::path MakePortablePath(const QString& text);
// The path's generic form as a Qt string.
QString PathToQString(const boost::filesystem::path& path);

// One compiled-in resource tree shared by every user in the process. Qt does not
// count registrations: a single unregistration removes the tree for everybody.
// So the users are counted here; the first registers the tree and the last
// unregisters it. GUI thread only.
class SharedResourceTree {
public:
    using Hook = int (*)();
    SharedResourceTree(Hook registerTree, Hook unregisterTree);
    SharedResourceTree(const SharedResourceTree&) = delete;
    SharedResourceTree& operator=(const SharedResourceTree&) = delete;

    void Acquire();
    void Release();
    int Users() const { return users_; }

private:
    Hook register_;
    Hook unregister_;
    int users_ = 0;
};

// The tree of pictures under ":/skelwright/resources/shared_pictures/".
SharedResourceTree& SharedPictureTree();

class ResourceBridge {
public:
    // `installPath` is kept only; `resourcePath` is the install data folder with
    // "config", "template", "clip" and "doc". Creates and fills the per-user
    // folders; failures to create or copy are skipped silently.
    ResourceBridge(const boost::filesystem::path& installPath, const boost::filesystem::path& resourcePath);
    ~ResourceBridge();
    ResourceBridge(const ResourceBridge&) = delete;
    ResourceBridge& operator=(const ResourceBridge&) = delete;

    boost::filesystem::path GetInstallPath() const { return installPath_; }
    boost::filesystem::path GetResourcePath() const { return resourcePath_; }
    boost::filesystem::path GetUserPath() const { return userPath_; }
    QString GetVersionText() const { return versionText_; }

    boost::filesystem::path GetSettingsFilePath() const;  // <user>/config/skelwright.xml
    boost::filesystem::path GetClipPath() const;          // <user>/clip
    boost::filesystem::path GetConfigPath() const;        // <user>/config
    boost::filesystem::path GetTemplatePath() const;      // <user>/template

    // The ".chm" file in the install folder's "doc" folder (the last by name when
    // there are several); empty when there is none.
    boost::filesystem::path GetHelpFilePath() const;

    // The compiled-in picture of that name (for example "Bones/FullBody/Hips.png");
    // a null pixmap when there is none. It reads nothing of a bridge, so it
    // needs none: the picture tree is held in use while it loads, also when
    // the last bridge is gone.
    static QPixmap LoadSharedPicture(const QString& name);

private:
    boost::filesystem::path installPath_;
    boost::filesystem::path resourcePath_;
    boost::filesystem::path userPath_;
    QString versionText_;
};

#endif
