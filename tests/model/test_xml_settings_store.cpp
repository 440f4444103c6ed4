#include "model/xml_settings_store.h"

#include "test_support_fs.h"

#include <QDir>
#include <QDomDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

class XmlSettingsStoreTest : public testing::Test {
protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }

    // The children element names of `element`, in order.
    static QStringList ChildNames(const QDomElement& element)
    {
        QStringList names;
        for (QDomElement child = element.firstChildElement(); !child.isNull();
             child = child.nextSiblingElement())
            names << child.tagName();
        return names;
    }

    QTemporaryDir dir_;
};

TEST_F(XmlSettingsStoreTest, ScalarsRoundTrip)
{
    const QString path = Path("settings.xml");
    {
        XmlSettingsStore store(path);
        EXPECT_EQ(store.GetValue("name_match", "match_type", "Suffix"), "Suffix");
        store.SetValue("name_match", "match_type", "Contains");
        store.SetValue("top", "at the root");
        store.SetValue("name_match", "match_type", "Contains");  // same value twice: one key
    }
    XmlSettingsStore store(path);
    EXPECT_EQ(store.GetValue("name_match", "match_type", "Suffix"), "Contains");
    EXPECT_EQ(store.GetValue("top", "x"), "at the root");
    EXPECT_EQ(store.GetValue("", "top", "x"), "at the root");
    EXPECT_EQ(store.FindGroup("name_match", false).elementsByTagName("match_type").count(), 1);

    // A key without a "value" attribute reads as empty, not as the default.
    WriteFile(Path("bare.xml"), "<config_root><path><clip_path/></path></config_root>");
    XmlSettingsStore bare(Path("bare.xml"));
    EXPECT_EQ(bare.GetValue("path", "clip_path", "default"), "");
    EXPECT_EQ(bare.GetValue("path", "other", "default"), "default");
    EXPECT_TRUE(bare.FindKey("nothing", "here", false).isNull());
}

TEST_F(XmlSettingsStoreTest, ListsRoundTripAndAppendToTheOutput)
{
    const QString path = Path("lists.xml");
    {
        XmlSettingsStore store(path);
        store.SetList("name_match", "delimiter_list", {"-", "|"});
        store.SetPairList("mirror", "mirror_list", {{"Left", "Right"}, {"L_", "R_"}});
        store.SetFlaggedPairList("match_list", "use_root", false,
                                 {{"a", "1", false}, {"b", "2", true}, {"c", "3", false}});
        store.SetList("empty", {});
    }
    XmlSettingsStore store(path);
    XmlSettingsStore::StringList plain{"kept"};
    store.GetList("name_match", "delimiter_list", plain);
    EXPECT_EQ(plain, (XmlSettingsStore::StringList{"kept", "-", "|"}));

    XmlSettingsStore::PairList pairs;
    store.GetPairList("mirror", "mirror_list", pairs);
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[1], (std::pair<QString, QString>("L_", "R_")));

    // The flag attribute sits only where the entry differs from the default.
    const QDomElement items = store.FindKey("", "match_list", false);
    EXPECT_FALSE(items.childNodes().at(0).toElement().hasAttribute("use_root"));
    EXPECT_EQ(items.childNodes().at(1).toElement().attribute("use_root"), "true");
    EXPECT_FALSE(items.childNodes().at(2).toElement().hasAttribute("use_root"));

    XmlSettingsStore::FlaggedPairList asFalse, asTrue;
    store.GetFlaggedPairList("match_list", "use_root", false, asFalse);
    store.GetFlaggedPairList("match_list", "use_root", true, asTrue);
    ASSERT_EQ(asFalse.size(), 3u);
    ASSERT_EQ(asTrue.size(), 3u);
    EXPECT_EQ(asFalse[1].key, "b");
    EXPECT_EQ(asFalse[1].value, "2");
    EXPECT_EQ((std::vector<bool>{asFalse[0].flag, asFalse[1].flag, asFalse[2].flag}),
              (std::vector<bool>{false, true, false}));
    EXPECT_EQ((std::vector<bool>{asTrue[0].flag, asTrue[1].flag, asTrue[2].flag}),
              (std::vector<bool>{true, true, true}));

    XmlSettingsStore::StringList none{"untouched"};
    store.GetList("absent", none);
    store.GetList("empty", none);
    EXPECT_EQ(none, (XmlSettingsStore::StringList{"untouched"}));
}

TEST_F(XmlSettingsStoreTest, ListReadersTakeEveryElementChild)
{
    WriteFile(Path("mixed.xml"),
              "<config_root><match_list>text<item key='a' value='1' use_root='TRUE'/>"
              "<!-- note --><entry key='b' use_root='false'/></match_list></config_root>");
    XmlSettingsStore store(Path("mixed.xml"));
    XmlSettingsStore::FlaggedPairList list;
    store.GetFlaggedPairList("match_list", "use_root", true, list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_FALSE(list[0].flag);  // "TRUE" is not "true"
    EXPECT_EQ(list[1].key, "b");
    EXPECT_EQ(list[1].value, "");
    EXPECT_FALSE(list[1].flag);
}

TEST_F(XmlSettingsStoreTest, RewrittenListMovesToTheEndOfItsGroup)
{
    XmlSettingsStore store(Path("rewrite.xml"));
    store.SetPairList("path", "clip_path", {{"clip", "/a"}});
    store.SetValue("path", "other", "x");
    store.SetPairList("path", "clip_path", {{"clip", "/b"}, {"more", "/c"}});
    EXPECT_EQ(ChildNames(store.FindGroup("path", false)), QStringList({"other", "clip_path"}));
    XmlSettingsStore::PairList pairs;
    store.GetPairList("path", "clip_path", pairs);
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].second, "/b");
}

