// The figure view on a full 172-node mapping, each figure beside its baseline
// from the same run:
// - re-reading the model with nothing changed, against one revalidation of a
//   bare model with no view connected (the re-read follows every validation
//   and should cost a fraction of it);
// - drawing the hands page (62 parts, one picking, the rest faded) into a
//   380 by 380 image, against drawing its background alone (and the same
//   pictures drawn by hand, without the scene, for scale);
// - the selection picture that a selected or picking part loads at every
//   paint, against decoding that picture from memory (a cache hit costs next
//   to nothing; a decode each time would cost as much as the baseline).
#include "bench_main.h"
#include "model/characterization_model.h"
#include "model/resource_bridge.h"
#include "rig/vlm_names.h"
#include "ui/part_item.h"
#include "ui/schematic_layout.h"
#include "ui/schematic_widget.h"

#include "rig_sample.h"
#include "standin_host.h"

#include <QApplication>
#include <QFile>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

ResourceBridge* bridge = nullptr;  // one for the run: it keeps the pictures registered

const QString kSelectionPicture = QStringLiteral("Bones/Hands/LeftHandIndex1_Valid_Sel.png");

// A host scene of 172 joints "Character1_<rig node>" at the sample rest pose,
// and a model whose current characterization maps each to its rig node.
struct MappedModel {
    StandInHost host;
    std::unique_ptr<CharacterizationModel> model;

    MappedModel()
    {
        const auto positions = sample::RestPositions();
        for (int node = 0; node < VLM_NODE_COUNT; ++node) {
            CharacterJointGeometry g;
            g.SetTranslate(positions[node].x, positions[node].y, positions[node].z);
            host.AddJoint(QStringLiteral("Character1_") + QString::fromUtf8(VLMGetNodeName(node)), QString(), g);
        }
        model = std::make_unique<CharacterizationModel>(bridge, &host);
        host.AddCharacterizationNode(QStringLiteral("Character1"));
        model->AddCharacterization(new Characterization(QStringLiteral("Character1"), &host));
        host.SetSelection(host.JointNames());
        model->AutoMatch();
        host.SetSelection({});
    }
};

void BM_SyncViewOnModelUnchanged(benchmark::State& state)
{
    MappedModel mapped;
    QWidget parent;
    SchematicWidget view(&parent, bridge, &mapped.host, mapped.model.get());
    view.SyncViewOnModel();
    for (auto _ : state)
        view.SyncViewOnModel();
    state.counters["overall_state"] = mapped.model->GetStatus().state;
}
BENCHMARK(BM_SyncViewOnModelUnchanged)->Unit(benchmark::kMicrosecond);

void BM_ValidateBareModel(benchmark::State& state)
{
    MappedModel mapped;
    for (auto _ : state)
        mapped.model->Validate(mapped.model->GetCurrentCharacterization(), &mapped.host);
}
BENCHMARK(BM_ValidateBareModel)->Unit(benchmark::kMicrosecond);

// The hands page with LeftHandIndex1 picking: the other 61 parts faded.
struct PickingHandsPage {
    MappedModel mapped;
    QWidget parent;
    SchematicWidget view{&parent, bridge, &mapped.host, mapped.model.get()};

    PickingHandsPage()
    {
        view.SyncViewOnModel();
        mapped.model->SetEditedPart(VLMGetNodeIdFromName("LeftHandIndex1"), true);
    }
};

void BM_RenderHandsPage(benchmark::State& state)
{
    PickingHandsPage hands;
    if (hands.view.GetCurrentPage() != kPageHands) {
        state.SkipWithError("the picking part is not on the hands page");
        return;
    }
    QImage image(380, 380, QImage::Format_ARGB32_Premultiplied);
    const QRectF page(0, 0, 380, 380);
    for (auto _ : state) {
        QPainter painter(&image);
        hands.view.scene()->render(&painter, page, page);
    }
}
BENCHMARK(BM_RenderHandsPage)->Unit(benchmark::kMicrosecond);

// The same pictures drawn one after the other without the scene: the floor
// that the pictures themselves set (the faded ones blend every pixel).
void BM_DrawHandsPicturesAlone(benchmark::State& state)
{
    PickingHandsPage hands;
    const SchematicPageDef* page = SchematicLayout::Instance().GetPage(kPageHands);
    const QPixmap background = bridge->LoadSharedPicture(page->GetBasePicture());
    std::vector<PartItem*> parts;
    double area = 0;
    for (const SchematicItemDef* part : page->GetParts()) {
        parts.push_back(hands.view.FindPartItem(part->GetNodeId()));
        area += parts.back()->boundingRect().width() * parts.back()->boundingRect().height();
    }
    QImage image(380, 380, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.drawPixmap(0, 0, background);
        for (PartItem* part : parts) {
            QStyleOptionGraphicsItem option;
            option.rect = part->boundingRect().toRect();
            painter.setTransform(QTransform::fromTranslate(part->pos().x(), part->pos().y()));
            part->paint(&painter, &option, nullptr);
        }
    }
    state.counters["part_pixels"] = area;
}
BENCHMARK(BM_DrawHandsPicturesAlone)->Unit(benchmark::kMicrosecond);

void BM_DrawHandsBackground(benchmark::State& state)
{
    const QPixmap background =
        bridge->LoadSharedPicture(SchematicLayout::Instance().GetPage(kPageHands)->GetBasePicture());
    QImage image(380, 380, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.drawPixmap(0, 0, background);
    }
}
BENCHMARK(BM_DrawHandsBackground)->Unit(benchmark::kMicrosecond);

void BM_SelectionPictureAtPaint(benchmark::State& state)
{
    LoadCachedPicture(bridge, kSelectionPicture);
    for (auto _ : state)
        benchmark::DoNotOptimize(LoadCachedPicture(bridge, kSelectionPicture));
}
BENCHMARK(BM_SelectionPictureAtPaint)->Unit(benchmark::kMicrosecond);

void BM_SelectionPictureFromMemory(benchmark::State& state)
{
    QFile file(QStringLiteral(":/skelwright/resources/shared_pictures/") + kSelectionPicture);
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("the selection picture is not in the tree");
        return;
    }
    const QByteArray bytes = file.readAll();
    for (auto _ : state) {
        QPixmap pixmap;
        pixmap.loadFromData(bytes, "PNG");
        benchmark::DoNotOptimize(pixmap);
    }
}
BENCHMARK(BM_SelectionPictureFromMemory)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    UseOffscreenUnlessTold();
    QApplication app(argc, argv);
    QTemporaryDir userRoot;
    qputenv("APPDATA", userRoot.path().toUtf8());
    ResourceBridge shared(MakePortablePath(QString()), MakePortablePath(QString()));
    bridge = &shared;
    return RunRegisteredBenchmarks(argc, argv);
}
