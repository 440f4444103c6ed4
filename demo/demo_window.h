// The demo's main window: a host application around the panel. The host's
// joint tree in the centre, the panel on the right; below the tree the log of
// the system's notifications (sharing its place with the clip folders) and the
// 3D view of the current characterization's rest pose; the overall state and
// the model's last operation in the status bar.
//
// Every menu and toolbar command goes through the hub's host commands or the
// panel's public members, the way a real host drives the component.
#ifndef SKW_DEMO_DEMO_WINDOW_H
#define SKW_DEMO_DEMO_WINDOW_H

#include "rig/vlm_handle.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QMainWindow>
#include <QSize>

#include <memory>

class CharacterTool;
class Characterization;
class CharacterizationModel;
class ClipTreeWidget;
class DemoHost;
class JointTree;
class QAction;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QStackedWidget;
class StatusLine;
class StatusText;
class VLMWidget;

class DemoWindow : public QMainWindow {
    Q_OBJECT

public:
    // The size the window opens with, unless the panel needs more.
    static QSize DefaultSize() { return QSize(1200, 760); }
    // The default size, grown to show the panel whole with its figure at its
    // own size. The window opens at this size where the screen has room for
    // it, and on a smaller screen (768 pixels high) as large as the screen
    // allows: the panel then draws its figure smaller or scrolls.
    QSize FullSize() const;

    // `dataDir` is the install data folder handed to the panel. APPDATA must
    // already name the per-user root (the panel reads it while it is built).
    explicit DemoWindow(const QString& dataDir, QWidget* parent = nullptr);
    ~DemoWindow() override;

    // Opens a BVH file as a new scene with one empty characterization
    // "Character1". A file that cannot be read changes nothing; `error` then
    // holds "file:line: reason".
    bool OpenSkeleton(const QString& path, QString* error = nullptr);

    DemoHost* Host() const { return host_.get(); }
    CharacterTool* Tool() const { return tool_; }
    CharacterizationModel* Model() const;
    JointTree* Joints() const { return joints_; }
    QPlainTextEdit* Notifications() const { return log_; }
    QComboBox* CharacterList() const { return characters_; }
    ClipTreeWidget* ClipFolders() const { return clips_; }
    VLMWidget* View3D() const { return view3d_; }
    // The status bar's two texts: the overall state, the last operation.
    QString StateText() const;
    // The state as the status bar shows it: on one line, each validation
    // message a sentence of its own (how many first when there are several);
    // `toolTip`, when given, receives the tooltip, which lists them one a
    // line.
    QString StateLine(QString* toolTip = nullptr) const;
    QString LastOperationText() const;
    // The status bar's note on the current characterization's joints: how
    // many of its used nodes have no joint name (a file opened without its
    // names) and how many of its joints the scene lacks, the first few of
    // them named; empty when there is nothing to say.
    QString MissingJointsText() const;
    // The names of the characterizations that changed since they were last
    // saved or loaded, in list order.
    QStringList UnsavedCharacterizations() const;
    // How many times the model said it changed since the window was built.
    int ModelChangeCount() const { return modelChanges_; }

