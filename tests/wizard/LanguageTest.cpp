// The language selection and the caption files: which file is used, how it
// is completed and applied, and the eight files we ship.
#include "CodePage.h"
#include "Controls.h"
#include "IniFile.h"
#include "Language.h"
#include "MainFixture.h"
#include "Proxy.h"

#include <QCheckBox>
#include <QDir>
#include <QRadioButton>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
namespace tw = tidewell;
using kavo::test::readFile;

// The keys of the two forms with the English texts that completion writes,
// in the order it writes them. The dots text is the AP list's own.
struct KeyText {
    const char* section;
    const char* key;
    const char* english;
};
constexpr const char* kDots = "\x01";
constexpr KeyText kKeys[] = {
    {"FormMain", "TabSheet1", "TabSheet1"},
    {"FormMain", "Label1", "Select the Update Method"},
    {"FormMain", "Label5", "1. Update Firmware from the Internet - Update the firmware from the Internet. The updating will be done automatically."},
    {"FormMain", "Label6", "2. Update Firmware from the Disk - Specify the update firmware from the disk. The updating will be done automatically."},
    {"FormMain", "Label7", "3. Download Firmware from the Internet - Download the firmware to a folder in your computer."},
    {"FormMain", "btnProxy", "&Proxy Setup"},
    {"FormMain", "btnDownload", "btnDownload"},
    {"FormMain", "TabSheet2", "TabSheet2"},
    {"FormMain", "Label2", "Update Procedure"},
    {"FormMain", "labT1_1", "Connecting to the ftp server"},
    {"FormMain", "labT2_2", "Installing files"},
    {"FormMain", "labT3", "Downloading files"},
    {"FormMain", "labT4", "Disconnecting from the ftp server"},
    {"FormMain", "labT5_1", "Installing files"},
    {"FormMain", "labT1_2", "Retrieving available update information"},
    {"FormMain", "labT2_1", "Retrieving available update information"},
    {"FormMain", "labT5_2", "Saving files to disk"},
    {"FormMain", "GroupBox1", "Download Progress"},
    {"FormMain", "Label3", "0%"},
    {"FormMain", "Label4", "100%"},
    {"FormMain", "labProgress", ""},
    {"FormMain", "bbtnStop", "&Stop"},
    {"FormMain", "BitBtn1", "< &Back"},
    {"FormMain", "BitBtn3", "&Cancel"},
    {"FormMain", "Panel2", ""},
    {"FormMain", "BitBtn4", "&Finish"},
    {"FormMain", "BitBtn2", "&Next >"},
    {"FormMain", "Panel1", ""},
    {"FormMain", "SaveDialog1", ""},
    {"FormMain", "OpenDialog1", ""},
    {"FormAPList", "Label2", "Note: If you select manual assignment, the AP's version could not be verified."},
    {"FormAPList", "GroupBox1", ""},
    {"FormAPList", "Label1", "Please select one Access Point to upgrade."},
    {"FormAPList", "StaticText1", kDots},
    {"FormAPList", "RadioButton1", "&Automatically Find AP's IP Address"},
    {"FormAPList", "RadioButton2", "&Manually Assign AP's IP Address"},
    {"FormAPList", "bbtnOK", "&OK"},
    {"FormAPList", "bbtnCancel", "&Cancel"},
};

// Keys a user sees on screen whose text is a word, not a number or a
// hidden or empty control.
bool visibleWords(const KeyText& k)
{
    const std::string key = k.key;
    return *k.english && k.english != kDots && key != "Label3" && key != "Label4" && key != "btnDownload" &&
           key.rfind("TabSheet", 0) != 0;
}

class Language : public MainFixture {
protected:
    void SetUp() override
    {
        MainFixture::SetUp();
        programDir = env.root() + "/prog";
        installDir = env.root() + "/install";
        fs::create_directories(programDir);
        fs::create_directories(installDir);
        fake.program = programDir + "/Tidewell";
        fake.langId = 0x0407;
    }

    void setAppPath(const std::string& path)
    {
        auto k = kavo::RegistryKey::openStore(env.machineStore(), kavo::settings::kKestrelKeyPath,
                                              kavo::Access::All, true, false);
        ASSERT_TRUE(k);
        ASSERT_TRUE(k->writeString(kavo::settings::kAppPath, path));
    }

    static void write(const std::string& path, const std::string& bytes)
    {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }

    // A main window and AP list as at start, then the language selection.
    TestFormMain& select()
    {
        TestFormMain& f = create();
        f.TFormMain::SelectLanguage();
        return f;
    }

