// The demo's host: the stand-in host's scene behind a window. It keeps the
// host-side list of characterization nodes, shows every notification the
// system sends as one line of a log, and announces the selections it makes on
// the system's request, as real content-creation hosts do.
//
// Like every host, it never calls into the system from inside a notification:
// each one is recorded and passed on as a line, nothing more.
#ifndef SKW_DEMO_DEMO_HOST_H
#define SKW_DEMO_DEMO_HOST_H

#include "standin_host.h"

#include <QStringList>

class DemoHost : public StandInHost {
    Q_OBJECT

public:
    DemoHost();
    ~DemoHost() override;

    // The characterization nodes of the host's scene, in creation order.
    const QStringList& Characters() const { return characters_; }
    // Adds a node name (an empty or known name changes nothing).
    void AddCharacter(const QString& name);
    // "Character1", "Character2", ...: the first such name the scene lacks.
    QString NextCharacterName() const;
    void ClearCharacters() { characters_.clear(); }

    // Selects the joint and then announces the new selection once, from
    // inside the call.
    void SelectNode(const QString& node) override;

    void RegisterAssignedNode(const QString& node) override;
    void UnregisterAssignedNode(const QString& node) override;
    void UpdateDccCharacterSkeleton(const QString& oldNode, const QString& newNode, const QString& characterization,
                                    int characterBone, bool nodeRemoved) override;
    // The host forgets its node of that name; it emits nothing.
    void UpdateDccDeleteCharacter(const QString& characterization) override;
    void UpdateDccCharacterUI() override;
    void RegisterCharacterizationNode(const QString& name) override;
    void UnregisterCharacterizationNode(const QString& name) override;
    void UpdateDccBoneInvertedState(int characterBone, bool inverted) override;

signals:
    // One line per notification, for the window's log.
    void Notified(const QString& line);

private:
    QStringList characters_;
};

#endif
