// The installed layout and the Debian package: `cmake --install` into a
// throw-away folder, the PPDs as CUPS reads them, the stand-in programs at
// work, and the .deb's contents, modes and maintainer scripts.
#include <gtest/gtest.h>

#include <cups/ppd.h>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test_files.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace
{

const std::string kBuildDir = KOLVEX_BUILD_DIR;
const std::string kRoot = KOLVEX_PRINTERS_ROOT_PATH; // /opt/kolvex/Printers
const std::string kFilterDir = KOLVEX_FILTER_DIR;
const std::string kPpdDir = KOLVEX_PPD_INSTALL_DIR;
const std::string kUdevDir = KOLVEX_UDEV_DIR;
const std::string kAutostartDir = KOLVEX_AUTOSTART_INSTALL_DIR;
const std::string kUsbVendor = KOLVEX_UDEV_VENDOR_TEXT;

using kolvextest::quote;
using kolvextest::readFile;
using kolvextest::run;
using kolvextest::writeFile;

// "drwxrwxrwt"-style text of a path's type and mode, "" when missing.
std::string modeText(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return "";
    std::string t = S_ISDIR(st.st_mode) ? "d" : S_ISREG(st.st_mode) ? "-" : "?";
    const char *rwx = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        t += (st.st_mode & (0400 >> i)) ? rwx[i] : '-';
    if (st.st_mode & S_ISVTX)
        t[9] = t[9] == 'x' ? 't' : 'T';
    return t;
}

class TempFolder
{
  public:
    TempFolder()
    {
        char tmpl[] = "/tmp/kolvex-pkg-XXXXXX";
        path_ = mkdtemp(tmpl) ? tmpl : "";
    }
    ~TempFolder()
    {
        if (!path_.empty())
            run("rm -rf " + quote(path_));
    }
    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

// Where everything lands, with the expected mode: one row per path.
struct Expected {
    std::string path;
    const char *mode;
};

// `prefix` is where the relative install folders (bin, share) land: the
// build's install prefix, or /usr in the Debian package.
std::vector<Expected> expectedLayout(const std::string &prefix)
{
    const std::string r = kRoot;
    std::vector<Expected> rows = {
        {prefix + "/share/applications/kolvex-setuptool.desktop", "-rw-r--r--"},
        {prefix + "/share/icons/hicolor/48x48/apps/kolvex-printer.png", "-rw-r--r--"},
        {r, "drwxr-xr-x"},
        {r + "/LR880", "drwxrwxrwx"},
        {r + "/LR880/control", "drwxrwxrwx"},
        {r + "/LR880/WaterMark", "drwxrwxrwx"},
        {r + "/LR880/lr880_print_log_summarize", "-rwxr-xr-x"},
        {r + "/LR880/docviewer", "-rwxr-xr-x"},
        {r + "/LR880/help_r88.pdf", "-rw-r--r--"},
        {r + "/LR880/LR880_MarginAdjustment.pdf", "-rw-r--r--"},
        {r + "/LR880N", "drwxrwxrwx"},
        {r + "/LR880N/control", "drwxrwxrwx"},
        {r + "/LR880N/WaterMark", "drwxrwxrwx"},
        {r + "/LR880N/lr880n_print_log_summarize", "-rwxr-xr-x"},
        {r + "/LR880N/lr880n_cancel_job", "-rwxr-xr-x"},
        {r + "/samples/kolvex-sample.pdf", "-rw-r--r--"},
        {r + "/tmp", "drwxr-xr-x"},
        {r + "/tmp/printfiles", "drwxrwxrwt"},
        {r + "/tmp/printfiles_net", "drwxrwxrwt"},
        {kFilterDir + "/rastercodec", "-rwxr-xr-x"},
        {kFilterDir + "/rastercodec-net", "-rwxr-xr-x"},
        {kPpdDir + "/LR880.ppd", "-rw-r--r--"},
        {kPpdDir + "/LR880N.ppd", "-rw-r--r--"},
        {kUdevDir + "/70-kolvex-lr880.rules", "-rw-r--r--"},
        {kAutostartDir + "/kolvex-statusmon.desktop", "-rw-r--r--"},
        {kAutostartDir + "/kolvex-statusmon-net.desktop", "-rw-r--r--"},
    };
#ifdef KOLVEX_HAVE_FILTER
    rows.push_back({kFilterDir + "/rastersend", "-rwxr-xr-x"});
    rows.push_back({kFilterDir + "/rastersend-net", "-rwxr-xr-x"});
#endif
#ifdef KOLVEX_HAVE_SETUPTOOL
    rows.push_back({prefix + "/bin/setuptool", "-rwxr-xr-x"});
#endif
#ifdef KOLVEX_HAVE_MONITOR
    rows.push_back({prefix + "/bin/statusmon", "-rwxr-xr-x"});
    rows.push_back({prefix + "/bin/statusmon-net", "-rwxr-xr-x"});
#endif
#ifdef KOLVEX_HAVE_TEMPLATES
    for (const char *m :
         {"LR880/WaterMark/WaterMark1A4_r88.bmp", "LR880/WaterMark/WaterMark1200B5_r88.bmp",
          "LR880N/WaterMark/WaterMark1B5_r88n.bmp", "LR880N/WaterMark/WaterMark1200A4_r88n.bmp"})
        rows.push_back({r + "/" + m, "-rw-r--r--"});
#endif
    return rows;
}

// The files that the filters, the monitor and the settings tool all write.
std::vector<std::string> sharedFiles()
{
    return {"LR880/control/printerInfo_r88",    "LR880/control/duplexFlagInfo_r88",
            "LR880/control/PrinterState_r88",   "LR880/lr880_print_log",
            "LR880N/control/printerInfo_r88n",  "LR880N/control/duplexFlagInfo_r88n",
            "LR880N/control/PrinterState_r88n", "LR880N/control/jobid_r88n",
            "LR880N/lr880n_print_log"};
}

// One `cmake --install` of the build tree for all tests of the suite.
class Installed : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        folder_ = new TempFolder;
        dest_ = folder_->path() + "/dest";
        std::string out;
        status_ = run("DESTDIR=" + quote(dest_) + " cmake --install " + quote(kBuildDir), &out);
        log_ = out;
    }
    static void TearDownTestSuite()
    {
        delete folder_;
        folder_ = nullptr;
    }
    void SetUp() override { ASSERT_EQ(status_, 0) << log_; }

    static std::string at(const std::string &path) { return dest_ + path; }

    static TempFolder *folder_;
    static std::string dest_;
    static std::string log_;
    static int status_;
};

