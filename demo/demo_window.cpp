#include "demo_window.h"

#include "demo_host.h"
#include "joint_tree.h"

#include "model/characterization.h"
#include "model/characterization_files.h"
#include "model/characterization_model.h"
#include "model/name_matching.h"
#include "model/resource_bridge.h"
#include "rig/vlm_names.h"
#include "ui/character_tool.h"
#include "ui/clip_tree_widget.h"
#include "ui/ui_functions.h"
#include "rig/solver/vlm_node_state.h"
#include "rig/solver/vlm_state.h"
#include "rig/vlm_access.h"
#include "rig/vlm_character.h"
#include "view3d/vlm_gl_widget.h"
#include "view3d/vlm_widget.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDataStream>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QPainter>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// How many of the joints the scene lacks the status bar names.
const int kMissingJointsNamed = 3;

// How far Bend Left Arm lowers the hand: enough to tilt the arm well past the
// few degrees the validation allows.
const float kBendCentimetres = 5.0f;

// The state in the status bar in the colours of the figure's status light.
QString stateStyle(IDCCHub::CharacterizationState state)
{
    switch (state) {
    case IDCCHub::CharacterizationValid: return QStringLiteral("QLabel { color: #1b7f2a; font-weight: bold; }");
    case IDCCHub::CharacterizationWarning: return QStringLiteral("QLabel { color: #a86500; font-weight: bold; }");
    case IDCCHub::CharacterizationError: return QStringLiteral("QLabel { color: #b3261e; font-weight: bold; }");
    case IDCCHub::CharacterizationNotSet: break;
    }
    return QString();
}

// The room a window has on its screen inside its frame: the screen less its
// panels and task bars, less a title bar.
QSize ScreenRoom(const QWidget* window)
{
    const QScreen* screen = window->screen();
    if (!screen)
        return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const int titleBar = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    return screen->availableGeometry().size() - QSize(0, titleBar);
}

// The validation messages of a status, one a line in the model's text, each
// made a sentence: some end with a full stop and some do not, and run
// together on one line they read as one ("...right foot thumb One or
// more...").
QStringList validationSentences(const std::string& message)
{
    QStringList sentences;
    for (QString line : QString::fromStdString(message).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        const QChar last = line.back();
        if (last != QLatin1Char('.') && last != QLatin1Char('!') && last != QLatin1Char('?'))
            line += QLatin1Char('.');
        sentences << line;
    }
    return sentences;
}

void* allocate(std::uint64_t size) { return std::malloc(size); }

QDockWidget* makeDock(const QString& title, const char* name, QWidget* content, QMainWindow* window)
{
    auto* dock = new QDockWidget(title, window);
    dock->setObjectName(QLatin1String(name));
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    content->setParent(dock);
    dock->setWidget(content);
    return dock;
}

}  // namespace

// A status bar text on one line, cut with "..." where the bar is too narrow;
// the whole text is its tooltip. A plain label is as tall as its lines and as
// wide as its longest one: a validation message of two lines made the status
// bar, and the window, grow, and a window never shrinks back by itself.
class StatusText : public QLabel {
public:
    explicit StatusText(const char* name, QWidget* parent = nullptr) : QLabel(parent)
    {
        setObjectName(QLatin1String(name));
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    }

    // The lines of `text` joined by spaces.
    void SetStatusText(const QString& text)
    {
        QString line = text;
        line.replace(QLatin1Char('\n'), QLatin1Char(' '));
        SetStatusText(line, text);
    }
    // `line` shown, `toolTip` the tooltip.
    void SetStatusText(const QString& line, const QString& toolTip)
    {
        setText(line);
        setToolTip(toolTip);
    }

    QSize sizeHint() const override
    {
        // Rounded up: a text given exactly its rounded advance can still be
        // cut by the eliding, which measures it unrounded.
        const int width = int(std::ceil(QFontMetricsF(font()).horizontalAdvance(text()))) + 1;
        const QMargins m = contentsMargins();
        return QSize(width + m.left() + m.right() + 2 * margin(),
                     fontMetrics().height() + m.top() + m.bottom() + 2 * margin());
    }
    QSize minimumSizeHint() const override { return QSize(0, sizeHint().height()); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
        style()->drawItemText(&painter, area, int(Qt::AlignLeft | Qt::AlignVCenter), palette(), isEnabled(), shown,
                              foregroundRole());
    }
};

// The status bar's line: the state, the last operation and the note on the
// joints the scene lacks. Laid out here rather than by the status bar, whose
// layout gives every text its share and so cut the state and the last
// operation for a long note. The state always shows whole; the last
// operation takes what it needs of the rest, the note, right-aligned, what is
// left. Too narrow for both, the note keeps what says how many joints are
// missing ("4 of 91 joints not in this scene...") while the last operation
// keeps at least half; the whole note is its tooltip.
class StatusLine : public QWidget {
public:
    StatusLine(StatusText* state, StatusText* operation, StatusText* note)
        : state_(state), operation_(operation), note_(note)
    {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        for (QWidget* text : {state_, operation_, note_})
            text->setParent(this);
    }

    QSize sizeHint() const override
    {
        int width = 0;
        int height = 0;
        for (const QWidget* text : {state_, operation_, note_}) {
            width += text->isHidden() ? 0 : text->sizeHint().width();
            height = std::max(height, text->sizeHint().height());
        }
        return QSize(width, height);
    }
    QSize minimumSizeHint() const override { return QSize(0, sizeHint().height()); }

