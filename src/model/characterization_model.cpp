#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_handle.h"
#include "rig/vlm_names.h"

#include "model/characterization_model.h"

#include "model/character_joint_geometry.h"
#include "model/idcc_hub.h"
#include "model/mapping_template.h"
#include "model/resource_bridge.h"
#include "model/validators.h"
#include "model/xml_settings_store.h"

#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int kPollIntervalMs = 1000;

// The flag of VLMBoneInversion that belongs to an invertible limb node; -1 for
// any other node.
int inversionFlagOf(int node)
{
    switch (node) {
    case VLM_NODE_LEFT_LEG: return VLM_INVERT_LEFT_LEG;
    case VLM_NODE_RIGHT_LEG: return VLM_INVERT_RIGHT_LEG;
    case VLM_NODE_LEFT_FORE_ARM: return VLM_INVERT_LEFT_FOREARM;
    case VLM_NODE_RIGHT_FORE_ARM: return VLM_INVERT_RIGHT_FOREARM;
    default: return -1;
    }
}

template <std::size_t N>
bool sameFloats(const float (&a)[N], const float (&b)[N])
{
    for (std::size_t i = 0; i < N; ++i) {
        if (!(a[i] == b[i]) && !(std::isnan(a[i]) && std::isnan(b[i])))
            return false;
    }
    return true;
}

// The poll's change test: the library's record comparison (every field but
// the parent offset), except that a NaN counts as equal to a NaN. A host that
// hands over a NaN would otherwise look changed on every tick and have the
// characterization revalidated once a second for as long as it stays.
bool sameRestGeometry(const VLMJointGeometry& a, const VLMJointGeometry& b)
{
    if (VLMJointGeometryEqual(&a, &b))
        return true;
    return sameFloats(a.translate, b.translate) && sameFloats(a.rotateQ, b.rotateQ) && sameFloats(a.scale, b.scale) &&
           sameFloats(a.preRotQ, b.preRotQ) && sameFloats(a.postRotQ, b.postRotQ) &&
           sameFloats(a.minRLimit, b.minRLimit) && sameFloats(a.maxRLimit, b.maxRLimit) &&
           a.limitEnableMask == b.limitEnableMask && a.rotationOrder == b.rotationOrder;
}

const CharacterizationStatus& unassignedStatus()
{
    static const CharacterizationStatus status(kStateUnset, std::string());
    return status;
}

}  // namespace

CharacterizationModel::CharacterizationModel(ResourceBridge* bridge, IDCCHub* hub)
    : QObject(nullptr), hub_(hub), bridge_(bridge), timer_(new QTimer(this))
{
    nodeStates_.fill(unassignedStatus());

    LoadMirrorList();
    LoadNameMatchSettings();

    // Selecting the new default characterization already polls and validates
    // it, before any validator exists: the state right after construction is
    // therefore "Missing required bones.".
    CreateNewCharacterization();

    validators_ = BuildValidators();

    if (hub_) {
        connect(hub_, SIGNAL(NameChanged(QString, QString)), this, SLOT(RenameBone(QString, QString)));
        connect(hub_, SIGNAL(NodeRemoved(QString)), this, SLOT(RemoveBone(QString)));
        connect(hub_, SIGNAL(CharacterizationNodeRemoved(QString)), this, SLOT(RemoveCharacterizationNode(QString)));
        connect(hub_, SIGNAL(CharacterizationNameChanged(QString, QString)), this,
                SLOT(RenameCharacterization(QString, QString)));
        connect(timer_, SIGNAL(timeout()), this, SLOT(CheckGeometry()));
        timer_->start(kPollIntervalMs);
    }

    ClearLastOperation();
}

void CharacterizationModel::ClearLastOperation() { setLastOperation(tr("No previous operation.")); }

void CharacterizationModel::setLastOperation(const QString& text)
{
    if (text == lastOperation_)
        return;
    lastOperation_ = text;
    emit LastOperationChanged();
}

CharacterizationModel::~CharacterizationModel()
{
    // The characterizations tell the host their nodes are going away while the
    // members are released; nothing the host signals back may reach a model
    // that is half torn down.
    if (hub_)
        disconnect(hub_, nullptr, this, nullptr);
    timer_->stop();
}

// --- Characterizations ---

Characterization* CharacterizationModel::CharacterizationAt(int index) const
{
    if (index < 0 || index >= CharacterizationCount())
        return nullptr;
    return characterizations_[std::size_t(index)].get();
}

