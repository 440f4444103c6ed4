#include "rig/vlm_character.h"

#include "model/binary_save_plan.h"
#include "model/characterization.h"
#include "model/characterization_files.h"
#include "model/mapping_template.h"
#include "model/xml_document.h"
#include "model/xml_settings_store.h"

#include "test_support_fs.h"

#include <QDomDocument>
#include <QRegExp>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <iostream>
#include <random>
#include <set>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

void RandomQuaternion(std::mt19937& rng, float q[4])
{
    std::normal_distribution<float> n;
    for (int i = 0; i < 4; ++i)
        q[i] = n(rng);
    const float len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    for (int i = 0; i < 4; ++i)
        q[i] /= len;
}

// The body chain and a few fingers; two nodes in three with rotation limits,
// every rotation order, floats using all their digits, 1234567 in the hips,
// two inverted limbs and joint names with markup characters.
Characterization MakeCharacterization(unsigned seed = 7)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> spread(-50.f, 50.f);
    Characterization c(QStringLiteral("Hero"), nullptr);
    for (int node = 0, k = 0; node < VLM_NODE_COUNT; ++node) {
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
            RandomQuaternion(rng, g.preRotQ);
            RandomQuaternion(rng, g.postRotQ);
            RandomQuaternion(rng, g.parentOffsetRotateQ);
            VLMJointGeometrySetMinRLimit(&g, -spread(rng), -45.f, -3.1415927f);
            VLMJointGeometrySetMaxRLimit(&g, spread(rng), 45.5f, 100000.f);
            VLMJointGeometrySetLimitEnableMask(&g, 1u + std::uint32_t(node) % 63u);
            VLMJointGeometrySetRotationOrder(&g, VLMRotationOrder(node % VLM_ROTATION_ORDER_COUNT));
        }
        c.SetJointGeometry(node, g);
    }
    VLMBoneInversionSetRightLeg(&c.GetBoneInversion(), 1);
    VLMBoneInversionSetLeftForeArm(&c.GetBoneInversion(), 1);
    return c;
}

// What a stream carries: the words, the inversion flags, the rest pose of every
// used node, and the rotation definition and parent offset of the nodes with a
// full rotation definition. The library keeps pre- and post-rotations
// normalised, so those come back within rounding.
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

bool HasNoNames(const Characterization& c)
{
    const std::vector<QString> names = c.GetNodeNames();
    return std::all_of(names.begin(), names.end(), [](const QString& n) { return n.isEmpty(); });
}

class CharacterizationFilesTest : public testing::Test {
protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }

    static QByteArray Stream(Characterization& c, unsigned char order, bool limits)
    {
        char* data = nullptr;
        std::size_t size = 0;
        EXPECT_TRUE(CharacterizationToStream(c, order, limits, data, size));
        QByteArray bytes(data, int(size));
        std::free(data);
        return bytes;
    }

    // The "value" texts of one node's items under "joints".
    static QStringList Items(const QString& path, const char* node)
    {
        QDomDocument doc;
        doc.setContent(ReadFile(path));
        QStringList values;
        QDomElement e = doc.documentElement().firstChildElement("joints").firstChildElement(node);
        for (e = e.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
            values << e.attribute("value");
        return values;
    }

    Characterization out_ = MakeCharacterization();
    QTemporaryDir dir_;
};

}  // namespace

TEST_F(CharacterizationFilesTest, StreamPairRoundTripsInBothByteOrders)
{
    const QByteArray little = Stream(out_, kStreamLittleEndian, true);
    const QByteArray big = Stream(out_, kStreamBigEndian, true);
    EXPECT_EQ(little.left(4) + big.left(4), QByteArray("\x89\x27\x02\x24\x24\x02\x27\x89", 8));

    for (const QByteArray& stream : {little, big}) {
        QString message = QStringLiteral("stale");
        std::unique_ptr<Characterization> back =
            CharacterizationFromStream(stream.constData(), std::size_t(stream.size()), out_.GetNodeNames(), &message);
        ASSERT_TRUE(back);
        EXPECT_TRUE(message.isEmpty());
        EXPECT_EQ(back->GetName(), "New Characterization");
        EXPECT_EQ(back->GetHub(), nullptr);
        EXPECT_EQ(back->GetNodeNames(), out_.GetNodeNames());
        ExpectSameStreamContent(*back, out_);
    }

    // Without limits only the used bits travel.
    const QByteArray plain = Stream(out_, kStreamLittleEndian, false);
    std::unique_ptr<Characterization> back =
        CharacterizationFromStream(plain.constData(), std::size_t(plain.size()), {});
    ASSERT_TRUE(back);
    EXPECT_TRUE(HasNoNames(*back));
    for (int node = 0; node < VLM_NODE_COUNT; ++node)
        EXPECT_EQ(back->GetNodeFlags().words[node], out_.IsNodeAssigned(node) ? 1u : 0u) << node;
}

TEST_F(CharacterizationFilesTest, UnreadableStreamsAndMisfitNameListsAreReported)
{
    const QByteArray stream = Stream(out_, kStreamBigEndian, true);
    QString message;
    EXPECT_FALSE(CharacterizationFromStream(nullptr, 712, {}, &message));
    EXPECT_FALSE(message.isEmpty());
    EXPECT_FALSE(CharacterizationFromStream(stream.constData(), std::size_t(stream.size() - 1), {}));
    EXPECT_FALSE(CharacterizationFromStream("garbage", 7, {}));

    // A name list of any other length than 0 or 172 gives no names.
    for (std::size_t count : {1, 171, 173}) {
        std::unique_ptr<Characterization> back = CharacterizationFromStream(
            stream.constData(), std::size_t(stream.size()), std::vector<QString>(count, "joint"), &message);
        ASSERT_TRUE(back) << count;
        EXPECT_TRUE(message.contains(QString::number(count))) << message.toStdString();
        EXPECT_TRUE(HasNoNames(*back));
        ExpectSameStreamContent(*back, out_);
    }
}

TEST_F(CharacterizationFilesTest, BinaryFilesRoundTripWithTheirOwnCompanion)
{
    EXPECT_EQ(CompanionPathFor("/d/hero.take2.VLMC"), "/d/hero.take2.bones.xml");
    EXPECT_EQ(CompanionPathFor("/d/hero.old"), "/d/hero.old.bones.xml");
    EXPECT_EQ(LegacyCompanionPathFor("/d/hero.take2.vlmc"), "/d/hero.bones.xml");

    // Two takes of one name, in the two byte orders, keep their own joint names.
    Characterization take2 = MakeCharacterization();
    take2.SetNodeName(1, QStringLiteral("second_take_hips"));
    QString message = QStringLiteral("stale");
    ASSERT_TRUE(SaveCharacterizationBinary(out_, Path("hero.take1.vlmc"), QString(), 0, true, &message));
    EXPECT_TRUE(message.isEmpty());
    ASSERT_TRUE(SaveCharacterizationBinary(take2, Path("hero.take2.vlmc"), QString(), 1, true));
    EXPECT_EQ(ReadFile(Path("hero.take2.vlmc")), Stream(take2, 1, true));
    EXPECT_FALSE(QFileInfo::exists(Path("hero.bones.xml")));
    for (Characterization* saved : {&out_, &take2}) {
        const QString file = Path(saved == &out_ ? "hero.take1.vlmc" : "hero.take2.vlmc");
        std::unique_ptr<Characterization> back = LoadCharacterizationBinary(file, QString(), &message);
        ASSERT_TRUE(back);
        EXPECT_TRUE(message.isEmpty()) << message.toStdString();
        EXPECT_EQ(back->GetName(), "hero");  // up to the first dot
        EXPECT_EQ(back->GetNodeNames(), saved->GetNodeNames());
        ExpectSameStreamContent(*back, *saved);
    }

    // A file saved before keeps its names under the first-dot name; a companion
    // under the file's own name comes first.
    ASSERT_TRUE(SaveCharacterizationBinary(take2, Path("hero.old.vlmc"), Path("hero.bones.xml"), 0, false));
    EXPECT_EQ(LoadCharacterizationBinary(Path("hero.old.vlmc"), QString())->GetNodeNames(), take2.GetNodeNames());
    QFile::copy(Path("hero.take1.bones.xml"), Path("hero.old.bones.xml"));
    EXPECT_EQ(LoadCharacterizationBinary(Path("hero.old.vlmc"), QString())->GetNodeNames(), out_.GetNodeNames());

    // A companion chosen by the caller is the only one read. A missing one, or
    // one whose list does not fit the rig, gives no names and says so.
    std::vector<QString> names = out_.GetNodeNames();
    names.pop_back();
    XmlSettingsStore(Path("short.bones.xml")).SetList("bone_correspondance", names);
    for (const char* companion : {"elsewhere.bones.xml", "short.bones.xml"}) {
        std::unique_ptr<Characterization> back =
            LoadCharacterizationBinary(Path("hero.old.vlmc"), Path(companion), &message);
        ASSERT_TRUE(back);
        EXPECT_TRUE(HasNoNames(*back));
        EXPECT_TRUE(back->IsNodeAssigned(1));
        EXPECT_TRUE(message.contains(companion)) << message.toStdString();
    }

    // The 8-bit forms read Latin-1, the way the panel hands file names over.
    const QByteArray latin = Path(QString::fromUtf8("h\xC3\xA9ros.vlmc")).toLatin1();
    ASSERT_TRUE(SaveCharacterizationBinary(out_, latin.constData(), nullptr, 0, true));
    std::unique_ptr<Characterization> back = LoadCharacterizationBinary(latin.constData(), nullptr);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetName(), QString::fromUtf8("h\xC3\xA9ros"));
    EXPECT_EQ(back->GetNodeNames(), out_.GetNodeNames());
}

// A companion or a stream that cannot be read says why, and a companion
// that does not fit its stream says how many used nodes it leaves unnamed.
TEST_F(CharacterizationFilesTest, UnreadableFilesAndMisfitCompanionsSayWhy)
{
    ASSERT_TRUE(SaveCharacterizationBinary(out_, Path("hero.vlmc"), QString(), 1, true));
    const QString companion = Path("hero.bones.xml");
    const QByteArray names = ReadFile(companion);
    int used = 0;
    for (int node = 0; node < VLM_NODE_COUNT; ++node)
        used += out_.IsNodeAssigned(node);
    std::vector<QString> first(VLM_NODE_COUNT);
    for (int node = 0; node < 10; ++node)
        first[std::size_t(node)] = out_.GetNodeName(node);
    std::vector<QString> allButOne = out_.GetNodeNames();
    allButOne[3].clear();
    const QString lead = "No joint names were loaded: hero.bones.xml ";
    const QString bad = "hero.bones.xml holds %1 not valid UTF-8, %2 line 6, column 33; %3 read as U+FFFD.";
    const auto edited = [&](const QByteArray& bytes) {
        return [&, bytes] { WriteFile(companion, QByteArray(names).replace("rig:joint_3 ", "rig:joint_3" + bytes)); };
    };
    // Written as UTF-16 with its mark, a lone surrogate in name 3.
    QString wide = QString::fromUtf8(names).replace("rig:joint_3 ", "rig:joint_3" + QString(QChar(0xD800)));
    const QByteArray utf16 = "\xFF\xFE" + QByteArray(reinterpret_cast<const char*>(wide.utf16()), wide.size() * 2);
    // The companion in 16- or 32-bit units, either order, and a declaration.
    const auto units = [](const QString& text, int unit, bool bigEndian) {
        QByteArray bytes;
        const auto put = [&](uint code) {
            for (int k = 0; k < unit; ++k)
                bytes.append(char(code >> (8 * (bigEndian ? unit - 1 - k : k))));
        };
        for (const uint code : unit == 2 ? QVector<uint>(text.utf16(), text.utf16() + text.size()) : text.toUcs4())
            put(code);
        return bytes;
    };
    const auto declared = [&](const char* encoding) {
        return QString("<?xml version=\"1.0\" encoding=\"%1\"?>\n").arg(encoding) + QString::fromUtf8(names);
    };
    const QString one =
        "hero.bones.xml holds bytes that are not valid %1, at line 7, column %2; they are read as U+FFFD.";
    const QString runs = "hero.bones.xml holds %1 runs of bytes that are not valid %2, the first at line 7, column 33; "
                         "each is read as U+FFFD.";
    const auto misdeclared = [&](const char* encoding) {
        return [&, encoding] {
            WriteFile(companion, declared(encoding).replace("rig:joint_3 ", "rig:joint_3č不").toUtf8());
        };
    };
    const QString mark(QChar(0xFEFF)), third = out_.GetNodeName(3);
    const QString replacement = "rig:joint_3" + QString(QChar(QChar::ReplacementCharacter));
    const QString windows = QString::fromUtf8(names).replace("\n", "\r\n").replace("rig:joint_3 ", "rig:joint_3č不");
    std::unique_ptr<FifoWatch> pipe;  // plays the writer, should the loader open it
    const struct {
        const char* what;
        std::function<void()> make;
        QString message;            // a message ending in "at line" is matched up to there
        int named;                  // the used nodes that get their name
        QString third = QString();  // where given, the name of node 3
    } cases[] = {
        {"a folder", [&] { QDir(dir_.path()).mkdir("hero.bones.xml"); }, lead + "is a folder, not a file.", 0},
        {"too large", [&] { WriteFile(companion, names + QByteArray(5 * 1024 * 1024 - names.size(), ' ')); },
         lead + "is too large to be read (5.0 MB; the limit is 4 MB).", 0},
        {"truncated", [&] { WriteFile(companion, names.left(names.size() / 2)); }, lead + "is damaged at line", 0},
        {"cut in its first tag", [&] { WriteFile(companion, "<config_root"); },
         lead + "is damaged at line 1, column 12: Premature end of document.", 0},
        {"a forbidden reference", edited("&#xFFFE;"),
         lead + "is damaged at line 6, column 40: Invalid character reference.", 0},
        {"an escape byte", edited("\x1B"),
         lead + "is damaged at line 6, column 33: a character an XML file cannot hold (U+001B).", 0},
        {"a byte in a tag",
         [&] {
             WriteFile(companion,
                       QByteArray(names).replace("<item value=\"rig:joint_3", "<item valu\xE9=\"rig:joint_3"));
         },
         lead + "is damaged at line 6, column 19: a byte that is not valid UTF-8 in a tag.", 0},
        {"a lone surrogate in UTF-16", [&] { WriteFile(companion, utf16); },
         lead + "is damaged at line 6, column 33: a character an XML file cannot hold (U+D800).", 0},
        {"Latin-1", edited("\xE9"), bad.arg("a byte that is", "at", "it is"), used},
        {"FF FE", edited("\xFF\xFE"), bad.arg("2 bytes that are", "the first at", "they are"), used},
        {"overlong", edited("\xC0\xAF"), bad.arg("2 bytes that are", "the first at", "they are"), used},
        {"a surrogate", edited("\xED\xA0\x80"), bad.arg("3 bytes that are", "the first at", "they are"), used},
        {"version 1.1", [&] { WriteFile(companion, "<?xml version=\"1.1\"?>" + names); }, "", used},
        {"names for nodes 0 to 9", [&] { XmlSettingsStore(companion).SetList("bone_correspondance", first); },
         QString("%1 of the %2 nodes of hero.vlmc have no joint name in hero.bones.xml.").arg(used - 10).arg(used), 10},
        {"one name missing", [&] { XmlSettingsStore(companion).SetList("bone_correspondance", allButOne); },
         QString("1 of the %1 nodes of hero.vlmc has no joint name in hero.bones.xml.").arg(used), used - 1},
        // Every encoding found as XML finds it, and the bytes as they are (a 0x0D is half of č or 不).
        {"UTF-16LE, no mark, declared UTF-16", [&] { WriteFile(companion, units(declared("UTF-16"), 2, false)); }, "",
         used, third},
        {"UTF-16LE, no mark, declared UTF-16LE", [&] { WriteFile(companion, units(declared("UTF-16LE"), 2, false)); },
         "", used, third},
        {"UTF-16LE, no mark or declaration", [&] { WriteFile(companion, units(QString::fromUtf8(names), 2, false)); },
         "", used, third},
        {"UTF-16BE, no mark", [&] { WriteFile(companion, units(declared("UTF-16BE"), 2, true)); }, "", used, third},
        {"UTF-32LE with its mark", [&] { WriteFile(companion, units(mark + QString::fromUtf8(names), 4, false)); }, "",
         used, third},
        {"UTF-16LE, CRLF, č and 不", [&] { WriteFile(companion, units(mark + windows, 2, false)); }, "", used,
         QString(third).replace("rig:joint_3 ", "rig:joint_3č不")},
        // A U+FFFD the file really holds is a character like any other, with or without a mark.
        {"UTF-16LE with its mark, holding U+FFFD",
         [&] { WriteFile(companion, units(mark + QString::fromUtf8(names).replace("rig:joint_3 ", replacement), 2, false)); },
         "", used, QString(third).replace("rig:joint_3 ", replacement)},
        {"UTF-32BE, no mark, holding U+FFFD",
         [&] { WriteFile(companion, units(declared("UTF-32BE").replace("rig:joint_3 ", replacement), 4, true)); }, "",
         used, QString(third).replace("rig:joint_3 ", replacement)},
        {"declared ISO-8859-1",
         [&] { WriteFile(companion, declared("ISO-8859-1").replace("rig:joint_3 ", "rig:joint_3é").toLatin1()); }, "",
         used, QString(third).replace("rig:joint_3 ", "rig:joint_3é")},
        // UTF-8 still declaring a multi-byte encoding, or one whose table has gaps: what the codec could not
        // take is said, as for UTF-8.
        {"UTF-8 declared Shift_JIS", misdeclared("Shift_JIS"), one.arg("Shift_JIS", "36"), used},
        {"UTF-8 declared EUC-JP", misdeclared("EUC-JP"), one.arg("EUC-JP", "33"), used},
        {"UTF-8 declared Big5", misdeclared("Big5"), runs.arg("2", "Big5"), used},
        {"UTF-8 declared ISO-2022-JP", misdeclared("ISO-2022-JP"), runs.arg("5", "ISO-2022-JP"), used},
        {"UTF-8 declared ISO-8859-8", misdeclared("ISO-8859-8"), one.arg("ISO-8859-8", "33"), used},
        {"UTF-8 declared UTF-7", misdeclared("UTF-7"), runs.arg("5", "UTF-7"), used},
        {"a literal CR in a value", edited("\r"), "", used, third},  // a blank, as XML reads it
        {"a pipe", [&] { pipe = std::make_unique<FifoWatch>(companion.toStdString()); },
         lead + "is not a regular file: it is a pipe, a socket or a device.", 0},
    };
    QString message;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(companion);
        c.make();
        CaptureStdout();
        std::unique_ptr<Characterization> back = LoadCharacterizationBinary(Path("hero.vlmc"), QString(), &message);
        GetCapturedStdout();
        ASSERT_TRUE(back) << "the stream still loads";
        if (c.message.endsWith("at line"))
            EXPECT_TRUE(message.startsWith(c.message)) << message.toStdString();
        else
            EXPECT_EQ(message, c.message) << message.toStdString();
        EXPECT_EQ(used - back->CountUnnamedAssignedNodes(), c.named);
        if (!c.third.isEmpty()) {
            EXPECT_EQ(back->GetNodeName(3), c.third);
        }
        QDir(dir_.path()).rmdir("hero.bones.xml");
    }
    EXPECT_FALSE(pipe->WasOpened());

    // A stream that is a pipe or a folder, and one with a NaN in the rest
    // pose of Hips (the second record: node 0 comes first).
    pipe = std::make_unique<FifoWatch>(Path("pipe.vlmc").toStdString());
    QDir(dir_.path()).mkdir("folder.vlmc");
    QByteArray nan = ReadFile(Path("hero.vlmc"));
    nan.replace(696 + 120 + 4, 4, QByteArray("\x7F\xC0\x00\x00", 4));
    WriteFile(Path("nan.vlmc"), nan);
    const std::pair<const char*, const char*> streams[] = {
        {"pipe.vlmc", "pipe.vlmc is not a regular file: it is a pipe, a socket or a device."},
        {"folder.vlmc", "folder.vlmc is a folder, not a file."},
        {"nan.vlmc", "nan.vlmc is damaged: the rest geometry of Hips holds a value that is not a finite number."},
    };
    for (const auto& c : streams) {
        EXPECT_FALSE(LoadCharacterizationBinary(Path(c.first), QString(), &message));
        EXPECT_EQ(message, c.second);
    }
    EXPECT_FALSE(pipe->WasOpened());

    // Made a pipe after it was looked at, just before it is read (a user who
    // may rename files in the folder): said at once, never waited on.
    const std::pair<const char*, QString> swaps[] = {
        {"hero.vlmc", "hero.vlmc is not a regular file: it is a pipe, a socket or a device."},
        {"hero.bones.xml", lead + "is not a regular file: it is a pipe, a socket or a device."},
    };
    for (const auto& c : swaps) {
        SCOPED_TRACE(c.first);
        QFile::remove(companion);  // the pipe of the table above
        ASSERT_TRUE(SaveCharacterizationBinary(out_, Path("hero.vlmc"), QString(), 1, true, &message))
            << message.toStdString();
        // Plays the writer 2 s on, should the open wait on it: an open that waits is seen to.
        std::unique_ptr<FifoWatch> late;
        const PairWriteFault previous = SetPairWriteFault([&](PairWriteStep step, const QString& target) {
            if (step == PairWriteStep::kRead && QFileInfo(target).fileName() == c.first && !late) {
                QFile::remove(Path(c.first));
                late = std::make_unique<FifoWatch>(Path(c.first).toStdString(), std::chrono::seconds(2));
            }
            return 0;
        });
        CaptureStdout();
        const auto start = std::chrono::steady_clock::now();
        const std::unique_ptr<Characterization> back = LoadCharacterizationBinary(Path("hero.vlmc"), QString(), &message);
        const auto took = std::chrono::steady_clock::now() - start;
        GetCapturedStdout();
        EXPECT_LT(took, std::chrono::seconds(1)) << "the open waited on the pipe";
        SetPairWriteFault(previous);
        ASSERT_TRUE(late && late->Made());
        EXPECT_EQ(bool(back), std::strcmp(c.first, "hero.vlmc") != 0) << "only the companion may be missing";
        EXPECT_EQ(message, c.second);
        late.reset();
        QFile::remove(Path(c.first));
    }
}