    // The window as it looks now, the 3D view's frame included (a window grab
    // shows a GL view black). Without a GL context (an offscreen platform) the
    // 3D view's place says so.
    QImage Screenshot();

signals:
    // After the window has followed a change of the model.
    void ModelFollowed();

protected:
    // Closing asks first when a characterization has unsaved changes.
    void closeEvent(QCloseEvent* event) override;

private slots:
    void followModel();
    void followSelection();
    void openSkeletonFile();
    void openCharacterization();
    void saveCharacterization();
    void newCharacterization();
    void deleteCharacterization();
    void selectCharacterization(int index);
    void toggleLock();
    void toggleMirrorMode();
    void matchByName();
    void streamRoundTrip();
    void renameJoint();
    void deleteJoint();
    void bendLeftArm();
    // The status bar's last operation, whenever the model's changes.
    void showLastOperation();

private:
    void buildMenus();
    // Brings the tree marks, the status bar, the character list and the
    // actions in line with the model.
    void syncWithModel();
    // The 3D view shows the current characterization's rig character in its
    // rest pose, built anew, once Hips to Head are mapped; until then a note
    // in its place names what is missing. A character that shows for the
    // first time is framed whole; later rebuilds keep the user's camera.
    void rebuildView3d();
    QAction* addAction(QMenu* menu, const QString& text, const char* name, void (DemoWindow::*slot)());
    // After a characterization came in from a file or a stream: the host
    // gets a node of its name, so that the next character list keeps it.
    void adoptCurrentCharacterization();
    void showError(const QString& title, const QString& text);
    QString selectedJoint() const;
    // The Mirror Mode action follows the model's mode (see the definition).
    void showMirrorMode();
    // The status bar's last operation becomes `note`, until the model records
    // another operation; an empty note forgets the model's last one too.
    void noteLastOperation(const QString& note);

    // --- Unsaved changes ---
    // What a save writes of a characterization, to compare with what was
    // last saved or loaded.
    static QByteArray savedFormOf(const Characterization& characterization);
    // The characterization as it is now counts as saved.
    void rememberSaved(const Characterization* characterization);
    // Forgets the characterizations the model no longer has (all of them
    // when a new scene starts).
    void forgetRemovedCharacterizations(bool all);
    QList<Characterization*> unsavedCharacterizations() const;
    // Before what would discard the characterizations: asks "Save",
    // "Discard" or "Cancel" when some changed. Answers whether to go on:
    // after Discard, or after Save saved every changed one.
    bool confirmDiscard(const QString& title);
    bool saveEach(const QList<Characterization*>& unsaved, const QString& title);

    // --- Joints the scene lacks ---
    // How many assigned joints of the characterization the scene lacks;
    // `assigned` receives how many it has, `names` (when given) the missing
    // ones in rig node order.
    int jointsMissingFromScene(const Characterization& characterization, int* assigned,
                               QStringList* names = nullptr) const;
    void showMissingJoints();
    // After a save: it counts as saved, and the status bar names the file.
    void noteSaved(const Characterization* characterization);

    std::unique_ptr<DemoHost> host_;
    CharacterTool* tool_ = nullptr;
    JointTree* joints_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    ClipTreeWidget* clips_ = nullptr;
    QComboBox* characters_ = nullptr;
    StatusText* stateLabel_ = nullptr;
    StatusText* operationLabel_ = nullptr;
    StatusText* missingJointsLabel_ = nullptr;
    StatusLine* statusLine_ = nullptr;  // lays the three out
    QAction* saveAction_ = nullptr;
    QAction* lockAction_ = nullptr;
    QAction* mirrorAction_ = nullptr;
    QAction* matchAction_ = nullptr;
    QAction* streamAction_ = nullptr;
    QAction* renameAction_ = nullptr;
    QAction* deleteJointAction_ = nullptr;
    QAction* bendAction_ = nullptr;
    QAction* helpAction_ = nullptr;
    VLMWidget* view3d_ = nullptr;
    QStackedWidget* view3dStack_ = nullptr;  // the 3D view, or the note in its place
    QLabel* view3dNote_ = nullptr;
    // The characterization whose character the 3D view shows; null while it
    // shows none (the next one to show is framed).
    const Characterization* view3dShown_ = nullptr;
    VLMCharacterHandle restCharacter_;  // what the 3D view draws
    VLMCharacterStateHandle restState_;
    int modelChanges_ = 0;
    // What each characterization was when last saved or loaded; one that is
    // not here was made empty.
    QHash<const Characterization*, QByteArray> savedForms_;
    QString operationNote_;  // what the window's own last command did
    QString noteOver_;       // the model's last operation when the note was made
};

#endif
