// Drawing of the figure pictures: bones in their states and overlays, the
// single pictures (status light, arrows, toggles, bubbles, buttons) and the
// page backgrounds. Everything is drawn without text.
#ifndef SKW_TOOLS_DRAWING_H
#define SKW_TOOLS_DRAWING_H

#include "shape_table.h"

#include <QImage>
#include <QPainterPath>
#include <QPointF>

class SchematicPageDef;

bool IsBone(ShapeKind kind);

// The outline of a bone in its own box.
QPainterPath BoneShape(const ShapeRow& row);

// The two ends of a bone's axis in its own box (near end first: bottom or left).
void BoneAxis(const ShapeRow& row, QPointF* nearEnd, QPointF* farEnd);

// A bone in state key 0 to 3, or the overlay of key 4 to 11.
QImage DrawBone(const ShapeRow& row, int stateKey);

// A single picture in state 0 to 3 (the kinds without states take 0).
QImage DrawSingle(const ShapeRow& row, int state);

// The background of a page; the parts of the page anchor the silhouette.
QImage DrawBackground(const ShapeRow& row, const SchematicPageDef& page);

#endif