    std::string programDir, installDir;
};

TEST(LanguageTable, ExactIdentifiersOnly)
{
    struct Case {
        const char* locale;
        const char* file;
    } cases[] = {
        {"zh_TW.UTF-8", "Tidewell.cht"}, {"zh_CN", "Tidewell.chs"}, {"ja_JP", "Tidewell.jpn"},
        {"ko_KR", "Tidewell.kor"},       {"fr_FR", "Tidewell.fra"}, {"de_DE", "Tidewell.deu"},
        {"it_IT", "Tidewell.ita"},       {"ru_RU", "Tidewell.rus"}, {"zh_HK", nullptr},
        {"de_CH", nullptr},              {"fr_CA", nullptr},        {"en_US", nullptr},
    };
    for (const Case& c : cases) {
        const tw::LanguageFile* l = tw::LanguageFileFor(kavo::platform::langIdFromLocale(c.locale));
        EXPECT_EQ(l ? std::string(l->fileName) : std::string("none"), c.file ? c.file : "none") << c.locale;
    }
}

TEST_F(Language, CandidatesInOrderProgramFolderAppPathUpdate)
{
    setAppPath(installDir + "/");
    fake.langId = 0x0804;
    auto file = [](const char* label) { return std::string("[FormMain]\r\nLabel1=") + label + "\r\n"; };
    write(programDir + "/Tidewell.chs", file("program"));
    write(installDir + "/Tidewell.chs", file("apppath"));
    write(appDir + "/Update/Tidewell.chs", file("update"));

    for (const char* expected : {"program", "apppath", "update"}) {
        EXPECT_EQ(select().Label1->text(), expected);
        TearDown();
        fs::remove(std::string(expected) == "program" ? programDir + "/Tidewell.chs" : installDir + "/Tidewell.chs");
    }
    // None left: the English texts stay, nothing is said.
    fs::remove(appDir + "/Update/Tidewell.chs");
    EXPECT_EQ(select().Label1->text(), "Select the Update Method");
    EXPECT_TRUE(shown().empty());
}

TEST_F(Language, LanguagesWithoutAFileLookForNone)
{
    // Chinese (Hong Kong) and German (Switzerland) have no file of their own.
    write(programDir + "/Tidewell.cht", "[FormMain]\r\nLabel1=cht\r\n");
    write(programDir + "/Tidewell.deu", "[FormMain]\r\nLabel1=deu\r\n");
    for (std::uint16_t id : {std::uint16_t(0x0C04), std::uint16_t(0x0807), std::uint16_t(0x0409)}) {
        fake.langId = id;
        EXPECT_EQ(select().Label1->text(), "Select the Update Method") << id;
        TearDown();
    }
    EXPECT_EQ(readFile(programDir + "/Tidewell.cht"), "[FormMain]\r\nLabel1=cht\r\n");
}

TEST_F(Language, AppPathIsRunTogetherWithTheFileName)
{
    EXPECT_EQ(tw::LanguageCandidates("/p/bin/Tidewell", "/opt/kavo", "/start", "Tidewell.deu"),
              (std::vector<std::string>{"/p/bin/Tidewell.deu", "/opt/kavoTidewell.deu", "/start/Update/Tidewell.deu"}));

    // Without its trailing separator AppPath names a file in the parent folder.
    setAppPath(installDir);
    write(installDir + "/Tidewell.deu", "[FormMain]\r\nLabel1=inside\r\n");
    EXPECT_EQ(select().Label1->text(), "Select the Update Method");
    TearDown();
    write(installDir + "Tidewell.deu", "[FormMain]\r\nLabel1=run together\r\n");
    EXPECT_EQ(select().Label1->text(), "run together");
    TearDown();

    // The value's type is not looked at; its text ends at the first zero byte.
    auto k = kavo::RegistryKey::openStore(env.machineStore(), kavo::settings::kKestrelKeyPath, kavo::Access::All,
                                          true, false);
    const std::string path = installDir + "/";
    kavo::RawValue raw{kavo::RegExpandSz, std::vector<std::uint8_t>(path.begin(), path.end())};
    raw.data.insert(raw.data.end(), {0, 'x', 0});
    ASSERT_TRUE(k->writeRaw(kavo::settings::kAppPath, raw));
    k.reset();
    EXPECT_EQ(tw::ReadAppPath(), path);
    EXPECT_EQ(select().Label1->text(), "inside");
}

