// The "Name Match" tab as the panel lays it out (the list above a property view), on a host that announces
// from inside SelectNode the selection it makes; characterization "Hero", joints with the rig's own names.
#include "ui_fixture.h"

#include "emitting_host.h"
#include "modal_answer.h"
#include "screenshot.h"
#include "ui/name_match_widget.h"
#include "ui/property_view.h"

#include <QGridLayout>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

class ViewTest : public UiModelTest {
protected:
    void SetUp() override
    {
        UiModelTest::SetUp();
        ASSERT_TRUE(dcc_.LoadSkeletonFile(StandInHost::SamplePath("rig_names.bvh")));
        model_ = std::make_unique<CharacterizationModel>(bridge_.get(), &dcc_);
        dcc_.AddCharacterizationNode("Hero");
        model_->AddCharacterization(new Characterization("Hero", &dcc_));
        auto* layout = new QVBoxLayout(&page_);
        layout->setContentsMargins(1, 1, 1, 1);
        layout->addWidget(list_ = new NameMatchWidget(&page_, &dcc_, bridge_.get(), model_.get()));
        layout->addWidget(view_ = new PropertyView(&page_, &dcc_, model_.get()));
        list_->setMinimumHeight(380);
        page_.resize(392, 660);
        page_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&page_));
        tree_ = list_->findChild<NameMatchTreeWidget*>();
    }
    void TearDown() override  // the model's characterizations unregister with this fixture's host
    {
        delete list_;
        delete view_;
        model_.reset();
    }
    void MatchScene()
    {
        dcc_.SetSelection(dcc_.JointNames());
        model_->AutoMatch();
        dcc_.SetSelection({});
    }
    QList<QTreeWidgetItem*> Items(int node) const
    {
        return tree_->findItems(NodeDisplayName(node) + " : ", Qt::MatchStartsWith | Qt::MatchRecursive);
    }
    // A group, or a node's first item.
    QTreeWidgetItem* Item(const char* name) const
    {
        const auto groups = tree_->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        return groups.isEmpty() ? Items(NodeId(name)).value(0) : groups[0];
    }
    // "Gray" ... "Red_Highlight": which of the eight bubbles the item shows.
    QString Bubble(const char* name) const
    {
        const QImage shown = Item(name)->icon(0).pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        for (QString bubble : {"Gray", "Green", "Orange", "Red", "Gray_Highlight", "Green_Highlight",
                               "Orange_Highlight", "Red_Highlight"}) {
            const QPixmap picture = bridge_->LoadSharedPicture("BubbleSmall_" + bubble + ".png");
            if (picture.toImage().convertToFormat(QImage::Format_ARGB32) == shown)
                return bubble;
        }
        return "none";
    }
    // A click; a double click as the window system delivers it (click, then the double click).
    void Click(const char* name, Qt::MouseButton button = Qt::LeftButton, bool twice = false)
    {
        tree_->scrollToItem(Item(name));
        const QPoint at = tree_->visualItemRect(Item(name)).center();
        QTest::mouseClick(tree_->viewport(), button, Qt::NoModifier, at);
        if (twice)
            QTest::mouseDClick(tree_->viewport(), button, Qt::NoModifier, at);
    }
    void Choose(const char* name, const char* entry)
    {
        AnswerNextPopup([entry](QMenu* menu) { ClickMenuEntry(menu, entry); });
        Click(name, Qt::RightButton);
    }
    QLineEdit* Field(int gridRow, int column, QWidget* view = nullptr) const
    {
        auto* grid = static_cast<QGridLayout*>((view ? view : view_)->layout());
        return qobject_cast<QLineEdit*>(grid->itemAtPosition(gridRow, column)->widget());
    }
    // The three value fields of a grid row; "(off)" marks a disabled one.
    QString Row(int gridRow) const
    {
        QStringList texts;
        for (QLineEdit* field : {Field(gridRow, 1), Field(gridRow, 2), Field(gridRow, 3)})
            texts << field->text() + (field->isEnabled() ? "" : "(off)");
        return texts.join(' ');
    }
    QString Validation() const { return view_->findChild<QTextEdit*>()->toPlainText(); }
    QString Joint(const char* node) { return Model().GetNodeHostName(NodeId(node)); }

    EmittingHost dcc_;
    QWidget page_;
    NameMatchWidget* list_ = nullptr;
    PropertyView* view_ = nullptr;
    NameMatchTreeWidget* tree_ = nullptr;
};

