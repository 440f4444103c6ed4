#include "model/xml_settings_store.h"

#include "model/characterization.h"
#include "model/characterization_files.h"
#include "model/mapping_template.h"
#include "model/xml_document.h"
#include "rig/vlm_names.h"

#include "test_support_fs.h"

#include <QDomDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <thread>
#include <vector>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/stat.h>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

class XmlSettingsStoreTest : public testing::Test {
protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

QStringList ChildNames(const QDomElement& element)
{
    QStringList names;
    for (QDomElement c = element.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        names << c.tagName();
    return names;
}

TEST_F(XmlSettingsStoreTest, ValuesAndListsRoundTrip)
{
    const QString path = Path("settings.xml");
    {
        XmlSettingsStore store(path);
        store.SetValue("name_match", "match_type", "Contains");
        store.SetValue("top", "at the root");
        store.SetList("name_match", "delimiter_list", {"-", "|"});
        store.SetPairList("mirror", "mirror_list", {{"Left", "Right"}, {"L_", "R_"}});
        store.SetFlaggedPairList("match_list", "use_root", false,
                                 {{"a", "1", false}, {"b", "2", true}, {"c", "3", false}});
        store.SetList("empty", {});
        store.SetValue("spaced group", "a key", "x");  // written as spaced_group/a_key
        // A rewritten list replaces the old one and moves to the end of its group.
        store.SetPairList("mirror", "other", {});
        store.SetPairList("mirror", "mirror_list", {{"Left", "Right"}, {"L_", "R_"}});
    }
    XmlSettingsStore store(path);
    EXPECT_EQ(store.GetValue("name_match", "match_type", "Suffix"), "Contains");
    EXPECT_EQ(store.GetValue("spaced_group", "a_key", "d"), "x");
    EXPECT_EQ(store.GetValue("spaced group", "a key", "d"), "d");  // looked up as given
    EXPECT_EQ(store.GetValue("", "top", "d"), "at the root");
    EXPECT_EQ(ChildNames(store.FindGroup("", false)),
              QStringList({"name_match", "top", "mirror", "match_list", "empty", "spaced_group"}));
    EXPECT_EQ(ChildNames(store.FindGroup("mirror", false)), QStringList({"other", "mirror_list"}));

    XmlSettingsStore::StringList plain{"kept"};
    store.GetList("name_match", "delimiter_list", plain);
    EXPECT_EQ(plain, (XmlSettingsStore::StringList{"kept", "-", "|"}));  // appended, never cleared
    XmlSettingsStore::PairList pairs;
    store.GetPairList("mirror", "mirror_list", pairs);
    EXPECT_EQ(pairs, (XmlSettingsStore::PairList{{"Left", "Right"}, {"L_", "R_"}}));

    // The flag attribute sits only where the entry differs from the default.
    const QDomNodeList items = store.FindKey("", "match_list", false).childNodes();
    ASSERT_EQ(items.count(), 3);
    EXPECT_EQ(items.at(1).toElement().attribute("use_root"), "true");
    EXPECT_FALSE(items.at(0).toElement().hasAttribute("use_root") || items.at(2).toElement().hasAttribute("use_root"));
    for (bool defaultFlag : {false, true}) {
        XmlSettingsStore::FlaggedPairList list;
        store.GetFlaggedPairList("match_list", "use_root", defaultFlag, list);
        ASSERT_EQ(list.size(), 3u);
        EXPECT_EQ(list[1].key + list[1].value, "b2");
        EXPECT_EQ(std::vector<bool>({list[0].flag, list[1].flag, list[2].flag}),
                  std::vector<bool>({defaultFlag, true, defaultFlag}));
    }

    XmlSettingsStore::StringList none{"untouched"};
    store.GetList("absent", none);
    store.GetList("empty", none);
    EXPECT_EQ(none, XmlSettingsStore::StringList{"untouched"});
}

TEST_F(XmlSettingsStoreTest, ReadersTakeWhatTheFileHolds)
{
    WriteFile(Path("mixed.xml"),
              "<settings><path><clip_path/></path><match_list>text<item key='a' value='1' use_root='TRUE'/>"
              "<!-- note --><entry key='b' use_root='false'/></match_list></settings>");
    XmlSettingsStore store(Path("mixed.xml"));
    // The root's name is not checked; a key without "value" reads empty, not as the default.
    EXPECT_EQ(store.GetValue("path", "clip_path", "default"), "");
    EXPECT_EQ(store.GetValue("path", "other", "default"), "default");
    // Every element child is an item, whatever its name; "TRUE" is not "true".
    XmlSettingsStore::FlaggedPairList list;
    store.GetFlaggedPairList("match_list", "use_root", true, list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_FALSE(list[0].flag);
    EXPECT_EQ(list[1].key + list[1].value, "b");
    EXPECT_FALSE(list[1].flag);
}

TEST_F(XmlSettingsStoreTest, WritesOnlyAfterASetInUtf8WithFourSpaceIndent)
{
    const QByteArray odd = "<settings  >\n\t<mirror><k value='x'/></mirror></settings>";
    WriteFile(Path("odd.xml"), odd);
    {
        XmlSettingsStore missing(Path("missing.xml"));
        XmlSettingsStore read(Path("odd.xml"));
        EXPECT_EQ(missing.GetValue("mirror", "k", "d") + read.GetValue("mirror", "k", "d"), "dx");
    }
    EXPECT_FALSE(QFile::exists(Path("missing.xml")));
    EXPECT_EQ(ReadFile(Path("odd.xml")), odd);

    {
        XmlSettingsStore store(Path("exact.xml"));
        store.SetValue("mirror", "word", QString::fromUtf8("Ωé <&>"));
        store.SetList("name_match", "delimiter_list", {"-"});
    }
    EXPECT_EQ(ReadFile(Path("exact.xml")), QByteArray("<config_root>\n"
                                                      "    <mirror>\n"
                                                      "        <word value=\"\xCE\xA9\xC3\xA9 &lt;&amp;>\"/>\n"
                                                      "    </mirror>\n"
                                                      "    <name_match>\n"
                                                      "        <delimiter_list>\n"
                                                      "            <item value=\"-\"/>\n"
                                                      "        </delimiter_list>\n"
                                                      "    </name_match>\n"
                                                      "</config_root>\n"));
}

// The writers of XML files: the settings store itself, templates and
// characterization files. Each answers whether it wrote, with its message.
using XmlWriter = std::function<bool(const QString&, QString&)>;
std::vector<XmlWriter> XmlWriters()
{
    auto hero = std::make_shared<Characterization>(QStringLiteral("Hero"), nullptr);
    hero->SetNodeName(VLM_NODE_HIPS, QStringLiteral("hips"));
    return {
        [](const QString& file, QString& message) {
            XmlSettingsStore store(file);
            store.SetValue("k", "v");
            const bool written = store.Write();
            message = written ? store.GetWriteNotice() : store.GetWriteProblem();
            return written;
        },
        [](const QString& file, QString& message) {
            return WriteMappingTemplate(file, std::vector<NameMatchRule>(VLM_NODE_COUNT), &message);
        },
        [hero](const QString& file, QString& message) { return SaveCharacterizationXml(*hero, file, true, &message); },
    };
}

TEST_F(XmlSettingsStoreTest, DamagedFileIsKeptAsideOnTheFirstWrite)
{
    // A file that does not parse is reported and read as nothing; the first
    // write keeps it under a name of its own, then writes the settings.
    const QString path = Path("skelwright.xml");
    const QByteArray broken = "<config_root>\n<mirror>\n</config_root>\n";
    WriteFile(Path("skelwright.xml.damaged"), "earlier");
    WriteFile(path, broken);
    CaptureStdout();
    {
        XmlSettingsStore store(path);
        EXPECT_EQ(store.GetValue("mirror", "k", "d"), "d");
        store.SetValue("mirror", "k", "new");
        EXPECT_EQ(ReadFile(path), broken) << "nothing moves before the write";
    }
    const QStringList lines = QString::fromStdString(GetCapturedStdout()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "Error in parsing" + path + " Opening and ending tag mismatch. at line 3 at column 14");
    EXPECT_EQ(lines[2], "The damaged file " + path + " is kept as " + Path("skelwright(1).xml.damaged") + ".");
    EXPECT_EQ(ReadFile(Path("skelwright(1).xml.damaged")), broken);
    EXPECT_EQ(ReadFile(Path("skelwright.xml.damaged")), "earlier");
    EXPECT_EQ(XmlSettingsStore(path).GetValue("mirror", "k", "d"), "new");

    // An empty file, or one without a root element, holds nothing to keep:
    // it is written like a missing one, without a word.
    for (const QByteArray& nothing :
         {QByteArray(), QByteArray(" \n"), QByteArray("<?xml version=\"1.0\"?>\n<!-- none -->\n")}) {
        QTemporaryDir dir;
        const QString file = dir.filePath("skelwright.xml");
        WriteFile(file, nothing);
        CaptureStdout();
        XmlSettingsStore(file).SetValue("mirror", "k", "v");
        EXPECT_EQ(GetCapturedStdout(), "") << nothing.constData();
        EXPECT_EQ(XmlSettingsStore(file).GetValue("mirror", "k", "d"), "v") << nothing.constData();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"skelwright.xml"}));
    }

