#include "rig/vlm_character.h"

#include "model/characterization.h"
#include "model/characterization_files.h"
#include "model/xml_settings_store.h"

#include "test_support_fs.h"

#include <QDir>
#include <QDomDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>

namespace {

// Random unit quaternion; floats with every digit in use.
void RandomQuaternion(std::mt19937& rng, float q[4])
{
    std::normal_distribution<float> n;
    float len = 0;
    do {
        for (int i = 0; i < 4; ++i)
            q[i] = n(rng);
        len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    } while (len < 1e-3f);
    for (int i = 0; i < 4; ++i)
        q[i] /= len;
}

// A characterization of the whole body chain and a few fingers: nodes with and
// without rotation limits, every rotation order, awkward numbers, two inverted
// limbs and joint names with markup characters.
Characterization MakeCharacterization(unsigned seed = 7)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> spread(-50.f, 50.f);
    Characterization c(QStringLiteral("Hero"), nullptr);
    int k = 0;
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        if (node > 24 && node % 5 != 0)
            continue;
        c.SetNodeName(node, QStringLiteral("rig:joint_%1 <\"&'>").arg(node));
        VLMJointGeometry g;
        VLMJointGeometryInit(&g);
        float q[4];
        VLMJointGeometrySetTranslate(&g, spread(rng), node == 1 ? 1234567.f : spread(rng), 0.1f * float(node));
        RandomQuaternion(rng, q);
        VLMJointGeometrySetRotateQ(&g, q[0], q[1], q[2], q[3]);
        VLMJointGeometrySetScale(&g, 1.f, 1.f + 1e-5f * float(node), 0.75f);
        if (k++ % 3 != 2) {
            RandomQuaternion(rng, q);
            VLMJointGeometrySetPreRotQ(&g, q[0], q[1], q[2], q[3]);
            RandomQuaternion(rng, q);
            VLMJointGeometrySetPostRotQ(&g, q[0], q[1], q[2], q[3]);
            VLMJointGeometrySetMinRLimit(&g, -spread(rng), -45.f, -3.1415927f);
            VLMJointGeometrySetMaxRLimit(&g, spread(rng), 45.5f, 100000.f);
            VLMJointGeometrySetLimitEnableMask(&g, 1u + std::uint32_t(node) % 63u);
            RandomQuaternion(rng, q);
            VLMJointGeometrySetParentOffsetRotateQ(&g, q[0], q[1], q[2], q[3]);
            VLMJointGeometrySetRotationOrder(&g, VLMRotationOrder(node % VLM_ROTATION_ORDER_COUNT));
        }
        c.SetJointGeometry(node, g);
    }
    VLMBoneInversionSetRightLeg(&c.GetBoneInversion(), 1);
    VLMBoneInversionSetLeftForeArm(&c.GetBoneInversion(), 1);
    return c;
}

std::vector<QString> Names(const Characterization& c)
{
    return c.GetNodeNames();
}

// What a stream carries: the words, the inversion flags, the rest pose of every
// used node, and the rotation definition and parent offset of the nodes with a
// full rotation definition (names travel beside it). The library keeps pre-
// and post-rotations normalised, so those come back within rounding.
void ExpectSameStreamContent(const Characterization& back, const Characterization& out)
{
    EXPECT_EQ(std::memcmp(&back.GetNodeFlags(), &out.GetNodeFlags(), sizeof(VLMCharacterDefinition)), 0);
    EXPECT_EQ(std::memcmp(&back.GetBoneInversion(), &out.GetBoneInversion(), sizeof(VLMBoneInversion)), 0);
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        if (!out.IsNodeAssigned(node))
            continue;
        const VLMJointGeometry& a = back.JointGeometryAt(node);
        const VLMJointGeometry& b = out.JointGeometryAt(node);
        EXPECT_EQ(std::memcmp(&a, &b, offsetof(VLMJointGeometry, preRotQ)), 0) << "node " << node;
        if (!out.IsNodeComplete(node))
            continue;
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(a.preRotQ[i], b.preRotQ[i], 1e-6f) << "node " << node;
            EXPECT_NEAR(a.postRotQ[i], b.postRotQ[i], 1e-6f) << "node " << node;
        }
        EXPECT_EQ(std::memcmp(&a.maxRLimit, &b.maxRLimit, sizeof a - offsetof(VLMJointGeometry, maxRLimit)), 0)
            << "node " << node;
    }
}