TEST_F(ViewTest, ListTextsAndBubblesFollowTheModel)
{
    SaveScreenshot(&page_, "name_match_empty");
    MatchScene();
    Model().ClearNode(NodeId("Spine1"));    // Spine2 now follows a hole: an error
    Model().ClearNode(NodeId("LeftHand"));  // a required node: its group and the whole are errors
    EXPECT_EQ(Item("Hips")->text(0) + "|" + Item("LeftHand")->text(0), "Hips : <Hips>|LeftHand : <Undefined>");
    for (int node : {8, 20}) {  // in its base group, again at the head of its chain
        const QList<QTreeWidgetItem*> items = Items(node);
        ASSERT_EQ(items.size(), 2);
        EXPECT_EQ(items[0]->parent()->text(0) + items[1]->parent()->text(0),
                  node == 8 ? "Base (required)Spine" : "AuxiliaryNeck");
        EXPECT_EQ(items[1]->parent()->indexOfChild(items[1]), 0);
        EXPECT_EQ(items[0]->text(0), items[1]->text(0));
        EXPECT_EQ(items[0]->icon(0).cacheKey(), items[1]->icon(0).cacheKey());
    }
    EXPECT_TRUE(Items(0).isEmpty() && Items(170).isEmpty() && Items(171).isEmpty());
    QStringList bubbles;
    for (const char* name : {"Hips", "LeftHand", "Spine2", "Base (required)", "Spine", "Left Hand", "Body"})
        bubbles << Bubble(name);
    EXPECT_EQ(bubbles.join(' '), "Green Gray Red Red Red Green Red");
    SaveScreenshot(&page_, "name_match_errors");

    Model().AssignNode(NodeId("LeftHand"), "LeftHand");
    Model().AssignNode(NodeId("Spine1"), "Spine1");
    Model().Refresh();
    EXPECT_EQ(Bubble("Base (required)") + Bubble("Body"), "GreenGreen");
    SaveScreenshot(&page_, "name_match_matched");

    Model().RemoveCurrentCharacterization();  // without one, nothing shows as assigned
    Model().Refresh();
    EXPECT_EQ(Item("Hips")->text(0) + Bubble("Hips") + Bubble("Body"), "Hips : <Undefined>GrayGray");
    EXPECT_EQ(Validation(), "Not enough information to validate.");
}

