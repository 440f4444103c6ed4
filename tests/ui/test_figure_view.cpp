// The figure view, shown in a parent widget on the stand-in host with the "Character1_" sample, driven by
// clicks, double clicks, the context menu and the host's selection; and what the pictures show.
#include "ui_fixture.h"

#include "modal_answer.h"
#include "screenshot.h"
#include "ui/completer_widget.h"
#include "ui/part_item.h"
#include "ui/schematic_layout.h"
#include "ui/schematic_widget.h"

#include <QMenu>
#include <QVBoxLayout>
#include <QtTest/QTest>

namespace {

// The go-to arrows of the full-body page and the return arrow, by position.
const QPoint kLeftHands(354, 70), kRightHands(4, 70), kNeckArrow(179, 59), kReturn(8, 8);

bool Greenish(QRgb c) { return qGreen(c) > qRed(c) + 40 && qGreen(c) > qBlue(c) + 40; }
bool Reddish(QRgb c) { return qRed(c) > qGreen(c) + 40 && qRed(c) > qBlue(c) + 40; }

double Share(const QImage& shot, const QRect& box, bool (*test)(QRgb))  // of the box's pixels passing the test
{
    int hits = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            hits += test(shot.pixel(x, y));
    return double(hits) / (box.width() * box.height());
}

}  // namespace