TEST_F(Language, EmptyAppPathFindsTheBareNameInTheCurrentFolder)
{
    const fs::path before = fs::current_path();
    const std::string here = env.root() + "/here";
    write(here + "/Tidewell.deu", "[FormMain]\r\nLabel1=current folder\r\n");
    fs::current_path(here);
    const QString label = select().Label1->text();
    fs::current_path(before);
    EXPECT_EQ(label, "current folder");
}

TEST_F(Language, CompletesAFileWithTheEnglishTextsAndKeepsWhatItHad)
{
    // Label1 in CP1252, with blanks and a mark the code page has.
    const std::string label1 = "[FormMain]\r\nLabel1=Aktualisierungsmethode ausw\xe4hlen\r\n";
    write(programDir + "/Tidewell.deu", label1);
    TestFormMain& f = select();
    EXPECT_EQ(f.Label1->text(), QString::fromUtf8("Aktualisierungsmethode auswählen"));
    EXPECT_EQ(f.Label5->text().left(2), "1.");

    const std::string dots = TFormAPList().StaticText1->text().toStdString();
    const std::string after = readFile(programDir + "/Tidewell.deu");
    ASSERT_EQ(after.substr(0, label1.size()), label1);  // Label1 byte for byte, where it was
    std::string expected = label1;
    std::string section = "FormMain";
    for (const KeyText& k : kKeys) {
        if (k.section != section) {
            section = k.section;
            expected += "[" + section + "]\r\n";
        }
        if (section == "FormMain" && std::string(k.key) == "Label1")
            continue;
        const std::string text = k.english == kDots ? dots : k.english;
        expected += std::string(k.key) + "=" + text + "\r\n";
    }
    EXPECT_EQ(after, expected);

    // A file that has every key is left as it is.
    TearDown();
    select();
    EXPECT_EQ(readFile(programDir + "/Tidewell.deu"), expected);
}

TEST_F(Language, KeyNamesAreAppliedWithRegardToCaseOnly)
{
    // "label1" is Label1's key for completion, but it names no control.
    write(programDir + "/Tidewell.deu",
          "[FormMain]\r\nlabel1=klein\r\nLabel2=Vorgang\r\nNoSuchControl=x\r\ncbMethod=y\r\nImage1=z\r\n"
          "[formAPList]\r\nLabel1=wrong case\r\n[NoSuchForm]\r\nLabel1=q\r\n");
    TestFormMain& f = select();
    EXPECT_EQ(f.Label1->text(), "Select the Update Method");
    EXPECT_EQ(f.Label2->text(), "Vorgang");
    EXPECT_EQ(f.cbMethod->itemText(0), tw::kMethodItems[0]);  // combo box items are not captions
    EXPECT_EQ(f.Image1->text(), "");                          // nor are pictures
    EXPECT_FALSE(f.Image1->pixmap().isNull());
    EXPECT_EQ(FormAPList->Label1->text(), "Please select one Access Point to upgrade.");

    const tw::TIniFile ini(readFile(programDir + "/Tidewell.deu"));
    const std::vector<std::string> keys = ini.ReadSection("FormMain");
    EXPECT_EQ(std::count_if(keys.begin(), keys.end(), [](const std::string& k) { return k == "Label1"; }), 0);
    EXPECT_EQ(keys.size(), 30u + 3u);  // the 30 keys of the form and the three that name no control
    EXPECT_EQ(ini.ReadSection("FormAPList").size(), 8u);  // completed in the section of the first spelling
}