TEST_F(ViewTest, ClicksEditNodesAndHostSelectionsAssignToTheCurrentOne)
{
    MatchScene();
    Model().ClearNode(NodeId("Spine1"));
    Click("Hips", Qt::LeftButton, true);
    EXPECT_TRUE(Model().IsEditedPartReadWrite());
    EXPECT_EQ(Bubble("Hips"), "Green_Highlight");
    Model().Refresh();  // a re-read puts the normal bubble back
    EXPECT_EQ(Bubble("Hips"), "Green");
    Click("Spine2", Qt::LeftButton, true);  // an error node being edited stays red
    EXPECT_EQ(Bubble("Spine2"), "Red_Highlight");
    SaveScreenshot(&page_, "name_match_highlight_error");

    // The click on Hips makes the host announce Hips while Spine2 is picking: nothing lands on Spine2, no question.
    dcc_.ClearRecords();
    Click("Hips");
    EXPECT_FALSE(Model().IsEditedPartReadWrite());
    EXPECT_EQ(Bubble("Hips") + Bubble("Spine2"), "GreenRed");
    EXPECT_EQ(dcc_.NotificationLog().filter("SelectNode"), QStringList{"SelectNode Hips"});
    EXPECT_EQ(Field(1, 4)->text(), "Hips");

    Model().ClearNode(NodeId("LeftHand"));
    Click("LeftHand", Qt::LeftButton, true);
    dcc_.SetSelection({"LeftHand", "LeftForeArm"});
    list_->hide();
    dcc_.SetSelection({"LeftHand"});
    list_->show();
    // Marking is no edit request: a part picking stays picking. Node 8 is marked in "Base (required)"; a node
    // without an item leaves nothing current, as no node does, so the selection below lands nowhere.
    for (int node : {8, 170, 8, -1, 8, 0}) {
        Model().SetEditedPart(node, true);
        EXPECT_EQ(tree_->currentItem(), node == 8 ? Items(8)[0] : nullptr) << node;
        EXPECT_TRUE(Model().IsEditedPartReadWrite()) << node;
    }
    dcc_.SetSelection({"LeftHand"});
    EXPECT_EQ(Joint("LeftHand") + Joint("Spine") + Joint("Reference"), "SpineReference");

    Click("LeftHand", Qt::LeftButton, true);
    dcc_.SetSelection({"LeftHand"});
    EXPECT_EQ(Joint("LeftHand"), "LeftHand");
}

TEST_F(ViewTest, MenuEnablesTheEntriesThatCanAct)
{
    struct Case {
        const char* item;
        QStringList selection;
        bool locked, defaultCharacterization;
        QString enabled;  // Assign, Change, Clear, Clear All, Invert
    };
    // clang-format off
    const Case cases[] = {
        {"LeftArm", {"LeftArm"}, false, false, "11110"},
        {"LeftArm", {}, false, false, "01110"},
        {"LeftLeg", {"LeftArm"}, false, false, "11111"},
        {"Base (required)", {"LeftArm"}, false, false, "00110"},
        {"LeftLeg", {"LeftArm"}, true, false, "00000"},
        {"LeftLeg", {"LeftArm"}, false, true, "00000"},
    };
    // clang-format on
    for (const Case& c : cases) {
        Model().SetCurrentCharacterization(c.defaultCharacterization ? 0 : 1);  // 0: "--- None ---"
        Current().SetLocked(c.locked);
        dcc_.SetSelection(c.selection);
        QString enabled;
        AnswerNextPopup([&enabled](QMenu* menu) {
            for (QString entry :
                 {"Assign Selected Bone", "Change Assigned Bone...", "Clear", "Clear All", "Invert Joint"})
                enabled += FindMenuEntry(menu, entry)->isEnabled() ? "1" : "0";
            menu->close();
        });
        Click(c.item, Qt::RightButton);
        EXPECT_EQ(enabled, c.enabled) << c.item << c.locked << c.defaultCharacterization;
        Current().SetLocked(false);
    }
}

TEST_F(ViewTest, MenuEntriesActAndDoubleClicksRefuseWhatCannotBeEdited)
{
    MatchScene();
    Choose("LeftArm", "Clear");
    EXPECT_EQ(Item("LeftArm")->text(0), "LeftArm : <Undefined>");
    Choose("LeftLeg", "Invert Joint");
    EXPECT_TRUE(Current().GetBoneInversion().flags[IDCCHub::LeftLegBone]);
    dcc_.SetSelection({"LeftArm", "LeftHand"});  // enabled, but two joints assign nothing
    Choose("LeftArm", "Assign Selected Bone");
    EXPECT_EQ(Joint("LeftArm"), "");
    dcc_.SetSelection({"LeftArm"});
    Choose("LeftArm", "Assign Selected Bone");
    EXPECT_EQ(Joint("LeftArm"), "LeftArm");
    EXPECT_FALSE(Model().IsEditedPartReadWrite());

    bool refused = false;
    AnswerNextCompletion("", &refused);  // an empty completion is refused
    Choose("LeftForeArm", "Change Assigned Bone...");
    EXPECT_TRUE(refused);
    boxes_.Answer(QMessageBox::Yes).Answer(QMessageBox::Ok);
    AnswerNextCompletion("lefthand");
    Choose("LeftForeArm", "Change Assigned Bone...");
    EXPECT_EQ(Joint("LeftForeArm") + "|" + Joint("LeftHand"), "LeftHand|");
    Choose("Body", "Clear All");
    EXPECT_EQ(AssignedCount(), 0);

    boxes_.Answer(QMessageBox::Ok).Answer(QMessageBox::Ok);
    Current().SetLocked(true);
    Click("Hips", Qt::LeftButton, true);
    Model().SetCurrentCharacterization(0);  // "--- None ---"
    Click("Hips", Qt::LeftButton, true);
    EXPECT_EQ(boxes_.Titles().mid(2), QStringList({"Characterization Locked", "Characterization Not Created"}));
    EXPECT_EQ(boxes_.Texts().last(), "You must create a new characterization before you can edit its bone mappings.");
    EXPECT_FALSE(Model().IsEditedPartReadWrite());
}

