// The demo window driven as a new user drives it: the menus, the toolbar, the
// joint tree, the figure and the dialogs.
#include "demo_fixture.h"

#include "screenshot.h"

#include "model/characterization.h"
#include "model/characterization_files.h"
#include "model/resource_bridge.h"
#include "ui/character_tool.h"
#include "ui/part_item.h"
#include "ui/schematic_widget.h"
#include "view3d/vlm_gl_widget.h"
#include "view3d/vlm_widget.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <functional>

namespace {

bool Greenish(QRgb c) { return qGreen(c) > qRed(c) + 40 && qGreen(c) > qBlue(c) + 40; }

// Whether the box of the picture holds a green pixel.
bool HasGreen(const QImage& picture, const QRect& box)
{
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            if (Greenish(picture.pixel(x, y)))
                return true;
    return false;
}

// How many rig nodes of the current characterization hold a joint.
int AssignedNodes(const CharacterizationModel& model)
{
    const std::vector<QString>& names = model.GetCurrentCharacterization()->GetNodeNames();
    return int(std::count_if(names.begin(), names.end(), [](const QString& name) { return !name.isEmpty(); }));
}

}  // namespace

TEST_F(DemoTest, TheNewUsersRoad)
{
    // Start: the sample and the host's characterization, nothing mapped yet.
    EXPECT_EQ(CharacterListShown(), QStringList{"Character1"});
    EXPECT_EQ(Host().Characters(), QStringList{"Character1"});
    EXPECT_EQ(window_->StateText(), "Error: Missing required bones.");

    // Double-click Hips, then click its joint in the tree: Hips alone is set.
    auto* figure = window_->Tool()->findChild<SchematicWidget*>();
    ASSERT_TRUE(figure);
    DoubleClickPart("Hips");
    ClickJoint("Character1_Hips");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("Hips")), "Character1_Hips");
    EXPECT_EQ(Model().NodeStatusAt(NodeId("Hips")).state, kStateValid);
    EXPECT_TRUE(window_->StateText().startsWith("Error"));
    QTreeWidgetItem* hipsJoint = window_->Joints()->ItemOf("Character1_Hips");
    EXPECT_TRUE(hipsJoint->font(0).bold());
    EXPECT_EQ(hipsJoint->text(1), "Hips");
    EXPECT_TRUE(window_->Notifications()->toPlainText().contains(R"(RegisterAssignedNode("Character1_Hips"))"));
    EXPECT_FALSE(window_->Notifications()->toPlainText().contains("PostCharacterUpdate"));

    // The preselected template maps the rest: valid, and the figure is green.
    QString preselected;
    ApplyTemplate(QString(), &preselected);
    EXPECT_EQ(preselected, "Rig Names");
    EXPECT_EQ(window_->StateText(), "Valid");
    EXPECT_EQ(window_->LastOperationText(), QString("Template applied: %1 nodes mapped.").arg(AssignedNodes(Model())));
    const QRect hipsBox =
        figure->mapFromScene(figure->FindPartItem(NodeId("Hips"))->sceneBoundingRect()).boundingRect();
    EXPECT_TRUE(HasGreen(figure->grab().toImage(), hipsBox & figure->rect()));
    // The 3D view follows: the skeleton in black on grey.
    VLMGlWidget* gl = window_->View3D()->GetGlWidget();
    const QImage frame = gl->GrabFrame();
    ASSERT_FALSE(frame.isNull());
    int black = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            black += (frame.pixel(x, y) & 0xFFFFFFu) == 0;
    EXPECT_GT(black, 100) << "no skeleton in the 3D view";
    EXPECT_LT(black, frame.width() * frame.height() / 4) << "no background in the 3D view";
    SaveArtifact(window_->Screenshot(), "demo_valid");

    // In mirror mode one arm assigned in the figure brings the other.
    Trigger("mirrorMode");
    EXPECT_TRUE(Host().IsMirrorToggle());
    EXPECT_TRUE(window_->findChild<QAction*>("mirrorMode")->isChecked());
    Model().ClearNodes({NodeId("LeftArm"), NodeId("RightArm")});
    DoubleClickPart("LeftArm");
    ClickJoint("Character1_LeftArm");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("RightArm")), "Character1_RightArm");
    Trigger("mirrorMode");
    EXPECT_FALSE(Host().IsMirrorToggle());
    ASSERT_EQ(window_->StateText(), "Valid");

    // Lock and save: the stream and its companion, which load back.
    Trigger("lock");
    EXPECT_TRUE(Host().IsLocked());
    EXPECT_TRUE(window_->findChild<QAction*>("lock")->isChecked());
    QTemporaryDir saveDir;
    const QString file = saveDir.filePath("hero.vlmc");
    AnswerNextFileDialog({file, QString(), {}, {}});
    Trigger("saveCharacterization");
    ASSERT_TRUE(QFileInfo::exists(file));
    EXPECT_TRUE(QFileInfo::exists(saveDir.filePath("hero.bones.xml")));
    std::unique_ptr<Characterization> back = LoadCharacterizationBinary(file, QString());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetNodeNames(), Model().GetCurrentCharacterization()->GetNodeNames());

    // Rename a joint while locked: nothing changes until the unlock, which
    // asks before it clears the node.
    ClickJoint("Character1_LeftHand");
    AnswerNextName("Character1_LeftPalm");
    Trigger("renameJoint");
    ASSERT_TRUE(window_->Joints()->ItemOf("Character1_LeftPalm"));
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftHand")), "Character1_LeftHand");
    boxes_.Answer(QMessageBox::Ok);
    Trigger("lock");
    EXPECT_EQ(boxes_.Titles(), QStringList{"Validation Warning"});
    EXPECT_FALSE(Host().IsLocked());
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftHand")), "");

    // Delete a joint of a locked characterization: released at once, unlocked.
    Model().AssignNode(NodeId("LeftHand"), "Character1_LeftPalm");
    Model().Refresh();
    Trigger("lock");
    ASSERT_TRUE(Host().IsLocked());
    ClickJoint("Character1_LeftPalm");
    Trigger("deleteJoint");
    EXPECT_FALSE(window_->Joints()->ItemOf("Character1_LeftPalm"));
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftHand")), "");
    EXPECT_FALSE(Host().IsLocked());
    EXPECT_FALSE(window_->findChild<QAction*>("lock")->isChecked());
}

