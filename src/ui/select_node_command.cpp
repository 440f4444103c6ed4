#include "ui/select_node_command.h"

#include "model/characterization_model.h"
#include "rig/vlm_names.h"

SelectNodeCommand::SelectNodeCommand(CharacterizationModel* model, const QString& nodeName)
    : model_(model), nodeName_(nodeName)
{
}

SelectNodeCommand::~SelectNodeCommand() = default;

void SelectNodeCommand::Execute()
{
    previousEditedPart_ = model_->GetEditedPart();
    model_->SetEditedPart(VLMGetNodeIdFromName(nodeName_.toUtf8().constData()), false);
}

void SelectNodeCommand::Undo() { model_->SetEditedPart(previousEditedPart_, false); }

ICommand* CreateSelectNodeCommand(CharacterizationModel* model, const QString& nodeName)
{
    return new SelectNodeCommand(model, nodeName);
}
