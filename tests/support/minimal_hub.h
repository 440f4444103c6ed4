// A host that answers the pure operations of the host interface with nothing:
// no selection, no joints, no geometry. Tests derive from it and override only
// what they look at.
#ifndef SKW_TESTS_SUPPORT_MINIMAL_HUB_H
#define SKW_TESTS_SUPPORT_MINIMAL_HUB_H

#include "model/idcc_hub.h"

class MinimalHub : public IDCCHub {
public:
    QString GetHostName() const override { return QStringLiteral("minimal"); }
    const QStringList& GetSelectedNodes() override { return selection_; }
    bool HasNode(const QString&) const override { return false; }
    bool GetJointGeometry(const QString&, int, CharacterJointGeometry&, bool) override { return false; }
    void GetParentNode(const QString&, QString&) override { }
    void RegisterAssignedNode(const QString&) override { }
    void UnregisterAssignedNode(const QString&) override { }
    void GetSkeletonNodes(QStringList&) override { }
    void SelectNode(const QString&) override { }

private:
    QStringList selection_;
};

#endif
