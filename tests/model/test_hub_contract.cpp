#include "model/character_joint_geometry.h"
#include "model/idcc_hub.h"

#include <QMetaMethod>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// A host that implements only the pure operations.
class MinimalHub : public IDCCHub {
public:
    QString GetHostName() const override { return QStringLiteral("minimal"); }
    const QStringList& GetSelectedNodes() override { return selection_; }
    bool HasNode(const QString&) const override { return false; }
    bool GetJointGeometry(const QString&, int, CharacterJointGeometry&, bool) override { return false; }
    void GetParentNode(const QString&, QString&) override {}
    void RegisterAssignedNode(const QString&) override {}
    void UnregisterAssignedNode(const QString&) override {}
    void GetSkeletonNodes(QStringList&) override {}
    void SelectNode(const QString&) override {}

private:
    QStringList selection_;
};

class StateHub : public MinimalHub {
public:
    void SetCharacterState(VLMCharacter* c, VLMCharacterState* s) override
    {
        character = c;
        state = s;
    }
    VLMCharacter* character = nullptr;
    VLMCharacterState* state = nullptr;
};

} // namespace

// A receiver connected the way the model connects: by signature strings, with
// slots that take the strings by value.
class RenameReceiver : public QObject {
    Q_OBJECT
public slots:
    void RenameBone(QString newName, QString oldName) { bones << newName + "<-" + oldName; }
    void RemoveBone(QString name) { removed << name; }
    void RemoveCharacterizationNode(QString name) { removedNodes << name; }
    void RenameCharacterization(QString newName, QString oldName)
    {
        characterizations << newName + "<-" + oldName;
    }
    void OnSelection() { ++selections; }

public:
    QStringList bones, removed, removedNodes, characterizations;
    int selections = 0;
};

TEST(CharacterJointGeometry, NewAndResetRecordsMatchTheLibraryInitBytes)
{
    VLMJointGeometry lib;
    VLMJointGeometryInit(&lib);
    CharacterJointGeometry g;
    EXPECT_EQ(std::memcmp(&g, &lib, sizeof lib), 0);

    g.SetTranslate(1, 2, 3);
    g.SetScale(1, 1, 1);
    g.SetLimitEnableMask(0x3F);
    g.SetRotationOrder(VLM_ROTATION_SPHERIC_XYZ);
    g.Reset();
    EXPECT_EQ(std::memcmp(&g, &lib, sizeof lib), 0);
    EXPECT_EQ(g.GetScale()[0], 0.0f);
    EXPECT_EQ(g.GetRotateQ()[3], 1.0f);
    EXPECT_EQ(g.GetParentOffsetRotateQ()[3], 1.0f);
}

TEST(CharacterJointGeometry, HasTheLibraryRecordLayoutByteForByte)
{
    CharacterJointGeometry g;
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

    VLMJointGeometry lib;
    VLMJointGeometryInit(&lib);
    VLMJointGeometrySetTranslate(&lib, 1, 2, 3);
    VLMJointGeometrySetRotateQ(&lib, 4, 5, 6, 7);
    VLMJointGeometrySetScale(&lib, 8, 9, 10);
    VLMJointGeometrySetPreRotQ(&lib, 11, 12, 13, 14);
    VLMJointGeometrySetPostRotQ(&lib, 15, 16, 17, 18);
    VLMJointGeometrySetMinRLimit(&lib, 19, 20, 21);
    VLMJointGeometrySetMaxRLimit(&lib, 22, 23, 24);
    VLMJointGeometrySetLimitEnableMask(&lib, 0x21);
    VLMJointGeometrySetParentOffsetRotateQ(&lib, 25, 26, 27, 28);
    VLMJointGeometrySetRotationOrder(&lib, VLM_ROTATION_EULER_YXZ);

    ASSERT_EQ(sizeof g, 120u);
    EXPECT_EQ(std::memcmp(&g, &lib, sizeof lib), 0);
    // The maximum limits sit in front of the minimum ones in the bytes.
    float atMax;
    std::memcpy(&atMax, reinterpret_cast<const unsigned char*>(&g) + 72, sizeof atMax);
    EXPECT_EQ(atMax, 22.0f);
    EXPECT_EQ(g.GetMinRLimit()[0], 19.0f);
    EXPECT_EQ(g.GetMaxRLimit()[2], 24.0f);

    // And back: a library record copied in reads through the class getters.
    CharacterJointGeometry back;
    std::memcpy(static_cast<void*>(&back), &lib, sizeof lib);
    EXPECT_TRUE(back == g);
    EXPECT_EQ(back.GetRotationOrder(), VLM_ROTATION_EULER_YXZ);
    EXPECT_TRUE(back.HasMinRLimitX() && back.HasMaxRLimitZ() && !back.HasMinRLimitY());
}

