#include "widgets/dark_style_orla.h"
#include "widgets/dark_style_simple.h"

#include "screenshot.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QCommonStyle>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

namespace {

QRgb grey(int v) { return qRgb(v, v, v); }

// A base style recording the palette each primitive reaches it with.
class RecordingStyle : public QCommonStyle {
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter*, const QWidget*) const override
    {
        palettes[element] = option->palette;
    }
    mutable std::map<PrimitiveElement, QPalette> palettes;
};

std::unique_ptr<QStyle> makeStyle(bool orla, QStyle* base = nullptr)
{
    return orla ? std::unique_ptr<QStyle>(new QvektDarkStyleOrla(base)) : std::make_unique<QvektDarkStyleSimple>(base);
}

const QRgb Unpainted = qRgb(10, 20, 30);

QImage drawn(int w, int h, const std::function<void(QPainter*)>& draw)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Unpainted);
    QPainter painter(&image);
    draw(&painter);
    return image;
}

}  // namespace

TEST(DarkStyles, PalettesFollowTheTableAndKeepTheBaseRoles)
{
    struct Row {
        QPalette::ColorRole role;
        int grey[3];  // Active, Inactive, Disabled; -1: the base palette's
    };
    const Row table[] = {
        {QPalette::WindowText, {200, 200, -1}},  {QPalette::Button, {100, 100, 80}},
        {QPalette::Light, {97, 97, 97}},         {QPalette::Midlight, {59, 59, 59}},
        {QPalette::Dark, {37, 37, 37}},          {QPalette::Mid, {45, 45, 45}},
        {QPalette::Text, {200, 200, 105}},       {QPalette::BrightText, {37, 37, -1}},
        {QPalette::ButtonText, {200, 200, -1}},  {QPalette::Base, {42, 42, 42}},
        {QPalette::AlternateBase, {46, 46, 46}}, {QPalette::Window, {68, 68, 68}},
        {QPalette::Shadow, {0, 0, 0}},
    };
    const QPalette::ColorGroup groups[] = {QPalette::Active, QPalette::Inactive, QPalette::Disabled};
    for (bool orla : {false, true}) {
        auto style = makeStyle(orla);
        const QPalette dark = style->standardPalette();
        const QPalette base = orla ? static_cast<QProxyStyle*>(style.get())->baseStyle()->standardPalette()
                                   : style->QStyle::standardPalette();
        for (int g = 0; g < 3; ++g) {
            for (int r = 0; r < QPalette::NColorRoles; ++r) {
                const auto role = static_cast<QPalette::ColorRole>(r);
                if (role == QPalette::PlaceholderText)
                    continue;  // Qt 5 derives it from Text as Text is set
                QRgb expected = base.color(groups[g], role).rgba();
                for (const Row& row : table) {
                    if (row.role == role && row.grey[g] >= 0)
                        expected = grey(row.grey[g]);
                }
                const bool text =
                    role == QPalette::WindowText || role == QPalette::ButtonText || role == QPalette::Text;
                if (orla && g == 2 && text)
                    expected = grey(128);  // one mid grey for every disabled text
                EXPECT_EQ(dark.color(groups[g], role).rgba(), expected) << orla << " group " << g << " role " << r;
            }
            QTabBar bar;  // polished: the Active Button and Window exchanged in every group
            style->polish(&bar);
            EXPECT_EQ(bar.palette().color(groups[g], QPalette::Window).rgba(), grey(100)) << orla << g;
            EXPECT_EQ(bar.palette().color(groups[g], QPalette::Button).rgba(), grey(68)) << orla << g;
        }
    }
}