TEST_F(DemoTest, BendLeftArmWarnsWithinASecond)
{
    MapCharacter1();
    Trigger("bendLeftArm");
    // The host says nothing; the panel's once-a-second poll notices.
    QElapsedTimer waited;
    waited.start();
    while (!window_->StateText().startsWith("Warning") && waited.elapsed() < 1500)
        QTest::qWait(20);
    EXPECT_TRUE(window_->StateText().startsWith("Warning: The left arm")) << window_->StateText().toStdString();

    // A second warning makes the message two lines: the status bar shows
    // them on one line (the whole message in its tooltip), and neither the
    // bar nor the window grows.
    const QSize size = window_->size();
    const int barHeight = window_->statusBar()->height();
    Host().MoveJoint("Character1_RightHand", 0.0f, -5.0f, 0.0f);
    while (!window_->StateText().contains('\n') && waited.elapsed() < 3000)
        QTest::qWait(20);
    ASSERT_TRUE(window_->StateText().contains('\n')) << window_->StateText().toStdString();
    QTest::qWait(50);  // the layouts follow
    const auto* state = window_->findChild<QLabel*>("stateLabel");
    const QStringList warnings = window_->StateText().mid(QString("Warning: ").size()).split('\n');
    ASSERT_EQ(warnings.size(), 2);
    EXPECT_EQ(state->text().toStdString(), ("Warning (2): " + warnings.join(' ')).toStdString());
    EXPECT_EQ(state->toolTip().toStdString(),
              (QString("Warning (2):\n\u2022 ") + warnings.join(QString("\n\u2022 "))).toStdString());
    EXPECT_EQ(window_->statusBar()->height(), barHeight);
    EXPECT_EQ(window_->size(), size);
    SaveArtifact(window_->Screenshot(), "demo_two_warnings");
}

