// The panel's "Name Match" tab as the panel lays it out (the list above a
// property view, 392 x 660), shown offscreen, over a model on a host that
// announces the selections it makes on request. The current characterization
// is "Hero", registered with the host; the scene is the sample whose joints
// carry the rig's own names.
#ifndef SKW_TESTS_UI_VIEW_FIXTURE_H
#define SKW_TESTS_UI_VIEW_FIXTURE_H

#include "ui_fixture.h"

#include "emitting_host.h"
#include "modal_answer.h"
#include "ui/name_match_widget.h"
#include "ui/property_view.h"
#include "ui/ui_functions.h"

#include <QComboBox>
#include <QVBoxLayout>

#include <functional>

class ViewTest : public UiModelTest {
protected:
    void SetUp() override
    {
        UiModelTest::SetUp();
        ASSERT_TRUE(dcc_.LoadSkeletonFile(StandInHost::SamplePath("rig_names.bvh")));
        model_ = std::make_unique<CharacterizationModel>(bridge_.get(), &dcc_);
        dcc_.AddCharacterizationNode("Hero");
        model_->AddCharacterization(new Characterization("Hero", &dcc_));
        dcc_.ClearRecords();

        auto* layout = new QVBoxLayout(&page_);
        layout->setContentsMargins(1, 1, 1, 1);
        list_ = new NameMatchWidget(&page_, &dcc_, bridge_.get(), model_.get());
        view_ = new PropertyView(&page_, &dcc_, model_.get());
        list_->setMinimumHeight(380);
        layout->addWidget(list_);
        layout->addWidget(view_);
        page_.resize(392, 660);
        page_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&page_));
        tree_ = list_->findChild<NameMatchTreeWidget*>();
        ASSERT_TRUE(tree_);
    }
    void TearDown() override
    {
        // The model's characterizations talk to this fixture's host on the way out.
        delete list_;
        delete view_;
        model_.reset();
    }

    // Assigns every joint of the scene to the rig node of its name.
    void MatchScene()
    {
        dcc_.SetSelection(dcc_.JointNames());
        model_->AutoMatch();
        dcc_.SetSelection({});
    }

    // Every item of a node, in tree order.
    QList<QTreeWidgetItem*> ItemsOf(int node) const
    {
        return tree_->findItems(NodeDisplayName(node) + " : ", Qt::MatchStartsWith | Qt::MatchRecursive);
    }
    QTreeWidgetItem* ItemOf(const char* node) const { return ItemsOf(NodeId(node)).value(0); }
    QTreeWidgetItem* Group(const char* name) const
    {
        return tree_->findItems(name, Qt::MatchExactly | Qt::MatchRecursive).value(0);
    }
    // The name of the bubble picture an item shows; empty for none of the eight.
    QString Bubble(const QTreeWidgetItem* item) const
    {
        const QImage shown = item->icon(0).pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        for (const char* colour : {"Gray", "Green", "Orange", "Red"}) {
            for (const char* look : {"", "_Highlight"}) {
                const QString name = QString("BubbleSmall_%1%2.png").arg(colour, look);
                if (bridge_->LoadSharedPicture(name).toImage().convertToFormat(QImage::Format_ARGB32) == shown)
                    return name;
            }
        }
        return QString();
    }

    QPoint CentreOf(QTreeWidgetItem* item)
    {
        tree_->scrollToItem(item);
        return tree_->visualItemRect(item).center();
    }
    void Click(QTreeWidgetItem* item, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(tree_->viewport(), button, Qt::NoModifier, CentreOf(item));
    }
    // A press and release, then the double click in place of the second
    // press, as the window system delivers them.
    void DoubleClick(QTreeWidgetItem* item)
    {
        Click(item);
        QTest::mouseDClick(tree_->viewport(), Qt::LeftButton, Qt::NoModifier, CentreOf(item));
    }
    // Right-clicks the item and hands the menu to `answer`, which must close it.
    void RightClick(QTreeWidgetItem* item, std::function<void(QMenu*)> answer)
    {
        AnswerNextPopup(std::move(answer));
        Click(item, Qt::RightButton);
    }
    void Choose(QTreeWidgetItem* item, const char* entry)
    {
        RightClick(item, [entry](QMenu* menu) { ClickMenuEntry(menu, entry); });
    }
    // Answers the next completion dialog: types `text`, presses "Ok"; when the
    // dialog refuses the text, presses "Cancel" and records the refusal.
    void AnswerCompletion(const QString& text, bool* refused = nullptr)
    {
        AnswerNextModal([text, refused](QWidget* dialog) {
            dialog->findChild<QComboBox*>()->lineEdit()->setText(text);
            ClickButton(dialog, "Ok");
            if (refused)
                *refused = dialog->isVisible();
            if (dialog->isVisible())
                ClickButton(dialog, "Cancel");
        });
    }

    EmittingHost dcc_;
    QWidget page_;
    NameMatchWidget* list_ = nullptr;
    PropertyView* view_ = nullptr;
    NameMatchTreeWidget* tree_ = nullptr;
};

#endif