TEST(CharacterJointGeometry, EqualityAndEnableBitsFollowTheRecordRules)
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
    // The notifications are callable and do nothing.
    hub.UpdateDccCharacterSkeleton(QString(), QStringLiteral("Hips"), QStringLiteral("Body"), 1, false);
    hub.UpdateDccDeleteCharacter(QStringLiteral("Body"));
    hub.UpdateDccCharacterUI();
    hub.RegisterCharacterizationNode(QStringLiteral("Body"));
    hub.UnregisterCharacterizationNode(QStringLiteral("Body"));
    hub.UpdateDccBoneInvertedState(3, true);
    hub.SetCharacterState(nullptr, nullptr);
    hub.setCharacterTool(nullptr);
}

TEST(HubContract, SignalsCarryNewNameFirstAndReachStringConnectedSlots)
{
    MinimalHub hub;
    RenameReceiver receiver;
    ASSERT_TRUE(QObject::connect(&hub, SIGNAL(NameChanged(QString,QString)), &receiver,
                                 SLOT(RenameBone(QString,QString))));
    ASSERT_TRUE(QObject::connect(&hub, SIGNAL(NodeRemoved(QString)), &receiver,
                                 SLOT(RemoveBone(QString))));
    ASSERT_TRUE(QObject::connect(&hub, SIGNAL(CharacterizationNodeRemoved(QString)), &receiver,
                                 SLOT(RemoveCharacterizationNode(QString))));
    ASSERT_TRUE(QObject::connect(&hub, SIGNAL(CharacterizationNameChanged(QString,QString)),
                                 &receiver, SLOT(RenameCharacterization(QString,QString))));
    ASSERT_TRUE(QObject::connect(&hub, SIGNAL(selectionChanged()), &receiver, SLOT(OnSelection())));

    QSignalSpy renames(&hub, SIGNAL(NameChanged(QString,QString)));
    emit hub.NameChanged(QStringLiteral("Spine_new"), QStringLiteral("Spine_old"));
    emit hub.NodeRemoved(QStringLiteral("LeftToe"));
    emit hub.CharacterizationNodeRemoved(QStringLiteral("Body"));
    emit hub.CharacterizationNameChanged(QStringLiteral("Hero"), QStringLiteral("Body"));
    emit hub.selectionChanged();

    ASSERT_EQ(renames.count(), 1);
    EXPECT_EQ(renames.at(0).at(0).toString(), QStringLiteral("Spine_new"));
    EXPECT_EQ(renames.at(0).at(1).toString(), QStringLiteral("Spine_old"));
    EXPECT_EQ(receiver.bones, QStringList{QStringLiteral("Spine_new<-Spine_old")});
    EXPECT_EQ(receiver.removed, QStringList{QStringLiteral("LeftToe")});
    EXPECT_EQ(receiver.removedNodes, QStringList{QStringLiteral("Body")});
    EXPECT_EQ(receiver.characterizations, QStringList{QStringLiteral("Hero<-Body")});
    EXPECT_EQ(receiver.selections, 1);
}

TEST(HubContract, MetaObjectListsFiveSignalsAndTheStateSlot)
{
    const QMetaObject* mo = &IDCCHub::staticMetaObject;
    EXPECT_STREQ(mo->className(), "IDCCHub");
    EXPECT_EQ(mo->superClass(), &QObject::staticMetaObject);
    const char* signalSignatures[] = {"selectionChanged()", "NodeRemoved(QString)",
                                      "NameChanged(QString,QString)",
                                      "CharacterizationNodeRemoved(QString)",
                                      "CharacterizationNameChanged(QString,QString)"};
    const int first = mo->methodOffset();
    for (int i = 0; i < 5; ++i) {
        QMetaMethod m = mo->method(first + i);
        EXPECT_EQ(m.methodType(), QMetaMethod::Signal);
        EXPECT_EQ(m.methodSignature(), QByteArray(signalSignatures[i]));
    }
    QMetaMethod slot = mo->method(first + 5);
    EXPECT_EQ(slot.methodType(), QMetaMethod::Slot);
    EXPECT_EQ(slot.methodSignature(), QByteArray("SetCharacterState(VLMCharacter*,VLMCharacterState*)"));
    EXPECT_EQ(slot.parameterNames(),
              (QList<QByteArray>{QByteArray("character"), QByteArray("characterState")}));
    EXPECT_EQ(mo->methodCount() - first, 6);

    // Calling the slot through the meta-object reaches the host's override.
    StateHub hub;
    auto* c = reinterpret_cast<VLMCharacter*>(std::uintptr_t(0x10));
    auto* s = reinterpret_cast<VLMCharacterState*>(std::uintptr_t(0x20));
    void* args[] = {nullptr, &c, &s};
    hub.qt_metacall(QMetaObject::InvokeMetaMethod, first + 5, args);
    EXPECT_EQ(hub.character, c);
    EXPECT_EQ(hub.state, s);
}

#include "test_hub_contract.moc"