bool CharacterizationModel::IsLocked() const { return current_ && current_->IsLocked(); }

int CharacterizationModel::indexOf(const Characterization* characterization) const
{
    if (!characterization)
        return -1;
    for (std::size_t i = 0; i < characterizations_.size(); ++i) {
        if (characterizations_[i].get() == characterization)
            return int(i);
    }
    return -1;
}

CharacterizationModel::CharacterizationPtr CharacterizationModel::sharedOf(
    const Characterization* characterization) const
{
    const int index = indexOf(characterization);
    return index < 0 ? CharacterizationPtr() : characterizations_[std::size_t(index)];
}

QString CharacterizationModel::MakeUniqueName(const QString& base) const
{
    const auto taken = [this](const QString& name) {
        for (const CharacterizationPtr& c : characterizations_) {
            if (c && c->GetName() == name)
                return true;
        }
        return false;
    };
    QString candidate = base;
    for (int n = 1; taken(candidate); ++n)
        candidate = QStringLiteral("%1 (%2)").arg(base).arg(n);
    return candidate;
}

void CharacterizationModel::AddCharacterization(Characterization* characterization)
{
    if (!characterization)
        return;
    // Handing over one the model already owns must not give it a second owner.
    const int known = indexOf(characterization);
    if (known >= 0) {
        SetCurrentCharacterization(known);
        return;
    }
    characterization->SetName(MakeUniqueName(characterization->GetName()));
    characterizations_.emplace_back(characterization);
    SetCurrentCharacterization(CharacterizationCount() - 1);
}

void CharacterizationModel::RemoveCurrentCharacterization()
{
    const int index = indexOf(current_);
    current_ = nullptr;
    if (index >= 0)
        characterizations_.erase(characterizations_.begin() + index);
}

void CharacterizationModel::CreateNewCharacterization()
{
    const QString name = MakeUniqueName(IDCCHub::GetDefaultCharacterNodeName());
    characterizations_.push_back(std::make_shared<Characterization>(name, nullptr));
    SetCurrentCharacterization(CharacterizationCount() - 1);
}

void CharacterizationModel::SetCurrentCharacterization(int index)
{
    Characterization* characterization = CharacterizationAt(index);
    if (!characterization)
        return;
    // Unlike a selection that leaves the edited part alone, selecting another
    // characterization (a new one, or a new scene's) ends a part's wait for a
    // joint: the wait was for a joint of the one it was picked in, and the
    // next click on any joint would otherwise map it there. The views hear
    // it as a change of the edited part.
    if (characterization != current_)
        endPicking();
    current_ = characterization;
    if (characterization->IsLocked())
        Validate(characterization, nullptr);
    SetEditMode(characterization->IsLocked());
}

void CharacterizationModel::SetEditMode(bool readOnly, std::vector<int> unsyncNodeToClear)
{
    if (!current_)
        return;
    current_->SetLocked(readOnly);
    if (readOnly) {
        timer_->stop();
        emit ModelChanged();
        return;
    }
    for (int node : unsyncNodeToClear)
        UnassignNode(node, false);
    timer_->start(kPollIntervalMs);
    PullHostGeometry();
    Validate(current_, hub_);
}

void CharacterizationModel::SetEditMode(bool readOnly) { SetEditMode(readOnly, std::vector<int>()); }

void CharacterizationModel::SetMirrorMode(bool mirrorMode) { mirrorMode_ = mirrorMode; }

void CharacterizationModel::RenameCharacterization(QString newName, QString oldName)
{
    for (const CharacterizationPtr& c : characterizations_) {
        if (!c)
            break;
        if (c->GetName() == oldName) {
            c->SetName(newName);
            return;
        }
    }
}

void CharacterizationModel::RemoveCharacterizationNode(QString Name)
{
    if (!current_)
        return;
    // Weak: the previous selection must not be kept alive when it is one of
    // the removed characterizations (its destruction tells the host).
    const std::weak_ptr<Characterization> previous = sharedOf(current_);
    for (std::size_t i = 0; i < characterizations_.size();) {
        if (!characterizations_[i])
            break;
        if (characterizations_[i]->GetName() == Name) {
            SetCurrentCharacterization(int(i));
            RemoveCurrentCharacterization();
        } else {
            ++i;
        }
    }
    if (characterizations_.empty() || !characterizations_.front()) {
        CreateNewCharacterization();
    } else {
        const int index = indexOf(previous.lock().get());
        SetCurrentCharacterization(index >= 0 ? index : 0);
    }
    if (hub_)
        hub_->UpdateDccCharacterUI();
}

