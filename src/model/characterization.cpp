#include "rig/vlm_character.h"

#include "model/characterization.h"
#include "model/idcc_hub.h"

#include <cstring>

namespace {

const QString& emptyName()
{
    static const QString empty;
    return empty;
}

}  // namespace

Characterization::Characterization(const QString& name, IDCCHub* hub)
    : joints_(VLM_NODE_COUNT), names_(VLM_NODE_COUNT), name_(name), hub_(hub)
{
    std::memset(&flags_, 0, sizeof flags_);
    for (VLMJointGeometry& g : joints_)
        VLMJointGeometryInit(&g);
    VLMBoneInversionInit(&inversion_);
    if (hub_ && name_ != IDCCHub::GetDefaultCharacterNodeName()) {
        hub_->RegisterCharacterizationNode(name_);
        registered_ = true;
    }
}

Characterization::Characterization(const Characterization& other, bool withLimits)
    : flags_(other.flags_),
      joints_(other.joints_),
      inversion_(other.inversion_),
      names_(other.names_),
      name_(other.name_),
      locked_(other.locked_),
      hub_(other.hub_)
{
    if (withLimits)
        return;
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        if (flags_.words[node] & VLM_DEF_USED) {
            flags_.words[node] = VLM_DEF_USED;
            VLMJointGeometrySetLimitEnableMask(&joints_[node], 0);
        }
    }
}

Characterization& Characterization::operator=(const Characterization& other)
{
    if (this != &other) {
        flags_ = other.flags_;
        joints_ = other.joints_;
        inversion_ = other.inversion_;
        names_ = other.names_;
        name_ = other.name_;
        locked_ = other.locked_;
        hub_ = other.hub_;
    }
    return *this;
}

Characterization::~Characterization()
{
    if (registered_ && hub_ && name_ != IDCCHub::GetDefaultCharacterNodeName())
        hub_->UnregisterCharacterizationNode(name_);
}

bool Characterization::IsNodeAssigned(int node) const
{
    return validNode(node) && (flags_.words[node] & VLM_DEF_USED) != 0;
}

bool Characterization::IsNodeComplete(int node) const
{
    return validNode(node) && (flags_.words[node] & VLM_DEF_FULL) == VLM_DEF_FULL;
}

int Characterization::CountUnnamedAssignedNodes(int* assigned) const
{
    int unnamed = 0, count = 0;
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        if (!IsNodeAssigned(node))
            continue;
        ++count;
        unnamed += names_[std::size_t(node)].isEmpty();
    }
    if (assigned)
        *assigned = count;
    return unnamed;
}

void Characterization::BuildDefinition(VLMCharacterDefinition& words, bool withLimits) const
{
    std::memset(&words, 0, sizeof words);
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        const std::uint32_t flags = flags_.words[node];
        words.words[node] = withLimits ? flags : (flags & VLM_DEF_USED);
    }
}

void Characterization::SetNodeName(int node, const QString& hostJoint)
{
    if (!validNode(node))
        return;
    names_[node] = hostJoint;
    flags_.words[node] |= VLM_DEF_USED;
}

void Characterization::ClearNode(int node)
{
    if (!validNode(node))
        return;
    names_[node].clear();
    flags_.words[node] = 0;
}

const QString& Characterization::GetNodeName(int node) const { return validNode(node) ? names_[node] : emptyName(); }

void Characterization::ResetJointGeometry(int node)
{
    if (validNode(node))
        VLMJointGeometryInit(&joints_[node]);
}

void Characterization::SetJointGeometry(int node, const VLMJointGeometry& geometry)
{
    if (!validNode(node))
        return;
    joints_[node] = geometry;
    if (geometry.limitEnableMask != 0)
        flags_.words[node] |= VLM_DEF_FULL;
}

void Characterization::GetJointGeometry(int node, VLMJointGeometry& out) const
{
    if (validNode(node))
        out = joints_[node];
}

VLMJointGeometry& Characterization::JointGeometryAt(int node)
{
    Q_ASSERT(validNode(node));
    return joints_[node];
}

const VLMJointGeometry& Characterization::JointGeometryAt(int node) const
{
    Q_ASSERT(validNode(node));
    return joints_[node];
}