class CharacterizationFilesTest : public testing::Test {
protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QStringList Entries() const { return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); }

    QByteArray Stream(Characterization& c, unsigned char order, bool limits)
    {
        char* data = nullptr;
        std::size_t size = 0;
        EXPECT_TRUE(CharacterizationToStream(c, order, limits, data, size));
        QByteArray bytes(data, int(size));
        std::free(data);
        return bytes;
    }

    QTemporaryDir dir_;
};

} // namespace

// --- The host stream pair -------------------------------------------------------

TEST_F(CharacterizationFilesTest, StreamPairRoundTripsInBothByteOrders)
{
    Characterization out = MakeCharacterization();
    const QByteArray little = Stream(out, kStreamLittleEndian, true);
    const QByteArray big = Stream(out, kStreamBigEndian, true);
    ASSERT_EQ(little.size(), big.size());
    EXPECT_EQ(little.left(4), QByteArray("\x89\x27\x02\x24", 4));
    EXPECT_EQ(big.left(4), QByteArray("\x24\x02\x27\x89", 4));
    for (int i = 0; i < little.size(); i += 4) {
        for (int b = 0; b < 4; ++b)
            ASSERT_EQ(little[i + b], big[i + 3 - b]) << "word at " << i;
    }

    for (const QByteArray& stream : {little, big}) {
        QString message = QStringLiteral("stale");
        std::unique_ptr<Characterization> back =
            CharacterizationFromStream(stream.constData(), std::size_t(stream.size()), Names(out), &message);
        ASSERT_TRUE(back);
        EXPECT_TRUE(message.isEmpty());
        EXPECT_EQ(back->GetName(), QStringLiteral("New Characterization"));
        EXPECT_EQ(back->GetHub(), nullptr);
        EXPECT_EQ(back->GetNodeNames(), out.GetNodeNames());
        ExpectSameStreamContent(*back, out);
    }
}

TEST_F(CharacterizationFilesTest, StreamWithoutLimitsCarriesUsedBitsOnly)
{
    Characterization out = MakeCharacterization();
    const QByteArray stream = Stream(out, kStreamLittleEndian, false);
    std::unique_ptr<Characterization> back =
        CharacterizationFromStream(stream.constData(), std::size_t(stream.size()), {});
    ASSERT_TRUE(back);
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        EXPECT_EQ(back->GetNodeFlags().words[node], out.IsNodeAssigned(node) ? 1u : 0u) << node;
        EXPECT_TRUE(back->GetNodeName(node).isEmpty());
        if (out.IsNodeAssigned(node)) {
            EXPECT_EQ(VLMJointGeometryGetLimitEnableMask(&back->JointGeometryAt(node)), 0u);
        }
    }
    // The characterization itself keeps its limits.
    EXPECT_TRUE(out.IsNodeComplete(0));
}

TEST_F(CharacterizationFilesTest, UnreadableStreamsAndMisfitNameListsAreReported)
{
    Characterization out = MakeCharacterization();
    const QByteArray stream = Stream(out, kStreamBigEndian, true);
    QString message;
    EXPECT_FALSE(CharacterizationFromStream(nullptr, 712, {}, &message));
    EXPECT_FALSE(message.isEmpty());
    EXPECT_FALSE(CharacterizationFromStream(stream.constData(), std::size_t(stream.size() - 1), {}));
    EXPECT_FALSE(CharacterizationFromStream("garbage", 7, {}));

    for (std::size_t count : {std::size_t(1), std::size_t(171), std::size_t(173)}) {
        std::vector<QString> names(count, QStringLiteral("joint"));
        message.clear();
        std::unique_ptr<Characterization> back =
            CharacterizationFromStream(stream.constData(), std::size_t(stream.size()), names, &message);
        ASSERT_TRUE(back) << count;
        EXPECT_TRUE(message.contains(QString::number(count))) << message.toStdString();
        for (int node = 0; node < VLM_NODE_COUNT; ++node)
            ASSERT_TRUE(back->GetNodeName(node).isEmpty());
        ExpectSameStreamContent(*back, out);
    }
}

