#include "model/character_joint_geometry.h"
#include "model/characterization.h"
#include "minimal_hub.h"

#include <QMetaMethod>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

VLMJointGeometry libraryDefault()
{
    VLMJointGeometry g;
    VLMJointGeometryInit(&g);
    return g;
}

}  // namespace

TEST(CharacterJointGeometry, HasTheLibraryRecordLayoutByteForByte)
{
    const VLMJointGeometry fresh = libraryDefault();
    CharacterJointGeometry g;
    EXPECT_EQ(std::memcmp(&g, &fresh, sizeof fresh), 0);

    g.SetTranslate(1, 2, 3);
    g.SetRotateQ(4, 5, 6, 7);
    g.SetScale(8, 9, 10);
    g.SetPreRotQ(11, 12, 13, 14);
    g.SetPostRotQ(15, 16, 17, 18);
    g.SetMinRLimit(19, 20, 21);
    g.SetMaxRLimit(22, 23, 24);
    g.SetLimitEnableMask(0x21);
    g.SetParentOffsetRotateQ(25, 26, 27, 28);
    g.SetRotationOrder(VLM_ROTATION_EULER_YXZ);
    // Floats 1..28 in field order, maximum limits before minimum ones.
    const float expected[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                              15, 16, 17, 18, 22, 23, 24, 19, 20, 21, 25, 26, 27, 28};
    ASSERT_EQ(sizeof g, 120u);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&g);
    EXPECT_EQ(std::memcmp(bytes, expected, 24 * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(bytes + 100, expected + 24, 4 * sizeof(float)), 0);
    std::uint32_t mask, order;
    std::memcpy(&mask, bytes + 96, 4);
    std::memcpy(&order, bytes + 116, 4);
    EXPECT_EQ(mask, 0x21u);
    EXPECT_EQ(order, std::uint32_t(VLM_ROTATION_EULER_YXZ));
    EXPECT_TRUE(g.HasMinRLimitX() && g.HasMaxRLimitZ() && !g.HasMinRLimitY());
    EXPECT_EQ(g.GetMinRLimit()[0], 19.0f);

    // The conversion into the library's record is a field-for-field copy.
    VLMJointGeometry record;
    std::memset(&record, 0xFF, sizeof record);
    JointGeometryToSdkRecord(g, record);
    EXPECT_EQ(std::memcmp(&record, &g, sizeof record), 0);

    g.Reset();
    EXPECT_EQ(std::memcmp(&g, &fresh, sizeof fresh), 0);
    EXPECT_EQ(g.GetScale()[0], 0.0f);
}

TEST(CharacterJointGeometry, EqualityIgnoresTheParentOffsetAndEnableBitsAreSeparate)
{
    CharacterJointGeometry a, b;
    b.SetParentOffsetRotateQ(0, 0, 0.7071f, 0.7071f);
    b.SetTranslate(-0.0f, -0.0f, 0.0f);
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    CharacterJointGeometry n;
    n.SetTranslate(std::nanf(""), 0, 0);
    EXPECT_TRUE(n != n);
    b.SetMaxRLimit(0, 0, 1);
    EXPECT_TRUE(a != b);

    a.SetLimitEnableMask(0x3F);
    a.SetMinRLimitEnable(true, false, true);
    EXPECT_EQ(a.GetLimitEnableMask(), 0x3D);
    a.SetMaxRLimitEnable(false, true, false);
    EXPECT_EQ(a.GetLimitEnableMask(), 0x15);
}

TEST(HubContract, DefaultsOfTheOverridableOperations)
{
    MinimalHub hub;
    EXPECT_EQ(IDCCHub::GetDefaultCharacterNodeName(), QStringLiteral("--- None ---"));
    EXPECT_FALSE(hub.PostCharacterUpdate(QStringLiteral("Body")));
    EXPECT_EQ(hub.GetGLShareWidget(), nullptr);
    EXPECT_EQ(hub.SanitizeBoneName(QStringLiteral("ns:Hips ")), QStringLiteral("ns:Hips "));
    EXPECT_EQ(hub.parent(), nullptr);
}

// Hosts and the model connect by signature strings, so the signatures, their
// order and the slot's place are part of the contract.
TEST(HubContract, MetaObjectListsFiveSignalsAndTheStateSlot)
{
    const QMetaObject* mo = &IDCCHub::staticMetaObject;
    EXPECT_STREQ(mo->className(), "IDCCHub");
    EXPECT_EQ(mo->superClass(), &QObject::staticMetaObject);
    const char* signatures[] = {"selectionChanged()", "NodeRemoved(QString)", "NameChanged(QString,QString)",
                                "CharacterizationNodeRemoved(QString)", "CharacterizationNameChanged(QString,QString)"};
    const int first = mo->methodOffset();
    ASSERT_EQ(mo->methodCount() - first, 6);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(mo->method(first + i).methodType(), QMetaMethod::Signal);
        EXPECT_EQ(mo->method(first + i).methodSignature(), QByteArray(signatures[i]));
    }
    EXPECT_EQ(mo->method(first + 2).parameterNames(), (QList<QByteArray>{"pNewName", "pOldName"}));
    const QMetaMethod slot = mo->method(first + 5);
    EXPECT_EQ(slot.methodType(), QMetaMethod::Slot);
    EXPECT_EQ(slot.methodSignature(), QByteArray("SetCharacterState(VLMCharacter*,VLMCharacterState*)"));
    EXPECT_EQ(slot.parameterNames(), (QList<QByteArray>{"character", "characterState"}));
}
