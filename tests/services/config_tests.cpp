#include <sys/stat.h>

#include <gtest/gtest.h>

#include "services/build_info.h"
#include "services/config.h"
#include "services/xml_guard.h"
#include "support/captured_log.h"

namespace
{
// The config.xml that Config reads and writes.
juce::File config_file()
{
    return juce::File::getSpecialLocation(juce::File::currentExecutableFile).getSiblingFile("config.xml");
}

struct ConfigTest : ::testing::Test
{
    void SetUp() override { config_file().deleteRecursively(); }
    void TearDown() override { config_file().deleteRecursively(); }
    CapturedLog logger;
};

// config.xml holding entries given as "key=value", the form saved_entries gives.
juce::String entries(const juce::StringArray& entries)
{
    juce::String xml = "<PROPERTIES>";
    for (const auto& entry : entries)
        xml << "<VALUE name=\"" << entry.upToFirstOccurrenceOf("=", false, false) << "\" val=\""
            << entry.fromFirstOccurrenceOf("=", false, false) << "\"/>";
    return xml + "</PROPERTIES>";
}

// "key=value" for each entry of the saved file, in file order.
juce::StringArray saved_entries()
{
    juce::StringArray entries;
    if (auto root = juce::parseXML(config_file()))
        for (auto* entry : root->getChildWithTagNameIterator("VALUE"))
            entries.add(entry->getStringAttribute("name") + "=" + entry->getStringAttribute("val"));
    return entries;
}

// The XML with a comment at its end that makes it `bytes` bytes long.
juce::String padded(const juce::String& xml, int bytes)
{
    return xml + "<!--" + juce::String::repeatedString("x", bytes - (int) xml.getNumBytesAsUTF8() - 7) + "-->";
}

juce::String loaded_line(const juce::String& build, const juce::String& api = build_info::api_origin(),
                         const juce::String& websocket = build_info::websocket_address(),
                         const juce::String& page = build_info::account_page_address())
{
    return "[INFO]: Loaded config:\n  App: Solvanter\n  Build: " + build + "\n  API: " + api
           + "\n  Websocket: " + websocket + "\n  Account page: " + page;
}
} // namespace

TEST_F(ConfigTest, WithoutFileTheDefaultsStayAndASaveWritesTheEightKeysOnce)
{
    {
        Config config;
        EXPECT_EQ(logger.take(), juce::StringArray("[INFO]: Using default config"));
        EXPECT_FALSE(config.load_config());
        EXPECT_EQ(config.config_file, config_file());
        EXPECT_EQ("[INFO]: Loaded config:\n" + config.describe_config(), loaded_line("current"));
        EXPECT_EQ(config.app_arguments(), juce::StringArray("--api", build_info::api_origin(), "--sock",
                                                            build_info::websocket_address(), "--web",
                                                            build_info::account_page_address()));
        EXPECT_TRUE(config.save_config());
    }
    EXPECT_EQ(saved_entries(), juce::StringArray("app_account_page=" + build_info::account_page_address(),
                                                 "app_api=" + build_info::api_origin(), "app_branch=Solvanter",
                                                 "app_build=current", "app_executable=Solvanter", "app_version=current",
                                                 "app_websocket=" + build_info::websocket_address(),
                                                 "launcher_build=current"));

    // The same values again: nothing is written, the save is still reported.
    const auto oldTime = juce::Time(2001, 0, 1, 12, 0);
    ASSERT_TRUE(config_file().setLastModificationTime(oldTime));
    logger.take();
    EXPECT_TRUE(Config().save_config());
    EXPECT_EQ(logger.take(), juce::StringArray(loaded_line("current"), "[INFO]: Config saved to file"));
    EXPECT_EQ(config_file().getLastModificationTime(), oldTime);
}