TEST(DarkStyles, OptionPalettesReachTheBaseStyleRecoloured)
{
    const auto on = QStyle::State_Enabled | QStyle::State_On;
    const auto enabled = QStyle::State(QStyle::State_Enabled);
    struct Case {
        bool orla;
        QStyle::PrimitiveElement element;
        QStyle::State state;
        QPalette::ColorRole role;
        int active, disabled;  // -1: the base style is not asked to draw
    };
    const Case cases[] = {
        {false, QStyle::PE_PanelButtonTool, on, QPalette::Button, 175, 80},
        {false, QStyle::PE_PanelButtonTool, enabled, QPalette::Button, 100, 80},
        {false, QStyle::PE_FrameTabWidget, enabled, QPalette::Window, 100, 100},
        {false, QStyle::PE_FrameTabWidget, on, QPalette::Button, 175, 68},  // exchanged, then on
        {true, QStyle::PE_FrameTabWidget, on, QPalette::Button, 68, 68},    // exchanged only
        {true, QStyle::PE_PanelLineEdit, enabled, QPalette::Shadow, 98, 98},
        {true, QStyle::PE_IndicatorRadioButton, enabled, QPalette::Shadow, 98, 98},
        {false, QStyle::PE_PanelLineEdit, enabled, QPalette::Shadow, 0, 0},
        {false, QStyle::PE_FrameFocusRect, enabled, QPalette::Window, -1, -1},
        {true, QStyle::PE_FrameFocusRect, enabled, QPalette::Window, 68, 68},
    };
    for (const Case& c : cases) {
        auto* recorder = new RecordingStyle;
        auto style = makeStyle(c.orla, recorder);
        QStyleOption option;
        option.palette = style->standardPalette();
        option.state = c.state;
        drawn(16, 16, [&](QPainter* p) { style->drawPrimitive(c.element, &option, p); });
        const auto found = recorder->palettes.find(c.element);
        SCOPED_TRACE(testing::Message() << "orla " << c.orla << " element " << c.element);
        ASSERT_EQ(found != recorder->palettes.end(), c.active >= 0);
        if (c.active < 0)
            continue;
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            EXPECT_EQ(found->second.color(group, c.role).rgba(),
                      grey(group == QPalette::Disabled ? c.disabled : c.active));
    }
}

TEST(DarkStyles, ElementsDrawnIntoAnImage)
{
    // Edges: Window 68 darker(178) = 38; corners halfway to the background
    // (34 + 19 = 53); the branch sign halfway between Window 68 and Text 200.
    QMenuBar bar;
    bar.setProperty("isQorlaVortelMenuBar", false);
    bar.setBackgroundRole(QPalette::Window);
    for (bool orla : {false, true}) {
        SCOPED_TRACE(orla ? "orla" : "simple");
        auto style = makeStyle(orla);
        bar.setPalette(style->standardPalette());
        QStyleOptionMenuItem item;
        item.palette = style->standardPalette();
        item.rect = QRect(0, 0, 40, 20);
        const QImage focus = drawn(40, 40, [&](QPainter* p) { style->drawControl(QStyle::CE_FocusFrame, &item, p); });
        for (QPoint edge : {QPoint(0, 0), QPoint(39, 19), QPoint(20, 0), QPoint(0, 10)})
            EXPECT_EQ(focus.pixel(edge), grey(130));
        for (QPoint untouched : {QPoint(1, 1), QPoint(20, 10), QPoint(20, 20)})
            EXPECT_EQ(focus.pixel(untouched), Unpainted);

        const QImage menu = drawn(40, 40, [&](QPainter* p) {
            item.state = QStyle::State_Selected | QStyle::State_Enabled;
            style->drawControl(QStyle::CE_MenuBarItem, &item, p, &bar);
            item.state = QStyle::State_Enabled;  // not selected: no frame
            item.rect.translate(0, 20);
            style->drawControl(QStyle::CE_MenuBarItem, &item, p, &bar);
        });
        EXPECT_EQ(menu.pixel(0, 0), grey(53));
        for (QPoint border : {QPoint(20, 0), QPoint(0, 10), QPoint(39, 0)})
            EXPECT_EQ(menu.pixel(border), grey(38));
        EXPECT_EQ(menu.pixel(20, 1), QColor(grey(100)).lighter(104).rgba());
        EXPECT_EQ(menu.pixel(20, 19), QColor(grey(100)).darker(105).darker(102).rgba());
        EXPECT_EQ(menu.copy(0, 20, 40, 20), drawn(40, 20, [](QPainter*) {}));
    }
    QvektDarkStyleOrla orla;
    for (auto state : {QStyle::State_Children | QStyle::State_Open, QStyle::State(QStyle::State_Children),
                       QStyle::State(QStyle::State_Open)}) {
        QStyleOption option;
        option.palette = orla.standardPalette();
        option.rect = QRect(0, 0, 20, 20);  // centre (9, 9)
        option.state = state;
        const QImage branch =
            drawn(20, 20, [&](QPainter* p) { orla.drawPrimitive(QStyle::PE_IndicatorBranch, &option, p); });
        if (!(state & QStyle::State_Children)) {
            EXPECT_EQ(branch, drawn(20, 20, [](QPainter*) {}));
            continue;
        }
        EXPECT_EQ(branch.pixel(7, 9), grey(134));
        EXPECT_EQ(branch.pixel(9, 5), grey(38));
        EXPECT_EQ(branch.pixel(5, 5), grey(53));
        EXPECT_EQ(branch.pixel(9, 7) == Unpainted, bool(state & QStyle::State_Open)) << state;
    }
}

