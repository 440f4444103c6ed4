// The property view beneath the name-match list: what it shows of the edited
// node, and the joint field's double click.
#include "view_fixture.h"

#include "screenshot.h"

#include <QGridLayout>
#include <QLocale>
#include <QTextEdit>

namespace {

class PropertyViewTest : public ViewTest {
protected:
    QLineEdit* Field(int gridRow, int column) const
    {
        auto* grid = static_cast<QGridLayout*>(view_->layout());
        return qobject_cast<QLineEdit*>(grid->itemAtPosition(gridRow, column)->widget());
    }
    QStringList Row(int gridRow) const
    {
        return {Field(gridRow, 1)->text(), Field(gridRow, 2)->text(), Field(gridRow, 3)->text()};
    }
    std::vector<bool> Enabled(int gridRow) const
    {
        return {Field(gridRow, 1)->isEnabled(), Field(gridRow, 2)->isEnabled(), Field(gridRow, 3)->isEnabled()};
    }
    QString Validation() const { return view_->findChild<QTextEdit*>()->toPlainText(); }
    QLineEdit* JointField() const { return Field(1, 1); }
    void DoubleClickJoint(Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(JointField(), button);
        QTest::mouseDClick(JointField(), button);
    }
    // Runs the action; answers whether it opened a modal dialog (closed again).
    static bool OpensDialog(const std::function<void()>& action)
    {
        bool opened = false;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&opened] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                opened = true;
                dialog->reject();
            }
        });
        closer.start(10);
        action();
        QTest::qWait(30);
        return opened;
    }

    // The rest geometry the host answers for LeftArm from now on.
    CharacterJointGeometry Rest()
    {
        CharacterJointGeometry g;
        dcc_.RestGeometry("LeftArm", g);
        return g;
    }
    void SetRest(const CharacterJointGeometry& g)
    {
        ASSERT_TRUE(dcc_.SetJointGeometry("LeftArm", g));
        Tick();
    }
};

struct EulerCase {
    float q[4];
    QStringList shown;
};

TEST_F(PropertyViewTest, RotationsShowAsEulerDegreesWithAPointInEveryLocale)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    MatchScene();
    Click(ItemOf("LeftArm"));
    // clang-format off
    const EulerCase cases[] = {
        {{0, 0, 0, 1}, {"0.000", "0.000", "0.000"}},
        {{0.0000005f, 0, 0, 1}, {"0.000", "0.000", "0.000"}},
        {{0, 0.25881904f, 0, 0.96592583f}, {"0.000", "30.000", "0.000"}},   // 30 degrees about Y
        {{0, 0.7071068f, 0, 0.7071068f}, {"0.000", "90.000", "0.000"}},     // t just below -0.499999: a pole
        {{0.5f, -0.5f, 0.5f, 0.5f}, {"90.000", "-90.000", "0.000"}},        // t = 0.5: the other pole
    };
    // clang-format on
    for (const EulerCase& c : cases) {
        CharacterJointGeometry g = Rest();
        g.SetRotateQ(c.q[0], c.q[1], c.q[2], c.q[3]);
        g.SetPreRotQ(c.q[0], c.q[1], c.q[2], c.q[3]);
        g.SetPostRotQ(c.q[0], c.q[1], c.q[2], c.q[3]);
        SetRest(g);
        for (int gridRow : {3, 5, 6})  // Rotate, Pre-rotate, Post-rotate
            EXPECT_EQ(Row(gridRow), c.shown) << c.q[0] << " " << c.q[1] << " " << c.q[2] << " " << c.q[3];
    }

    CharacterJointGeometry g = Rest();
    g.SetScale(1.5f, -0.25f, 2);
    g.SetMinRLimit(-0.5f, 0, 0.5f);
    g.SetMaxRLimit(1, 1, 1);
    g.SetMinRLimitEnable(true, false, true);
    g.SetMaxRLimitEnable(false, true, false);
    g.SetRotationOrder(VLMRotationOrder(4));
    SetRest(g);
    QLocale::setDefault(before);
    EXPECT_EQ(Row(4), QStringList({"1.500", "-0.250", "2.000"}));
    EXPECT_EQ(Row(7), QStringList({"-28.648", "0.000", "28.648"}));
    EXPECT_EQ(Enabled(7), std::vector<bool>({true, false, true}));
    EXPECT_EQ(Row(8), QStringList({"57.296", "57.296", "57.296"}));
    EXPECT_EQ(Enabled(8), std::vector<bool>({false, true, false}));
    EXPECT_EQ(Field(10, 1)->text(), RotationOrderDisplayName(VLMRotationOrder(4)));
    SaveScreenshot(&page_, "property_view_values");
}

