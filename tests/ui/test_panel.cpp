// The panel driven as a host drives it (hub commands, public members, slots), boxes answered as a user does.
#include "panel_fixture.h"

#include "ui/part_item.h"
#include "ui/schematic_widget.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>

#include <memory>

namespace {

const QString kNone = QStringLiteral("--- None ---");
using Button = QMessageBox::StandardButton;

// A host that, while a characterization unregisters itself, asks the panel
// for its list and then announces the node's removal and a selection change.
class NoisyHost : public StandInHost {
public:
    void UnregisterCharacterizationNode(const QString& name) override
    {
        StandInHost::UnregisterCharacterizationNode(name);
        QStringList names;
        listAnswers << GetCharacterList(names);
        emit CharacterizationNodeRemoved(name);
        emit selectionChanged();
    }
    QList<bool> listAnswers;
};

}  // namespace

TEST(PanelShellTest, WithoutAParentNothingIsBuiltAndTheHubAnswersAsWithoutAPanel)
{
    ScriptedMessageBoxes boxes;  // any box fails the test
    StandInHost host;
    CharacterTool shell(false, "", "", nullptr, &host);
    EXPECT_TRUE(!shell.GetModel() && !shell.GetBridge() && !shell.GetCharacterization());
    EXPECT_TRUE(shell.children().isEmpty());
    shell.DoDelete(true);
    shell.DoToggleEditMode();

    // The shell did not register with the hub.
    QString node = "x";
    bool inverted = true;
    QStringList names{"x"};
    host.UpdateCharacterList({"A"});
    host.Lock(true);
    host.DeleteCurrentCharacter();
    // clang-format off
    const bool answers[] = {host.IsCharacterCreated("A"), host.IsLocked(), host.IsMirrorToggle(),
        host.AssignCharacterBone("A", 1, "Hips", true), host.GetNodeAssignedToCharacterBone("A", 1, node),
        host.SetBoneInvertedState("A", IDCCHub::LeftLegBone, true), host.SetCurrentCharacter("A"),
        host.GetBoneInvertedState("A", IDCCHub::LeftLegBone, inverted), inverted, host.DeleteCharacter("A", false),
        host.GetCharacterList(names), !names.isEmpty(), host.DeleteAllCharacters(false)};
    // clang-format on
    for (bool answer : answers)
        EXPECT_FALSE(answer);
    EXPECT_EQ(host.GetCurrentCharacterNodeName(), "");
    EXPECT_EQ(host.CurrentCharacterizationState(true), IDCCHub::CharacterizationNotSet);
    EXPECT_TRUE(host.NotificationLog().isEmpty());
}

TEST_F(PanelTest, TheCharacterListFollowsTheHost)
{
    // The empty default was validated once, before any validator existed.
    EXPECT_EQ(host_.CurrentCharacterizationState(false), IDCCHub::CharacterizationError);
    EXPECT_EQ(host_.GetCurrentCharacterNodeName(), "");
    const QString reg = "RegisterCharacterizationNode ", unreg = "UnregisterCharacterizationNode ";
    struct {
        QStringList names;
        QStringList list;
        QString current;
        QStringList log;
    } const cases[] = {
        {{"A", "B"}, {"A", "B"}, "B", {reg + "A", reg + "B"}},  // the default goes without a word
        {{"B", "C", "C"}, {"B", "C"}, "C", {unreg + "A", reg + "C"}},
        {{"", ""}, {kNone}, "", {unreg + "C", unreg + "B"}},  // empty names only: the default
        {{"A"}, {"A"}, "A", {reg + "A"}},
        {{}, {kNone}, "", {unreg + "A"}},
    };
    for (const auto& c : cases) {
        host_.ClearRecords();
        host_.UpdateCharacterList(c.names);
        EXPECT_EQ(Names(), c.list) << c.names.join(",").toStdString();
        EXPECT_EQ(host_.GetCurrentCharacterNodeName(), c.current);
        EXPECT_EQ(host_.NotificationLog().filter("CharacterizationNode "), c.log);
    }
}

