#include "job/job_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "shell/documents_dir.h"
#include "tests/support/recording_view.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tw_job_settings_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string PathOf(const std::string& name) const { return dir_ + "/" + name; }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  std::string dir_;
};

JobParams Sample() {
  JobParams j;
  j.transponderType = kTypeHitagMu;
  j.startBlock = 7;
  j.byteCount = 6;
  j.numberFormat = kFormatHex;
  j.display = kDisplayAscii;
  j.orientation = kOrientationRotated;
  j.valueText =
      "LOT-\xB5"
      "01";
  j.autoIncrement = 0;
  j.leadingZeros = 1;
  j.allowExtraText = 1;
  j.importData = 1;
  j.importFile = "/data/werte.csv";
  j.importLinesUsed = 12;
  j.password = "01234567";
  j.tagPassword = "ABCDEF";
  j.passwordActive = 1;
  j.readWithPassword = 1;
  j.authMode = 1;
  j.authKey = "0123456789AB";
  j.lockUsedBlocks = 1;
  j.readAfterWrite = 1;
  j.modulation = 3;
  j.readProtectFirst = 3;
  j.readProtectLast = 4;
  j.writeProtectFirst = 5;
  j.writeProtectLast = 6;
  j.autoreadFirst = 7;
  j.autoreadLast = 255;
  j.logWrites = 1;
  j.logReads = 1;
  j.writeLogFile = "/logs/s.txt";
  j.readLogFile = "/logs/l.txt";
  return j;
}

// The fields a settings file carries (not the protocol settings, import position or timings).
void ExpectSameFileFields(const JobParams& a, const JobParams& b) {
  EXPECT_EQ(a.transponderType, b.transponderType);
  EXPECT_EQ(a.startBlock, b.startBlock);
  EXPECT_EQ(a.byteCount, b.byteCount);
  EXPECT_EQ(a.numberFormat, b.numberFormat);
  EXPECT_EQ(a.display, b.display);
  EXPECT_EQ(a.orientation, b.orientation);
  EXPECT_EQ(a.valueText, b.valueText);
  EXPECT_EQ(a.autoIncrement, b.autoIncrement);
  EXPECT_EQ(a.leadingZeros, b.leadingZeros);
  EXPECT_EQ(a.allowExtraText, b.allowExtraText);
  EXPECT_EQ(a.importData, b.importData);
  EXPECT_EQ(a.importFile, b.importFile);
  EXPECT_EQ(a.password, b.password);
  EXPECT_EQ(a.tagPassword, b.tagPassword);
  EXPECT_EQ(a.passwordActive, b.passwordActive);
  EXPECT_EQ(a.readWithPassword, b.readWithPassword);
  EXPECT_EQ(a.authMode, b.authMode);
  EXPECT_EQ(a.authKey, b.authKey);
  EXPECT_EQ(a.lockUsedBlocks, b.lockUsedBlocks);
  EXPECT_EQ(a.readAfterWrite, b.readAfterWrite);
  EXPECT_EQ(a.modulation, b.modulation);
  EXPECT_EQ(a.readProtectFirst, b.readProtectFirst);
  EXPECT_EQ(a.readProtectLast, b.readProtectLast);
  EXPECT_EQ(a.writeProtectFirst, b.writeProtectFirst);
  EXPECT_EQ(a.writeProtectLast, b.writeProtectLast);
  EXPECT_EQ(a.autoreadFirst, b.autoreadFirst);
  EXPECT_EQ(a.autoreadLast, b.autoreadLast);
}

