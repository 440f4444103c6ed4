#include "standin_host.h"

#include <QDir>
#include <QFile>

#include <utility>

namespace {

QMap<QString, int> outstanding(const QHash<QString, int>& counts)
{
    QMap<QString, int> result;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() != 0)
            result.insert(it.key(), it.value());
    }
    return result;
}

// Multiset bookkeeping: a release without a registration is kept apart so that
// the counts never go negative and hide a later registration.
void release(QHash<QString, int>& counts, QStringList& unmatched, const QString& name)
{
    auto it = counts.find(name);
    if (it == counts.end() || it.value() == 0) {
        unmatched << name;
        return;
    }
    if (--it.value() == 0)
        counts.erase(it);
}

}  // namespace

bool StandInHost::SkeletonUpdate::operator==(const SkeletonUpdate& o) const
{
    return oldNode == o.oldNode && newNode == o.newNode && characterization == o.characterization &&
           characterBone == o.characterBone && nodeRemoved == o.nodeRemoved;
}

bool StandInHost::GeometryQuery::operator==(const GeometryQuery& o) const
{
    return node == o.node && characterBone == o.characterBone && answered == o.answered;
}

StandInHost::StandInHost() = default;

StandInHost::~StandInHost() = default;

// --- The scene ---

bool StandInHost::LoadSkeletonFile(const QString& path, QString* error)
{
    BvhSkeleton skeleton;
    BvhError failure;
    if (!ReadBvhFile(QFile::encodeName(path).toStdString(), skeleton, failure)) {
        if (error)
            *error = QString::fromStdString(failure.Message());
        return false;
    }
    if (!LoadSkeleton(skeleton)) {
        if (error)
            *error = path + QStringLiteral(": inconsistent hierarchy");
        return false;
    }
    return true;
}

bool StandInHost::LoadSkeleton(const BvhSkeleton& skeleton)
{
    std::vector<Joint> joints;
    joints.reserve(skeleton.joints.size());
    QSet<QString> names;
    for (const BvhJoint& b : skeleton.joints) {
        Joint j;
        j.name = QString::fromStdString(b.name);
        j.parent = b.parent;
        // The reader guarantees these; a skeleton built by hand may not.
        if (j.name.isEmpty() || names.contains(j.name) || b.parent < -1 || b.parent >= static_cast<int>(joints.size()))
            return false;
        names.insert(j.name);
        float t[3] = {b.offset[0], b.offset[1], b.offset[2]};
        if (b.parent >= 0) {
            const float* p = joints[static_cast<std::size_t>(b.parent)].rest.GetTranslate();
            for (int i = 0; i < 3; ++i)
                t[i] = p[i] + t[i];
        }
        j.rest.SetTranslate(t[0], t[1], t[2]);
        j.rest.SetScale(1.0f, 1.0f, 1.0f);
        joints.push_back(j);
    }
    joints_ = std::move(joints);
    selection_.clear();
    failingGeometry_.clear();
    reindex();
    return true;
}

void StandInHost::ClearScene()
{
    joints_.clear();
    index_.clear();
    selection_.clear();
    failingGeometry_.clear();
}

bool StandInHost::AddJoint(const QString& name, const QString& parent, const CharacterJointGeometry& rest)
{
    if (name.isEmpty() || index_.contains(name))
        return false;
    int parentIndex = -1;
    if (!parent.isEmpty()) {
        parentIndex = indexOf(parent);
        if (parentIndex < 0)
            return false;
    }
    Joint j;
    j.name = name;
    j.parent = parentIndex;
    j.rest = rest;
    index_.insert(name, static_cast<int>(joints_.size()));
    joints_.push_back(j);
    return true;
}

QString StandInHost::SamplePath(const QString& fileName)
{
    return QDir(QStringLiteral(SKW_SAMPLE_DIR)).filePath(fileName);
}

QStringList StandInHost::SampleFiles()
{
    return {QStringLiteral("rig_names.bvh"), QStringLiteral("namespace_colon.bvh"),
            QStringLiteral("prefix_underscore.bvh"), QStringLiteral("biped_spaces.bvh"),
            QStringLiteral("suffix_lower.bvh")};
}

QStringList StandInHost::JointNames() const
{
    QStringList names;
    names.reserve(static_cast<int>(joints_.size()));
    for (const Joint& j : joints_)
        names << j.name;
    return names;
}

int StandInHost::JointCount() const { return static_cast<int>(joints_.size()); }

QString StandInHost::ParentOf(const QString& joint) const
{
    const int i = indexOf(joint);
    if (i < 0 || joints_[static_cast<std::size_t>(i)].parent < 0)
        return QString();
    return joints_[static_cast<std::size_t>(joints_[static_cast<std::size_t>(i)].parent)].name;
}

