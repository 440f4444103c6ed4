// The panel a host embeds in one of its own widgets: the tabs "Figure" (the
// figure view) and "Name Match" (the name-match list), each with a property
// view beneath it. The panel owns the folder object and the characterization
// model; the views follow the model's signals. It has no toolbar or menu of
// its own: the host connects its actions to the panel's slots or calls the
// Show<Thing> and Do<Thing> members, directly or through the hub's commands.
#ifndef SKW_UI_CHARACTER_TOOL_H
#define SKW_UI_CHARACTER_TOOL_H

#include "base/skw_export.h"

#include <QSize>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <vector>

class Characterization;
class CharacterizationModel;
class IDCCHub;
class NameMatchWidget;
class QAction;
class QPushButton;
class ResourceBridge;
class SchematicWidget;

class SKW_EXPORT CharacterTool : public QWidget {
    Q_OBJECT

public:
    // `keepOnNew` decides what New does: false replaces the current
    // characterization, true adds one beside it. The two paths are UTF-8
    // text: the first is kept only, the second is the install data folder
    // ("config", "template", "clip", "doc" and the about text).
    //
    // Without a parent the panel is an empty shell: no folder object, model
    // or views; the accessors answer null and the commands do nothing. With a
    // parent it registers itself with the hub (when there is one) and builds
    // everything. The hub may be null: the panel then works without a host
    // (no host selection, no joint check when unlocking).
    CharacterTool(bool keepOnNew, const char* path1, const char* path2, QWidget* parent, IDCCHub* hub);
    // Leaves the hub (when it still points here) before anything is torn
    // down, so that neither the host's commands nor its signals reach a
    // panel that is going away. Nothing is saved.
    ~CharacterTool() override;

    CharacterizationModel* GetModel();
    IDCCHub* GetDCCHub();
    ResourceBridge* GetBridge();
    // The current characterization; null when there is none.
    Characterization* GetCharacterization() const;
    // Takes ownership, makes the name unique, appends and selects it.
    void SetCharacterization(Characterization* characterization);
    // A characterization of that name, bound to the hub (which hears of it),
    // added and selected; nothing when one of that name exists already. This
    // is what the hub's UpdateCharacterList uses: hosts create their
    // characterizations through that list, not through New.
    void CreateCharacterization(QString name);
    // Releases every joint of the current characterization.
    void ClearCharacterization();

    // The save command; answers whether the characterization was written, so
    // that a host can tell which of its characterizations are saved.
    bool ShowSave();
    // The ".vlmc" file the last successful save wrote; empty before one.
    QString GetLastSavedFile() const;
    // The folder the panel's file dialogs start in: the one of the last file
    // saved, or what the host set (the folder of a file it opened), so that
    // the user's files are where the dialogs start; empty (the working
    // folder) until then.
    QString GetFileFolder() const;
    void SetFileFolder(const QString& folder);
    void ShowAutoMatch();
    void ShowExtractTemplate();
    void ShowConfigMirror();
    void ShowHelp();
    void ShowAbout();
    void DoToggleEditMode();
    void DoToggleMirrorMode();
    // The delete command, asking first only when `confirm` is set.
    void DoDelete(bool confirm);
    // Does nothing: the panel has no menu to add actions to.
    void AddAction(QAction* action);

    // The current characterization as the rig library's definition stream,
    // rotation limits included, big endian when asked: `stream` receives a
    // buffer from the C runtime's malloc, which the caller frees, `size` its
    // length and `boneNames` the 172 joint names. Without a current
    // characterization, or when the stream cannot be made, nothing changes.
    void GetCharacterizationStream(char*& stream, std::size_t& size, std::vector<QString>& boneNames,
                                   bool bigEndian) const;
    // Adds the characterization of a stream and its joint names, named "New
    // Characterization" (made unique), locked and selected. It is not bound
    // to the hub, so the host never hears of it. An unreadable stream adds
    // nothing; a name list that is not 172 long gives no joint names.
    void SetCharacterizationFromStream(const char* stream, std::size_t size, const std::vector<QString>& boneNames);

    static const char* GetToolName();
    static float GetToolVersion();
    static const char* GetCompactName();

    QSize sizeHint() const override;

private slots:
    void OnOpen();
    // Saves a valid (or warning) characterization as a ".vlmc" file in the
    // byte order of the chosen file type, with its ".bones.xml" companion.
    // The extension is added when the name lacks it. A name that differs from
    // an existing file only in case replaces that file. The user is asked
    // before a file the dialog did not confirm is replaced, and before a
    // companion is replaced that is not the replaced file's alone (another
    // ".vlmc" file claims it, or it has no file); told when the save failed.
    void OnSave();
    // Without keep-on-new the current characterization is removed (the host
    // is not told) and a new default one, "--- None ---", takes its place: it
    // cannot be edited. With keep-on-new a "--- None --- (1)" is added beside
    // the others, which the host never hears of either. New is therefore of
    // little use to a host; see CreateCharacterization.
    void OnNew();
    void OnMenu();
    // Asks (unless told not to), tells the host, removes the current
    // characterization and selects the first one left, or a fresh default
    // when none is left.
    void OnDelete();
    // Applies a mapping template to the host's skeleton: refused for the
    // default characterization, a locked one, and an empty host selection.
    void AutoMatch();
    // Saves the current characterization's mapping as a template in the
    // per-user "template" folder.
    void ExtractTemplate();
    // The mirror keyword dialog; the model re-reads the pairs when it is
    // accepted.
    void ConfigMirror();
    // The previous and next rig node becomes the edited part, wrapping
    // between 0 and 171.
    void OnDownArrow();
    void OnUpArrow();
    void SyncOnModel();
    void SetCharacterization(int index);
    void ToggleMirrorMode();
    // Locks a valid (or warning) characterization; unlocks a locked one after
    // asking before the joints the host skeleton no longer has are released.
    void ToggleEditMode();
    // Opens the install folder's help file with the desktop; nothing without
    // one.
    void Help();
    // Shows the install folder's about text; nothing without one.
    void About();

private:
    // The host's delete command needs to know whether anything was deleted.
    friend class IDCCHub;

    // Icon buttons for a host that wants the panel's pictures; the panel
    // itself makes none. The first argument is not used.
    QPushButton* CreateButton(QWidget* parent, const char* picture, const char* slot);
    QPushButton* CreateButton(QWidget* parent, const QString& picture, const char* slot);
    void SaveQvz(const QString& path, int format, bool withLimits);
    // Reads a ".vlmc" file, asking for its companion first (no companion
    // chosen: the one beside the file, if any); null when nothing could be
    // read. Nothing calls it.
    Characterization* LoadBinary(const QString& binaryPath, const QString& unused);

    // The delete command; answers whether a characterization was removed.
    bool deleteCurrent();
    // The save command; answers whether both files were written.
    bool saveCurrent();
    // After a successful save: the file written, and its folder for the
    // next dialog.
    void noteSaved(const QString& file);

    ResourceBridge* bridge_ = nullptr;
    IDCCHub* hub_;
    NameMatchWidget* nameMatch_ = nullptr;
    SchematicWidget* schematic_ = nullptr;
    CharacterizationModel* model_ = nullptr;
    bool keepOnNew_;
    bool confirmDelete_ = true;
    QString fileFolder_;
    QString lastSavedFile_;
};

#endif