TEST(JobSettings, FirstStartWithAnEmptyStore) {
  MemorySettingsStore store;
  JobParams j = Sample();
  LoadSettings(j, store);
  EXPECT_EQ(j.transponderType, kTypeHitagS);
  EXPECT_EQ(j.startBlock, 0);
  EXPECT_EQ(j.byteCount, 4);
  EXPECT_EQ(j.numberFormat, kFormatDecimal);
  EXPECT_EQ(j.display, kDisplayBinary);
  EXPECT_EQ(j.orientation, kOrientationNormal);
  EXPECT_EQ(j.autoIncrement, 1);
  EXPECT_EQ(j.password, "5A3C9E17");
  EXPECT_EQ(j.tagPassword, "6B2D91");
  EXPECT_EQ(j.valueText, "");
  EXPECT_EQ(j.importData, 0);
  EXPECT_EQ(j.importFile, "");
  EXPECT_EQ(j.logWrites, 0);
  EXPECT_EQ(j.logReads, 0);
  EXPECT_EQ(j.writeLogFile, DocumentsDir() + "Protokoll_S.txt");
  EXPECT_EQ(j.readLogFile, DocumentsDir() + "Protokoll_L.txt");
  EXPECT_EQ(j.autoreadLast, 0u);
  EXPECT_EQ(store.WriteCount(), 0);
}

TEST(JobSettings, SaveThenLoadRestoresEveryField) {
  MemorySettingsStore store;
  const JobParams saved = Sample();
  ASSERT_TRUE(SaveSettings(saved, store));
  EXPECT_EQ(store.GetProfileString("Settings", "Transpondertyp", ""), "Hitag \xB5");
  EXPECT_EQ(store.GetProfileInt("Protokoll", "LogFileEnableLesen", 0), 1);
  JobParams loaded;
  LoadSettings(loaded, store);
  ExpectSameFileFields(saved, loaded);
  EXPECT_EQ(loaded.importLinesUsed, 12);
  EXPECT_EQ(loaded.writeLogFile, "/logs/s.txt");
  EXPECT_EQ(loaded.readLogFile, "/logs/l.txt");
  EXPECT_EQ(loaded.logWrites, 1);
}

TEST(JobSettings, ImportPositionIgnoredWithoutDatenImport) {
  MemorySettingsStore store;
  store.WriteProfileInt("Settings", "DatenImport", 0);
  store.WriteProfileString("Settings", "DatenFile", "/data/alt.csv");
  store.WriteProfileInt("Settings", "DatenLinesUsed", 5);
  JobParams j;
  j.importFile = "x";
  j.importLinesUsed = 3;
  LoadSettings(j, store);
  EXPECT_EQ(j.importFile, "");
  EXPECT_EQ(j.importLinesUsed, 0);
  ASSERT_TRUE(SaveSettings(j, store));
  EXPECT_EQ(store.GetProfileString("Settings", "DatenFile", "?"), "");
  EXPECT_EQ(store.GetProfileInt("Settings", "DatenLinesUsed", -1), 0);
}

TEST(JobSettings, TypeNameLetterCaseAndUnknownNames) {
  MemorySettingsStore store;
  JobParams j;
  store.WriteProfileString("Settings", "Transpondertyp", "ata5577");
  LoadSettings(j, store);
  EXPECT_EQ(j.transponderType, kTypeAta5577);
  store.WriteProfileString("Settings", "Transpondertyp", "HITAG \xB5");
  LoadSettings(j, store);
  EXPECT_EQ(j.transponderType, kTypeHitagMu);
  store.WriteProfileString("Settings", "Transpondertyp", "Hitag 9");
  LoadSettings(j, store);
  EXPECT_EQ(j.transponderType, kTypeHitagS);
}