// Values match without regard to case but are taken exactly; invalid, unknown, empty and ignored
// entries leave the defaults; a malformed file or a folder in its place loads no keys.
TEST_F(ConfigTest, LoadTakesWhatTheFileHolds)
{
    const struct
    {
        juce::String xml;
        BuildType launcher, app;
        juce::StringArray log;
    } rows[] = {
        { entries({ "launcher_build=LATEST", "app_build=Latest", "app_api=https://api.example.test",
                    "app_websocket=wss://ws.example.test", "app_account_page=https://acc.example.test" }),
          BuildType::latest, BuildType::latest,
          { loaded_line("latest", "https://api.example.test", "wss://ws.example.test", "https://acc.example.test") } },
        // Any other app_build text pins the version held by app_version.
        { entries({ "launcher_build= latest", "app_build=3.0.1", "app_version=3.0.0", "App_Api=https://case.example.test",
                    "app_websocket=", "app_branch=Other", "app_executable=Other" }),
          BuildType::current, BuildType::version,
          { "[ERROR]: Invalid launcher build type in config:  latest", loaded_line("3.0.0") } },
        { R"(<PROPERTIES><VALUE name="app_api" val="https://half.example.test")", BuildType::current, BuildType::current,
          { loaded_line("current") } },
        // Values are shown escaped: none starts a line of its own or reaches the terminal as an escape.
        { entries({ "launcher_build=x&#10;12:00:00 [INFO]: Removed existing app", "app_build=1.0", "app_version=1.0&#27;[2J",
                    "app_api=https://api.example.test&#13;&#10;12:00:00 [INFO]: Removed existing app" }),
          BuildType::current, BuildType::version,
          { "[ERROR]: Invalid launcher build type in config: x\\x0A12:00:00 [INFO]: Removed existing app",
            loaded_line("1.0\\x1B[2J", "https://api.example.test\\x0D\\x0A12:00:00 [INFO]: Removed existing app") } },
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.xml);
        ASSERT_TRUE(config_file().replaceWithText(row.xml));
        Config config;
        EXPECT_EQ(config.launcher_build, row.launcher);
        EXPECT_EQ(config.app_build, row.app);
        EXPECT_EQ(config.app_executable, "Solvanter");
        // The launcher API base is fixed: moving app_api does not move it.
        EXPECT_EQ(config.launcher_api.toString(false), build_info::api_origin() + "/launcher/Windows");
        EXPECT_EQ(logger.take(), row.log);
    }

    // A folder in the file's place cannot be written, whoever runs the test.
    ASSERT_TRUE(config_file().deleteFile() && config_file().getChildFile("inside").create());
    Config config;
    EXPECT_TRUE(config.load_config());
    EXPECT_FALSE(config.save_config());
    EXPECT_EQ(logger.take(), juce::StringArray(loaded_line("current"), loaded_line("current"),
                                               "[ERROR]: Failed to write config file: \""
                                                   + config_file().getFullPathName() + "\""));
}

