// Work the user could lose: the question before a new scene or quitting
// drops characterizations that changed, and a characterization opened on a
// skeleton it was not made for.
#include "demo_fixture.h"

#include "screenshot.h"

#include "model/characterization.h"
#include "model/characterization_files.h"

#include <QDir>
#include <QLabel>
#include <QStatusBar>

#include <memory>

namespace {

// The question's three buttons.
const QMessageBox::StandardButtons kSaveDiscardCancel = QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;

}  // namespace

class DemoUnsavedWorkTest : public DemoTest {
protected:
    const Characterization& Current() const { return *Model().GetCurrentCharacterization(); }

    QLabel* MissingJointsLabel() const { return window_->findChild<QLabel*>(QStringLiteral("missingJointsLabel")); }

    QTemporaryDir saveDir_;
};

TEST_F(DemoUnsavedWorkTest, ANewSceneAsksFirstWhenACharacterizationChanged)
{
    // Nothing changed: nothing is asked (an unexpected box fails the test).
    OpenSample("rig_names.bvh");
    EXPECT_TRUE(Host().HasNode("Hips"));
    OpenSample("prefix_underscore.bvh");
    MapCharacter1();
    const std::vector<QString> mapped = Current().GetNodeNames();
    EXPECT_EQ(window_->UnsavedCharacterizations(), QStringList{"Character1"});

    // Cancel keeps the scene and the mapping.
    boxes_.Answer(QMessageBox::Cancel);
    OpenSample("rig_names.bvh");
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].title, "Open Sample");
    EXPECT_EQ(boxes_.Boxes()[0].text, "The characterization \"Character1\" changed since it was last saved or loaded.\n"
                                      "Do you want to save it?");
    EXPECT_EQ(boxes_.Boxes()[0].buttons, kSaveDiscardCancel);
    EXPECT_TRUE(Host().HasNode("Character1_Hips"));
    EXPECT_EQ(Current().GetNodeNames(), mapped);

    // Save whose file dialog is cancelled keeps everything too.
    boxes_.Answer(QMessageBox::Save);
    AnswerNextFileDialog({QString(), QString(), {}, {}});
    OpenSample("rig_names.bvh");
    EXPECT_TRUE(Host().HasNode("Character1_Hips"));
    EXPECT_EQ(Current().GetNodeNames(), mapped);
    EXPECT_TRUE(QDir(saveDir_.path()).isEmpty());

    // Save runs the save command, then the new scene opens.
    boxes_.Answer(QMessageBox::Save);
    AnswerNextFileDialog({saveDir_.filePath("hero"), QString(), {}, {}});
    OpenSample("rig_names.bvh");
    std::unique_ptr<Characterization> saved = LoadCharacterizationBinary(saveDir_.filePath("hero.vlmc"), QString());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->GetNodeNames(), mapped);
    EXPECT_TRUE(Host().HasNode("Hips"));
    EXPECT_FALSE(Host().HasNode("Character1_Hips"));
    EXPECT_EQ(CharacterListShown(), QStringList{"Character1"});
    EXPECT_TRUE(window_->UnsavedCharacterizations().isEmpty());

    // Discard through Open Skeleton...: the new scene, the mapping gone.
    ClickJoint("Hips");
    ApplyTemplate("Rig Names");
    ASSERT_EQ(window_->UnsavedCharacterizations(), QStringList{"Character1"});
    boxes_.Answer(QMessageBox::Discard);
    AnswerNextFileDialog({StandInHost::SamplePath("prefix_underscore.bvh"), QString(), {}, {}});
    Trigger("openSkeleton");
    EXPECT_EQ(boxes_.Titles().last(), "Open Skeleton");
    EXPECT_TRUE(Host().HasNode("Character1_Hips"));
    EXPECT_EQ(Current().GetNodeNames(), std::vector<QString>(VLM_NODE_COUNT));

    // Saved through the menu, a mapping has nothing left to ask about.
    MapCharacter1();
    AnswerNextFileDialog({saveDir_.filePath("body"), QString(), {}, {}});
    Trigger("saveCharacterization");
    EXPECT_TRUE(window_->UnsavedCharacterizations().isEmpty());
    OpenSample("rig_names.bvh");
    EXPECT_EQ(boxes_.Boxes().size(), 4u);
}