TempFolder *Installed::folder_ = nullptr;
std::string Installed::dest_;
std::string Installed::log_;
int Installed::status_ = -1;

TEST_F(Installed, EveryFileAndFolderLandsWithItsMode)
{
    for (const Expected &e : expectedLayout(KOLVEX_INSTALL_PREFIX))
        EXPECT_EQ(modeText(at(e.path)), e.mode) << e.path;
}

TEST_F(Installed, SharedControlFilesAndLogsAreWritableByFilterAndDesktopUsers)
{
    for (const std::string &f : sharedFiles())
        EXPECT_EQ(modeText(at(kRoot + "/" + f)), "-rw-rw-rw-") << f;
}

TEST_F(Installed, InstallingAgainKeepsThePrintLog)
{
    const std::string log = at(kRoot + "/LR880/lr880_print_log");
    writeFile(log, "PageNum=1;\n");
    std::string out;
    ASSERT_EQ(run("DESTDIR=" + quote(dest_) + " cmake --install " + quote(kBuildDir), &out), 0)
        << out;
    EXPECT_EQ(readFile(log), "PageNum=1;\n");
    writeFile(log, "");
}

TEST_F(Installed, UdevRuleGivesTheSeatUserThePrintersUsbDevice)
{
    const std::string rule = readFile(at(kUdevDir + "/70-kolvex-lr880.rules"));
    EXPECT_NE(rule.find("SUBSYSTEM==\"usb\""), std::string::npos) << rule;
    EXPECT_NE(rule.find("ATTR{idVendor}==\"" + kUsbVendor + "\""), std::string::npos) << rule;
    EXPECT_NE(rule.find("ATTR{idProduct}==\"0032\""), std::string::npos) << rule;
    EXPECT_NE(rule.find("TAG+=\"uaccess\""), std::string::npos) << rule;
    // uaccess tags are acted on by 73-seat-late.rules: the rule must come first.
    EXPECT_LT(std::stoi(std::string("70-kolvex-lr880.rules").substr(0, 2)), 73);
}

