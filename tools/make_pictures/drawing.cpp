#include "drawing.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPathStroker>
#include <QRadialGradient>
#include <QTransform>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace {

// Space left around a bone so that the selection outline fits in its box.
const qreal kMargin = 2.0;

QColor StateColour(int state)
{
    switch (state) {
    case 1: return QColor(92, 196, 96);
    case 2: return QColor(240, 156, 48);
    case 3: return QColor(228, 72, 60);
    default: return QColor(188, 190, 194);
    }
}

QColor Mix(const QColor& a, const QColor& b, qreal t)
{
    return QColor(qRound(a.red() + (b.red() - a.red()) * t), qRound(a.green() + (b.green() - a.green()) * t),
                  qRound(a.blue() + (b.blue() - a.blue()) * t), qRound(a.alpha() + (b.alpha() - a.alpha()) * t));
}

QColor WithAlpha(QColor colour, int alpha)
{
    colour.setAlpha(alpha);
    return colour;
}

QPainterPath Capsule(QPointF a, QPointF b, qreal width)
{
    QPainterPath line(a);
    line.lineTo(b);
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(line);
}

QPainterPath Oval(QPointF centre, qreal rx, qreal ry)
{
    QPainterPath path;
    path.addEllipse(centre, rx, ry);
    return path;
}

QPainterPath Rounded(const QRectF& rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

// A ring of the given width along an ellipse.
QPainterPath Ring(QPointF centre, qreal rx, qreal ry, qreal width)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    return stroker.createStroke(Oval(centre, rx, ry));
}

QPainterPath Unite(std::initializer_list<QPainterPath> parts)
{
    QPainterPath result;
    for (const QPainterPath& part : parts)
        result = result.united(part);
    return result;
}

bool IsAcross(ShapeKind kind)
{
    return kind == kBoneAcross || kind == kTwinAcross || kind == kRollAcross || kind == kKnuckle || kind == kClavicle ||
           kind == kShoulderBlade;
}

qreal MarginOf(ShapeKind kind) { return kind == kKnuckle ? 1.0 : kMargin; }

// The radius of the joint knobs: as large as the box allows across the axis,
// at most 4.5 pixels (3 for the short in-foot bones, which then look alike).
qreal KnobRadius(const ShapeRow& row)
{
    const qreal across = IsAcross(row.kind) ? row.height : row.width;
    return std::min(row.kind == kKnuckle ? 3.0 : 4.5, (across - 2 * MarginOf(row.kind) - std::abs(row.tilt)) / 2);
}

// A long bone: a shaft between two knobs.
QPainterPath LongBone(QPointF a, QPointF b, qreal knobA, qreal knobB)
{
    return Unite({Capsule(a, b, std::min(knobA, knobB) * 1.45), Oval(a, knobA, knobA), Oval(b, knobB, knobB)});
}

// Two parallel bones, a thick and a thin one with a clear gap between them,
// joined by the end knobs (shin, forearm). `room` is the width across the axis.
QPainterPath TwinBone(QPointF a, QPointF b, qreal knobA, qreal knobB, qreal room)
{
    const QPointF axis = b - a;
    const qreal length = std::hypot(axis.x(), axis.y());
    const QPointF side(-axis.y() / length, axis.x() / length);
    const qreal thick = room * 0.32;
    const qreal thin = room * 0.18;
    const qreal total = thick + room * 0.26 + thin;
    const QPointF thickAt = side * (thick - total) / 2;
    const QPointF thinAt = side * (total - thin) / 2;
    return Unite({Capsule(a + thickAt, b + thickAt, thick), Capsule(a + thinAt, b + thinAt, thin),
                  Oval(a, knobA, knobA * 0.85), Oval(b, knobB, knobB * 0.85)});
}

// A thin bone with a ring round its middle.
QPainterPath RollBone(QPointF a, QPointF b, bool across)
{
    const QPointF middle = (a + b) / 2;
    return Unite({Capsule(a, b, 2.4), Oval(a, 2.0, 2.0), Oval(b, 2.0, 2.0),
                  across ? Ring(middle, 1.8, 3.3, 1.4) : Ring(middle, 3.3, 1.8, 1.4)});
}

