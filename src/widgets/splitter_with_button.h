// A horizontal splitter whose handles carry buttons that collapse and restore
// the panes beside them.
#ifndef SKW_WIDGETS_SPLITTER_WITH_BUTTON_H
#define SKW_WIDGETS_SPLITTER_WITH_BUTTON_H

#include "base/skw_export.h"

#include <QList>
#include <QSplitter>
#include <QSplitterHandle>

#include <map>

class QPushButton;

// A splitter handle with a button for the pane on its left and, unless made
// with one button, one for the pane on its right. A click is reported with the
// handle itself.
class SKW_EXPORT QSplitterHandleWithButton : public QSplitterHandle {
    Q_OBJECT

public:
    QSplitterHandleWithButton(Qt::Orientation orientation, QSplitter* parent, bool oneButton);

signals:
    void onLeftClick(QSplitterHandle* handle);
    void onRightClick(QSplitterHandle* handle);

public slots:
    void onLeftClicked();
    void onRightClicked();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QPushButton* leftButton_ = nullptr;
    QPushButton* rightButton_ = nullptr;  // null with one button
};

// Clicking a handle's button collapses the pane on that side to width 0,
// remembering its share of the other panes; clicking again restores that share.
// A pane that was never collapsed comes back at its size-hint width. When a
// collapse leaves nothing open, the pane on the other side of the handle opens.
class SKW_EXPORT QSplitterWithButton : public QSplitter {
    Q_OBJECT

public:
    explicit QSplitterWithButton(QWidget* parent = nullptr);

    // For handles made after the call (handles are made as panes are added).
    void SetSingleButtonHandles(bool oneButton);

    // The index i with handle(i) == handle; -1 for null or a foreign handle.
    int HandleIndex(QSplitterHandle* handle) const;
    static int SumOfOtherSizes(const QList<int>& sizes, int index);
    static float PaneRatio(const QList<int>& sizes, int index);
    bool IsPaneCollapsed(int index) const;
    bool IsPaneOpen(int index) const;

public slots:
    void onLeftClick(QSplitterHandle* handle);
    void onRightClick(QSplitterHandle* handle);

protected:
    QSplitterHandle* createHandle() override;

private:
    // Handle i stands before pane i: its left pane is i - 1, its right pane i.
    void TogglePane(int handleIndex, bool left);
    void CollapsePane(QList<int>& sizes, int pane);
    void RestorePane(QList<int>& sizes, int pane);

    std::map<int, float> ratios_;  // remembered shares by pane; kept after a restore
    bool oneButtonHandles_ = true;
};

#endif