struct DesktopCase {
    std::string file;
    const char *exec;
    bool autostart;
};

TEST_F(Installed, DesktopEntriesStartTheProgramsWithAnInstalledIcon)
{
    const std::vector<DesktopCase> cases = {
        {std::string(KOLVEX_INSTALL_PREFIX) + "/share/applications/kolvex-setuptool.desktop",
         "setuptool", false},
        {kAutostartDir + "/kolvex-statusmon.desktop", "statusmon", true},
        {kAutostartDir + "/kolvex-statusmon-net.desktop", "statusmon-net", true},
    };
    for (const DesktopCase &c : cases) {
        const std::string &file = c.file;
        const std::string text = readFile(at(file));
        ASSERT_FALSE(text.empty()) << file;
        EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u) << file;
        EXPECT_NE(text.find("\nType=Application\n"), std::string::npos) << file;
        EXPECT_NE(text.find(std::string("\nExec=") + c.exec + "\n"), std::string::npos) << file;
        EXPECT_NE(text.find("\nIcon=kolvex-printer\n"), std::string::npos) << file;
        EXPECT_EQ(text.find("\nNoDisplay=true\n") != std::string::npos, c.autostart) << file;
    }
}

// ---------------------------------------------------------------- PPDs

struct OptionCase {
    const char *keyword;
    std::vector<const char *> choices;
    const char *defaultChoice;
};

class InstalledPpd : public Installed, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(InstalledPpd, HasTheOptionsAndPagesTheFiltersRead)
{
    const std::string path = at(kPpdDir + "/" + GetParam() + ".ppd");
    ppd_file_t *ppd = ppdOpenFile(path.c_str());
    ASSERT_NE(ppd, nullptr) << path;
    const std::vector<OptionCase> options = {
        {"PageSize", {"A4", "B5", "C16K"}, "A4"},
        {"MediaType", {"Plain", "Thick", "Thin"}, "Plain"},
        {"WatermarkOptions", {"None", "OptCas1"}, "None"},
        {"ColorMode", {"Color", "Green", "Mono"}, "Color"},
        {"Resolution", {"600dpi", "1200dpi", "1200*600dpi", "300dpi", "200dpi"}, "600dpi"},
        {"InputSlot", {"Auto", "Tray1", "Manual"}, "Auto"},
        {"cupsDarkness", {"Light", "Normal", "Dark"}, "Normal"},
        {"Duplex", {"None", "DuplexTumble", "DuplexNoTumble"}, "None"},
    };
    for (const OptionCase &c : options) {
        ppd_option_t *o = ppdFindOption(ppd, c.keyword);
        ASSERT_NE(o, nullptr) << c.keyword;
        EXPECT_STREQ(o->defchoice, c.defaultChoice) << c.keyword;
        EXPECT_EQ(o->num_choices, static_cast<int>(c.choices.size())) << c.keyword;
        for (const char *choice : c.choices)
            EXPECT_NE(ppdFindChoice(o, choice), nullptr) << c.keyword << " " << choice;
    }
    // The filters match the marked page size by name.
    for (const char *size : {"A4", "B5", "C16K"})
        EXPECT_NE(ppdPageSize(ppd, size), nullptr) << size;
    ppd_attr_t *snmp = ppdFindAttr(ppd, "cupsSNMPSupplies", nullptr);
    ASSERT_NE(snmp, nullptr);
    EXPECT_STREQ(snmp->value, "False");
    ppdClose(ppd);
}

