// The host commands of IDCCHub. They live beside the panel they drive, so
// that the model's library never needs the panel's headers.
#include "model/idcc_hub.h"

#include "model/characterization.h"
#include "model/characterization_model.h"
#include "ui/character_tool.h"

#include <algorithm>
#include <cstdint>

namespace {

bool isRigNode(int node) { return node >= 0 && node < VLM_NODE_COUNT; }

bool isInvertibleBone(int bone) { return bone >= IDCCHub::LeftLegBone && bone <= IDCCHub::RightForeArmBone; }

// The model of the registered panel, or null.
CharacterizationModel* modelOf(CharacterTool* tool) { return tool ? tool->GetModel() : nullptr; }

// The index of the first characterization of that name, or -1.
int firstOfName(const CharacterizationModel& model, const QString& name)
{
    for (int i = 0; i < model.CharacterizationCount(); ++i) {
        const Characterization* c = model.CharacterizationAt(i);
        if (c && c->GetName() == name)
            return i;
    }
    return -1;
}

// A change the host made to a characterization directly is validated at the
// next poll tick or refresh when it is the current one (selecting another
// validates that one anyway).
void revalidateLater(CharacterizationModel& model, const Characterization* changed)
{
    if (changed == model.GetCurrentCharacterization())
        model.RequestRevalidation();
}

}  // namespace

bool IDCCHub::IsCharacterCreated(const QString& name)
{
    CharacterizationModel* model = modelOf(characterTool_);
    return model && !name.isEmpty() && firstOfName(*model, name) >= 0;
}

void IDCCHub::ShowHelp()
{
    if (characterTool_)
        characterTool_->ShowHelp();
}

void IDCCHub::ShowAbout()
{
    if (characterTool_)
        characterTool_->ShowAbout();
}

void IDCCHub::MirrorMatching()
{
    if (characterTool_)
        characterTool_->DoToggleMirrorMode();
}

void IDCCHub::ShowConfigureMirrorMatching()
{
    if (characterTool_)
        characterTool_->ShowConfigMirror();
}

void IDCCHub::ShowMapBones()
{
    if (characterTool_)
        characterTool_->ShowAutoMatch();
}

void IDCCHub::ShowExtractMappingTemplate()
{
    if (characterTool_)
        characterTool_->ShowExtractTemplate();
}

void IDCCHub::ShowSaveCharacterization()
{
    if (characterTool_)
        characterTool_->ShowSave();
}

void IDCCHub::Lock(bool refresh)
{
    CharacterizationModel* model = modelOf(characterTool_);
    if (!model)
        return;
    if (refresh)
        model->Refresh();
    characterTool_->DoToggleEditMode();
}

bool IDCCHub::IsLocked()
{
    CharacterizationModel* model = modelOf(characterTool_);
    return model && model->IsLocked();
}

bool IDCCHub::IsMirrorToggle()
{
    CharacterizationModel* model = modelOf(characterTool_);
    return model && model->IsMirrorMode();
}

void IDCCHub::DeleteCurrentCharacter()
{
    if (characterTool_)
        characterTool_->DoDelete(true);
}

bool IDCCHub::AssignCharacterBone(const QString& character, int characterBone, const QString& node, bool refresh)
{
    CharacterizationModel* model = modelOf(characterTool_);
    if (character.isEmpty() || !model || !isRigNode(characterBone))
        return false;
    if (refresh)
        model->Refresh();
    Characterization* c = model->CharacterizationAt(firstOfName(*model, character));
    if (!c)
        return false;
    const QString previous = c->GetNodeName(characterBone);
    if (!previous.isEmpty())
        UnregisterAssignedNode(previous);
    if (node.isEmpty()) {
        c->ClearNode(characterBone);
    } else {
        c->SetNodeName(characterBone, node);
        RegisterAssignedNode(node);
    }
    // The host's notifications above may have changed the list.
    if (model->CharacterizationAt(firstOfName(*model, character)) == c)
        revalidateLater(*model, c);
    return true;
}

bool IDCCHub::GetNodeAssignedToCharacterBone(const QString& character, int characterBone, QString& node)
{
    CharacterizationModel* model = modelOf(characterTool_);
    if (character.isEmpty() || !model || !isRigNode(characterBone))
        return false;
    node.clear();
    for (int i = 0; i < model->CharacterizationCount(); ++i) {
        const Characterization* c = model->CharacterizationAt(i);
        if (!c || c->GetName() != character)
            continue;
        node = c->GetNodeName(characterBone);
        if (!node.isEmpty())
            return true;
    }
    return false;
}