TEST_F(PanelTest, DeletingAsksTellsTheHostKeepsTheSelectionAndReportsWhatHappened)
{
    host_.UpdateCharacterList({"A", "B", "C", "D", "E"});
    // Each action answers whether it deleted (the panel's own commands answer nothing).
    const auto slot = [this](const char* name) { return Run(name), true; };
    const auto doDelete = [this] { return tool_->DoDelete(false), true; };
    const auto hubDelete = [this] { return host_.DeleteCurrentCharacter(), true; };
    const QStringList all{"A", "B", "C", "D", "E"};
    struct {
        std::function<bool()> action;
        std::vector<Button> answers;
        bool result;
        QStringList list;
        QString current;
    } const cases[] = {
        // clang-format off
        {[&] { return slot("OnDelete"); }, {QMessageBox::No}, true, all, "E"},
        {[&] { return host_.DeleteCharacter("Nobody", false); }, {}, false, all, "E"},
        {[&] { return host_.DeleteCharacter("A", true); }, {QMessageBox::No}, false, all, "E"},
        {[&] { return host_.DeleteCharacter("A", true); }, {QMessageBox::Yes}, true, {"B", "C", "D", "E"}, "E"},
        {[&] { return host_.DeleteCharacter("E", false); }, {}, true, {"B", "C", "D"}, "B"},  // the first is selected
        {doDelete, {}, true, {"C", "D"}, "C"},
        {[&] { return slot("OnDelete"); }, {QMessageBox::Yes}, true, {"D"}, "D"},  // asks again after DoDelete(false)
        {hubDelete, {QMessageBox::Yes}, true, {kNone}, ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        for (Button answer : c.answers)
            boxes_.Answer(answer);
        EXPECT_EQ(c.action(), c.result);
        EXPECT_EQ(Names(), c.list);
        EXPECT_EQ(host_.GetCurrentCharacterNodeName(), c.current);
    }
    const auto& box = boxes_.Boxes().front();
    EXPECT_TRUE(box.title == "Delete Characterization" && box.icon == QMessageBox::Question && box.parent == tool_);
    EXPECT_EQ(host_.NotificationLog().filter("UpdateDccDeleteCharacter").join(","),
              "UpdateDccDeleteCharacter A,UpdateDccDeleteCharacter E,UpdateDccDeleteCharacter B,"
              "UpdateDccDeleteCharacter C,UpdateDccDeleteCharacter D");

    host_.UpdateCharacterList({"A", "B"});
    boxes_.Answer(QMessageBox::Yes).Answer(QMessageBox::No);
    EXPECT_FALSE(host_.DeleteAllCharacters(true));
    EXPECT_EQ(Names(), QStringList{"B"});
    EXPECT_TRUE(host_.DeleteAllCharacters(false));
    EXPECT_EQ(Names(), QStringList{kNone});
}

TEST_F(PanelTest, LockingNeedsAValidStateAndUnlockingAsksAboutJointsThatHaveGone)
{
    boxes_.Answer(QMessageBox::Ok);
    tool_->DoToggleEditMode();
    EXPECT_FALSE(host_.IsLocked());
    ASSERT_EQ(boxes_.Titles(), QStringList{"Validation Warning"});
    MapSample();
    host_.Lock(true);
    host_.Lock(false);  // every joint is there: nothing to ask
    EXPECT_FALSE(host_.IsLocked());
    host_.Lock(false);
    ASSERT_TRUE(host_.IsLocked());
    ASSERT_TRUE(host_.RenameJoint("Character1_LeftHand", "Character1_LeftPalm"));  // locked: keeps the old name
    const int hand = NodeId("LeftHand");
    const struct {
        Button answer;
        bool locked;
        QString joint;
    } cases[] = {{QMessageBox::Cancel, true, "Character1_LeftHand"}, {QMessageBox::Ok, false, ""}};
    for (const auto& c : cases) {
        boxes_.Answer(c.answer);
        host_.Lock(false);
        EXPECT_EQ(host_.IsLocked(), c.locked);
        EXPECT_EQ(Current().GetNodeName(hand), c.joint);
        EXPECT_TRUE(boxes_.Boxes().back().text.startsWith("One or more bones in the current characterization"));
    }
}

TEST_F(PanelTest, NewArrowsAndMirrorConfiguration)
{
    for (bool keepOnNew : {false, true}) {
        QWidget parent;
        CharacterTool* tool = Build(keepOnNew, &host_, &parent);
        host_.ClearRecords();
        ASSERT_TRUE(QMetaObject::invokeMethod(tool, "OnNew"));
        EXPECT_EQ(Names(), keepOnNew ? QStringList({kNone, kNone + " (1)"}) : QStringList{kNone});
        EXPECT_EQ(tool->GetCharacterization(), tool->GetModel()->CharacterizationAt(Names().size() - 1));
        EXPECT_TRUE(host_.NotificationLog().filter("Characteriz").isEmpty());
    }
    tool_ = Build(false, &host_, &parent_);  // the hub's panel again

    const struct {
        int from;
        const char* slot;
        int to;
    } arrows[] = {{171, "OnUpArrow", 0}, {0, "OnDownArrow", 171}, {-1, "OnDownArrow", 171},
                  {-1, "OnUpArrow", 0},  {5, "OnUpArrow", 6},     {5, "OnDownArrow", 4}};
    for (const auto& a : arrows) {
        Model().SetEditedPart(a.from, true);
        Run(a.slot);
        EXPECT_EQ(Model().GetEditedPart(), a.to) << a.from << " " << a.slot;
        EXPECT_FALSE(Model().IsEditedPartReadWrite());
    }

    // Accepting the mirror dialog with its two pairs removed leaves the model no pair.
    MapSample();
    host_.MirrorMatching();
    ASSERT_TRUE(host_.IsMirrorToggle());
    for (const char* button : {"Cancel", "OK"}) {
        AnswerNextModal([button](QWidget* dialog) {
            ClickButton(dialog, "-");
            ClickButton(dialog, "-");
            ClickButton(dialog, button);
        });
        host_.ShowConfigureMirrorMatching();
        int mirrorNode = -1;
        QString mirrorJoint;
        Model().AssignNodeAndFindMirror(NodeId("LeftArm"), "Character1_LeftArm", mirrorNode, mirrorJoint);
        EXPECT_EQ(mirrorNode, QString(button) == "OK" ? -1 : NodeId("RightArm")) << button;
    }
}

TEST_F(PanelTest, HostEditsAreValidatedAtTheNextTick)
{
    MapSample();
    ASSERT_EQ(host_.CurrentCharacterizationState(false), IDCCHub::CharacterizationValid);
    const int hips = NodeId("Hips");
    QString joint = "x";
    bool inverted = true;
    const bool refused[] = {host_.AssignCharacterBone("Character1", 172, "Character1_Hips", false),
                            host_.AssignCharacterBone("Character1", -1, "Character1_Hips", false),
                            host_.AssignCharacterBone("Nobody", hips, "Character1_Hips", false),
                            host_.GetNodeAssignedToCharacterBone("Character1", 172, joint),
                            host_.GetBoneInvertedState("Character1", IDCCHub::InvertibleBone(4), inverted),
                            inverted};
    for (bool answer : refused)
        EXPECT_FALSE(answer);
    EXPECT_TRUE(host_.SetBoneInvertedState("Character1", IDCCHub::InvertibleBone(4), true));

    host_.ClearRecords();
    EXPECT_TRUE(host_.AssignCharacterBone("Character1", NodeId("HipsTranslation"), "", false));
    EXPECT_TRUE(host_.NotificationLog().filter("AssignedNode").isEmpty());

    auto* figure = tool_->findChild<SchematicWidget*>();
    const struct {
        std::function<bool()> edit;
        QStringList log;
        IDCCHub::CharacterizationState state;
        bool toggleInverted;
    } cases[] = {
        // clang-format off
        {[&] { return host_.AssignCharacterBone("Character1", hips, "", false); },
         {"UnregisterAssignedNode Character1_Hips"}, IDCCHub::CharacterizationError, false},
        {[&] { return host_.AssignCharacterBone("Character1", hips, "Character1_Hips", false); },
         {"RegisterAssignedNode Character1_Hips"}, IDCCHub::CharacterizationValid, false},
        {[&] { return host_.SetBoneInvertedState("Character1", IDCCHub::RightForeArmBone, true); },
         {}, IDCCHub::CharacterizationValid, true},
        // clang-format on
    };
    const auto shown = [&] {
        return std::make_pair(host_.CurrentCharacterizationState(false),
                              figure->FindInversionItem(NodeId("RightForeArm"))->IsInverted());
    };
    for (const auto& c : cases) {
        const auto before = shown();
        host_.ClearRecords();
        EXPECT_TRUE(c.edit());
        EXPECT_EQ(host_.NotificationLog().filter("AssignedNode"), c.log);
        EXPECT_TRUE(host_.NotificationLog().filter("UpdateDcc").isEmpty());
        EXPECT_EQ(shown(), before) << "validated before the tick";
        Tick();
        EXPECT_EQ(shown(), std::make_pair(c.state, c.toggleInverted));
    }
}

TEST_F(PanelTest, WithoutAHubUnlockingSkipsTheJointCheck)
{
    QWidget parent;
    CharacterTool* tool = Build(false, nullptr, &parent);
    parent.show();
    auto* solo = new Characterization("Solo", nullptr);
    solo->SetNodeName(NodeId("Hips"), "Gone");
    tool->SetCharacterization(solo);
    tool->GetModel()->SetEditMode(true);
    tool->DoToggleEditMode();
    EXPECT_FALSE(tool->GetModel()->IsLocked());
    EXPECT_EQ(solo->GetNodeName(NodeId("Hips")), "Gone");
}

TEST_F(PanelTest, TwoPanelsShareThePicturesAndADestroyedPanelLeavesTheHub)
{
    auto secondParent = std::make_unique<QWidget>();
    CharacterTool* second = Build(false, &host_, secondParent.get());
    host_.UpdateCharacterList({"Second"});
    delete tool_;  // not the hub's panel any more
    tool_ = nullptr;
    EXPECT_EQ(Names(), QStringList{"Second"});
    EXPECT_FALSE(second->GetBridge()->LoadSharedPicture("Bones/FullBody/Hips.png").isNull());
    secondParent->resize(second->sizeHint());
    secondParent->show();
    SaveScreenshot(second, "panel_second_after_first_destroyed");

    secondParent.reset();
    QStringList names;
    EXPECT_FALSE(host_.GetCharacterList(names));
}

TEST_F(PanelTest, AHostThatSignalsWhileThePanelGoesAwayReachesNothing)
{
    NoisyHost host;
    ASSERT_TRUE(host.LoadSkeletonFile(StandInHost::SamplePath("prefix_underscore.bvh")));
    auto parent = std::make_unique<QWidget>();
    CharacterTool* tool = Build(false, &host, parent.get());
    parent->show();
    host.UpdateCharacterList({"A", "B"});
    // A part picking: a selection change assigns the selected joint to it.
    host.SetSelection({"Character1_Hips"});
    tool->GetModel()->SetEditedPart(NodeId("Hips"), true);
    host.listAnswers.clear();
    host.ClearRecords();
    delete tool;  // shown: its views would still act on a selection change
    EXPECT_EQ(host.NotificationLog().filter("CharacterizationNode"),
              QStringList({"UnregisterCharacterizationNode A", "UnregisterCharacterizationNode B"}));
    EXPECT_EQ(host.listAnswers, QList<bool>({false, false}));
    EXPECT_TRUE(host.NotificationLog().filter("AssignedNode").isEmpty());
}

TEST_F(PanelTest, ThePanelShowsTheMappedSampleOnBothTabs)
{
    MapSample();
    Model().SetEditedPart(NodeId("LeftForeArm"), false);
    parent_.resize(tool_->sizeHint());
    auto* tabs = tool_->findChild<QTabWidget*>();
    for (int tab = 0; tab < 2; ++tab) {
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, Qt::NoModifier, tabs->tabBar()->tabRect(tab).center());
        EXPECT_EQ(tabs->currentIndex(), tab);
        SaveScreenshot(tool_, QStringLiteral("panel_tab_%1").arg(tab));
        // Nothing of the page is cut off at the panel's size.
        QWidget* page = tabs->currentWidget();
        EXPECT_GE(page->height(), page->minimumSizeHint().height()) << tab;
        EXPECT_GE(page->width(), page->minimumSizeHint().width()) << tab;
    }

    // Five-digit values widen the value fields; the labels beside them still
    // show whole at the panel's own width, and the panel asks for no more
    // room than before (a host window grown for it never shrinks back).
    const QSize least = tool_->minimumSizeHint();
    CharacterJointGeometry g;
    ASSERT_TRUE(host_.RestGeometry("Character1_LeftForeArm", g));
    g.SetTranslate(-10250.25f, -10250.25f, -10250.25f);
    ASSERT_TRUE(host_.SetJointGeometry("Character1_LeftForeArm", g));
    Tick();
    QCoreApplication::processEvents();
    for (QLabel* label : tabs->currentWidget()->findChildren<QLabel*>()) {
        const int wrap = label->wordWrap() ? Qt::TextWordWrap : 0;
        const QRect room = label->contentsRect() & label->visibleRegion().boundingRect();  // not cut by the page
        const QRect text = label->fontMetrics().boundingRect(room, int(label->alignment()) | wrap, label->text());
        EXPECT_TRUE(!label->isVisible() || room.contains(text))
            << label->text().toStdString() << " needs " << text.width() << "x" << text.height() << ", has "
            << room.width() << "x" << room.height();
    }
    EXPECT_EQ(tool_->minimumSizeHint(), least);
    SaveScreenshot(tool_, QStringLiteral("panel_five_digit_values"));
}