// --- ".vlmc" files ---------------------------------------------------------------

TEST_F(CharacterizationFilesTest, CompanionIsNamedByTheFileWithoutItsExtension)
{
    EXPECT_EQ(CompanionPathFor("/d/hero.vlmc"), "/d/hero.bones.xml");
    EXPECT_EQ(CompanionPathFor("/d/hero.take2.VLMC"), "/d/hero.take2.bones.xml");
    EXPECT_EQ(CompanionPathFor("/d/hero.old"), "/d/hero.old.bones.xml");
    EXPECT_EQ(LegacyCompanionPathFor("/d/hero.take2.vlmc"), "/d/hero.bones.xml");
}

TEST_F(CharacterizationFilesTest, BinaryFilesRoundTripWithTheirCompanion)
{
    Characterization out = MakeCharacterization();
    for (unsigned char order : {kStreamLittleEndian, kStreamBigEndian}) {
        const QString file = Path(order ? "big.vlmc" : "little.vlmc");
        QString message = QStringLiteral("stale");
        ASSERT_TRUE(SaveCharacterizationBinary(out, file, QString(), order, true, &message));
        EXPECT_TRUE(message.isEmpty());
        EXPECT_EQ(ReadFile(file), Stream(out, order, true));

        XmlSettingsStore companion(CompanionPathFor(file));
        std::vector<QString> names;
        companion.GetList("bone_correspondance", names);
        EXPECT_EQ(names, out.GetNodeNames());

        std::unique_ptr<Characterization> back = LoadCharacterizationBinary(file, QString(), &message);
        ASSERT_TRUE(back);
        EXPECT_TRUE(message.isEmpty()) << message.toStdString();
        EXPECT_EQ(back->GetName(), order ? "big" : "little");
        EXPECT_EQ(back->GetNodeNames(), out.GetNodeNames());
        ExpectSameStreamContent(*back, out);
    }
    // The 8-bit forms take Latin-1 text, the way the panel hands file names over.
    const QString latin = Path(QString::fromUtf8("h\xC3\xA9ros.vlmc"));
    ASSERT_TRUE(SaveCharacterizationBinary(out, latin.toLatin1().constData(), nullptr, 0, true));
    EXPECT_TRUE(QFileInfo::exists(latin));
    std::unique_ptr<Characterization> back = LoadCharacterizationBinary(latin.toLatin1().constData(), nullptr);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetName(), QString::fromUtf8("h\xC3\xA9ros"));
}

TEST_F(CharacterizationFilesTest, TakesWithTwoDotsKeepTheirOwnJointNames)
{
    Characterization take1 = MakeCharacterization();
    Characterization take2 = MakeCharacterization();
    take2.SetNodeName(1, QStringLiteral("second_take_hips"));
    ASSERT_TRUE(SaveCharacterizationBinary(take1, Path("hero.take1.vlmc"), QString(), 0, true));
    ASSERT_TRUE(SaveCharacterizationBinary(take2, Path("hero.take2.vlmc"), QString(), 1, true));
    EXPECT_TRUE(QFileInfo::exists(Path("hero.take1.bones.xml")));
    EXPECT_TRUE(QFileInfo::exists(Path("hero.take2.bones.xml")));
    EXPECT_FALSE(QFileInfo::exists(Path("hero.bones.xml")));

    std::unique_ptr<Characterization> back1 = LoadCharacterizationBinary(Path("hero.take1.vlmc"), QString());
    std::unique_ptr<Characterization> back2 = LoadCharacterizationBinary(Path("hero.take2.vlmc"), QString());
    ASSERT_TRUE(back1 && back2);
    EXPECT_EQ(back1->GetName(), "hero");
    EXPECT_EQ(back2->GetName(), "hero");
    EXPECT_EQ(back1->GetNodeNames(), take1.GetNodeNames());
    EXPECT_EQ(back2->GetNodeNames(), take2.GetNodeNames());
}