// --- Edited part ---

void CharacterizationModel::SetEditedPart(int node, bool isReadWrite)
{
    if (node == editedPart_ && isReadWrite == editedPartWritable_)
        return;
    const int old = editedPart_;
    editedPart_ = node;
    editedPartWritable_ = isReadWrite;
    emit EditedPartChanged(old, node, isReadWrite);
}

void CharacterizationModel::endPicking()
{
    if (editedPartWritable_)
        SetEditedPart(editedPart_, false);
}

void CharacterizationModel::ToggleBoneInversion(int node)
{
    const int flag = inversionFlagOf(node);
    if (flag < 0 || !current_)
        return;
    std::uint32_t& inverted = current_->GetBoneInversion().flags[flag];
    inverted = inverted ? 0u : 1u;
    const bool nowInverted = inverted != 0;

    const int old = editedPart_;
    editedPart_ = node;
    emit EditedPartChanged(old, node, false);

    Refresh();
    if (hub_)
        hub_->UpdateDccBoneInvertedState(node, nowInverted);
}

// --- Validation states ---

const CharacterizationStatus& CharacterizationModel::NodeStatusAt(int node) const
{
    return validNode(node) ? nodeStates_[std::size_t(node)] : unassignedStatus();
}

int CharacterizationModel::GetGroupStatus(const std::vector<int>& nodes) const
{
    return ::GetGroupStatus(nodeStates_, nodes);
}

// --- Queries ---

QString CharacterizationModel::GetNodeHostName(int node) const
{
    return current_ ? current_->GetNodeName(node) : QString();
}

bool CharacterizationModel::FindNodeByHostName(const QString& joint, int& node) const
{
    if (!current_)
        return false;
    for (int n = 0; n < VLM_NODE_COUNT; ++n) {
        if (current_->IsNodeAssigned(n) && current_->GetNodeName(n) == joint) {
            node = n;
            return true;
        }
    }
    return false;
}

void CharacterizationModel::FindMissingNodes(const QStringList& skeletonJoints, std::vector<int>& out) const
{
    if (!current_)
        return;
    for (int n = 0; n < VLM_NODE_COUNT; ++n) {
        if (current_->IsNodeAssigned(n) && !skeletonJoints.contains(current_->GetNodeName(n), Qt::CaseSensitive))
            out.push_back(n);
    }
}

// --- Poll and validation ---

bool CharacterizationModel::PullHostGeometry()
{
    if (updatesSuspended_ || !current_ || !hub_)
        return false;
    Characterization& c = *current_;
    bool changed = false;
    CharacterJointGeometry hostGeometry;
    VLMJointGeometry record;
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        if (!c.IsNodeAssigned(node))
            continue;
        // A fresh record per question: a host that fills only part of it must
        // not inherit the previous joint's values.
        hostGeometry.Reset();
        if (!hub_->GetJointGeometry(c.GetNodeName(node), node, hostGeometry, true))
            continue;
        JointGeometryToSdkRecord(hostGeometry, record);
        if (!sameRestGeometry(record, c.JointGeometryAt(node))) {
            c.SetJointGeometry(node, record);
            changed = true;
        }
    }
    if (hub_->PostCharacterUpdate(c.GetName()))
        changed = true;
    return changed;
}

void CharacterizationModel::Validate(Characterization* characterization, IDCCHub* hub)
{
    if (characterization == current_)
        revalidationPending_ = false;
    if (!characterization) {
        nodeStates_.fill(unassignedStatus());
        overall_ = CharacterizationStatus(kStateUnset, std::string());
        emit ModelChanged();
        return;
    }
    VLMCharacterDefinition words;
    const VLMCharacterHandle character(characterization->CreateSdkCharacter(words, true, &std::malloc, hub));
    if (character) {
        RunValidators(validators_, words, character.get(), characterization->GetNodeFlags(), nodeStates_, overall_);
    } else {
        // Without a character (its memory could not be had) the rest pose
        // cannot be checked: the characterization is not usable, whatever the
        // rules that look only at the words would say.
        RunValidators(ValidatorList(), words, nullptr, characterization->GetNodeFlags(), nodeStates_, overall_);
        overall_ = CharacterizationStatus(kStateError, tr("The rig character could not be built.").toStdString());
    }
    emit ModelChanged();
}