TEST_F(DemoUnsavedWorkTest, QuittingAsksFirstAndSavesEveryChangedCharacterization)
{
    MapCharacter1();
    Trigger("newCharacterization");
    Model().AssignNode(NodeId("Hips"), "Character1_Hips");
    Model().Refresh();
    ASSERT_TRUE(window_->StateText().startsWith("Error"));
    // A stream read back is loaded, not changed.
    Trigger("streamRoundTrip");
    EXPECT_EQ(window_->UnsavedCharacterizations(), QStringList({"Character1", "Character2"}));

    // The question as the user sees it; Cancel keeps the window open.
    MessageBoxHandler scripted = SetMessageBoxHandler(nullptr);
    // Shared: the answer outlives the test when no box comes.
    auto shown = std::make_shared<QString>();
    AnswerNextModal([shown](QWidget* box) {
        SaveScreenshot(box, "demo_unsaved_question");
        if (auto* question = qobject_cast<QMessageBox*>(box))
            *shown = question->text();
        ClickButton(box, "Cancel");
    });
    Trigger("quit");
    SetMessageBoxHandler(std::move(scripted));
    EXPECT_EQ(*shown, "These characterizations changed since they were last saved or loaded:\n"
                      "\"Character1\"\n\"Character2\"\nDo you want to save them?");
    ASSERT_TRUE(window_->isVisible());

    // Save saves each in turn; one that cannot be saved (not valid) stops
    // the quit, and the selection is the user's again.
    const QString current = Current().GetName();
    boxes_.Answer(QMessageBox::Save).Answer(QMessageBox::Ok);
    AnswerNextFileDialog({saveDir_.filePath("first"), QString(), {}, {}});
    Trigger("quit");
    EXPECT_TRUE(QFileInfo::exists(saveDir_.filePath("first.vlmc")));
    ASSERT_EQ(boxes_.Titles(), QStringList({"Quit", "Quit"}));
    EXPECT_EQ(boxes_.Texts().last(), "\"Character2\" cannot be saved: only a valid characterization, or one with "
                                     "warnings, can be saved.\nNothing was discarded.");
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(Current().GetName(), current);
    EXPECT_EQ(window_->UnsavedCharacterizations(), QStringList{"Character2"});

    // Discard closes the window.
    boxes_.Answer(QMessageBox::Discard);
    Trigger("quit");
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(DemoUnsavedWorkTest, ACharacterizationMadeForAnotherSkeletonSaysHowManyJointsTheSceneLacks)
{
    MapCharacter1();
    Trigger("lock");
    AnswerNextFileDialog({saveDir_.filePath("body"), QString(), {}, {}, nullptr, /*typed=*/true});
    Trigger("saveCharacterization");
    const QString body = saveDir_.filePath("body.vlmc");
    // The save shows in the status bar, and the file dialogs start where it
    // went, though the user typed the whole path there.
    EXPECT_EQ(window_->LastOperationText(), "Saved body.vlmc.");
    QString shown;
    AnswerNextFileDialog({QString(), QString(), {}, {}, &shown});
    Trigger("saveCharacterization");
    EXPECT_EQ(shown, QFileInfo(saveDir_.path()).absoluteFilePath());
    shown.clear();
    AnswerNextFileDialog({QString(), QString(), {}, {}, &shown});
    Trigger("openSkeleton");
    EXPECT_EQ(shown, QFileInfo(saveDir_.path()).absoluteFilePath());
    int joints = 0;
    for (const QString& joint : Current().GetNodeNames())
        joints += !joint.isEmpty();

    // On its own skeleton: nothing to say (an unexpected box fails the test).
    AnswerNextFileDialog({body, QString(), {}, {}});
    Trigger("openCharacterization");
    ASSERT_EQ(Current().GetName(), "body");
    EXPECT_TRUE(MissingJointsLabel()->isHidden());
    // A joint renamed in the scene is missing from the locked characterization.
    ClickJoint("Character1_LeftHand");
    AnswerNextName("Character1_LeftPalm");
    Trigger("renameJoint");
    const QString missing = "1 of %1 joints not in this scene: Character1_LeftHand";
    EXPECT_EQ(window_->MissingJointsText(), missing.arg(joints));
    EXPECT_TRUE(MissingJointsLabel()->isVisible());
    // Opened again into the renamed scene, one joint is missing, and said so.
    boxes_.Answer(QMessageBox::Ok);
    AnswerNextFileDialog({body, QString(), {}, {}});
    Trigger("openCharacterization");
    EXPECT_EQ(boxes_.Texts().last(), QString("\"%1\" was made for another skeleton: 1 of its %2 joints is not in "
                                               "this scene.\nIt stays locked; unlocking it asks before it releases it.")
                                         .arg(Current().GetName())
                                         .arg(joints));
    EXPECT_EQ(window_->MissingJointsText(), missing.arg(joints));
    // Deleting a joint it holds unlocks it, asking nothing: still said.
    ClickJoint("Character1_RightFootPinky2");  // a leaf
    Trigger("deleteJoint");
    ASSERT_FALSE(Current().IsLocked());
    EXPECT_EQ(MissingJointsLabel()->text(), missing.arg(joints - 1));
    SaveArtifact(window_->Screenshot(), "demo_missing_joints_unlocked");

    // On another skeleton: said on opening, and shown in the status bar.
    boxes_.Answer(QMessageBox::Discard);
    OpenSample("rig_names.bvh");
    boxes_.Answer(QMessageBox::Ok);
    AnswerNextFileDialog({body, QString(), {}, {}});
    Trigger("openCharacterization");
    ASSERT_EQ(boxes_.Titles(), QStringList({"Open Characterization", "Open Sample", "Open Characterization"}));
    EXPECT_EQ(boxes_.Texts().last(), QString("\"body\" was made for another skeleton: %1 of its %1 joints are not in "
                                             "this scene.\nIt stays locked; unlocking it asks before it releases them.")
                                         .arg(joints));
    EXPECT_TRUE(MissingJointsLabel()->text().startsWith(
        QString("%1 of %1 joints not in this scene: Character1_Reference, Character1_Hips, ").arg(joints)));
    EXPECT_TRUE(MissingJointsLabel()->isVisible());
    SaveArtifact(window_->Screenshot(), "demo_missing_joints");

    // The note is the current characterization's.
    QTest::keyClick(window_->CharacterList(), Qt::Key_Up);
    ASSERT_EQ(Current().GetName(), "Character1");
    EXPECT_TRUE(MissingJointsLabel()->isHidden());
    QTest::keyClick(window_->CharacterList(), Qt::Key_Down);
    ASSERT_EQ(Current().GetName(), "body");
    EXPECT_TRUE(MissingJointsLabel()->isVisible());

    // Unlocking asks first: Cancel keeps it locked and noted, Ok releases
    // the joints and the note goes.
    boxes_.Answer(QMessageBox::Cancel);
    Trigger("lock");
    EXPECT_TRUE(Current().IsLocked());
    EXPECT_TRUE(MissingJointsLabel()->isVisible());
    boxes_.Answer(QMessageBox::Ok);
    Trigger("lock");
    EXPECT_FALSE(Current().IsLocked());
    EXPECT_TRUE(MissingJointsLabel()->isHidden());

    // Opened again and deleted: the note goes with it.
    boxes_.Answer(QMessageBox::Ok);
    AnswerNextFileDialog({body, QString(), {}, {}});
    Trigger("openCharacterization");
    EXPECT_TRUE(MissingJointsLabel()->isVisible());
    boxes_.Answer(QMessageBox::Yes);
    Trigger("deleteCharacterization");
    EXPECT_EQ(Current().GetName(), "Character1");
    EXPECT_TRUE(MissingJointsLabel()->isHidden());

    // Opened without its joint names (the companion is gone): valid, since
    // the rest pose is, but the status bar keeps saying what is missing.
    ASSERT_TRUE(QFile::remove(saveDir_.filePath("body.bones.xml")));
    boxes_.Answer(QMessageBox::Ok);
    AnswerNextFileDialog({body, QString(), {}, {}});
    Trigger("openCharacterization");
    EXPECT_TRUE(boxes_.Texts().last().startsWith("No joint names were loaded")) << boxes_.Texts().last().toStdString();
    EXPECT_EQ(window_->LastOperationText(), "Opened body.vlmc without joint names.");
    int used = 0;
    for (int node = 0; node < VLM_NODE_COUNT; ++node)
        used += Current().IsNodeAssigned(node);
    EXPECT_EQ(MissingJointsLabel()->text(), QString("%1 of %1 nodes have no joint name").arg(used));
    EXPECT_TRUE(MissingJointsLabel()->isVisible());
    SaveArtifact(window_->Screenshot(), "demo_no_joint_names");
    boxes_.Answer(QMessageBox::Ok);
    Trigger("lock");  // unlocked: the nameless nodes are released, and named
    EXPECT_TRUE(window_->LastOperationText().endsWith(" (no joint name)"))
        << window_->LastOperationText().toStdString();
}

// The note on missing joints gives way in the status bar: the state shows
// whole, the last operation as much as fits, the note (all of it in its
// tooltip) what is left. Four joints renamed away from a locked
// characterization at 1200 px, then four with long names, then narrower.
TEST_F(DemoUnsavedWorkTest, TheMissingJointsNoteGivesWayToTheStateAndTheLastOperation)
{
    const QLabel* labels[] = {window_->findChild<QLabel*>("stateLabel"), window_->findChild<QLabel*>("operationLabel"),
                              MissingJointsLabel()};
    // Side by side in the bar; the state whole, the last operation whole or
    // past its start, the note past its count; the bar saved as `picture`.
    const auto laidOut = [&](const char* picture, bool operationWhole) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        EXPECT_EQ(labels[0]->width(), labels[0]->sizeHint().width()) << picture;
        EXPECT_GE(labels[1]->width(), operationWhole ? labels[1]->sizeHint().width() : 200) << picture;
        EXPECT_GT(labels[2]->width(), labels[2]->fontMetrics().horizontalAdvance("4 of 92 joints")) << picture;
        EXPECT_TRUE(labels[0]->geometry().right() < labels[1]->x() && labels[1]->geometry().right() < labels[2]->x() &&
                    labels[2]->mapTo(window_.get(), QPoint(labels[2]->width(), 0)).x() <= window_->width());
        EXPECT_EQ(labels[2]->toolTip(), window_->MissingJointsText());
        const QWidget* bar = window_->statusBar();
        SaveArtifact(window_->Screenshot().copy(QRect(bar->mapTo(window_.get(), QPoint(0, 0)), bar->size())), picture);
    };
    const auto renameAll = [&](const QString& from, const QString& to) {
        for (const char* end : {"LeftHand", "RightHand", "LeftFoot", "RightFoot"}) {
            ClickJoint(from.arg(end));
            AnswerNextName(to.arg(end));
            Trigger("renameJoint");
        }
    };
    window_->resize(DemoWindow::DefaultSize());
    MapCharacter1();
    Trigger("lock");
    renameAll("Character1_%1", "Character1_%1_Moved");
    ASSERT_EQ(window_->width(), 1200);
    ASSERT_TRUE(window_->MissingJointsText().startsWith("4 of 92 joints"));
    laidOut("demo_status_four_missing_joints", true);

    // Back in the scene, unlocked, renamed long (the characterization
    // follows), locked and renamed away again; the stream's result shows.
    const QString longName = "Character1_%1_from_the_studio_animation_rig_version_two_final";
    renameAll("Character1_%1_Moved", "Character1_%1");
    Trigger("lock");
    renameAll("Character1_%1", longName);
    Trigger("lock");
    renameAll(longName, "Character1_%1");
    Trigger("streamRoundTrip");
    ASSERT_TRUE(window_->MissingJointsText().contains(longName.arg("LeftFoot")));
    ASSERT_TRUE(window_->LastOperationText().startsWith("Stream round trip: "));
    laidOut("demo_status_four_long_missing_joints", true);
    window_->resize(640, window_->height());  // its docks keep it near 950 px
    laidOut("demo_status_four_long_missing_joints_narrow", false);
}
