#include "test_support_fs.h"
#include "screenshot.h"
#include "model/resource_bridge.h"
#include "ui/part_states.h"
#include "ui/schematic_layout.h"

#include "rig/vlm_names.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

namespace {

const QString kRoot = QStringLiteral(":/skelwright/resources/shared_pictures/");

const SchematicLayout& Layout() { return SchematicLayout::Instance(); }

QString Suffix(int key) { return Layout().GetStates().GetSuffix(key); }

// Every picture the figure, the name-match list and the toolbar ask for.
QSet<QString> ExpectedNames()
{
    QSet<QString> names;
    const auto addStates = [&names](const QString& prefix, int count) {
        for (int key = 0; key < count; ++key)
            names.insert(prefix + Suffix(key));
    };
    addStates(Layout().GetStatus().GetPicturePrefix(), kPartError + 1);
    for (const SchematicPageDef* page : Layout().GetPages()) {
        names.insert(page->GetBasePicture());
        for (const SchematicItemDef* part : page->GetParts())
            addStates(part->GetPicturePrefix(), kPartStateCount);
        for (const SchematicItemDef* arrow : page->GetArrows())
            addStates(arrow->GetPicturePrefix(), arrow->GetPicture().isEmpty() ? 1 : kPartError + 1);
        for (const SchematicInversionDef* toggle : page->GetInversions())
            names << toggle->GetNormalPicture() << toggle->GetInvertedPicture();
    }
    for (const char* colour : {"Gray", "Green", "Orange", "Red"})
        for (const char* look : {"", "_Highlight"})
            names.insert(QStringLiteral("BubbleSmall_%1%2.png").arg(QLatin1String(colour), QLatin1String(look)));
    names << SkelwrightDefinition().GetPicture(0) << SkelwrightDefinition().GetPicture(4);
    // The 3D view's drag cursors and title-bar buttons.
    for (const char* name :
         {"Cursor_View_Orbit.png", "Cursor_View_Pan.png", "Cursor_View_Zoom.png", "ViewportButton_Settings.png",
          "ViewportButton_Visibility.png", "ViewportButton_Frame.png"})
        names.insert(QLatin1String(name));
    return names;
}

// The pictures through a real bridge (its per-user folder a temporary one), as the views load them.
class FigurePictures : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        userRoot_ = new QTemporaryDir;
        const QByteArray appData = userRoot_->path().toUtf8();
        ScopedEnv env("APPDATA", &appData);
        bridge_ = new ResourceBridge(MakePortablePath(QString()), MakePortablePath(QString()));
    }
    static void TearDownTestSuite()
    {
        delete bridge_;
        delete userRoot_;
    }
    static QImage Load(const QString& name)
    {
        return bridge_->LoadSharedPicture(name).toImage().convertToFormat(QImage::Format_ARGB32);
    }
    static inline QTemporaryDir* userRoot_ = nullptr;
    static inline ResourceBridge* bridge_ = nullptr;
};