TEST_F(XmlSettingsStoreTest, SpacesInNamesAreWrittenAsUnderscores)
{
    XmlSettingsStore store(Path("spaces.xml"));
    store.SetValue("name match", "match type", "Contains");
    EXPECT_EQ(ChildNames(store.FindGroup("", false)), QStringList({"name_match"}));
    // Lookups take the name as given: the spaced name is not found again.
    EXPECT_EQ(store.GetValue("name match", "match type", "Suffix"), "Suffix");
    EXPECT_EQ(store.GetValue("name_match", "match_type", "Suffix"), "Contains");
}

TEST_F(XmlSettingsStoreTest, StoreWithoutSetsNeverTouchesItsFile)
{
    const QString missing = Path("missing.xml");
    {
        XmlSettingsStore store(missing);
        EXPECT_EQ(store.GetValue("mirror", "k", "d"), "d");
        EXPECT_FALSE(store.FindGroup("", false).isNull());  // "config_root" in memory only
    }
    EXPECT_FALSE(QFile::exists(missing));

    const QByteArray odd = "<settings  >\n\t<mirror><k value='x'/></mirror></settings>";
    WriteFile(Path("odd.xml"), odd);
    {
        XmlSettingsStore store(Path("odd.xml"));
        EXPECT_EQ(store.GetValue("mirror", "k", "d"), "x");  // the root's name is not checked
    }
    EXPECT_EQ(ReadFile(Path("odd.xml")), odd);
}

TEST_F(XmlSettingsStoreTest, WritesUtf8WithFourSpaceIndentAndNoDeclaration)
{
    const QString path = Path("exact.xml");
    {
        XmlSettingsStore store(path);
        store.SetValue("mirror", "word", QString::fromUtf8("Ωé <&>"));
        store.SetList("name_match", "delimiter_list", {"-"});
        store.SetValue("flag", "true");
    }
    EXPECT_EQ(ReadFile(path), QByteArray("<config_root>\n"
                                         "    <mirror>\n"
                                         "        <word value=\"\xCE\xA9\xC3\xA9 &lt;&amp;>\"/>\n"
                                         "    </mirror>\n"
                                         "    <name_match>\n"
                                         "        <delimiter_list>\n"
                                         "            <item value=\"-\"/>\n"
                                         "        </delimiter_list>\n"
                                         "    </name_match>\n"
                                         "    <flag value=\"true\"/>\n"
                                         "</config_root>\n"));
}

TEST_F(XmlSettingsStoreTest, ParseFailureIsReportedAndTheFileKept)
{
    const QString path = Path("broken.xml");
    const QByteArray broken = "<config_root>\n<mirror>\n</config_root>\n";
    WriteFile(path, broken);
    CaptureStdout();
    {
        XmlSettingsStore store(path);
        EXPECT_EQ(store.GetValue("mirror", "k", "d"), "d");
        store.SetValue("mirror", "k", "new");
        EXPECT_EQ(store.GetValue("mirror", "k", "d"), "new");  // sets still work in memory
    }
    const QString output = QString::fromStdString(GetCapturedStdout());
    const QStringList lines = output.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << output.toStdString();
    EXPECT_EQ(lines[0], "Error in parsing" + path + " tag mismatch at line 3 at column 14");
    EXPECT_TRUE(lines[1].contains("memory only")) << lines[1].toStdString();
    EXPECT_EQ(ReadFile(path), broken);
}

TEST_F(XmlSettingsStoreTest, DeclarationAndCommentBeforeTheRootStillRead)
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
    EXPECT_EQ(store.GetValue("mirror", "k", "d"), "x");
    EXPECT_EQ(store.GetValue("mirror", "j", "d"), "y");
    EXPECT_TRUE(ReadFile(path).startsWith("<?xml version='1.0' encoding='UTF-8'?>\n<!-- mine -->"));
}

TEST_F(XmlSettingsStoreTest, UnwritablePathIsReportedAndNothingHalfWritten)
{
    const QString nowhere = Path("no/such/folder/settings.xml");
    CaptureStdout();
    {
        XmlSettingsStore store(nowhere);
        store.SetValue("mirror", "k", "v");
    }
    const std::string report = GetCapturedStdout();
    EXPECT_NE(report.find("Error in writing " + nowhere.toStdString()), std::string::npos);
    EXPECT_FALSE(QFileInfo::exists(Path("no")));

    // A write that fails half way (the file size limit is hit) leaves the former
    // file whole and no temporary file beside it.
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
        EXPECT_TRUE(ReadFile(path).contains("old"));
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

    // A failed write answers false and is not tried again.
    QDir(dir_.path()).mkdir("folder.xml");
    CaptureStdout();
    {
        XmlSettingsStore store(Path("folder.xml"));
        store.SetValue("k", "v");
        EXPECT_FALSE(store.Write());
    }
    EXPECT_EQ(QString::fromStdString(GetCapturedStdout()).count("Error in writing"), 1);
}

} // namespace