TEST_F(Language, AReadOnlyFileIsAppliedButNeverChanged)
{
    const std::string path = programDir + "/Tidewell.deu";
    write(path, "[FormMain]\r\nLabel1=nur lesen\r\n");
    ::chmod(path.c_str(), 0444);
    struct stat before {};
    ::stat(path.c_str(), &before);
    EXPECT_EQ(select().Label1->text(), "nur lesen");
    struct stat after {};
    ::stat(path.c_str(), &after);
    EXPECT_EQ(readFile(path), "[FormMain]\r\nLabel1=nur lesen\r\n");
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

TEST_F(Language, TextsTheWizardSetsWinAndTheProxyDialogStaysEnglish)
{
    write(programDir + "/Tidewell.deu",
          "[FormMain]\r\nOpenDialog1=Datei\r\nSaveDialog1=Speichern\r\nlabProgress=Fortschritt\r\n"
          "[FormAPList]\r\nStaticText1=punkte\r\n");
    TestFormMain& f = select();
    EXPECT_EQ(f.OpenDialog1->Title, "Datei");
    EXPECT_EQ(f.SaveDialog1->Title, "Speichern");
    EXPECT_EQ(f.labProgress->text(), "Fortschritt");
    EXPECT_EQ(FormAPList->StaticText1->text(), "punkte");

    runDiskMethodToFinished();
    ASSERT_FALSE(kavo::ui::FileDialog::shown().empty());
    EXPECT_EQ(kavo::ui::FileDialog::shown().back().caption, tw::kOpenDialogTitle);
    EXPECT_EQ(f.labProgress->text(), "");
    FormAPList->show();
    EXPECT_TRUE(FormAPList->StaticText1->text().trimmed().startsWith('.'));
    FormAPList->hide();

    std::string proxy;
    int port = 0;
    TFormProxy dialog(&f, proxy, port);
    EXPECT_EQ(dialog.CheckBox1->text(), "Transfer via Proxy &Server");
    EXPECT_EQ(dialog.BitBtn2->text(), "&Cancel");
}

// The eight files we ship, as the build made them beside the programs.
TEST_F(Language, ShippedFilesAreCompleteTranslatedAndInTheirScript)
{
    struct Script {
        char32_t from, to;
    };
    const std::map<std::string, std::vector<Script>> scripts = {
        {"cht", {{0x4E00, 0x9FFF}}}, {"chs", {{0x4E00, 0x9FFF}}}, {"jpn", {{0x3040, 0x30FF}, {0x4E00, 0x9FFF}}},
        {"kor", {{0xAC00, 0xD7A3}}}, {"rus", {{0x0400, 0x04FF}}},
    };
    const std::string sources = TIDEWELL_LANGUAGE_SOURCES;
    for (const tw::LanguageFile& language : tw::kLanguageFiles) {
        const std::string name = language.fileName;
        const std::string ext = name.substr(name.size() - 3);
        SCOPED_TRACE(name);
        const std::string bytes = readFile(kavo::test::binDir() + "/" + name);
        ASSERT_FALSE(bytes.empty());
        const tw::TIniFile ini(bytes);
        EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"FormMain", "FormAPList"}));

        std::vector<std::string> keys;
        for (const char* section : {"FormMain", "FormAPList"})
            for (const std::string& k : ini.ReadSection(section))
                keys.push_back(std::string(section) + "/" + k);
        std::vector<std::string> expectedKeys;
        for (const KeyText& k : kKeys)
            expectedKeys.push_back(std::string(k.section) + "/" + k.key);
        EXPECT_EQ(keys, expectedKeys);

        // Decoded in its code page it is the UTF-8 source, with CR LF ends.
        QString source = QString::fromStdString(readFile(sources + name + ".utf8"));
        EXPECT_EQ(tw::DecodeCodePage(bytes, language.codePage), source.replace("\n", "\r\n"));

        for (const KeyText& k : kKeys) {
            const QString text = tw::DecodeCodePage(*ini.ReadString(k.section, k.key), language.codePage);
            EXPECT_FALSE(text.contains(QChar(0xFFFD))) << k.key;
            if (!visibleWords(k))
                continue;
            const bool ok = std::string(k.key) == "bbtnOK";
            if (!ok) {
                EXPECT_NE(text, QString::fromLatin1(k.english)) << k.key;
            }
            if (std::string(k.english).find('&') != std::string::npos) {
                EXPECT_EQ(text.count('&'), 1) << k.key;  // the mnemonic is kept
            }
            if (scripts.count(ext) && !ok) {
                bool inScript = false;
                for (char32_t c : text.toUcs4())
                    for (const Script& s : scripts.at(ext))
                        inScript = inScript || (c >= s.from && c <= s.to);
                EXPECT_TRUE(inScript) << k.key << ": " << text.toStdString();
            }
        }
    }
}

TEST_F(Language, EachShippedFileTranslatesTheForms)
{
    for (const tw::LanguageFile& language : tw::kLanguageFiles) {
        SCOPED_TRACE(language.fileName);
        const std::string bytes = readFile(kavo::test::binDir() + "/" + language.fileName);
        write(programDir + "/" + language.fileName, bytes);
        fake.langId = language.langId;
        TestFormMain& f = select();
        const tw::TIniFile ini(bytes);
        EXPECT_EQ(f.BitBtn2->text(), tw::DecodeCodePage(*ini.ReadString("FormMain", "BitBtn2"), language.codePage));
        EXPECT_EQ(FormAPList->RadioButton1->text(),
                  tw::DecodeCodePage(*ini.ReadString("FormAPList", "RadioButton1"), language.codePage));
        EXPECT_EQ(readFile(programDir + "/" + language.fileName), bytes);  // complete: not written
        TearDown();
    }
}

}  // namespace