TEST(DarkStyles, MetricsHintsIconsAndButtonSizes)
{
    QMenuBar plain, marked, markedFalse;
    marked.setProperty("isQorlaVortelMenuBar", true);
    markedFalse.setProperty("isQorlaVortelMenuBar", false);
    const std::unique_ptr<QStyle> windows(QStyleFactory::create("Windows"));
    // Values 30, 31, 204, 205 (opaque) and 100 (alpha 120).
    QImage icon(5, 1, QImage::Format_ARGB32);
    for (int x = 0; x < 5; ++x)
        icon.setPixel(x, 0, x < 4 ? grey(x < 2 ? 30 + x : 202 + x) : qRgba(100, 100, 100, 120));
    for (bool orla : {false, true}) {
        SCOPED_TRACE(orla ? "orla" : "simple");
        auto style = makeStyle(orla);
        for (QMenuBar* bar : {static_cast<QMenuBar*>(nullptr), &plain, &marked, &markedFalse}) {
            const bool wide = bar == &marked || bar == &markedFalse;
            EXPECT_EQ(style->pixelMetric(QStyle::PM_MenuBarVMargin, nullptr, bar), wide ? 4 : 1);
            EXPECT_EQ(style->pixelMetric(QStyle::PM_MenuBarHMargin, nullptr, bar), wide ? 3 : 0);
        }
        EXPECT_EQ(style->pixelMetric(QStyle::PM_MenuBarPanelWidth) + style->pixelMetric(QStyle::PM_FocusFrameVMargin),
                  0);
        EXPECT_EQ(style->pixelMetric(QStyle::PM_FocusFrameHMargin), orla ? 2 : 0);
        EXPECT_EQ(QRgb(style->styleHint(QStyle::SH_Table_GridLineColor)), 0xff444444u);
        EXPECT_EQ(style->styleHint(QStyle::SH_EtchDisabledText) + style->styleHint(QStyle::SH_Button_FocusPolicy), 0);
        EXPECT_EQ(style->styleHint(QStyle::SH_Slider_AbsoluteSetButtons),
                  orla ? 1 : windows->styleHint(QStyle::SH_Slider_AbsoluteSetButtons));
        const auto generated = [&](QIcon::Mode mode) {
            return style->generatedIconPixmap(mode, QPixmap::fromImage(icon), nullptr)
                .toImage()
                .convertToFormat(QImage::Format_ARGB32);
        };
        const QImage active = generated(QIcon::Active);
        const int brightened[] = {30, 81, 254, 255};
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(active.pixel(x, 0), grey(brightened[x])) << x;
        EXPECT_EQ(qAlpha(active.pixel(4, 0)), 120);
        EXPECT_NEAR(qRed(active.pixel(4, 0)), 150, 2);  // stored premultiplied
        EXPECT_EQ(generated(QIcon::Normal).pixel(1, 0), grey(31));
    }
    // Orla's push buttons: auto-default with text at least 75 + extra wide, all 23 + extra high.
    QvektDarkStyleOrla orla;
    const int extra = 2 * orla.pixelMetric(QStyle::PM_ButtonDefaultIndicator);
    QStyleOptionButton button;
    button.text = "a";
    button.features = QStyleOptionButton::AutoDefaultButton;
    EXPECT_EQ(orla.sizeFromContents(QStyle::CT_PushButton, &button, QSize(10, 10), nullptr),
              QSize(75 + extra, 23 + extra));
    button.features = QStyleOptionButton::None;
    const QSize plainSize = orla.sizeFromContents(QStyle::CT_PushButton, &button, QSize(10, 10), nullptr);
    EXPECT_TRUE(plainSize.width() < 75 && plainSize.height() == 23);
}