TEST_F(CharacterizationFilesTest, CompanionOfAnEarlierSaveIsFoundByItsFirstDotName)
{
    Characterization out = MakeCharacterization();
    // An earlier save of "hero.old.vlmc" put its names in "hero.bones.xml".
    ASSERT_TRUE(SaveCharacterizationBinary(out, Path("hero.old.vlmc"), Path("hero.bones.xml"), 0, false));
    EXPECT_EQ(FindCompanionPath(Path("hero.old.vlmc")), Path("hero.bones.xml"));
    std::unique_ptr<Characterization> back = LoadCharacterizationBinary(Path("hero.old.vlmc"), QString());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetNodeNames(), out.GetNodeNames());

    // A companion under the file's own name comes first.
    Characterization other = MakeCharacterization();
    other.SetNodeName(2, QStringLiteral("own"));
    XmlSettingsStore(Path("hero.old.bones.xml")).SetList("bone_correspondance", other.GetNodeNames());
    back = LoadCharacterizationBinary(Path("hero.old.vlmc"), QString());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetNodeName(2), "own");

    // A companion chosen by the caller is the only one read; a missing one
    // gives no names, and the load says so.
    QString message;
    back = LoadCharacterizationBinary(Path("hero.old.vlmc"), Path("elsewhere.bones.xml"), &message);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->GetNodeName(1).isEmpty());
    EXPECT_TRUE(back->IsNodeAssigned(1));
    EXPECT_TRUE(message.contains("elsewhere.bones.xml"));
}

TEST_F(CharacterizationFilesTest, CompanionWithAMisfitListGivesNoNames)
{
    Characterization out = MakeCharacterization();
    ASSERT_TRUE(SaveCharacterizationBinary(out, Path("hero.vlmc"), QString(), 0, true));
    std::vector<QString> names = out.GetNodeNames();
    names.pop_back();
    XmlSettingsStore(Path("hero.bones.xml")).SetList("bone_correspondance", names);
    QString message;
    std::unique_ptr<Characterization> back = LoadCharacterizationBinary(Path("hero.vlmc"), QString(), &message);
    ASSERT_TRUE(back);
    EXPECT_TRUE(message.contains("171")) << message.toStdString();
    for (int node = 0; node < VLM_NODE_COUNT; ++node)
        ASSERT_TRUE(back->GetNodeName(node).isEmpty());
    ExpectSameStreamContent(*back, out);
}

TEST_F(CharacterizationFilesTest, FailedWritesLeaveEveryFileAsItWas)
{
    Characterization out = MakeCharacterization();
    ASSERT_TRUE(SaveCharacterizationBinary(out, Path("good.vlmc"), QString(), 0, true));
    const QByteArray goodStream = ReadFile(Path("good.vlmc"));
    const QByteArray goodCompanion = ReadFile(Path("good.bones.xml"));
    const QStringList before = Entries();

    Characterization changed = MakeCharacterization(99);
    changed.SetNodeName(1, QStringLiteral("changed"));
    QString message;

    // A stream that cannot be written (its path is a folder): the good
    // companion named for it is not touched.
    QDir(dir_.path()).mkdir("blocked.vlmc");
    EXPECT_FALSE(SaveCharacterizationBinary(changed, Path("blocked.vlmc"), Path("good.bones.xml"), 0, true,
                                            &message));
    EXPECT_TRUE(message.contains("blocked.vlmc")) << message.toStdString();
    EXPECT_EQ(ReadFile(Path("good.bones.xml")), goodCompanion);

    // An unwritable folder: nothing is created.
    WriteFile(Path("plain_file"), "x");
    message.clear();
    EXPECT_FALSE(SaveCharacterizationBinary(changed, Path("plain_file/hero.vlmc"), QString(), 0, true, &message));
    EXPECT_FALSE(message.isEmpty());

    // A companion that cannot be written is reported, the stream stays written.
    QDir(dir_.path()).mkdir("names.bones.xml");
    message.clear();
    EXPECT_FALSE(SaveCharacterizationBinary(changed, Path("names.vlmc"), QString(), 0, true, &message));
    EXPECT_TRUE(message.contains("names.bones.xml")) << message.toStdString();
    EXPECT_EQ(ReadFile(Path("names.vlmc")), Stream(changed, 0, true));

    EXPECT_EQ(ReadFile(Path("good.vlmc")), goodStream);
    const QStringList added = {"blocked.vlmc", "names.bones.xml", "names.vlmc", "plain_file"};
    QStringList expected = before + added;
    expected.sort();
    EXPECT_EQ(Entries(), expected)
        << "no temporary or half-written file is left";
}

