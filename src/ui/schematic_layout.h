// The seven pages of the figure view: which picture stands for which rig node
// where, the navigation arrows between the pages, the limb inversion toggles
// and the status light. Built in code once per process and never changed.
// Depends on Qt Core only: the picture generator draws from the same layout.
#ifndef SKW_UI_SCHEMATIC_LAYOUT_H
#define SKW_UI_SCHEMATIC_LAYOUT_H

#include "ui/part_states.h"

#include <QString>
#include <QVector>

enum SchematicPageIndex : int {
    kPageFullBody = 0,
    kPageHands = 1,
    kPageFeet = 2,
    kPageNeck = 3,
    kPageSpine = 4,
    kPageLeftCollar = 5,
    kPageRightCollar = 6,
    kSchematicPageCount = 7
};

// A part (one rig node), a navigation arrow or the status element. Positions
// are the top-left corner in page coordinates (pixels of the 380 by 380
// background).
class SchematicItemDef {
public:
    SchematicItemDef() = default;
    // A part: its rig node, picture prefix and position.
    SchematicItemDef(int nodeId, const QString& picturePrefix, int x, int y);
    // An arrow: the node it stands for (-1 for none), the page it leads to, a
    // picture drawn over it, its tooltip, picture prefix and position.
    SchematicItemDef(int nodeId, int targetPage, const QString& picture, const QString& tooltip,
                     const QString& picturePrefix, int x, int y);
    // A named element that stands for no node and leads nowhere.
    SchematicItemDef(const QString& name, const QString& picturePrefix, int x, int y);

    int GetNodeId() const { return nodeId_; }
    int GetTargetPage() const { return targetPage_; }
    QString GetPicture() const { return picture_; }
    QString GetToolTip() const { return tooltip_; }
    QString GetName() const { return name_; }
    QString GetPicturePrefix() const { return picturePrefix_; }
    int GetX() const { return x_; }
    int GetY() const { return y_; }

private:
    int nodeId_ = -1;
    int targetPage_ = -1;
    QString picture_;
    QString tooltip_;
    QString name_;
    QString picturePrefix_;
    int x_ = 0;
    int y_ = 0;
};

// A limb inversion toggle: two pictures of one size at one place.
class SchematicInversionDef {
public:
    SchematicInversionDef() = default;
    SchematicInversionDef(int nodeId, const QString& normalPicture, const QString& invertedPicture, int x, int y,
                          bool mirrored);

    int GetNodeId() const { return nodeId_; }
    QString GetNormalPicture() const { return normalPicture_; }
    QString GetInvertedPicture() const { return invertedPicture_; }
    int GetX() const { return x_; }
    int GetY() const { return y_; }
    // Both pictures are to be drawn mirrored left to right.
    bool IsMirrored() const { return mirrored_; }

private:
    int nodeId_ = -1;
    QString normalPicture_;
    QString invertedPicture_;
    int x_ = 0;
    int y_ = 0;
    bool mirrored_ = false;
};

// One page. A copy shares the element records (the vectors hold pointers).
class SchematicPageDef {
public:
    SchematicPageDef() = default;
    SchematicPageDef(const QString& name, const QString& basePicture, int baseX, int baseY, int red, int green,
                     int blue, int pageIndex);

    QString GetName() const { return name_; }
    QString GetBasePicture() const { return basePicture_; }
    // Offset added to the position of every element of the page.
    int GetBaseX() const { return baseX_; }
    int GetBaseY() const { return baseY_; }
    // The view's background colour while the page shows.
    int GetRed() const { return rgb_[0]; }
    int GetGreen() const { return rgb_[1]; }
    int GetBlue() const { return rgb_[2]; }
    int GetPageIndex() const { return pageIndex_; }

    const QVector<SchematicItemDef*>& GetParts() const { return parts_; }
    const QVector<SchematicItemDef*>& GetArrows() const { return arrows_; }
    const QVector<SchematicInversionDef*>& GetInversions() const { return inversions_; }
    // Element i; null when i is negative or not below the count.
    SchematicItemDef* GetPart(int i) const;
    SchematicItemDef* GetArrow(int i) const;
    SchematicInversionDef* GetInversion(int i) const;
    SchematicItemDef* GetFirstPart() const { return GetPart(0); }
    SchematicItemDef* GetFirstArrow() const { return GetArrow(0); }
    SchematicInversionDef* GetFirstInversion() const { return GetInversion(0); }

    void AddPart(SchematicItemDef* part) { parts_.append(part); }
    void AddArrow(SchematicItemDef* arrow) { arrows_.append(arrow); }
    void AddInversion(SchematicInversionDef* inversion) { inversions_.append(inversion); }

private:
    QString name_;
    QString basePicture_;
    int baseX_ = 0;
    int baseY_ = 0;
    int rgb_[3] = {0, 0, 0};
    int pageIndex_ = -1;
    QVector<SchematicItemDef*> parts_;
    QVector<SchematicItemDef*> arrows_;
    QVector<SchematicInversionDef*> inversions_;
};

// The status element, the picture suffixes and the pages in page index order.
class SchematicLayout {
public:
    // The process-wide layout, built on first use and never freed.
    static const SchematicLayout& Instance();

    const SchematicItemDef& GetStatus() const { return status_; }
    const StateRepresentation& GetStates() const { return states_; }
    int GetPageCount() const { return pages_.size(); }
    const QVector<SchematicPageDef*>& GetPages() const { return pages_; }
    // Page i; null when i is negative or not below the count.
    SchematicPageDef* GetPage(int i) const;
    SchematicPageDef* GetFirstPage() const { return GetPage(0); }

    void SetStatus(const SchematicItemDef& status) { status_ = status; }
    void AddPage(SchematicPageDef* page) { pages_.append(page); }

private:
    SchematicItemDef status_;
    StateRepresentation states_;
    QVector<SchematicPageDef*> pages_;
};

// Fills a default-constructed layout: the status element and the seven pages.
// What it allocates lives as long as the process.
void BuildSchematicPages(SchematicLayout& layout);

#endif