// Docked in less height than the views need, the page draws its figure
// smaller, down to half size, then scrolls: every row can still be seen
// whole, nothing is squeezed, and a click still finds its part. Given the
// room, the figure is drawn 1:1 and nothing scrolls.
TEST_F(PanelTest, AShortPanelDrawsItsFigureSmallerThenScrolls)
{
    MapSample();
    auto* tabs = tool_->findChild<QTabWidget*>();
    auto* figure = tool_->findChild<SchematicWidget*>();
    ASSERT_TRUE(tabs && figure);
    const struct {
        int height;
        double leastScale, mostScale;
        bool scrolls;
    } rows[] = {{tool_->sizeHint().height(), 1.0, 1.0, false}, {620, 0.5, 0.99, false}, {330, 0.5, 0.5, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.height);
        parent_.resize(tool_->sizeHint().width(), row.height);
        QTest::qWait(20);
        EXPECT_EQ(tool_->height(), row.height);
        for (int tab = 0; tab < 2; ++tab) {
            tabs->setCurrentIndex(tab);
            QTest::qWait(20);
            auto* page = qobject_cast<QScrollArea*>(tabs->currentWidget());
            if (!page) {
                ADD_FAILURE() << "the page is not in a scroll area";
                continue;
            }
            EXPECT_GE(page->widget()->height(), page->widget()->minimumSizeHint().height());
            EXPECT_EQ(page->verticalScrollBar()->isVisible(), row.scrolls)
                << page->widget()->minimumSizeHint().height() << " in " << page->viewport()->height();
            for (QWidget* field : page->widget()->findChildren<QWidget*>()) {
                if (!field->isVisibleTo(page) || (!qobject_cast<QLabel*>(field) && !qobject_cast<QLineEdit*>(field)))
                    continue;
                // The whole field: ensureWidgetVisible brings a line edit's
                // cursor into view, not the field.
                const QRect in(field->mapTo(page->widget(), QPoint(0, 0)), field->size());
                page->ensureVisible(in.center().x(), in.center().y(), in.width() / 2 + 1, in.height() / 2 + 1);
                const QRect at(field->mapTo(page->viewport(), QPoint(0, 0)), field->size());
                EXPECT_TRUE(page->viewport()->rect().contains(at)) << tab << ": a field at y " << at.y();
            }
            page->verticalScrollBar()->setValue(0);
            SaveScreenshot(&parent_, QStringLiteral("panel_%1_high_tab_%2").arg(row.height).arg(tab));
        }
        tabs->setCurrentIndex(0);
        // The figure leaves the wheel to the page it scrolls (a wheel event
        // the figure ignores goes on to its parents).
        const QPoint middle = figure->viewport()->rect().center();
        QWheelEvent wheel(middle, figure->viewport()->mapToGlobal(middle), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(figure->viewport(), &wheel);
        EXPECT_FALSE(wheel.isAccepted());
        if (auto* page = qobject_cast<QScrollArea*>(tabs->currentWidget()))
            page->ensureWidgetVisible(figure, 0, 0);
        EXPECT_GE(figure->GetPageScale(), row.leastScale);
        EXPECT_LE(figure->GetPageScale(), row.mostScale);
        const QPoint part =
            figure->mapFromScene(figure->FindPartItem(NodeId("LeftForeArm"))->sceneBoundingRect().center());
        QTest::mouseClick(figure->viewport(), Qt::LeftButton, Qt::NoModifier, part);
        EXPECT_EQ(Model().GetEditedPart(), NodeId("LeftForeArm"));
    }
}
