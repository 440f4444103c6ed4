// An undoable command that makes a rig node, given by name, the model's edited
// part. Nothing in the panel runs one; it is there for hosts and scripts that
// drive the model through commands.
#ifndef SKW_UI_SELECT_NODE_COMMAND_H
#define SKW_UI_SELECT_NODE_COMMAND_H

#include <QString>

class CharacterizationModel;

// A command that can be executed and undone.
class ICommand {
public:
    virtual ~ICommand() = default;
    virtual void Execute() = 0;
    virtual void Undo() = 0;
};

class SelectNodeCommand : public ICommand {
public:
    // The model is borrowed. `nodeName` is spelled as the rig library spells
    // it; the lookup is exact, so any other spelling selects no node.
    SelectNodeCommand(CharacterizationModel* model, const QString& nodeName);
    ~SelectNodeCommand() override;

    // Remembers the edited part, then makes the named node the edited part
    // (read-only); a name that is not a rig node leaves no edited part.
    void Execute() override;
    // Puts back the edited part remembered by the last Execute (-1 before any).
    void Undo() override;

private:
    CharacterizationModel* model_;
    QString nodeName_;
    int previousEditedPart_ = -1;
};

// A new SelectNodeCommand, owned by the caller.
ICommand* CreateSelectNodeCommand(CharacterizationModel* model, const QString& nodeName);

#endif