class FigureViewTest : public UiModelTest {
protected:
    void SetUp() override
    {
        UiModelTest::SetUp();
        LoadSample("prefix_underscore.bvh");
        auto* layout = new QVBoxLayout(&parent_);
        layout->setContentsMargins(1, 1, 1, 1);
        view_ = new SchematicWidget(&parent_, bridge_.get(), &host_, &Model());
        layout->addWidget(view_);
        layout->addStretch();
        parent_.resize(420, 400);
        parent_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent_));
    }

    // A characterization bound to the host, every joint matched by name.
    void MapSample()
    {
        AddNamed("Character1");
        AutoMatchScene();
        host_.SetSelection({});
    }

    // View points: the middle of an item; a point 5 pixels into a layout
    // position (the corner of an arrow) of the current page.
    QPoint PointOf(const PartItem* item) const { return view_->mapFromScene(item->sceneBoundingRect().center()); }
    QPoint At(const QPoint& layout) const { return view_->mapFromScene(layout + QPoint(5, 5)); }
    PartItem* Part(const char* node) const { return view_->FindPartItem(NodeId(node)); }

    QWidget* Viewport() const { return view_->viewport(); }
    void Click(const QPoint& at, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mousePress(Viewport(), button, Qt::NoModifier, at);
        QTest::mouseRelease(Viewport(), button, Qt::NoModifier, at);
    }
    // A real double click: press, release, then the double-click event.
    void DoubleClick(const QPoint& at)
    {
        Click(at);
        QTest::mouseDClick(Viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    SchematicWidget* view_ = nullptr;
};

TEST_F(FigureViewTest, AClickSelectsTheJointOnlyOfAnAssignedNode)
{
    MapSample();
    struct {
        QPoint at;
        int edited;
        QStringList selected;  // SelectNode calls
    } const cases[] = {
        {PointOf(Part("LeftArm")), NodeId("LeftArm"), {"SelectNode Character1_LeftArm"}},
        {PointOf(Part("HipsTranslation")), NodeId("HipsTranslation"), {}},  // unassigned
        {PointOf(view_->GetStatusLight()), -1, {}},
        {QPoint(30, 300), -1, {}},  // background
    };
    for (const auto& c : cases) {
        host_.ClearRecords();
        Click(c.at);
        EXPECT_EQ(host_.NotificationLog().filter("SelectNode"), c.selected);
        EXPECT_EQ(Model().GetEditedPart(), c.edited);
        EXPECT_EQ(view_->GetEditedPartItem(), view_->FindPartItem(c.edited));
        EXPECT_TRUE(c.edited < 0 || view_->GetEditedPartItem()->GetSelectionMode() == kSelectionSelected);
    }
}

TEST_F(FigureViewTest, ADoubleClickPicksTheHostsSingleSelectedJoint)
{
    MapSample();
    Model().ClearNode(NodeId("LeftLeg"));
    PartItem* leg = Part("LeftLeg");
    const QPoint thigh = PointOf(Part("LeftUpLeg"));
    const QRgb before = view_->grab().toImage().pixel(thigh);

    DoubleClick(PointOf(leg));
    EXPECT_EQ(leg->GetSelectionMode(), kSelectionPicking);
    EXPECT_TRUE(Part("LeftUpLeg")->IsFaded() && !leg->IsFaded());
    EXPECT_LT(qGray(view_->grab().toImage().pixel(thigh)), qGray(before)) << "faded parts are darker";

    host_.SetSelection({"Character1_LeftLeg", "Character1_RightLeg"});  // two: nothing
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftLeg")), "");
    host_.SetSelection({"Character1_LeftLeg"});
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftLeg")), "Character1_LeftLeg");
    EXPECT_EQ(leg->GetSelectionMode(), kSelectionSelected);
    EXPECT_FALSE(Part("LeftUpLeg")->IsFaded());
    EXPECT_EQ(view_->grab().toImage().pixel(thigh), before) << "unfaded exactly";
}

TEST_F(FigureViewTest, ADoubleClickOnADefaultOrLockedCharacterizationOnlyTellsWhy)
{
    SaveScreenshot(&parent_, "figure_empty");
    for (bool locked : {false, true}) {
        if (locked) {
            MapSample();
            Model().SetEditMode(true);
        }
        boxes_.Answer(QMessageBox::Ok);
        DoubleClick(PointOf(Part("LeftLeg")));
        const ScriptedMessageBoxes::Box& box = boxes_.Boxes().back();
        EXPECT_EQ(box.title, locked ? "Characterization Locked" : "Characterization Not Created");
        EXPECT_TRUE(box.icon == QMessageBox::Warning && box.parent == view_);
        EXPECT_FALSE(Model().IsEditedPartReadWrite());
    }
}

TEST_F(FigureViewTest, ArrowsSwitchPagesAndADoubleClickOnOneDoesNothingMore)
{
    MapSample();
    Click(At(kLeftHands));
    EXPECT_EQ(view_->GetCurrentPage(), kPageHands);
    Click(At(kReturn));
    EXPECT_EQ(view_->GetCurrentPage(), kPageFullBody);

    // Under the neck arrow lies Neck8 of the neck page: the double click neither picks it nor complains.
    for (bool locked : {false, true}) {
        Model().SetEditMode(locked);
        view_->ShowPage(kPageFullBody);
        DoubleClick(At(kNeckArrow));
        EXPECT_EQ(view_->GetCurrentPage(), kPageNeck);
        EXPECT_EQ(Model().GetEditedPart(), -1);
        EXPECT_TRUE(boxes_.Boxes().empty());
    }
}

TEST_F(FigureViewTest, ANodeOfAnotherPageMadeEditedShowsItsPageWithoutStaleFading)
{
    MapSample();
    DoubleClick(PointOf(Part("LeftArm")));
    ASSERT_TRUE(Part("Hips")->IsFaded());

    // As the name-match list does: the edited part moves to the neck page.
    Model().SetEditedPart(NodeId("Neck8"), true);
    EXPECT_EQ(view_->GetCurrentPage(), kPageNeck);
    EXPECT_EQ(Part("Neck8")->GetSelectionMode(), kSelectionPicking);
    EXPECT_TRUE(Part("Neck1")->IsFaded());
    EXPECT_FALSE(Part("Hips")->IsFaded()) << "the page left behind stays faded";

    // Another part of the page starts picking: it must not stay faded.
    Model().SetEditedPart(NodeId("Neck1"), true);
    EXPECT_FALSE(Part("Neck1")->IsFaded());
    EXPECT_TRUE(Part("Neck8")->IsFaded());
}

TEST_F(FigureViewTest, HoveringAnInvertiblePartShowsItsToggle)
{
    MapSample();
    InversionItem* toggle = view_->FindInversionItem(NodeId("LeftLeg"));
    ASSERT_TRUE(toggle);
    const auto moveTo = [this](const QPoint& at) {
        QMouseEvent move(QEvent::MouseMove, at, Viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(Viewport(), &move);
    };
    moveTo(PointOf(Part("LeftLeg")));
    EXPECT_TRUE(toggle->isVisible());
    moveTo(QPoint(30, 300));
    EXPECT_FALSE(toggle->isVisible());
    Click(PointOf(Part("LeftLeg")));  // the edited part keeps it
    moveTo(QPoint(30, 300));
    EXPECT_TRUE(toggle->isVisible());
}

TEST_F(FigureViewTest, FadingSetsTheAlphaOfEveryPixelTheTransparentOnesToo)
{
    QPixmap hips = bridge_->LoadSharedPicture("Bones/FullBody/Hips.png");
    FadePixmap(hips, 50);
    const QImage faded = hips.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < faded.height(); ++y)
        for (int x = 0; x < faded.width(); ++x)
            ASSERT_EQ(qAlpha(faded.pixel(x, y)), 50) << x << "," << y;
}

// Mapped, then: the left hand raised (a warning), the right hand on its forearm joint (errors), a hole in
// the left index finger (an error).
class FigureStatesTest : public FigureViewTest {
protected:
    void SetUp() override
    {
        FigureViewTest::SetUp();
        MapSample();
        SaveScreenshot(&parent_, "figure_mapped");
        CharacterJointGeometry hand, fore;
        host_.RestGeometry("Character1_RightHand", hand);
        host_.RestGeometry("Character1_RightForeArm", fore);
        handShift_ = fore.GetTranslate()[0] - hand.GetTranslate()[0];
        host_.MoveJoint("Character1_RightHand", handShift_, 0, 0);
        host_.MoveJoint("Character1_LeftHand", 0, 3, 0);
        Model().ClearNode(NodeId("LeftHandIndex2"));
    }
    QString Message(const char* node) { return QString::fromStdString(Model().NodeStatusAt(NodeId(node)).message); }
    QString Status() { return QString::fromStdString(Model().GetStatus().message); }
    float handShift_ = 0;
};

TEST_F(FigureStatesTest, PartsArrowsAndTheStatusLightFollowTheModel)
{
    ASSERT_FALSE(Message("RightHand").isEmpty());
    struct {
        PartItem* item;
        int state;
        QString toolTip;
    } const cases[] = {
        {Part("Hips"), kPartValid, "Hips - Character1_Hips"},
        {Part("LeftHand"), kPartWarning, "LeftHand - Character1_LeftHand"},
        {Part("RightHand"), kPartError, "RightHand - Character1_RightHand\n" + Message("RightHand")},
        {Part("LeftHandIndex3"), kPartError,
         "LeftHandIndex3 - Character1_LeftHandIndex3\n" + Message("LeftHandIndex3")},
        {Part("LeftHandIndex2"), kPartUnassigned, "LeftHandIndex2"},
        {Part("LeftFootExtraFinger1"), kPartUnassigned, "LeftFootBigToe1"},
        {FindPartItemAt(view_, At(kLeftHands)), kPartError, "To Hands View"},  // left hand only
        {FindPartItemAt(view_, At(kRightHands)), kPartValid, "To Hands View"},
        {view_->GetStatusLight(), kPartError, "Validation status\n" + Status()},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.item);
        EXPECT_EQ(c.item->GetState(), c.state) << c.toolTip.toStdString();
        EXPECT_EQ(c.item->toolTip(), c.toolTip);
    }

    const QImage shot = view_->grab().toImage();
    const auto box = [this](const char* node) {
        return view_->mapFromScene(Part(node)->sceneBoundingRect()).boundingRect();
    };
    EXPECT_GT(Share(shot, box("LeftUpLeg"), Greenish), 0.25);
    EXPECT_GT(Share(shot, box("RightForeArm"), Reddish), 0.25);
    EXPECT_EQ(Share(shot, box("RightForeArm"), Greenish), 0.0);
    EXPECT_EQ(shot.pixel(2, 200), qRgb(68, 68, 68)) << "the page colour around the page";
    SaveScreenshot(&parent_, "figure_states");
    for (const QPoint& arrow :
         {kLeftHands, QPoint(240, 355), kNeckArrow, QPoint(179, 110), QPoint(201, 74), QPoint(157, 74)}) {
        Click(At(arrow));
        SaveScreenshot(view_, QStringLiteral("figure_view_page_%1").arg(view_->GetCurrentPage()));
        Click(At(kReturn));
    }
    Click(PointOf(Part("RightForeArm")));
    SaveScreenshot(view_, "figure_selected_error");
    DoubleClick(PointOf(Part("LeftArm")));
    SaveScreenshot(view_, "figure_picking_warning");

    Model().AssignNode(NodeId("LeftHandIndex2"), "Character1_LeftHandIndex2");
    host_.MoveJoint("Character1_RightHand", -handShift_, 0, 0);
    Tick();
    ASSERT_EQ(Model().GetStatus().state, kStateWarning);
    EXPECT_EQ(view_->GetStatusLight()->GetState(), kPartWarning);
    EXPECT_EQ(view_->GetStatusLight()->toolTip(), "Validation status\n" + Status());
}

