// The XML characterization file: the name, the joint names, the node flags and
// the rest geometry of every assigned node as text.

#include "rig/vlm_character.h"
#include "rig/vlm_joint.h"
#include "rig/vlm_names.h"

#include "model/characterization.h"
#include "model/characterization_files.h"
#include "model/xml_document.h"
#include "model/xml_settings_store.h"
#include "base/float_compare.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cmath>

namespace {

const QString kName = QStringLiteral("name");
const QString kBoneCorrespondance = QStringLiteral("bone_correspondance");
const QString kBoneUsed = QStringLiteral("bone_used");
const QString kJoints = QStringLiteral("joints");

// A node's items, in the order they are written and read. The reader goes by
// position, not by the "key" attribute.
const QString kTranslate = QStringLiteral("Translate");
const QString kRotate = QStringLiteral("Rotate");
const QString kScale = QStringLiteral("Scale");
const QString kMinEnable = QStringLiteral("MinRLimitEnable");
const QString kMaxEnable = QStringLiteral("MaxRLimitEnable");
const QString kPreRot = QStringLiteral("PreRot");
const QString kPostRot = QStringLiteral("PostRot");
const QString kMinLimit = QStringLiteral("MinRLimit");
const QString kMaxLimit = QStringLiteral("MaxRLimit");
const QString kParentOffset = QStringLiteral("RotateParentOffset");
const QString kRotationOrder = QStringLiteral("RotationOrder");

constexpr int kItemsWithoutLimits = 6;
constexpr int kItemsWithLimits = 11;
constexpr unsigned kLastRotationOrder = 12;

QString Tr(const char* text) { return QCoreApplication::translate("CharacterizationFiles", text); }

void Say(QString* message, const QString& text)
{
    if (message)
        *message = text;
}

QString Numbers(const float* values, int count)
{
    QStringList texts;
    for (int i = 0; i < count; ++i)
        texts << FloatToText(values[i]);
    return texts.join(QLatin1Char(' '));
}

QString Flags(bool x, bool y, bool z) { return QStringLiteral("%1 %2 %3").arg(int(x)).arg(int(y)).arg(int(z)); }

QString RigNodeName(int node) { return QString::fromLatin1(VLMGetNodeName(node)); }

// The values of one item, split at blanks. False when there are fewer than
// `count`; a text that is not a finite float reads as 0, as the rest pose
// must never hold an infinity or a NaN.
bool ReadNumbers(const QString& text, float* out, int count)
{
    const QStringList parts = text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() < count)
        return false;
    for (int i = 0; i < count; ++i) {
        bool ok = false;
        const float value = parts[i].toFloat(&ok);
        out[i] = ok && std::isfinite(value) ? value : 0.0f;
    }
    return true;
}

// Three flags; a flag is set when its integer is greater than 0.
bool ReadFlags(const QString& text, bool out[3])
{
    const QStringList parts = text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() < 3)
        return false;
    for (int i = 0; i < 3; ++i)
        out[i] = parts[i].toLongLong() > 0;
    return true;
}

bool ReadRotationOrder(const QString& text, std::uint32_t& order)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok) {
        order = 0;
        return true;
    }
    if (value < 0 || value > qlonglong(kLastRotationOrder))
        return false;
    order = std::uint32_t(value);
    return true;
}

