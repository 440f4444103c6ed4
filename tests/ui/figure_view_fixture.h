// A figure view shown in a parent widget on the stand-in host, with the
// "Character1_" sample skeleton loaded into a characterization of that name.
#ifndef SKW_TESTS_UI_FIGURE_VIEW_FIXTURE_H
#define SKW_TESTS_UI_FIGURE_VIEW_FIXTURE_H

#include "ui_fixture.h"

#include "ui/part_item.h"
#include "ui/schematic_layout.h"
#include "ui/schematic_widget.h"

#include <QVBoxLayout>
#include <QtTest/QTest>

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

#endif