    // Every writer keeps a former file it could not read (damaged, too large,
    // unreadable) aside, says so in its message, and writes what reads back.
    const std::vector<XmlWriter> writers = XmlWriters();
    const QByteArray huge = "<config_root>" + QByteArray(int(kLargestXmlFile), ' ') + "</config_root>";
    for (const QByteArray& former : {QByteArray("<config_root><k>"), huge, QByteArray("<config_root/>")}) {
        for (const auto& write : writers) {
            QTemporaryDir dir;
            const QString file = dir.filePath("former.xml");
            WriteFile(file, former);
            // So is the last name of a file an earlier save was stopped from letting go.
            const bool stopped = former == "<config_root><k>";
            if (stopped)
                WriteFile(PreviousPathFor(file), "earlier");
            const bool unreadable = former == "<config_root/>";
            if (unreadable) {  // writable by all, readable by none
                chmod(QFile::encodeName(dir.path()), 0777);
                chmod(QFile::encodeName(file), 0222);
            }
            const auto check = [&] {
                QString message;
                CaptureStdout();
                const bool written = write(file, message);
                GetCapturedStdout();
                EXPECT_TRUE(written) << former.left(20).constData();
                EXPECT_EQ(message,
                          QString("The former former.xml could not be read; it is kept as former.xml.damaged.") +
                              (stopped ? " An earlier save of former.xml did not finish; its former file is "
                                         "kept as former.xml.former."
                                       : ""));
                EXPECT_EQ(XmlSettingsStore(file).GetReadState(), XmlSettingsStore::ReadState::kRead);
            };
            unreadable ? AsOrdinaryUser(check) : check();
            chmod(QFile::encodeName(dir.filePath("former.xml.damaged")), 0600);
            EXPECT_EQ(ReadFile(dir.filePath("former.xml.damaged")), former) << former.left(20).constData();
            EXPECT_EQ(ReadFile(dir.filePath("former.xml.former")), stopped ? "earlier" : "<missing>");
        }
    }
}

