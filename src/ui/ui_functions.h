// Free functions shared by the views and commands of the panel: the one modal
// message box through which every message is shown, the one answer to whether
// the current characterization may be edited, opening a path with the
// desktop's own application, picture buttons, display names of rotation orders
// and rig nodes, the recursive filling of a folder tree, and the assignment of a
// host joint to a rig node after asking the user about conflicts.
//
// The message box and the desktop opener each go through a replaceable
// function, so that a test (or a host that wants its own dialogs) can answer
// them without a modal loop or a file manager.
#ifndef SKW_UI_UI_FUNCTIONS_H
#define SKW_UI_UI_FUNCTIONS_H

#include "rig/vlm_base.h"
#include "widgets/icon_button.h"

#include <QMessageBox>
#include <QPixmap>
#include <QString>

#include <functional>

class Characterization;
class CharacterizationModel;
class QIcon;
class QPushButton;
class QTreeWidgetItem;
class QWidget;

// --- Message boxes ---

// Shows one message and answers the standard button pressed.
using MessageBoxHandler = std::function<int(QMessageBox::Icon icon, const QString& title, const QString& text,
                                            QWidget* parent, QMessageBox::StandardButtons buttons)>;

// Installs the function that ShowCenteredMessageBox hands every message to and
// answers the one installed before; an empty function restores the real box.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// A modal message box centred on `parent` (fixed size, no context help), run
// to completion; answers the button pressed. It is moved in to stay within
// the parent's window and, before that, the screen's free area. Without a
// parent the box is left where the window system puts it.
int ShowCenteredMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text, QWidget* parent,
                           QMessageBox::StandardButtons buttons);

// The warning every view shows when an edit is asked of "--- None ---", the
// characterization that stands for "none created yet" and cannot be edited.
void ShowCharacterizationNotCreated(QWidget* parent);

// Whether the user may edit `current`: not when there is none, when it is
// locked, or when it is "--- None ---". `defaultEditable` lets "--- None ---"
// be edited as any other: a view without a hub has no host that the default
// characterization would have to be registered with first.
bool MayEditCharacterization(const Characterization* current, bool defaultEditable);

// What the user asked to do to the characterization, for the words of the
// warning that it is locked.
enum class CharacterizationEdit { BoneMappings, MappingTemplate };

// Refuses an edit that MayEditCharacterization does not allow, with the
// warning that says why ("Characterization Not Created" when there is none or
// it is "--- None ---", else "Characterization Locked"); answers whether it
// refused.
bool RefuseCharacterizationEdit(QWidget* parent, const Characterization* current, bool defaultEditable,
                                CharacterizationEdit edit);

// --- The desktop ---

// Opens a file or folder with the desktop's application for it; answers
// whether the desktop took it.
using DesktopOpener = std::function<bool(const QString& path)>;

// Installs the opener and answers the one installed before; an empty function
// restores the default, QDesktopServices on the local file's URL.
DesktopOpener SetDesktopOpener(DesktopOpener opener);
bool OpenWithDesktop(const QString& path);

// --- Widgets and names ---

// "Euler XYZ" ... "Spheric XYZ"; empty for any other code.
QString RotationOrderDisplayName(VLMRotationOrder order);
// The rig node's name as shown to the user; empty for an id outside the rig.
QString NodeDisplayName(int node);
// Every "FootExtraFinger" shown as "FootBigToe".
QString NodeDisplayNameFromName(const QString& name);

// Adds below `parent` the subfolders of `folder` (recursively) and then its
// files that match `nameFilter`, each level sorted by name without regard to
// case. Folders named "*.qvm" or "*.bck", symbolic links to folders, and folders
// without a matching file anywhere below them are left out. Items carry the
// name as text and the absolute path as Qt::UserRole data; a null icon means
// no decoration.
void FillFolderTree(QTreeWidgetItem* parent, const QString& folder, const QString& nameFilter, const QIcon& folderIcon,
                    const QIcon& fileIcon);

// --- Assignment ---

// Assigns `joint` to the rig node in the current characterization, asking
// first when the node already has another joint (Yes/No) and when another node
// uses the joint (Ok/Cancel; Ok releases it there). Then the node becomes the
// edited part. In mirror mode `mirrorNode` and `mirrorJoint` receive the
// opposite node and the skeleton joint found for it (-1 when none). Answers
// whether anything was assigned: the joint the node already has, an empty
// joint or a declined question assign nothing and change nothing.
bool AssignBoneWithConfirmation(QWidget* parent, CharacterizationModel* model, int node, const QString& joint,
                                int& mirrorNode, QString& mirrorJoint, bool mirroring);

// The one road of every assignment by the user: assigns the joint and, in
// mirror mode, the mirrored joint to the opposite node (asking under the
// "Mirroring:" titles, with mirror mode off for that call and back on after
// it). After a mirrored assignment the opposite node is the edited part.
bool AssignBoneAndMirror(QWidget* parent, CharacterizationModel* model, int node, const QString& joint);

#endif
