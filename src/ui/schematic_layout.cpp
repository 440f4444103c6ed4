#include "ui/schematic_layout.h"

#include <algorithm>
#include <iterator>

SchematicItemDef::SchematicItemDef(int nodeId, const QString& picturePrefix, int x, int y)
    : nodeId_(nodeId), picturePrefix_(picturePrefix), x_(x), y_(y)
{
}

SchematicItemDef::SchematicItemDef(int nodeId, int targetPage, const QString& picture, const QString& tooltip,
                                   const QString& picturePrefix, int x, int y)
    : nodeId_(nodeId),
      targetPage_(targetPage),
      picture_(picture),
      tooltip_(tooltip),
      picturePrefix_(picturePrefix),
      x_(x),
      y_(y)
{
}

SchematicItemDef::SchematicItemDef(const QString& name, const QString& picturePrefix, int x, int y)
    : name_(name), picturePrefix_(picturePrefix), x_(x), y_(y)
{
}

SchematicInversionDef::SchematicInversionDef(int nodeId, const QString& normalPicture, const QString& invertedPicture,
                                             int x, int y, bool mirrored)
    : nodeId_(nodeId),
      normalPicture_(normalPicture),
      invertedPicture_(invertedPicture),
      x_(x),
      y_(y),
      mirrored_(mirrored)
{
}

SchematicPageDef::SchematicPageDef(const QString& name, const QString& basePicture, int baseX, int baseY, int red,
                                   int green, int blue, int pageIndex)
    : name_(name),
      basePicture_(basePicture),
      baseX_(baseX),
      baseY_(baseY),
      rgb_{red, green, blue},
      pageIndex_(pageIndex)
{
}

namespace {

template <typename T>
T* ElementAt(const QVector<T*>& elements, int i)
{
    return i >= 0 && i < elements.size() ? elements[i] : nullptr;
}

}  // namespace

SchematicItemDef* SchematicPageDef::GetPart(int i) const { return ElementAt(parts_, i); }

SchematicItemDef* SchematicPageDef::GetArrow(int i) const { return ElementAt(arrows_, i); }

SchematicInversionDef* SchematicPageDef::GetInversion(int i) const { return ElementAt(inversions_, i); }

SchematicPageDef* SchematicLayout::GetPage(int i) const { return ElementAt(pages_, i); }

const SchematicLayout& SchematicLayout::Instance()
{
    static SchematicLayout* const layout = [] {
        auto* built = new SchematicLayout;
        BuildSchematicPages(*built);
        return built;
    }();
    return *layout;
}