// Every writer keeps the owner, group, mode and access list of the file it
// replaces: another user's file in a shared folder stays theirs, and an
// access list is neither dropped nor widened to the group.
TEST_F(XmlSettingsStoreTest, WritersKeepOwnerGroupModeAndAccessList)
{
    if (geteuid() != 0) {
        std::cout << "Giving files to other users needs root; left out." << std::endl;
        return;
    }
    QFile::setPermissions(dir_.path(), QFileDevice::Permissions(0x7711));  // the ordinary user passes through
    const struct {
        const char* what;
        uid_t folderOwner, fileOwner;
        gid_t group;
        mode_t folderMode, fileMode;
        bool accessList;
    } states[] = {
        {"another user's 0660 file in a shared folder", kOtherUser, kOtherUser, kSharedGroup, 02775, 0660, false},
        {"a 0600 file with an access list", kOrdinaryUser, kOrdinaryUser, kOrdinaryGroup, 0700, 0600, true},
    };
    int row = 0;
    for (const auto& state : states) {
        for (const XmlWriter& write : XmlWriters()) {
            SCOPED_TRACE(state.what);
            const QString folder = Path(QString("row%1").arg(row++)), file = folder + "/former.xml";
            WriteFile(file, "<config_root/>");
            const QByteArray native = QFile::encodeName(file), folderNative = QFile::encodeName(folder);
            ASSERT_EQ(::chown(folderNative, state.folderOwner, state.group), 0);
            ASSERT_EQ(::chmod(folderNative, state.folderMode), 0);
            ASSERT_EQ(::chown(native, state.fileOwner, state.group), 0);
            ASSERT_EQ(::chmod(native, state.fileMode), 0);
            if (state.accessList && !GiveAccessList(file, kOtherUser)) {
                std::cout << folder.toStdString() << ": the file system keeps no access lists; left out." << std::endl;
                continue;
            }
            struct stat before {
            }, after{};
            ::stat(native, &before);
            const QByteArray list = AccessListOf(file);
            AsOrdinaryUser([&] {
                QString message;
                CaptureStdout();
                EXPECT_TRUE(write(file, message)) << message.toStdString();
                GetCapturedStdout();
            });
            ::stat(native, &after);
            EXPECT_EQ(after.st_uid, before.st_uid);
            EXPECT_EQ(after.st_gid, before.st_gid);
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(AccessListOf(file), list);
            EXPECT_NE(ReadFile(file), "<config_root/>") << "written";
            EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                      QStringList({"former.xml"}));
            if (row > 3)
                continue;
            // Another user's file is rewritten in place: where a failed write
            // cannot be undone, what the file held is kept beside it, under a
            // name nothing holds, though the saver may not list the folder.
            const QByteArray written = ReadFile(file);
            WriteFile(folder + "/former.xml.former", "kept earlier");
            ASSERT_EQ(::chmod(folderNative, 02735), 0);
            AsOrdinaryUser([&] {
                SetPairWriteFault([](PairWriteStep step, const QString&) {
                    return step == PairWriteStep::kWrite ? ENOSPC : step == PairWriteStep::kPutBack ? EIO : 0;
                });
                QString message;
                CaptureStdout();
                EXPECT_FALSE(write(file, message));
                GetCapturedStdout();
                SetPairWriteFault(nullptr);
                EXPECT_EQ(message, "former.xml could not be written: No space left on device. It could not be put "
                                   "back as it was. The former file is kept as former(1).xml.former.");
            });
            ::chmod(folderNative, state.folderMode);
            EXPECT_EQ(ReadFile(folder + "/former(1).xml.former"), written);
            EXPECT_EQ(ReadFile(folder + "/former.xml.former"), "kept earlier");
        }
    }
}