// A name that an XML file cannot hold is refused by every saver before
// anything is written; every other name comes back as it was.
TEST_F(CharacterizationFilesTest, NamesXmlCannotHoldAreNeverSaved)
{
    for (char16_t bad : {0xFFFE, 0xFFFF, 0xD800, 0xDC00, 0x1, 0x1F}) {
        const QString held = " holds the character U+" +
                             QString::number(uint(bad), 16).toUpper().rightJustified(4, '0') +
                             ", which an XML file cannot hold.";
        Characterization c = MakeCharacterization();
        c.SetNodeName(1, QStringLiteral("hips") + QChar(bad));
        std::vector<NameMatchRule> rules(VLM_NODE_COUNT);
        rules[1].pattern = c.GetNodeName(1);
        QString messages[4];
        EXPECT_FALSE(SaveCharacterizationBinary(c, Path("hero.vlmc"), QString(), 0, true, &messages[0]));
        EXPECT_FALSE(SaveCharacterizationXml(c, Path("hero.xml"), true, &messages[1]));
        EXPECT_FALSE(WriteMappingTemplate(Path("t.xml"), rules, &messages[2]));
        c.SetNodeName(1, QStringLiteral("hips"));
        c.SetName(QStringLiteral("Hero") + QChar(bad));
        EXPECT_FALSE(SaveCharacterizationXml(c, Path("hero.xml"), true, &messages[3]));
        EXPECT_EQ(QStringList(messages, messages + 4),
                  QStringList({"hero.vlmc was not saved: The joint name of Hips" + held,
                               "hero.xml was not saved: The joint name of Hips" + held,
                               "t.xml was not saved: The pattern of Hips" + held,
                               "hero.xml was not saved: The characterization's name" + held}));
        EXPECT_TRUE(QDir(dir_.path()).isEmpty()) << "nothing is written";
    }
    // Tab, line breaks, U+FFFD, a character beyond U+FFFF and markup come back.
    const QString kept = QString::fromUtf8("a\tb\r\nc \xEF\xBF\xBD \xF0\x9F\x98\x80 \xC2\x85 ]]> &#1;");
    out_.SetNodeName(1, kept);
    std::vector<NameMatchRule> rules(VLM_NODE_COUNT), back;
    rules[1].pattern = kept;
    ASSERT_TRUE(SaveCharacterizationBinary(out_, Path("hero.vlmc"), QString(), 0, true) &&
                SaveCharacterizationXml(out_, Path("hero.xml"), true) && WriteMappingTemplate(Path("t.xml"), rules));
    LoadMappingTemplate(Path("t.xml"), back);
    ASSERT_EQ(back.size(), rules.size());
    EXPECT_EQ(back[1].pattern, kept);
    EXPECT_EQ(LoadCharacterizationBinary(Path("hero.vlmc"), QString())->GetNodeName(1), kept);
    EXPECT_EQ(LoadCharacterizationXml(Path("hero.xml"))->GetNodeName(1), kept);
}

// A file without its own companion takes the older naming's ("hero.old.vlmc"
// takes "hero.bones.xml") only when no other ".vlmc" file of the folder, in
// any case of its name, could have written it; otherwise it loads without
// names and says its own companion is missing.
TEST_F(CharacterizationFilesTest, TheOlderCompanionIsTakenOnlyWhenNoOtherFileClaimsIt)
{
    const QByteArray stream = Stream(out_, kStreamLittleEndian, true);
    WriteFile(Path("hero.old.vlmc"), stream);
    XmlSettingsStore(Path("hero.bones.xml")).SetList("bone_correspondance", out_.GetNodeNames());
    auto load = [this](QString& message) {
        return LoadCharacterizationBinary(Path("hero.old.vlmc"), QString(), &message);
    };
    QString message;
    ASSERT_TRUE(load(message));
    EXPECT_EQ(load(message)->GetNodeNames(), out_.GetNodeNames()) << "alone, the older companion is its own";
    EXPECT_TRUE(message.isEmpty()) << message.toStdString();
    EXPECT_EQ(CompanionClaimants(Path("hero.bones.xml")), QStringList{"hero.old.vlmc"});

    // Another take with its own companion claims nothing else.
    WriteFile(Path("hero.take2.vlmc"), stream);
    WriteFile(Path("hero.take2.bones.xml"), ReadFile(Path("hero.bones.xml")));
    EXPECT_EQ(load(message)->GetNodeNames(), out_.GetNodeNames());

    const struct {
        const char* other;  // a binary file beside it, without a companion of its own
        QStringList claimants;
    } cases[] = {
        {"hero.vlmc", {"hero.old.vlmc", "hero.vlmc"}},              // the companion is that file's own
        {"hero.VLMC", {"hero.VLMC", "hero.old.vlmc"}},              // the same, as a host's file system sees it
        {"HERO.vlmc", {"HERO.vlmc", "hero.old.vlmc"}},              // a name in another case
        {"hero.take1.vlmc", {"hero.old.vlmc", "hero.take1.vlmc"}},  // an older file of the same first part
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.other);
        WriteFile(Path(c.other), stream);
        EXPECT_EQ(CompanionClaimants(Path("hero.bones.xml")), c.claimants);
        QStringList others = c.claimants;
        others.removeAll("hero.old.vlmc");
        EXPECT_EQ(CompanionClaimants(Path("hero.bones.xml"), Path("hero.old.vlmc")), others);
        std::unique_ptr<Characterization> back = load(message);
        ASSERT_TRUE(back);
        EXPECT_TRUE(HasNoNames(*back));
        EXPECT_TRUE(back->IsNodeAssigned(1)) << "the stream still loads";
        EXPECT_EQ(message, "No joint names were loaded: hero.old.bones.xml is missing.");
        QFile::remove(Path(c.other));
    }
    EXPECT_EQ(load(message)->GetNodeNames(), out_.GetNodeNames()) << "alone again";
}