// Validation messages that end without a full stop read apart all the same:
// each a sentence, how many first, one a line in the tooltip.
TEST_F(DemoTest, TwoValidationErrorsReadApartInTheStatusBar)
{
    MapCharacter1();
    Model().ClearNodes({NodeId("RightFootThumb1"), NodeId("LeftFootThumb1")});
    const QString right = "One or more nodes are missing in the right foot thumb";
    const QString left = "One or more nodes are missing in the left foot thumb";
    ASSERT_EQ(window_->StateText(), "Error: " + right + "\n" + left);
    QTest::qWait(50);  // the layouts follow
    const auto* state = window_->findChild<QLabel*>("stateLabel");
    EXPECT_EQ(state->text().toStdString(), ("Error (2): " + right + ". " + left + ".").toStdString());
    EXPECT_EQ(state->toolTip().toStdString(),
              ("Error (2):\n\u2022 " + right + ".\n\u2022 " + left + ".").toStdString());
    SaveArtifact(window_->Screenshot(), "demo_two_errors");
    // One message alone is one sentence, with no count.
    Model().AssignNode(NodeId("LeftFootThumb1"), "Character1_LeftFootThumb1");
    Model().Refresh();
    EXPECT_EQ(state->text().toStdString(), ("Error: " + right + ".").toStdString());
    EXPECT_EQ(state->toolTip(), state->text());
}

// A part waits for a joint; clicking the joint that is already selected (as
// it stays after Rename Joint) completes the assignment, as clicking any
// other joint does.
TEST_F(DemoTest, ClickingTheSelectedJointCompletesAWaitingAssignment)
{
    ClickJoint("Character1_Spine");
    AnswerNextName("Character1_Torso");
    Trigger("renameJoint");
    ASSERT_EQ(Host().GetSelectedNodes(), QStringList{"Character1_Torso"});
    DoubleClickPart("Spine");
    ASSERT_EQ(Model().GetNodeHostName(NodeId("Spine")), "");
    ClickJoint("Character1_Torso");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("Spine")), "Character1_Torso");
}

// New, Delete and Stream Round Trip through the menus; the list follows, and
// a characterization that came as a stream or from a file keeps its place
// when the host next sends its list.
TEST_F(DemoTest, TheCharacterListFollowsNewDeleteAndStreams)
{
    MapCharacter1();
    Trigger("newCharacterization");
    EXPECT_EQ(CharacterListShown(), QStringList({"Character1", "Character2"}));
    EXPECT_EQ(window_->CharacterList()->currentText(), "Character2");

    QTest::keyClick(window_->CharacterList(), Qt::Key_Up);
    EXPECT_EQ(Host().GetCurrentCharacterNodeName(), "Character1");
    Trigger("streamRoundTrip");
    EXPECT_EQ(window_->CharacterList()->currentText(), "New Characterization");
    EXPECT_TRUE(Host().IsLocked());
    EXPECT_EQ(Model().GetCurrentCharacterization()->GetNodeNames(), Model().CharacterizationAt(0)->GetNodeNames());

    Trigger("newCharacterization");
    EXPECT_EQ(CharacterListShown(), QStringList({"Character1", "Character2", "New Characterization", "Character3"}));

    boxes_.Answer(QMessageBox::Yes);
    Trigger("deleteCharacterization");
    EXPECT_EQ(boxes_.Titles(), QStringList{"Delete Characterization"});
    EXPECT_EQ(CharacterListShown(), QStringList({"Character1", "Character2", "New Characterization"}));
    EXPECT_EQ(window_->CharacterList()->currentText(), "Character1");
    EXPECT_EQ(Host().Characters(), CharacterListShown());
    EXPECT_TRUE(window_->Notifications()->toPlainText().contains(R"(UpdateDccDeleteCharacter("Character3"))"));

    // A saved characterization opened again joins the list under its file name.
    Trigger("lock");
    QTemporaryDir saveDir;
    AnswerNextFileDialog({saveDir.filePath("body.vlmc"), QString(), {}, {}});
    Trigger("saveCharacterization");
    AnswerNextFileDialog({saveDir.filePath("body.vlmc"), QString(), {}, {}});
    Trigger("openCharacterization");
    EXPECT_EQ(window_->CharacterList()->currentText(), "body");
    Trigger("newCharacterization");
    EXPECT_TRUE(CharacterListShown().contains("body"));
    EXPECT_EQ(Host().Characters(), CharacterListShown());
}