TEST_F(PropertyViewTest, ShowsTheRigNameTheJointAndTheWholeCharacterizationsState)
{
    EXPECT_EQ(Field(0, 1)->text(), "No node selected.");
    EXPECT_EQ(Validation(), "Missing required bones.");

    MatchScene();
    Click(ItemOf("LeftFootExtraFinger1"));  // shown in the list as LeftFootBigToe1
    EXPECT_EQ(Field(0, 1)->text(), "LeftFootExtraFinger1");
    EXPECT_EQ(JointField()->text(), "");
    for (int gridRow = 2; gridRow < 10; ++gridRow) {
        EXPECT_EQ(Row(gridRow), QStringList({"", "", ""})) << gridRow;
        EXPECT_EQ(Enabled(gridRow), std::vector<bool>({true, true, true})) << gridRow;
    }
    EXPECT_EQ(Field(10, 1)->text(), "");
    EXPECT_EQ(Validation(), "Characterization is valid.");

    Click(ItemOf("Hips"));
    EXPECT_EQ(JointField()->text(), "Hips");
    EXPECT_EQ(Field(1, 4)->text(), "Hips");  // the click selected it in the host
    dcc_.SetSelection({"Hips", "Spine"});
    EXPECT_EQ(Field(1, 4)->text(), "");
    dcc_.SetSelection({"Spine"});
    EXPECT_EQ(Field(1, 4)->text(), "Spine");

    Model().ClearNode(NodeId("Spine1"));
    EXPECT_EQ(Validation(), QString::fromStdString(Model().GetStatus().message));
    EXPECT_TRUE(Model().GetStatus().IsError());
    Model().RemoveCurrentCharacterization();
    Model().Refresh();
    EXPECT_EQ(JointField()->text(), "");
    EXPECT_EQ(Validation(), "Not enough information to validate.");
}

TEST_F(PropertyViewTest, DoubleClickOnTheJointAssignsThroughTheCompletionDialog)
{
    Model().AssignNode(NodeId("LeftArm"), "LeftArm");
    Click(ItemOf("LeftArm"));

    bool refused = false;
    AnswerCompletion("", &refused);
    DoubleClickJoint();
    EXPECT_TRUE(refused);
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftArm")), "LeftArm");

    boxes_.Answer(QMessageBox::Yes);
    AnswerCompletion("leftforearm");
    DoubleClickJoint();
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftArm")), "LeftForeArm");
    EXPECT_EQ(boxes_.Boxes().at(0).parent, &page_);

    EXPECT_FALSE(OpensDialog([this] { DoubleClickJoint(Qt::RightButton); }));
    Current().SetLocked(true);
    EXPECT_FALSE(OpensDialog([this] { DoubleClickJoint(); }));

    // The default characterization cannot be edited here either.
    Model().SetCurrentCharacterization(0);
    Model().SetEditedPart(NodeId("LeftArm"), false);
    boxes_.Answer(QMessageBox::Ok);
    EXPECT_FALSE(OpensDialog([this] { DoubleClickJoint(); }));
    EXPECT_EQ(boxes_.Titles().last(), "Characterization Not Created");
    EXPECT_EQ(boxes_.Texts().last(), "You must create a new characterization before you can edit its bone mappings.");
}

TEST_F(PropertyViewTest, WithoutAHubNothingAsksTheHost)
{
    NameMatchWidget list(&page_, nullptr, bridge_.get(), model_.get());
    PropertyView view(&page_, nullptr, model_.get());
    list.resize(392, 380);
    list.show();
    view.show();
    Model().AssignNode(NodeId("LeftArm"), "LeftArm");
    Model().SetEditedPart(NodeId("LeftArm"), false);
    dcc_.SetSelection({"LeftHand"});

    auto* tree = list.findChild<NameMatchTreeWidget*>();
    AnswerNextPopup([](QMenu* menu) {
        EXPECT_FALSE(FindMenuEntry(menu, "Assign Selected Bone")->isEnabled());  // no selection without a host
        ClickMenuEntry(menu, "Change Assigned Bone...");
    });
    EXPECT_FALSE(OpensDialog([tree] {
        QTest::mouseClick(tree->viewport(), Qt::RightButton, Qt::NoModifier,
                          tree->visualItemRect(tree->currentItem()).center());
    }));
    auto* joint = static_cast<QGridLayout*>(view.layout())->itemAtPosition(1, 1)->widget();
    EXPECT_FALSE(OpensDialog([joint] { QTest::mouseDClick(joint, Qt::LeftButton); }));
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftArm")), "LeftArm");
    EXPECT_TRUE(dcc_.NotificationLog().filter("SelectNode").isEmpty());
}

}  // namespace