bool StandInHost::RestGeometry(const QString& joint, CharacterJointGeometry& geometry) const
{
    const int i = indexOf(joint);
    if (i < 0)
        return false;
    geometry = joints_[static_cast<std::size_t>(i)].rest;
    return true;
}

int StandInHost::indexOf(const QString& name) const { return index_.value(name, -1); }

void StandInHost::reindex()
{
    index_.clear();
    for (std::size_t i = 0; i < joints_.size(); ++i)
        index_.insert(joints_[i].name, static_cast<int>(i));
}

// --- Mutators ---

bool StandInHost::RenameJoint(const QString& oldName, const QString& newName)
{
    const int i = indexOf(oldName);
    if (i < 0 || newName.isEmpty() || index_.contains(newName))
        return false;
    joints_[static_cast<std::size_t>(i)].name = newName;
    index_.remove(oldName);
    index_.insert(newName, i);
    for (QString& s : selection_) {
        if (s == oldName)
            s = newName;
    }
    if (failingGeometry_.remove(oldName))
        failingGeometry_.insert(newName);
    emit NameChanged(newName, oldName);
    return true;
}

bool StandInHost::RemoveJoint(const QString& name)
{
    const int removed = indexOf(name);
    if (removed < 0)
        return false;
    const int grandParent = joints_[static_cast<std::size_t>(removed)].parent;
    joints_.erase(joints_.begin() + removed);
    for (Joint& j : joints_) {
        if (j.parent == removed)
            j.parent = grandParent;
        if (j.parent > removed)
            --j.parent;
    }
    reindex();
    failingGeometry_.remove(name);
    const bool selectionChanges = selection_.removeAll(name) > 0;
    emit NodeRemoved(name);
    if (selectionChanges)
        emit selectionChanged();
    return true;
}

bool StandInHost::MoveJoint(const QString& name, float dx, float dy, float dz)
{
    const int root = indexOf(name);
    if (root < 0)
        return false;
    // Children come after their parents, so one forward pass finds the subtree.
    std::vector<char> moves(joints_.size(), 0);
    moves[static_cast<std::size_t>(root)] = 1;
    for (std::size_t i = static_cast<std::size_t>(root) + 1; i < joints_.size(); ++i) {
        const int p = joints_[i].parent;
        if (p >= 0 && moves[static_cast<std::size_t>(p)])
            moves[i] = 1;
    }
    for (std::size_t i = 0; i < joints_.size(); ++i) {
        if (!moves[i])
            continue;
        const float* t = joints_[i].rest.GetTranslate();
        joints_[i].rest.SetTranslate(t[0] + dx, t[1] + dy, t[2] + dz);
    }
    return true;
}

bool StandInHost::SetJointGeometry(const QString& name, const CharacterJointGeometry& rest)
{
    const int i = indexOf(name);
    if (i < 0)
        return false;
    joints_[static_cast<std::size_t>(i)].rest = rest;
    return true;
}

void StandInHost::SetGeometryQueryFails(const QString& name, bool fails)
{
    if (fails)
        failingGeometry_.insert(name);
    else
        failingGeometry_.remove(name);
}

void StandInHost::SetSelection(const QStringList& joints)
{
    selection_ = joints;
    emit selectionChanged();
}

void StandInHost::AddCharacterizationNode(const QString& name)
{
    if (!name.isEmpty() && !characterizationNodes_.contains(name))
        characterizationNodes_ << name;
}

QStringList StandInHost::CharacterizationNodes() const { return characterizationNodes_; }

bool StandInHost::RenameCharacterizationNode(const QString& oldName, const QString& newName)
{
    const int i = characterizationNodes_.indexOf(oldName);
    if (i < 0 || newName.isEmpty() || characterizationNodes_.contains(newName))
        return false;
    characterizationNodes_[i] = newName;
    emit CharacterizationNameChanged(newName, oldName);
    return true;
}

bool StandInHost::RemoveCharacterizationNode(const QString& name)
{
    if (characterizationNodes_.removeAll(name) == 0)
        return false;
    emit CharacterizationNodeRemoved(name);
    return true;
}

void StandInHost::SetPostCharacterUpdateMode(PostUpdateMode mode) { postUpdateMode_ = mode; }

void StandInHost::SetBoneNameSanitizer(std::function<QString(const QString&)> sanitizer)
{
    sanitizer_ = std::move(sanitizer);
}

QString StandInHost::StripNamespace(const QString& name) { return name.mid(name.lastIndexOf(QLatin1Char(':')) + 1); }

// --- Records ---

QMap<QString, int> StandInHost::OutstandingJointRegistrations() const { return outstanding(jointRegistrations_); }

bool StandInHost::JointRegistrationsBalanced() const
{
    return jointRegistrations_.isEmpty() && unmatchedJointReleases_.isEmpty();
}