// Anything but a small regular file of XML without a DTD, entities or deep nesting yields no keys,
// with one line that says why. Each file would otherwise set app_api, or crash, hang or exhaust
// memory at every start.
TEST_F(ConfigTest, RefusedFilesYieldNoKeysWithOneErrorLine)
{
    const juce::String api = R"(<VALUE name="app_api" val="https://refused.example.test"/>)";
    const auto properties = [&](const juce::String& before, const juce::String& inside = {}) {
        return before + "<PROPERTIES>" + api + inside + "</PROPERTIES>";
    };
    const auto text = [](const juce::String& xml) {
        return [xml] { return config_file().replaceWithText(xml, false, false, nullptr); };
    };
    const auto secret = config_file().getSiblingFile("secret.txt");
    const auto max = ConfigProperties::max_file_bytes;
    const struct
    {
        const char* name;
        std::function<bool()> arrange;
        juce::String why;
    } rows[] = {
        { "40,000 nested elements in a value (280 KB)",
          text(properties({}, "<VALUE name=\"deep\">" + juce::String::repeatedString("<a>", 40000)
                                  + juce::String::repeatedString("</a>", 40000) + "</VALUE>")),
          "it holds elements nested deeper than 64 levels" },
        { "a self-referencing entity",
          text(properties(R"(<!DOCTYPE PROPERTIES [ <!ENTITY a "&a;&a;" > ]>)", R"(<VALUE name="x" val="&a;"/>)")),
          "it holds a DTD" },
        { "a DOCTYPE naming /dev/zero",
          text(properties(R"(<!DOCTYPE PROPERTIES SYSTEM "/dev/zero">)", R"(<VALUE name="x" val="&z;"/>)")),
          "it holds a DTD" },
        { "a parameter entity reading a file",
          [&] {
              return secret.replaceWithText("https://secret.example.test")
                     && config_file().replaceWithText(
                         R"(<!DOCTYPE PROPERTIES [ <!ENTITY % p SYSTEM "secret.txt" > <!ENTITY s %p; > ]>)"
                         R"(<PROPERTIES><VALUE name="app_api" val="&s;"/></PROPERTIES>)");
          },
          "it holds a DTD" },
        { "text after a processing instruction, on which the XML reader loops for good",
          text(properties({}, R"(<VALUE name="x"><?pi?>text</VALUE>)")),
          "it holds a processing instruction before text inside an element, which the XML reader never gets past" },
        // The parser would make bytes that are no UTF-8 of these, or read on past the text's end.
        { "a character reference to a surrogate", text(properties({}, R"(<VALUE name="x" val="&#xD800;"/>)")),
          "it holds a character reference to no Unicode character" },
        { "a character reference above U+10FFFF", text(properties({}, R"(<VALUE name="x" val="&#1114112;"/>)")),
          "it holds a character reference to no Unicode character" },
        { "a hexadecimal character reference cut by the file's end", text("<PROPERTIES>" + api + R"(<VALUE name="x" val="&#x4)"),
          "it holds a character reference to no Unicode character" },
        // An unknown entity's name that starts with "<" is read as markup, once.
        { "an unknown entity named by 100 nested elements",
          text(properties({}, "<VALUE name=\"x\">&" + juce::String::repeatedString("<a>", 100) + ";</VALUE>")),
          "it holds elements nested deeper than 64 levels" },
        // The reader looks for the ';' up to the end of the text, from each '&' of a character block.
        { "500,000 '&' without a ';' in a value's text",
          text(properties({}, "<VALUE name=\"x\">" + juce::String::repeatedString("&", 500000) + "</VALUE>")),
          "it holds an entity reference without its ';'" },
        { "an '&' without a ';' after it in an attribute", text(properties({}, R"(<VALUE name="x" val="AT&T"/>)")),
          "it holds an entity reference without its ';'" },
        { "an entity reference inside an unknown entity's markup, which holds no ';'",
          text(properties({}, R"(<VALUE name="x">&<a>&b</a>;</VALUE>)")),
          "it holds an entity reference without its ';'" },
        { "a character reference inside an unknown entity's markup, which holds no ';'",
          text(properties({}, R"(<VALUE name="x">&<a>&#x41;</VALUE>)")),
          "it holds a character reference to no Unicode character" },
        { "a DTD in a value, which a save would parse",
          text(properties({}, R"(<VALUE name="x" val="&lt;!DOCTYPE a [&lt;!ENTITY b &quot;&amp;b;&amp;b;&quot;&gt;]&gt;&lt;a&gt;&amp;b;&lt;/a&gt;"/>)")),
          "the value of \"x\" holds a DTD" },
        { "the compressed binary properties format",
          [] {
              juce::FileOutputStream out(config_file());
              out.writeInt((int) juce::ByteOrder::makeInt('C', 'P', 'R', 'P'));
              juce::GZIPCompressorOutputStream zipped(out);
              return zipped.writeInt(1) && zipped.writeString("app_api") && zipped.writeString("https://binary.example.test");
          },
          "it is in the binary properties format, not XML" },
        { "a FIFO", [] { return mkfifo(config_file().getFullPathName().toRawUTF8(), 0600) == 0; },
          "it is not a regular file" },
        { "40,000 keys",
          [&] {
              juce::MemoryOutputStream many;
              for (int i = 0; i < 40000; ++i)
                  many << "<VALUE name=\"k" << i << "\"/>";
              return text(properties({}, many.toString()))();
          },
          "it is larger than 524288 bytes" },
        { "one byte more than 512 KiB", [&] { return config_file().replaceWithText(padded(properties({}), max + 1)); },
          "it is larger than 524288 bytes" },
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(row.arrange());
        Config config;
        EXPECT_EQ(config.app_api, build_info::api_origin());
        EXPECT_EQ(logger.take(), juce::StringArray("[ERROR]: Ignored config file " + config_file().getFullPathName().quoted()
                                                       + ": " + row.why,
                                                   loaded_line("current")));
        config_file().deleteFile();
    }
    secret.deleteFile();
}

// What the framework's reader took, the reader takes as it did: bytes that are not UTF-8 as
// Windows-1252 (as an editor saves them), an unknown entity as its name, entity names in any case.
// The other keys and app_api are kept, and a save writes the text back as UTF-8.
TEST_F(ConfigTest, FilesTheFrameworkReadLoadAsItReadThem)
{
    const auto bytes = [](const std::string& data) {
        return [data] { return config_file().replaceWithData(data.data(), data.size()); };
    };
    const auto xml = [](const std::string& before, const std::string& value) {
        return before + R"(<PROPERTIES><VALUE name="app_api" val="https://kept.example.test"/><VALUE name="custom" val=")"
               + value + R"("/></PROPERTIES>)";
    };
    const auto real = config_file().getSiblingFile("real-config.xml");
    std::string utf16 = "\xff\xfe";
    for (auto c : juce::String::fromUTF8(xml("", "\xf0\x9f\x98\x80 ok").c_str()))  // a character beyond 16 bits
        for (auto unit : c > 0xffff ? std::vector<int> { 0xd7c0 + (c >> 10), 0xdc00 + (c & 0x3ff) } : std::vector<int> { (int) c })
            utf16 += { (char) (unit & 0xff), (char) (unit >> 8) };
    const struct
    {
        const char* name;
        std::function<bool()> arrange;
        juce::String custom;
    } rows[] = {
        { "a Windows-1252 comment", bytes(xml("<!-- caf\xe9 -->", "plain")), "plain" },
        { "a Windows-1252 value", bytes(xml("", "caf\xe9 \x80 \x93")), juce::String::fromUTF8("caf\xc3\xa9 \xe2\x82\xac \xe2\x80\x9c") },
        { "an overlong NUL, which is no UTF-8", bytes(xml("", "\xc0\x80")), juce::String::fromUTF8("\xc3\x80\xe2\x82\xac") },
        { "UTF-8 with its byte order mark", bytes("\xef\xbb\xbf" + xml("", "caf\xc3\xa9")), juce::String::fromUTF8("caf\xc3\xa9") },
        { "UTF-16 with a surrogate pair", bytes(utf16), juce::String::fromUTF8("\xf0\x9f\x98\x80 ok") },
        { "&nbsp;", bytes(xml("", "a&nbsp;b")), "anbspb" },
        { "an unknown entity of any name", bytes(xml("", "&copy; 2026 &unknown-one;")), "copy 2026 unknown-one" },
        { "predefined entities in any case", bytes(xml("", "AT&AMP;T &Quot;x&QUOT; &Lt;&gT; &APOS;")), "AT&T \"x\" <> '" },
        // The value reads as markup with an '&' that has no ';': a save writes it as text, as the
        // framework's parse of it fails.
        { "a value's markup holding an '&' without a ';'", bytes(xml("", "&lt;b&gt;R&amp;D")), "<b>R&D" },
        { "exactly 512 KiB", [&] { return config_file().replaceWithText(padded(xml("", "full"), ConfigProperties::max_file_bytes)); },
          "full" },
        { "a link to a regular file",
          [&] {
              return real.replaceWithText(xml("", "linked")) && real.createSymbolicLink(config_file(), true);
          },
          "linked" },
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(row.arrange());
        if (juce::String(row.name).startsWith("exactly"))
            ASSERT_EQ(config_file().getSize(), ConfigProperties::max_file_bytes);
        {
            Config config;
            EXPECT_EQ(config.app_api, "https://kept.example.test");
            EXPECT_EQ(config.properties.get_value("custom"), row.custom);
            EXPECT_EQ(logger.take(), juce::StringArray(loaded_line("current", "https://kept.example.test")));
            EXPECT_TRUE(config.save_config());
        }
        const auto saved = saved_entries();
        EXPECT_EQ(saved[0], "app_api=https://kept.example.test");
        EXPECT_EQ(saved[1], "custom=" + row.custom);
        EXPECT_EQ(Config().properties.get_value("custom"), row.custom);
        logger.clear();
        config_file().deleteFile();
        real.deleteFile();
    }
}

// Keys load in linear time: many keys, the last of a repeated key wins and the first keeps its place.
TEST_F(ConfigTest, ManyKeysLoadInFileOrder)
{
    juce::MemoryOutputStream many;
    many << R"(<PROPERTIES><VALUE name="app_api" val="https://first.example.test"/>)";
    for (int i = 0; i < 12000; ++i)
        many << "<VALUE name=\"k" << i << "\" val=\"" << i << "\"/>";
    many << R"(<VALUE name="app_api" val="https://last.example.test"/></PROPERTIES>)";
    ASSERT_TRUE(config_file().replaceWithText(many.toString()));
    Config config;
    EXPECT_EQ(config.app_api, "https://last.example.test");
    EXPECT_TRUE(config.save_config());
    const auto saved = saved_entries();
    ASSERT_EQ(saved.size(), 12008);
    EXPECT_EQ(saved[0], "app_api=https://last.example.test");
    EXPECT_EQ(saved[12000], "k11999=11999");
}

TEST_F(ConfigTest, SaveKeepsUnknownKeysOverwritesIgnoredOnesAndRoundTripsAPinnedBuild)
{
    ASSERT_TRUE(config_file().replaceWithText(entries({ "custom_key=keep me", "app_branch=Other", "launcher_build=LATEST", "app_build=5.4.3",
                   "app_version=5.4.3" })));
    EXPECT_TRUE(Config().save_config());
    // Keys the file had keep their places; new ones follow in save order.
    EXPECT_EQ(saved_entries(), juce::StringArray("custom_key=keep me", "app_branch=Solvanter", "launcher_build=latest",
                                                 "app_build=version", "app_version=5.4.3",
                                                 "app_account_page=" + build_info::account_page_address(),
                                                 "app_api=" + build_info::api_origin(), "app_executable=Solvanter",
                                                 "app_websocket=" + build_info::websocket_address()));
    Config reloaded;
    EXPECT_EQ(reloaded.app_build, BuildType::version);
    EXPECT_EQ(reloaded.app_version, "5.4.3");
    EXPECT_EQ(reloaded.launcher_build, BuildType::latest);
}

TEST_F(ConfigTest, RequestAddressesForEveryBuildType)
{
    Config config;
    const juce::String base = "https://api.example.test/launcher/Windows";
    config.launcher_api = juce::URL(base);
    const auto paths = [&](const juce::String& installed) {
        juce::StringArray result;
        for (const auto& url : { config.launcher_version_url(), config.launcher_download_url(),
                                 config.app_version_url(installed), config.app_download_url() })
            result.add(url.toString(false).replace(base, "<base>"));
        return result;
    };
    const juce::String build = "/Solvanter-launcher/Solvanter-launcher_Windows_2.9.24_e0accb7_2022-05-13_0702";
    const juce::StringArray current("<base>/check_version/launcher/current" + build,
                                    "<base>/get_build_url/launcher/current/Solvanter-launcher",
                                    "<base>/check_version/app/current/Solvanter/1.2.3",
                                    "<base>/get_build_url/app/current/Solvanter");
    EXPECT_EQ(paths("1.2.3"), current);
    config.launcher_build = config.app_build = BuildType::latest;
    EXPECT_EQ(paths("1.2.3").joinIntoString(" "), current.joinIntoString(" ").replace("/current/", "/latest/"));
    // A pinned version checks as current and downloads as "version", with no version number.
    config.app_build = BuildType::version;
    config.app_version = "4.0.0";
    const auto pinned = paths("2.0/beta");
    EXPECT_EQ(pinned[3], "<base>/get_build_url/app/version/Solvanter");
    // The installed version is one segment, whatever it holds: no fragment dropped, no blank that
    // stops the request, no step to another endpoint.
    const std::pair<juce::String, juce::String> versions[] {
        { "2.0/beta", "2.0%2Fbeta" },
        { "2.0#rc1", "2.0%23rc1" },
        { "2.0 beta", "2.0%20beta" },
        { "../../../get_build_url/app/current/Solvanter?x=1",
          "..%2F..%2F..%2Fget_build_url%2Fapp%2Fcurrent%2FSolvanter%3Fx%3D1" },
        { "..", "%2E%2E" },
        { "1.0-rc_2~b", "1.0-rc_2~b" },
        { "%41:@!$&'()*+,;=[]\\", "%2541%3A%40%21%24%26%27%28%29%2A%2B%2C%3B%3D%5B%5D%5C" },
        { juce::String::fromUTF8("v\xc3\xa9"), "v%C3%A9" },
    };
    for (const auto& [installed, segment] : versions)
        EXPECT_EQ(paths(installed)[2], "<base>/check_version/app/current/Solvanter/" + segment) << installed;
}

// The nesting the guard counts is the recursion juce::XmlDocument goes through: on random markup
// that parses, it lies between the deepest element holding anything and the deepest element.
TEST(XmlGuard, CountsTheNestingTheParserReaches)
{
    const char* pieces[] = { "<a>", "<a>", "<a>", "</a>", "<a/>", "< a>", "<a b='x'>", "<a b=\"/>\">", "<a b=>", "<a\n>",
                             "\"", "'", "<!--", "-->", "<![CDATA[", "]]>", "<?", "?>", " ", "t", ">", "/>", "</",
                             "&lt;", "&#60;", "<", "\r\n", "</a >", "&", ";", "&nbsp;", "&#x4", "&#6" };
    const std::function<std::pair<int, int>(const juce::XmlElement&)> levels = [&](const juce::XmlElement& e) {
        std::pair<int, int> deepest { e.getNumChildElements() > 0 ? 1 : 0, 1 };  // holding anything, any
        for (auto* child : e.getChildIterator())
            if (! child->isTextElement())
            {
                const auto [holding, any] = levels(*child);
                deepest = { std::max(deepest.first, holding > 0 ? holding + 1 : 0), std::max(deepest.second, any + 1) };
            }
        return deepest;
    };

    juce::Random random(24);
    int parsed = 0;
    for (int i = 0; i < 20000; ++i)
    {
        juce::String text = "<r>";
        for (int n = random.nextInt(40); --n >= 0;)
            text << pieces[random.nextInt((int) std::size(pieces))];
        // The parser would never end on these, or read past the text's end; the guard says so.
        if (xml_refusal(text, 1000).isNotEmpty())
            continue;
        int counted = 0;
        while (xml_refusal(text, counted).isNotEmpty())
            ++counted;

        if (const auto root = juce::parseXML(text))
        {
            ++parsed;
            const auto [holding, any] = levels(*root);
            ASSERT_GE(counted, holding) << text;
            ASSERT_LE(counted, any) << text;
        }
    }
    EXPECT_GT(parsed, 1000);
}