// A curved bone lying across its box, bowed by `bow` pixels at each third.
QPainterPath CurvedBone(QPointF a, QPointF b, qreal bowFirst, qreal bowSecond, qreal width)
{
    const QPointF axis = b - a;
    const qreal length = std::hypot(axis.x(), axis.y());
    const QPointF side(-axis.y() / length, axis.x() / length);
    QPainterPath curve(a);
    curve.cubicTo(a + axis / 3 + side * bowFirst, a + axis * 2 / 3 + side * bowSecond, b);
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    return stroker.createStroke(curve);
}

// Front view: the iliac wings, the pelvic inlet and the two obturator holes
// above the pubic arch.
QPainterPath Pelvis(const ShapeRow& row)
{
    const qreal w = row.width;
    const qreal c = w / 2;
    QPainterPath half(QPointF(c, 4.8));
    half.cubicTo(c - 5, 4.2, c - 10, 0.8, c - 15.5, 2.2);
    half.cubicTo(c - 17, 6, c - 14, 9, c - 12, 13.2);
    half.lineTo(c - 3, 13.5);
    half.quadTo(c, 10, c, 10);
    half.lineTo(c, 4.8);
    QPainterPath pelvis = half.united(QTransform(-1, 0, 0, 1, w, 0).map(half));
    return pelvis.subtracted(
        Unite({Oval({c, 7.6}, 4.4, 2.1), Oval({c - 6, 10.6}, 1.9, 1.5), Oval({c + 6, 10.6}, 1.9, 1.5)}));
}

// Cranium, face with eye sockets and nose, jaw, and the top of the neck.
QPainterPath Skull(const ShapeRow& row)
{
    const qreal c = row.width / 2.0;
    QPainterPath skull = Unite(
        {Oval({c, 10}, c - 0.8, 9.2), Rounded(QRectF(c - 5, 12, 10, 10), 3), Rounded(QRectF(c - 3.8, 19, 7.6, 7), 3)});
    skull = skull.subtracted(Unite({Oval({c - 2.5, 13.5}, 1.8, 2), Oval({c + 2.5, 13.5}, 1.8, 2),
                                    Oval({c, 17.6}, 0.9, 1.3), Capsule({c - 2.6, 22.2}, {c + 2.6, 22.2}, 0.9)}));
    for (int i = 0; i < 3; ++i)
        skull = skull.united(Rounded(QRectF(c - 2.5, 28 + i * 3.6, 5, 2.6), 1));
    return skull;
}

QPainterPath Column(const ShapeRow& row)
{
    const qreal c = row.width / 2.0;
    QPainterPath column;
    for (int i = 0; i < 3; ++i) {
        const qreal top = 2 + i * 9.5;
        column = column.united(
            Unite({Rounded(QRectF(c - 3, top, 6, 7.5), 2), Capsule({c - 3.6, top + 3.5}, {c + 3.6, top + 3.5}, 2)}));
    }
    return column;
}

// Seen from the back: the body with its waist, the transverse processes to
// the sides, the articular knobs on top and the spinous process pointing down.
QPainterPath Vertebra(const ShapeRow& row)
{
    const qreal c = row.width / 2.0;
    QPainterPath body(QPointF(c - 6, 7));
    body.lineTo(c + 6, 7);
    body.quadTo(c + 4.2, 14.5, c + 6, 21);
    body.lineTo(c - 6, 21);
    body.quadTo(c - 4.2, 14.5, c - 6, 7);
    QPainterPathStroker round;
    round.setWidth(2.5);
    round.setJoinStyle(Qt::RoundJoin);
    return Unite({body, round.createStroke(body), Capsule({3.2, 12.5}, {row.width - 3.2, 11.5}, 4),
                  Capsule({3.2, 11.5}, {row.width - 3.2, 12.5}, 4), Oval({c - 3.6, 4.4}, 2.2, 2.2),
                  Oval({c + 3.6, 4.4}, 2.2, 2.2), Capsule({c, 20}, {c, 25.2}, 3.6)});
}

QPainterPath Carpus()
{
    QPainterPath carpus;
    for (int i = 0; i < 4; ++i)
        carpus = carpus.united(Oval({5.3 + i * 5.45, 7.5}, 2.5, 3.4));
    for (int i = 0; i < 3; ++i)
        carpus = carpus.united(Oval({7.3 + i * 6.2, 15.5}, 2.9, 3.5));
    return carpus.united(Unite({Oval({9, 23.5}, 4.2, 2.3), Oval({18.5, 23.5}, 3.6, 2.3)}));
}

