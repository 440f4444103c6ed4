// A line edit that filters a sort-filter proxy model while the user types.
#ifndef SKW_WIDGETS_LIVE_SEARCH_WIDGET_H
#define SKW_WIDGETS_LIVE_SEARCH_WIDGET_H

#include "base/skw_export.h"

#include <QIcon>
#include <QLineEdit>
#include <QPointer>

class QAction;
class QActionGroup;
class QMenu;
class QSortFilterProxyModel;
class QToolButton;

// The magnifying-glass button at the left opens a menu that chooses the
// filtered column ("&All" or one column) and the pattern syntax (fixed string,
// regular expression or wildcard); the close button at the right clears the
// text and is enabled only while there is text.
//
// The magnifier picture is loaded from ":/res/magnifyingglass.png", which the
// host supplies in its own resources; without it the button is blank but still
// opens its menu.
//
// The model is not owned. Once it is gone, typing filters nothing and the next
// menu rebuild offers no columns.
class SKW_EXPORT KWDQLiveSearchWidget : public QLineEdit {
    Q_OBJECT

public:
    explicit KWDQLiveSearchWidget(QWidget* parent = nullptr);
    ~KWDQLiveSearchWidget() override;

    // Filters `model` from now on and rebuilds the menu for its columns; the
    // menu follows later column changes and resets of the model.
    void SetFilterModel(QSortFilterProxyModel* model);
    // Filters on every change of the text; until then typing only updates the
    // close button.
    void EnableLiveFiltering();

    // -1 for all columns, else the filtered column.
    int GetFilterKeyColumn() const { return filterKeyColumn_; }
    // A QRegExp::PatternSyntax: FixedString, RegExp2 or Wildcard.
    int GetPatternSyntax() const { return patternSyntax_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void CancelSearch(bool checked);
    void UpdateCancelIcon();
    void MenuOptionChanged(QAction* action);
    void PatternSyntaxMenuOptionChanged(QAction* action);
    void ModelNbColumnsChanged();

public slots:
    void applyFilter();

private:
    QIcon cancelIcon_;
    QToolButton* searchButton_ = nullptr;
    QToolButton* cancelButton_ = nullptr;
    QPointer<QSortFilterProxyModel> filterModel_;
    QMenu* menu_ = nullptr;
    QActionGroup* columnGroup_ = nullptr;
    int filterKeyColumn_ = 0;
    int patternSyntax_;
    QActionGroup* syntaxGroup_ = nullptr;
};

#endif