// A skeleton that cannot be read leaves the scene and the characterizations
// as they were, and says where the file went wrong.
TEST_F(DemoTest, ABadSkeletonFileChangesNothing)
{
    QTemporaryDir dir;
    const QString bad = dir.filePath("bad.bvh");
    QFile out(bad);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("HIERARCHY\nROOT Hips\n{\n  OFFSET 0 0\n");
    out.close();
    const int joints = Host().JointCount();
    ClickJoint("Character1_Hips");
    boxes_.Answer(QMessageBox::Ok);
    AnswerNextFileDialog({bad, QString(), {}, {}});
    Trigger("openSkeleton");
    ASSERT_EQ(boxes_.Texts().size(), 1);
    EXPECT_TRUE(boxes_.Texts().first().startsWith(bad + ":4: ")) << boxes_.Texts().first().toStdString();
    EXPECT_EQ(Host().JointCount(), joints);
    EXPECT_EQ(Host().Characters(), QStringList{"Character1"});
}

namespace {

// Adds a joint to the tree's selection as a control-click does.
void CtrlClickJoint(JointTree* tree, const QString& joint)
{
    QTreeWidgetItem* item = tree->ItemOf(joint);
    ASSERT_TRUE(item) << joint.toStdString();
    tree->scrollToItem(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier, tree->visualItemRect(item).center());
}

}  // namespace

// The Mirror Mode button shows the mode the model keeps, also after a mirrored
// assignment (the panel switches the mode off while it assigns the mirrored
// joint), so one click turns it off.
TEST_F(DemoTest, MirrorModeStaysShownAfterAMirroredAssignment)
{
    QAction* mirror = window_->findChild<QAction*>("mirrorMode");
    QWidget* button = window_->findChild<QToolBar*>("characterizationBar")->widgetForAction(mirror);
    ASSERT_TRUE(button);
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(Host().IsMirrorToggle());
    DoubleClickPart("LeftArm");
    ClickJoint("Character1_LeftArm");
    ASSERT_EQ(Model().GetNodeHostName(NodeId("RightArm")), "Character1_RightArm");  // mirrored
    EXPECT_TRUE(Host().IsMirrorToggle());
    EXPECT_TRUE(mirror->isChecked());
    SaveArtifact(window_->Screenshot(), "demo_mirror_mode_after_assignment");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(Host().IsMirrorToggle());
    EXPECT_FALSE(mirror->isChecked());
}

// "Match Selected by Name" is offered only where it may edit the mapping: not
// on a locked characterization, nor on "--- None ---".
TEST_F(DemoTest, MatchSelectedByNameIsOffWhereTheMappingCannotBeEdited)
{
    QAction* match = window_->findChild<QAction*>("matchByName");
    ASSERT_TRUE(match);
    MapCharacter1();
    EXPECT_TRUE(match->isEnabled());
    Trigger("lock");
    EXPECT_FALSE(match->isEnabled());
    Trigger("lock");
    EXPECT_TRUE(match->isEnabled());
    boxes_.Answer(QMessageBox::Yes);
    Trigger("deleteCharacterization");  // the only one: "--- None ---" takes its place
    ASSERT_EQ(Model().GetCurrentCharacterization()->GetName(), IDCCHub::GetDefaultCharacterNodeName());
    EXPECT_FALSE(match->isEnabled());
}