int StandInHost::JointRegistrationCount(const QString& joint) const { return jointRegistrations_.value(joint, 0); }

QMap<QString, int> StandInHost::OutstandingCharacterizationRegistrations() const
{
    return outstanding(nodeRegistrations_);
}

bool StandInHost::CharacterizationRegistrationsBalanced() const
{
    return nodeRegistrations_.isEmpty() && unmatchedNodeReleases_.isEmpty();
}

void StandInHost::ClearRecords()
{
    skeletonUpdates_.clear();
    log_.clear();
    jointRegistrations_.clear();
    unmatchedJointReleases_.clear();
    nodeRegistrations_.clear();
    unmatchedNodeReleases_.clear();
    characterUIUpdates_ = 0;
    postUpdateQueries_.clear();
    geometryQueries_.clear();
    parentQueries_.clear();
}

// --- The host interface ---

QString StandInHost::GetHostName() const { return QStringLiteral("Skelwright stand-in host"); }

const QStringList& StandInHost::GetSelectedNodes() { return selection_; }

bool StandInHost::HasNode(const QString& node) const { return index_.contains(node); }

bool StandInHost::GetJointGeometry(const QString& node, int characterBone, CharacterJointGeometry& geometry, bool)
{
    const int i = indexOf(node);
    const bool answered = i >= 0 && !failingGeometry_.contains(node);
    geometryQueries_.push_back(GeometryQuery{node, characterBone, answered});
    if (!answered)
        return false;  // the record is left untouched, as a failing host would
    geometry = joints_[static_cast<std::size_t>(i)].rest;
    return true;
}

void StandInHost::GetParentNode(const QString& node, QString& parent)
{
    parentQueries_ << node;
    const QString name = ParentOf(node);
    if (!name.isEmpty())
        parent = name;
}

void StandInHost::RegisterAssignedNode(const QString& node)
{
    log_ << QStringLiteral("RegisterAssignedNode ") + node;
    ++jointRegistrations_[node];
}

void StandInHost::UnregisterAssignedNode(const QString& node)
{
    log_ << QStringLiteral("UnregisterAssignedNode ") + node;
    release(jointRegistrations_, unmatchedJointReleases_, node);
}

void StandInHost::GetSkeletonNodes(QStringList& nodes)
{
    for (const Joint& j : joints_)
        nodes << j.name;
}

void StandInHost::SelectNode(const QString& node)
{
    log_ << QStringLiteral("SelectNode ") + node;
    if (index_.contains(node))
        selection_ = QStringList{node};
}

void StandInHost::UpdateDccCharacterSkeleton(const QString& oldNode, const QString& newNode,
                                             const QString& characterization, int characterBone, bool nodeRemoved)
{
    log_ << QStringLiteral("UpdateDccCharacterSkeleton %1|%2|%3|%4|%5")
                .arg(oldNode, newNode, characterization)
                .arg(characterBone)
                .arg(nodeRemoved ? 1 : 0);
    skeletonUpdates_.push_back(SkeletonUpdate{oldNode, newNode, characterization, characterBone, nodeRemoved});
}

void StandInHost::UpdateDccDeleteCharacter(const QString& characterization)
{
    log_ << QStringLiteral("UpdateDccDeleteCharacter ") + characterization;
}

void StandInHost::UpdateDccCharacterUI()
{
    log_ << QStringLiteral("UpdateDccCharacterUI");
    ++characterUIUpdates_;
}

void StandInHost::RegisterCharacterizationNode(const QString& name)
{
    log_ << QStringLiteral("RegisterCharacterizationNode ") + name;
    ++nodeRegistrations_[name];
}

void StandInHost::UnregisterCharacterizationNode(const QString& name)
{
    log_ << QStringLiteral("UnregisterCharacterizationNode ") + name;
    release(nodeRegistrations_, unmatchedNodeReleases_, name);
}

void StandInHost::UpdateDccBoneInvertedState(int characterBone, bool inverted)
{
    log_ << QStringLiteral("UpdateDccBoneInvertedState %1|%2").arg(characterBone).arg(inverted ? 1 : 0);
}

bool StandInHost::PostCharacterUpdate(const QString& characterization)
{
    log_ << QStringLiteral("PostCharacterUpdate ") + characterization;
    postUpdateQueries_ << characterization;
    switch (postUpdateMode_) {
    case PostUpdateAlways: return true;
    case PostUpdateOnce: postUpdateMode_ = PostUpdateNever; return true;
    case PostUpdateNever: break;
    }
    return false;
}

QString StandInHost::SanitizeBoneName(const QString& name) const
{
    return sanitizer_ ? sanitizer_(name) : IDCCHub::SanitizeBoneName(name);
}

void StandInHost::SetCharacterState(VLMCharacter*, VLMCharacterState*) { log_ << QStringLiteral("SetCharacterState"); }