void CharacterizationModel::CheckGeometry()
{
    if (PullHostGeometry() || revalidationPending_)
        Validate(current_, hub_);
}

void CharacterizationModel::RefreshIfChanged(bool force)
{
    if (PullHostGeometry() || force || revalidationPending_)
        Validate(current_, hub_);
}

// Also the end of every editing operation.
void CharacterizationModel::Refresh()
{
    if (IsLocked()) {
        if (revalidationPending_)
            Validate(current_, nullptr);
        else
            emit ModelChanged();
        return;
    }
    PullHostGeometry();
    Validate(current_, hub_);
}

// --- Assignment ---

QString CharacterizationModel::sanitize(const QString& joint) const
{
    return hub_ ? hub_->SanitizeBoneName(joint) : joint;
}

void CharacterizationModel::assignNodeIn(Characterization& characterization, int node, const QString& joint)
{
    const QString previous = characterization.GetNodeName(node);
    if (!previous.isEmpty() && hub_)
        hub_->UnregisterAssignedNode(previous);
    characterization.SetNodeName(node, joint);
    if (&characterization == current_)
        nodeStates_[std::size_t(node)] = CharacterizationStatus(kStateValid, std::string());
    if (hub_)
        hub_->RegisterAssignedNode(joint);
    setLastOperation(QStringLiteral("%1%2").arg(tr("Assigned node: "), joint));
    if (hub_)
        hub_->UpdateDccCharacterSkeleton(previous, joint, characterization.GetName(), node, false);
}

void CharacterizationModel::unassignNodeIn(Characterization& characterization, int node, bool removedByHost)
{
    // No poll between the steps of a release.
    const bool wasSuspended = updatesSuspended_;
    updatesSuspended_ = true;
    QString released;
    if (characterization.IsNodeAssigned(node)) {
        released = characterization.GetNodeName(node);
        if (hub_)
            hub_->UnregisterAssignedNode(released);
        // Unlike the plain "Unregistered node: " and the joint, a node loaded
        // without its joint name (a file opened without its names) names the
        // rig node: the text would otherwise end with nothing.
        const QString what =
            released.isEmpty() ? tr("%1 (no joint name)").arg(QLatin1String(VLMGetNodeName(node))) : released;
        setLastOperation(QStringLiteral("%1%2").arg(tr("Unregistered node: "), what));
    }
    characterization.ClearNode(node);
    if (&characterization == current_)
        nodeStates_[std::size_t(node)] = unassignedStatus();
    characterization.ResetJointGeometry(node);
    if (hub_)
        hub_->UpdateDccCharacterSkeleton(released, QString(), characterization.GetName(), node, removedByHost);
    updatesSuspended_ = wasSuspended;
}

void CharacterizationModel::AssignNode(int node, const QString& joint)
{
    if (!current_ || !validNode(node) || joint.isEmpty())
        return;
    assignNodeIn(*current_, node, joint);
}

void CharacterizationModel::UnassignNode(int node, bool removedByHost)
{
    if (!current_ || !validNode(node))
        return;
    unassignNodeIn(*current_, node, removedByHost);
}

void CharacterizationModel::AssignNodeAndFindMirror(int node, const QString& joint, int& mirrorNode,
                                                    QString& mirrorJoint)
{
    mirrorNode = -1;
    AssignNode(node, joint);
    const int opposite = MirrorNodeOf(node);
    QString candidate;
    if (mirrorMode_ && opposite != 0 && matcher_.MirrorCandidate(joint, candidate)) {
        QStringList skeleton;
        if (hub_)
            hub_->GetSkeletonNodes(skeleton);
        QString found;
        if (NameMatcher::FindMirrorJoint(candidate, skeleton, found)) {
            mirrorNode = opposite;
            mirrorJoint = found;
        }
    }
    Refresh();
}

void CharacterizationModel::ClearNode(int node)
{
    UnassignNode(node, false);
    setLastOperation(tr("Cleared one or more nodes."));
    Refresh();
}

void CharacterizationModel::ClearNodes(const std::vector<int>& nodes)
{
    for (int node : nodes)
        UnassignNode(node, false);
    Refresh();
}

void CharacterizationModel::ClearAll()
{
    for (int node = 0; node < VLM_NODE_COUNT; ++node)
        UnassignNode(node, false);
    setLastOperation(tr("Cleared all nodes."));
    Refresh();
}