TEST(JobSettings, HandEditedValues) {
  MemorySettingsStore store;
  store.WriteProfileString("Settings", "Startblock", "zwei");
  store.WriteProfileString("Settings", "Byteanzahl", "99999999999");
  store.WriteProfileInt("Settings", "Zahlenformat", 7);
  store.WriteProfileInt("Settings", "Darstellung", -1);
  store.WriteProfileInt("Settings", "Modulationsart", 4);
  store.WriteProfileInt("Settings", "ReadProtectLast", -1);
  JobParams j;
  LoadSettings(j, store);
  EXPECT_EQ(j.startBlock, 0);
  EXPECT_EQ(j.byteCount, 4);
  EXPECT_EQ(j.numberFormat, kFormatDecimal);
  EXPECT_EQ(j.display, kDisplayBinary);
  EXPECT_EQ(j.modulation, 0);
  EXPECT_EQ(j.readProtectLast, 0xFFFFFFFFu);  // kept as stored; the write check refuses it
  ASSERT_TRUE(SaveSettings(j, store));
  EXPECT_EQ(store.GetProfileInt("Settings", "ReadProtectLast", 0), -1);
}

TEST(JobSettings, SaveGoesOnWhenTheControlsFailToLoad) {
  MemorySettingsStore store;
  RecordingView view;
  view.loadResult = false;
  JobParams j = Sample();
  EXPECT_TRUE(SaveSettings(j, view, store));
  EXPECT_EQ(view.loadCount, 1);
  EXPECT_EQ(store.GetProfileInt("Settings", "Startblock", -1), 7);
  store.SetFailWrites(true);
  j.startBlock = 8;
  EXPECT_FALSE(SaveSettings(j, store));
}

TEST_F(SettingsFileTest, ExportWritesTheOrderedSectionAndImportReadsItBack) {
  const std::string path = PathOf("job.QZLF_Set");
  const JobParams saved = Sample();
  ASSERT_TRUE(ExportSettingsFile(saved, path));
  const std::string text = Read(path);
  EXPECT_EQ(text,
            "[Settings]\r\nTranspondertyp=Hitag \xB5\r\nWert=LOT-\xB5"
            "01\r\nPasswort=01234567\r\n"
            "TagPasswort=ABCDEF\r\nAutoIncrement=0\r\nDatenImport=1\r\n"
            "DatenFile=/data/werte.csv\r\nAutoNull=1\r\nPrefixZulassen=1\r\nStartblock=7\r\n"
            "Byteanzahl=6\r\nZahlenformat=2\r\nDarstellung=1\r\nAusrichtung=1\r\n"
            "Modulationsart=3\r\nPasswortAktiv=1\r\nAuthKey=0123456789AB\r\nAuthAktiv=1\r\n"
            "LockAktiv=1\r\nReadProtect=1\r\nReadAfterWriteAktiv=1\r\nReadProtectFirst=3\r\n"
            "ReadProtectLast=4\r\nWriteProtectFirst=5\r\nWriteProtectLast=6\r\n"
            "AutoreadFirst=7\r\nAutoreadLast=255\r\n");
  JobParams loaded;
  loaded.importLinesUsed = 4;
  loaded.logWrites = 1;
  loaded.cycleTime = 500;
  ImportSettingsFile(loaded, path);
  ExpectSameFileFields(saved, loaded);
  EXPECT_EQ(loaded.importLinesUsed, 4);
  EXPECT_EQ(loaded.logWrites, 1);
  EXPECT_EQ(loaded.cycleTime, 500);
}

TEST_F(SettingsFileTest, ImportOfAHeaderOnlyFileUsesTheFileDefaults) {
  const std::string path = PathOf("leer.QZLF_Set");
  Write(path, "[Settings]\r\n");
  JobParams j = Sample();
  ImportSettingsFile(j, path);
  EXPECT_EQ(j.startBlock, 1);
  EXPECT_EQ(j.autoIncrement, 0);
  EXPECT_EQ(j.transponderType, kTypeHitagS);
  EXPECT_EQ(j.password, "5A3C9E17");
  EXPECT_EQ(j.tagPassword, "6B2D91");
  EXPECT_EQ(j.byteCount, 4);
  EXPECT_EQ(j.importData, 0);
  EXPECT_EQ(j.valueText, "");
  EXPECT_EQ(Read(path), "[Settings]\r\n");  // nothing written back

  // A file that cannot be read, or that holds no settings, changes nothing (it used to give every
  // field its default, which emptied the stored value), and nothing is created.
  for (const char* name : {"neu.QZLF_Set", "kein/ordner/x.QZLF_Set"}) {
    JobParams k = Sample();
    std::string why;
    EXPECT_FALSE(ImportSettingsFile(k, PathOf(name), &why)) << name;
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(fs::exists(PathOf(name)));
    EXPECT_EQ(k.valueText, Sample().valueText);
  }
}