// Nesting deep enough to exhaust the DOM parser's stack, and entity
// declarations (which it expands without bound), are refused before the
// document is built; the limit itself and a DOCTYPE without entities load.
// Every reader and every writer that reads the old file first goes through
// the same check (the sanitizer build watches the stack).
TEST_F(XmlSettingsStoreTest, DeepNestingAndEntityDeclarationsAreRefused)
{
    const auto nested = [](int depth) {
        return "<config_root><k value=\"x\"/>" + QByteArray("<a>").repeated(depth - 1) +
               QByteArray("</a>").repeated(depth - 1) + "</config_root>";
    };
    const QByteArray doctype = "<!DOCTYPE config_root [<!ENTITY a \"xxxxxxxx\"><!ENTITY b \"&a;&a;&a;&a;\">]>";
    const auto value = [](const char* text) {
        return "<config_root><k value=\"" + QByteArray(text) + "\"/></config_root>";
    };
    const struct {
        QByteArray text;
        const char* refusal;  // null: the file loads
    } cases[] = {
        // Character references XML forbids; one beyond U+FFFF is read whole.
        {value("&#xFFFE;"), "Invalid character reference. at line 1"},
        {value("&#xFFFF;"), "Invalid character reference."},
        {value("&#xD800;"), "Invalid character reference."},
        {value("&#1;"), "Invalid character reference."},
        // Raw characters XML cannot hold, at their place; a file cut short in
        // its first tag; a declared version other than 1.0.
        {"<config_root>\n <k value=\"\x1B\"/>", "a character an XML file cannot hold (U+001B) at line 2 at column 12"},
        {"<config_root", "Premature end of document. at line 1 at column 12"},
        {"<?xml version=\"1.1\"?><config_root><k value=\"x\"/></config_root>", nullptr},
        {nested(256), nullptr},
        {nested(257), "elements nested deeper than 256 levels at line 1"},
        {nested(25000), "elements nested deeper than 256 levels at line 1"},
        {doctype + "<config_root><k value=\"&b;\"/></config_root>", "a document type that declares entities"},
        {"<!DOCTYPE config_root [<!ENTITY % p \"<!ENTITY q 'x'>\">]><config_root/>",
         "a document type that declares entities"},
        {"<!DOCTYPE config_root><config_root><k value=\"x\"/></config_root>", nullptr},
    };
    for (const auto& c : cases) {
        const QString path = Path("case.xml");
        WriteFile(path, c.text);
        CaptureStdout();
        const QString read = XmlSettingsStore(path).GetValue("k", "refused");
        const std::string report = GetCapturedStdout();
        if (!c.refusal) {
            EXPECT_EQ(read, "x") << c.text.left(60).constData();
            EXPECT_EQ(report, "");
            continue;
        }
        EXPECT_EQ(read, "refused") << c.refusal;
        EXPECT_EQ(report.rfind("Error in parsing" + path.toStdString() + ' ' + c.refusal, 0), 0u) << report;
    }
    WriteFile(Path("case.xml"), value("&#x1F600;"));
    EXPECT_EQ(XmlSettingsStore(Path("case.xml")).GetValue("k", ""), QString::fromUtf8("\xF0\x9F\x98\x80"));

    // The readers and writers of every kind of XML file, on the deepest case.
    Characterization character(QStringLiteral("Deep"), nullptr);
    character.SetNodeName(VLM_NODE_HIPS, QStringLiteral("hips"));
    std::vector<NameMatchRule> rules{{QStringLiteral("keep"), false}};
    CaptureStdout();
    for (const char* name : {"template.xml", "hero.xml", "hero.bones.xml"})
        WriteFile(Path(name), nested(25000));
    LoadMappingTemplate(Path("template.xml"), rules);
    EXPECT_TRUE(rules.empty());
    EXPECT_FALSE(LoadCharacterizationXml(Path("hero.xml")));
    WriteFile(Path("hero.vlmc"), QByteArray());
    EXPECT_TRUE(SaveCharacterizationBinary(character, Path("hero.vlmc"), QString(), 0, true));
    WriteFile(Path("hero.bones.xml"), nested(25000));
    QString message;
    const std::unique_ptr<Characterization> back = LoadCharacterizationBinary(Path("hero.vlmc"), QString(), &message);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->GetNodeName(VLM_NODE_HIPS).isEmpty()) << "the refused companion gives no names";
    EXPECT_TRUE(SaveCharacterizationBinary(character, Path("hero.vlmc"), QString(), 0, true));
    EXPECT_TRUE(WriteMappingTemplate(Path("template.xml"), rules));
    EXPECT_TRUE(SaveCharacterizationXml(character, Path("hero.xml"), true));
    GetCapturedStdout();
    EXPECT_EQ(LoadCharacterizationXml(Path("hero.xml"))->GetNodeName(VLM_NODE_HIPS), "hips");
    EXPECT_EQ(LoadCharacterizationBinary(Path("hero.vlmc"), QString())->GetNodeName(VLM_NODE_HIPS), "hips");
}