QPainterPath Tarsus()
{
    QPainterPath tarsus;
    const qreal left[] = {3, 11, 18, 25.5};
    const qreal right[] = {10, 17, 24.5, 33};
    for (int i = 0; i < 4; ++i)
        tarsus = tarsus.united(Rounded(QRectF(left[i], 3, right[i] - left[i], 11), 2.5));
    return Unite({tarsus, Rounded(QRectF(5, 15.5, 12.5, 9), 3.5), Rounded(QRectF(19, 15.5, 12, 9), 3.5),
                  Oval({18, 31.5}, 8.5, 5)});
}

// A hand pointing right: palm, four fingers and the thumb above them.
QPainterPath HandSide()
{
    QPainterPath hand = Rounded(QRectF(2, 6, 11, 10), 3.5);
    const qreal reach[] = {22, 25, 24, 21};
    for (int i = 0; i < 4; ++i)
        hand = hand.united(Capsule({11, 7.4 + i * 2.4}, {reach[i], 7.4 + i * 2.4}, 1.9));
    return hand.united(Capsule({9, 7}, {15, 3}, 2.4));
}

// A foot seen from the front: ankle knob, heel and a forefoot with toes.
QPainterPath FootFront(const ShapeRow& row)
{
    const qreal c = row.width / 2.0;
    QPainterPath foot(QPointF(c - 3, 13));
    foot.lineTo(c + 3, 13);
    foot.lineTo(c + 5.5, 22);
    foot.lineTo(c - 5.5, 22);
    foot.closeSubpath();
    QPainterPathStroker round;
    round.setWidth(2);
    round.setJoinStyle(Qt::RoundJoin);
    QPainterPath toes;
    for (int i = 0; i < 4; ++i)
        toes = toes.united(Oval({c - 4.2 + i * 2.8, 24}, 1.3, 1.8));
    return Unite(
        {Oval({c, 5.5}, 3.8, 3.5), Rounded(QRectF(c - 3, 9.5, 6, 5), 2), foot, round.createStroke(foot), toes});
}

QPainterPath Reference(const ShapeRow& row)
{
    const QPointF c(row.width / 2.0, row.height / 2.0);
    return Unite({Ring(c, 4.6, 4.6, 1.8), Capsule({c.x(), 2}, {c.x(), row.height - 2.0}, 1.6),
                  Capsule({2, c.y()}, {row.width - 2.0, c.y()}, 1.6), Oval(c, 1.6, 1.6)});
}

int OverlayBase(int key)
{
    switch (key) {
    case 4:
    case 5: return 3;
    case 6:
    case 7: return 2;
    case 8:
    case 9: return 1;
    default: return 0;
    }
}

QImage Canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

}  // namespace

bool IsBone(ShapeKind kind) { return kind <= kReference; }

void BoneAxis(const ShapeRow& row, QPointF* nearEnd, QPointF* farEnd)
{
    const qreal w = row.width;
    const qreal h = row.height;
    const qreal m = MarginOf(row.kind);
    const qreal r = KnobRadius(row);
    const qreal t = row.tilt / 2.0;
    if (IsAcross(row.kind)) {
        *nearEnd = QPointF(m + r, h / 2 - t);
        *farEnd = QPointF(w - m - r, h / 2 + t);
    } else if (row.kind == kRoll) {
        *nearEnd = QPointF(w / 2, h - m - 2);
        *farEnd = QPointF(w / 2, m + 2);
    } else {
        *nearEnd = QPointF(w / 2 - t, h - m - r);
        *farEnd = QPointF(w / 2 + t, m + r);
    }
}