TEST_F(SettingsFileTest, ImportHandEditedFile) {
  const std::string path = PathOf("hand.QZLF_Set");
  Write(path,
        "[Settings]\nTranspondertyp=em4305\nStartblock=abc\nByteanzahl=-5\nDatenImport=1\n"
        "DatenFile=/x.csv\nZahlenformat=9\nReadProtectFirst=300\n");
  JobParams j;
  ImportSettingsFile(j, path);
  EXPECT_EQ(j.transponderType, kTypeEm4305);
  EXPECT_EQ(j.startBlock, 0);
  EXPECT_EQ(j.byteCount, -5);  // refused later by the job checks
  EXPECT_EQ(j.importData, 1);
  EXPECT_EQ(j.importFile, "/x.csv");
  EXPECT_EQ(j.numberFormat, kFormatDecimal);
  EXPECT_EQ(j.readProtectFirst, 300u);
}

TEST_F(SettingsFileTest, ExportKeepsCommentsAndOtherSections) {
  const std::string path = PathOf("mit_kommentar.QZLF_Set");
  Write(path,
        "; Linie 3\r\n[Station]\r\nName=Band 3\r\n[Settings]\r\n; vorbereitet\r\nWert=1\r\n"
        "Extra=ja\r\n[Ende]\r\nX=1\r\n");
  ASSERT_TRUE(ExportSettingsFile(Sample(), path));
  const std::string text = Read(path);
  EXPECT_EQ(text.rfind("; Linie 3\r\n[Station]\r\nName=Band 3\r\n[Settings]\r\n; vorbereitet\r\n"
                       "Wert=LOT-\xB5"
                       "01\r\nExtra=ja\r\n",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("[Ende]\r\nX=1\r\n"), std::string::npos);
  EXPECT_NE(text.find("AutoreadLast=255\r\n"), std::string::npos);
  JobParams loaded;
  ImportSettingsFile(loaded, path);
  ExpectSameFileFields(Sample(), loaded);
}

TEST_F(SettingsFileTest, ExportingIdenticalValuesLeavesTheFileUntouched) {
  const std::string path = PathOf("gleich.QZLF_Set");
  ASSERT_TRUE(ExportSettingsFile(Sample(), path));
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);  // any rewrite would now fail
  EXPECT_TRUE(ExportSettingsFile(Sample(), path));
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
  if (geteuid() != 0) {
    JobParams changed = Sample();
    changed.startBlock = 9;
    EXPECT_FALSE(ExportSettingsFile(changed, path));  // read-only: nothing written
  }
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
}

TEST_F(SettingsFileTest, ViewVariants) {
  const std::string path = PathOf("view.QZLF_Set");
  RecordingView view;
  JobParams j = Sample();
  view.loadResult = false;
  EXPECT_FALSE(ExportSettingsFile(j, view, path));
  EXPECT_FALSE(fs::exists(path));
  view.loadResult = true;
  EXPECT_TRUE(ExportSettingsFile(j, view, path));
  JobParams k;
  k.display = kDisplayBinary;
  k.allowExtraText = 1;
  Write(path, "[Settings]\r\nDarstellung=0\r\nPrefixZulassen=1\r\n");
  ImportSettingsFile(k, view, path);
  EXPECT_EQ(view.showCount, 1);
  EXPECT_EQ(view.layouts.size(), 1u);
  EXPECT_EQ(k.allowExtraText, 0);  // binary display clears it
}

}  // namespace
}  // namespace tw