TEST_P(InstalledPpd, MakesCupsRunTheRasterizerThenTheFilter)
{
    const std::string model = GetParam();
    const std::string suffix = model == "LR880N" ? "-net" : "";
    const std::string text = readFile(at(kPpdDir + "/" + model + ".ppd"));
    EXPECT_NE(text.find("*cupsFilter2: \"application/vnd.cups-raster application/vnd.kolvex-opl 0 "
                        "rastersend" +
                        suffix + "\"\n"),
              std::string::npos);
    EXPECT_NE(
        text.find("*cupsPreFilter: \"application/vnd.cups-raster 0 rastercodec" + suffix + "\"\n"),
        std::string::npos);
    EXPECT_NE(text.find("*ModelName: \"Kolvex " + model + "\"\n"), std::string::npos);
}

TEST_P(InstalledPpd, CupstestppdFindsOnlyTheResolutionNameTheFilterNeeds)
{
    // "1200*600dpi" is the Resolution text the filter compares against; it is
    // not of the NNNxMMMdpi form cupstestppd wants, which is its one failure.
    std::string out;
    run("cupstestppd -R " + quote(dest_) + " " + quote(at(kPpdDir + "/" + GetParam() + ".ppd")),
        &out);
    if (out.find("not found") != std::string::npos && out.find("cupstestppd") != std::string::npos)
        GTEST_SKIP() << "cupstestppd is not installed";
    std::istringstream lines(out);
    std::string line;
    int failures = 0;
    while (std::getline(lines, line)) {
        if (line.find("**FAIL**") == std::string::npos)
            continue;
        ++failures;
        EXPECT_NE(line.find("Bad option Resolution choice 1200*600dpi"), std::string::npos) << out;
    }
    EXPECT_EQ(failures, 1) << out;
    EXPECT_EQ(out.find("Missing cupsFilter2 file"), std::string::npos) << out;
    EXPECT_EQ(out.find("Missing cupsPreFilter file"), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(Models, InstalledPpd, ::testing::Values("LR880", "LR880N"));

// ---------------------------------------------------------------- stand-ins

TEST_F(Installed, LogSummarizerAddsUpThePrintLog)
{
    const std::string dir = at(kRoot + "/LR880N");
    writeFile(dir + "/lr880n_print_log",
              "PageNum=3;\nPaperSize=A4;\nResolution=600dpi;\nCopies-Actual=1;\n"
              "PrinterState=Printer Ready;\nEndTime:Mon Dec  8 10:00:00 2025\n\n"
              "==================================\n\n"
              "PageNum=1;\nPaperSize=B5;\nResolution=600dpi;\nCopies-Actual=1;\n"
              "EndTime:Mon Dec  8 11:00:00 2025\nPrinterState=Printer Ready\n"
              "Print Job Canceled from the Computer or USB Lost Connect\n\n"
              "==========================\n\n");
    ASSERT_EQ(run(quote(dir + "/lr880n_print_log_summarize")), 0);
    EXPECT_EQ(readFile(dir + "/lr880n_print_log_summary"),
              "Jobs=2;\nPages=4;\nCancelled=1;\nLastEndTime=Mon Dec  8 11:00:00 2025;\n"
              "LastPrinterState=Printer Ready;\n");
    writeFile(dir + "/lr880n_print_log", "");
}

TEST_F(Installed, LogSummarizerWithoutALogDoesNothing)
{
    TempFolder empty;
    ASSERT_EQ(run("cp " + quote(at(kRoot + "/LR880/lr880_print_log_summarize")) + " " +
                  quote(empty.path())),
              0);
    EXPECT_EQ(run(quote(empty.path() + "/lr880_print_log_summarize")), 0);
    EXPECT_EQ(modeText(empty.path() + "/lr880_print_log_summary"), "");
}

TEST_F(Installed, CancelProgramRecordsTheCancelledJob)
{
    const std::string dir = at(kRoot + "/LR880N");
    writeFile(dir + "/control/jobid_r88n", "57");
    ASSERT_EQ(run(quote(dir + "/lr880n_cancel_job")), 0);
    const std::string log = readFile(dir + "/lr880n_cancel_log");
    EXPECT_NE(log.find(" job=57 cancelled\n"), std::string::npos) << log;
    writeFile(dir + "/control/jobid_r88n", "");
}

// A folder for PATH holding fake viewers that record what they were asked
// to open, so that no real viewer window ever opens in a test.
class FakeViewers
{
  public:
    void add(const std::string &name)
    {
        const std::string path = bin_.path() + "/" + name;
        writeFile(path, "#!/bin/sh\necho " + name + " \"$@\" >> " + quote(record()) + "\n");
        chmod(path.c_str(), 0755);
    }
    std::string path() const { return bin_.path(); }
    std::string record() const { return bin_.path() + "/opened"; }

  private:
    TempFolder bin_;
};

TEST_F(Installed, DocviewerOpensThePdfWithTheDesktopsOpener)
{
    FakeViewers viewers;
    viewers.add("xdg-open");
    const std::string pdf = at(kRoot + "/LR880/help_r88.pdf");
    std::string out;
    EXPECT_EQ(run("PATH=" + quote(viewers.path()) + " " + quote(at(kRoot + "/LR880/docviewer")) +
                      " " + quote(pdf),
                  &out),
              0)
        << out;
    EXPECT_EQ(readFile(viewers.record()), "xdg-open " + pdf + "\n");
}

TEST_F(Installed, DocviewerPrefersAPdfViewerItself)
{
    // A viewer started directly keeps docviewer waiting while it is open.
    FakeViewers viewers;
    viewers.add("xdg-open");
    viewers.add("okular");
    const std::string pdf = at(kRoot + "/LR880/LR880_MarginAdjustment.pdf");
    std::string out;
    EXPECT_EQ(run("PATH=" + quote(viewers.path()) + " " + quote(at(kRoot + "/LR880/docviewer")) +
                      " " + quote(pdf),
                  &out),
              0)
        << out;
    EXPECT_EQ(readFile(viewers.record()), "okular " + pdf + "\n");
}

TEST_F(Installed, DocviewerWithoutAViewerOrFileSaysSo)
{
    FakeViewers none;
    std::string out;
    EXPECT_EQ(run("PATH=" + quote(none.path()) + " " + quote(at(kRoot + "/LR880/docviewer")) + " " +
                      quote(at(kRoot + "/LR880/help_r88.pdf")),
                  &out),
              1);
    EXPECT_NE(out.find("no PDF viewer found"), std::string::npos) << out;
    EXPECT_EQ(run(quote(at(kRoot + "/LR880/docviewer")) + " /nonexistent.pdf", &out), 2);
    EXPECT_NE(out.find("usage: docviewer"), std::string::npos) << out;
}

// ---------------------------------------------------------------- .deb

class DebianPackage : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        folder_ = new TempFolder;
        std::string out;
        status_ = run("cd " + quote(folder_->path()) + " && cpack --config " +
                          quote(kBuildDir + "/CPackConfig.cmake") + " -B " + quote(folder_->path()),
                      &out);
        log_ = out;
        if (DIR *d = opendir(folder_->path().c_str())) {
            while (dirent *e = readdir(d)) {
                std::string n = e->d_name;
                if (n.size() > 4 && n.compare(n.size() - 4, 4, ".deb") == 0)
                    deb_ = folder_->path() + "/" + n;
            }
            closedir(d);
        }
    }
    static void TearDownTestSuite()
    {
        delete folder_;
        folder_ = nullptr;
    }
    void SetUp() override
    {
        if (run("command -v dpkg-deb") != 0)
            GTEST_SKIP() << "dpkg-deb is not installed";
        ASSERT_EQ(status_, 0) << log_;
        ASSERT_FALSE(deb_.empty()) << log_;
    }

    // path -> "mode owner" of every entry of the package's data.
    static std::map<std::string, std::string> listing()
    {
        std::string out;
        run("dpkg-deb -c " + quote(deb_), &out);
        std::map<std::string, std::string> entries;
        std::istringstream lines(out);
        std::string mode, owner, size, date, time, path;
        while (lines >> mode >> owner >> size >> date >> time >> path) {
            if (path.size() > 1 && path.back() == '/')
                path.pop_back();
            entries[path.substr(1)] = mode + " " + owner;
        }
        return entries;
    }

    static TempFolder *folder_;
    static std::string deb_;
    static std::string log_;
    static int status_;
};