// Every XML reader opens only a regular file no larger than the limit (a
// pipe would block it for ever, a huge file take the host's memory) and says
// why; a huge file is kept aside on the first write, a pipe never written.
TEST_F(XmlSettingsStoreTest, PipesFoldersAndHugeFilesAreNotRead)
{
    WriteFile(Path("big.xml"), "<config_root>" + QByteArray(int(kLargestXmlFile), ' ') + "</config_root>");
    QDir().mkdir(Path("folder.xml"));
    // Its writer comes 2 s on: a reader that waited on the pipe would be seen to.
    const FifoWatch pipe(Path("pipe.xml").toStdString(), std::chrono::seconds(2));
    const std::pair<const char*, QString> cases[] = {
        {"big.xml", "big.xml is too large to be read (4.1 MB; the limit is 4 MB)."},
        {"pipe.xml", "pipe.xml is not a regular file: it is a pipe, a socket or a device."},
        {"folder.xml", "folder.xml is a folder, not a file."},
    };
    for (const auto& c : cases) {
        std::vector<NameMatchRule> rules;
        QString messages[2];
        CaptureStdout();
        const auto start = std::chrono::steady_clock::now();
        LoadMappingTemplate(Path(c.first), rules, &messages[0]);
        const bool loaded = LoadCharacterizationXml(Path(c.first), &messages[1]) != nullptr;
        XmlSettingsStore store(Path(c.first));
        store.SetValue("k", "v");
        const bool written = store.Write();
        const auto took = std::chrono::steady_clock::now() - start;
        GetCapturedStdout();
        EXPECT_LT(took, std::chrono::seconds(1)) << c.first << " was waited on";
        EXPECT_EQ(messages[0] + messages[1] + store.GetReadProblem(), c.second + c.second + c.second);
        EXPECT_FALSE(loaded);
        EXPECT_EQ(written, c.first == std::string("big.xml")) << c.first;
    }
    EXPECT_FALSE(pipe.WasOpened());
    EXPECT_EQ(QFileInfo(Path("big.xml.damaged")).size(), kLargestXmlFile + 27);
}