class FigureMenuTest : public FigureViewTest {
protected:
    QStringList EnabledEntries(const QPoint& at)
    {
        QStringList enabled;
        const std::unique_ptr<QMenu> menu = view_->BuildContextMenu(at);
        for (QAction* action : menu->actions())
            enabled << (!action->isSeparator() && action->isEnabled() ? action->text() : QString());
        enabled.removeAll(QString());
        return enabled;
    }
    void Choose(const QPoint& at, const QString& entry)
    {
        const std::unique_ptr<QMenu> menu = view_->BuildContextMenu(at);
        QAction* action = FindMenuEntry(menu.get(), entry);
        ASSERT_TRUE(action && action->isEnabled()) << entry.toStdString();
        action->trigger();
    }
};

TEST_F(FigureMenuTest, EntriesAreEnabledByCharacterizationPartAndSelection)
{
    const QString assign = "Assign Selected Bone", change = "Change Assigned Bone...", clear = "Clear",
                  view = "Clear All in View", all = "Clear All", invert = "Invert Joint";
    const QPoint leg = PointOf(Part("LeftLeg")), arm = PointOf(Part("LeftArm"));
    host_.SetSelection({"Character1_Hips"});
    EXPECT_EQ(EnabledEntries(leg), QStringList()) << "the default characterization";
    MapSample();
    host_.SetSelection({"Character1_Hips"});
    EXPECT_EQ(EnabledEntries(leg), QStringList({assign, change, clear, view, all, invert}));
    EXPECT_EQ(EnabledEntries(arm), QStringList({assign, change, clear, view, all}));
    EXPECT_EQ(EnabledEntries(QPoint(30, 300)), QStringList({view, all}));
    EXPECT_EQ(EnabledEntries(At(kNeckArrow)), QStringList({clear, view, all}));
    host_.SetSelection({});
    EXPECT_EQ(EnabledEntries(leg), QStringList({change, clear, view, all, invert}));
    view_->ShowPage(kPageNeck);
    EXPECT_EQ(EnabledEntries(At(kReturn)), QStringList({view, all})) << "a return arrow stands for no node";
    Model().SetEditMode(true);
    EXPECT_EQ(EnabledEntries(PointOf(Part("Neck1"))), QStringList()) << "locked";
}