// A host's file system ignores case: the file a name reaches there.
TEST_F(CharacterizationFilesTest, FilesAreFoundAsAFileSystemIgnoringCaseFindsThem)
{
    WriteFile(Path("hero.vlmc"), "x");
    EXPECT_EQ(FindFileIgnoringCase(Path("hero.vlmc")), Path("hero.vlmc"));
    EXPECT_EQ(FindFileIgnoringCase(Path("Hero.VLMC")), Path("hero.vlmc"));
    EXPECT_EQ(FindFileIgnoringCase(Path("hero.vlm")), QString());
    EXPECT_EQ(FindFileIgnoringCase(Path("none/hero.vlmc")), QString());
    WriteFile(Path("Hero.VLMC"), "y");
    EXPECT_EQ(FindFileIgnoringCase(Path("Hero.VLMC")), Path("Hero.VLMC")) << "the exact name first";
}
namespace {

// Whether folder and file permissions hold for this process (root may write
// anywhere).
bool PermissionsApply(const QString& scratch)
{
    QDir().mkpath(scratch);
    QFile::setPermissions(scratch, QFile::ReadOwner | QFile::ExeOwner);
    QFile probe(scratch + "/probe");
    const bool refused = !probe.open(QIODevice::WriteOnly);
    QFile::setPermissions(scratch, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir(scratch).removeRecursively();
    return refused;
}

// Each entry of a folder and of the folder beside it as it stands, links
// not followed: a link as its target, a file as its owner, group, mode
// (read by its owner: the save makes no file its owner cannot load) and
// access list, and its bytes.
std::map<QString, QByteArray> Snapshot(const QStringList& folders)
{
    std::map<QString, QByteArray> entries;
    for (const QString& folder : folders) {
        for (const QFileInfo& info :
             QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            struct stat s { };
            ::lstat(info.filePath().toUtf8().constData(), &s);
            entries[info.filePath()] =
                info.isSymLink() ? "-> " + info.symLinkTarget().toUtf8()
                : info.isFile()
                    ? QString("%1:%2:%3").arg(s.st_uid).arg(s.st_gid).arg((s.st_mode & 07777) | 0400, 0, 8).toUtf8() +
                          AccessListOf(info.filePath()) + ' ' + ReadFile(info.filePath())
                    : QByteArray("<folder>");
        }
    }
    return entries;
}

// A figure of this process's memory in kB from its status ("VmRSS:", "VmHWM:").
long MemoryStatus(const char* field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// Starts the peak of this process's memory afresh from what it holds now,
// which is answered in kB; -1 where the system cannot.
long ForgetPeakMemory()
{
    ::prctl(PR_SET_DUMPABLE, 1);  // a process that changed user may reset its own figures again
    QFile reset("/proc/self/clear_refs");
    if (!reset.open(QIODevice::WriteOnly) || reset.write("5") != 1)
        return -1;
    reset.close();
    return MemoryStatus("VmRSS:");
}

// A companion of 172 names held as element text, not as the save writes them.
QByteArray NamesAsElementText()
{
    QByteArray text = "<config_root>\n<bone_correspondance>\n";
    for (int node = 0; node < VLM_NODE_COUNT; ++node)
        text += "<item>joint_" + QByteArray::number(node) + "</item>\n";
    return text + "</bone_correspondance>\n</config_root>\n";
}

// A file's owner, group, mode and access list in a snapshot, and its bytes.
QByteArray OwnerOf(const QByteArray& entry) { return entry.left(entry.indexOf(' ')); }
QByteArray BytesOf(const QByteArray& entry) { return entry.mid(entry.indexOf(' ') + 1); }

// Whether a file of owner, group, mode and access list `copy` (as OwnerOf gives
// them) opens it to no one the `former` did not: no bit the former lacks, and
// no group bits at all under another group or another access list, whose mask
// the group bits stand for.
bool NoWiderThan(const QByteArray& copy, const QByteArray& former)
{
    const QList<QByteArray> c = copy.split(':'), f = former.split(':');
    const int copyMode = c.value(2).toInt(nullptr, 8), formerMode = f.value(2).toInt(nullptr, 8);
    const bool sameGroup = c.value(1) == f.value(1) && c.mid(3) == f.mid(3);
    return (copyMode & ~formerMode) == 0 && (sameGroup || (copyMode & 070) == 0);
}

}  // namespace

// The save's rules over folder states: which files a chosen name writes,
// what is asked first, or why nothing is written; then the save with that
// plan, whose answer and files must agree with it: the saved file reloads
// with its own joint names, a replaced file keeps its owner, group and mode
// (the files being written never have a wider one), and nothing else in the
// folder, or outside it, has changed. Rows that need a user's rights run as
// an ordinary user (AsOrdinaryUser).
TEST_F(CharacterizationFilesTest, SavePlansOverFolderStates)
{
    Characterization saved = MakeCharacterization(99);
    saved.SetNodeName(1, QStringLiteral("saved_hips"));
    ASSERT_TRUE(SaveCharacterizationBinary(out_, Path("a.vlmc"), QString(), 0, true));
    const QByteArray streamA = ReadFile(Path("a.vlmc")), namesA = ReadFile(Path("a.bones.xml"));
    const bool root = geteuid() == 0, permissions = root || PermissionsApply(Path("probe"));
    const QString outside = Path("outside");
    QDir().mkpath(outside);
    WriteFile(outside + "/shared.bones.xml", namesA);
    WriteFile(outside + "/hard.vlmc", streamA);
    QFile::setPermissions(dir_.path(), QFileDevice::Permissions(0x7711));  // the ordinary user passes through
    const std::string longName(245, 'n'), longBinary = longName + ".vlmc", longCompanion = longName + ".bones.xml";

    const char* const kAsk = "\nDo you want to replace it?";
    const char* const kLink = "\nDo you want to replace the link with a file of its own?";
    const char* const kKept = "hero.vlmc was saved. hero.bones.xml could not be read, so the former file is kept as "
                              "hero.bones.xml.damaged.";
    const char* const kPutBackFailed = "hero.vlmc was written, but its joint names could not be written to "
                                       "hero.bones.xml: Operation not permitted. The former hero.vlmc is kept as "
                                       "hero(1).vlmc.former.";
    const std::string longRefusal =
        longBinary + " could not be written: should the save fail, its former file could not be kept";
    const char* const kNotWhole =
        "hero.vlmc was saved. hero.bones.xml was not read whole, so the former file is kept as hero.bones.xml.damaged.";
    const struct {
        // "NAME": A's stream or names; "NAME->TARGET": a link; "NAME/": a folder; "NAME=NAME2": a second name of
        // one file; "NAME=<TEXT": a file of that text (<huge>: over the size limit, <64MB>: far over it;
        // <text172>: 172 names as element text; <none>: no element; <sjis172>: A's names in UTF-8 declared
        // Shift_JIS); "*NAME": where a save of NAME stages it, "@NAME": the second name it gives the former NAME
        // while it commits, "$NAME": the journal of a save of NAME. A last "!": read-only, "?": write-only, "#":
        // 0600, "&": group-shared 0660, "^": the other user's 0660 in the shared group, "~": the other user's, 0666.
        std::vector<const char*> folder;
        bool locked;  // the folder is read-only
        const char* chosen;
        const char* binary;
        const char* companion;
        QStringList questions;        // "@" stands for the outside folder
        const char* refusal;          // the start of the reason, or empty
        const char* message = "";     // the start of the save's message, where it is not the refusal
        const char* fault = "";       // "STEP FILE ERROR[, ...]": those steps of the write fail
        const char* changes = "";     // what else changes: "NAME" (a second name of the stream), "+NAME" (the
                                      // companion kept aside; "+NAME<FROM": FROM's former file), "-NAME" (removed)
        int folderMode = 0;           // the other user's folder, in the shared group, with this mode
        const char* again = nullptr;  // the message of a second save made right after, where it is checked
        bool unlisted = false;        // the saver's own folder, which it may write but not list (0300)
    } cases[] = {
        // clang-format off
        {{}, false, "hero", "hero.vlmc", "hero.bones.xml", {}, ""},
        {{"hero.vlmc", "hero.bones.xml"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, ""},
        {{"hero.vlmc", "hero.bones.xml"}, false, "hero", "hero.vlmc", "hero.bones.xml",
         {QString("hero.vlmc already exists.") + kAsk}, ""},
        {{"hero.vlmc", "hero.bones.xml"}, false, "HERO.VLMC", "hero.vlmc", "hero.bones.xml",
         {QString("hero.vlmc already exists.") + kAsk}, ""},
        // A case twin of the companion is replaced under its own name.
        {{"Y.BONES.XML"}, false, "Y", "Y.vlmc", "Y.BONES.XML", {QString("Y.BONES.XML already exists.") + kAsk}, ""},
        {{"Y.vlmc", "Y.BONES.XML"}, false, "Y.vlmc", "Y.vlmc", "Y.BONES.XML", {}, ""},
        // ... unless a file of its own name claims it (a disk that keeps case).
        {{"hero.vlmc", "HERO.VLMC", "HERO.bones.xml"}, false, "hero.vlmc", "hero.vlmc", "HERO.bones.xml",
         {QString("HERO.bones.xml holds the joint names of HERO.VLMC.") + kAsk}, ""},
        {{"hero.bones.xml"}, false, "hero", "hero.vlmc", "hero.bones.xml",
         {QString("hero.bones.xml already exists.") + kAsk}, ""},
        {{"hero.old.vlmc", "hero.bones.xml"}, false, "hero", "hero.vlmc", "hero.bones.xml",
         {QString("hero.bones.xml holds the joint names of hero.old.vlmc.") + kAsk}, ""},
        // Links: replaced by a file of their own, never written through.
        {{"take1.vlmc", "take1.bones.xml", "take2.vlmc", "take2.bones.xml->take1.bones.xml"}, false, "take2.vlmc",
         "take2.vlmc", "take2.bones.xml",
         {QString("take2.bones.xml is a link to take1.bones.xml.") + kLink + " take1.bones.xml is left as it is."}, ""},
        {{"take1.vlmc", "take1.bones.xml", "take2.vlmc", "take2.bones.xml->take1.bones.xml"}, false, "take1.vlmc",
         "take1.vlmc", "take1.bones.xml", {QString("take1.bones.xml holds the joint names of take2.vlmc.") + kAsk}, ""},
        {{"main.vlmc", "main.bones.xml", "alias.vlmc->main.vlmc"}, false, "alias.vlmc", "alias.vlmc",
         "alias.bones.xml", {QString("alias.vlmc is a link to main.vlmc.") + kLink + " main.vlmc is left as it is."},
         ""},
        {{"main.vlmc", "main.bones.xml", "alias.vlmc->main.vlmc"}, false, "main.vlmc", "main.vlmc", "main.bones.xml",
         {"main.vlmc is also opened through alias.vlmc.\nDo you want to replace it?"}, ""},
        {{"self.vlmc", "self.bones.xml->self.vlmc"}, false, "self.vlmc", "self.vlmc", "self.bones.xml",
         {QString("self.bones.xml is a link to self.vlmc.") + kLink}, ""},
        {{"self.bones.xml", "self.vlmc->self.bones.xml"}, false, "self.vlmc", "self.vlmc", "self.bones.xml",
         {QString("self.vlmc is a link to self.bones.xml.") + kLink}, ""},
        {{"hero.vlmc", "hero.bones.xml->../outside/shared.bones.xml"}, false, "hero.vlmc", "hero.vlmc",
         "hero.bones.xml",
         {QString("hero.bones.xml is a link to @/shared.bones.xml.") + kLink + " @/shared.bones.xml is left as it is."},
         ""},
        {{"hero.bones.xml->../outside/gone.bones.xml"}, false, "hero", "hero.vlmc", "hero.bones.xml",
         {QString("hero.bones.xml is a link to @/gone.bones.xml, which does not exist.") + kLink}, ""},
        {{"hero.vlmc->../outside/gone.vlmc"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml",
         {QString("hero.vlmc is a link to @/gone.vlmc, which does not exist.") + kLink}, ""},
        {{"dir->dir"}, false, "dir/hero", "dir/hero.vlmc", "dir/hero.bones.xml", {},
         "hero.vlmc cannot be saved: the links to its folder"},
        {{"hero.vlmc->loop.vlmc", "loop.vlmc->hero.vlmc"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml",
         {QString("hero.vlmc is a link to loop.vlmc, and its links go round in a loop.") + kLink}, ""},
        // A companion that could not be read is kept aside, and the message says so.
        {{"hero.vlmc", "hero.bones.xml=<config_root><item></config_root>"}, false, "hero.vlmc", "hero.vlmc",
         "hero.bones.xml", {}, "", kKept, "", "+hero.bones.xml.damaged"},
        {{"hero.vlmc", "hero.bones.xml=<huge>"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "", kKept, "",
         "+hero.bones.xml.damaged"},
        {{"hero.vlmc", "hero.bones.xml?"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "", kKept, "",
         "+hero.bones.xml.damaged"},
        {{"hero.vlmc", "hero.bones.xml=<config_root><item></config_root>"}, true, "hero.vlmc", "hero.vlmc",
         "hero.bones.xml", {},
         "hero.bones.xml could not be read, and its folder is read-only"},
        // ... and one that was read but not whole: its names under another key, in a group, as element text.
        {{"hero.vlmc", "hero.bones.xml=<config_root><bone_correspondence><item value=\"a\"/></bone_correspondence>"
          "</config_root>"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "", kNotWhole, "",
         "+hero.bones.xml.damaged"},
        {{"hero.vlmc", "hero.bones.xml=<config_root><g><bone_correspondance><item value=\"a\"/></bone_correspondance>"
          "</g></config_root>"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "", kNotWhole, "",
         "+hero.bones.xml.damaged"},
        {{"hero.vlmc", "hero.bones.xml=<text172>"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         kNotWhole, "", "+hero.bones.xml.damaged"},
        {{"hero.vlmc", "hero.bones.xml=<sjis172>"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         kNotWhole, "", "+hero.bones.xml.damaged"},
        {{"hero.vlmc", "hero.bones.xml=<text172>"}, true, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {},
         "hero.bones.xml was not read whole, and its folder is read-only"},
        // Only a file without any element holds nothing to keep.
        {{"hero.vlmc", "hero.bones.xml=<none>"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, ""},
        // Refused before anything is asked or written.
        {{"hero.vlmc/"}, false, "hero", "hero.vlmc", "hero.bones.xml", {}, "hero.vlmc is not a file."},
        {{"hero.vlmc", "hero.bones.xml!"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {},
         "hero.bones.xml is read-only."},
        {{"hero.vlmc", "hero.bones.xml!"}, true, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {},
         "hero.bones.xml is read-only."},
        {{"hero.vlmc", "hero.bones.xml"}, true, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, ""},  // in place
        {{"hero.vlmc", "hero.bones.xml", "alias.vlmc=hero.vlmc"}, true, "hero.vlmc", "hero.vlmc", "hero.bones.xml",
         {QString("hero.vlmc is also opened through alias.vlmc.") + kAsk}, "", "", "", "alias.vlmc"},
        {{"hero.vlmc=../outside/hard.vlmc", "hero.bones.xml"}, true, "hero.vlmc", "hero.vlmc", "hero.bones.xml",
         {QString("hero.vlmc is also opened under another name outside its folder.") + kAsk}, "", "", "",
         "../outside/hard.vlmc"},
        {{"hero.vlmc"}, true, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {},
         "hero.bones.xml cannot be made: its folder is read-only."},
        {{"hero.vlmc", "hero.bones.xml->hero.vlmc"}, true, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {},
         "hero.bones.xml is a link, and its folder is read-only"},
        {{"hero.vlmc", "hero.bones.xml=hero.vlmc"}, true, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {},
         "hero.vlmc and hero.bones.xml are one file"},
        // Owners, groups and modes are kept: the other user's pair is rewritten in place.
        {{"hero.vlmc#", "hero.bones.xml#"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, ""},
        {{"hero.vlmc%", "hero.bones.xml%"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, ""},
        {{"hero.vlmc&", "hero.bones.xml&"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "", "", "", "",
         02770},
        {{"hero.vlmc^", "hero.bones.xml^"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "", "", "", "",
         02770},
        {{"hero.vlmc", "hero.bones.xml~"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "", "", "", "",
         01777},
        {{"hero.vlmc", "hero.bones.xml->hero.vlmc~"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {},
         "hero.bones.xml is a link of another user's, and its folder lets only the owner replace it.", "", "", "",
         01777},
        // Another user's companion not read whole, in a folder that gives new files the saver's own group: the
        // copy kept aside opens it to no one the former file did not.
        {{"hero.vlmc^", "hero.bones.xml=<text172>^"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         kNotWhole, "", "+hero.bones.xml.damaged", 0770},
        // What a killed save left under its staged names ("*NAME") is removed, the user's own files are not;
        // a folder or a link there is named.
        {{"hero.vlmc", "hero.bones.xml", "hero.vlmc.previous", "hero.vlmc.saving", "hero.vlmc.saving2",
          "hero.bones.xml.previous", "hero.bones.xml.saving1", "*hero.vlmc", "*hero.bones.xml"}, false,
         "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "", "", "", "-*hero.vlmc -*hero.bones.xml"},
        {{"hero.vlmc", "hero.bones.xml", "*hero.vlmc/"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         "hero.vlmc could not be written: the folder .~"},
        {{"hero.vlmc", "hero.bones.xml", "*hero.bones.xml->hero.vlmc"}, false, "hero.vlmc", "hero.vlmc",
         "hero.bones.xml", {}, "", "hero.bones.xml could not be written: the link .~"},
        // A second name a stopped save gave a former file is removed where the file is still there; where it is
        // the file's last name, the file is kept under a name the user sees, and the message says so.
        {{"hero.vlmc", "hero.bones.xml", "@hero.bones.xml=hero.bones.xml"}, false, "hero.vlmc", "hero.vlmc",
         "hero.bones.xml", {}, "", "", "", "-@hero.bones.xml"},
        {{"hero.vlmc", "hero.bones.xml", "@hero.vlmc=<an earlier stream>"}, false, "hero.vlmc", "hero.vlmc",
         "hero.bones.xml", {}, "",
         "hero.vlmc was saved. An earlier save of hero.vlmc did not finish; its former file is kept as "
         "hero.vlmc.former.", "", "-@hero.vlmc +hero.vlmc.former<@hero.vlmc"},
        {{}, false, longName.c_str(), longBinary.c_str(), longCompanion.c_str(), {}, ""},
        // Writes that fail leave both files as they were, and say why.
        {{"hero.vlmc", "hero.bones.xml"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         "hero.vlmc could not be written: No space left on device", "write hero.vlmc ENOSPC"},
        {{"hero.vlmc", "hero.bones.xml"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         "hero.bones.xml could not be written: File too large", "write hero.bones.xml EFBIG"},
        {{"hero.vlmc", "hero.bones.xml"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         "hero.vlmc could not be written: Input/output error", "sync hero.vlmc EIO"},
        {{"hero.vlmc", "hero.bones.xml=<config_root><item></config_root>"}, false, "hero.vlmc", "hero.vlmc",
         "hero.bones.xml", {}, "",
         "hero.bones.xml could not be written: Operation not permitted", "rename hero.bones.xml EPERM"},
        // A replaced file that cannot be put back is kept where the user sees it, never under a name a save removes.
        {{"hero.vlmc", "hero.bones.xml"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         "hero.vlmc was written, but its joint names could not be written to hero.bones.xml: Operation not "
         "permitted. The former hero.vlmc is kept as hero.vlmc.former.",
         "rename hero.bones.xml EPERM, putback hero.vlmc EIO", "hero.vlmc +hero.vlmc.former<hero.vlmc"},
        {{}, false, "hero", "hero.vlmc", "hero.bones.xml", {}, "",
         "hero.bones.xml could not be written: Operation not permitted", "rename hero.bones.xml EPERM"},
        // Files replaced by new ones are committed before those rewritten in place, so a failure puts all back.
        {{"hero.vlmc^", "hero.bones.xml&"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         "hero.bones.xml could not be written: Operation not permitted", "rename hero.bones.xml EPERM", "", 02770},
        {{"hero.vlmc&", "hero.bones.xml^"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         "hero.vlmc could not be written: Input/output error", "rename hero.vlmc EIO", "", 02770},
        {{"hero.vlmc&", "hero.bones.xml^"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         "hero.bones.xml could not be written: No space left on device", "write hero.bones.xml ENOSPC", "", 02770},
        // ... and what a file rewritten in place held, where it cannot be written back, is kept beside it.
        {{"hero.vlmc&", "hero.bones.xml^"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         "hero.bones.xml could not be written: No space left on device. hero.bones.xml could not be put back as it "
         "was. The former hero.bones.xml is kept as hero.bones.xml.former.",
         "write hero.bones.xml ENOSPC, putback hero.bones.xml EIO", "hero.bones.xml +hero.bones.xml.former<hero.bones.xml",
         02770},
        // ... and the one replaced by a new file is committed first: its failure leaves the other untouched.
        {{"hero.vlmc^", "hero.bones.xml&"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         "hero.bones.xml could not be written: Operation not permitted",
         "rename hero.bones.xml EPERM, putback hero.vlmc EIO", "", 02770},
        // A kept name is never taken over: not where the folder may not be listed, not a dangling link, not
        // another user's file in a folder that lets only the owner replace it.
        {{"hero.vlmc", "hero.bones.xml", "hero.vlmc.former=<kept>"}, false, "hero.vlmc", "hero.vlmc",
         "hero.bones.xml", {}, "", kPutBackFailed, "rename hero.bones.xml EPERM, putback hero.vlmc EIO",
         "hero.vlmc +hero(1).vlmc.former<hero.vlmc", 0, nullptr, true},
        {{"hero.vlmc", "hero.bones.xml=<text172>", "hero.bones.xml.damaged=<kept>"}, false, "hero.vlmc",
         "hero.vlmc", "hero.bones.xml", {}, "",
         "hero.vlmc was saved. hero.bones.xml was not read whole, so the former file is kept as "
         "hero(1).bones.xml.damaged.", "", "+hero(1).bones.xml.damaged", 0, nullptr, true},
        {{"hero.vlmc", "hero.bones.xml", "hero.vlmc.former->gone"}, false, "hero.vlmc", "hero.vlmc",
         "hero.bones.xml", {}, "", kPutBackFailed, "rename hero.bones.xml EPERM, putback hero.vlmc EIO",
         "hero.vlmc +hero(1).vlmc.former<hero.vlmc"},
        {{"hero.vlmc", "hero.bones.xml", "hero.vlmc.former=<theirs>~"}, false, "hero.vlmc", "hero.vlmc",
         "hero.bones.xml", {}, "", kPutBackFailed, "rename hero.bones.xml EPERM, putback hero.vlmc EIO",
         "hero.vlmc +hero(1).vlmc.former<hero.vlmc", 01733},
        // A save with no way back is not begun: the former file's second name cannot be made, or the name it
        // would be kept under is too long; a leftover that cannot be cleared is named.
        {{"hero.vlmc", "hero.bones.xml", "@hero.vlmc/"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {},
         "", "hero.vlmc could not be written: the folder .~"},
        {{longBinary.c_str(), longCompanion.c_str()}, false, longName.c_str(), longBinary.c_str(),
         longCompanion.c_str(), {QString::fromStdString(longBinary) + " already exists." + kAsk}, "",
         longRefusal.c_str()},
        {{"hero.vlmc", "hero.bones.xml", "*hero.vlmc~"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {},
         "", "hero.vlmc was not saved: .~", "", "", 01777},
        // Memory stays bounded, whatever the size of a file rewritten in place: its copies are made piece by piece.
        {{"hero.vlmc^", "hero.bones.xml=<64MB>^"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "", kKept,
         "", "+hero.bones.xml.damaged", 02770},
        // A folder or a link at the name the former bytes of a file rewritten in place are copied to refuses the
        // save before anything changes.
        {{"hero.vlmc^", "hero.bones.xml^", "%hero.bones.xml/"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml",
         {}, "", "hero.bones.xml could not be written: the folder .~", "", "", 02770},
        {{"hero.vlmc^", "hero.bones.xml^", "%hero.vlmc->hero.bones.xml"}, false, "hero.vlmc", "hero.vlmc",
         "hero.bones.xml", {}, "", "hero.vlmc could not be written: the link .~", "", "", 02770},
        // A full disk at the save's journal, or a folder that cannot be synced before the files are committed,
        // refuses the save and leaves both files; a folder that cannot be synced after is said, and the save
        // stands.
        {{"hero.vlmc", "hero.bones.xml"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         "hero.vlmc could not be written: the record that would undo the save, were it stopped, could not be "
         "written beside it: No space left on device", "journal $hero.vlmc ENOSPC"},
        {{"hero.vlmc", "hero.bones.xml"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         "hero.vlmc could not be written: its folder could not be synced to disk: Input/output error",
         "sync $hero.vlmc EIO 1"},
        {{"hero.vlmc", "hero.bones.xml"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         "hero.vlmc could not be written: its folder could not be synced to disk: No space left on device",
         "sync $hero.vlmc ENOSPC 2"},
        {{"hero.vlmc", "hero.bones.xml"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "",
         "hero.vlmc was saved. Its folder could not be synced to disk after it: Input/output error.",
         "sync $hero.vlmc EIO 3"},
        // A save that could not remove what it kept of the former file leaves the next save nothing to say.
        {{"hero.vlmc", "hero.bones.xml"}, false, "hero.vlmc", "hero.vlmc", "hero.bones.xml", {}, "", "",
         "remove hero.vlmc EIO", "@hero.vlmc $hero.vlmc", 0, ""},
        // clang-format on
    };
    const std::map<QString, int> errors = {{"ENOSPC", ENOSPC}, {"EFBIG", EFBIG}, {"EIO", EIO}, {"EPERM", EPERM}};
    const std::map<QString, PairWriteStep> steps = {
        {"write", PairWriteStep::kWrite},     {"sync", PairWriteStep::kSync},     {"rename", PairWriteStep::kRename},
        {"putback", PairWriteStep::kPutBack}, {"remove", PairWriteStep::kRemove}, {"journal", PairWriteStep::kJournal}};
    // A row's name of an entry as a path: "*NAME" and "@NAME" are the names a save of NAME writes beside it.
    const auto entryPath = [](const QString& folder, const QString& name) {
        const QString target = folder + "/" + name.mid(1);
        return name.startsWith('*')   ? StagedPathFor(target)
               : name.startsWith('@') ? PreviousPathFor(target)
               : name.startsWith('$') ? JournalPathFor(target)
               : name.startsWith('%') ? CopyPathFor(target)
                                      : QDir::cleanPath(folder + "/" + name);
    };
    int row = 0, skipped = 0;
    for (const auto& c : cases) {
        const QString folder = Path(QString("row%1").arg(row++));
        SCOPED_TRACE(folder.toStdString() + " " + c.chosen);
        bool needsUser = c.locked || c.folderMode || c.unlisted;
        QDir().mkpath(folder);
        std::vector<std::pair<QString, char>> owned;  // entries and their marks
        for (QString entry : c.folder) {
            const char mark = QString("!?#&^~%").contains(entry.back()) ? entry.back().toLatin1() : 0;
            if (mark)
                entry.chop(1);
            needsUser |= mark && mark != '#';
            const QString path = entryPath(folder, entry.section(QRegExp("->|=|/"), 0, 0));
            const QString name = QFileInfo(path).fileName();
            if (entry.contains("->"))
                ASSERT_EQ(::symlink(entry.section("->", 1).toUtf8().constData(), path.toUtf8().constData()), 0);
            else if (entry.endsWith('/'))
                QDir().mkpath(path);
            else if (entry.contains("=<"))
                WriteFile(path, entry.endsWith("<huge>") || entry.endsWith("<64MB>")
                                    ? QByteArray(int(kLargestXmlFile) + 1, ' ')
                                : entry.endsWith("<text172>") ? NamesAsElementText()
                                : entry.endsWith("<none>")    ? QByteArray("<?xml version=\"1.0\"?>\n<!-- none -->\n")
                                : entry.endsWith("<sjis172>")
                                    ? "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n" +
                                          QByteArray(namesA).replace("rig:joint_3 ", "rig:joint_3\xC4\x8D\xE4\xB8\x8D")
                                    : entry.section('=', 1).toUtf8());
            else if (entry.contains('='))
                ASSERT_EQ(
                    ::link((folder + "/" + entry.section('=', 1)).toUtf8().constData(), path.toUtf8().constData()), 0);
            else
                WriteFile(path, name.endsWith(".vlmc") ? streamA : namesA);
            if (entry.endsWith("<64MB>")) {  // sparse: no disk taken but by the save's copies
                ASSERT_EQ(::truncate(path.toUtf8().constData(), 64 << 20), 0);
            }
            owned.emplace_back(path, mark);
        }
        // As root, the row's files are the ordinary user's but where marked.
        const bool otherUser = c.folderMode || std::any_of(owned.begin(), owned.end(), [](auto& e) {
                                   return QByteArray("&^~").contains(e.second);
                               });
        if ((needsUser && !permissions) || (otherUser && !root)) {
            ++skipped;
            continue;
        }
        const std::map<char, mode_t> modes = {{'!', 0400}, {'?', 0200}, {'#', 0600}, {'&', 0660},
                                              {'^', 0660}, {'~', 0666}, {'%', 0600}};
        bool listsKept = true;
        for (const auto& [path, mark] : owned) {
            if (root)
                ::lchown(path.toUtf8().constData(), QByteArray("^~").contains(mark) ? kOtherUser : kOrdinaryUser,
                         QByteArray("&^").contains(mark) ? kSharedGroup : kOrdinaryGroup);
            if (modes.count(mark) && !QFileInfo(path).isSymLink())
                ::chmod(path.toUtf8().constData(), modes.at(mark));
            if (mark == '%')
                listsKept = listsKept && GiveAccessList(path, kOtherUser);
        }
        if (!listsKept) {
            std::cout << folder.toStdString() << ": the file system keeps no access lists; the row is left out."
                      << std::endl;
            ++skipped;
            continue;
        }
        if (root)
            ::chown(folder.toUtf8().constData(), c.folderMode ? kOtherUser : kOrdinaryUser,
                    c.folderMode ? kSharedGroup : kOrdinaryGroup);
        if (c.folderMode)
            ::chmod(folder.toUtf8().constData(), mode_t(c.folderMode));

        const auto listed = [&](bool may) {
            if (c.unlisted)
                ::chmod(folder.toUtf8().constData(), may ? 0700 : 0300);
        };
        auto run = [&] {
            if (c.locked)
                QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
            listed(false);
            const BinarySavePlan plan = PlanBinarySave(folder + "/" + c.chosen);
            listed(true);
            EXPECT_EQ(plan.binaryPath, folder + "/" + c.binary);
            EXPECT_EQ(plan.companionPath, folder + "/" + c.companion);
            QStringList questions = c.questions;
            questions.replaceInStrings("@", outside);
            EXPECT_EQ(plan.questions.join(" | ").toStdString(), questions.join(" | ").toStdString());
            EXPECT_EQ(plan.refusal.left(int(std::strlen(c.refusal))), c.refusal);
            EXPECT_EQ(plan.refusal.isEmpty(), !*c.refusal) << plan.refusal.toStdString();

            // The save itself, as if every question was answered yes. The
            // files being written never have a wider mode than those they replace.
            std::map<QString, QByteArray> before = Snapshot({folder, outside});
            const QByteArray formerCompanion =
                before.count(plan.companionPath) ? BytesOf(before.at(plan.companionPath)) : QByteArray();
            const QByteArray formerOwner =
                before.count(plan.companionPath) ? OwnerOf(before.at(plan.companionPath)) : QByteArray();
            std::vector<QStringList> faults;
            for (const QString& fault : QString(c.fault).split(", ", Qt::SkipEmptyParts))
                faults.push_back(fault.split(' '));
            std::vector<int> seen(faults.size());  // a fault "STEP FILE ERROR N" fails the Nth such step alone
            QStringList unlike;  // files being written whose owner, group or mode is not their target's
            SetPairWriteFault([&](PairWriteStep step, const QString& target) {
                if (step == PairWriteStep::kCall)
                    return 0;
                const QString staged = StagedPathFor(target);
                const QByteArray replaced = before.count(target) ? OwnerOf(before.at(target)) : QByteArray();
                if (!c.unlisted && QFileInfo(staged).isFile() && !replaced.isEmpty() &&
                    !QFileInfo(target).isSymLink() && OwnerOf(Snapshot({folder})[staged]) != replaced)
                    unlike << staged;
                for (std::size_t f = 0; f < faults.size(); ++f) {
                    const QStringList& fault = faults[f];
                    if (steps.at(fault[0]) == step && target == entryPath(folder, fault[1]) &&
                        (fault.size() < 4 || ++seen[f] == fault[3].toInt()))
                        return errors.at(fault[2]);
                }
                return 0;
            });
            QString message;
            CaptureStdout();
            listed(false);
            const long resident = ForgetPeakMemory();
            const bool written =
                SaveCharacterizationBinary(saved, plan.binaryPath, plan.companionPath, 0, true, &message);
            const long grown = resident < 0 ? 0 : MemoryStatus("VmHWM:") - resident;
            listed(true);
            const std::string printed = GetCapturedStdout();
            // A file far larger than the save's bound is never held whole (the
            // hook's own snapshots of the folder are not counted elsewhere).
            const bool large = std::any_of(c.folder.begin(), c.folder.end(),
                                           [](const char* entry) { return std::strstr(entry, "<64MB>"); });
            EXPECT_TRUE(!large || grown < (32 << 10)) << grown << " kB more memory held at most by the save";
            SetPairWriteFault(nullptr);
            EXPECT_EQ(unlike.join(" "), "");
            // The store only read the companion: it wrote nothing and moved nothing aside.
            EXPECT_EQ(printed.find("Error in writing"), printed.find(" is kept as ")) << printed;  // both absent
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            const bool succeeds =
                plan.refusal.isEmpty() &&
                (!*c.fault || QString(c.fault).startsWith("remove ") || QString(c.message).contains(" was saved.")) &&
                (!*c.message || QString(c.message).contains(" was saved."));
            EXPECT_EQ(written, succeeds) << message.toStdString();
            EXPECT_EQ(message.left(int(std::strlen(c.message))), c.message);
            std::map<QString, QByteArray> after = Snapshot({folder, outside});
            if (written) {
                EXPECT_TRUE(after[plan.binaryPath].endsWith(Stream(saved, 0, true))) << "the stream is a file";
                std::unique_ptr<Characterization> back =
                    LoadCharacterizationBinary(plan.binaryPath, QString(), &message);
                EXPECT_EQ(back ? back->GetNodeName(1) : message, "saved_hips") << message.toStdString();
                for (const QString& path : {plan.binaryPath, plan.companionPath}) {
                    if (before.count(path) && !before[path].startsWith("->") && before[path] != "<folder>") {
                        EXPECT_EQ(OwnerOf(after[path]), OwnerOf(before[path])) << "kept";
                    }
                    before.erase(path), after.erase(path);
                }
            } else if (!*c.message) {
                EXPECT_EQ(message, plan.refusal);
            }
            // Nothing else, in the folder or outside it, has changed but what the row names.
            QStringList changed;
            std::map<QString, QByteArray> formerEntries = before;
            for (const QString& name : QString(c.changes).split(' ', Qt::SkipEmptyParts)) {
                const QString path = entryPath(folder, name.mid(name[0] == '+' || name[0] == '-').section('<', 0, 0));
                if (name[0] == '+') {
                    const QString from = name.contains('<') ? entryPath(folder, name.section('<', 1)) : QString();
                    const QByteArray former = from.isEmpty() ? formerCompanion : BytesOf(formerEntries[from]);
                    const QByteArray owner = from.isEmpty() ? formerOwner : OwnerOf(formerEntries[from]);
                    EXPECT_EQ(BytesOf(after[path]), former) << "kept aside";
                    EXPECT_TRUE(NoWiderThan(OwnerOf(after[path]), owner))
                        << OwnerOf(after[path]).toStdString() << " kept aside from " << owner.toStdString();
                }
                if (name[0] == '-') {
                    EXPECT_EQ(after.count(path), 0u) << "removed";
                }
                before.erase(path), after.erase(path);
            }
            for (const auto& entry : after) {
                if (!before.count(entry.first) || before[entry.first] != entry.second)
                    changed << entry.first.mid(dir_.path().size() + 1);
            }
            for (const auto& entry : before) {
                if (!after.count(entry.first))
                    changed << entry.first.mid(dir_.path().size() + 1);
            }
            EXPECT_EQ(changed.join(" "), "");
            if (c.again) {
                EXPECT_TRUE(SaveCharacterizationBinary(saved, plan.binaryPath, plan.companionPath, 0, true, &message));
                EXPECT_EQ(message, c.again) << "the second save";
            }
        };
        if (needsUser || otherUser)
            AsOrdinaryUser(run);
        else
            run();
    }
    if (skipped)
        std::cout << skipped << " rows need another user's rights and were left out." << std::endl;
}

namespace {

// As root: a process of `user` that saves `characterization` to the path it
// is called with each time it is called, answering whether it saved.
struct SaverProcess {
    int request[2] = {-1, -1}, answer[2] = {-1, -1};
    SaverProcess(uid_t user, Characterization characterization, const QString& hero)
    {
        const gid_t groups[] = {kSharedGroup};
        if (::pipe(request) != 0 || ::pipe(answer) != 0)
            return;
        if (::fork() != 0) {
            ::close(request[0]), ::close(answer[1]);
            return;
        }
        ::close(request[1]);
        char byte = 0;
        if (::setgroups(1, groups) == 0 && ::setgid(kOrdinaryGroup) == 0 && ::setuid(user) == 0) {
            while (::read(request[0], &byte, 1) == 1) {
                byte = SaveCharacterizationBinary(characterization, hero, QString(), 0, true) ? 'y' : 'n';
                if (::write(answer[1], &byte, 1) != 1)
                    break;
            }
        }
        ::_exit(0);
    }
    ~SaverProcess() { ::close(request[1]), ::wait(nullptr); }
    bool operator()(const QString&, QString&)
    {
        char byte = 'g';
        return ::write(request[1], &byte, 1) == 1 && ::read(answer[0], &byte, 1) == 1 && byte == 'y';
    }
};

}  // namespace

// Two saves of one name at once follow each other: each ends with its own
// stream and names together, and neither fails on what the other made. So
// too in a folder that may not be listed, whose lock is its file's, and
// between a user who may list the folder and one who may not.
TEST_F(CharacterizationFilesTest, SavesOfOneNameFollowEachOther)
{
    Characterization a = MakeCharacterization(1), b = MakeCharacterization(2);
    b.SetNodeName(1, "b_hips");
    const QByteArray streams[] = {Stream(a, 0, true), Stream(b, 0, true)};
    using Save = std::function<bool(const QString& hero, QString& message)>;
    const auto saveOf = [](Characterization& c) -> Save {
        return [&c](const QString& hero, QString& message) {
            return SaveCharacterizationBinary(c, hero, {}, 0, true, &message);
        };
    };
    const auto race = [&](const QString& folder, const Save& first, const Save& second, int rounds) {
        const QString hero = folder + "/hero.vlmc";
        for (int round = 0; round < rounds; ++round) {
            bool saved[2] = {false, false};
            QString messages[2];
            std::thread other([&] { saved[1] = second(hero, messages[1]); });
            saved[0] = first(hero, messages[0]);
            other.join();
            EXPECT_TRUE(saved[0] && saved[1]) << messages[0].toStdString() << messages[1].toStdString();
            const int last = ReadFile(hero) == streams[1];
            std::unique_ptr<Characterization> back = LoadCharacterizationBinary(hero, QString());
            EXPECT_EQ(back ? back->GetNodeName(1) : QString(), (last ? b : a).GetNodeName(1)) << "round " << round;
        }
    };
    race(dir_.path(), saveOf(a), saveOf(b), 40);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"hero.bones.xml", "hero.vlmc"}));

    const QString unlisted = Path("unlisted");
    QDir().mkpath(unlisted);
    QFile::setPermissions(dir_.path(), QFileDevice::Permissions(0x7711));
    ASSERT_TRUE(geteuid() != 0 || ::chown(unlisted.toUtf8().constData(), kOrdinaryUser, kOrdinaryGroup) == 0);
    AsOrdinaryUser([&] {
        ASSERT_TRUE(SaveCharacterizationBinary(a, unlisted + "/hero.vlmc", QString(), 0, true));
        ::chmod(unlisted.toUtf8().constData(), 0111);
        race(unlisted, saveOf(a), saveOf(b), 40);
        ::chmod(unlisted.toUtf8().constData(), 0700);
        EXPECT_EQ(QDir(unlisted).entryList(QDir::Files | QDir::Hidden), QStringList({"hero.bones.xml", "hero.vlmc"}));
    });

    // The other user's pair, shared with the ordinary user, in the ordinary
    // user's 0711 folder: both rewrite it in place, the ordinary user under
    // the folder's lock, the other, who may not list the folder, under the
    // file's.
    if (geteuid() != 0) {
        std::cout << "Saves of a user who may not list the folder against one who may need root; left out."
                  << std::endl;
        return;
    }
    const QString between = Path("between"), hero = between + "/hero.vlmc";
    QDir().mkpath(between);
    ASSERT_TRUE(SaveCharacterizationBinary(a, hero, QString(), 0, true));
    for (const char* name : {"", "/hero.vlmc", "/hero.bones.xml"}) {
        const QByteArray path = (between + name).toUtf8();
        ASSERT_EQ(::chown(path, *name ? kOtherUser : kOrdinaryUser, *name ? kSharedGroup : kOrdinaryGroup), 0);
        ASSERT_EQ(::chmod(path, *name ? 0660 : 0711), 0);
    }
    SaverProcess lister(kOrdinaryUser, a, hero), unlisting(kOtherUser, b, hero);
    race(between, std::ref(lister), std::ref(unlisting), 100);
    EXPECT_EQ(QDir(between).entryList(QDir::Files | QDir::Hidden), QStringList({"hero.bones.xml", "hero.vlmc"}));
}

// A save behind another process that holds its folder's lock and does not
// let go gives up within its bound, says why, and writes nothing; so does a
// settings file there. An open there gives up as soon and says why: of the
// pair, and of the settings file.
TEST_F(CharacterizationFilesTest, ASaveBehindAnotherProcesssLockGivesUpInTime)
{
    const QString hero = Path("hero.vlmc"), settings = Path("skelwright.xml");
    ASSERT_TRUE(SaveCharacterizationBinary(out_, hero, QString(), 0, true));
    WriteFile(settings, "<config_root><k value=\"u\"/></config_root>\n");
    const QDir folder(dir_.path());
    const QStringList entries = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    const QByteArray stream = ReadFile(hero), names = ReadFile(Path("hero.bones.xml"));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::alarm(20);  // a save that waits without bound fails the test, not the suite
        const int fd = ::open(QFile::encodeName(dir_.path()).constData(), O_RDONLY | O_DIRECTORY);
        const char held = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
        if (::write(ready[1], &held, 1) == 1)
            ::pause();
        ::_exit(0);
    }
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ASSERT_EQ(held, 'y');
    // Each waits out the bound: side by side.
    QString message, opening;
    bool saved = true;
    double waited = 0;
    std::thread save([&] {
        const auto start = std::chrono::steady_clock::now();
        saved = SaveCharacterizationBinary(out_, hero, QString(), 0, true, &message);
        waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
    std::unique_ptr<Characterization> opened;
    std::thread open([&] { opened = LoadCharacterizationBinary(hero, QString(), &opening); });
    CaptureStdout();
    XmlSettingsStore store(settings);
    store.SetValue("k", "v");
    const bool written = store.Write();
    GetCapturedStdout();
    const QString firstProblem = store.GetWriteProblem();
    save.join(), open.join();
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]), ::close(ready[1]);
    // The settings it could not read it does not write, nor keep aside as
    // unreadable, once the folder is free.
    store.SetValue("k", "w");
    CaptureStdout();
    const bool writtenLater = store.Write();
    GetCapturedStdout();

    EXPECT_FALSE(saved);
    EXPECT_EQ(message, "hero.vlmc was not saved: another save in its folder has not finished after 3 seconds. "
                       "Nothing was written.");
    EXPECT_LT(waited, kSaveLockWaitMilliseconds / 1000.0 + 2.0) << "the save gives up within its bound";
    EXPECT_FALSE(opened);
    EXPECT_EQ(opening, "hero.vlmc was not opened: another save in its folder has not finished after 3 seconds.");
    EXPECT_EQ(store.GetReadProblem(),
              "skelwright.xml could not be read: another save in its folder has not finished after 3 seconds.");
    EXPECT_FALSE(written);
    EXPECT_EQ(firstProblem,
              "skelwright.xml was not written: another save in its folder has not finished after 3 seconds.");
    EXPECT_FALSE(writtenLater);
    EXPECT_EQ(store.GetWriteProblem(), "skelwright.xml was not written: it was not read, as another save in its "
                                       "folder has not finished after 3 seconds.");
    EXPECT_EQ(folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), entries);
    EXPECT_EQ(ReadFile(hero), stream);
    EXPECT_EQ(ReadFile(Path("hero.bones.xml")), names);
    EXPECT_EQ(ReadFile(settings), "<config_root><k value=\"u\"/></config_root>\n");
}

TEST_F(CharacterizationFilesTest, FailedWritesLeaveEveryFileAsItWas)
{
    ASSERT_TRUE(SaveCharacterizationBinary(out_, Path("good.vlmc"), QString(), 0, true));
    const QByteArray goodStream = ReadFile(Path("good.vlmc"));
    const QByteArray goodCompanion = ReadFile(Path("good.bones.xml"));
    Characterization changed = MakeCharacterization(99);
    QString message;

    // A stream that cannot be written (its path is a folder) leaves the good
    // companion it was to replace alone.
    QDir(dir_.path()).mkdir("blocked.vlmc");
    EXPECT_FALSE(SaveCharacterizationBinary(changed, Path("blocked.vlmc"), Path("good.bones.xml"), 0, true, &message));
    EXPECT_TRUE(message.contains("blocked.vlmc")) << message.toStdString();
    EXPECT_EQ(ReadFile(Path("good.bones.xml")), goodCompanion);
    WriteFile(Path("plain_file"), "x");
    EXPECT_FALSE(SaveCharacterizationBinary(changed, Path("plain_file/hero.vlmc"), QString(), 0, true));

    // A companion that cannot be made is reported, and its stream is not
    // written either.
    QDir(dir_.path()).mkdir("names.bones.xml");
    EXPECT_FALSE(SaveCharacterizationBinary(changed, Path("names.vlmc"), QString(), 0, true, &message));
    EXPECT_TRUE(message.contains("names.bones.xml")) << message.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Path("names.vlmc")));

    // Names that would make a companion too large to be read back: neither
    // file is touched, and the message says why.
    Characterization wordy = MakeCharacterization(99);
    for (int node = 0; node < VLM_NODE_COUNT; ++node)
        wordy.SetNodeName(node, QString(30000, QLatin1Char('n')) + QString::number(node));
    EXPECT_FALSE(SaveCharacterizationBinary(wordy, Path("good.vlmc"), QString(), 0, true, &message));
    EXPECT_TRUE(message.startsWith("good.bones.xml was not written: at ") &&
                message.endsWith(" MB it would be too large to be read back (the limit is 4 MB)."))
        << message.toStdString();

    // A companion that fails half way (the file size limit lets the stream
    // through and stops the long joint names) leaves both good files.
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        if (changed.IsNodeAssigned(node))
            changed.SetNodeName(node, QString(300, QLatin1Char('n')) + QString::number(node));
    }
    const qint64 streamSize = Stream(changed, 0, true).size();
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = rlim_t(streamSize + 1024);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool savedOverGood = SaveCharacterizationBinary(changed, Path("good.vlmc"), QString(), 0, true, &message);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(savedOverGood);
    EXPECT_EQ(message, "good.bones.xml could not be written: File too large");

    EXPECT_EQ(ReadFile(Path("good.vlmc")), goodStream);
    EXPECT_EQ(ReadFile(Path("good.bones.xml")), goodCompanion);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({"blocked.vlmc", "good.bones.xml", "good.vlmc", "names.bones.xml", "plain_file"}))
        << "no temporary or half-written file is left";
}

namespace {

// Where a process saving version after version has got to, in memory it
// shares with the test that stops it.
struct SaveProgress {
    std::atomic<int> saved{0};   // the last version whose save returned
    std::atomic<int> call{0};    // the file calls made so far by the save under way
    std::atomic<int> calls{0};   // the file calls the last save made
    std::atomic<int> stopAt{0};  // where not 0, the save waits at this call until it is stopped
};

// Version `v` of a pair: its number is both in the stream (the hips' rest
// translation) and in the names (the hips' joint name). Every third one has
// shorter names than the one before, so that a file rewritten in place
// shrinks.
Characterization Version(int v)
{
    Characterization c = MakeCharacterization(7);
    c.SetNodeName(1, QStringLiteral("v%1").arg(v));
    c.SetNodeName(2, QString(v % 3 * 400, QLatin1Char('p')) + QStringLiteral("_spine"));
    c.JointGeometryAt(1).translate[0] = float(v);
    return c;
}

}  // namespace

// A save stopped (SIGKILL) at any moment never costs the last saved version:
// the next open gives one whole version, the last saved or the one being
// saved, its names and stream together, and says so where it had to put the
// pair back. A child process saves version after version, each file call of
// its save slowed; it is stopped at each call of the save in turn, at a
// random moment around it. In the user's own folder, on a file system
// without hard links, and on a teammate's pair rewritten in place; so too a
// teammate's XML characterization file, saved as templates and settings are.
// Every setup the save accepts is put right: a stream with a second name in
// another folder, a companion in another folder or named through a link to
// its own, and the saver goes on saving after each stop. Where the saver's
// groups are not those the user database gives it, or it has no entry there,
// the open leaves its journal alone, and says that the pair may be parts of
// two saves.
TEST_F(CharacterizationFilesTest, ASaveStoppedAtAnyMomentCostsNoVersion)
{
    const std::chrono::microseconds pace(1500);
    auto* progress = static_cast<SaveProgress*>(
        ::mmap(nullptr, sizeof(SaveProgress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(progress, MAP_FAILED);
    new (progress) SaveProgress;
    std::mt19937 random(58);
    constexpr uid_t kDeletedUser = 61003;
    const struct {
        const char* folder;
        bool noLinks, inPlace, xml;
        const char* companion = "";  // beside the test's folders, where not beside the stream
        bool linked = false;         // the stream has a second name in another folder
        const char* writer = "";     // "mismatched" groups, or a "deleted" user, saves the teammate's pair
    } setups[] = {{"own", false, false, false},
                  {"nolinks", true, false, false},
                  {"shared", false, true, false},
                  {"xml", false, true, true},
                  {"linked", false, false, false, "", true},
                  {"apart", false, false, false, "apart-names/hero.bones.xml"},
                  {"through", false, false, false, "through/via/hero.bones.xml"},
                  {"mismatched", false, true, false, "", false, "mismatched"},
                  {"deleted", false, true, false, "", false, "deleted"}};
    Characterization first = Version(0);
    for (const auto& setup : setups) {
        if (setup.inPlace && geteuid() != 0) {
            std::cout << "A teammate's pair needs another user's rights; left out." << std::endl;
            continue;
        }
        if (setup.inPlace && !::getpwuid(kOrdinaryUser)) {
            std::cout << "A teammate's pair needs a saver the user database knows (user " << kOrdinaryUser
                      << " is not there); left out." << std::endl;
            continue;
        }
        const QString folder = Path(setup.folder), hero = folder + (setup.xml ? "/hero.xml" : "/hero.vlmc");
        const QString companion = *setup.companion ? Path(setup.companion) : QString();
        const QString notice = "An earlier save of " + QFileInfo(hero).fileName() + " did not finish";
        const auto save = [&](Characterization version) {
            return setup.xml ? SaveCharacterizationXml(version, hero, false)
                             : SaveCharacterizationBinary(version, hero, companion, 0, true);
        };
        // What an open gives, and what it said (the store says it on standard output).
        const auto open = [&](QString& message) {
            CaptureStdout();
            std::unique_ptr<Characterization> back = setup.xml ? LoadCharacterizationXml(hero, &message)
                                                               : LoadCharacterizationBinary(hero, companion, &message);
            const QString printed = QString::fromStdString(GetCapturedStdout()).trimmed();
            if (printed.startsWith(notice))
                message = printed;
            return back;
        };
        QDir().mkpath(folder);
        if (companion.startsWith(folder + "/"))
            ASSERT_EQ(::symlink(".", QFile::encodeName(folder + "/via").constData()), 0);
        else if (!companion.isEmpty())
            QDir().mkpath(QFileInfo(companion).path());
        ASSERT_TRUE(save(first));
        QStringList files = setup.xml ? QStringList({"hero.xml"}) : QStringList({"hero.bones.xml", "hero.vlmc"});
        if (companion.startsWith(folder + "/"))
            files << "via";
        else if (!companion.isEmpty())
            files.removeOne("hero.bones.xml");
        const bool ownGroups = !*setup.writer;
        const gid_t filesGroup = ownGroups ? kOrdinaryGroup : kSharedGroup;
        const uid_t writer = std::strcmp(setup.writer, "deleted") == 0 ? kDeletedUser : kOrdinaryUser;
        if (setup.inPlace) {
            // The teammate's files in a folder shared with the saver, who rewrites them in place, in the group
            // the user database gives the saver (or, for the writers the open does not follow, one only its
            // process has): the journal of a save is followed as far as its writer's user and groups there reach.
            for (const QString& name : QStringList({""}) + files) {
                const QByteArray path = (folder + "/" + name).toUtf8();
                ASSERT_EQ(::chown(path, kOtherUser, filesGroup), 0);
                ASSERT_EQ(::chmod(path, name.isEmpty() ? 02770 : 0660), 0);
            }
            QFile::setPermissions(dir_.path(), QFileDevice::Permissions(0x7711));
        }
        // The stream's second name, made again before each stop: a save leaves it with the former stream.
        const QByteArray secondName = QFile::encodeName(Path("linked-elsewhere") + "/hero.vlmc");
        const auto link = [&] {
            QDir().mkpath(Path("linked-elsewhere"));
            ::unlink(secondName.constData());
            if (setup.linked) {
                ASSERT_EQ(::link(QFile::encodeName(hero).constData(), secondName.constData()), 0);
            }
        };
        // A process of the user who saves, saving versions until it is stopped, or one only.
        const auto saver = [&](bool once) {
            const pid_t child = ::fork();
            if (child != 0)
                return child;
            const gid_t groups[] = {kSharedGroup};
            if (setup.inPlace && (::setgroups(1, groups) != 0 || ::setgid(ownGroups ? kOrdinaryGroup : kSharedGroup) != 0 ||
                                  ::setuid(writer) != 0))
                ::_exit(3);
            SetPairWriteFault([&](PairWriteStep step, const QString&) {
                if (step == PairWriteStep::kCall) {
                    if (++progress->call == progress->stopAt)
                        for (;;)
                            ::pause();
                    std::this_thread::sleep_for(pace);
                }
                return setup.noLinks && step == PairWriteStep::kLink ? EPERM : 0;
            });
            for (int v = progress->saved + 1;; ++v) {
                progress->call = 0;
                if (!save(Version(v)))
                    ::_exit(4);
                progress->calls = progress->call.load();
                progress->saved = v;
                if (once)
                    ::_exit(0);
            }
        };
        progress->saved = 0;
        int status = -1;
        link();
        ::waitpid(saver(true), &status, 0);
        ASSERT_EQ(status, 0);
        const int calls = progress->calls;
        int stops = 0, broken = 0, told = 0, refused = 0, leftAlone = 0, silent = 0;
        for (int round = 0; round < 4 * (calls + 1); ++round) {
            const int at = round % (calls + 1);
            // The first rounds stop the save right before each call in turn; the others within the pace of the
            // chosen call, or of the one after it.
            const bool fixed = round <= calls;
            progress->call = -1;
            progress->stopAt = fixed ? at : 0;
            link();
            const pid_t child = saver(false);
            const auto start = std::chrono::steady_clock::now();
            while (progress->call < at && std::chrono::steady_clock::now() - start < std::chrono::seconds(2))
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            EXPECT_GE(progress->call, at) << "round " << round;
            if (!fixed)
                std::this_thread::sleep_for(std::chrono::microseconds(random() % (2 * pace.count())));
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            EXPECT_TRUE(WIFSIGNALED(status)) << "round " << round << ": the saver ended on its own: "
                                             << WEXITSTATUS(status);
            refused += !WIFSIGNALED(status);
            ++stops;
            const int saved = progress->saved;
            // A save stopped after its mark is committed: the open finishes it.
            const bool marked = ReadFile(JournalPathFor(hero)).startsWith('+');
            QString message;
            std::unique_ptr<Characterization> back = open(message);
            const int stream = back ? int(back->JointGeometryAt(1).translate[0]) : -1;
            Characterization version = Version(stream);
            const bool whole = back && back->GetNodeName(1) == QString("v%1").arg(stream) &&
                               (setup.xml || ReadFile(hero) == Stream(version, 0, true)) &&
                               (stream == saved + 1 || (stream == saved && !marked));
            // A journal the open does not follow may leave parts of two saves: the open says so.
            const bool said = message.contains("may hold parts of two saves");
            broken += !whole && !(said && !ownGroups);
            told += message.startsWith(notice);
            leftAlone += said;
            silent += !whole && !said;
            EXPECT_TRUE(whole || (said && !ownGroups))
                << "round " << round << (fixed ? ", stopped right before call " : ", around call ") << at
                << (marked ? " after the mark" : "") << ": version " << stream << " of " << saved << ": "
                << message.toStdString();
            EXPECT_TRUE(message.isEmpty() || message.startsWith(notice) || (said && !ownGroups))
                << message.toStdString();
            // A save the open left alone is put back by the saver's next save, to the last one that returned.
            if (!whole && !said)
                progress->saved = std::max(saved, stream);
        }
        std::cout << setup.folder << ": " << broken << " of " << stops << " stops (" << calls
                  << " calls a save) left no whole version unsaid; " << told << " opens said they put it back; "
                  << leftAlone << " said they left its journal alone, " << silent << " mixed opens said nothing; "
                  << refused << " saves refused." << std::endl;
        EXPECT_EQ(broken, 0) << setup.folder << ", of " << stops << " stops";
        // The next save finds what the stopped ones left, and leaves the files alone.
        ::chmod(folder.toUtf8().constData(), setup.inPlace ? 02770 : 0700);
        const auto saveLast = [&] { EXPECT_TRUE(save(Version(1000))); };
        if (setup.inPlace)
            AsUser(writer, ownGroups ? kOrdinaryGroup : kSharedGroup, {kSharedGroup}, saveLast);
        else
            saveLast();
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), files);
        if (!companion.isEmpty() && !companion.startsWith(folder + "/")) {
            EXPECT_EQ(QDir(QFileInfo(companion).path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                      QStringList({"hero.bones.xml"}));
        }
    }
    ::munmap(progress, sizeof(SaveProgress));
}

// An open racing saves of its pair reads both files of one save: a child
// process saves version after version while opens, each slowed between
// reading the stream and reading the names (as a slow or network folder
// would), load the pair. None gives the names of one version with the
// stream of another, and none is refused for the wait.
TEST_F(CharacterizationFilesTest, AnOpenRacingSavesReadsBothFilesOfOneSave)
{
    struct Race {
        std::atomic<int> saved{0};
        std::atomic<bool> stop{false};
    };
    auto* race =
        static_cast<Race*>(::mmap(nullptr, sizeof(Race), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(race, MAP_FAILED);
    new (race) Race;
    const QString hero = Path("hero.vlmc");
    Characterization first = Version(0);
    ASSERT_TRUE(SaveCharacterizationBinary(first, hero, QString(), 0, true));
    const pid_t saver = ::fork();
    if (saver == 0) {
        ::alarm(60);
        std::mt19937 random(61);
        for (int v = 1; !race->stop; ++v) {
            Characterization version = Version(v);
            if (SaveCharacterizationBinary(version, hero, QString(), 0, true))
                race->saved = v;
            std::this_thread::sleep_for(std::chrono::milliseconds(10 + random() % 20));
        }
        ::_exit(0);
    }
    const auto start = std::chrono::steady_clock::now();
    while (race->saved < 3 && std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    SetPairWriteFault([](PairWriteStep step, const QString& target) {
        if (step == PairWriteStep::kRead && target.endsWith(".bones.xml"))
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        return 0;
    });
    constexpr int kOpens = 40;
    std::mt19937 random(8);
    int mixed = 0, refused = 0;
    std::set<int> seen;
    for (int round = 0; round < kOpens; ++round) {
        QString message;
        const std::unique_ptr<Characterization> back = LoadCharacterizationBinary(hero, QString(), &message);
        refused += !back;
        EXPECT_TRUE(back) << message.toStdString();
        if (!back)
            continue;
        const int stream = int(back->JointGeometryAt(1).translate[0]);
        mixed += back->GetNodeName(1) != QStringLiteral("v%1").arg(stream);
        seen.insert(stream);
        std::this_thread::sleep_for(std::chrono::milliseconds(10 + random() % 20));
    }
    SetPairWriteFault(nullptr);
    race->stop = true;
    int status = -1;
    ::waitpid(saver, &status, 0);
    const int saved = race->saved;
    ::munmap(race, sizeof(Race));
    std::cout << mixed << " of " << kOpens << " opens racing saves read a mixed pair, " << refused << " were refused; "
              << seen.size() << " versions seen of " << saved << " saved." << std::endl;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(mixed, 0) << "of " << kOpens;
    EXPECT_GE(seen.size(), std::size_t(kOpens / 4)) << "saves went on between the opens";
}

// An open waits for a save of its folder under way, and reads what it
// saved: of the pair, of an XML characterization file, of a template and
// of the settings store; so too where the one who opens may not list the
// folder, and locks the file. A save waits for no lock of its own: not
// while it reads the companion it replaces, even where one of its own saves
// of the companion alone was stopped and left its journal.
TEST_F(CharacterizationFilesTest, AnOpenWaitsForASaveUnderWayAndASaveNeverForItself)
{
    // The version number each writes, and what an open reads back (-1 for
    // nothing, or a pair of two versions).
    struct Kind {
        const char* file;
        std::function<bool(const QString& path, int v)> save;
        std::function<int(const QString& path)> open;
    };
    const Kind kinds[] = {
        {"hero.vlmc",
         [](const QString& path, int v) {
             Characterization version = Version(v);
             return SaveCharacterizationBinary(version, path, QString(), 0, true);
         },
         [](const QString& path) {
             const std::unique_ptr<Characterization> back = LoadCharacterizationBinary(path, QString());
             const int stream = back ? int(back->JointGeometryAt(1).translate[0]) : -1;
             return back && back->GetNodeName(1) == QStringLiteral("v%1").arg(stream) ? stream : -1;
         }},
        {"hero.xml", [](const QString& path, int v) { return SaveCharacterizationXml(Version(v), path, false); },
         [](const QString& path) {
             const std::unique_ptr<Characterization> back = LoadCharacterizationXml(path);
             return back ? back->GetNodeName(1).mid(1).toInt() : -1;
         }},
        {"hero.template.xml",
         [](const QString& path, int v) {
             std::vector<NameMatchRule> rules(3);
             rules[1].pattern = QStringLiteral("v%1").arg(v);
             return WriteMappingTemplate(path, rules);
         },
         [](const QString& path) {
             std::vector<NameMatchRule> rules;
             LoadMappingTemplate(path, rules);
             return rules.size() > 1 ? rules[1].pattern.mid(1).toInt() : -1;
         }},
        {"skelwright.xml",
         [](const QString& path, int v) {
             XmlSettingsStore store(path);
             store.SetValue("version", QString::number(v));
             return store.Write();
         },
         [](const QString& path) { return XmlSettingsStore(path).GetValue("version", "-1").toInt(); }},
    };
    int waits = 0;
    const auto countWaits = [&waits](PairWriteStep step, const QString&) {
        waits += step == PairWriteStep::kWait;
        return 0;
    };
    const auto sweep = [&](const QString& folder, bool unlisted) {
        for (const Kind& kind : kinds) {
            SCOPED_TRACE(std::string(kind.file) + (unlisted ? " in a folder that may not be listed" : ""));
            const QString path = folder + "/" + kind.file;
            ::chmod(QFile::encodeName(folder).constData(), 0700);
            ASSERT_TRUE(kind.save(path, 1));
            if (unlisted)
                ::chmod(QFile::encodeName(folder).constData(), 0111);
            int inside[2];
            ASSERT_EQ(::pipe(inside), 0);
            const pid_t saver = ::fork();
            if (saver == 0) {
                ::alarm(20);
                // Held at the save's first change, its lock taken, until the open has begun.
                SetPairWriteFault([&](PairWriteStep step, const QString&) {
                    if (step == PairWriteStep::kCall && inside[1] >= 0) {
                        const char byte = 'y';
                        const bool told = ::write(inside[1], &byte, 1) == 1;
                        ::close(inside[1]), inside[1] = -1;
                        if (told)
                            std::this_thread::sleep_for(std::chrono::milliseconds(300));
                    }
                    return 0;
                });
                ::_exit(kind.save(path, 2) ? 0 : 1);
            }
            ::close(inside[1]);
            char byte = 0;
            EXPECT_EQ(::read(inside[0], &byte, 1), 1);
            ::close(inside[0]);
            waits = 0;
            SetPairWriteFault(countWaits);
            EXPECT_EQ(kind.open(path), 2) << "the open read what the save under way wrote";
            SetPairWriteFault(nullptr);
            EXPECT_GT(waits, 0) << "the open waited for the save";
            int status = -1;
            ::waitpid(saver, &status, 0);
            EXPECT_EQ(status, 0);
        }
    };
    sweep(dir_.path(), false);
    if (geteuid() == 0) {
        const QString unlisted = Path("unlisted");
        QDir().mkpath(unlisted);
        QFile::setPermissions(dir_.path(), QFileDevice::Permissions(0x7711));
        ASSERT_EQ(::chown(QFile::encodeName(unlisted).constData(), kOrdinaryUser, kOrdinaryGroup), 0);
        AsOrdinaryUser([&] { sweep(unlisted, true); });
    } else {
        std::cout << "Opens in a folder that may not be listed need another user; left out." << std::endl;
    }

    // A journal of the companion's own, its save stopped while writing it.
    const QString hero = Path("hero.vlmc"), companion = Path("hero.bones.xml");
    WriteFile(JournalPathFor(companion), "-skelwright save journal 1\nn hero.bo");
    waits = 0;
    SetPairWriteFault(countWaits);
    QString message;
    const auto start = std::chrono::steady_clock::now();
    Characterization third = Version(3);
    const bool saved = SaveCharacterizationBinary(third, hero, QString(), 0, true, &message);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    SetPairWriteFault(nullptr);
    std::cout << "A save beside its companion's stopped save took " << took << " s." << std::endl;
    EXPECT_TRUE(saved) << message.toStdString();
    EXPECT_EQ(waits, 0) << "the save waited for its own lock";
    EXPECT_EQ(kinds[0].open(hero), 3);

    // A pair whose names are in another folder: where that folder stays
    // busy, the open is refused as for its stream's folder, never the
    // stream without its names reported as read.
    const QString there = Path("names"), away = Path("away.vlmc"), awayNames = there + "/away.bones.xml";
    const QString back = there + "/back.vlmc", backNames = Path("back.bones.xml");
    QDir().mkpath(there);
    Characterization fourth = Version(4), fifth = Version(5);
    ASSERT_TRUE(SaveCharacterizationBinary(fourth, away, awayNames, 0, true, &message)) << message.toStdString();
    ASSERT_TRUE(SaveCharacterizationBinary(fifth, back, backNames, 0, true, &message)) << message.toStdString();
    const int held = ::open(QFile::encodeName(there).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0) << "a reader of the folder holds its lock";
    const std::unique_ptr<Characterization> busy = LoadCharacterizationBinary(away, awayNames, &message);
    EXPECT_FALSE(busy) << "opened without its names: " << message.toStdString();
    EXPECT_EQ(message.toStdString(), ("away.vlmc was not opened: its joint names are read from " + awayNames +
                                      ", and another save in its folder has not finished after 3 seconds.")
                                         .toStdString());
    // Nor does a save take the names it replaces there for unreadable.
    const QStringList thereBefore = QDir(there).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    const QByteArray namesBefore = ReadFile(awayNames);
    EXPECT_FALSE(SaveCharacterizationBinary(fifth, away, awayNames, 0, true, &message));
    ::close(held);
    EXPECT_EQ(message.toStdString(), ("away.vlmc was not saved: its joint names are written to " + awayNames +
                                      ", and another save in its folder has not finished after 3 seconds. Nothing "
                                      "was written.")
                                         .toStdString());
    EXPECT_EQ(QDir(there).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), thereBefore);
    EXPECT_EQ(ReadFile(awayNames), namesBefore);
    // Two opens of pairs across the same two folders the other way round,
    // while one of the folders is held a moment: the open whose stream is
    // there waits for it, and the other, which looks again only seldom for
    // its names there, has then had what else it wants. Neither holds one
    // folder while it waits for the other's, whichever folder is held.
    const struct {
        QString stream, names;
        int version;
    } pairs[] = {{away, awayNames, 4}, {back, backNames, 5}};
    for (const QString& busyFolder : {there, dir_.path()}) {
        SCOPED_TRACE("opens across two folders, " + busyFolder.toStdString() + " held");
        const bool awayFirst = QFileInfo(away).absolutePath() == busyFolder;
        const auto& first = pairs[awayFirst ? 0 : 1];
        const auto& second = pairs[awayFirst ? 1 : 0];
        SetPairWriteFault([&](PairWriteStep step, const QString& target) {
            if (step == PairWriteStep::kWait && target == second.names)
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
            return 0;
        });
        const int holding = ::open(QFile::encodeName(busyFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_EQ(::flock(holding, LOCK_EX), 0);
        QString messages[2];
        int read[2] = {-1, -1};
        const auto opened = [&](int which, const QString& stream, const QString& names) {
            const std::unique_ptr<Characterization> pair = LoadCharacterizationBinary(stream, names, &messages[which]);
            const int version = pair ? int(pair->JointGeometryAt(1).translate[0]) : -1;
            read[which] = pair && pair->GetNodeName(1) == QStringLiteral("v%1").arg(version) ? version : -1;
        };
        const auto crossed = std::chrono::steady_clock::now();
        std::thread one(opened, 0, first.stream, first.names), other(opened, 1, second.stream, second.names);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ::close(holding);
        one.join(), other.join();
        const double both = std::chrono::duration<double>(std::chrono::steady_clock::now() - crossed).count();
        SetPairWriteFault(nullptr);
        std::cout << "Two opens across two folders the other way round took " << both << " s; read " << read[0]
                  << " (" << messages[0].toStdString() << ") and " << read[1] << " (" << messages[1].toStdString()
                  << ")." << std::endl;
        EXPECT_EQ(read[0], first.version) << messages[0].toStdString();
        EXPECT_EQ(read[1], second.version) << messages[1].toStdString();
        EXPECT_LT(both, 2.5) << "one waited out the other";
    }
}

// A journal another user left in a shared folder is followed only as far as
// its writer could have gone: one naming a file outside its folder, a file of
// this user's as made by the save, or a former file of another owner to put
// back is left alone, and the pair is read as it stands, with the reason.
TEST_F(CharacterizationFilesTest, AnotherUsersJournalNeverReachesBeyondWhatItsSaveCouldWrite)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "another user's journal needs root to make";
    const QString folder = Path("planted"), hero = folder + "/hero.vlmc", outside = Path("outside/keep.txt");
    QDir().mkpath(folder);
    QDir().mkpath(Path("outside"));
    const struct {
        const char* entries;  // the journal's lines between its head and "end"
        bool previous;        // a former hero.vlmc of the other user's beside it
    } journals[] = {{"n ..%2Foutside%2Fkeep.txt", false}, {"n hero.bones.xml", false}, {"r hero.vlmc", true}};
    Characterization first = Version(1);
    for (const auto& j : journals) {
        SCOPED_TRACE(j.entries);
        ASSERT_TRUE(SaveCharacterizationBinary(first, hero, QString(), 0, true));
        WriteFile(outside, "mine");
        QStringList planted = {JournalPathFor(hero)};
        WriteFile(JournalPathFor(hero), QByteArray("-skelwright save journal 1\n") + j.entries + "\nend\n");
        if (j.previous) {
            planted << PreviousPathFor(hero);
            WriteFile(PreviousPathFor(hero), "not a stream");
        }
        for (const QString& path : planted)
            ASSERT_EQ(::chown(path.toUtf8().constData(), kOtherUser, kOtherUser), 0);
        QString message;
        const std::unique_ptr<Characterization> asItStands = LoadCharacterizationBinary(hero, QString(), &message);
        EXPECT_TRUE(asItStands && asItStands->GetNodeName(1) == "v1") << message.toStdString();
        EXPECT_TRUE(
            message.contains(QFileInfo(JournalPathFor(hero)).fileName() + " beside it, which belongs to user 65533"))
            << message.toStdString();
        EXPECT_EQ(ReadFile(outside), QByteArray("mine"));
        for (const QString& path : planted)
            ::unlink(path.toUtf8().constData());
        const std::unique_ptr<Characterization> kept = LoadCharacterizationBinary(hero, QString(), &message);
        ASSERT_TRUE(kept) << message.toStdString();
        EXPECT_EQ(kept->GetNodeName(1), QString("v1"));
    }
}

namespace {

// Two ordinary users of one machine, as root makes them: A plants files in a
// folder both use, B owns what is saved there. Neither has an entry in the
// user database, so a save judges either by its own user alone, whatever
// groups the system gives it (both are in kTeam as far as its checks go).
constexpr uid_t kUserA = 61001, kUserB = 61002;
constexpr gid_t kGroupA = 61001, kGroupB = 61002, kTeam = 61000;

void AsA(const std::function<void()>& body) { AsUser(kUserA, kGroupA, {kGroupA, kTeam}, body, 60); }
void AsB(const std::function<void()>& body) { AsUser(kUserB, kGroupB, {kGroupB, kTeam}, body, 60); }

// Every entry of `folders`, links not followed: its owner, group, mode,
// number of names and access list, then a link's target, a file's bytes (over
// a MiB, its length and the blocks it takes), or what else it is.
std::map<QString, QByteArray> EntriesOf(const QStringList& folders)
{
    std::map<QString, QByteArray> entries;
    for (const QString& folder : folders) {
        for (const QString& name :
             QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            const QString path = folder + "/" + name;
            struct stat s { };
            ::lstat(QFile::encodeName(path).constData(), &s);
            QByteArray entry =
                QString("%1:%2:%3:%4").arg(s.st_uid).arg(s.st_gid).arg(s.st_mode, 0, 8).arg(s.st_nlink).toUtf8() +
                AccessListOf(path) + ' ';
            if (S_ISLNK(s.st_mode))
                entry += "-> " + QFile::symLinkTarget(path).toUtf8();
            else if (S_ISREG(s.st_mode) && s.st_size > (1 << 20))
                entry += QByteArray::number(qlonglong(s.st_size)) + " bytes in " +
                         QByteArray::number(qlonglong(s.st_blocks)) + " blocks";
            else if (S_ISREG(s.st_mode))
                entry += ReadFile(path);
            entries[path] = entry;
        }
    }
    return entries;
}

// The entries of `before` and `after` that differ, named.
QString ChangedEntries(const std::map<QString, QByteArray>& before, const std::map<QString, QByteArray>& after)
{
    QStringList changed;
    for (const auto& [path, entry] : after) {
        if (!before.count(path) || before.at(path) != entry)
            changed << QFileInfo(path).fileName() + (before.count(path) ? " changed" : " made");
    }
    for (const auto& [path, entry] : before) {
        if (!after.count(path))
            changed << QFileInfo(path).fileName() + " gone";
    }
    return changed.join(", ");
}

QByteArray JournalText(const QByteArray& entries, char state = '-')
{
    return state + QByteArray("skelwright save journal 1\n") + entries + "end\n";
}

}  // namespace

// Files another user plants in a folder shared with the owner of a pair, a
// template or an XML characterization never make the owner's open or save
// lose, change or write a file beyond what its own save names, nor hang, nor
// lock the owner out. A (kUserA) plants; B (kUserB) opens, and where the row
// says, saves. Every file of both users, in the folder and outside it, is
// the same after as before, but what B's save writes.
TEST_F(CharacterizationFilesTest, FilesPlantedByAnotherUserNeverTurnTheOwnersOpenAgainstIt)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "two users' files need root to make: the rows run only where the tests run as root";
    const QString shared = Path("shared"), victim = Path("victim"), own = Path("a");
    QFile::setPermissions(dir_.path(), QFileDevice::Permissions(0x7711));
    // A journal written into B's group-writable notes.txt renamed to its name, or into B's 0666 pad.txt linked there.
    const auto renamed = [&](const char* entries) {
        return [&, entries](const QString& key) {
            ASSERT_EQ(::rename(QFile::encodeName(shared + "/notes.txt"), QFile::encodeName(JournalPathFor(key))), 0);
            WriteFile(JournalPathFor(key), JournalText(entries));
        };
    };
    const auto linked = [&](const char* entries) {
        return [&, entries](const QString& key) {
            ASSERT_EQ(::link(QFile::encodeName(shared + "/pad.txt"), QFile::encodeName(JournalPathFor(key))), 0);
            WriteFile(JournalPathFor(key), JournalText(entries));
        };
    };
    const struct Row {
        const char* what;
        const char* kind;  // "pair", "template" or "xml"
        mode_t folderMode;
        gid_t folderGroup;
        mode_t fileMode;                                // B's files' mode
        std::function<void(const QString& key)> plant;  // as A
        bool save = false;     // B saves too, and that is refused naming the planted file and its owner
        bool stopped = false;  // A's own pair, whose save A stopped: B reads the last whole version
        std::function<void(const QString& key)> asRoot = nullptr;  // planted by root, where A may not
        const char* refusal = nullptr;  // or, where there is none, B's open is refused saying so
    } rows[] = {
        {"B's group-writable file renamed to the journal's name names a file in B's private folder", "pair", 0770,
         kTeam, 0664, renamed("n ..%2Fvictim%2Fprecious.txt\n")},
        {"... of a template", "template", 0770, kTeam, 0664, renamed("n ..%2Fvictim%2Fprecious.txt\n")},
        {"... of an XML characterization", "xml", 0770, kTeam, 0664, renamed("n ..%2Fvictim%2Fprecious.txt\n")},
        {"B's 0666 file hard-linked at the journal's name in a sticky folder", "pair", 01777, 0, 0644,
         linked("n ..%2Fvictim%2Fprecious.txt\n")},
        {"... of a template", "template", 01777, 0, 0644, linked("n ..%2Fvictim%2Fprecious.txt\n")},
        {"... of an XML characterization", "xml", 01777, 0, 0644, linked("n ..%2Fvictim%2Fprecious.txt\n")},
        {"B's group-writable file renamed to the journal's name names B's companion as made by the save", "pair", 0770,
         kTeam, 0664, renamed("n hero.bones.xml\n")},
        {"A's journal names a file of A's own outside the folder", "pair", 01777, 0, 0644,
         [&](const QString& key) { WriteFile(JournalPathFor(key), JournalText("n ..%2Fa%2Fmine.txt\n")); }},
        {"A's journal names a path through a link A swaps between the folder and B's private one", "pair", 01777, 0,
         0644, [&](const QString& key) { WriteFile(JournalPathFor(key), JournalText("n lnk%2Fprecious.txt\n")); }},
        {"B's 0666 file hard-linked as the stream's former file", "pair", 01777, 0, 0644,
         [&](const QString& key) {
             ASSERT_EQ(::link(QFile::encodeName(shared + "/pad.txt"), QFile::encodeName(PreviousPathFor(key))), 0);
             WriteFile(JournalPathFor(key), JournalText("r hero.vlmc\n"));
         }},
        {"A's copy over B's stream, which is writable by B's group, in a folder whose group is B's", "pair", 02777,
         kGroupB, 0664,
         [&](const QString& key) {
             WriteFile(CopyPathFor(key), "ZZZ");
             WriteFile(JournalPathFor(key), JournalText("p hero.vlmc\n"));
         }},
        {"A's copy over B's stream, which only B may write", "pair", 01777, 0, 0644,
         [&](const QString& key) {
             WriteFile(CopyPathFor(key), "ZZZ");
             WriteFile(JournalPathFor(key), JournalText("p hero.vlmc\n"));
         }},
        {"A's FIFO named as a file rewritten in place", "pair", 01777, 0, 0644,
         [&](const QString& key) {
             ASSERT_EQ(::mkfifo(QFile::encodeName(shared + "/pipe"), 0666), 0);
             ::chmod(QFile::encodeName(shared + "/pipe"), 0666);
             WriteFile(CopyPathFor(shared + "/pipe"), "x");
             WriteFile(JournalPathFor(key), JournalText("p pipe\n"));
         },
         true},
        {"a 256 MiB sparse copy over B's 0666 stream", "pair", 01777, 0, 0666,
         [&](const QString& key) {
             WriteFile(CopyPathFor(key), "");
             ASSERT_EQ(::truncate(QFile::encodeName(CopyPathFor(key)), off_t(256) << 20), 0);
             WriteFile(JournalPathFor(key), JournalText("p hero.vlmc\n"));
         }},
        {"a file of A's at the journal's name in a sticky folder", "pair", 01777, 0, 0644,
         [&](const QString& key) { WriteFile(JournalPathFor(key), "not a journal"); }, true},
        {"A's own pair, whose save was stopped, read by B, who may not write the folder", "pair", 0755, 0, 0644,
         [&](const QString& key) {
             Characterization first = Version(1), second = Version(2);
             ASSERT_TRUE(SaveCharacterizationBinary(first, key, QString(), 0, true));
             SetPairWriteFault([](PairWriteStep step, const QString& target) {
                 if (step == PairWriteStep::kRename && target.endsWith(".bones.xml"))
                     ::_exit(0);  // stopped between the stream and the names
                 return 0;
             });
             SaveCharacterizationBinary(second, key, QString(), 0, true);
             ADD_FAILURE() << "the save was not stopped";
         },
         false, true},
        // Rules no other row holds: the journal is read without following a link to it, and one with a second
        // name is not its owner's; another user's journal neither removes nor puts back a file with a name
        // elsewhere (the folder is one a link planted in may be followed from, and where A may replace B's
        // companion with a file of A's of the same bytes).
        {"a link at the journal's name to a journal of B's in B's private folder naming B's companion", "pair",
         0770, kTeam, 0644,
         [&](const QString& key) {
             ASSERT_EQ(::symlink(QFile::encodeName(victim + "/journal.txt"), QFile::encodeName(JournalPathFor(key))),
                       0);
         }},
        {"a journal of B's, 0644, with a second name at the journal's name", "pair", 0770, kTeam, 0644,
         [](const QString&) {}, false, false,
         [&](const QString& key) {
             ASSERT_EQ(::link(QFile::encodeName(victim + "/journal.txt"), QFile::encodeName(JournalPathFor(key))), 0);
         }},
        {"A's journal names as made by its save a file of A's with a second name in A's folder", "pair", 0770,
         kTeam, 0644,
         [&](const QString& key) {
             const QString names = CompanionPathFor(key);
             const QByteArray bytes = ReadFile(names);
             ASSERT_EQ(::unlink(QFile::encodeName(names)), 0);
             WriteFile(own + "/names.xml", bytes);
             ASSERT_EQ(::link(QFile::encodeName(own + "/names.xml"), QFile::encodeName(names)), 0);
             WriteFile(JournalPathFor(key), JournalText("n hero.bones.xml\n"));
             ::chmod(QFile::encodeName(JournalPathFor(key)), 0644);
         }},
        {"A's journal puts back as B's companion a file of A's with a second name in A's folder", "pair", 0770,
         kTeam, 0644,
         [&](const QString& key) {
             const QString names = CompanionPathFor(key);
             const QByteArray bytes = ReadFile(names);
             ASSERT_EQ(::unlink(QFile::encodeName(names)), 0);
             WriteFile(names, bytes);
             WriteFile(own + "/names.xml", bytes);
             ASSERT_EQ(::link(QFile::encodeName(own + "/names.xml"), QFile::encodeName(PreviousPathFor(names))), 0);
             WriteFile(JournalPathFor(key), JournalText("r hero.bones.xml\n"));
             ::chmod(QFile::encodeName(JournalPathFor(key)), 0644);
         }},
        {"A's new pair, whose first save was stopped, opened by B, who may not write the folder", "pair", 0755, 0,
         0644,
         [&](const QString& key) {
             Characterization first = Version(1);
             SetPairWriteFault([](PairWriteStep step, const QString& target) {
                 if (step == PairWriteStep::kRename && target.endsWith(".bones.xml"))
                     ::_exit(0);  // stopped between the stream and the names
                 return 0;
             });
             SaveCharacterizationBinary(first, key, QString(), 0, true);
             ADD_FAILURE() << "the save was not stopped";
         },
         false, true, nullptr,
         "hero.vlmc was not opened: the save that first wrote it stopped before the pair was written whole, so there "
         "is no whole version of it to read yet. It can be opened once someone who may change its folder saves it "
         "again."},
        {"... of a template, stopped once its file was in place", "template", 0755, 0, 0644,
         [&](const QString& key) {
             int syncs = 0;
             SetPairWriteFault([&](PairWriteStep step, const QString& target) {
                 if (step == PairWriteStep::kSync && target == JournalPathFor(key) && ++syncs == 2)
                     ::_exit(0);  // before the journal is marked done
                 return 0;
             });
             WriteMappingTemplate(key, {{"Hips", false}, {"Spine", true}});
             ADD_FAILURE() << "the save was not stopped";
         },
         false, true, nullptr,
         "hero.xml was not read: the save that first wrote it stopped before it was written whole, so there is no "
         "whole version of it to read yet. It can be read once someone who may change its folder saves it again."},
    };
    int rowNumber = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(rowNumber++) + ": " + row.what + " (" + row.kind + ")");
        for (const QString& folder : {shared, victim, own}) {
            QDir(folder).removeRecursively();
            ASSERT_TRUE(QDir().mkpath(folder));
        }
        const QByteArray sharedName = QFile::encodeName(shared);
        ASSERT_EQ(::chown(sharedName, row.stopped ? kUserA : 0, row.folderGroup), 0);
        ASSERT_EQ(::chmod(sharedName, row.folderMode), 0);
        ASSERT_EQ(::chown(QFile::encodeName(victim), kUserB, kGroupB), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(victim), 0700), 0);
        ASSERT_EQ(::chown(QFile::encodeName(own), kUserA, kGroupA), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(own), 0777), 0);  // A's scratch folder, open to all
        const QString kind = row.kind;
        const QString key = shared + (kind == "pair" ? "/hero.vlmc" : "/hero.xml");
        const std::vector<NameMatchRule> rules = {{"Hips", false}, {"Spine", true}};
        Characterization first = Version(1), second = Version(2);
        AsB([&] {
            WriteFile(victim + "/precious.txt", "B's precious file");
            // A journal of B's own, in B's private folder, that names B's companion as made by its save.
            WriteFile(victim + "/journal.txt", JournalText("n hero.bones.xml\n"));
            ::chmod(QFile::encodeName(victim + "/journal.txt"), 0644);
            if (!row.stopped) {
                ASSERT_TRUE(kind == "pair"       ? SaveCharacterizationBinary(first, key, QString(), 0, true)
                            : kind == "template" ? WriteMappingTemplate(key, rules)
                                                 : SaveCharacterizationXml(first, key, true));
                for (const QString& path : QStringList({key, CompanionPathFor(key)}))
                    ::chmod(QFile::encodeName(path), row.fileMode);
                WriteFile(shared + "/notes.txt", "B's notes");
                ::chown(QFile::encodeName(shared + "/notes.txt"), uid_t(-1), kTeam);
                ::chmod(QFile::encodeName(shared + "/notes.txt"), 0664);
                WriteFile(shared + "/pad.txt", "B's pad");
                ::chmod(QFile::encodeName(shared + "/pad.txt"), 0666);
            }
        });
        AsA([&] {
            WriteFile(own + "/mine.txt", "A's own file");
            row.plant(key);
        });
        if (row.asRoot)
            row.asRoot(key);
        const QStringList folders = {shared, victim, own};
        const std::map<QString, QByteArray> before = EntriesOf(folders);
        ASSERT_TRUE(before.count(key)) << "nothing to open";
        const bool swapped = std::strstr(row.what, "swaps") != nullptr;
        pid_t swapper = -1;
        if (swapped) {
            swapper = ::fork();
            if (swapper == 0) {
                const gid_t groups[] = {kGroupA};
                ::alarm(120);
                if (::setgroups(1, groups) == 0 && ::setresgid(kGroupA, kGroupA, kGroupA) == 0 &&
                    ::setresuid(kUserA, kUserA, kUserA) == 0) {
                    const QByteArray lnk = QFile::encodeName(shared + "/lnk"), next = lnk + ".next";
                    for (int i = 0;; ++i) {
                        if (::symlink(i % 2 ? "../victim" : ".", next) == 0)
                            ::rename(next, lnk);
                    }
                }
                ::_exit(1);
            }
        }
        const QString journalName = QFileInfo(JournalPathFor(key)).fileName();
        AsB([&] {
            for (int open = 0; open < (swapped ? 300 : 1); ++open) {
                QString message;
                CaptureStdout();
                bool read = false;
                QString hips;
                if (kind == "pair") {
                    const std::unique_ptr<Characterization> back = LoadCharacterizationBinary(key, QString(), &message);
                    read = back != nullptr;
                    hips = back ? back->GetNodeName(1) + QString::number(back->JointGeometryAt(1).translate[0]) : "";
                } else if (kind == "template") {
                    std::vector<NameMatchRule> loaded;
                    LoadMappingTemplate(key, loaded, &message);
                    read = loaded.size() == rules.size();
                } else {
                    const std::unique_ptr<Characterization> back = LoadCharacterizationXml(key, &message);
                    read = back != nullptr;
                    hips = back ? back->GetNodeName(1) + QString::number(back->JointGeometryAt(1).translate[0]) : "";
                }
                const QString told = (message + " " + QString::fromStdString(GetCapturedStdout())).trimmed();
                if (row.refusal) {
                    EXPECT_FALSE(read);
                    EXPECT_EQ(message.toStdString(), row.refusal);
                    continue;
                }
                EXPECT_TRUE(read) << "B's open was refused: " << told.toStdString();
                if (kind != "template") {
                    EXPECT_EQ(hips, "v11") << "the last whole version";
                }
                if (row.stopped) {
                    EXPECT_TRUE(told.startsWith("An earlier save of hero.vlmc did not finish")) << told.toStdString();
                } else if (!swapped || open == 0) {
                    // Said to the caller, not only on the console: which journal, whose, that the files may be
                    // parts of two saves, and what to do.
                    EXPECT_TRUE(message.contains(journalName) && message.contains("user 6100") &&
                                message.contains("may hold parts of two saves") &&
                                message.contains("remove " + JournalPathFor(key)))
                        << told.toStdString();
                }
                if (::access(QFile::encodeName(victim + "/precious.txt"), F_OK) != 0) {
                    ADD_FAILURE() << "B's open " << open << " removed precious.txt";
                    break;
                }
            }
            if (row.save) {
                QString message;
                EXPECT_FALSE(SaveCharacterizationBinary(second, key, QString(), 0, true, &message));
                EXPECT_TRUE(message.contains(journalName) && message.contains("user 6100") &&
                            !message.contains("earlier save"))
                    << message.toStdString();
                // What B can do: save under another name, or have the file, named in full, removed.
                EXPECT_TRUE(message.contains("save under another name, or ask user 61001 or an administrator to remove " +
                                             JournalPathFor(key)))
                    << message.toStdString();
            }
        });
        if (swapper > 0) {
            ::kill(swapper, SIGKILL);
            ::waitpid(swapper, nullptr, 0);
        }
        std::map<QString, QByteArray> after = EntriesOf(folders);
        std::map<QString, QByteArray> expected = before;
        for (const char* swapping : {"/lnk", "/lnk.next"})
            expected.erase(shared + swapping), after.erase(shared + swapping);
        EXPECT_EQ(ChangedEntries(expected, after).toStdString(), "");
    }
}

// A file kept aside is the saver's own: a byte-identical copy of a damaged
// companion, or of a damaged template, that another user puts in a sticky
// folder at the name it would be kept under is not taken for it, and the
// owner's damaged bytes outlive that user's removing the copy.
TEST_F(CharacterizationFilesTest, AnotherUsersCopyIsNeverTakenForTheKeptFile)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "two users' files need root to make: the rows run only where the tests run as root";
    QFile::setPermissions(dir_.path(), QFileDevice::Permissions(0x7711));
    const std::vector<NameMatchRule> rules = {{"Hips", false}, {"Spine", true}};
    for (const bool pair : {true, false}) {
        SCOPED_TRACE(pair ? "pair" : "template");
        const QString shared = Path(pair ? "sticky-pair" : "sticky-template");
        const QString key = shared + (pair ? "/hero.vlmc" : "/hero.xml"), damaged = pair ? CompanionPathFor(key) : key;
        const QByteArray bytes = pair ? NamesAsElementText() : QByteArray("<config_root><k>");
        ASSERT_TRUE(QDir().mkpath(shared));
        ASSERT_EQ(::chmod(QFile::encodeName(shared), 01777), 0);
        const auto save = [&](QString& message) {
            return pair ? SaveCharacterizationBinary(out_, key, QString(), 0, true, &message)
                        : WriteMappingTemplate(key, rules, &message);
        };
        AsB([&] {
            QString message;
            ASSERT_TRUE(save(message)) << message.toStdString();
            WriteFile(damaged, bytes);  // not read whole
            ::chmod(QFile::encodeName(damaged), 0644);
        });
        AsA([&] { WriteFile(damaged + ".damaged", ReadFile(damaged)); });
        AsB([&] {
            QString message;
            EXPECT_TRUE(save(message)) << message.toStdString();
            EXPECT_FALSE(message.contains(QFileInfo(damaged).fileName() + ".damaged")) << message.toStdString();
        });
        AsA([&] { EXPECT_EQ(::unlink(QFile::encodeName(damaged + ".damaged")), 0); });
        int kept = 0;
        for (const QFileInfo& file : QDir(shared).entryInfoList({"*.damaged"}, QDir::Files | QDir::Hidden))
            kept += file.ownerId() == kUserB && ReadFile(file.filePath()) == bytes;
        EXPECT_EQ(kept, 1) << "B's damaged file is kept once, as B's";
    }
}

// No save and no open is held by its journal: a pipe put at the journal's
// name while the save marks it done (as a member of a group-writable folder
// could) is not waited on, and the save is undone; a journal of the greatest
// length, each line costing the recovery, is refused at once as none of a
// save's.
TEST_F(CharacterizationFilesTest, NoSaveNorOpenIsHeldByItsJournal)
{
    for (const bool pair : {true, false}) {
        SCOPED_TRACE(pair ? "pair" : "XML characterization");
        const QString key = Path(pair ? "mark-pair/hero.vlmc" : "mark-xml/hero.xml"), journal = JournalPathFor(key);
        QDir().mkpath(QFileInfo(key).path());
        const auto save = [&](int v) {
            Characterization version = Version(v);
            return pair ? SaveCharacterizationBinary(version, key, QString(), 0, true)
                        : SaveCharacterizationXml(version, key, true);
        };
        ASSERT_TRUE(save(1));
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(10);
            int syncs = 0;
            SetPairWriteFault([&](PairWriteStep step, const QString& target) {
                if (step == PairWriteStep::kSync && target == journal && ++syncs == 2) {  // about to be marked
                    ::rename(QFile::encodeName(journal), QFile::encodeName(journal + ".moved"));
                    ::mkfifo(QFile::encodeName(journal), 0666);
                }
                return 0;
            });
            ::_exit(save(2) ? 0 : 1);
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status)) << "the save waited on the pipe";
        EXPECT_EQ(WEXITSTATUS(status), 1) << "the save could not be marked done, and is undone";
        struct stat fifo;
        EXPECT_TRUE(::lstat(QFile::encodeName(journal), &fifo) == 0 && S_ISFIFO(fifo.st_mode)) << "the pipe is left";
        QFile::remove(journal);
        QFile::remove(journal + ".moved");
        QString message;
        CaptureStdout();
        const std::unique_ptr<Characterization> back =
            pair ? LoadCharacterizationBinary(key, QString(), &message) : LoadCharacterizationXml(key, &message);
        GetCapturedStdout();
        ASSERT_TRUE(back) << message.toStdString();
        EXPECT_EQ(back->GetNodeName(1), "v1");
    }
    // A journal of the user's own as long as one may be, of lines each naming the last name a kept file may take.
    const QString hero = Path("mark-pair/hero.vlmc");
    QByteArray lines = "r hero.vlmc\n";
    while (lines.size() < (1 << 16) - 80)
        lines += "k hero(999).vlmc.damaged\n";
    WriteFile(JournalPathFor(hero), JournalText(lines));
    ::chmod(QFile::encodeName(JournalPathFor(hero)), 0644);
    QString message;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(LoadCharacterizationBinary(hero, QString(), &message));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_TRUE(message.contains("holds more than a save of these files writes")) << message.toStdString();
}

// A save's journal is on disk, and so is its name in the folder, before the
// first of the files it names changes; and it is open to no one who may not
// read every one of those files.
TEST_F(CharacterizationFilesTest, TheJournalIsOnDiskFirstAndNoWiderThanItsFiles)
{
    const mode_t umaskWas = ::umask(022);
    for (const mode_t mode : {0600, 0640, 0664}) {
        const QString hero = Path(QString("m%1/hero.vlmc").arg(mode, 0, 8)), journal = JournalPathFor(hero);
        SCOPED_TRACE(hero.toStdString());
        QDir().mkpath(QFileInfo(hero).path());
        ASSERT_TRUE(SaveCharacterizationBinary(out_, hero, QString(), 0, true));
        for (const QString& path : {hero, CompanionPathFor(hero)})
            ::chmod(QFile::encodeName(path), mode);
        QStringList calls;  // "STEP NAME", NAME as the journal or a file of the pair
        mode_t widest = 0;
        SetPairWriteFault([&](PairWriteStep step, const QString& target) {
            struct stat s;
            if (::lstat(QFile::encodeName(journal), &s) == 0)
                widest |= s.st_mode & 0777;
            calls << QString("%1 %2").arg(int(step)).arg(target == journal ? "journal" : QFileInfo(target).fileName());
            return 0;
        });
        EXPECT_TRUE(SaveCharacterizationBinary(out_, hero, QString(), 0, true));
        SetPairWriteFault(nullptr);
        const int made = calls.indexOf(QString("%1 journal").arg(int(PairWriteStep::kCall)));
        const int synced = calls.indexOf(QString("%1 journal").arg(int(PairWriteStep::kSync)), made);
        int changed = made;
        while (changed >= 0 && changed + 1 < calls.size() && calls[++changed].endsWith(" journal")) {
        }
        EXPECT_TRUE(made >= 0 && synced > made && synced < changed) << calls.join(", ").toStdString();
        EXPECT_EQ(widest & ~mode, 0u) << "the journal was " << std::oct << widest;
    }
    ::umask(umaskWas);
}

// A damaged companion is kept aside once: a save stopped after it kept it,
// and undone, leaves no copy behind, and the next save keeps one, wherever
// the stopped one was. It is kept only once the journal that names it is
// written, so a save stopped before that leaves none either.
TEST_F(CharacterizationFilesTest, ADamagedCompanionIsKeptOnceWhereverItsSaveWasStopped)
{
    for (const char* stop : {"before its journal", "right after it is kept", "between its files"}) {
        SCOPED_TRACE(stop);
        const QString folder = Path(stop), hero = folder + "/hero.vlmc", names = folder + "/hero.bones.xml";
        QDir().mkpath(folder);
        ASSERT_TRUE(SaveCharacterizationBinary(out_, hero, QString(), 0, true));
        WriteFile(names, NamesAsElementText());  // not read whole
        const bool early = std::strcmp(stop, "before its journal") == 0;
        const bool kept = std::strcmp(stop, "right after it is kept") == 0;
        const pid_t child = ::fork();
        if (child == 0) {
            int calls = -1;  // the calls since the journal was synced: the kept file is made after the first
            SetPairWriteFault([&](PairWriteStep step, const QString& target) {
                if (step == PairWriteStep::kSync && target == JournalPathFor(hero) && calls < 0)
                    calls = 0;
                else if (step == PairWriteStep::kCall && calls >= 0)
                    ++calls;
                if (early  ? step == PairWriteStep::kCall && target == JournalPathFor(hero)
                    : kept ? calls == 2
                           : step == PairWriteStep::kRename && target == names)
                    ::_exit(0);
                return 0;
            });
            SaveCharacterizationBinary(out_, hero, QString(), 0, true);
            ::_exit(1);
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        ASSERT_EQ(status, 0) << "the save was not stopped";
        const QDir::Filters all = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
        QString message;
        EXPECT_TRUE(LoadCharacterizationBinary(hero, QString(), &message)) << message.toStdString();
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join(" ").toStdString(),
                  "hero.bones.xml hero.vlmc")
            << "after the open";
        EXPECT_TRUE(SaveCharacterizationBinary(out_, hero, QString(), 0, true, &message)) << message.toStdString();
        EXPECT_EQ(QDir(folder).entryList(all).join(" ").toStdString(),
                  "hero.bones.xml hero.bones.xml.damaged hero.vlmc");
        EXPECT_EQ(ReadFile(folder + "/hero.bones.xml.damaged"), NamesAsElementText());
    }
}

// Journals of every shape, made at random and mutated from whole ones, with
// random files at the names they may name: an open never crashes nor hangs,
// and changes no file but those of the pair and the save's own names beside
// it, in the folder or outside it.
TEST_F(CharacterizationFilesTest, RandomJournalsChangeNothingButThePair)
{
    std::mt19937 random(61);
    const QString folder = Path("fuzz"), outside = Path("outside"), hero = folder + "/hero.vlmc";
    QDir().mkpath(outside);
    QDir().mkpath(folder);
    Characterization first = Version(1);
    ASSERT_TRUE(SaveCharacterizationBinary(first, hero, QString(), 0, true));
    const QByteArray stream = ReadFile(hero), names = ReadFile(CompanionPathFor(hero));
    const QStringList pairNames = {"hero.vlmc", "hero.bones.xml"};
    const std::vector<QByteArray> pieces = {"r ",       "n ",        "p ",
                                            "x ",       "hero.vlmc", "hero.bones.xml",
                                            "..%2F",    "%2F",       "outside%2Fkeep.txt",
                                            "keep.txt", "other.txt", "/",
                                            "\n",       "end\n",     "%00",
                                            "%",        "..",        ".",
                                            "-",        "+",         "skelwright save journal 1\n",
                                            " "};
    const std::vector<QByteArray> targets = {"hero.vlmc",
                                             "hero.bones.xml",
                                             "other.txt",
                                             "..%2Foutside%2Fkeep.txt",
                                             QFile::encodeName(outside + "/keep.txt").toPercentEncoding(),
                                             "fuzz%2Fhero.vlmc",
                                             ".",
                                             "..",
                                             ""};
    QStringList besides;  // the save's own names beside the pair
    for (const QString& name : pairNames)
        besides << StagedPathFor(folder + "/" + name) << PreviousPathFor(folder + "/" + name)
                << CopyPathFor(folder + "/" + name) << JournalPathFor(folder + "/" + name);
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    const int rounds = 3000;
    int opened = 0;
    ::alarm(600);  // an open that hangs fails the suite instead of holding it
    for (int round = 0; round < rounds; ++round) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        WriteFile(hero, stream);
        WriteFile(CompanionPathFor(hero), names);
        WriteFile(folder + "/other.txt", "other");
        WriteFile(outside + "/keep.txt", "keep");
        // A whole journal mutated, or pieces at random.
        QByteArray text;
        if (pick(4)) {
            QByteArray lines;
            for (int n = pick(3); n >= 0; --n)
                lines += QByteArray(1, "rnpx"[pick(4)]) + ' ' + targets[std::size_t(pick(int(targets.size())))] + '\n';
            text = JournalText(lines, pick(2) ? '-' : '+');
            for (int m = pick(8) - 4; m >= 0; --m) {
                const int at = pick(text.size() + 1);
                switch (pick(3)) {
                case 0: text.insert(at, pieces[std::size_t(pick(int(pieces.size())))]); break;
                case 1: text.remove(at, pick(8)); break;
                default:
                    if (at < text.size())
                        text[at] = char(random());
                }
            }
        } else {
            for (int n = pick(12); n >= 0; --n)
                text += pieces[std::size_t(pick(int(pieces.size())))];
        }
        WriteFile(JournalPathFor(hero), text);
        // Random files at the names a journal may lead to.
        for (const QString& path : besides.mid(0, besides.size())) {
            if (path == JournalPathFor(hero) || pick(3) != 0)
                continue;
            switch (pick(4)) {
            case 0: WriteFile(path, QByteArray(pick(100), 'z')); break;
            case 1: ::symlink("../outside/keep.txt", QFile::encodeName(path)); break;
            case 2: ::link(QFile::encodeName(folder + "/other.txt"), QFile::encodeName(path)); break;
            default: ::mkfifo(QFile::encodeName(path), 0600);
            }
        }
        std::map<QString, QByteArray> before = EntriesOf({folder, outside});
        QString message;
        CaptureStdout();
        opened += LoadCharacterizationBinary(hero, QString(), &message) != nullptr;
        GetCapturedStdout();
        std::map<QString, QByteArray> after = EntriesOf({folder, outside});
        // A second name of a file may go: it is the number of its names alone that changes.
        for (auto* entries : {&before, &after}) {
            for (auto& entry : *entries)
                entry.second = entry.second.left(entry.second.lastIndexOf(':', entry.second.indexOf(' '))) +
                               entry.second.mid(entry.second.indexOf(' '));
        }
        for (const QString& name : pairNames + besides) {
            const QString path = name.contains('/') ? name : folder + "/" + name;
            before.erase(path), after.erase(path);
        }
        const QString changed = ChangedEntries(before, after);
        EXPECT_EQ(changed.toStdString(), "") << "journal " << text.toPercentEncoding(" \n").toStdString();
        if (!changed.isEmpty())
            break;
    }
    ::alarm(0);
    std::cout << opened << " of " << rounds << " random journals left a pair that opened." << std::endl;
}

// A file the user may write in a folder where no file can be made is saved
// in place (root may make files anywhere, so it runs as an ordinary user).
TEST_F(CharacterizationFilesTest, WritableFilesInALockedFolderAreSaved)
{
    const QString folder = Path("locked");
    const QString binary = folder + "/hero.vlmc", xml = folder + "/hero.xml", settings = folder + "/skelwright.xml";
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile::setPermissions(dir_.path(), QFileDevice::Permissions(0x7711));
    ASSERT_TRUE(geteuid() != 0 || ::chown(folder.toUtf8().constData(), kOrdinaryUser, kOrdinaryGroup) == 0);
    AsOrdinaryUser([&] {
        ASSERT_TRUE(SaveCharacterizationBinary(out_, binary, QString(), 0, true));
        ASSERT_TRUE(SaveCharacterizationXml(out_, xml, true));
        WriteFile(settings, "<config_root/>");
        ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));

        Characterization changed = MakeCharacterization(99);
        changed.SetNodeName(1, QStringLiteral("changed_hips"));
        const bool savedBinary = SaveCharacterizationBinary(changed, binary, QString(), 1, true);
        const bool savedXml = SaveCharacterizationXml(changed, xml, false);
        XmlSettingsStore store(settings);
        store.SetValue("k", "v");
        const bool savedSettings = store.Write();
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        EXPECT_TRUE(savedBinary && savedXml && savedSettings);
        EXPECT_EQ(ReadFile(binary), Stream(changed, 1, true));
        EXPECT_EQ(LoadCharacterizationBinary(binary, QString())->GetNodeName(1), "changed_hips");
        EXPECT_EQ(LoadCharacterizationXml(xml)->GetNodeName(1), "changed_hips");
        EXPECT_EQ(XmlSettingsStore(settings).GetValue("k", "d"), "v");
    });
}

// The stream reader's own tests cover every kind of damage; here the file
// layer: a failure names the file, and bytes after the stream are ignored.
TEST_F(CharacterizationFilesTest, DamagedBinaryFilesAreRejected)
{
    const QByteArray good = Stream(out_, kStreamBigEndian, true);
    for (const auto& file :
         {std::make_pair("empty.vlmc", QByteArray()), std::make_pair("truncated.vlmc", good.left(700)),
          std::make_pair("garbage.vlmc", QByteArray(5000, '\x5a'))}) {
        WriteFile(Path(file.first), file.second);
        QString message;
        EXPECT_FALSE(LoadCharacterizationBinary(Path(file.first), QString(), &message)) << file.first;
        EXPECT_TRUE(message.contains(file.first)) << message.toStdString();
    }
    EXPECT_FALSE(LoadCharacterizationBinary(Path("missing.vlmc"), QString()));
    EXPECT_FALSE(LoadCharacterizationBinary(dir_.path(), QString()));
    WriteFile(Path("longer.vlmc"), good + QByteArray(300, '\x01'));
    EXPECT_TRUE(LoadCharacterizationBinary(Path("longer.vlmc"), QString()));
}

TEST(NumberTexts, ShortestTextThatReadsBackExactly)
{
    const std::pair<float, const char*> cases[] = {
        {0.0000005f, "0"}, {-0.0f, "0"},  {1e-6f, "1e-06"}, {100000.f, "100000"},       {1234567.f, "1234567"},
        {-0.25f, "-0.25"}, {0.1f, "0.1"}, {1e20f, "1e+20"}, {3.14159265f, "3.1415927"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FloatToText(c.first), c.second);
    // Every float that is not near zero reads back exactly.
    std::mt19937 rng(5);
    for (int i = 0; i < 20000; ++i) {
        const std::uint32_t bits = std::uint32_t(rng());
        float f;
        std::memcpy(&f, &bits, sizeof f);
        if (std::isnan(f) || std::fabs(f) < 1e-6f)
            continue;
        bool ok = false;
        ASSERT_EQ(FloatToText(f).toFloat(&ok), f) << FloatToText(f).toStdString();
        ASSERT_TRUE(ok);
    }
}

TEST_F(CharacterizationFilesTest, XmlFileRoundTripsWithAndWithoutLimits)
{
    const QString path = Path("hero.xml");
    const QByteArray damaged = "<config_root><joints><Spine/></joints><name value=";
    WriteFile(path, damaged);  // kept aside, then replaced whole
    QString message = QStringLiteral("stale");
    ASSERT_TRUE(SaveCharacterizationXml(out_, path, true, &message));
    EXPECT_EQ(message, "The former hero.xml could not be read; it is kept as hero.xml.damaged.");
    EXPECT_EQ(ReadFile(Path("hero.xml.damaged")), damaged);
    EXPECT_EQ(Items(path, "Reference").size(), 11);
    EXPECT_EQ(Items(path, "LeftUpLeg").size(), 6) << "its record has no limits";
    EXPECT_EQ(Items(path, "Hips")[0].split(' ')[1], "1234567");
    std::vector<QString> used;
    XmlSettingsStore(path).GetList("bone_used", used);
    ASSERT_EQ(used.size(), 172u);
    EXPECT_EQ(used[0], "7");

    std::unique_ptr<Characterization> back = LoadCharacterizationXml(path, &message);
    ASSERT_TRUE(back);
    EXPECT_TRUE(message.isEmpty());
    EXPECT_EQ(back->GetName(), "Hero");
    EXPECT_EQ(back->GetHub(), nullptr);
    EXPECT_EQ(back->GetNodeNames(), out_.GetNodeNames());
    EXPECT_EQ(std::memcmp(&back->GetNodeFlags(), &out_.GetNodeFlags(), sizeof(VLMCharacterDefinition)), 0);
    for (int node = 0; node < VLM_NODE_COUNT; ++node)
        ASSERT_EQ(std::memcmp(&back->JointGeometryAt(node), &out_.JointGeometryAt(node), sizeof(VLMJointGeometry)), 0)
            << "node " << node << " comes back bit for bit";

    // A byte that is not UTF-8 reads as U+FFFD, in a characterization file
    // and in a template, and the message says where.
    std::vector<NameMatchRule> rules(VLM_NODE_COUNT, NameMatchRule{QStringLiteral("hips"), false}), read;
    ASSERT_TRUE(WriteMappingTemplate(Path("t.xml"), rules));
    WriteFile(Path("t.xml"), ReadFile(Path("t.xml")).replace("\"hips", "\"\xE9hips"));
    const int column = int(ReadFile(Path("t.xml")).split('\n')[2].indexOf('\xE9')) + 1;  // attributes in any order
    WriteFile(Path("e9.xml"), ReadFile(path).replace("rig:joint_3 ", "rig:joint_3\xE9"));
    back = LoadCharacterizationXml(Path("e9.xml"), &message);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetNodeName(3), QString::fromUtf8("rig:joint_3\xEF\xBF\xBD<\"&'>"));
    EXPECT_EQ(message, "e9.xml holds a byte that is not valid UTF-8, at line 7, column 33; it is read as U+FFFD.");
    LoadMappingTemplate(Path("t.xml"), read, &message);
    ASSERT_EQ(read.size(), rules.size());
    EXPECT_EQ(read[0].pattern + message,
              QString::fromUtf8("\xEF\xBF\xBDhips") +
                  "t.xml holds 172 bytes that are not valid UTF-8, the first at line 3, column " +
                  QString::number(column) + "; they are read as U+FFFD.");

    // Without limits: six items per node, flags 0 or 1, records without limits.
    out_.ClearNode(2);
    ASSERT_TRUE(SaveCharacterizationXml(out_, path, false));
    EXPECT_TRUE(Items(path, "LeftUpLeg").empty()) << "no entry of the unassigned node is left";
    EXPECT_EQ(Items(path, "Reference").mid(3), QStringList({"0 0 0", "0 0 0", "0"}));
    used.clear();
    XmlSettingsStore(path).GetList("bone_used", used);
    back = LoadCharacterizationXml(path);
    ASSERT_TRUE(back);
    for (int node = 0; node < VLM_NODE_COUNT; ++node) {
        ASSERT_EQ(used[node], out_.IsNodeAssigned(node) ? "1" : "0");
        ASSERT_EQ(back->GetNodeFlags().words[node], out_.IsNodeAssigned(node) ? 1u : 0u);
        const VLMJointGeometry& a = back->JointGeometryAt(node);
        if (out_.IsNodeAssigned(node)) {
            EXPECT_EQ(std::memcmp(&a, &out_.JointGeometryAt(node), offsetof(VLMJointGeometry, preRotQ)), 0) << node;
            EXPECT_EQ(a.limitEnableMask, 0u);
        }
    }

    // A mask of 9 (minimum and maximum X): eleven items, restored with word 7.
    Characterization nine(QStringLiteral("Nine"), nullptr);
    nine.SetNodeName(1, QStringLiteral("hips"));
    VLMJointGeometry g;
    VLMJointGeometryInit(&g);
    VLMJointGeometrySetTranslate(&g, 0.0000005f, 1.f, 2.5f);
    VLMJointGeometrySetLimitEnableMask(&g, 9);
    nine.SetJointGeometry(1, g);
    ASSERT_TRUE(SaveCharacterizationXml(nine, path, true));
    const QStringList items = Items(path, "Hips");
    ASSERT_EQ(items.size(), 11);
    EXPECT_EQ(items.mid(0, 1) + items.mid(3, 2), QStringList({"0 1 2.5", "1 0 0", "1 0 0"}));
    back = LoadCharacterizationXml(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->JointGeometryAt(1).limitEnableMask, 9u);
    EXPECT_EQ(back->GetNodeFlags().words[1], 7u);

    QDir(dir_.path()).mkdir("folder.xml");
    EXPECT_FALSE(SaveCharacterizationXml(out_, Path("folder.xml"), true, &message));
    EXPECT_TRUE(message.contains("folder.xml"));
}

TEST_F(CharacterizationFilesTest, MalformedXmlFilesAreRejected)
{
    ASSERT_TRUE(SaveCharacterizationXml(out_, Path("good.xml"), true));
    const QByteArray text = ReadFile(Path("good.xml"));
    const auto hips = [](QDomElement root) { return root.firstChildElement("joints").firstChildElement("Hips"); };
    const auto item = [&](QDomElement root, int n) {
        QDomElement e = hips(root).firstChildElement();
        while (n-- > 0)
            e = e.nextSiblingElement();
        return e;
    };
    const auto names = [](QDomElement root) { return root.firstChildElement("bone_correspondance"); };
    const std::vector<std::pair<const char*, std::function<void(QDomElement)>>> edits = {
        {"no names", [&](QDomElement root) { root.removeChild(names(root)); }},
        {"171 names", [&](QDomElement root) { names(root).removeChild(names(root).lastChildElement()); }},
        {"173 names", [&](QDomElement root) { names(root).appendChild(root.ownerDocument().createElement("x")); }},
        {"a node's geometry missing", [&](QDomElement root) { hips(root).setTagName("Hipster"); }},
        {"too few numbers", [&](QDomElement root) { item(root, 0).setAttribute("value", "1 2"); }},
        {"too few flags", [&](QDomElement root) { item(root, 4).setAttribute("value", "1"); }},
        {"rotation order 13", [&](QDomElement root) { item(root, 10).setAttribute("value", "13"); }},
        {"rotation order -1", [&](QDomElement root) { item(root, 10).setAttribute("value", "-1"); }},
        {"an item missing", [&](QDomElement root) { hips(root).removeChild(item(root, 9)); }},
    };
    for (const auto& edit : edits) {
        QDomDocument doc;
        ASSERT_TRUE(doc.setContent(text));
        edit.second(doc.documentElement());
        WriteFile(Path("bad.xml"), doc.toByteArray());
        QString message;
        EXPECT_FALSE(LoadCharacterizationXml(Path("bad.xml"), &message)) << edit.first;
        EXPECT_FALSE(message.isEmpty()) << edit.first;
    }
    CaptureStdout();
    for (const QByteArray& bad : {text.left(text.size() / 2), QByteArray("not xml"), QByteArray("<config_root/>")}) {
        WriteFile(Path("bad.xml"), bad);
        EXPECT_FALSE(LoadCharacterizationXml(Path("bad.xml"))) << bad.left(40).constData();
    }
    EXPECT_NE(GetCapturedStdout().find("Error in parsing"), std::string::npos);
    EXPECT_FALSE(LoadCharacterizationXml(Path("missing.xml")));

    // Items go by position, and a text that is not a finite float reads as 0:
    // no infinity or NaN reaches the rest pose.
    for (const char* numbers : {"x 1 abc", "nan 1 inf", "-inf 1 1e39", "-1e39 1 NaN"}) {
        QDomDocument doc;
        ASSERT_TRUE(doc.setContent(text));
        item(doc.documentElement(), 0).setAttribute("value", numbers);
        item(doc.documentElement(), 0).setAttribute("key", "Whatever");
        WriteFile(Path("words.xml"), doc.toByteArray());
        std::unique_ptr<Characterization> back = LoadCharacterizationXml(Path("words.xml"));
        ASSERT_TRUE(back) << numbers;
        const float* t = back->JointGeometryAt(1).translate;
        EXPECT_EQ(std::vector<float>(t, t + 3), std::vector<float>({0.f, 1.f, 0.f})) << numbers;
    }
}

// Bit flips, cuts, removed and inserted runs in a valid ".vlmc", its companion
// and a valid XML file: each loads or fails, never more; the sanitizer build
// checks every access.
TEST_F(CharacterizationFilesTest, MutatedFilesLoadOrFailCleanly)
{
    ASSERT_TRUE(SaveCharacterizationBinary(out_, Path("seed.vlmc"), QString(), 1, true));
    ASSERT_TRUE(SaveCharacterizationXml(out_, Path("seed.xml"), true));
    const QByteArray stream = ReadFile(Path("seed.vlmc"));
    const QByteArray xml = ReadFile(Path("seed.xml"));
    const QString companion = Path("seed.bones.xml");
    const QByteArray names = ReadFile(companion);

    std::mt19937 rng(11);
    const auto mutate = [&](QByteArray bytes, bool text) {
        const int at = int(rng() % unsigned(bytes.size()));
        switch (rng() % 4) {
        case 0:
            for (int n = 1 + int(rng() % 8); n > 0; --n)
                bytes.data()[rng() % unsigned(bytes.size())] ^= char(1u << (rng() % 8));
            break;
        case 1: bytes.truncate(at); break;
        case 2: bytes.remove(at, 1 + int(rng() % 64)); break;
        default:
            for (int n = 1 + int(rng() % 64); n > 0; --n)
                bytes.insert(at, text ? "<>\"= /1-e.9"[rng() % 11] : char(rng()));
        }
        return bytes;
    };

    int binaryLoaded = 0;
    int xmlLoaded = 0;
    const int rounds = 1500;
    CaptureStdout();  // the parse errors of damaged XML
    for (int round = 0; round < rounds; ++round) {
        WriteFile(Path("m.vlmc"), mutate(stream, false));
        WriteFile(companion, round % 2 ? mutate(names, true) : names);
        binaryLoaded += LoadCharacterizationBinary(Path("m.vlmc"), companion) != nullptr;
        WriteFile(Path("m.xml"), mutate(xml, true));
        const std::unique_ptr<Characterization> c = LoadCharacterizationXml(Path("m.xml"));
        if (c) {
            ++xmlLoaded;
            for (int node = 0; node < VLM_NODE_COUNT; ++node)
                ASSERT_LE(unsigned(c->JointGeometryAt(node).rotationOrder), 12u);
        }
    }
    GetCapturedStdout();
    EXPECT_GT(binaryLoaded, rounds / 20);
    EXPECT_LT(binaryLoaded, rounds);
    EXPECT_GT(xmlLoaded, rounds / 20);
    EXPECT_LT(xmlLoaded, rounds);
}