TEST_F(XmlSettingsStoreTest, DeclarationAndCommentBeforeTheRoot)
{
    const QString path = Path("declared.xml");
    WriteFile(path, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- mine -->\n"
                    "<config_root><mirror><k value=\"x\"/></mirror></config_root>\n");
    {
        XmlSettingsStore store(path);
        EXPECT_EQ(store.GetValue("mirror", "k", "d"), "x");
        store.SetValue("mirror", "j", "y");
    }
    XmlSettingsStore store(path);
    EXPECT_EQ(store.GetValue("mirror", "k", "d") + store.GetValue("mirror", "j", "d"), "xy");
    EXPECT_TRUE(ReadFile(path).startsWith("<?xml version='1.0' encoding='UTF-8'?>\n<!-- mine -->"));
}

TEST_F(XmlSettingsStoreTest, FailedWritesLeaveTheFormerFileWhole)
{
    // A write that fails half way (the file size limit is hit): the former file
    // stays whole and no temporary file is left beside it.
    const QString path = Path("full.xml");
    const QByteArray former = "<config_root><mirror><k value=\"x\"/></mirror></config_root>";
    WriteFile(path, former);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    CaptureStdout();
    {
        XmlSettingsStore store(path);
        store.SetList("big", XmlSettingsStore::StringList(20000, QString(40, 'x')));
        rlimit small = saved;
        small.rlim_cur = 64 * 1024;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_NE(GetCapturedStdout().find("Error in writing " + path.toStdString()), std::string::npos);
    EXPECT_EQ(ReadFile(path), former);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList({"full.xml"}));

    // Text the store's reader would not read back is refused before anything
    // is written, with the reason; over a damaged file, nothing moves either.
    const QString held = " holds the character U+%1, which an XML file cannot hold.";
    const struct {
        std::function<void(XmlSettingsStore&)> set;
        QString problem;  // one ending in "(line" is matched up to there
    } unreadable[] = {
        {[](XmlSettingsStore& s) {
             s.SetPairList("path", "clip_path", {{"clip", "/clips/a\x1B[31m"}});
         },
         "The \"value\" text of config_root/path/clip_path/item" + held.arg("001B")},
        {[](XmlSettingsStore& s) {
             s.SetPairList("mirror", "mirror_list", {{QString("Left") + QChar(0xFFFE), "Right"}});
         },
         "The \"key\" text of config_root/mirror/mirror_list/item" + held.arg("FFFE")},
        {[](XmlSettingsStore& s) { s.SetValue("name", "1st", "v"); }, "it would not be read back (line"},
        {[](XmlSettingsStore& s) { s.SetList("big", XmlSettingsStore::StringList(80000, QString(40, 'x'))); },
         "at 5.0 MB it would be too large to be read back (the limit is 4 MB)."},
    };
    for (const QByteArray& before : {former, QByteArray("<config_root><k>")}) {
        for (const auto& c : unreadable) {
            WriteFile(path, before);
            CaptureStdout();
            XmlSettingsStore store(path);
            c.set(store);
            const bool written = store.Write();
            GetCapturedStdout();
            EXPECT_FALSE(written);
            const QString problem = "full.xml was not written: " + c.problem;
            EXPECT_TRUE(problem.endsWith("(line") ? store.GetWriteProblem().startsWith(problem)
                                                  : store.GetWriteProblem() == problem)
                << store.GetWriteProblem().toStdString();
            EXPECT_EQ(ReadFile(path), before);
            EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList({"full.xml"}));
        }
    }
}