TempFolder *DebianPackage::folder_ = nullptr;
std::string DebianPackage::deb_;
std::string DebianPackage::log_;
int DebianPackage::status_ = -1;

TEST_F(DebianPackage, FilesAreOwnedByRootWithTheirModes)
{
    const auto entries = listing();
    for (const Expected &e : expectedLayout("/usr")) {
        const std::string &path = e.path;
        auto it = entries.find(path);
        ASSERT_NE(it, entries.end()) << path << " is not in the package";
        EXPECT_EQ(it->second, std::string(e.mode) + " root/root") << path;
    }
    for (const auto &entry : entries)
        EXPECT_NE(entry.second.find(" root/root"), std::string::npos) << entry.first;
}

TEST_F(DebianPackage, LeavesTheRunTimeFilesToItsMaintainerScripts)
{
    const auto entries = listing();
    for (const std::string &f : sharedFiles())
        EXPECT_EQ(entries.count(kRoot + "/" + f), 0u) << f;
}

TEST_F(DebianPackage, ControlNamesThePrintSystemItNeeds)
{
    std::string out;
    ASSERT_EQ(run("dpkg-deb -f " + quote(deb_) + " Package Depends Architecture", &out), 0);
    EXPECT_NE(out.find("Package: kolvex-lr880"), std::string::npos) << out;
    for (const char *dep : {"cups", "cups-filters", "ghostscript", "libcups2", "libjbig0"})
        EXPECT_NE(out.find(dep), std::string::npos) << dep << "\n" << out;
}