namespace {

// The form every style is shown with, at fixed sizes that no size hint changes.
void buildForm(QWidget& window)
{
    auto* layout = new QVBoxLayout(&window);
    auto* disabled = new QPushButton("Disabled");
    auto* check = new QCheckBox("Mirror mode");
    auto* tree = new QTreeWidget;
    auto* tabs = new QTabWidget;
    const std::pair<QWidget*, QSize> parts[] = {{new QPushButton("Apply"), {120, 28}},
                                                {disabled, {120, 28}},
                                                {new QLineEdit("Hips"), {240, 26}},
                                                {check, {160, 24}},
                                                {tree, {240, 130}},
                                                {tabs, {240, 90}}};
    for (const auto& [part, size] : parts) {
        part->setFixedSize(size);
        layout->addWidget(part);
    }
    disabled->setEnabled(false);
    check->setChecked(true);
    tree->setHeaderLabels({"Joint", "Kind"});
    for (const char* joint : {"Hips", "LeftUpLeg", "Reference"})
        new QTreeWidgetItem(tree, {joint, "node"});
    new QTreeWidgetItem(tree->topLevelItem(0), {"Spine", "chain"});
    new QTreeWidgetItem(tree->topLevelItem(1), {"LeftLeg", "limb"});
    tree->setSortingEnabled(true);
    tree->sortByColumn(0, Qt::AscendingOrder);
    tree->topLevelItem(0)->setExpanded(true);
    tabs->addTab(new QWidget, "Figure");
    tabs->addTab(new QWidget, "Name Match");
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
}

QImage shot(QWidget* part) { return part->grab().toImage().convertToFormat(QImage::Format_ARGB32); }

int differingPixels(const QImage& a, const QImage& b, const QRect& ignored = QRect())
{
    int count = a.size() == b.size() ? 0 : -1;
    for (int y = 0; count >= 0 && y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            count += !ignored.contains(x, y) && a.pixel(x, y) != b.pixel(x, y);
    }
    return count;
}

}  // namespace

// Each style installed as a host does, then plain Fusion with Orla's palette:
// Orla draws as Fusion but for its own elements.
TEST(DarkStyles, ScreenshotsShowTheDarkLook)
{
    const QPalette saved = QApplication::palette();
    const QPalette orlaPalette = QvektDarkStyleOrla().standardPalette();
    const char* const files[] = {"dark_style_simple", "dark_style_orla", "dark_style_fusion_same_palette"};
    std::vector<QImage> parts[3];  // enabled and disabled button, header, check box, tree viewport
    QRect indicator;
    int indent = 0;
    for (int run = 0; run < 3; ++run) {
        QStyle* style = run == 0   ? static_cast<QStyle*>(new QvektDarkStyleSimple)
                        : run == 1 ? new QvektDarkStyleOrla
                                   : QStyleFactory::create("Fusion");
        QApplication::setStyle(style);
        QApplication::setPalette(run == 0 ? style->standardPalette() : orlaPalette);
        QWidget window;
        buildForm(window);
        const auto buttons = window.findChildren<QPushButton*>();
        auto* edit = window.findChild<QLineEdit*>();
        auto* check = window.findChild<QCheckBox*>();
        auto* tree = window.findChild<QTreeWidget*>();
        EXPECT_EQ(SaveScreenshot(&window, files[run]).pixel(1, 1), grey(68)) << run;
        EXPECT_EQ(shot(edit).pixel(edit->width() - 8, 13), grey(42)) << run;
        parts[run] = {shot(buttons[0]), shot(buttons[1]), shot(tree->header()), shot(check), shot(tree->viewport())};
        if (run == 0) {
            EXPECT_EQ(parts[0][0].pixel(8, 14), grey(100));
            EXPECT_EQ(parts[0][1].pixel(8, 14), grey(80));
        }
        if (run != 1)
            continue;
        QStyleOptionButton option;  // the check mark's lower left stroke is in Text
        option.initFrom(check);
        indicator = style->subElementRect(QStyle::SE_CheckBoxIndicator, &option, check);
        EXPECT_EQ(parts[1][3].pixel(indicator.topLeft() + QPoint(4, 8)), grey(200));
        indent = tree->indentation();  // a minus on the open item, a plus on the closed one
        for (int i : {0, 1}) {
            const QRect row = tree->visualItemRect(tree->topLevelItem(i));
            const QPoint centre((indent - 1) / 2, (row.top() + row.bottom()) / 2);
            EXPECT_EQ(parts[1][4].pixel(centre + QPoint(-2, 0)), grey(134));
            EXPECT_EQ(parts[1][4].pixel(centre + QPoint(0, -2)) == grey(134), i == 1);
        }
        // With no pictures in the pixmap cache the base style draws the arrow.
        tree->header()->setSortIndicatorShown(false);
        EXPECT_GT(differingPixels(parts[1][2], shot(tree->header())), 0);
    }
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setPalette(saved);
    for (int same : {0, 1, 2})
        EXPECT_EQ(differingPixels(parts[1][same], parts[2][same]), 0) << same;
    EXPECT_EQ(differingPixels(parts[1][3], parts[2][3], indicator), 0);
    EXPECT_EQ(differingPixels(parts[1][4], parts[2][4], QRect(0, 0, indent, 10000)), 0);
}