QPainterPath BoneShape(const ShapeRow& row)
{
    QPointF a;
    QPointF b;
    BoneAxis(row, &a, &b);
    const qreal r = KnobRadius(row);
    switch (row.kind) {
    case kBone:
    case kBoneAcross: return LongBone(a, b, r, r * 0.9);
    case kTip: return Unite({Capsule(a, b + QPointF(0, 0.8), r * 1.2), Oval(a, r, r)});
    case kKnuckle: return Unite({Capsule(a, b, r * 1.5), Oval(a, r, r), Oval(b, r, r)});
    case kTwinBone:
    case kTwinAcross:
        return TwinBone(a, b, r * 0.85, r,
                        (row.kind == kTwinBone ? row.width : row.height) - 2 * kMargin - std::abs(row.tilt));
    case kRoll:
    case kRollAcross: {
        if (row.kind == kRollAcross) {
            a = QPointF(kMargin + 2, row.height / 2.0);
            b = QPointF(row.width - kMargin - 2, row.height / 2.0);
        }
        return RollBone(a, b, row.kind == kRollAcross);
    }
    case kClavicle: return Unite({CurvedBone(a, b, 3, -3, 7.5), Oval(a, r * 1.15, r), Oval(b, r, r * 0.9)});
    case kShoulderBlade:
        return Unite({CurvedBone(a, b, -2.5, -2.5, 7.5), Oval(a, r * 0.9, r * 0.9), Oval(b, r * 1.1, r * 1.2)});
    case kCarpus: return Carpus();
    case kTarsus: return Tarsus();
    case kPelvis: return Pelvis(row);
    case kSkull: return Skull(row);
    case kColumn: return Column(row);
    case kVertebra: return Vertebra(row);
    case kHandSide: return HandSide();
    case kFootFront: return FootFront(row);
    case kReference: return Reference(row);
    default: return QPainterPath();
    }
}

