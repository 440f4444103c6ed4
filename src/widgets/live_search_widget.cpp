#include "widgets/live_search_widget.h"

#include <QActionGroup>
#include <QMenu>
#include <QRegExp>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QToolButton>

namespace {

// The syntax actions in menu order; a checked action's position picks the syntax.
const QRegExp::PatternSyntax MenuSyntaxes[] = {QRegExp::FixedString, QRegExp::RegExp2, QRegExp::Wildcard};
const char* const MenuSyntaxTitles[] = {QT_TRANSLATE_NOOP("KWDQLiveSearchWidget", "Using Fixed String"),
                                        QT_TRANSLATE_NOOP("KWDQLiveSearchWidget", "Using Regular Expressions"),
                                        QT_TRANSLATE_NOOP("KWDQLiveSearchWidget", "Using Wildcards")};

}  // namespace

KWDQLiveSearchWidget::KWDQLiveSearchWidget(QWidget* parent) : QLineEdit(parent), patternSyntax_(QRegExp::FixedString)
{
    cancelIcon_ = style()->standardIcon(QStyle::SP_TitleBarCloseButton);
    menu_ = new QMenu(this);

    searchButton_ = new QToolButton(this);
    searchButton_->setIcon(QIcon(QStringLiteral(":/res/magnifyingglass.png")));
    searchButton_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    searchButton_->setPopupMode(QToolButton::InstantPopup);
    searchButton_->setAutoRaise(true);
    searchButton_->setFocusProxy(this);
    searchButton_->setStyleSheet(
        QStringLiteral("QToolButton { border: none; }QToolButton::menu-indicator {subcontrol-origin: padding; "
                       "subcontrol-position: bottom right; top: 5px; } "));
    searchButton_->resize(searchButton_->sizeHint());
    searchButton_->move(2, 2);

    cancelButton_ = new QToolButton(this);
    cancelButton_->setFocusProxy(this);
    cancelButton_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    cancelButton_->setIcon(QIcon());
    cancelButton_->setAutoRaise(true);
    cancelButton_->setEnabled(false);
    cancelButton_->resize(cancelIcon_.actualSize(cancelButton_->sizeHint(), QIcon::Normal, QIcon::Off) + QSize(4, 4));
    cancelButton_->setStyleSheet(QStringLiteral("QToolButton { border: none; } "));

    connect(cancelButton_, SIGNAL(clicked(bool)), this, SLOT(CancelSearch(bool)));
    connect(this, SIGNAL(textChanged(const QString&)), this, SLOT(UpdateCancelIcon()));

    const QMargins margins = textMargins();
    setTextMargins(margins.left() + searchButton_->width(), margins.top(), margins.right() + cancelButton_->width() + 2,
                   margins.bottom());
    setMinimumHeight(searchButton_->height() + 5);
}

KWDQLiveSearchWidget::~KWDQLiveSearchWidget() = default;

void KWDQLiveSearchWidget::SetFilterModel(QSortFilterProxyModel* model)
{
    filterModel_ = model;
    if (model) {
        connect(model, SIGNAL(columnsInserted(QModelIndex, int, int)), this, SLOT(ModelNbColumnsChanged()));
        connect(model, SIGNAL(columnsRemoved(QModelIndex, int, int)), this, SLOT(ModelNbColumnsChanged()));
        connect(model, SIGNAL(modelReset()), this, SLOT(ModelNbColumnsChanged()));
    }
    ModelNbColumnsChanged();
}

void KWDQLiveSearchWidget::EnableLiveFiltering()
{
    connect(this, SIGNAL(textChanged(const QString&)), this, SLOT(applyFilter()));
}

void KWDQLiveSearchWidget::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    const QRect contents = contentsRect();
    cancelButton_->move(contents.right() - cancelButton_->width() - 2,
                        contents.top() + (contents.height() - cancelButton_->height()) / 2 + 1);
}

void KWDQLiveSearchWidget::CancelSearch(bool) { clear(); }

void KWDQLiveSearchWidget::UpdateCancelIcon()
{
    const bool hasText = !text().isEmpty();
    cancelButton_->setEnabled(hasText);
    cancelButton_->setIcon(hasText ? cancelIcon_ : QIcon());
}

void KWDQLiveSearchWidget::applyFilter()
{
    if (filterModel_)
        filterModel_->setFilterRegExp(
            QRegExp(text(), Qt::CaseInsensitive, static_cast<QRegExp::PatternSyntax>(patternSyntax_)));
}

void KWDQLiveSearchWidget::ModelNbColumnsChanged()
{
    delete columnGroup_;  // its column actions go with it
    columnGroup_ = nullptr;
    menu_->clear();

    const int columns = filterModel_ ? filterModel_->columnCount(QModelIndex()) : 0;
    if (filterKeyColumn_ >= columns) {
        filterKeyColumn_ = 0;
        // The proxy accepts every row once its key column is gone, so it follows
        // the widget back to the first column. Not from inside the proxy's own
        // column signal: a filter change there upsets its mapping, and it
        // recovers only through a reset.
        if (filterModel_) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (filterModel_ && filterModel_->filterKeyColumn() >= filterModel_->columnCount(QModelIndex()))
                        filterModel_->setFilterKeyColumn(filterKeyColumn_);
                },
                Qt::QueuedConnection);
        }
    }

    if (columns >= 2) {
        columnGroup_ = new QActionGroup(this);
        columnGroup_->setExclusive(true);
        connect(columnGroup_, SIGNAL(triggered(QAction*)), this, SLOT(MenuOptionChanged(QAction*)));
        QAction* all = columnGroup_->addAction(tr("&All"));
        all->setCheckable(true);
        menu_->addAction(all);
        for (int column = 0; column < columns; ++column) {
            const QString title = filterModel_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
            QAction* action = columnGroup_->addAction(title);
            action->setCheckable(true);
            action->setChecked(column == filterKeyColumn_);
            menu_->addAction(action);
        }
    }
    menu_->addSeparator();

    delete syntaxGroup_;
    syntaxGroup_ = new QActionGroup(this);
    syntaxGroup_->setExclusive(true);
    connect(syntaxGroup_, SIGNAL(triggered(QAction*)), this, SLOT(PatternSyntaxMenuOptionChanged(QAction*)));
    for (int i = 0; i < 3; ++i) {
        QAction* action = syntaxGroup_->addAction(tr(MenuSyntaxTitles[i]));
        action->setCheckable(true);
        action->setChecked(patternSyntax_ == MenuSyntaxes[i]);
        menu_->addAction(action);
    }
    searchButton_->setMenu(menu_);
}

void KWDQLiveSearchWidget::MenuOptionChanged(QAction*)
{
    // "&All" comes first, then one action per column.
    int column = 0;
    if (columnGroup_) {
        const int position = columnGroup_->actions().indexOf(columnGroup_->checkedAction());
        if (position == 0)
            column = -1;
        else if (position > 0)
            column = position - 1;
    }
    filterKeyColumn_ = column;
    if (filterModel_)
        filterModel_->setFilterKeyColumn(filterKeyColumn_);
    emit textChanged(text());
}

void KWDQLiveSearchWidget::PatternSyntaxMenuOptionChanged(QAction*)
{
    const int position = syntaxGroup_ ? syntaxGroup_->actions().indexOf(syntaxGroup_->checkedAction()) : -1;
    if (position >= 0 && position < 3)
        patternSyntax_ = MenuSyntaxes[position];
    emit textChanged(text());
}