// Two processes setting keys of their own in one settings file keep every
// key: a write takes in what another wrote since the store read the file,
// at full speed and with the store held a while between its read and its
// write (a dialog left open). Scalars and lists both.
TEST_F(XmlSettingsStoreTest, TwoProcessesSettingKeysOfTheirOwnKeepEveryKey)
{
    const QString path = Path("skelwright.xml");
    const struct {
        int keys;      // each process sets this many
        int pauseMs;   // between the store's read and its write
    } paces[] = {{100, 0}, {15, 30}};
    for (const auto& pace : paces) {
        SCOPED_TRACE(std::to_string(pace.pauseMs) + " ms between read and write");
        ::unlink(QFile::encodeName(path).constData());
        const auto setKeys = [&](const QString& who) {
            for (int i = 0; i < pace.keys; ++i) {
                XmlSettingsStore store(path);
                if (i % 2)
                    store.SetPairList(who, QString("k%1").arg(i), {{"n", QString::number(i)}});
                else
                    store.SetValue(who, QString("k%1").arg(i), QString::number(i));
                std::this_thread::sleep_for(std::chrono::milliseconds(pace.pauseMs));
                if (!store.Write())
                    return false;
            }
            return true;
        };
        // Both begin together: the other says when it is ready.
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t other = ::fork();
        if (other == 0) {
            ::alarm(60);
            const char byte = 'r';
            const bool told = ::write(ready[1], &byte, 1) == 1;
            ::_exit(told && setKeys("b") ? 0 : 1);
        }
        char byte = 0;
        EXPECT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]), ::close(ready[1]);
        EXPECT_TRUE(setKeys("a"));
        int status = -1;
        ::waitpid(other, &status, 0);
        EXPECT_EQ(status, 0);
        XmlSettingsStore back(path);
        int kept = 0;
        for (const QString who : {"a", "b"}) {
            for (int i = 0; i < pace.keys; ++i) {
                XmlSettingsStore::PairList list;
                back.GetPairList(who, QString("k%1").arg(i), list);
                kept += (i % 2 ? list.size() == 1 && list[0].second == QString::number(i)
                               : back.GetValue(who, QString("k%1").arg(i), "") == QString::number(i));
            }
        }
        std::cout << kept << " of " << 2 * pace.keys << " keys kept, " << pace.pauseMs
                  << " ms between read and write." << std::endl;
        EXPECT_EQ(kept, 2 * pace.keys);
    }
}

TEST_F(XmlSettingsStoreTest, WriteNowAndResetToAFreshDocument)
{
    const QString path = Path("file.xml");
    {
        XmlSettingsStore store(path);
        EXPECT_TRUE(store.Write()) << "nothing to write";
        EXPECT_FALSE(QFileInfo::exists(path));
        store.SetValue("old", "v");
        ASSERT_TRUE(store.Write());
        WriteFile(path, "<config_root/>");  // written once: the destructor leaves the file alone
    }
    EXPECT_EQ(ReadFile(path), "<config_root/>");

    // A reset drops what was read, a file that did not parse included.
    WriteFile(path, "<config_root><stale value=\"x\"/></config_root><broken>");
    CaptureStdout();
    {
        XmlSettingsStore store(path);
        store.Reset();
        store.SetValue("fresh", "y");
        EXPECT_TRUE(store.Write());
    }
    GetCapturedStdout();
    EXPECT_EQ(ReadFile(path), "<config_root>\n    <fresh value=\"y\"/>\n</config_root>\n");

    // A settings file that is a link is written through, and stays a link.
    ASSERT_EQ(::symlink("file.xml", QFile::encodeName(Path("link.xml")).constData()), 0);
    XmlSettingsStore(Path("link.xml")).SetValue("linked", "w");
    EXPECT_TRUE(QFileInfo(Path("link.xml")).isSymLink());
    EXPECT_EQ(XmlSettingsStore(path).GetValue("linked", "d"), "w");

    // A failed write is reported, answers false and is not tried again.
    CaptureStdout();
    {
        XmlSettingsStore store(Path("no/such/folder.xml"));
        store.SetValue("k", "v");
        EXPECT_FALSE(store.Write());
    }
    const QString report = QString::fromStdString(GetCapturedStdout());
    EXPECT_EQ(report.count("Error in writing " + Path("no/such/folder.xml")), 1) << report.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Path("no")));
}

}  // namespace