// Without a hub "--- None ---" needs no registering with a host first, so the
// list edits it as any other characterization.
TEST_F(ViewTest, WithoutAHubTheListEditsTheDefaultCharacterization)
{
    Model().SetCurrentCharacterization(0);  // "--- None ---"
    NameMatchWidget alone(&page_, nullptr, bridge_.get(), model_.get());
    alone.setGeometry(list_->geometry());
    alone.show();
    tree_ = alone.findChild<NameMatchTreeWidget*>();
    QString enabled;
    AnswerNextPopup([&enabled](QMenu* menu) {
        for (QString entry : {"Change Assigned Bone...", "Clear", "Clear All", "Invert Joint"})
            enabled += FindMenuEntry(menu, entry)->isEnabled() ? "1" : "0";
        menu->close();
    });
    Click("LeftLeg", Qt::RightButton);
    EXPECT_EQ(enabled, "1111");
    Click("LeftLeg", Qt::LeftButton, true);  // no box: an unexpected one fails the test
    EXPECT_EQ(Model().GetEditedPart(), NodeId("LeftLeg"));
    EXPECT_TRUE(Model().IsEditedPartReadWrite());
}

TEST_F(ViewTest, PropertyViewShowsRotationsAsEulerDegreesWithAPointInEveryLocale)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    MatchScene();
    Click("LeftArm");
    CharacterJointGeometry g;
    dcc_.RestGeometry("LeftArm", g);
    // clang-format off
    const std::pair<std::vector<float>, QString> cases[] = {
        {{0, 0, 0, 1}, "0.000 0.000 0.000"},
        {{0.0000005f, 0, 0, 1}, "0.000 0.000 0.000"},
        {{0, 0.25881904f, 0, 0.96592583f}, "0.000 30.000 0.000"},  // 30 degrees about Y
        {{0, 0.7071068f, 0, 0.7071068f}, "0.000 90.000 0.000"},    // t just below -0.499999: a pole
        {{0.5f, -0.5f, 0.5f, 0.5f}, "90.000 -90.000 0.000"},       // t = 0.5: the other pole
    };
    // clang-format on
    for (const auto& c : cases) {
        const std::vector<float>& q = c.first;
        g.SetRotateQ(q[0], q[1], q[2], q[3]);
        g.SetPreRotQ(q[0], q[1], q[2], q[3]);
        g.SetPostRotQ(q[0], q[1], q[2], q[3]);
        ASSERT_TRUE(dcc_.SetJointGeometry("LeftArm", g));
        Tick();
        EXPECT_EQ(Row(3) + " | " + Row(5) + " | " + Row(6), c.second + " | " + c.second + " | " + c.second) << q[1];
    }
    g.SetScale(1.5f, -0.25f, 2);
    g.SetMinRLimit(-0.5f, 0, 0.5f);
    g.SetMaxRLimit(1, 1, 1);
    g.SetMinRLimitEnable(true, false, true);
    g.SetMaxRLimitEnable(false, true, false);
    g.SetRotationOrder(VLMRotationOrder(4));
    ASSERT_TRUE(dcc_.SetJointGeometry("LeftArm", g));
    Tick();
    QLocale::setDefault(before);
    EXPECT_EQ(Row(4), "1.500 -0.250 2.000");
    EXPECT_EQ(Row(7), "-28.648 0.000(off) 28.648");
    EXPECT_EQ(Row(8), "57.296(off) 57.296 57.296(off)");
    EXPECT_EQ(Field(10, 1)->text(), RotationOrderDisplayName(VLMRotationOrder(4)));
    EXPECT_EQ(Field(0, 1)->text() + Field(1, 1)->text() + Validation(), "LeftArmLeftArmCharacterization is valid.");
    SaveScreenshot(&page_, "property_view_values");
}

