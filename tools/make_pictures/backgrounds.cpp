// The page backgrounds: the page colour with a lighter, soft body silhouette
// and, faintly, the bones that give the parts their context.
#include "drawing.h"

#include "ui/schematic_layout.h"

#include <QPainter>
#include <QPainterPathStroker>

#include <algorithm>
#include <vector>

namespace {

const int kSize = 380;
const QColor kPage(68, 68, 68);
const QColor kBody(102, 102, 105);
const QColor kFaintBone(118, 118, 122);

QPainterPath Stroke(const QPainterPath& line, qreal width)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(line);
}

QPainterPath Polyline(const std::vector<QPointF>& points)
{
    QPainterPath path(points.front());
    for (std::size_t i = 1; i < points.size(); ++i)
        path.lineTo(points[i]);
    return path;
}

QPainterPath Limb(QPointF a, QPointF b, qreal width) { return Stroke(Polyline({a, b}), width); }

QPainterPath Oval(QPointF centre, qreal rx, qreal ry)
{
    QPainterPath path;
    path.addEllipse(centre, rx, ry);
    return path;
}

// A polygon with its corners rounded by `radius` (it grows by that much).
QPainterPath RoundedPolygon(const std::vector<QPointF>& points, qreal radius)
{
    QPainterPath polygon = Polyline(points);
    polygon.closeSubpath();
    return polygon.united(Stroke(polygon, 2 * radius));
}

// The convex hull of the points (monotone chain), counter-clockwise.
std::vector<QPointF> Hull(std::vector<QPointF> points)
{
    std::sort(points.begin(), points.end(),
              [](const QPointF& a, const QPointF& b) { return a.x() < b.x() || (a.x() == b.x() && a.y() < b.y()); });
    const auto cross = [](const QPointF& o, const QPointF& a, const QPointF& b) {
        return (a.x() - o.x()) * (b.y() - o.y()) - (a.y() - o.y()) * (b.x() - o.x());
    };
    std::vector<QPointF> hull(2 * points.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        while (k >= 2 && cross(hull[k - 2], hull[k - 1], points[i]) <= 0)
            --k;
        hull[k++] = points[i];
    }
    for (std::size_t i = points.size() - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && cross(hull[k - 2], hull[k - 1], points[i]) <= 0)
            --k;
        hull[k++] = points[i];
    }
    hull.resize(k - 1);
    return hull;
}

QPainterPath Mirrored(const QPainterPath& path) { return QTransform(-1, 0, 0, 1, kSize, 0).map(path); }

// A filled shape and its mirror image, as one shape.
QPainterPath MirroredUnion(const QPainterPath& half) { return half.united(Mirrored(half)); }

// Lines and their mirror images.
QPainterPath WithMirror(const QPainterPath& half)
{
    QPainterPath both = half;
    both.addPath(Mirrored(half));
    return both;
}

// Where a part of the page lies and where its bone runs, in page coordinates.
struct PartPlace {
    QRectF box;
    QPointF nearEnd;
    QPointF farEnd;
};

PartPlace Place(const SchematicPageDef& page, const QString& prefix)
{
    for (const SchematicItemDef* part : page.GetParts()) {
        if (part->GetPicturePrefix() != prefix)
            continue;
        bool mirrored = false;
        const ShapeRow* row = FindShape(prefix, &mirrored);
        if (!row)
            break;
        QPointF a;
        QPointF b;
        BoneAxis(*row, &a, &b);
        if (mirrored) {
            a.setX(row->width - a.x());
            b.setX(row->width - b.x());
        }
        const QPointF origin(part->GetX(), part->GetY());
        return {QRectF(origin, QSizeF(row->width, row->height)), a + origin, b + origin};
    }
    return {};
}

// A blurred copy of the shape's coverage: three passes of a box blur.
std::vector<int> SoftCoverage(const QPainterPath& shape, int radius)
{
    QImage mask(kSize, kSize, QImage::Format_Grayscale8);
    mask.fill(0);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath filled = shape;
        filled.setFillRule(Qt::WindingFill);
        painter.fillPath(filled, Qt::white);
    }
    std::vector<int> value(kSize * kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            value[y * kSize + x] = mask.constScanLine(y)[x];
    std::vector<int> scratch(value.size());
    const int span = 2 * radius + 1;
    for (int pass = 0; pass < 3; ++pass) {
        for (int horizontal = 0; horizontal < 2; ++horizontal) {
            for (int line = 0; line < kSize; ++line) {
                const auto at = [&](int i) {
                    i = std::clamp(i, 0, kSize - 1);
                    return horizontal ? value[line * kSize + i] : value[i * kSize + line];
                };
                int sum = 0;
                for (int i = -radius; i <= radius; ++i)
                    sum += at(i);
                for (int i = 0; i < kSize; ++i) {
                    (horizontal ? scratch[line * kSize + i] : scratch[i * kSize + line]) = (sum + span / 2) / span;
                    sum += at(i + radius + 1) - at(i - radius);
                }
            }
            value.swap(scratch);
        }
    }
    return value;
}