QImage DrawBone(const ShapeRow& row, int stateKey)
{
    QImage image = Canvas(row.width, row.height);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath bone = BoneShape(row);
    if (stateKey <= 3) {
        const QColor colour = StateColour(stateKey);
        QLinearGradient shade(0, 0, row.width, row.height);
        shade.setColorAt(0, colour.lighter(118));
        shade.setColorAt(1, colour.darker(112));
        painter.fillPath(bone, shade);
        painter.strokePath(bone, QPen(colour.darker(185), 1));
        return image;
    }
    const int base = OverlayBase(stateKey);
    const bool picking = stateKey % 2 == 1;
    const qreal tint = base == 0 ? 0.0 : 0.45;
    if (!picking) {
        painter.fillPath(bone, QColor(255, 255, 255, 84));
        painter.strokePath(bone, QPen(Mix(Qt::white, StateColour(base), tint), 2));
        return image;
    }
    const QColor yellow = Mix(QColor(255, 224, 40), StateColour(base), tint * 0.7);
    painter.strokePath(bone, QPen(WithAlpha(yellow, 80), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(bone, WithAlpha(yellow, 48));
    QPen dashed(yellow, 2, Qt::CustomDashLine, Qt::FlatCap, Qt::RoundJoin);
    dashed.setDashPattern({2.5, 1.5});
    painter.strokePath(bone, dashed);
    return image;
}

namespace {

// --- The 3D view's pictures ---

const QColor kCursorFill(255, 255, 255);
const QColor kCursorOutline(24, 24, 24);
const QColor kButtonGrey(206, 208, 212);

// A stroke as a closed outline, so that it can be filled and outlined.
QPainterPath Stroke(const QPainterPath& path, qreal width)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::FlatCap);
    stroker.setJoinStyle(Qt::MiterJoin);
    return stroker.createStroke(path);
}

// An arrowhead with its tip at `tip`, pointing along the unit `direction`.
QPainterPath ArrowHead(QPointF tip, QPointF direction, qreal length, qreal halfWidth)
{
    const QPointF back = tip - direction * length;
    const QPointF side(-direction.y() * halfWidth, direction.x() * halfWidth);
    QPainterPath head;
    head.addPolygon(QPolygonF({tip, back + side, back - side, tip}));
    return head;
}

// White with a dark outline, readable on any background. The shape is one
// union, so that overlapping parts show no inner outlines.
void DrawCursorShape(QPainter& painter, const QPainterPath& shape)
{
    painter.strokePath(shape, QPen(kCursorOutline, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(shape, kCursorFill);
}

// Two arcs around the hot spot, each ending in an arrowhead: turning.
QPainterPath OrbitCursor(QPointF c)
{
    const qreal radius = 9.5;
    QPainterPath shape;
    for (const qreal start : {25.0, 205.0}) {
        const qreal sweep = 130.0;
        QPainterPath arc;
        arc.arcMoveTo(QRectF(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius), start);
        arc.arcTo(QRectF(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius), start, sweep);
        shape = shape.united(Stroke(arc, 3.0));
        // Qt's angles turn counter-clockwise on screen (y down).
        const qreal end = qDegreesToRadians(start + sweep);
        const QPointF tip(c.x() + radius * std::cos(end), c.y() - radius * std::sin(end));
        const QPointF tangent(-std::sin(end), -std::cos(end));
        shape = shape.united(ArrowHead(tip + tangent * 3.5, tangent, 7.0, 5.0));
    }
    return shape;
}

// A cross with an arrowhead on each arm: moving.
QPainterPath PanCursor(QPointF c)
{
    QPainterPath shape;
    const qreal reach = 13.0;
    for (const QPointF direction : {QPointF(1, 0), QPointF(-1, 0), QPointF(0, 1), QPointF(0, -1)}) {
        QPainterPath arm(c - direction * 1.5);
        arm.lineTo(c + direction * (reach - 5.0));
        shape = shape.united(Stroke(arm, 3.0)).united(ArrowHead(c + direction * reach, direction, 6.0, 4.5));
    }
    return shape;
}

// A lens with a handle: enlarging.
QPainterPath ZoomCursor()
{
    const QPointF lens(13, 13);
    QPainterPath ring;
    ring.addEllipse(lens, 8.0, 8.0);
    ring.addEllipse(lens, 5.0, 5.0);
    ring.setFillRule(Qt::OddEvenFill);
    QPainterPath handle(lens + QPointF(6.5, 6.5));
    handle.lineTo(27.5, 27.5);
    QPainterPathStroker stroker;
    stroker.setWidth(5.0);
    stroker.setCapStyle(Qt::RoundCap);
    return ring.united(stroker.createStroke(handle));
}

// Eight teeth around a ring with a hole.
QPainterPath Gear(QPointF c)
{
    QPainterPath body;
    body.addEllipse(c, 6.0, 6.0);
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRect(QRectF(-1.6, -8.6, 3.2, 4.0));
        body = body.united(QTransform().translate(c.x(), c.y()).rotate(45.0 * i).map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(c, 2.6, 2.6);
    return body.subtracted(hole);
}

// --- The figure's single pictures ---

// The status light: a dark rim, a grey bezel and the glass in the state's
// colour (grey when unset) with a highlight.
void DrawLamp(QPainter& painter, QPointF c, int state)
{
    const QColor colour = state == 0 ? QColor(128, 130, 134) : StateColour(state);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 30, 30));
    painter.drawEllipse(c, 14.5, 14.5);
    painter.setBrush(QColor(96, 96, 96));
    painter.drawEllipse(c, 13, 13);
    QRadialGradient glass(c - QPointF(3.5, 3.5), 13);
    glass.setColorAt(0, colour.lighter(165));
    glass.setColorAt(0.55, colour);
    glass.setColorAt(1, colour.darker(150));
    painter.setBrush(glass);
    painter.drawEllipse(c, 11, 11);
    painter.setBrush(QColor(255, 255, 255, 110));
    painter.drawEllipse(c - QPointF(3, 5), 5.5, 3.2);
}

// A magnifier: the way into a page of details.
void DrawMagnifier(QPainter& painter)
{
    const QColor dark(34, 34, 34);
    const QPointF lens(9.5, 9.5);
    const QPointF handle(18.5, 18.5);
    for (const auto& [colour, grow] : {std::pair<QColor, qreal>(dark, 2.0), {QColor(245, 245, 245), 0.0}}) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(colour, 2.4 + grow, Qt::SolidLine, Qt::RoundCap));
        painter.drawEllipse(lens, 5.6, 5.6);
        painter.setPen(QPen(colour, 3.4 + grow, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(lens + QPointF(4.4, 4.4), handle);
    }
}

// The disc in a state's colour that lies under the magnifier.
void DrawStateDisc(QPainter& painter, QPointF c, int state)
{
    const QColor colour = StateColour(state);
    QRadialGradient disc(c - QPointF(3, 3), 11);
    disc.setColorAt(0, colour.lighter(130));
    disc.setColorAt(1, colour.darker(125));
    painter.setPen(QPen(colour.darker(200), 1));
    painter.setBrush(disc);
    painter.drawEllipse(c, 10, 10);
}

// The go-to arrow: the magnifier itself in state 0, its state disc otherwise.
void DrawGoToArrow(QPainter& painter, QPointF c, int state)
{
    if (state == 0)
        DrawMagnifier(painter);
    else
        DrawStateDisc(painter, c, state);
}

// The way back to the full body: a turning arrow on a dark disc.
void DrawReturnArrow(QPainter& painter, QPointF c)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 40, 40, 210));
    painter.drawEllipse(c, 10.5, 10.5);
    QPainterPath turn(QPointF(15.5, 16));
    turn.lineTo(15.5, 11);
    turn.arcTo(QRectF(8.5, 5.5, 7, 7), 0, 180);
    turn.lineTo(8.5, 12);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(240, 240, 240), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(turn);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(240, 240, 240));
    painter.drawPolygon(QPolygonF({QPointF(4.5, 11.5), QPointF(12.5, 11.5), QPointF(8.5, 17)}));
}