namespace {

// The brightest grey level among the pixels where the two pictures differ: on the dark styles' backgrounds,
// the text's own colour when the pictures are the widget with and without its text.
int brightestDifference(const QImage& a, const QImage& b)
{
    int level = -1;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y))
                level = std::max(level, qGray(a.pixel(x, y)));
        }
    }
    return level;
}

// The level of the text the widget draws: its picture against the same widget with its texts emptied.
int textLevel(QWidget* widget)
{
    auto* tree = qobject_cast<QTreeWidget*>(widget);
    QWidget* drawn = tree ? tree->viewport() : widget;  // the rows, without the frame
    const QImage with = shot(drawn);
    if (auto* label = qobject_cast<QLabel*>(widget))
        label->clear();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(QString());
    else if (auto* combo = qobject_cast<QComboBox*>(widget))
        combo->setItemText(0, QString());
    else if (auto* edit = qobject_cast<QLineEdit*>(widget))
        edit->clear();
    for (int i = 0; tree && i < tree->topLevelItemCount(); ++i)
        tree->topLevelItem(i)->setText(0, QString());
    return brightestDifference(with, shot(drawn));
}

}  // namespace

// Labels, buttons, check boxes, combo boxes, line edits and tree rows, enabled on the left and disabled on
// the right: every disabled text is drawn in one mid grey, clearly dimmer than the enabled 200.
TEST(DarkStyles, OrlaDrawsEveryDisabledTextInOneDimGrey)
{
    const QPalette saved = QApplication::palette();
    auto* style = new QvektDarkStyleOrla;
    QApplication::setStyle(style);
    QApplication::setPalette(style->standardPalette());

    QWidget window;
    auto* grid = new QGridLayout(&window);
    const char* const kinds[] = {"label", "button", "check box", "combo box", "line edit", "tree"};
    std::vector<QWidget*> shown[2];  // enabled, disabled
    for (int column = 0; column < 2; ++column) {
        auto* combo = new QComboBox;
        combo->addItem("Euler XYZ");
        auto* tree = new QTreeWidget;
        tree->setHeaderHidden(true);
        tree->setFixedHeight(60);
        for (const char* joint : {"Hips", "LeftUpLeg"})
            new QTreeWidgetItem(tree, {joint});
        shown[column] = {new QLabel("Selected bone"),  new QPushButton("Apply"),
                         new QCheckBox("Mirror mode"), combo,
                         new QLineEdit("LeftArm"),     tree};
        for (int row = 0; row < 6; ++row) {
            grid->addWidget(shown[column][row], row, column);
            shown[column][row]->setEnabled(column == 0);
        }
    }
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    SaveScreenshot(&window, "dark_style_orla_disabled");
    int levels[2][6];
    for (int column = 0; column < 2; ++column) {
        for (int row = 0; row < 6; ++row)
            levels[column][row] = textLevel(shown[column][row]);
    }
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setPalette(saved);
    for (int row = 0; row < 6; ++row) {
        EXPECT_GE(levels[0][row], 190) << kinds[row];
        EXPECT_LE(levels[1][row], levels[0][row] - 50) << kinds[row] << ": not clearly dimmer";
        EXPECT_NEAR(levels[1][row], levels[1][0], 2) << kinds[row] << " beside a disabled label";
    }
}
