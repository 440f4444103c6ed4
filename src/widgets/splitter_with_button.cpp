#include "widgets/splitter_with_button.h"

#include <QPushButton>
#include <QResizeEvent>

#include <cmath>
#include <numeric>

QSplitterHandleWithButton::QSplitterHandleWithButton(Qt::Orientation orientation, QSplitter* parent, bool oneButton)
    : QSplitterHandle(orientation, parent)
{
    leftButton_ = new QPushButton(this);
    leftButton_->setCursor(Qt::ArrowCursor);
    connect(leftButton_, SIGNAL(clicked()), this, SLOT(onLeftClicked()));
    if (!oneButton) {
        rightButton_ = new QPushButton(this);
        rightButton_->setCursor(Qt::ArrowCursor);
        connect(rightButton_, SIGNAL(clicked()), this, SLOT(onRightClicked()));
    }
}

void QSplitterHandleWithButton::onLeftClicked() { emit onLeftClick(this); }

void QSplitterHandleWithButton::onRightClicked() { emit onRightClick(this); }

void QSplitterHandleWithButton::resizeEvent(QResizeEvent* event)
{
    QSplitterHandle::resizeEvent(event);
    // The buttons are wider than the handle and hang off its left edge, so that
    // the handle shows them over its whole width.
    const int w = event->size().width();
    const int h = event->size().height();
    leftButton_->resize(w + 20, h / 5);
    leftButton_->move(w - leftButton_->width(), h / 9);
    if (rightButton_) {
        rightButton_->resize(w + 20, h / 5);
        rightButton_->move(0, h - h / 5 - h / 9);
    }
}

QSplitterWithButton::QSplitterWithButton(QWidget* parent) : QSplitter(Qt::Horizontal, parent) { }

void QSplitterWithButton::SetSingleButtonHandles(bool oneButton) { oneButtonHandles_ = oneButton; }

QSplitterHandle* QSplitterWithButton::createHandle()
{
    auto* handle = new QSplitterHandleWithButton(orientation(), this, oneButtonHandles_);
    connect(handle, SIGNAL(onLeftClick(QSplitterHandle*)), this, SLOT(onLeftClick(QSplitterHandle*)));
    connect(handle, SIGNAL(onRightClick(QSplitterHandle*)), this, SLOT(onRightClick(QSplitterHandle*)));
    return handle;
}

int QSplitterWithButton::HandleIndex(QSplitterHandle* handle) const
{
    if (!handle)
        return -1;
    for (int i = 0; i < count(); ++i) {
        if (this->handle(i) == handle)
            return i;
    }
    return -1;
}

int QSplitterWithButton::SumOfOtherSizes(const QList<int>& sizes, int index)
{
    int sum = 0;
    for (int i = 0; i < sizes.size(); ++i) {
        if (i != index)
            sum += sizes[i];
    }
    return sum;
}

float QSplitterWithButton::PaneRatio(const QList<int>& sizes, int index)
{
    if (index < 0 || index >= sizes.size())
        return 0.0f;
    return static_cast<float>(sizes[index]) / static_cast<float>(SumOfOtherSizes(sizes, index));
}

bool QSplitterWithButton::IsPaneCollapsed(int index) const
{
    const QList<int> current = sizes();
    return index >= 0 && index < current.size() && current[index] == 0;
}

bool QSplitterWithButton::IsPaneOpen(int index) const
{
    const QList<int> current = sizes();
    return index >= 0 && index < current.size() && current[index] != 0;
}

void QSplitterWithButton::onLeftClick(QSplitterHandle* handle) { TogglePane(HandleIndex(handle), true); }

void QSplitterWithButton::onRightClick(QSplitterHandle* handle) { TogglePane(HandleIndex(handle), false); }

void QSplitterWithButton::TogglePane(int handleIndex, bool left)
{
    // Handle 0 has no pane on its left, and an unknown handle (-1) none at all.
    QList<int> current = sizes();
    const int pane = left ? handleIndex - 1 : handleIndex;
    if (handleIndex < 0 || pane < 0 || pane >= current.size())
        return;

    if (current[pane] == 0)
        RestorePane(current, pane);
    else
        CollapsePane(current, pane);

    // Never leave every pane closed: open the one across the handle.
    if (std::accumulate(current.begin(), current.end(), 0) == 0) {
        const int other = left ? pane + 1 : pane - 1;
        if (other >= 0 && other < current.size())
            RestorePane(current, other);
    }
    setSizes(current);
}

void QSplitterWithButton::CollapsePane(QList<int>& sizes, int pane)
{
    // With every other pane collapsed the share is infinite; the restore copes.
    ratios_[pane] = static_cast<float>(sizes[pane]) / static_cast<float>(SumOfOtherSizes(sizes, pane));
    sizes[pane] = 0;
}

void QSplitterWithButton::RestorePane(QList<int>& sizes, int pane)
{
    int size = 0;
    const auto remembered = ratios_.find(pane);
    if (remembered != ratios_.end()) {
        const float restored = remembered->second * static_cast<float>(SumOfOtherSizes(sizes, pane));
        // Not finite (an infinite share, or infinity times 0) or beyond int:
        // treated as nothing to restore.
        if (std::isfinite(restored) && restored >= -2147483648.0f && restored < 2147483648.0f)
            size = static_cast<int>(restored);
    } else if (QWidget* paneWidget = widget(pane)) {
        size = paneWidget->sizeHint().width();
    }
    sizes[pane] = size > 0 ? size : width();
}