QImage Compose(const QPainterPath& body)
{
    const std::vector<int> coverage = SoftCoverage(body, 3);
    QImage image(kSize, kSize, QImage::Format_RGB32);
    for (int y = 0; y < kSize; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kSize; ++x) {
            const int a = coverage[y * kSize + x];
            const auto mix = [a](int under, int over) { return (under * (255 - a) + over * a + 127) / 255; };
            line[x] =
                qRgb(mix(kPage.red(), kBody.red()), mix(kPage.green(), kBody.green()), mix(kPage.blue(), kBody.blue()));
        }
    }
    return image;
}

void FaintBones(QImage& image, const QPainterPath& bones, const QPainterPath& outlines = QPainterPath())
{
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(bones, kFaintBone);
    painter.strokePath(outlines, QPen(kFaintBone, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

QImage FullBody()
{
    QPainterPath half = Oval({190, 37}, 15, 20);
    half = half.united(RoundedPolygon({{184, 50}, {196, 50}, {196, 76}, {184, 76}}, 3));
    half = half.united(RoundedPolygon(
        {{190, 74}, {222, 74}, {226, 82}, {222, 126}, {215, 150}, {221, 178}, {219, 196}, {190, 200}}, 5));
    half = half.united(Limb({206, 84}, {272, 84}, 21)).united(Limb({272, 84}, {322, 84}, 16));
    half = half.united(Oval({337, 84}, 17, 11));
    half = half.united(Limb({211, 188}, {216, 264}, 28)).united(Limb({216, 264}, {224, 344}, 20));
    half = half.united(Oval({225, 360}, 10, 15));
    QImage image = Compose(MirroredUnion(half));
    QPainterPath ribs;
    for (int i = 0; i < 5; ++i) {
        const qreal y = 100 + i * 9;
        QPainterPath rib(QPointF(203, y));
        rib.cubicTo(214 - i, y - 1, 221 - i, y + 6, 216 - i * 1.5, y + 14);
        ribs.addPath(rib);
    }
    FaintBones(image, QPainterPath(), WithMirror(ribs));
    return image;
}

QImage Hands(const SchematicPageDef& page)
{
    const QString folder = QStringLiteral("Bones/Hands/Left");
    const PartPlace wrist = Place(page, folder + QStringLiteral("FingerBase"));
    QPainterPath half;
    QPainterPath faint;
    std::vector<QPointF> palm = {wrist.box.topLeft() + QPointF(-4, 6), wrist.box.topRight() + QPointF(4, 6)};
    for (const char* digit : {"Thumb", "Index", "Middle", "Ring", "Pinky", "Extra"}) {
        const PartPlace inHand = Place(page, folder + QStringLiteral("InHand") + QLatin1String(digit));
        std::vector<QPointF> finger = {inHand.farEnd};
        for (int i = 1; i <= 4; ++i)
            finger.push_back(Place(page, folder + QStringLiteral("Hand%1%2").arg(QLatin1String(digit)).arg(i)).farEnd);
        const bool thumb = QLatin1String(digit) == QLatin1String("Thumb");
        half = half.united(Stroke(Polyline(finger), thumb ? 17 : 14));
        if (thumb)
            half = half.united(Stroke(Polyline({inHand.nearEnd, inHand.farEnd}), 18));
        else
            palm.insert(palm.end(), {inHand.nearEnd, inHand.farEnd});
    }
    half = half.united(RoundedPolygon(Hull(palm), 7));
    const QPointF w = wrist.box.center();
    half = half.united(
        RoundedPolygon({w + QPointF(-24, -4), w + QPointF(24, -4), w + QPointF(28, 90), w + QPointF(-28, 90)}, 4));
    faint.addPath(Limb(w + QPointF(-7, 14), w + QPointF(-9, 80), 6));
    faint.addPath(Limb(w + QPointF(7, 14), w + QPointF(9, 80), 5));
    QImage image = Compose(MirroredUnion(half));
    FaintBones(image, MirroredUnion(faint.simplified()));
    return image;
}

QImage Feet(const SchematicPageDef& page)
{
    const QString folder = QStringLiteral("Bones/Feet/Left");
    const PartPlace base = Place(page, folder + QStringLiteral("ToeBase"));
    const QPointF heel(base.box.center().x() - 2, 334);
    QPainterPath half;
    QPainterPath faint;
    std::vector<QPointF> ball = {base.box.topLeft(), base.box.topRight()};
    int index = 0;
    const char* digits[] = {"Pinky", "Ring", "Middle", "Index", "Thumb", "Extra"};
    for (const char* digit : digits) {
        const PartPlace inFoot = Place(page, folder + QStringLiteral("InFoot") + QLatin1String(digit));
        std::vector<QPointF> toe = {(inFoot.nearEnd + inFoot.farEnd) / 2};
        for (int i = 1; i <= 4; ++i)
            toe.push_back(Place(page, folder + QStringLiteral("Foot%1%2").arg(QLatin1String(digit)).arg(i)).farEnd);
        half = half.united(Stroke(Polyline(toe), digit == digits[5] ? 19 : 14));
        ball.insert(ball.end(), {inFoot.box.topLeft() + QPointF(0, 4), inFoot.box.topRight() + QPointF(0, 4)});
        // The shaft of the metatarsal, from the ball of the foot to the mid-foot.
        const QPointF toMidFoot(base.box.left() + 4 + index * 5.6, base.box.top() + 3);
        faint.addPath(Limb((inFoot.nearEnd + inFoot.farEnd) / 2 + QPointF(0, 3), toMidFoot, 4.5));
        ++index;
    }
    half = half.united(RoundedPolygon(Hull(ball), 10));
    half = half.united(Limb(base.box.center(), heel, 64)).united(Oval(heel, 35, 36));
    faint.addPath(Oval(heel + QPointF(0, 2), 17, 24));
    QImage image = Compose(MirroredUnion(half));
    FaintBones(image, MirroredUnion(faint.simplified()));
    return image;
}

QImage Neck()
{
    QPainterPath body = Oval({190, 18}, 86, 74);
    body = body.united(RoundedPolygon({{146, 60}, {234, 60}, {238, 330}, {142, 330}}, 10));
    body = body.united(RoundedPolygon({{150, 296}, {230, 296}, {392, 350}, {392, 392}, {-12, 392}, {-12, 350}}, 16));
    QImage image = Compose(body);
    QPainterPath outlines = Oval({190, 10}, 70, 60);
    QPainterPath jaw(QPointF(136, 44));
    jaw.cubicTo(146, 92, 234, 92, 244, 44);
    outlines.addPath(jaw);
    QPainterPath clavicle(QPointF(212, 352));
    clavicle.cubicTo(250, 338, 300, 352, 352, 340);
    outlines.addPath(WithMirror(clavicle));
    FaintBones(image, QPainterPath(), outlines);
    return image;
}

QImage Spine()
{
    QPainterPath body = RoundedPolygon({{30, -20},
                                        {350, -20},
                                        {338, 70},
                                        {300, 200},
                                        {272, 250},
                                        {296, 320},
                                        {306, 400},
                                        {74, 400},
                                        {84, 320},
                                        {108, 250},
                                        {80, 200},
                                        {42, 70}},
                                       20);
    QImage image = Compose(body);
    QPainterPath half;
    for (int i = 0; i < 10; ++i) {
        const qreal y = 44 + i * 17;
        const qreal reach = 290 - i * 5 - (i > 6 ? (i - 6) * 14 : 0);
        QPainterPath rib(QPointF(204, y));
        rib.cubicTo(reach - 20, y - 10, reach + 6, y + 10, reach - 16, y + 34 - i);
        half.addPath(rib);
    }
    QPainterPath wing(QPointF(206, 312));
    wing.cubicTo(240, 290, 290, 296, 284, 330);
    wing.cubicTo(276, 356, 236, 352, 212, 372);
    half.addPath(wing);
    QPainterPath sacrum(QPointF(178, 318));
    sacrum.lineTo(202, 318);
    sacrum.lineTo(190, 362);
    sacrum.closeSubpath();
    FaintBones(image, sacrum, WithMirror(half));
    return image;
}

QImage Collar(const SchematicPageDef& page)
{
    const PartPlace outer = Place(page, QStringLiteral("Bones/Shoulders/LeftShoulderExtra"));
    const QPointF head = outer.farEnd + QPointF(13, 8);
    QPainterPath body = RoundedPolygon({{-20, -20}, {58, -20}, {64, 84}, {250, 96}, {300, 110}, {-20, 160}}, 12);
    body = body.united(RoundedPolygon({{-20, 130}, {270, 130}, {262, 400}, {-20, 400}}, 20));
    body = body.united(Oval(head + QPointF(6, 14), 58, 50)).united(Limb(head + QPointF(8, 30), {318, 410}, 96));
    QImage image = Compose(body);
    QPainterPath bones = Oval(head, 14, 14);
    bones = bones.united(Limb(head, {300, 400}, 15));
    QPainterPath outlines;
    for (int i = 0; i < 4; ++i) {
        const qreal y = 200 + i * 40;
        QPainterPath rib(QPointF(10, y));
        rib.cubicTo(90, y - 14, 180, y + 4, 236, y + 40);
        outlines.addPath(rib);
    }
    outlines.addRect(QRectF(-10, 150, 26, 240));
    FaintBones(image, bones, outlines);
    return image;
}

}  // namespace

QImage DrawBackground(const ShapeRow& row, const SchematicPageDef& page)
{
    switch (row.variant) {
    case kPageFullBody: return FullBody();
    case kPageHands: return Hands(page);
    case kPageFeet: return Feet(page);
    case kPageNeck: return Neck();
    case kPageSpine: return Spine();
    default: return Collar(page);
    }
}