void CharacterizationModel::AutoMatchNode(const QString& joint)
{
    const int node = RigNodeEndingName(joint);
    if (node >= 0)
        AssignNode(node, joint);
}

void CharacterizationModel::AutoMatch()
{
    QStringList selected;
    if (hub_)
        selected = hub_->GetSelectedNodes();
    for (const QString& joint : selected)
        AutoMatchNode(joint);
    Refresh();
}

void CharacterizationModel::RenameBone(QString newName, QString oldName)
{
    if (!newName.isEmpty() && !oldName.isEmpty()) {
        // Every unlocked characterization follows the host's rename, not only
        // the current one: one left with the old name would later find its
        // joint missing. Locked characterizations stay as they were frozen.
        for (const CharacterizationPtr& c : characterizations_) {
            if (!c || c->IsLocked())
                continue;
            for (int node = 0; node < VLM_NODE_COUNT; ++node) {
                if (c->IsNodeAssigned(node) && c->GetNodeName(node) == oldName)
                    assignNodeIn(*c, node, newName);
            }
        }
    }
    Refresh();
}

void CharacterizationModel::RemoveBone(QString Name)
{
    if (!current_ || Name.isEmpty())
        return;
    // The walk selects every characterization in turn; the user's selection is
    // put back afterwards, which also sets the timer to its lock.
    const std::weak_ptr<Characterization> previous = sharedOf(current_);
    for (std::size_t i = 0; i < characterizations_.size(); ++i) {
        if (!characterizations_[i])
            break;
        SetCurrentCharacterization(int(i));
        Characterization& c = *characterizations_[i];
        for (int node = 0; node < VLM_NODE_COUNT; ++node) {
            if (!c.IsNodeAssigned(node) || c.GetNodeName(node) != Name)
                continue;
            if (c.IsLocked())
                c.SetLocked(false);
            unassignNodeIn(c, node, true);
        }
        Refresh();
    }
    const int index = indexOf(previous.lock().get());
    if (index >= 0)
        SetCurrentCharacterization(index);
}

// --- Name matching ---

bool CharacterizationModel::MatchNodeName(const QString& joint, const QString& root,
                                          const std::vector<NameMatchRule>& rules, int& index) const
{
    return matcher_.MatchName(sanitize(joint), root, rules, index);
}

bool CharacterizationModel::GuessPrefix(const QString& joint, QString& prefix) const
{
    const QString name = sanitize(joint);
    if (matcher_.GuessPrefix(name, prefix) && name != joint)
        prefix = prefix.trimmed();
    return !prefix.isEmpty();
}

bool CharacterizationModel::GuessPrefixFromNames(const QStringList& joints, QString& prefix) const
{
    for (const QString& joint : joints) {
        if (GuessPrefix(joint, prefix))
            return true;
    }
    return false;
}

bool CharacterizationModel::GuessTemplatePrefix(QString& prefix) const
{
    if (!current_)
        return false;
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        if (current_->IsNodeAssigned(node) && GuessPrefix(current_->GetNodeName(node), prefix))
            return true;
    }
    return false;
}

QString CharacterizationModel::settingsFilePath() const
{
    return bridge_ ? PathToQString(bridge_->GetSettingsFilePath()) : QString();
}

// Without a bridge the path is empty: the store then reads nothing and the
// defaults apply.
void CharacterizationModel::LoadNameMatchSettings()
{
    XmlSettingsStore settings(settingsFilePath());
    matcher_.LoadNameMatchSettings(settings);
}

// Without a bridge there is no settings file to reload from: the pairs the
// model was given stay.
void CharacterizationModel::LoadMirrorList()
{
    if (!bridge_)
        return;
    XmlSettingsStore settings(settingsFilePath());
    matcher_.LoadMirrorList(settings);
}

void CharacterizationModel::AddMirrorPair(const QString& a, const QString& b) { matcher_.AddMirrorPair(a, b); }

// --- Mapping templates ---

bool CharacterizationModel::SaveMappingTemplate(const char* path, const QString& prefix, QString* message)
{
    std::vector<NameMatchRule> rules(VLM_NODE_COUNT);
    BuildTemplateRules(rules, prefix);
    QString why;
    if (!::WriteMappingTemplate(QString::fromUtf8(path), rules, &why)) {
        if (message)
            *message = why;
        // Unlike a failed save that leaves the text alone, it says why, as a
        // template that could not be applied does: the last operation shown
        // is then this one, not the one before it.
        setLastOperation(tr("The template could not be saved: %1").arg(why));
        return false;
    }
    // A success can still have something to say: the former file, which
    // could not be read, is kept aside under another name.
    if (message)
        *message = why;
    setLastOperation(tr("Template successfully saved."));
    return true;
}