TEST_F(DebianPackage, InstallsIntoAThrowAwayRootAndPurgesCleanly)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "installing with dpkg --root needs root";
    TempFolder root;
    const std::string r = root.path();
    ASSERT_EQ(run("mkdir -p " + quote(r + "/var/lib/dpkg/info") + " " +
                  quote(r + "/var/lib/dpkg/updates") + " && touch " +
                  quote(r + "/var/lib/dpkg/status")),
              0);
    const std::string dpkg =
        "dpkg --root=" + quote(r) + " --force-script-chrootless --force-depends --log=/dev/null ";
    std::string out;
    ASSERT_EQ(run(dpkg + "-i " + quote(deb_), &out), 0) << out;
    for (const Expected &e : expectedLayout("/usr"))
        EXPECT_EQ(modeText(r + e.path), e.mode) << e.path;
    // postinst made the shared files, writable by everyone.
    for (const std::string &f : sharedFiles())
        EXPECT_EQ(modeText(r + kRoot + "/" + f), "-rw-rw-rw-") << f;

    writeFile(r + kRoot + "/LR880/lr880_print_log", "PageNum=2;\n");
    ASSERT_EQ(run(dpkg + "-i " + quote(deb_), &out), 0) << out;
    EXPECT_EQ(readFile(r + kRoot + "/LR880/lr880_print_log"), "PageNum=2;\n")
        << "reinstalling must keep the print log";

    ASSERT_EQ(run(dpkg + "--purge kolvex-lr880", &out), 0) << out;
    EXPECT_EQ(modeText(r + kRoot), "") << "the printers root is gone after a purge";
    EXPECT_EQ(modeText(r + kFilterDir + "/rastercodec"), "");
}

} // namespace