TEST_F(CharacterizationFilesTest, DamagedBinaryFilesAreRejected)
{
    Characterization out = MakeCharacterization();
    const QByteArray good = Stream(out, kStreamBigEndian, true);
    QByteArray wrongMagic = good;
    wrongMagic[0] = 0x25;
    QByteArray wrongVersion = good;
    wrongVersion[7] = 2;
    const std::pair<const char*, QByteArray> files[] = {
        {"empty.vlmc", QByteArray()},
        {"truncated.vlmc", good.left(good.size() - 1)},
        {"header.vlmc", good.left(8)},
        {"garbage.vlmc", QByteArray(5000, '\x5a')},
        {"magic.vlmc", wrongMagic},
        {"version.vlmc", wrongVersion},
        {"text.vlmc", QByteArray("<config_root/>")},
    };
    for (const auto& file : files) {
        WriteFile(Path(file.first), file.second);
        QString message;
        EXPECT_FALSE(LoadCharacterizationBinary(Path(file.first), QString(), &message)) << file.first;
        EXPECT_TRUE(message.contains(file.first)) << message.toStdString();
    }
    QString message;
    EXPECT_FALSE(LoadCharacterizationBinary(Path("missing.vlmc"), QString(), &message));
    EXPECT_FALSE(message.isEmpty());
    EXPECT_FALSE(LoadCharacterizationBinary(dir_.path(), QString()));

    // Bytes after the stream are ignored.
    WriteFile(Path("longer.vlmc"), good + QByteArray(300, '\x01'));
    EXPECT_TRUE(LoadCharacterizationBinary(Path("longer.vlmc"), QString()));
}

// --- The XML characterization file ---------------------------------------------------

namespace {

QDomElement JointsItem(const QString& path, const char* node, int item)
{
    QFile file(path);
    QDomDocument doc;
    if (!file.open(QIODevice::ReadOnly) || !doc.setContent(&file))
        return QDomElement();
    QDomElement e = doc.documentElement().firstChildElement("joints").firstChildElement(node).firstChildElement();
    for (int i = 0; i < item && !e.isNull(); ++i)
        e = e.nextSiblingElement();
    return e;
}

int JointsItemCount(const QString& path, const char* node)
{
    int n = 0;
    while (!JointsItem(path, node, n).isNull())
        ++n;
    return n;
}

} // namespace

TEST_F(CharacterizationFilesTest, NumberTexts)
{
    EXPECT_EQ(FloatToText(0.0000005f), "0");
    EXPECT_EQ(FloatToText(-0.0f), "0");
    EXPECT_EQ(FloatToText(1e-6f), "1e-06");
    EXPECT_EQ(FloatToText(2.5f), "2.5");
    EXPECT_EQ(FloatToText(100000.f), "100000");
    EXPECT_EQ(FloatToText(1234567.f), "1234567");
    EXPECT_EQ(FloatToText(-0.25f), "-0.25");
    EXPECT_EQ(FloatToText(0.1f), "0.1");
    EXPECT_EQ(FloatToText(3.14159265f), "3.1415927");
    EXPECT_EQ(FloatToText(1e20f), "1e+20");
    // Every float that is not near zero reads back exactly.
    std::mt19937 rng(5);
    for (int i = 0; i < 20000; ++i) {
        std::uint32_t bits = std::uint32_t(rng());
        float f;
        std::memcpy(&f, &bits, sizeof f);
        if (std::isnan(f) || std::fabs(f) < 1e-6f)
            continue;
        bool ok = false;
        ASSERT_EQ(FloatToText(f).toFloat(&ok), f) << FloatToText(f).toStdString();
        ASSERT_TRUE(ok);
    }
}

