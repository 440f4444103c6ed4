#include "ui/select_assigned_bone.h"

#include "model/characterization.h"
#include "model/characterization_model.h"
#include "model/idcc_hub.h"

void SelectAssignedBoneInHost(IDCCHub* hub, CharacterizationModel* model, int node)
{
    if (!hub || !model)
        return;
    const Characterization* current = model->GetCurrentCharacterization();
    if (!current || model->NodeStatusAt(node).IsUnset())
        return;
    const QString& joint = current->GetNodeName(node);
    if (!joint.isEmpty())
        hub->SelectNode(joint);
}