TEST_F(FigurePictures, TheTreeHoldsExactlyTheNamedPictures)
{
    const QSet<QString> expected = ExpectedNames();
    EXPECT_EQ(expected.size(), 1824);
    for (const QString& name : expected)
        EXPECT_FALSE(bridge_->LoadSharedPicture(name).isNull()) << name.toStdString();
    // Nothing else (no selection states for the status light and go-to arrows, no other toolbar pictures).
    QSet<QString> present;
    for (QDirIterator it(kRoot, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        present.insert(it.next().mid(kRoot.size()));
    EXPECT_EQ(present.size(), 1824);
    EXPECT_EQ(present - expected, QSet<QString>());
}

// Every state and toggle picture has its base picture's size. Hit-testing uses the bounding rectangles, so
// boxes may touch but never overlap, and each stays on its page; Right mirrors Left.
TEST_F(FigurePictures, SizesFollowTheBaseAndPartsTileTheirPagesSymmetrically)
{
    const auto sameSize = [](const QString& base, const QString& other) {
        EXPECT_EQ(Load(other).size(), Load(base).size()) << other.toStdString();
    };
    std::map<QString, std::pair<const SchematicItemDef*, QRect>> byNode;
    for (const SchematicPageDef* page : Layout().GetPages()) {
        const QImage background = Load(page->GetBasePicture());
        EXPECT_EQ(background.size(), QSize(380, 380)) << page->GetBasePicture().toStdString();
        EXPECT_FALSE(background.hasAlphaChannel() && background.pixelColor(0, 0).alpha() < 255);
        for (const SchematicInversionDef* toggle : page->GetInversions())
            sameSize(toggle->GetNormalPicture(), toggle->GetInvertedPicture());
        std::vector<QRect> boxes;
        for (const SchematicItemDef* part : page->GetParts()) {
            const QString prefix = part->GetPicturePrefix();
            for (int key = 1; key < kPartStateCount; ++key)
                sameSize(prefix + Suffix(0), prefix + Suffix(key));
            const QRect box(QPoint(part->GetX(), part->GetY()), Load(prefix + Suffix(0)).size());
            EXPECT_TRUE(QRect(0, 0, 380, 380).contains(box)) << prefix.toStdString();
            for (const QRect& other : boxes)
                EXPECT_FALSE(box.intersects(other)) << prefix.toStdString();
            boxes.push_back(box);
            byNode[QString::fromLatin1(VLMGetNodeName(part->GetNodeId()))] = {part, box};
        }
    }
    for (const QString& prefix : {Layout().GetStatus().GetPicturePrefix(), QStringLiteral("GoToArrow")})
        for (int key = 1; key <= kPartError; ++key)
            sameSize(prefix + Suffix(0), prefix + Suffix(key));
    EXPECT_EQ(Load("Bones/FullBody/Hips.png").size(), QSize(36, 15));

    int pairs = 0;
    for (const auto& [name, left] : byNode) {
        if (!name.startsWith("Left"))
            continue;
        const auto right = byNode.find(QString(name).replace(0, 4, "Right"));
        ASSERT_NE(right, byNode.end()) << name.toStdString();
        const QRect& l = left.second;
        EXPECT_EQ(right->second.second, QRect(380 - l.x() - l.width(), l.y(), l.width(), l.height()))
            << name.toStdString();
        for (int key = 0; key < kPartStateCount; ++key)
            EXPECT_EQ(Load(right->second.first->GetPicturePrefix() + Suffix(key)),
                      Load(left.first->GetPicturePrefix() + Suffix(key)).mirrored(true, false))
                << name.toStdString() << " key " << key;
        ++pairs;
    }
    EXPECT_EQ(pairs, 74);
}

// The share of visible pixels whose strongest channel is red (or green).
double Dominance(const QImage& image, bool green)
{
    int visible = 0, dominant = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int own = green ? c.green() : c.red(), other = green ? c.red() : c.green();
            visible += c.alpha() >= 128;
            dominant += c.alpha() >= 128 && own > other && own > c.blue();
        }
    return visible ? double(dominant) / visible : 0.0;
}

TEST_F(FigurePictures, StatesShowTheirColours)
{
    QStringList prefixes = {Layout().GetStatus().GetPicturePrefix(), QStringLiteral("GoToArrow")};
    for (const SchematicPageDef* page : Layout().GetPages())
        for (const SchematicItemDef* part : page->GetParts())
            prefixes << part->GetPicturePrefix();
    prefixes.removeDuplicates();
    for (const QString& prefix : prefixes) {
        EXPECT_GT(Dominance(Load(prefix + Suffix(kPartValid)), true), 0.5) << prefix.toStdString();
        EXPECT_GT(Dominance(Load(prefix + Suffix(kPartError)), false), 0.5) << prefix.toStdString();
    }
    // The go-to glyph is drawn over the arrow's state disc: its corners stay clear.
    const QImage glyph = Load("GoToArrow.png");
    for (const QPoint corner : {QPoint(0, 0), QPoint(glyph.width() - 1, 0), QPoint(0, glyph.height() - 1),
                                QPoint(glyph.width() - 1, glyph.height() - 1)})
        EXPECT_EQ(glyph.pixelColor(corner).alpha(), 0);
}

TEST_F(FigurePictures, TheGeneratorDrawsTheSameBytesOnEveryRun)
{
    QTemporaryDir out;
    QProcess generator;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    generator.setProcessEnvironment(env);
    generator.start(QStringLiteral(SKW_MAKE_PICTURES), {out.path()});
    ASSERT_TRUE(generator.waitForFinished(120000));
    ASSERT_EQ(generator.exitCode(), 0) << generator.readAllStandardError().toStdString();
    // The build's own run is what the tree holds.
    for (const QString& name : ExpectedNames()) {
        QFile fresh(out.filePath("shared_pictures/" + name));
        QFile built(kRoot + name);
        ASSERT_TRUE(fresh.open(QIODevice::ReadOnly)) << name.toStdString();
        ASSERT_TRUE(built.open(QIODevice::ReadOnly)) << name.toStdString();
        EXPECT_TRUE(fresh.readAll() == built.readAll()) << name.toStdString();
    }
}

// Every page composed from the layout and the pictures, saved for a look: parts cycle through the four
// states, and one part of each page shows each selection look.
TEST_F(FigurePictures, ComposedPagesAreSavedForALook)
{
    for (const SchematicPageDef* page : Layout().GetPages()) {
        QImage canvas = Load(page->GetBasePicture());
        QPainter painter(&canvas);
        int index = 0;
        for (const SchematicItemDef* part : page->GetParts()) {
            const int state = index++ % 4;
            painter.drawImage(part->GetX(), part->GetY(), Load(part->GetPicturePrefix() + Suffix(state)));
            const int mode = index == 2 ? kSelectionSelected : index == 3 ? kSelectionPicking : kSelectionNone;
            if (mode != kSelectionNone)
                painter.drawImage(part->GetX(), part->GetY(),
                                  Load(part->GetPicturePrefix() + Suffix(SelectionOverlayKey(mode, state))));
        }
        for (const SchematicItemDef* arrow : page->GetArrows()) {
            painter.drawImage(arrow->GetX(), arrow->GetY(), Load(arrow->GetPicturePrefix() + Suffix(0)));
            if (!arrow->GetPicture().isEmpty())
                painter.drawImage(arrow->GetX(), arrow->GetY(), Load(arrow->GetPicture()));
        }
        const SchematicItemDef& status = Layout().GetStatus();
        painter.drawImage(status.GetX(), status.GetY(), Load(status.GetPicturePrefix() + Suffix(kPartWarning)));
        painter.end();
        SaveArtifact(canvas, "figure_page_" + page->GetName());
    }
}

}  // namespace
