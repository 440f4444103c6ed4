// Selecting, in the host scene, the joint assigned to a rig node: what a click
// on a figure part or a name-match row does before the node becomes the edited
// part.
#ifndef SKW_UI_SELECT_ASSIGNED_BONE_H
#define SKW_UI_SELECT_ASSIGNED_BONE_H

class CharacterizationModel;
class IDCCHub;

// Asks the host to select the joint assigned to `node` in the current
// characterization, when the node's validation state is not unassigned. Does
// nothing without a hub, a model or a current characterization, for an id
// outside the rig, or when the node holds no joint name.
void SelectAssignedBoneInHost(IDCCHub* hub, CharacterizationModel* model, int node);

#endif