// A bent limb on a dark square, its joint marked.
void DrawLimbToggle(QPainter& painter, ShapeKind kind)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(36, 36, 36, 220));
    painter.drawRoundedRect(QRectF(0.5, 0.5, 21, 21), 4, 4);
    // The joint points forward (right) for a normal limb, backward when inverted.
    const qreal bend = kind == kToggleNormal ? 5.5 : -5.5;
    const QPointF top(11 - bend * 0.4, 3.5);
    const QPointF joint(11 + bend, 11);
    const QPointF bottom(11 - bend * 0.4, 18.5);
    const QColor bone(226, 228, 232);
    painter.setPen(QPen(bone, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(QPolygonF({top, joint, bottom}));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 208, 64));
    painter.drawEllipse(joint, 2.6, 2.6);
}

// A small state disc; `variant` is its colour, plus 10 for a white ring around it.
void DrawBubble(QPainter& painter, QPointF c, int variant)
{
    const int colour = variant % 10;
    painter.setPen(QPen(StateColour(colour).darker(170), 1));
    painter.setBrush(colour == 0 ? QColor(150, 152, 156) : StateColour(colour));
    painter.drawEllipse(c, 4.5, 4.5);
    if (variant >= 10) {
        painter.setPen(QPen(Qt::white, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(c, 6.6, 6.6);
    }
}

// Three lines.
void DrawMenuButton(QPainter& painter)
{
    painter.setPen(QPen(QColor(220, 220, 220), 2, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i)
        painter.drawLine(QPointF(3, 4 + i * 4), QPointF(13, 4 + i * 4));
}

// A cross.
void DrawDeleteButton(QPainter& painter)
{
    painter.setPen(QPen(QColor(220, 220, 220), 2.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(4, 4), QPointF(12, 12));
    painter.drawLine(QPointF(12, 4), QPointF(4, 12));
}

// An eye: the lids and the pupil.
void DrawEye(QPainter& painter, QPointF c)
{
    QPainterPath lid(QPointF(1.5, 10));
    lid.quadTo(QPointF(10, 1.0), QPointF(18.5, 10));
    lid.quadTo(QPointF(10, 19.0), QPointF(1.5, 10));
    painter.setPen(QPen(kButtonGrey, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(lid);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kButtonGrey);
    painter.drawEllipse(c, 3.2, 3.2);
}

// Four corners of a frame.
void DrawFrameCorners(QPainter& painter)
{
    painter.setPen(QPen(kButtonGrey, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    for (const QPointF corner : {QPointF(3, 3), QPointF(17, 3), QPointF(17, 17), QPointF(3, 17)}) {
        const qreal sx = corner.x() < 10 ? 1 : -1, sy = corner.y() < 10 ? 1 : -1;
        painter.drawPolyline(QPolygonF({corner + QPointF(0, 4.5 * sy), corner, corner + QPointF(4.5 * sx, 0)}));
    }
}

}  // namespace

QImage DrawSingle(const ShapeRow& row, int state)
{
    QImage image = Canvas(row.width, row.height);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF c(row.width / 2.0, row.height / 2.0);
    switch (row.kind) {
    case kLamp: DrawLamp(painter, c, state); break;
    case kGoToArrow: DrawGoToArrow(painter, c, state); break;
    case kReturnArrow: DrawReturnArrow(painter, c); break;
    case kToggleNormal:
    case kToggleInversed: DrawLimbToggle(painter, row.kind); break;
    case kBubble: DrawBubble(painter, c, row.variant); break;
    case kMenuButton: DrawMenuButton(painter); break;
    case kDeleteButton: DrawDeleteButton(painter); break;
    case kCursorOrbit: DrawCursorShape(painter, OrbitCursor(c)); break;
    case kCursorPan: DrawCursorShape(painter, PanCursor(c)); break;
    case kCursorZoom: DrawCursorShape(painter, ZoomCursor()); break;
    case kViewSettings: painter.fillPath(Gear(c), kButtonGrey); break;
    case kViewVisibility: DrawEye(painter, c); break;
    case kViewFrame: DrawFrameCorners(painter); break;
    default: break;
    }
    return image;
}