TEST_F(CharacterizationFilesTest, XmlFileRoundTripsExactlyWithLimits)
{
    Characterization out = MakeCharacterization();
    const QString path = Path("hero.xml");
    QString message = QStringLiteral("stale");
    ASSERT_TRUE(SaveCharacterizationXml(out, path, true, &message));
    EXPECT_TRUE(message.isEmpty());

    XmlSettingsStore store(path);
    std::vector<QString> used;
    store.GetList("bone_used", used);
    ASSERT_EQ(used.size(), 172u);
    EXPECT_EQ(used[0], "7");
    EXPECT_EQ(JointsItem(path, "Hips", 0).attribute("value").split(' ')[1], "1234567");
    EXPECT_EQ(JointsItemCount(path, "Reference"), 11);
    EXPECT_EQ(JointsItemCount(path, "LeftUpLeg"), 6);  // its record has no limits

    std::unique_ptr<Characterization> back = LoadCharacterizationXml(path, &message);
    ASSERT_TRUE(back);
    EXPECT_TRUE(message.isEmpty());
    EXPECT_EQ(back->GetName(), "Hero");
    EXPECT_EQ(back->GetHub(), nullptr);
    EXPECT_EQ(back->GetNodeNames(), out.GetNodeNames());
    EXPECT_EQ(std::memcmp(&back->GetNodeFlags(), &out.GetNodeFlags(), sizeof(VLMCharacterDefinition)), 0);
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        const VLMJointGeometry& a = back->JointGeometryAt(node);
        const VLMJointGeometry& b = out.JointGeometryAt(node);
        ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "node " << node << " comes back bit for bit";
    }
}

TEST_F(CharacterizationFilesTest, XmlFileWithoutLimits)
{
    Characterization out = MakeCharacterization();
    const QString path = Path("hero.xml");
    ASSERT_TRUE(SaveCharacterizationXml(out, path, false));
    XmlSettingsStore store(path);
    std::vector<QString> used;
    store.GetList("bone_used", used);
    for (int node = 0; node < VLM_NODE_COUNT; ++node)
        ASSERT_EQ(used[node], out.IsNodeAssigned(node) ? "1" : "0");
    EXPECT_EQ(JointsItemCount(path, "Reference"), 6);
    EXPECT_EQ(JointsItem(path, "Reference", 3).attribute("value"), "0 0 0");

    std::unique_ptr<Characterization> back = LoadCharacterizationXml(path);
    ASSERT_TRUE(back);
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        EXPECT_EQ(back->GetNodeFlags().words[node], out.IsNodeAssigned(node) ? 1u : 0u);
        if (!out.IsNodeAssigned(node))
            continue;
        const VLMJointGeometry& a = back->JointGeometryAt(node);
        const VLMJointGeometry& b = out.JointGeometryAt(node);
        EXPECT_EQ(std::memcmp(&a, &b, offsetof(VLMJointGeometry, preRotQ)), 0) << node;
        EXPECT_EQ(VLMJointGeometryGetLimitEnableMask(&a), 0u);
    }
}