    void Relayout()
    {
        const int width = this->width();
        const int height = this->height();
        const int stateWidth = std::min(state_->sizeHint().width(), width);
        const int rest = width - stateWidth;
        int noteWidth = 0;
        if (!note_->isHidden()) {
            const int noteHint = note_->sizeHint().width();
            noteWidth = std::clamp(rest - operation_->sizeHint().width(), 0, noteHint);
            const QMargins m = note_->contentsMargins();
            const int count =
                note_->fontMetrics().horizontalAdvance(note_->text().section(QLatin1Char(':'), 0, 0) + QChar(0x2026)) +
                m.left() + m.right() + 1;
            noteWidth = std::max(noteWidth, std::min({count, noteHint, rest / 2}));
        }
        state_->setGeometry(0, 0, stateWidth, height);
        operation_->setGeometry(stateWidth, 0, rest - noteWidth, height);
        note_->setGeometry(width - noteWidth, 0, noteWidth, height);
    }

protected:
    void resizeEvent(QResizeEvent*) override { Relayout(); }

private:
    StatusText* state_;
    StatusText* operation_;
    StatusText* note_;
};

DemoWindow::DemoWindow(const QString& dataDir, QWidget* parent) : QMainWindow(parent), host_(new DemoHost)
{
    setWindowTitle(tr("Skelwright Demo"));

    joints_ = new JointTree(host_.get(), this);
    setCentralWidget(joints_);

    // The log comes first, so that it hears everything the panel says while
    // it is being built.
    log_ = new QPlainTextEdit;
    log_->setReadOnly(true);
    log_->setMaximumBlockCount(10000);
    log_->setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(host_.get(), &DemoHost::Notified, log_, [this](const QString& line) {
        log_->appendPlainText(line);
        // The view follows the start of the new line, not its end.
        QTextCursor cursor = log_->textCursor();
        cursor.movePosition(QTextCursor::End);
        cursor.movePosition(QTextCursor::StartOfBlock);
        log_->setTextCursor(cursor);
    });
    QDockWidget* logDock = makeDock(tr("Notifications"), "notificationsDock", log_, this);

    auto* panelDock = new QDockWidget(QString::fromLatin1(CharacterTool::GetToolName()), this);
    panelDock->setObjectName(QStringLiteral("panelDock"));
    panelDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    const QByteArray installPath = QFile::encodeName(QCoreApplication::applicationDirPath());
    const QByteArray dataPath = QFile::encodeName(dataDir);
    tool_ = new CharacterTool(true, installPath.constData(), dataPath.constData(), panelDock, host_.get());
    panelDock->setWidget(tool_);

    clips_ = new ClipTreeWidget(style()->standardIcon(QStyle::SP_DirIcon), style()->standardIcon(QStyle::SP_FileIcon),
                                tool_->GetBridge(), nullptr);
    QDockWidget* clipDock = makeDock(tr("Clip Folders"), "clipFoldersDock", clips_, this);

    view3d_ = new VLMWidget(tr("Rest pose"), host_.get(), Model());
    view3d_->setMinimumSize(200, 200);
    view3dNote_ = new QLabel;
    view3dNote_->setObjectName(QStringLiteral("view3dNote"));
    view3dNote_->setAlignment(Qt::AlignCenter);
    view3dNote_->setWordWrap(true);  // one line unless the dock is made very narrow
    view3dNote_->setMargin(8);
    view3dStack_ = new QStackedWidget;
    view3dStack_->addWidget(view3d_);
    view3dStack_->addWidget(view3dNote_);
    QDockWidget* viewDock = makeDock(tr("3D View"), "view3dDock", view3dStack_, this);

    // The panel takes the whole right side; the log and the clip folders
    // share the space under the tree.
    setCorner(Qt::TopRightCorner, Qt::RightDockWidgetArea);
    setCorner(Qt::BottomRightCorner, Qt::RightDockWidgetArea);
    addDockWidget(Qt::RightDockWidgetArea, panelDock);
    addDockWidget(Qt::BottomDockWidgetArea, logDock);
    splitDockWidget(logDock, viewDock, Qt::Horizontal);
    tabifyDockWidget(logDock, clipDock);
    logDock->raise();

    stateLabel_ = new StatusText("stateLabel");
    operationLabel_ = new StatusText("operationLabel");
    stateLabel_->setContentsMargins(4, 0, 12, 0);
    missingJointsLabel_ = new StatusText("missingJointsLabel");
    missingJointsLabel_->setContentsMargins(12, 0, 4, 0);
    missingJointsLabel_->setStyleSheet(stateStyle(IDCCHub::CharacterizationWarning));
    missingJointsLabel_->hide();
    statusLine_ = new StatusLine(stateLabel_, operationLabel_, missingJointsLabel_);
    statusBar()->addWidget(statusLine_, 1);

    buildMenus();

    connect(Model(), &CharacterizationModel::ModelChanged, this, &DemoWindow::followModel);
    // Not every operation validates: a refused or saved template changes
    // only the last operation, and the bar must not wait for the next
    // validation to say so.
    connect(Model(), SIGNAL(LastOperationChanged()), this, SLOT(showLastOperation()));
    connect(host_.get(), &IDCCHub::selectionChanged, this, &DemoWindow::followSelection);

    resize(FullSize().boundedTo(ScreenRoom(this)));
    resizeDocks({logDock, viewDock}, {260, 260}, Qt::Vertical);
    resizeDocks({logDock, viewDock}, {330, 250}, Qt::Horizontal);
    syncWithModel();
    showMirrorMode();
    followSelection();
}