TEST_F(FigureMenuTest, EntriesClearInvertAndAssign)
{
    MapSample();
    // Through the real menu once: right click, then the entry.
    AnswerNextPopup([](QMenu* menu) { ClickMenuEntry(menu, "Clear"); });
    Click(PointOf(Part("LeftArm")), Qt::RightButton);
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftArm")), "");
    Choose(At(kNeckArrow), "Clear");  // the arrow's own node
    EXPECT_EQ(Model().GetNodeHostName(NodeId("Neck")), "");

    host_.SetSelection({"Character1_LeftArm"});
    Choose(PointOf(Part("LeftArm")), "Assign Selected Bone");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftArm")), "Character1_LeftArm");
    EXPECT_EQ(Part("LeftArm")->GetSelectionMode(), kSelectionSelected);

    host_.ClearRecords();
    for (bool inverted : {true, false}) {
        Choose(PointOf(Part("RightForeArm")), "Invert Joint");
        EXPECT_EQ(view_->FindInversionItem(NodeId("RightForeArm"))->IsInverted(), inverted);
    }
    EXPECT_EQ(host_.NotificationLog().filter("Inverted"),
              QStringList({"UpdateDccBoneInvertedState 13|1", "UpdateDccBoneInvertedState 13|0"}));

    view_->ShowPage(kPageHands);
    Choose(PointOf(Part("LeftHandIndex1")), "Clear All in View");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftHandIndex1")), "");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftHand")), "Character1_LeftHand") << "not on the page";
    Choose(PointOf(Part("LeftHandIndex1")), "Clear All");
    EXPECT_EQ(AssignedCount(), 0);
}