// One node's record from its items, starting from the library's default
// record. False when an item or a value is missing.
bool ReadJointRecord(const XmlSettingsStore::PairList& items, VLMJointGeometry& record)
{
    VLMJointGeometryInit(&record);
    if (items.size() < std::size_t(kItemsWithoutLimits))
        return false;
    float v[4];
    if (!ReadNumbers(items[0].second, v, 3))
        return false;
    VLMJointGeometrySetTranslate(&record, v[0], v[1], v[2]);
    if (!ReadNumbers(items[1].second, v, 4))
        return false;
    VLMJointGeometrySetRotateQ(&record, v[0], v[1], v[2], v[3]);
    if (!ReadNumbers(items[2].second, v, 3))
        return false;
    VLMJointGeometrySetScale(&record, v[0], v[1], v[2]);
    bool minEnable[3];
    bool maxEnable[3];
    if (!ReadFlags(items[3].second, minEnable) || !ReadFlags(items[4].second, maxEnable))
        return false;
    VLMJointGeometrySetMinRLimitEnable(&record, minEnable[0], minEnable[1], minEnable[2]);
    VLMJointGeometrySetMaxRLimitEnable(&record, maxEnable[0], maxEnable[1], maxEnable[2]);

    std::size_t orderItem = kItemsWithoutLimits - 1;
    if (VLMJointGeometryGetLimitEnableMask(&record) > 0) {
        if (items.size() < std::size_t(kItemsWithLimits))
            return false;
        if (!ReadNumbers(items[5].second, v, 4))
            return false;
        VLMJointGeometrySetPreRotQ(&record, v[0], v[1], v[2], v[3]);
        if (!ReadNumbers(items[6].second, v, 4))
            return false;
        VLMJointGeometrySetPostRotQ(&record, v[0], v[1], v[2], v[3]);
        if (!ReadNumbers(items[7].second, v, 3))
            return false;
        VLMJointGeometrySetMinRLimit(&record, v[0], v[1], v[2]);
        if (!ReadNumbers(items[8].second, v, 3))
            return false;
        VLMJointGeometrySetMaxRLimit(&record, v[0], v[1], v[2]);
        if (!ReadNumbers(items[9].second, v, 4))
            return false;
        VLMJointGeometrySetParentOffsetRotateQ(&record, v[0], v[1], v[2], v[3]);
        orderItem = kItemsWithLimits - 1;
    }
    std::uint32_t order = 0;
    if (!ReadRotationOrder(items[orderItem].second, order))
        return false;
    VLMJointGeometrySetRotationOrder(&record, VLMRotationOrder(order));
    return true;
}

}  // namespace

QString FloatToText(float value)
{
    if (IsNearZero(value))
        return QStringLiteral("0");
    // Six digits as a text stream writes them by default, more only where six
    // would not read back as the same float (nine always do).
    for (int digits = 6; digits < 9; ++digits) {
        const QString text = QString::number(double(value), 'g', digits);
        bool ok = false;
        if (text.toFloat(&ok) == value && ok)
            return text;
    }
    return QString::number(double(value), 'g', 9);
}

bool SaveCharacterizationXml(const Characterization& characterization, const QString& path, bool withLimits,
                             QString* message)
{
    // A name the file would not give back is refused before anything is
    // written: the file would not load.
    QString unwritable = CharacterXmlCannotHold(characterization.GetName(), Tr("The characterization's name"));
    if (unwritable.isEmpty())
        unwritable = JointNameXmlCannotHold(characterization);
    if (!unwritable.isEmpty()) {
        Say(message, Tr("%1 was not saved: %2").arg(QFileInfo(path).fileName(), unwritable));
        return false;
    }
    const VLMCharacterDefinition& words = characterization.GetNodeFlags();
    XmlSettingsStore store(path);
    store.Reset();
    store.SetValue(kName, characterization.GetName());
    store.SetList(kBoneCorrespondance, characterization.GetNodeNames());

    XmlSettingsStore::StringList used;
    used.reserve(VLM_NODE_COUNT);
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        const std::uint32_t word = words.words[node];
        used.push_back(withLimits ? QString::number(word) : QString::number(word & VLM_DEF_USED));
    }
    store.SetList(kBoneUsed, used);

    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        if (!(words.words[node] & VLM_DEF_USED))
            continue;
        const VLMJointGeometry& r = characterization.JointGeometryAt(node);
        const bool limits = withLimits && VLMJointGeometryGetLimitEnableMask(&r) > 0;
        XmlSettingsStore::PairList items;
        items.reserve(limits ? kItemsWithLimits : kItemsWithoutLimits);
        items.emplace_back(kTranslate, Numbers(VLMJointGeometryGetTranslate(&r), 3));
        items.emplace_back(kRotate, Numbers(VLMJointGeometryGetRotateQ(&r), 4));
        items.emplace_back(kScale, Numbers(VLMJointGeometryGetScale(&r), 3));
        if (withLimits) {
            items.emplace_back(kMinEnable, Flags(VLMJointGeometryHasMinRLimitX(&r), VLMJointGeometryHasMinRLimitY(&r),
                                                 VLMJointGeometryHasMinRLimitZ(&r)));
            items.emplace_back(kMaxEnable, Flags(VLMJointGeometryHasMaxRLimitX(&r), VLMJointGeometryHasMaxRLimitY(&r),
                                                 VLMJointGeometryHasMaxRLimitZ(&r)));
        } else {
            items.emplace_back(kMinEnable, Flags(false, false, false));
            items.emplace_back(kMaxEnable, Flags(false, false, false));
        }
        if (limits) {
            items.emplace_back(kPreRot, Numbers(VLMJointGeometryGetPreRotQ(&r), 4));
            items.emplace_back(kPostRot, Numbers(VLMJointGeometryGetPostRotQ(&r), 4));
            items.emplace_back(kMinLimit, Numbers(VLMJointGeometryGetMinRLimit(&r), 3));
            items.emplace_back(kMaxLimit, Numbers(VLMJointGeometryGetMaxRLimit(&r), 3));
            items.emplace_back(kParentOffset, Numbers(VLMJointGeometryGetParentOffsetRotateQ(&r), 4));
        }
        items.emplace_back(kRotationOrder, QString::number(int(VLMJointGeometryGetRotationOrder(&r))));
        store.SetPairList(kJoints, RigNodeName(node), items);
    }

    if (!store.Write()) {
        Say(message, store.GetWriteProblem().isEmpty() ? Tr("%1 could not be written.").arg(QFileInfo(path).fileName())
                                                       : store.GetWriteProblem());
        return false;
    }
    // A former file that could not be read was kept aside: the user hears
    // where.
    Say(message, store.GetWriteNotice());
    return true;
}