// Where a value field draws its text: the frame's contents less QLineEdit's own margin of 2 on each side.
QRect TextArea(QLineEdit* field)
{
    QStyleOptionFrame option;
    option.initFrom(field);
    option.rect = field->rect();
    option.lineWidth = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field);
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    const QMargins margins = field->textMargins();
    return field->style()
        ->subElementRect(QStyle::SE_LineEditContents, &option, field)
        .adjusted(margins.left() + 2, margins.top(), -margins.right() - 2, -margins.bottom());
}

// Whether the field, as laid out and painted now, shows its text from the first character to the last,
// uncovered by the widgets to its right.
::testing::AssertionResult ShowsWhole(QLineEdit* field)
{
    QCoreApplication::processEvents();  // the layouts follow a new field width when their request comes
    field->repaint();                   // the line edit settles its scrolling when it paints
    for (QWidget* other : field->parentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (other != field && other->isVisible() && other->geometry().intersects(field->geometry()))
            return ::testing::AssertionFailure()
                   << '"' << field->text().toStdString() << "\" is covered by a " << other->metaObject()->className();
    }
    const QRect area = TextArea(field);
    const int advance = field->fontMetrics().horizontalAdvance(field->text());
    const int first = field->cursorPositionAt(QPoint(area.left() + 1, area.center().y()));
    const int last = field->cursorPositionAt(QPoint(area.right(), area.center().y()));
    if (advance <= area.width() && first == 0 && last == field->text().size())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << '"' << field->text().toStdString() << "\" needs " << advance << " px, has "
                                         << area.width() << "; shows characters " << first << " to " << last << " at "
                                         << field->font().pointSize() << " pt";
}

TEST_F(ViewTest, PropertyViewShowsLongValuesWholeAtEveryFontSize)
{
    MatchScene();
    Click("LeftArm");
    CharacterJointGeometry g;
    dcc_.RestGeometry("LeftArm", g);
    g.SetTranslate(-10250.25f, 0, 0);
    ASSERT_TRUE(dcc_.SetJointGeometry("LeftArm", g));
    Tick();
    QFont font = page_.font();
    for (int points : {8, 9, 12}) {
        font.setPointSize(points);
        page_.setFont(font);
        if (points == 8) {  // built at the host's font, as a host builds it; then the font changes under it
            delete view_;
            page_.layout()->addWidget(view_ = new PropertyView(&page_, &dcc_, model_.get()));
        }
        EXPECT_TRUE(ShowsWhole(Field(2, 1))) << "after the font change";
        for (float value : {-1234.5f, 1234.5f, -10250.25f, 10250.25f}) {
            g.SetTranslate(value, -value, value);
            g.SetMinRLimit(value / 57.29578f, 0, 0);  // the same number of degrees
            ASSERT_TRUE(dcc_.SetJointGeometry("LeftArm", g));
            Tick();
            const QString shown = QString::number(double(value), 'f', 3);
            EXPECT_EQ(Field(2, 1)->text(), shown);
            for (QLineEdit* field : {Field(2, 1), Field(2, 2), Field(2, 3), Field(7, 1), Field(3, 1)})
                EXPECT_TRUE(ShowsWhole(field)) << value;
            EXPECT_TRUE(Field(2, 1)->toolTip().isEmpty());
        }
        SaveScreenshot(&page_, QStringLiteral("property_view_long_values_%1pt").arg(points));
    }
    // A value no field grows to hold: its start stays in view, its tooltip holds it whole.
    g.SetTranslate(-123456789012.0f, 0, 0);
    ASSERT_TRUE(dcc_.SetJointGeometry("LeftArm", g));
    Tick();
    Field(2, 1)->repaint();
    const QRect area = TextArea(Field(2, 1));
    EXPECT_EQ(Field(2, 1)->cursorPositionAt(QPoint(area.left() + 1, area.center().y())), 0);
    EXPECT_TRUE(Field(2, 1)->text().startsWith("-123456"));
    EXPECT_EQ(Field(2, 1)->toolTip(), Field(2, 1)->text());
    EXPECT_TRUE(ShowsWhole(Field(2, 2)));
    EXPECT_LT(Field(2, 1)->width(), Field(2, 1)->fontMetrics().horizontalAdvance(Field(2, 1)->text()))
        << "the panel widened without bound";
}