TEST_F(CharacterizationFilesTest, XmlLimitMaskOfNineRoundTrips)
{
    Characterization out(QStringLiteral("Nine"), nullptr);
    out.SetNodeName(1, QStringLiteral("hips"));
    VLMJointGeometry g;
    VLMJointGeometryInit(&g);
    VLMJointGeometrySetTranslate(&g, 0.0000005f, 1.f, 2.5f);
    VLMJointGeometrySetScale(&g, 100000.f, 1234567.f, -0.25f);
    VLMJointGeometrySetLimitEnableMask(&g, 9);
    out.SetJointGeometry(1, g);
    const QString path = Path("nine.xml");
    ASSERT_TRUE(SaveCharacterizationXml(out, path, true));
    EXPECT_EQ(JointsItemCount(path, "Hips"), 11);
    EXPECT_EQ(JointsItem(path, "Hips", 0).attribute("value"), "0 1 2.5");
    EXPECT_EQ(JointsItem(path, "Hips", 2).attribute("value"), "100000 1234567 -0.25");
    EXPECT_EQ(JointsItem(path, "Hips", 3).attribute("value"), "1 0 0");
    EXPECT_EQ(JointsItem(path, "Hips", 4).attribute("value"), "1 0 0");
    EXPECT_EQ(JointsItem(path, "Hips", 10).attribute("key"), "RotationOrder");

    std::unique_ptr<Characterization> back = LoadCharacterizationXml(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(VLMJointGeometryGetLimitEnableMask(&back->JointGeometryAt(1)), 9u);
    EXPECT_EQ(back->GetNodeFlags().words[1], 7u);
    EXPECT_EQ(back->JointGeometryAt(1).translate[0], 0.f);
}

TEST_F(CharacterizationFilesTest, SavingOverAnXmlFileStartsAfresh)
{
    const QString path = Path("hero.xml");
    Characterization before = MakeCharacterization();
    ASSERT_TRUE(SaveCharacterizationXml(before, path, true));
    Characterization after = MakeCharacterization();
    after.ClearNode(2);
    ASSERT_TRUE(SaveCharacterizationXml(after, path, true));
    EXPECT_EQ(JointsItemCount(path, "Hips"), 11);
    EXPECT_EQ(JointsItemCount(path, "LeftUpLeg"), 0) << "no entry of the unassigned node is left";

    // A damaged file at the path is replaced as well.
    WriteFile(path, "<config_root><name value=");
    ASSERT_TRUE(SaveCharacterizationXml(after, path, true));
    EXPECT_TRUE(LoadCharacterizationXml(path));

    QDir(dir_.path()).mkdir("folder.xml");
    QString message;
    EXPECT_FALSE(SaveCharacterizationXml(after, Path("folder.xml"), true, &message));
    EXPECT_TRUE(message.contains("folder.xml"));
}

TEST_F(CharacterizationFilesTest, MalformedXmlFilesAreRejected)
{
    Characterization out = MakeCharacterization();
    const QString good = Path("good.xml");
    ASSERT_TRUE(SaveCharacterizationXml(out, good, true));
    const QByteArray text = ReadFile(good);

    // Each damage is applied to the good file; every one must be refused.
    using Edit = std::function<void(QDomElement root)>;
    const auto hips = [](QDomElement root) { return root.firstChildElement("joints").firstChildElement("Hips"); };
    const auto item = [&](QDomElement root, int n) {
        QDomElement e = hips(root).firstChildElement();
        while (n-- > 0)
            e = e.nextSiblingElement();
        return e;
    };
    const std::vector<std::pair<const char*, Edit>> edits = {
        {"no names", [](QDomElement root) { root.removeChild(root.firstChildElement("bone_correspondance")); }},
        {"171 names",
         [](QDomElement root) {
             QDomElement names = root.firstChildElement("bone_correspondance");
             names.removeChild(names.lastChildElement());
         }},
        {"173 names",
         [](QDomElement root) {
             root.firstChildElement("bone_correspondance").appendChild(root.ownerDocument().createElement("item"));
         }},
        {"geometry of a node missing", [&](QDomElement root) { hips(root).setTagName("Hipster"); }},
        {"too few numbers", [&](QDomElement root) { item(root, 0).setAttribute("value", "1 2"); }},
        {"too few flags", [&](QDomElement root) { item(root, 4).setAttribute("value", "1"); }},
        {"rotation order 13", [&](QDomElement root) { item(root, 10).setAttribute("value", "13"); }},
        {"rotation order -1", [&](QDomElement root) { item(root, 10).setAttribute("value", "-1"); }},
        {"an item missing", [&](QDomElement root) { hips(root).removeChild(item(root, 9)); }},
        {"limits without their items",
         [&](QDomElement root) {
             for (int n = 5; n < 10; ++n)
                 hips(root).removeChild(item(root, 5));
         }},
    };
    for (const auto& edit : edits) {
        QDomDocument doc;
        ASSERT_TRUE(doc.setContent(text));
        edit.second(doc.documentElement());
        const QString path = Path("bad.xml");
        WriteFile(path, doc.toByteArray());
        QString message;
        EXPECT_FALSE(LoadCharacterizationXml(path, &message)) << edit.first;
        EXPECT_FALSE(message.isEmpty()) << edit.first;
    }
    testing::internal::CaptureStdout();
    for (const QByteArray& bad : {text.left(text.size() / 2), QByteArray("not xml"), QByteArray("<config_root/>")}) {
        WriteFile(Path("bad.xml"), bad);
        EXPECT_FALSE(LoadCharacterizationXml(Path("bad.xml"))) << bad.left(40).constData();
    }
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Error in parsing"), std::string::npos);
    EXPECT_FALSE(LoadCharacterizationXml(Path("missing.xml")));

    // A value that is not a number reads as 0, and items go by position.
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(text));
    item(doc.documentElement(), 0).setAttribute("value", "x 1 abc");
    item(doc.documentElement(), 0).setAttribute("key", "Whatever");
    WriteFile(Path("words.xml"), doc.toByteArray());
    std::unique_ptr<Characterization> back = LoadCharacterizationXml(Path("words.xml"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->JointGeometryAt(1).translate[0], 0.f);
    EXPECT_EQ(back->JointGeometryAt(1).translate[1], 1.f);
    EXPECT_EQ(back->JointGeometryAt(1).translate[2], 0.f);
}

// --- Random damage -------------------------------------------------------------------

// Bit flips, cuts and changed lengths of a valid ".vlmc" and of a valid XML
// file: each loads or fails, never more; the sanitizer build checks every
// access.
TEST_F(CharacterizationFilesTest, MutatedFilesLoadOrFailCleanly)
{
    Characterization out = MakeCharacterization();
    ASSERT_TRUE(SaveCharacterizationBinary(out, Path("seed.vlmc"), QString(), 1, true));
    ASSERT_TRUE(SaveCharacterizationXml(out, Path("seed.xml"), true));
    const QByteArray stream = ReadFile(Path("seed.vlmc"));
    const QByteArray xml = ReadFile(Path("seed.xml"));
    const QString companion = Path("seed.bones.xml");
    const QByteArray names = ReadFile(companion);

    std::mt19937 rng(11);
    const auto mutate = [&](QByteArray bytes, bool text) {
        switch (rng() % 4) {
        case 0:
            for (int n = 1 + int(rng() % 8); n > 0; --n)
                bytes.data()[rng() % unsigned(bytes.size())] ^= char(1u << (rng() % 8));
            break;
        case 1:
            bytes.truncate(int(rng() % unsigned(bytes.size())));
            break;
        case 2: {
            const int at = int(rng() % unsigned(bytes.size()));
            bytes.remove(at, 1 + int(rng() % 64));
            break;
        }
        default: {
            const int at = int(rng() % unsigned(bytes.size() + 1));
            QByteArray extra;
            for (int n = 1 + int(rng() % 64); n > 0; --n)
                extra += text ? "<>\"= /1-e.9"[rng() % 11] : char(rng());
            bytes.insert(at, extra);
            break;
        }
        }
        return bytes;
    };

    int binaryLoaded = 0;
    int xmlLoaded = 0;
    const int rounds = 1500;
    testing::internal::CaptureStdout();  // the parse errors of damaged XML
    for (int round = 0; round < rounds; ++round) {
        WriteFile(Path("m.vlmc"), mutate(stream, false));
        WriteFile(companion, round % 2 ? mutate(names, true) : names);
        std::unique_ptr<Characterization> c = LoadCharacterizationBinary(Path("m.vlmc"), companion);
        if (c) {
            ++binaryLoaded;
            const std::size_t count = c->GetNodeNames().size();
            ASSERT_EQ(count, 172u);
        }
        WriteFile(Path("m.xml"), mutate(xml, true));
        c = LoadCharacterizationXml(Path("m.xml"));
        if (c) {
            ++xmlLoaded;
            for (int node = 0; node < VLM_NODE_COUNT; ++node)
                ASSERT_LE(unsigned(VLMJointGeometryGetRotationOrder(&c->JointGeometryAt(node))), 12u);
        }
    }
    testing::internal::GetCapturedStdout();
    EXPECT_GT(binaryLoaded, rounds / 20);
    EXPECT_LT(binaryLoaded, rounds);
    EXPECT_GT(xmlLoaded, rounds / 20);
    EXPECT_LT(xmlLoaded, rounds);
}
