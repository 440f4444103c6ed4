#include "widgets/live_search_widget.h"

#include "screenshot.h"

#include <QApplication>
#include <QMenu>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// Four joints in up to three columns, filtered by a proxy the widget drives.
struct Search {
    QStandardItemModel source;
    QSortFilterProxyModel* proxy = new QSortFilterProxyModel;
    KWDQLiveSearchWidget widget;

    explicit Search(int columns, bool live = true)
    {
        for (const char* row : {"Hips root mid", "LeftUpLeg limb left", "RightUpLeg limb right", "Spine chain mid"}) {
            QList<QStandardItem*> items;
            for (const QString& cell : QString(row).split(' ').mid(0, columns))
                items << new QStandardItem(cell);
            source.appendRow(items);
        }
        source.setHorizontalHeaderLabels(QStringList({"Name", "Kind", "Side"}).mid(0, columns));
        proxy->setSourceModel(&source);
        widget.SetFilterModel(proxy);
        if (live)
            widget.EnableLiveFiltering();
    }
    ~Search() { delete proxy; }

    // The magnifier button comes first, the close button second.
    QToolButton* button(int i) const { return widget.findChildren<QToolButton*>().at(i); }
    QStringList titles() const
    {
        QStringList result;
        for (QAction* action : button(0)->menu()->actions())
            result << action->text() + (action->isChecked() ? "*" : "");
        return result;
    }
    void choose(const QString& title) const
    {
        for (QAction* action : button(0)->menu()->actions())
            if (action->text() == title)
                action->trigger();
    }
    void type(const QString& text)
    {
        widget.clear();
        QTest::keyClicks(&widget, text);
    }
};

const QStringList SyntaxTitles = {"", "Using Fixed String*", "Using Regular Expressions", "Using Wildcards"};

}  // namespace

TEST(LiveSearch, FiltersOnlyOnceEnabledAndTheCancelButtonFollowsTheText)
{
    Search search(3, false);
    search.widget.resize(240, search.widget.sizeHint().height());
    search.widget.show();
    QToolButton* cancel = search.button(1);
    EXPECT_FALSE(cancel->isEnabled());
    search.type("hips");
    EXPECT_EQ(search.proxy->rowCount(), 4);
    EXPECT_TRUE(cancel->isEnabled() && !cancel->icon().isNull());
    search.widget.EnableLiveFiltering();
    search.type("leg");
    EXPECT_EQ(search.proxy->rowCount(), 2);
    SaveScreenshot(&search.widget, "live_search");
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_TRUE(search.widget.text().isEmpty() && !cancel->isEnabled() && cancel->icon().isNull());
    EXPECT_EQ(search.proxy->rowCount(), 4);
}

TEST(LiveSearch, MenuOffersColumnsAndSyntaxesAndEachChoiceFiltersAgain)
{
    EXPECT_EQ(Search(1).titles(), SyntaxTitles);
    Search search(3);
    EXPECT_EQ(search.titles(), QStringList({"&All", "Name*", "Kind", "Side"}) + SyntaxTitles);
    search.type("limb");
    EXPECT_EQ(search.proxy->rowCount(), 0);
    search.choose("Kind");
    EXPECT_EQ(search.proxy->filterKeyColumn(), 1);
    EXPECT_EQ(search.proxy->rowCount(), 2);
    search.choose("&All");
    EXPECT_EQ(search.proxy->filterKeyColumn(), -1);
    EXPECT_EQ(search.widget.GetFilterKeyColumn(), -1);
    search.type("l*g");
    EXPECT_EQ(search.proxy->rowCount(), 0);  // a fixed string
    search.choose("Using Wildcards");
    EXPECT_EQ(search.widget.GetPatternSyntax(), int(QRegExp::Wildcard));
    EXPECT_EQ(search.proxy->rowCount(), 2);
    search.type("^(hips|spine)$");
    search.choose("Using Regular Expressions");
    EXPECT_EQ(search.proxy->rowCount(), 2);
    SaveScreenshot(search.button(0)->menu(), "live_search_menu");
    search.source.insertColumn(3);  // a rebuild after "&All" checks no column
    EXPECT_EQ(search.titles().mid(0, 4), QStringList({"&All", "Name", "Kind", "Side"}));
}

TEST(LiveSearch, DeletedModelAndRemovedFilterColumn)
{
    Search gone(3);
    delete gone.proxy;
    gone.proxy = nullptr;
    gone.type("hips");
    gone.choose("Kind");
    gone.choose("Using Wildcards");
    gone.widget.SetFilterModel(nullptr);
    EXPECT_EQ(gone.titles(), QStringList({"", "Using Fixed String", "Using Regular Expressions", "Using Wildcards*"}));

    // The chosen column goes away: widget and proxy fall back to the first column.
    Search search(3);
    search.choose("Side");
    search.type("mid");
    EXPECT_EQ(search.proxy->rowCount(), 2);
    search.source.removeColumn(2);
    QApplication::processEvents();  // the proxy follows once its removal is complete
    EXPECT_EQ(search.widget.GetFilterKeyColumn(), 0);
    EXPECT_EQ(search.proxy->filterKeyColumn(), 0);
    EXPECT_EQ(search.proxy->rowCount(), 0);
    EXPECT_EQ(search.titles(), QStringList({"&All", "Name*", "Kind"}) + SyntaxTitles);
}