TEST_F(ViewTest, PropertyViewShowsTheNodeAndAssignsOnADoubleClick)
{
    EXPECT_EQ(Field(0, 1)->text() + Validation(), "No node selected.Missing required bones.");
    MatchScene();
    Model().ClearNode(NodeId("Spine1"));
    Click("LeftFootExtraFinger1");  // listed as LeftFootBigToe1, without a joint
    EXPECT_EQ(Field(0, 1)->text() + "|" + Field(1, 1)->text() + Field(10, 1)->text(), "LeftFootExtraFinger1|");
    for (int gridRow = 2; gridRow < 10; ++gridRow)
        EXPECT_EQ(Row(gridRow), "  ") << gridRow;  // empty and enabled
    EXPECT_EQ(Validation().toStdString(), Model().GetStatus().message);
    dcc_.SetSelection({"Hips", "Spine"});
    EXPECT_EQ(Field(1, 4)->text(), "");

    Click("LeftArm");
    const auto doubleClick = [joint = Field(1, 1)](Qt::MouseButton button) {
        return [joint, button] {
            QTest::mouseClick(joint, button);
            QTest::mouseDClick(joint, button);
        };
    };
    bool refused = false;
    AnswerNextCompletion("", &refused);
    doubleClick(Qt::LeftButton)();
    EXPECT_TRUE(refused);
    boxes_.Answer(QMessageBox::Yes).Answer(QMessageBox::Ok);
    AnswerNextCompletion("leftforearm");
    doubleClick(Qt::LeftButton)();
    EXPECT_EQ(Joint("LeftArm") + "|" + Joint("LeftForeArm"), "LeftForeArm|");
    EXPECT_EQ(boxes_.Boxes().at(0).parent, &page_);
    EXPECT_FALSE(OpensModalDialog(doubleClick(Qt::RightButton)));
    Current().SetLocked(true);
    EXPECT_FALSE(OpensModalDialog(doubleClick(Qt::LeftButton)));
    Model().SetCurrentCharacterization(0);  // "--- None ---", refused as the list refuses it
    Model().SetEditedPart(NodeId("LeftArm"), false);
    boxes_.Answer(QMessageBox::Ok);
    EXPECT_FALSE(OpensModalDialog(doubleClick(Qt::LeftButton)));
    EXPECT_EQ(boxes_.Titles().last(), "Characterization Not Created");

    Model().SetCurrentCharacterization(1);
    Current().SetLocked(false);
    PropertyView withoutHub(&page_, nullptr, model_.get());  // opens nothing, asks nothing
    withoutHub.show();
    EXPECT_FALSE(
        OpensModalDialog([&withoutHub, this] { QTest::mouseDClick(Field(1, 1, &withoutHub), Qt::LeftButton); }));
}

}  // namespace