bool CharacterizationModel::WriteMappingTemplate(const char* path, const std::vector<NameMatchRule>& rules)
{
    return ::WriteMappingTemplate(QString::fromUtf8(path), rules);
}

void CharacterizationModel::LoadMappingTemplate(const char* path, std::vector<NameMatchRule>& rules)
{
    ::LoadMappingTemplate(QString::fromUtf8(path), rules);
}

void CharacterizationModel::BuildTemplateRules(std::vector<NameMatchRule>& rules, const QString& prefix) const
{
    static const std::vector<QString> noNames;
    ::BuildTemplateRules(current_ ? current_->GetNodeNames() : noNames, prefix, matcher_, rules);
}

int CharacterizationModel::ApplyMappingTemplate(const char* path, int domain, const QString& prefix)
{
    std::vector<NameMatchRule> rules;
    QString problem;
    ::LoadMappingTemplate(QString::fromUtf8(path), rules, &problem);
    const QString root = matcher_.CutAtLastDelimiter(prefix);
    if (rules.size() != std::size_t(VLM_NODE_COUNT)) {
        // The panel reports this text: a template it cannot use must not
        // pass for one that matched no joint.
        const QFileInfo file(QString::fromUtf8(path));
        const QString name = file.fileName();
        // A template deleted or moved after it was chosen is not one without
        // rules: the user hears that it is gone (the panel no longer stops
        // silently when it finds no file).
        if (problem.isEmpty() && !file.exists())
            problem = tr("%1 is no longer there: it was moved or deleted.").arg(name);
        if (problem.isEmpty())
            problem = rules.empty() ? tr("%1 holds no mapping rules.").arg(name)
                                    : tr("%1 holds %2 mapping rules, not %3.").arg(name).arg(rules.size()).arg(
                                          int(VLM_NODE_COUNT));
        setLastOperation(tr("The template could not be applied: %1").arg(problem));
        return -1;
    }

    // Unlike applying that leaves the edited part alone, the template ends a
    // part's wait for a joint: it would take the next selected joint on top
    // of what the template mapped.
    endPicking();

    QStringList candidates;
    if (hub_) {
        if (domain == 1) {
            candidates = hub_->GetSelectedNodes();
        } else {
            QStringList skeleton;
            hub_->GetSkeletonNodes(skeleton);
            for (const QString& joint : skeleton) {
                if (joint.contains(prefix, Qt::CaseSensitive) || (!root.isEmpty() && joint == root))
                    candidates.append(joint);
            }
        }
    }

    // A later joint that matches a node replaces the earlier one, except that
    // a joint named exactly prefix + pattern (or the root, for the root rule)
    // is never replaced by one that only ends with or contains the pattern:
    // with an empty prefix "ik_hand_l" must not take the node of "hand_l".
    std::array<bool, VLM_NODE_COUNT> exactTaken{};
    std::array<bool, VLM_NODE_COUNT> mapped{};
    for (const QString& joint : candidates) {
        const QString name = sanitize(joint);
        int index = -1;
        if (!matcher_.MatchName(name, root, rules, index) || !validNode(index))
            continue;
        const NameMatchRule& rule = rules[std::size_t(index)];
        const bool exact = rule.useRoot || name.compare(prefix + rule.pattern, Qt::CaseInsensitive) == 0;
        if (exactTaken[std::size_t(index)] && !exact)
            continue;
        AssignNode(index, joint);
        exactTaken[std::size_t(index)] = exact;
        mapped[std::size_t(index)] = true;
    }

    // Unlike a plain "Template successfully applied.", the text says how
    // many rig nodes the template mapped: a prefix that no joint carries
    // maps nothing, and that must not read as a success.
    const int count = int(std::count(mapped.begin(), mapped.end(), true));
    QString text = count == 0   ? tr("No joint matched the template: nothing was mapped.")
                   : count == 1 ? tr("Template applied: 1 node mapped.")
                                : tr("Template applied: %1 nodes mapped.").arg(count);
    // A template read with bytes that were not valid (read as U+FFFD) says
    // where they were.
    if (!problem.isEmpty())
        text += QLatin1Char(' ') + problem;
    setLastOperation(text);
    Refresh();
    return count;
}