namespace {

// One part: rig node, picture name (within the page's picture folder) and
// top-left corner. Where the picture name differs from the rig node name, the
// comment gives the node.
struct PartRow {
    int node;
    const char* picture;
    int x;
    int y;
};

// clang-format off
const PartRow kFullBodyParts[] = {
    {0, "Reference", 183, 342},
    {49, "NotReq_LeftArm", 226, 166},  // HipsTranslation
    {8, "Spine", 185, 133},
    {1, "Hips", 172, 164},
    {2, "LeftUpLeg", 203, 184},
    {41, "NotReq_LeftLeg", 232, 216},  // LeftUpLegRoll
    {3, "LeftLeg", 209, 264},
    {42, "NotReq_LeftLeg", 233, 293},  // LeftLegRoll
    {4, "LeftFoot", 217, 344},
    {5, "RightUpLeg", 162, 184},
    {43, "NotReq_RightLeg", 138, 216},  // RightUpLegRoll
    {6, "RightLeg", 156, 264},
    {44, "NotReq_RightLeg", 137, 293},  // RightLegRoll
    {7, "RightFoot", 147, 344},
    {9, "LeftArm", 223, 78},
    {45, "NotReq_LeftArm", 245, 61},  // LeftArmRoll
    {10, "LeftForeArm", 272, 77},
    {46, "NotReq_LeftArm", 291, 61},  // LeftForeArmRoll
    {11, "LeftHand", 324, 74},
    {12, "RightArm", 108, 78},
    {47, "NotReq_RightArm", 116, 61},  // RightArmRoll
    {13, "RightForeArm", 56, 77},
    {48, "NotReq_RightArm", 70, 61},  // RightForeArmRoll
    {14, "RightHand", 29, 74},
    {15, "Head", 183, 20},
};

const PartRow kLeftCollarParts[] = {
    {18, "LeftShoulder", 55, 123},
    {170, "LeftShoulderExtra", 156, 105},
};

const PartRow kRightCollarParts[] = {
    {19, "RightShoulder", 224, 123},
    {171, "RightShoulderExtra", 116, 105},
};

const PartRow kHandsParts[] = {
    {21, "LeftFingerBase", 72, 298},
    {146, "LeftInHandThumb", 108, 294},
    {50, "LeftHandThumb1", 127, 260},
    {51, "LeftHandThumb2", 146, 221},
    {52, "LeftHandThumb3", 160, 184},
    {53, "LeftHandThumb4", 172, 163},
    {147, "LeftInHandIndex", 106, 217},
    {54, "LeftHandIndex1", 117, 172},
    {55, "LeftHandIndex2", 131, 139},
    {56, "LeftHandIndex3", 142, 103},
    {57, "LeftHandIndex4", 153, 82},
    {148, "LeftInHandMiddle", 88, 216},
    {58, "LeftHandMiddle1", 93, 157},
    {59, "LeftHandMiddle2", 98, 116},
    {60, "LeftHandMiddle3", 102, 80},
    {61, "LeftHandMiddle4", 104, 59},
    {149, "LeftInHandRing", 70, 219},
    {62, "LeftHandRing1", 67, 168},
    {63, "LeftHandRing2", 66, 130},
    {64, "LeftHandRing3", 61, 94},
    {65, "LeftHandRing4", 56, 73},
    {150, "LeftInHandPinky", 53, 233},
    {66, "LeftHandPinky1", 47, 194},
    {67, "LeftHandPinky2", 42, 158},
    {68, "LeftHandPinky3", 32, 119},
    {69, "LeftHandPinky4", 26, 98},
    {151, "LeftInHandExtra", 27, 243},  // LeftInHandExtraFinger
    {70, "LeftHandExtra1", 22, 205},  // LeftHandExtraFinger1
    {71, "LeftHandExtra2", 17, 169},  // LeftHandExtraFinger2
    {72, "LeftHandExtra3", 12, 138},  // LeftHandExtraFinger3
    {73, "LeftHandExtra4", 7, 117},  // LeftHandExtraFinger4
    {22, "RightFingerBase", 281, 298},
    {152, "RightInHandThumb", 249, 294},
    {74, "RightHandThumb1", 227, 260},
    {75, "RightHandThumb2", 212, 221},
    {76, "RightHandThumb3", 200, 184},
    {77, "RightHandThumb4", 195, 163},
    {153, "RightInHandIndex", 255, 217},
    {78, "RightHandIndex1", 243, 172},
    {79, "RightHandIndex2", 231, 139},
    {80, "RightHandIndex3", 220, 103},
    {81, "RightHandIndex4", 213, 82},
    {154, "RightInHandMiddle", 277, 216},
    {82, "RightHandMiddle1", 272, 157},
    {83, "RightHandMiddle2", 267, 116},
    {84, "RightHandMiddle3", 263, 80},
    {85, "RightHandMiddle4", 263, 59},
    {155, "RightInHandRing", 295, 219},
    {86, "RightHandRing1", 298, 168},
    {87, "RightHandRing2", 299, 130},
    {88, "RightHandRing3", 303, 94},
    {89, "RightHandRing4", 310, 73},
    {156, "RightInHandPinky", 312, 233},
    {90, "RightHandPinky1", 318, 194},
    {91, "RightHandPinky2", 323, 158},
    {92, "RightHandPinky3", 330, 119},
    {93, "RightHandPinky4", 341, 98},
    {157, "RightInHandExtra", 336, 243},  // RightInHandExtraFinger
    {94, "RightHandExtra1", 343, 205},  // RightHandExtraFinger1
    {95, "RightHandExtra2", 348, 169},  // RightHandExtraFinger2
    {96, "RightHandExtra3", 354, 138},  // RightHandExtraFinger3
    {97, "RightHandExtra4", 359, 117},  // RightHandExtraFinger4
};

// The thumb chain and the extra-finger chain of each foot exchange pictures:
// rig node LeftFootThumb1 shows "LeftFootExtra1", LeftFootExtraFinger1 shows
// "LeftFootThumb1", and so on for the in-foot nodes and the right foot.
const PartRow kFeetParts[] = {
    {16, "LeftToeBase", 104, 254},
    {163, "LeftInFootThumb", 134, 143},  // LeftInFootExtraFinger
    {118, "LeftFootThumb1", 132, 114},  // LeftFootExtraFinger1
    {119, "LeftFootThumb2", 131, 84},  // LeftFootExtraFinger2
    {120, "LeftFootThumb3", 129, 56},  // LeftFootExtraFinger3
    {121, "LeftFootThumb4", 126, 36},  // LeftFootExtraFinger4
    {159, "LeftInFootIndex", 105, 149},
    {102, "LeftFootIndex1", 100, 109},
    {103, "LeftFootIndex2", 96, 87},
    {104, "LeftFootIndex3", 94, 66},
    {105, "LeftFootIndex4", 92, 45},
    {160, "LeftInFootMiddle", 85, 161},
    {106, "LeftFootMiddle1", 78, 126},
    {107, "LeftFootMiddle2", 72, 105},
    {108, "LeftFootMiddle3", 64, 85},
    {109, "LeftFootMiddle4", 56, 67},
    {161, "LeftInFootRing", 71, 174},
    {110, "LeftFootRing1", 63, 146},
    {111, "LeftFootRing2", 55, 125},
    {112, "LeftFootRing3", 46, 109},
    {113, "LeftFootRing4", 38, 90},
    {162, "LeftInFootPinky", 56, 183},
    {114, "LeftFootPinky1", 46, 160},
    {115, "LeftFootPinky2", 38, 143},
    {116, "LeftFootPinky3", 30, 126},
    {117, "LeftFootPinky4", 21, 107},
    {158, "LeftInFootExtra", 156, 148},  // LeftInFootThumb
    {98, "LeftFootExtra1", 166, 123},  // LeftFootThumb1
    {99, "LeftFootExtra2", 166, 96},  // LeftFootThumb2
    {100, "LeftFootExtra3", 166, 68},  // LeftFootThumb3
    {101, "LeftFootExtra4", 165, 47},  // LeftFootThumb4
    {17, "RightToeBase", 240, 254},
    {169, "RightInFootThumb", 230, 143},  // RightInFootExtraFinger
    {142, "RightFootThumb1", 234, 114},  // RightFootExtraFinger1
    {143, "RightFootThumb2", 235, 84},  // RightFootExtraFinger2
    {144, "RightFootThumb3", 237, 56},  // RightFootExtraFinger3
    {145, "RightFootThumb4", 241, 36},  // RightFootExtraFinger4
    {165, "RightInFootIndex", 249, 149},
    {126, "RightFootIndex1", 265, 109},
    {127, "RightFootIndex2", 270, 87},
    {128, "RightFootIndex3", 272, 66},
    {129, "RightFootIndex4", 275, 45},
    {166, "RightInFootMiddle", 266, 161},
    {130, "RightFootMiddle1", 286, 126},
    {131, "RightFootMiddle2", 294, 105},
    {132, "RightFootMiddle3", 301, 85},
    {133, "RightFootMiddle4", 310, 67},
    {167, "RightInFootRing", 281, 174},
    {134, "RightFootRing1", 301, 146},
    {135, "RightFootRing2", 310, 125},
    {136, "RightFootRing3", 319, 109},
    {137, "RightFootRing4", 327, 90},
    {168, "RightInFootPinky", 295, 183},
    {138, "RightFootPinky1", 317, 160},
    {139, "RightFootPinky2", 328, 143},
    {140, "RightFootPinky3", 336, 126},
    {141, "RightFootPinky4", 344, 107},
    {164, "RightInFootExtra", 204, 148},  // RightInFootThumb
    {122, "RightFootExtra1", 200, 123},  // RightFootThumb1
    {123, "RightFootExtra2", 200, 96},  // RightFootThumb2
    {124, "RightFootExtra3", 200, 68},  // RightFootThumb3
    {125, "RightFootExtra4", 201, 47},  // RightFootThumb4
};

const PartRow kNeckParts[] = {
    {20, "NeckSpine", 179, 315},  // Neck
    {32, "NeckSpine", 179, 284},  // Neck1
    {33, "NeckSpine", 179, 253},  // Neck2
    {34, "NeckSpine", 179, 222},  // Neck3
    {35, "NeckSpine", 179, 191},  // Neck4
    {36, "NeckSpine", 179, 160},  // Neck5
    {37, "NeckSpine", 179, 129},  // Neck6
    {38, "NeckSpine", 179, 98},  // Neck7
    {39, "NeckSpine", 179, 67},  // Neck8
    {40, "NeckSpine", 179, 36},  // Neck9
};

const PartRow kSpineParts[] = {
    {23, "NeckSpine", 179, 284},  // Spine1
    {24, "NeckSpine", 179, 253},  // Spine2
    {25, "NeckSpine", 179, 222},  // Spine3
    {26, "NeckSpine", 179, 191},  // Spine4
    {27, "NeckSpine", 179, 160},  // Spine5
    {28, "NeckSpine", 179, 129},  // Spine6
    {29, "NeckSpine", 179, 98},  // Spine7
    {30, "NeckSpine", 179, 67},  // Spine8
    {31, "NeckSpine", 179, 36},  // Spine9
};
// clang-format on

struct ArrowRow {
    int node;  // a rig node that stands on the target page
    int targetPage;
    const char* tooltip;
    int x;
    int y;
};

const ArrowRow kFullBodyArrows[] = {
    {21, kPageHands, "To Hands View", 354, 70},                 // LeftFingerBase
    {22, kPageHands, "To Hands View", 4, 70},                   // RightFingerBase
    {16, kPageFeet, "To Feet View", 240, 355},                  // LeftToeBase
    {17, kPageFeet, "To Feet View", 118, 355},                  // RightToeBase
    {20, kPageNeck, "To Neck View", 179, 59},                   // Neck
    {23, kPageSpine, "To Spine View", 179, 110},                // Spine1
    {18, kPageLeftCollar, "To Left Shoulder View", 201, 74},    // LeftShoulder
    {19, kPageRightCollar, "To Right Shoulder View", 157, 74},  // RightShoulder
};

struct InversionRow {
    int node;
    const char* normalPicture;
    const char* invertedPicture;
    int x;
    int y;
};

const InversionRow kFullBodyInversions[] = {
    {3, "LeftNormal.png", "LeftInversed.png", 227, 250},    // LeftLeg
    {6, "RightNormal.png", "RightInversed.png", 130, 250},  // RightLeg
    {10, "LeftNormal.png", "LeftInversed.png", 267, 48},    // LeftForeArm
    {13, "RightNormal.png", "RightInversed.png", 92, 48},   // RightForeArm
};

// Every page has the same colour and no offset.
const int kPageRed = 68;
const int kPageGreen = 68;
const int kPageBlue = 68;

SchematicPageDef* NewPage(const char* name, const char* basePicture, int pageIndex)
{
    return new SchematicPageDef(QString::fromLatin1(name), QString::fromLatin1(basePicture), 0, 0, kPageRed, kPageGreen,
                                kPageBlue, pageIndex);
}

template <std::size_t N>
void AddParts(SchematicPageDef* page, const char* folder, const PartRow (&rows)[N])
{
    for (const PartRow& row : rows)
        page->AddPart(new SchematicItemDef(row.node, QString::fromLatin1(folder) + QString::fromLatin1(row.picture),
                                           row.x, row.y));
}

// The arrow back to the full-body page, top left on every detail page.
void AddReturnArrow(SchematicPageDef* page)
{
    page->AddArrow(new SchematicItemDef(-1, kPageFullBody, QString(), QStringLiteral("To Full Body View"),
                                        QStringLiteral("ReturnToArrow"), 8, 8));
}

template <std::size_t N>
SchematicPageDef* DetailPage(const char* name, const char* basePicture, int pageIndex, const char* folder,
                             const PartRow (&rows)[N])
{
    SchematicPageDef* page = NewPage(name, basePicture, pageIndex);
    AddReturnArrow(page);
    AddParts(page, folder, rows);
    return page;
}

}  // namespace