QSize DemoWindow::FullSize() const { return DefaultSize().expandedTo(sizeHint()).expandedTo(minimumSizeHint()); }

DemoWindow::~DemoWindow()
{
    // The 3D view borrows the panel's model and draws the character held
    // here: it goes first. The hub must outlive the panel: the panel goes
    // next, while the host (a member) is still there to hear its
    // characterizations unregister.
    delete view3d_;
    view3d_ = nullptr;
    delete tool_;
    tool_ = nullptr;
}

CharacterizationModel* DemoWindow::Model() const { return tool_ ? tool_->GetModel() : nullptr; }

// --- Menus and toolbar ---

QAction* DemoWindow::addAction(QMenu* menu, const QString& text, const char* name, void (DemoWindow::*slot)())
{
    QAction* action = menu->addAction(text);
    action->setObjectName(QLatin1String(name));
    connect(action, &QAction::triggered, this, slot);
    return action;
}

void DemoWindow::buildMenus()
{
    IDCCHub* hub = host_.get();

    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* openSkeleton = addAction(file, tr("Open Skeleton..."), "openSkeleton", &DemoWindow::openSkeletonFile);
    openSkeleton->setShortcut(QKeySequence::Open);
    QMenu* samples = file->addMenu(tr("Open Sample"));
    samples->setObjectName(QStringLiteral("openSample"));
    for (const QString& sample : StandInHost::SampleFiles()) {
        QAction* action = samples->addAction(sample);
        connect(action, &QAction::triggered, this, [this, sample] {
            if (!confirmDiscard(tr("Open Sample")))
                return;
            QString error;
            if (!OpenSkeleton(StandInHost::SamplePath(sample), &error))
                showError(tr("Open Sample"), error);
        });
    }
    file->addSeparator();
    addAction(file, tr("Open Characterization..."), "openCharacterization", &DemoWindow::openCharacterization);
    saveAction_ =
        addAction(file, tr("Save Characterization..."), "saveCharacterization", &DemoWindow::saveCharacterization);
    saveAction_->setShortcut(QKeySequence::Save);
    file->addSeparator();
    QAction* quit = file->addAction(tr("Quit"), this, &QWidget::close);
    quit->setObjectName(QStringLiteral("quit"));
    quit->setShortcut(QKeySequence::Quit);

    QMenu* characterization = menuBar()->addMenu(tr("&Characterization"));
    QAction* create = addAction(characterization, tr("New"), "newCharacterization", &DemoWindow::newCharacterization);
    QAction* remove =
        addAction(characterization, tr("Delete"), "deleteCharacterization", &DemoWindow::deleteCharacterization);
    characterization->addSeparator();
    lockAction_ = addAction(characterization, tr("Lock"), "lock", &DemoWindow::toggleLock);
    lockAction_->setCheckable(true);
    mirrorAction_ = addAction(characterization, tr("Mirror Mode"), "mirrorMode", &DemoWindow::toggleMirrorMode);
    mirrorAction_->setCheckable(true);
    characterization->addSeparator();
    matchAction_ = addAction(characterization, tr("Match Selected by Name"), "matchByName", &DemoWindow::matchByName);
    QAction* apply = characterization->addAction(tr("Apply Template..."), hub, &IDCCHub::ShowMapBones);
    apply->setObjectName(QStringLiteral("applyTemplate"));
    QAction* extract =
        characterization->addAction(tr("Extract Template..."), hub, &IDCCHub::ShowExtractMappingTemplate);
    extract->setObjectName(QStringLiteral("extractTemplate"));
    QAction* mirrorSetup =
        characterization->addAction(tr("Mirror Configuration..."), hub, &IDCCHub::ShowConfigureMirrorMatching);
    mirrorSetup->setObjectName(QStringLiteral("mirrorConfiguration"));
    characterization->addSeparator();
    streamAction_ =
        addAction(characterization, tr("Stream Round Trip"), "streamRoundTrip", &DemoWindow::streamRoundTrip);

    QMenu* scene = menuBar()->addMenu(tr("&Scene"));
    renameAction_ = addAction(scene, tr("Rename Joint..."), "renameJoint", &DemoWindow::renameJoint);
    deleteJointAction_ = addAction(scene, tr("Delete Joint"), "deleteJoint", &DemoWindow::deleteJoint);
    scene->addSeparator();
    bendAction_ = addAction(scene, tr("Bend Left Arm"), "bendLeftArm", &DemoWindow::bendLeftArm);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    helpAction_ = help->addAction(tr("Help"), hub, &IDCCHub::ShowHelp);
    helpAction_->setObjectName(QStringLiteral("help"));
    helpAction_->setEnabled(!tool_->GetBridge()->GetHelpFilePath().empty());
    QAction* about = help->addAction(tr("About"), hub, &IDCCHub::ShowAbout);
    about->setObjectName(QStringLiteral("about"));

    QToolBar* bar = addToolBar(tr("Characterization"));
    bar->setObjectName(QStringLiteral("characterizationBar"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto* label = new QLabel(tr("Characterization: "));
    label->setContentsMargins(6, 0, 0, 0);
    bar->addWidget(label);
    characters_ = new QComboBox;
    characters_->setObjectName(QStringLiteral("characterList"));
    characters_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    characters_->setMinimumContentsLength(18);
    connect(characters_, QOverload<int>::of(&QComboBox::activated), this, &DemoWindow::selectCharacterization);
    bar->addWidget(characters_);
    bar->addAction(create);
    bar->addAction(remove);
    bar->addSeparator();
    bar->addAction(lockAction_);
    bar->addAction(mirrorAction_);
    bar->addSeparator();
    bar->addAction(apply);
    bar->addAction(saveAction_);
}

// --- Following the model and the host ---

void DemoWindow::followModel()
{
    ++modelChanges_;
    forgetRemovedCharacterizations(false);
    syncWithModel();
    rebuildView3d();
    emit ModelFollowed();
}

void DemoWindow::rebuildView3d()
{
    VLMGlWidget* gl = view3d_->GetGlWidget();
    const Characterization* current = Model() ? Model()->GetCurrentCharacterization() : nullptr;
    QStringList missing;
    for (int node = VLM_NODE_HIPS; node <= VLM_NODE_HEAD; ++node) {
        if (!current || !current->IsNodeAssigned(node))
            missing << QString::fromLatin1(VLMGetNodeName(node));
    }
    const auto showNote = [&](const QString& text, const QString& toolTip) {
        gl->ClearCharacter();
        restState_.reset();
        restCharacter_.reset();
        view3dShown_ = nullptr;
        view3dNote_->setText(text);
        view3dNote_->setToolTip(toolTip);
        view3dStack_->setCurrentWidget(view3dNote_);
    };
    // Drawn before Hips to Head are all mapped, the figure keeps an unmapped
    // one at the origin beside the mapped ones, and the joint sizes and the
    // framing taken from it make a sphere that fills the view. The note says
    // what to map instead.
    if (!missing.isEmpty()) {
        const QString text =
            missing.size() == 1 ? tr("Map %1 to see the character.").arg(missing.first())
            : missing.size() == 2
                ? tr("Map %1 and %2 to see the character.").arg(missing.first(), missing.last())
                : tr("Map %1 and %2 more to see the character.").arg(missing.first()).arg(missing.size() - 1);
        showNote(text, tr("Required nodes not mapped: %1").arg(missing.join(QStringLiteral(", "))));
        return;
    }
    // A copy builds the character: the model's own characterization stays as
    // it is, and the host is not asked anything.
    Characterization copy(*current);
    VLMCharacterDefinition words;
    VLMCharacterHandle character =
        VLMAdopt<VLMCharacterHandle>(copy.CreateSdkCharacter(words, true, &allocate, nullptr));
    VLMCharacterStateHandle state;
    if (character)
        state = VLMAdopt<VLMCharacterStateHandle>(VLMCreateCharacterState(character.get(), &allocate));
    if (!state) {
        showNote(tr("The character could not be built."), QString());
        return;
    }
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        if (VLMGetNodeDefinitionBits(character.get(), node) == 0)
            continue;
        float matrix[16];
        VLMGetNodeTPoseMatrix(character.get(), node, matrix);
        VLMWriteNodeStateMatrix(character.get(), state.get(), node, matrix);
    }
    // The view lets go of the old character before it is freed.
    if (current != view3dShown_)
        gl->SetCharacter(this, character.get(), state.get());
    else
        gl->ReplaceCharacter(this, character.get(), state.get());
    view3dShown_ = current;
    view3dStack_->setCurrentWidget(view3d_);
    restState_ = std::move(state);
    restCharacter_ = std::move(character);
}

void DemoWindow::syncWithModel()
{
    CharacterizationModel* model = Model();
    if (!model)
        return;
    const Characterization* current = model->GetCurrentCharacterization();
    joints_->ShowAssignments(current);
    QString stateTip;
    const QString stateLine = StateLine(&stateTip);
    stateLabel_->SetStatusText(stateLine, stateTip);
    stateLabel_->setStyleSheet(stateStyle(host_->CurrentCharacterizationState(false)));
    showLastOperation();
    showMissingJoints();

    QStringList names;
    host_->GetCharacterList(names);
    int currentIndex = -1;
    for (int i = 0; i < model->CharacterizationCount(); ++i) {
        if (model->CharacterizationAt(i) == current)
            currentIndex = i;
    }
    characters_->clear();
    characters_->addItems(names);
    characters_->setCurrentIndex(currentIndex);

    const bool locked = host_->IsLocked();
    lockAction_->setChecked(locked);
    // The model's name matching looks at neither the lock nor the default
    // characterization, so the window does.
    matchAction_->setEnabled(MayEditCharacterization(current, /*defaultEditable=*/false));
    saveAction_->setEnabled(current && model->GetStatus().IsOkOrWarning());
    streamAction_->setEnabled(current != nullptr);
    QString hand;
    host_->GetNodeAssignedToCharacterBone(host_->GetCurrentCharacterNodeName(), VLM_NODE_LEFT_HAND, hand);
    bendAction_->setEnabled(host_->HasNode(hand));
}

void DemoWindow::followSelection()
{
    const bool one = host_->GetSelectedNodes().size() == 1;
    renameAction_->setEnabled(one);
    deleteJointAction_->setEnabled(one);
}

QString DemoWindow::StateText() const
{
    const CharacterizationModel* model = Model();
    const QString message = model ? QString::fromStdString(model->GetStatus().message) : QString();
    const QString detail = message.isEmpty() ? QString() : QStringLiteral(": ") + message;
    switch (host_->CurrentCharacterizationState(false)) {
    case IDCCHub::CharacterizationValid: return tr("Valid");
    case IDCCHub::CharacterizationWarning: return tr("Warning") + detail;
    case IDCCHub::CharacterizationError: return tr("Error") + detail;
    case IDCCHub::CharacterizationNotSet: break;
    }
    return tr("Not set");
}

QString DemoWindow::StateLine(QString* toolTip) const
{
    const CharacterizationModel* model = Model();
    const QStringList sentences = model ? validationSentences(model->GetStatus().message) : QStringList();
    QString head;
    switch (host_->CurrentCharacterizationState(false)) {
    case IDCCHub::CharacterizationWarning: head = tr("Warning"); break;
    case IDCCHub::CharacterizationError: head = tr("Error"); break;
    case IDCCHub::CharacterizationValid:
    case IDCCHub::CharacterizationNotSet: break;
    }
    if (head.isEmpty() || sentences.isEmpty()) {
        const QString line = head.isEmpty() ? StateText() : head;
        if (toolTip)
            *toolTip = line;
        return line;
    }
    if (sentences.size() == 1) {
        const QString line = head + QStringLiteral(": ") + sentences.first();
        if (toolTip)
            *toolTip = line;
        return line;
    }
    // Several: how many first, as the line may be cut before the last; the
    // tooltip lists them one a line.
    head = tr("%1 (%2)").arg(head).arg(sentences.size());
    if (toolTip)
        *toolTip = head + QStringLiteral(":\n\u2022 ") + sentences.join(QStringLiteral("\n\u2022 "));
    return head + QStringLiteral(": ") + sentences.join(QLatin1Char(' '));
}

void DemoWindow::showLastOperation()
{
    if (operationLabel_) {
        operationLabel_->SetStatusText(tr("Last operation: %1").arg(LastOperationText()));
        if (statusLine_)
            statusLine_->Relayout();
    }
}

QString DemoWindow::LastOperationText() const
{
    const CharacterizationModel* model = Model();
    if (!model)
        return QString();
    if (!operationNote_.isEmpty() && model->GetLastOperationMessage() == noteOver_)
        return operationNote_;
    return model->GetLastOperationMessage();
}

void DemoWindow::noteLastOperation(const QString& note)
{
    // Cleared first, the model's text changes with its very next operation,
    // whatever that is, and the note gives way to it.
    Model()->ClearLastOperation();
    operationNote_ = note;
    noteOver_ = Model()->GetLastOperationMessage();
    syncWithModel();
}

QImage DemoWindow::Screenshot()
{
    // The picture shows what the user sees once the event loop has run: a
    // status text that changed a moment ago still waits for its layout.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QImage picture = grab().toImage();
    VLMGlWidget* gl = view3d_->GetGlWidget();
    if (!gl->isVisible())
        return picture;
    const QRect place(gl->mapTo(this, QPoint(0, 0)), gl->size());
    const QImage frame = gl->GrabFrame();
    QPainter painter(&picture);
    if (!frame.isNull()) {
        painter.drawImage(place.topLeft(), frame);
        return picture;
    }
    painter.fillRect(place, palette().color(QPalette::Window));
    painter.drawText(place, Qt::AlignCenter | Qt::TextWordWrap, tr("The 3D view needs a display with OpenGL."));
    return picture;
}

// --- Scene ---

bool DemoWindow::OpenSkeleton(const QString& path, QString* error)
{
    BvhSkeleton skeleton;
    BvhError failure;
    if (!ReadBvhFile(QFile::encodeName(path).toStdString(), skeleton, failure)) {
        if (error)
            *error = QString::fromStdString(failure.Message());
        return false;
    }
    // A skeleton the host cannot take is refused before anything is dropped.
    if (!StandInHost().LoadSkeleton(skeleton)) {
        if (error)
            *error = path + tr(": inconsistent hierarchy");
        return false;
    }

    // A new scene starts over: no characterization node of the old one stays.
    forgetRemovedCharacterizations(true);
    host_->ClearCharacters();
    host_->UpdateCharacterList(QStringList());
    host_->LoadSkeleton(skeleton);
    joints_->Rebuild();
    // Another skeleton: the tree starts at its root, not where the old one
    // was scrolled to.
    joints_->scrollToTop();
    host_->SetSelection(QStringList());
    const QString name = host_->NextCharacterName();
    host_->AddCharacter(name);
    host_->UpdateCharacterList(host_->Characters());
    host_->SetCurrentCharacter(name);
    setWindowTitle(tr("%1 - Skelwright Demo").arg(QFileInfo(path).fileName()));
    // What was done to the previous skeleton says nothing about this one.
    noteLastOperation(QString());
    return true;
}

void DemoWindow::openSkeletonFile()
{
    QFileDialog dialog(this, tr("Open Skeleton"), tool_->GetFileFolder(), tr("BVH files (*.bvh);;All files (*)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!dialog.exec() || dialog.selectedFiles().isEmpty())
        return;
    // The panel's save dialog starts there too.
    tool_->SetFileFolder(QFileInfo(dialog.selectedFiles().first()).absolutePath());
    if (!confirmDiscard(tr("Open Skeleton")))
        return;
    QString error;
    if (!OpenSkeleton(dialog.selectedFiles().first(), &error))
        showError(tr("Open Skeleton"), error);
}

QString DemoWindow::selectedJoint() const
{
    const QStringList& selected = host_->GetSelectedNodes();
    return selected.size() == 1 ? selected.first() : QString();
}

void DemoWindow::renameJoint()
{
    const QString joint = selectedJoint();
    if (joint.isEmpty())
        return;
    bool ok = false;
    const QString name = QInputDialog::getText(this, tr("Rename Joint"), tr("New name of \"%1\":").arg(joint),
                                               QLineEdit::Normal, joint, &ok)
                             .trimmed();
    if (!ok || name == joint)
        return;
    if (!host_->RenameJoint(joint, name)) {
        showError(tr("Rename Joint"), name.isEmpty() ? tr("A joint needs a name.")
                                                     : tr("The scene already has a joint named \"%1\".").arg(name));
        return;
    }
    joints_->Rebuild();
    noteLastOperation(tr("Renamed joint \"%1\" to \"%2\".").arg(joint, name));
}

void DemoWindow::deleteJoint()
{
    const QString joint = selectedJoint();
    if (joint.isEmpty() || !host_->RemoveJoint(joint))
        return;
    joints_->Rebuild();
    // Over the model's "Unregistered node: ..." when the joint held a node:
    // the note says as much and names the command.
    noteLastOperation(tr("Deleted joint \"%1\".").arg(joint));
    followSelection();
}

void DemoWindow::bendLeftArm()
{
    QString hand;
    if (!host_->GetNodeAssignedToCharacterBone(host_->GetCurrentCharacterNodeName(), VLM_NODE_LEFT_HAND, hand))
        return;
    // The host changes its scene and says nothing: the panel's poll notices.
    if (host_->MoveJoint(hand, 0.0f, -kBendCentimetres, 0.0f))
        noteLastOperation(tr("Bent the left arm: \"%1\" lowered by %2 cm.").arg(hand).arg(double(kBendCentimetres)));
}

// --- Characterizations ---

// The window's own commands name themselves in the status bar once done (the
// model records no operation for most of them); one that was cancelled or
// refused leaves the bar as it was, its box having said why.
void DemoWindow::newCharacterization()
{
    const QString name = host_->NextCharacterName();
    host_->AddCharacter(name);
    host_->UpdateCharacterList(host_->Characters());
    noteLastOperation(tr("Created \"%1\".").arg(name));
}

void DemoWindow::deleteCharacterization()
{
    const Characterization* current = Model()->GetCurrentCharacterization();
    const QString name = current ? current->GetName() : QString();
    const int nodes = host_->Characters().size();
    host_->DeleteCurrentCharacter();
    // The host drops its node only when the user said yes.
    if (host_->Characters().size() < nodes)
        noteLastOperation(tr("Deleted characterization \"%1\".").arg(name));
}

void DemoWindow::selectCharacterization(int index)
{
    if (index >= 0)
        host_->SetCurrentCharacter(characters_->itemText(index));
}

void DemoWindow::toggleLock()
{
    const Characterization* current = Model()->GetCurrentCharacterization();
    const QString name = current ? current->GetName() : QString();
    const bool locked = host_->IsLocked();
    const QString before = Model()->GetLastOperationMessage();
    host_->Lock(true);
    // An unlock that cleared the nodes whose joints the scene lacks (after
    // asking) leaves the model's own text, which names the node released.
    if (!current || host_->IsLocked() == locked || Model()->GetLastOperationMessage() != before) {
        syncWithModel();
        return;
    }
    noteLastOperation(locked ? tr("Unlocked \"%1\".").arg(name) : tr("Locked \"%1\".").arg(name));
}

void DemoWindow::toggleMirrorMode()
{
    host_->MirrorMatching();
    noteLastOperation(host_->IsMirrorToggle() ? tr("Mirror mode on.") : tr("Mirror mode off."));
    showMirrorMode();
}

void DemoWindow::showMirrorMode()
{
    // Read only here, after the host's own command and at start, never when
    // the model says it changed: while the panel assigns a mirrored joint it
    // switches mirror mode off for that call, and the model changes in that
    // time. Nothing else changes the mode.
    mirrorAction_->setChecked(host_->IsMirrorToggle());
}

void DemoWindow::matchByName()
{
    const QStringList selected = host_->GetSelectedNodes();
    Model()->AutoMatch();
    if (selected.isEmpty()) {
        noteLastOperation(tr("No joint selected."));
        return;
    }
    // A joint counts when it now holds the rig node its name ends with.
    int matched = 0;
    for (const QString& joint : selected) {
        const int node = RigNodeEndingName(joint);
        matched += node >= 0 && Model()->GetNodeHostName(node) == joint;
    }
    noteLastOperation(tr("Matched %1 of %2 selected joints.").arg(matched).arg(selected.size()));
}

void DemoWindow::adoptCurrentCharacterization()
{
    const Characterization* current = Model()->GetCurrentCharacterization();
    if (current && current->GetName() != IDCCHub::GetDefaultCharacterNodeName())
        host_->AddCharacter(current->GetName());
    syncWithModel();
}

void DemoWindow::openCharacterization()
{
    QFileDialog dialog(this, tr("Open Characterization"), tool_->GetFileFolder(),
                       tr("Characterization (*%1)").arg(QLatin1String(kBinaryExtension)));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!dialog.exec() || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    tool_->SetFileFolder(QFileInfo(path).absolutePath());
    QString message;
    std::unique_ptr<Characterization> characterization = LoadCharacterizationBinary(path, QString(), &message);
    if (!characterization) {
        showError(tr("Open Characterization"),
                  message.isEmpty() ? tr("%1 holds no characterization.").arg(path) : message);
        return;
    }
    // Locked like a characterization that came as a stream: it was made
    // elsewhere, and its joints need not be in this scene.
    characterization->SetLocked(true);
    const Characterization* opened = characterization.get();
    tool_->SetCharacterization(characterization.release());
    rememberSaved(opened);
    adoptCurrentCharacterization();
    // What was done before says nothing about this one.
    const QString fileName = QFileInfo(path).fileName();
    noteLastOperation(opened->CountUnnamedAssignedNodes() > 0 ? tr("Opened %1 without joint names.").arg(fileName)
                                                              : tr("Opened %1.").arg(fileName));
    // Made for another skeleton, it would show valid with joints the scene
    // does not have: the user hears how many before working with it.
    int assigned = 0;
    const int missing = jointsMissingFromScene(*opened, &assigned);
    if (missing > 0) {
        const QString lack = (missing == 1 ? tr("\"%1\" was made for another skeleton: %2 of its %3 joints is not in "
                                                "this scene.\nIt stays locked; unlocking it asks before it releases it.")
                                           : tr("\"%1\" was made for another skeleton: %2 of its %3 joints are not in "
                                                "this scene.\nIt stays locked; unlocking it asks before it releases "
                                                "them."))
                                 .arg(opened->GetName())
                                 .arg(missing)
                                 .arg(assigned);
        message = message.isEmpty() ? lack : message + QStringLiteral("\n\n") + lack;
    }
    if (!message.isEmpty())
        showError(tr("Open Characterization"), message);
}

void DemoWindow::saveCharacterization()
{
    const Characterization* current = Model()->GetCurrentCharacterization();
    if (tool_->ShowSave())
        noteSaved(current);
}

void DemoWindow::noteSaved(const Characterization* characterization)
{
    rememberSaved(characterization);
    noteLastOperation(tr("Saved %1.").arg(QFileInfo(tool_->GetLastSavedFile()).fileName()));
}

// What a host does to keep a characterization in its scene and give it back:
// the stream out, the same stream in as a new characterization, the buffer
// freed by the host.
void DemoWindow::streamRoundTrip()
{
    char* stream = nullptr;
    std::size_t size = 0;
    std::vector<QString> names;
    tool_->GetCharacterizationStream(stream, size, names, false);
    if (!stream) {
        showError(tr("Stream Round Trip"), tr("The current characterization could not be written as a stream."));
        return;
    }
    const int before = Model()->CharacterizationCount();
    tool_->SetCharacterizationFromStream(stream, size, names);
    std::free(stream);
    if (Model()->CharacterizationCount() == before) {
        showError(tr("Stream Round Trip"), tr("The stream could not be read back."));
        return;
    }
    const Characterization* back = Model()->GetCurrentCharacterization();
    rememberSaved(back);
    adoptCurrentCharacterization();
    // Adding a characterization records no operation of the model's: the bar
    // names this command, not whatever the model did last.
    noteLastOperation(tr("Stream round trip: \"%1\" read back, locked.").arg(back->GetName()));
}

void DemoWindow::showError(const QString& title, const QString& text)
{
    ShowCenteredMessageBox(QMessageBox::Warning, title, text, this, QMessageBox::Ok);
}

// --- Unsaved changes ---

QByteArray DemoWindow::savedFormOf(const Characterization& characterization)
{
    // The joint names, the node words, the inversion flags and the records of
    // the assigned nodes: everything a ".vlmc" file and its companion keep.
    QByteArray form;
    QDataStream out(&form, QIODevice::WriteOnly);
    out.writeRawData(reinterpret_cast<const char*>(&characterization.GetBoneInversion()), sizeof(VLMBoneInversion));
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        out << quint32(characterization.GetNodeFlags().words[node]) << characterization.GetNodeName(node);
        if (characterization.IsNodeAssigned(node))
            out.writeRawData(reinterpret_cast<const char*>(&characterization.JointGeometryAt(node)),
                             sizeof(VLMJointGeometry));
    }
    return form;
}

void DemoWindow::rememberSaved(const Characterization* characterization)
{
    if (characterization)
        savedForms_.insert(characterization, savedFormOf(*characterization));
}

void DemoWindow::forgetRemovedCharacterizations(bool all)
{
    CharacterizationModel* model = Model();
    for (auto it = savedForms_.begin(); it != savedForms_.end();) {
        bool kept = false;
        for (int i = 0; !all && model && i < model->CharacterizationCount() && !kept; ++i)
            kept = model->CharacterizationAt(i) == it.key();
        it = kept ? std::next(it) : savedForms_.erase(it);
    }
}

QList<Characterization*> DemoWindow::unsavedCharacterizations() const
{
    static const QByteArray empty = savedFormOf(Characterization(QString(), nullptr));
    QList<Characterization*> unsaved;
    const CharacterizationModel* model = Model();
    for (int i = 0; model && i < model->CharacterizationCount(); ++i) {
        Characterization* characterization = model->CharacterizationAt(i);
        // The default characterization cannot be edited.
        if (!characterization || characterization->GetName() == IDCCHub::GetDefaultCharacterNodeName())
            continue;
        if (savedFormOf(*characterization) != savedForms_.value(characterization, empty))
            unsaved << characterization;
    }
    return unsaved;
}

QStringList DemoWindow::UnsavedCharacterizations() const
{
    QStringList names;
    for (const Characterization* characterization : unsavedCharacterizations())
        names << characterization->GetName();
    return names;
}

bool DemoWindow::confirmDiscard(const QString& title)
{
    const QList<Characterization*> unsaved = unsavedCharacterizations();
    if (unsaved.isEmpty())
        return true;
    QStringList names;
    for (const Characterization* characterization : unsaved)
        names << QStringLiteral("\"%1\"").arg(characterization->GetName());
    const QString text =
        unsaved.size() == 1
            ? tr("The characterization %1 changed since it was last saved or loaded.\nDo you want to save it?")
                  .arg(names.first())
            : tr("These characterizations changed since they were last saved or loaded:\n%1\n"
                 "Do you want to save them?")
                  .arg(names.join(QStringLiteral("\n")));
    const int answer = ShowCenteredMessageBox(QMessageBox::Question, title, text, this,
                                              QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    if (answer == QMessageBox::Discard)
        return true;
    if (answer != QMessageBox::Save)
        return false;
    return saveEach(unsaved, title);
}

bool DemoWindow::saveEach(const QList<Characterization*>& unsaved, const QString& title)
{
    CharacterizationModel* model = Model();
    Characterization* previous = model->GetCurrentCharacterization();
    bool saved = true;
    for (Characterization* characterization : unsaved) {
        // The save dialogs run event loops: each one is looked up again.
        bool there = false;
        for (int i = 0; i < model->CharacterizationCount() && !there; ++i)
            there = model->CharacterizationAt(i) == characterization;
        if (!there)
            continue;
        // The save command saves the current characterization, so each one
        // becomes current in turn, for the user to see which is being saved.
        const QString name = characterization->GetName();
        host_->SetCurrentCharacter(name);
        if (model->GetCurrentCharacterization() != characterization || !model->GetStatus().IsOkOrWarning()) {
            showError(title, tr("\"%1\" cannot be saved: only a valid characterization, or one with warnings, "
                                "can be saved.\nNothing was discarded.")
                                 .arg(name));
            saved = false;
            break;
        }
        if (!tool_->ShowSave()) {
            saved = false;
            break;
        }
        noteSaved(characterization);
    }
    // Whatever happens next, the selection is the user's again.
    for (int i = 0; i < model->CharacterizationCount(); ++i) {
        if (model->CharacterizationAt(i) == previous && model->GetCurrentCharacterization() != previous)
            host_->SetCurrentCharacter(previous->GetName());
    }
    return saved;
}

void DemoWindow::closeEvent(QCloseEvent* event)
{
    if (confirmDiscard(tr("Quit")))
        event->accept();
    else
        event->ignore();
}

// --- Joints the scene lacks ---

int DemoWindow::jointsMissingFromScene(const Characterization& characterization, int* assigned,
                                       QStringList* names) const
{
    int missing = 0, count = 0;
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        const QString& joint = characterization.GetNodeName(node);
        if (joint.isEmpty())
            continue;
        ++count;
        if (host_->HasNode(joint))
            continue;
        ++missing;
        if (names)
            *names << joint;
    }
    if (assigned)
        *assigned = count;
    return missing;
}

QString DemoWindow::MissingJointsText() const
{
    const Characterization* current = Model() ? Model()->GetCurrentCharacterization() : nullptr;
    if (!current)
        return QString();
    QStringList notes;
    // A file opened without its joint names shows valid, since its rest pose
    // is; the note stays for as long as the names are missing.
    int used = 0;
    const int unnamed = current->CountUnnamedAssignedNodes(&used);
    if (unnamed > 0)
        notes << tr("%1 of %2 nodes have no joint name").arg(unnamed).arg(used);
    // Locked or not: the unlock command releases the missing joints after
    // asking, but the host's removal of a joint unlocks the characterization
    // without a question, and the joints the scene lacks stay assigned (they
    // show valid, with the rest pose they had, and a save writes them).
    int assigned = 0;
    QStringList names;
    const int missing = jointsMissingFromScene(*current, &assigned, &names);
    if (missing > 0) {
        // Named, for the user to find them in the Name Match list; a few
        // only, the rest counted.
        const int shown = kMissingJointsNamed;
        QString which = QStringList(names.mid(0, shown)).join(QStringLiteral(", "));
        if (missing > shown)
            which = tr("%1 and %2 more").arg(which).arg(missing - shown);
        notes << tr("%1 of %2 joints not in this scene: %3").arg(missing).arg(assigned).arg(which);
    }
    return notes.join(QStringLiteral("; "));
}

void DemoWindow::showMissingJoints()
{
    if (!missingJointsLabel_)
        return;
    const QString text = MissingJointsText();
    missingJointsLabel_->SetStatusText(text);
    missingJointsLabel_->setVisible(!text.isEmpty());
    if (statusLine_)
        statusLine_->Relayout();
}