bool SaveCharacterizationXml(const Characterization& characterization, const char* path, bool withLimits,
                             QString* message)
{
    return SaveCharacterizationXml(characterization, QString::fromLatin1(path), withLimits, message);
}

std::unique_ptr<Characterization> LoadCharacterizationXml(const QString& path, QString* message)
{
    const QString fileName = QFileInfo(path).fileName();
    if (!QFileInfo::exists(path)) {
        Say(message, Tr("%1 is missing.").arg(fileName));
        return nullptr;
    }
    // Not a file, too large, unreadable or damaged: the store says which.
    XmlSettingsStore store(path);
    // What the read put right first, or left alone, is said with the rest.
    const auto noticed = [&store](const QString& text) {
        return (store.GetReadNotice() + QLatin1Char(' ') + text).trimmed();
    };
    if (!store.GetReadProblem().isEmpty()) {
        Say(message, noticed(store.GetReadProblem()));
        return nullptr;
    }
    XmlSettingsStore::StringList names;
    store.GetList(kBoneCorrespondance, names);
    if (names.size() != std::size_t(VLM_NODE_COUNT)) {
        Say(message, noticed(Tr("%1 is not a characterization file, or it is damaged: it lists %2 joint names, not %3.")
                                 .arg(fileName)
                                 .arg(qulonglong(names.size()))
                                 .arg(VLM_NODE_COUNT)));
        return nullptr;
    }

    std::unique_ptr<Characterization> characterization(new Characterization(store.GetValue(kName, QString()), nullptr));
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        if (!names[node].isEmpty())
            characterization->SetNodeName(node, names[node]);
    }
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        if (!characterization->IsNodeAssigned(node))
            continue;
        XmlSettingsStore::PairList items;
        store.GetPairList(kJoints, RigNodeName(node), items);
        VLMJointGeometry record;
        if (!ReadJointRecord(items, record)) {
            Say(message, noticed(Tr("%1 is damaged: the rest geometry of %2 is missing or incomplete.")
                                     .arg(fileName, RigNodeName(node))));
            return nullptr;
        }
        characterization->SetJointGeometry(node, record);
    }
    Say(message, noticed(store.GetReadWarning()));
    return characterization;
}

std::unique_ptr<Characterization> LoadCharacterizationXml(const char* path, QString* message)
{
    return LoadCharacterizationXml(QString::fromLatin1(path), message);
}