void BuildSchematicPages(SchematicLayout& layout)
{
    layout.SetStatus(SchematicItemDef(QStringLiteral("ValidationElement"), QStringLiteral("Status"), 335, 11));

    SchematicPageDef* fullBody = NewPage("FullBody", "BodyGUI_Base.png", kPageFullBody);
    for (const InversionRow& row : kFullBodyInversions)
        fullBody->AddInversion(new SchematicInversionDef(row.node, QString::fromLatin1(row.normalPicture),
                                                         QString::fromLatin1(row.invertedPicture), row.x, row.y,
                                                         false));
    for (const ArrowRow& row : kFullBodyArrows)
        fullBody->AddArrow(new SchematicItemDef(row.node, row.targetPage, QStringLiteral("GoToArrow.png"),
                                                QString::fromLatin1(row.tooltip), QStringLiteral("GoToArrow"), row.x,
                                                row.y));
    AddParts(fullBody, "Bones/FullBody/", kFullBodyParts);

    // Created in this order; stored by page index below.
    SchematicPageDef* created[] = {
        fullBody,
        DetailPage("LeftCollar", "ShoulderLeftGUI_Base.png", kPageLeftCollar, "Bones/Shoulders/", kLeftCollarParts),
        DetailPage("RightCollar", "ShoulderRightGUI_Base.png", kPageRightCollar, "Bones/Shoulders/", kRightCollarParts),
        DetailPage("Hands", "HandsGUI_Base.png", kPageHands, "Bones/Hands/", kHandsParts),
        DetailPage("Feet", "FootGUI_Base.png", kPageFeet, "Bones/Feet/", kFeetParts),
        DetailPage("Neck", "NeckGUI_Base.png", kPageNeck, "Bones/Neck_Spine/", kNeckParts),
        DetailPage("Spine", "SpineGUI_Base.png", kPageSpine, "Bones/Neck_Spine/", kSpineParts),
    };
    std::stable_sort(std::begin(created), std::end(created), [](const SchematicPageDef* a, const SchematicPageDef* b) {
        return a->GetPageIndex() < b->GetPageIndex();
    });
    for (SchematicPageDef* page : created)
        layout.AddPage(page);
}