TEST_F(FigureMenuTest, CompletionOpensAtThePartAndKeepsTheNormalLook)
{
    MapSample();
    PartItem* arm = Part("LeftArm");
    const QRectF box = arm->sceneBoundingRect();
    const QPoint corner = Viewport()->mapToGlobal(view_->mapFromScene(QPointF(int(box.right()), int(box.bottom()))));
    AnswerNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<CompleterWidget*>(modal);
        ASSERT_TRUE(dialog);
        EXPECT_EQ(dialog->pos(), corner);
        const QImage look = dialog->grab().toImage();  // beside the buttons: the dialog's own background
        EXPECT_NE(look.pixel(look.width() - 2, look.height() - 2), qRgb(68, 68, 68)) << "the view's colour spread";
        SaveScreenshot(dialog, "figure_completion");
        dialog->findChild<QLineEdit*>()->setText("Character1_LeftForeArm");
        ClickButton(dialog, "Ok");
    });
    boxes_.Answer(QMessageBox::Yes).Answer(QMessageBox::Ok);  // change, then clear the forearm
    Choose(PointOf(arm), "Change Assigned Bone...");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftArm")), "Character1_LeftForeArm");
    EXPECT_EQ(boxes_.Boxes().front().parent, &parent_);
}

TEST_F(FigureMenuTest, WithoutAHubOrACharacterizationTheHostIsLeftAlone)
{
    MapSample();
    SchematicWidget alone(&parent_, bridge_.get(), nullptr, &Model());
    alone.show();
    view_ = &alone;
    host_.SetSelection({"Character1_Hips"});
    host_.ClearRecords();
    QTest::mouseClick(alone.viewport(), Qt::LeftButton, Qt::NoModifier, PointOf(Part("LeftLeg")));
    EXPECT_TRUE(host_.NotificationLog().filter("SelectNode").isEmpty());
    EXPECT_EQ(Part("LeftLeg")->GetSelectionMode(), kSelectionSelected);
    EXPECT_EQ(EnabledEntries(PointOf(Part("LeftLeg"))),
              QStringList({"Clear", "Clear All in View", "Clear All", "Invert Joint"}));

    Model().RemoveCurrentCharacterization();
    alone.SyncViewOnModel();
    EXPECT_EQ(Part("Hips")->GetState(), kPartUnassigned);
    EXPECT_EQ(alone.GetStatusLight()->GetState(), kPartUnassigned);
    EXPECT_EQ(EnabledEntries(PointOf(Part("LeftLeg"))), QStringList());
}

// Without a hub "--- None ---" needs no registering with a host first, so the
// figure edits it as any other characterization.
TEST_F(FigureMenuTest, WithoutAHubTheDefaultCharacterizationIsEdited)
{
    SchematicWidget alone(&parent_, bridge_.get(), nullptr, &Model());
    alone.show();
    view_ = &alone;
    ASSERT_EQ(Model().GetCurrentCharacterization()->GetName(), IDCCHub::GetDefaultCharacterNodeName());
    EXPECT_EQ(EnabledEntries(PointOf(Part("LeftLeg"))),
              QStringList({"Clear", "Clear All in View", "Clear All", "Invert Joint"}));
    DoubleClick(PointOf(Part("LeftLeg")));  // no box: an unexpected one fails the test
    EXPECT_EQ(Model().GetEditedPart(), NodeId("LeftLeg"));
    EXPECT_TRUE(Model().IsEditedPartReadWrite());
}