bool IDCCHub::SetBoneInvertedState(const QString& character, InvertibleBone bone, bool inverted)
{
    CharacterizationModel* model = modelOf(characterTool_);
    if (!model)
        return false;
    Characterization* c = model->CharacterizationAt(firstOfName(*model, character));
    if (!c)
        return false;
    if (isInvertibleBone(bone)) {
        std::uint32_t& flag = c->GetBoneInversion().flags[bone];
        const std::uint32_t value = inverted ? 1u : 0u;
        if (flag != value) {
            flag = value;
            revalidateLater(*model, c);
        }
    }
    return true;
}

bool IDCCHub::GetBoneInvertedState(const QString& character, InvertibleBone bone, bool& inverted)
{
    inverted = false;
    CharacterizationModel* model = modelOf(characterTool_);
    if (!model || !isInvertibleBone(bone))
        return false;
    const Characterization* c = model->CharacterizationAt(firstOfName(*model, character));
    if (!c)
        return false;
    inverted = c->GetBoneInversion().flags[bone] != 0;
    return true;
}

bool IDCCHub::SetCurrentCharacter(const QString& name)
{
    if (!IsCharacterCreated(name))
        return false;
    CharacterizationModel* model = modelOf(characterTool_);
    model->SetCurrentCharacterization(firstOfName(*model, name));
    return true;
}

QString IDCCHub::GetCurrentCharacterNodeName()
{
    CharacterizationModel* model = modelOf(characterTool_);
    const Characterization* current = model ? model->GetCurrentCharacterization() : nullptr;
    if (!current || current->GetName() == GetDefaultCharacterNodeName())
        return QString();
    return current->GetName();
}

IDCCHub::CharacterizationState IDCCHub::CurrentCharacterizationState(bool refresh)
{
    CharacterizationModel* model = modelOf(characterTool_);
    if (!model)
        return CharacterizationNotSet;
    if (refresh)
        model->Refresh();
    switch (model->GetStatus().state) {
    case kStateValid: return CharacterizationValid;
    case kStateUnset: return CharacterizationNotSet;
    case kStateWarning: return CharacterizationWarning;
    default: return CharacterizationError;
    }
}

// Removing a characterization tells the host, and the host's answer may change
// the list again: every walk goes by index and checks the bounds anew.
void IDCCHub::UpdateCharacterList(const QStringList& names)
{
    CharacterizationModel* model = modelOf(characterTool_);
    if (!model)
        return;
    for (int i = model->CharacterizationCount() - 1; i >= 0; i = std::min(i, model->CharacterizationCount()) - 1) {
        model->SetCurrentCharacterization(i);
        const Characterization* current = model->GetCurrentCharacterization();
        if (names.isEmpty() || !current || !names.contains(current->GetName()))
            model->RemoveCurrentCharacterization();
    }
    for (const QString& name : names) {
        if (!name.isEmpty())
            characterTool_->CreateCharacterization(name);
    }
    if (model->CharacterizationCount() == 0)
        model->CreateNewCharacterization();
    else
        model->SetCurrentCharacterization(model->CharacterizationCount() - 1);
}

bool IDCCHub::DeleteCharacter(const QString& name, bool confirm)
{
    CharacterizationModel* model = modelOf(characterTool_);
    if (!model || !IsCharacterCreated(name))
        return false;
    const Characterization* current = model->GetCurrentCharacterization();
    const QString previous = current ? current->GetName() : QString();
    const bool other = previous != name;
    if (other)
        SetCurrentCharacter(name);
    characterTool_->confirmDelete_ = confirm;
    const bool deleted = characterTool_->deleteCurrent();
    characterTool_->confirmDelete_ = true;
    if (other)
        SetCurrentCharacter(previous);
    return deleted;
}

bool IDCCHub::GetCharacterList(QStringList& names)
{
    names.clear();
    CharacterizationModel* model = modelOf(characterTool_);
    if (!model)
        return false;
    for (int i = 0; i < model->CharacterizationCount(); ++i) {
        if (const Characterization* c = model->CharacterizationAt(i))
            names.append(c->GetName());
    }
    return true;
}

bool IDCCHub::DeleteAllCharacters(bool confirm)
{
    QStringList names;
    if (!GetCharacterList(names))
        return false;
    for (const QString& name : names) {
        if (!DeleteCharacter(name, confirm))
            return false;
    }
    return true;
}
