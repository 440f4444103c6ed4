#include "widgets/splitter_with_button.h"

#include "screenshot.h"

#include <QFrame>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A framed pane shows where it ends; like a plain QWidget it has no size hint.
QWidget* framed()
{
    auto* frame = new QFrame;
    frame->setFrameShape(QFrame::Box);
    return frame;
}

// Two panes sharing 400 pixels besides the handle, at 300/100.
struct Panes {
    QSplitterWithButton splitter;
    explicit Panes(bool oneButton, QWidget* second = framed())
    {
        splitter.SetSingleButtonHandles(oneButton);
        splitter.addWidget(framed());
        splitter.addWidget(second);
        splitter.setFixedSize(400 + splitter.handleWidth(), 200);
        splitter.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&splitter));
        splitter.setSizes({300, 100});
    }
    void click(bool left)
    {
        QTest::mouseClick(splitter.handle(1)->findChildren<QPushButton*>().value(left ? 0 : 1), Qt::LeftButton);
    }
};

}  // namespace

TEST(Splitter, ButtonsCollapseAndRestoreTheirPanes)
{
    Panes panes(false);
    EXPECT_NEAR(QSplitterWithButton::PaneRatio(panes.splitter.sizes(), 1), 0.3333f, 1e-4f);
    SaveScreenshot(&panes.splitter, "splitter_open");
    panes.click(false);
    EXPECT_TRUE(panes.splitter.IsPaneCollapsed(1));
    SaveScreenshot(&panes.splitter, "splitter_collapsed");
    panes.click(false);
    EXPECT_EQ(panes.splitter.sizes(), QList<int>({300, 100}));
    // Collapsing the only open pane opens the other at the splitter's width.
    panes.click(false);
    panes.click(true);
    EXPECT_EQ(panes.splitter.sizes(), QList<int>({0, 400}));
    // Pane 0 was collapsed with every other pane closed: an infinite share.
    panes.click(true);
    const QList<int> sizes = panes.splitter.sizes();
    EXPECT_TRUE(sizes[0] > 0 && sizes[1] > 0 && sizes[0] + sizes[1] == 400) << sizes[0] << " " << sizes[1];
}

TEST(Splitter, NeverCollapsedPanesRestoreToTheirSizeHint)
{
    for (bool hinted : {true, false}) {
        Panes panes(false, hinted ? new QPushButton("Name Match") : framed());
        panes.splitter.setSizes({400, 0});
        panes.click(false);
        const QList<int> sizes = panes.splitter.sizes();
        // Without a hint the pane asks for the whole width against the other's 400.
        EXPECT_TRUE(hinted ? sizes[1] == panes.splitter.widget(1)->sizeHint().width() : sizes[1] >= sizes[0])
            << sizes[0] << " " << sizes[1];
    }
}

TEST(Splitter, OneButtonHandlesAndHandlesWithoutAPane)
{
    Panes panes(true), other(true);
    QSplitterHandle* handle = panes.splitter.handle(1);
    ASSERT_EQ(handle->findChildren<QPushButton*>().size(), 1);
    handle->resize(6, 150);  // must not reach for the missing right button
    EXPECT_EQ(handle->findChild<QPushButton*>()->geometry(), QRect(6 - 26, 150 / 9, 26, 150 / 5));
    panes.click(true);
    // Handle 0's left side, a handle of another splitter, no handle: nothing.
    for (QSplitterHandle* h : {panes.splitter.handle(0), other.splitter.handle(1), (QSplitterHandle*)nullptr})
        panes.splitter.onLeftClick(h);
    for (QSplitterHandle* h : {other.splitter.handle(1), (QSplitterHandle*)nullptr})
        panes.splitter.onRightClick(h);
    EXPECT_EQ(panes.splitter.sizes(), QList<int>({0, 400}));
    QSplitterWithButton empty;
    empty.onRightClick(empty.handle(0));
}