// "Match Selected by Name" says in the status bar what it did, until the model
// records another operation; a new scene starts without the old one's. The bar
// names each command as it ends, also one the model does not validate; a
// part's wait for a joint ends with a template, a new scene or a new
// characterization.
TEST_F(DemoTest, MatchSelectedByNameSaysWhatItDidAndANewSceneStartsClean)
{
    const auto* shown = window_->findChild<QLabel*>("operationLabel");
    ASSERT_TRUE(shown);
    Trigger("matchByName");
    EXPECT_EQ(shown->text().toStdString(), "Last operation: No joint selected.");

    ClickJoint("Character1_Neck1");
    AnswerNextName("Character1_neck_helper");  // no rig node name ends it
    Trigger("renameJoint");
    ClickJoint("Character1_Hips");
    for (const char* joint : {"Character1_Spine", "Character1_neck_helper"})
        CtrlClickJoint(window_->Joints(), joint);
    ASSERT_EQ(Host().GetSelectedNodes().size(), 3);
    Trigger("matchByName");
    EXPECT_EQ(shown->text().toStdString(), "Last operation: Matched 2 of 3 selected joints.");
    SaveArtifact(window_->Screenshot(), "demo_match_by_name");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("Spine")), "Character1_Spine");
    ClickJoint("Character1_Hips");
    DoubleClickPart("LeftArm");
    ApplyTemplate();
    EXPECT_EQ(shown->text(), QString("Last operation: Template applied: %1 nodes mapped.").arg(AssignedNodes(Model())));
    ClickJoint("Character1_Spine");  // LeftArm no longer waits: no question about its joint

    // A prefix that no joint carries maps nothing: the panel says so, and so
    // does the bar.
    boxes_.Answer(QMessageBox::Ok);
    AnswerNextModal([](QWidget* dialog) {
        for (QLineEdit* prefix : dialog->findChildren<QLineEdit*>()) {
            if (prefix->text() == "Character1_")
                prefix->setText("Character2_");
        }
        ClickButton(dialog, "OK");
    });
    Trigger("applyTemplate");
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].title, "Match Error");
    EXPECT_EQ(boxes_.Boxes()[0].text, "No joint of the skeleton with the prefix \"Character2_\" matched the template.\n"
                                      "Nothing was mapped.");
    EXPECT_EQ(shown->text(), "Last operation: No joint matched the template: nothing was mapped.");
    QFile damaged(PathToQString(window_->Tool()->GetBridge()->GetUserPath()) + "/template/Damaged.xml");
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly) && damaged.write("<match_list") > 0);
    damaged.close();
    boxes_.Answer(QMessageBox::Ok);
    ApplyTemplate("Damaged");
    EXPECT_TRUE(shown->text().startsWith("Last operation: The template could not be applied: Damaged.xml"));
    AnswerNextModal([](QWidget* dialog) { ClickButton(dialog, "OK"); });
    Trigger("extractTemplate");
    EXPECT_EQ(shown->text().toStdString(), "Last operation: Template successfully saved.");
    Trigger("streamRoundTrip");
    EXPECT_EQ(shown->text().toStdString(), "Last operation: Stream round trip: \"New Characterization\" read back, "
                                           "locked.");
    SaveArtifact(window_->Screenshot(), "demo_status_after_stream");
    // The window's own commands too; the model's next text shows after a
    // note even when it is the text from before it (Extract again).
    const auto ok = [] { AnswerNextModal([](QWidget* dialog) { ClickButton(dialog, "OK"); }); };
    struct Step {
        const char* action;
        std::function<void()> answer;
        const char* shown;
    };
    const Step steps[] = {
        {"extractTemplate", ok, "Template successfully saved."},
        {"lock", {}, "Unlocked \"New Characterization\"."},
        {"lock", {}, "Locked \"New Characterization\"."},
        {"mirrorMode", {}, "Mirror mode on."},
        {"mirrorMode", {}, "Mirror mode off."},
        {"newCharacterization", {}, "Created \"Character2\"."},
        {"deleteCharacterization", [this] { boxes_.Answer(QMessageBox::Yes); },
         "Deleted characterization \"Character2\"."},
        {"renameJoint", [] { AnswerNextName("Character1_Torso"); },
         "Renamed joint \"Character1_Spine\" to \"Character1_Torso\"."},
        {"deleteJoint", {}, "Deleted joint \"Character1_Torso\"."},
        {"bendLeftArm", {}, "Bent the left arm: \"Character1_LeftHand\" lowered by 5 cm."},
    };
    ClickJoint("Character1_Spine");
    for (const auto& step : steps) {
        if (step.answer)
            step.answer();
        Trigger(step.action);
        EXPECT_EQ(shown->text().toStdString(), std::string("Last operation: ") + step.shown);
    }
    SaveArtifact(window_->Screenshot(), "demo_status_after_bend");

    QTest::keyClick(window_->CharacterList(), Qt::Key_Up);  // Character1 again, unlocked
    DoubleClickPart("Hips");
    QScrollBar* scroll = window_->Joints()->verticalScrollBar();
    scroll->setValue(scroll->maximum());
    ASSERT_GT(scroll->value(), 0);
    boxes_.Answer(QMessageBox::Discard);  // the mapping changed since the start
    OpenSample("suffix_lower.bvh");
    EXPECT_EQ(shown->text().toStdString(), "Last operation: No previous operation.");
    EXPECT_EQ(scroll->value(), 0);  // the tree starts at the new root
    SaveArtifact(window_->Screenshot(), "demo_new_scene_after_wait");
    ClickJoint("pelvis");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("Hips")).toStdString(), "");
    for (const char* joint : {"head", "hand_l"})  // matching is case-sensitive
        CtrlClickJoint(window_->Joints(), joint);
    Trigger("matchByName");
    EXPECT_EQ(shown->text().toStdString(), "Last operation: Matched 0 of 3 selected joints.");
    SaveArtifact(window_->Screenshot(), "demo_match_none");
    DoubleClickPart("Hips");
    Trigger("newCharacterization");
    ClickJoint("pelvis");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("Hips")).toStdString(), "");
}

namespace {

// `widget`'s rectangle in `window`'s coordinates.
QRect RectIn(const QWidget* widget, const QWidget* window)
{
    return QRect(widget->mapTo(window, QPoint(0, 0)), widget->size());
}

// Whether the figure shows its whole page, every pixel as the page's pictures
// have it (drawn 1:1) when `oneToOne`.
bool ShowsTheWholePage(SchematicWidget* figure, bool oneToOne)
{
    const QSizeF size = figure->sceneRect().size() * figure->GetPageScale();
    const QRect page(figure->mapFromScene(figure->sceneRect().topLeft()), size.toSize());
    if (!figure->viewport()->rect().contains(page))
        return false;
    if (!oneToOne)
        return true;
    QImage expected(figure->sceneRect().size().toSize(), QImage::Format_ARGB32_Premultiplied);
    expected.fill(figure->backgroundBrush().color());
    QPainter painter(&expected);
    figure->scene()->render(&painter, QRectF(expected.rect()), figure->sceneRect());
    painter.end();
    return figure->viewport()->grab(page).toImage().convertToFormat(expected.format()) == expected;
}

}  // namespace

// On a screen 768 pixels high the whole window is usable: the status bar
// shows inside it, below the panel, and the panel shows whole without
// scrolling, its figure drawn smaller. With the room, the figure's pictures
// are drawn 1:1. (How a shorter panel scrolls: the panel's own tests.)
TEST_F(DemoTest, TheWindowFitsAScreen768High)
{
    MapCharacter1();
    auto* figure = window_->Tool()->findChild<SchematicWidget*>();
    ASSERT_TRUE(figure);
    const struct {
        const char* name;
        QSize size;
        double leastScale;
    } rows[] = {{"full", window_->FullSize(), 1.0}, {"1366x768", {1366, 768}, 0.5}, {"700", {1200, 700}, 0.5}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        window_->resize(row.size);
        QTest::qWait(50);  // the layouts follow
        EXPECT_EQ(window_->size(), row.size);
        const QRect bar = RectIn(window_->statusBar(), window_.get());
        EXPECT_TRUE(window_->statusBar()->isVisible() && window_->rect().contains(bar)) << bar.y();
        EXPECT_LT(RectIn(window_->Tool(), window_.get()).bottom(), bar.top());
        for (const QScrollArea* page : window_->Tool()->findChildren<QScrollArea*>())
            EXPECT_FALSE(page->verticalScrollBar()->isVisible());
        EXPECT_GE(figure->GetPageScale(), row.leastScale);
        EXPECT_TRUE(ShowsTheWholePage(figure, row.leastScale == 1.0));
        SaveArtifact(window_->Screenshot(), QStringLiteral("demo_window_%1").arg(row.name));
    }
}
