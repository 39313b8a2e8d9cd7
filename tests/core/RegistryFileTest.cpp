#include "monitor/core/registry/RegistryFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

namespace velmo::core {
namespace {

namespace fs = std::filesystem;
const std::string kData = std::string(VELMO_TEST_DATA_DIR) + "/registry/";
const std::string kKey = "HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10";
const std::string kHeader = "Windows Registry Editor Version 5.00\n";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The enumeration a reader sees, in the format of the *.values golden files.
std::string Dump(const RegistryModel& model) {
  std::string out;
  for (const RegistryKey& key : model.Keys()) {
    out += "[" + key.Path() + "]\n";
    for (const RegistryValue& v : key.Values()) {
      out +=
          "  " + (v.name.empty() ? "@" : "\"" + v.name + "\"") + " " + std::to_string(v.type) + ":";
      char hex[4];
      for (uint8_t b : v.data) {
        std::snprintf(hex, sizeof hex, " %02x", b);
        out += hex;
      }
      out += "\n";
    }
  }
  return out;
}

std::string Crlf(const std::string& s) {
  std::string out;
  for (char c : s)
    out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

// UTF-16LE with BOM of ASCII text (enough for the malformed-input table).
std::string AsciiUtf16(const std::string& s) {
  std::string out = "\xFF\xFE";
  for (char c : s)
    out += std::string{c, '\0'};
  return out;
}

// ---- Text format ------------------------------------------------------------------------------

TEST(RegistryText, GoldenFilesParseFormatAndRoundTrip) {
  for (const char* name : {"types", "merge", "regedit4", "unicode"}) {
    SCOPED_TRACE(name);
    const std::string base = kData + name;
    RegistryParse parse = ParseRegistryText(ReadFile(base + ".reg"));
    ASSERT_TRUE(parse.Clean()) << (parse.errors.empty() ? "" : parse.errors[0].message);
    EXPECT_EQ(Dump(parse.model), ReadFile(base + ".values"));
    const std::string written = FormatRegistryText(parse.model);
    EXPECT_EQ(written, ReadFile(base + ".out.reg"));
    RegistryParse again = ParseRegistryText(written);
    EXPECT_TRUE(again.Clean());
    EXPECT_EQ(again.model, parse.model);
  }
}

TEST(RegistryText, LineEndsAndEncodingsReadAlike) {
  struct Row {
    const char* file;
    std::function<std::string(const std::string&)> recode;
    const char* values;
  };
  const auto same = [](const std::string& s) { return s; };
  const auto bom = [](const std::string& s) { return "\xEF\xBB\xBF" + s; };
  const Row rows[] = {
      {"types.reg", Crlf, "types.values"},           {"types.reg", bom, "types.values"},
      {"types.utf16.reg", same, "types.values"},     {"unicode.reg", Crlf, "unicode.values"},
      {"unicode.utf16.reg", same, "unicode.values"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    RegistryParse parse = ParseRegistryText(row.recode(ReadFile(kData + row.file)));
    EXPECT_TRUE(parse.Clean());
    EXPECT_EQ(Dump(parse.model), ReadFile(kData + row.values));
  }
}

TEST(RegistryText, MalformedInputIsReportedByLineAndTheRestKept) {
  const std::string key = "[HKEY_CURRENT_USER\\A]\n";
  struct Row {
    const char* what;
    std::string input;
    bool parsed;
    std::vector<uint32_t> errorLines;
    std::string dump;
  };
  const Row rows[] = {
      {"empty file", "", false, {0}, ""},
      {"binary junk",
       std::string("\x7f"
                   "ELF\x01\x02\0\0\xff\xfe",
                   10),
       false,
       {1},
       ""},
      {"unknown header", "REGEDIT5\n[HKEY_CURRENT_USER\\A]\n", false, {1}, ""},
      {"UTF-16 big-endian", std::string("\xFE\xFF\0W", 4), false, {0}, ""},
      {"value before any key", kHeader + "\"v\"=dword:1\n", true, {2}, ""},
      {"key without ']'", kHeader + "[HKEY_CURRENT_USER\\A\n\"v\"=dword:1\n", true, {2, 3}, ""},
      {"unknown root skips its values",
       kHeader + "[HKEY_NOWHERE\\A]\n\"v\"=dword:1\n[HKEY_USERS\\B]\n\"w\"=dword:2\n",
       true,
       {2, 3},
       "[HKEY_USERS\\B]\n  \"w\" 4: 02 00 00 00\n"},
      {"empty key part",
       kHeader + "[HKEY_CURRENT_USER\\A\\\\B]\n[HKEY_CURRENT_USER\\]\n",
       true,
       {2, 3},
       ""},
      {"unterminated quotes",
       kHeader + key + "\"open=dword:1\n\"s\"=\"open\n\"ok\"=dword:1\n",
       true,
       {3, 4},
       "[HKEY_CURRENT_USER\\A]\n  \"ok\" 4: 01 00 00 00\n"},
      {"bad data",
       kHeader + key +
           "\"a\"=hex:zz\n\"b\"=hex:abc\n\"c\"=hex:1,,2\n\"d\"=hex(zz):0\n\"e\"=hex(123456789):0\n"
           "\"f\"=hex(2)00\n\"g\"=dword:123456789\n\"h\"=dword:\n\"i\"=qword:1\n\"j\" dword:1\n"
           "\"k\"=\"x\" tail\n@\n\"l\"=hex:,1\n\"ok\"=hex:1\n",
       true,
       {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
       "[HKEY_CURRENT_USER\\A]\n  \"ok\" 3: 01\n"},
      {"hex bytes: blanks around each, one trailing comma",
       kHeader + key + "\"p\"=hex: 0a , B ,\t1f ,\n\"q\"=hex:0 1\n\"r\"=hex:1,2,,\n",
       true,
       {4, 5},
       "[HKEY_CURRENT_USER\\A]\n  \"p\" 3: 0a 0b 1f\n"},
      {"continued data cut by a key",
       kHeader + key + "\"a\"=hex:01,02,\\\n[HKEY_USERS\\B]\n\"b\"=dword:1\n",
       true,
       {3},
       "[HKEY_CURRENT_USER\\A]\n  \"a\" 3: 01 02\n[HKEY_USERS\\B]\n  \"b\" 4: 01 00 00 00\n"},
      {"continued data at the end",
       kHeader + key + "\"a\"=hex:01,\\",
       true,
       {3},
       "[HKEY_CURRENT_USER\\A]\n  \"a\" 3: 01\n"},
      {"stray text and NUL in a name",
       kHeader + key + "garbage\n" + std::string("\"a\0b\"=dword:1\n", 14),
       true,
       {3, 4},
       "[HKEY_CURRENT_USER\\A]\n"},
      {"UTF-16 with odd length",
       AsciiUtf16(kHeader + key) + "x",
       true,
       {0},
       "[HKEY_CURRENT_USER\\A]\n"},
      {"unpaired surrogate",
       AsciiUtf16(kHeader + key + "\"") + std::string("\x00\xD8", 2) +
           AsciiUtf16("\"=hex:1\n").substr(2),
       true,
       {0},
       "[HKEY_CURRENT_USER\\A]\n  \"\xEF\xBF\xBD\" 3: 01\n"},
      {"file above 16 MiB", kHeader + std::string(kMaxRegistryFileSize, ';'), false, {0}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    RegistryParse parse = ParseRegistryText(row.input);
    EXPECT_EQ(parse.parsed, row.parsed);
    std::vector<uint32_t> lines;
    for (const RegistryError& e : parse.errors)
      lines.push_back(e.line);
    EXPECT_EQ(lines, row.errorLines);
    EXPECT_EQ(Dump(parse.model), row.dump);
  }
}

// Whatever the input, parsing ends, and what was understood is written in a form that reads back
// cleanly as the same model (the property a save relies on).
TEST(RegistryText, MangledFilesNeverBreakTheRoundTrip) {
  std::mt19937 rng(20010511);
  const std::string seeds[] = {ReadFile(kData + "types.reg"), ReadFile(kData + "merge.reg"),
                               ReadFile(kData + "types.utf16.reg")};
  const std::string inserts[] = {
      "\\\n", "\"", "[", "]", "\n", ",", "\r", "@=", std::string(1, '\0'), "\xC3", "hex(2):"};
  for (int round = 0; round < 2000; ++round) {
    std::string text = seeds[round % 3];
    for (int n = 1 + static_cast<int>(rng() % 8); n > 0 && !text.empty(); --n) {
      const size_t at = rng() % text.size();
      switch (rng() % 4) {
        case 0:
          text[at] = static_cast<char>(rng());
          break;
        case 1:
          text.insert(at, inserts[rng() % std::size(inserts)]);
          break;
        case 2:
          text.erase(at, rng() % 40);
          break;
        default:
          text.insert(at, text.substr(rng() % text.size(), rng() % 80));
          break;
      }
    }
    RegistryParse parse = ParseRegistryText(text);
    if (!parse.parsed) continue;
    const std::string written = FormatRegistryText(parse.model);
    RegistryParse again = ParseRegistryText(written);
    ASSERT_TRUE(again.Clean()) << "round " << round << ": " << again.errors[0].message;
    ASSERT_EQ(again.model, parse.model) << "round " << round;
  }
}

// ---- The store contract, for the file and the in-memory double alike ----------------------------

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = fs::temp_directory_path().string() + "/velmo-registry-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    path = dir + "/registry.reg";
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string dir;
  std::string path;
};

using StoreFactory = std::function<std::unique_ptr<RegistryStore>(const std::string& path)>;
class StoreContract : public TempDir, public ::testing::WithParamInterface<StoreFactory> {};

RegistryValue Dword(const std::string& name, uint8_t v) {
  return {name, REG_DWORD, {v, 0, 0, 0}};
}

TEST_P(StoreContract, ReadsAndWritesAsTheRegistryDoes) {
  std::unique_ptr<RegistryStore> store = GetParam()(path);
  std::vector<RegistryValue> values{Dword("stale", 9)};
  EXPECT_FALSE(store->ReadKey(kKey, &values));
  EXPECT_TRUE(values.empty());

  EXPECT_TRUE(store->WriteValue(kKey, Dword("bAlarm", 1)));
  EXPECT_TRUE(store->WriteValue(kKey, Dword("HmType", 2)));
  EXPECT_TRUE(store->WriteValue(kKey, Dword("balarm", 3)));  // names are case-sensitive
  EXPECT_TRUE(store->WriteValue(kKey, Dword("bAlarm", 4)));  // replaced where it stands
  EXPECT_TRUE(store->WriteValue(kKey + "\\Sub", Dword("x", 5)));

  ASSERT_TRUE(store->ReadKey("hkey_local_machine\\SOFTWARE\\korvath\\velmo\\VER 3.10", &values));
  EXPECT_EQ(values, (std::vector<RegistryValue>{Dword("bAlarm", 4), Dword("HmType", 2),
                                                Dword("balarm", 3)}));
  EXPECT_TRUE(store->ReadKey("HKEY_LOCAL_MACHINE\\Software\\Korvath", &values));  // a parent
  EXPECT_TRUE(values.empty());
  EXPECT_FALSE(store->ReadKey(kKey + "\\Other", &values));

  for (const std::string& bad :
       std::vector<std::string>{std::string("Software\\Korvath"), "HKLM\\Software",
                                "HKEY_LOCAL_MACHINE", kKey + "\\", kKey + "\\\\x", kKey + "\nx"}) {
    EXPECT_FALSE(store->WriteValue(bad, Dword("v", 1))) << bad;
  }
  EXPECT_FALSE(store->WriteValue(kKey, Dword("line\nbreak", 1)));
  EXPECT_FALSE(store->WriteValue(kKey, Dword(std::string("\xff"), 1)));  // not UTF-8
}

TEST_P(StoreContract, BatchReadsSeeTheirOwnWrites) {
  std::unique_ptr<RegistryStore> store = GetParam()(path);
  std::vector<RegistryValue> values;
  store->BeginBatch();
  EXPECT_TRUE(store->WriteValue(kKey, Dword("a", 1)));
  ASSERT_TRUE(store->ReadKey(kKey, &values));
  EXPECT_EQ(values, std::vector<RegistryValue>{Dword("a", 1)});
  EXPECT_TRUE(store->CommitBatch());
  ASSERT_TRUE(store->ReadKey(kKey, &values));
  EXPECT_EQ(values, std::vector<RegistryValue>{Dword("a", 1)});
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreContract,
                         ::testing::Values(
                             [](const std::string& p) -> std::unique_ptr<RegistryStore> {
                               return std::make_unique<RegistryFile>(p);
                             },
                             [](const std::string&) -> std::unique_ptr<RegistryStore> {
                               return std::make_unique<MemoryRegistry>();
                             }),
                         [](const auto& info) { return info.index == 0 ? "File" : "Memory"; });

TEST(MemoryRegistry, FailuresAndSavesAreVisible) {
  MemoryRegistry reg;
  std::vector<RegistryValue> values;
  reg.failWrites = true;
  EXPECT_FALSE(reg.WriteValue(kKey, Dword("a", 1)));
  reg.BeginBatch();
  EXPECT_FALSE(reg.WriteValue(kKey, Dword("b", 1)));
  EXPECT_FALSE(reg.CommitBatch());
  reg.failWrites = false;
  reg.BeginBatch();
  reg.WriteValue(kKey, Dword("c", 1));
  reg.WriteValue(kKey, Dword("d", 1));
  EXPECT_TRUE(reg.CommitBatch());
  reg.failReads = true;
  EXPECT_FALSE(reg.ReadKey(kKey, &values));
  EXPECT_EQ(reg.saves, 1);
  EXPECT_EQ(reg.writes, (std::vector<std::string>{"a", "b", "c", "d"}));
}

// ---- The file -----------------------------------------------------------------------------------

using RegistryFileTest = TempDir;

// The 20 values as the settings code saves them; the bytes are those of settings.out.reg.
void WriteSettings(RegistryStore& store) {
  const char* records[] = {"SC_CPUFAN",  "SC_CHAFAN",  "SC_AUXFAN", "SC_VCORE", "SC_VIO",
                           "SC_V5",      "SC_V12",     "SC_VN12",   "SC_VN5",   "SC_RESTEMP",
                           "SC_SYSTEMP", "SC_CPUTEMP", "SC_VB",     "SC_V5SB"};
  for (int i = 0; i < 14; ++i) {
    RegistryValue v{records[i], REG_BINARY, {}};
    for (int w = 0; w < 18; ++w) {
      const auto word = static_cast<uint32_t>((i * 18 + w) * 37 - 500);
      for (int b = 0; b < 4; ++b)
        v.data.push_back(static_cast<uint8_t>(word >> (8 * b)));
    }
    EXPECT_TRUE(store.WriteValue(kKey, v));
  }
  const std::pair<const char*, uint8_t> params[] = {{"AutoUpdateInterval", 5}, {"bAutoUpdate", 1},
                                                    {"bInstallOnTaskbar", 1},  {"bAlarm", 1},
                                                    {"iWarningActs", 0},       {"HmType", 2}};
  for (const auto& [name, value] : params) {
    EXPECT_TRUE(store.WriteValue(kKey, {name, REG_BINARY, {value, 0, 0, 0}}));
  }
}

TEST_F(RegistryFileTest, SettingsAreWrittenAsTheEditorExportsThem) {
  for (bool batch : {true, false}) {
    SCOPED_TRACE(batch ? "batch" : "one save per value");
    fs::remove(path);
    RegistryFile file(dir + "/new/velmo/registry.reg");
    if (batch) file.BeginBatch();
    WriteSettings(file);
    if (batch) {
      EXPECT_FALSE(fs::exists(file.Path()));  // nothing on disk before the commit
      EXPECT_TRUE(file.CommitBatch());
    }
    EXPECT_EQ(ReadFile(file.Path()), ReadFile(kData + "settings.out.reg"));
    EXPECT_EQ(fs::status(dir + "/new/velmo").permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(file.Path()).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir + "/new/velmo"), {}), 1);  // no temp left
    fs::remove_all(dir + "/new");
  }
}

TEST_F(RegistryFileTest, OtherKeysValuesAndEditsSurviveAWrite) {
  const std::string original = ReadFile(kData + "types.out.reg");
  WriteFile(path, original);
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(path, dir + "/link.reg");
  RegistryFile file(dir + "/link.reg");
  EXPECT_TRUE(file.WriteValue(kKey, Dword("Added", 1)));
  std::string expected = original;
  const std::string anchor = "\"TrailingComma\"=hex:01,02\r\n";
  expected.insert(expected.find(anchor) + anchor.size(), "\"Added\"=dword:00000001\r\n");
  EXPECT_EQ(ReadFile(path), expected);
  EXPECT_TRUE(fs::is_symlink(dir + "/link.reg"));
  EXPECT_EQ(fs::status(path).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  // Another program edits the file; the next write starts from its version.
  WriteFile(path, kHeader + "[HKEY_USERS\\X]\n\"y\"=dword:7\n");
  EXPECT_TRUE(file.WriteValue(kKey, Dword("z", 8)));
  EXPECT_EQ(ReadFile(path), Crlf(kHeader + "\n[HKEY_USERS\\X]\n\"y\"=dword:00000007\n\n[" + kKey +
                                 "]\n\"z\"=dword:00000008\n\n"));
}

TEST_F(RegistryFileTest, UnparsableFilesAreKeptAsideBeforeASave) {
  const std::string good = "\"keep\"=dword:00000001\n";
  struct Row {
    const char* what;
    std::string content;
    bool setAside;
    std::string after;  // the file after writing "new"
  };
  const std::string newValue = "\"new\"=dword:00000002\n";
  const Row rows[] = {
      {"clean file", kHeader + "[" + kKey + "]\n" + good, false,
       kHeader + "\n[" + kKey + "]\n" + good + newValue + "\n"},
      {"empty file", "", false, kHeader + "\n[" + kKey + "]\n" + newValue + "\n"},
      {"no header", "garbage\n" + good, true, kHeader + "\n[" + kKey + "]\n" + newValue + "\n"},
      {"one bad line", kHeader + "[" + kKey + "]\n\"bad\"=hex:zz\n" + good, true,
       kHeader + "\n[" + kKey + "]\n" + good + newValue + "\n"},
      {"too large", kHeader + std::string(kMaxRegistryFileSize, '\n'), true,
       kHeader + "\n[" + kKey + "]\n" + newValue + "\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove(path);
    fs::remove(path + ".bad");
    WriteFile(path, row.content);
    RegistryFile file(path);
    std::vector<std::string> warnings;
    file.SetWarningSink([&](const std::string& w) { warnings.push_back(w); });
    EXPECT_TRUE(file.WriteValue(kKey, Dword("new", 2)));
    EXPECT_EQ(ReadFile(path), Crlf(row.after));
    EXPECT_EQ(fs::exists(path + ".bad"), row.setAside);
    if (row.setAside) {
      EXPECT_EQ(ReadFile(path + ".bad"), row.content);
      // The user is told, once, which file was kept and why.
      ASSERT_EQ(warnings.size(), 1u);
      EXPECT_EQ(warnings[0].rfind(path + " could not be read (", 0), 0u) << warnings[0];
      EXPECT_NE(warnings[0].find("); kept aside as " + path + ".bad"), std::string::npos);
    } else {
      EXPECT_TRUE(warnings.empty());
    }
  }
  // An older bad file is not overwritten.
  WriteFile(path, "still garbage");
  EXPECT_TRUE(RegistryFile(path).WriteValue(kKey, Dword("new", 2)));
  EXPECT_EQ(ReadFile(path + ".bad.1"), "still garbage");
  EXPECT_EQ(ReadFile(path + ".bad").size(), kHeader.size() + kMaxRegistryFileSize);
}

TEST_F(RegistryFileTest, SomethingUnreadableInItsPlaceIsLeftAlone) {
  fs::create_directory(path);
  RegistryFile file(path);
  std::vector<RegistryValue> values;
  EXPECT_FALSE(file.ReadKey(kKey, &values));
  EXPECT_FALSE(file.WriteValue(kKey, Dword("a", 1)));
  file.BeginBatch();
  EXPECT_FALSE(file.WriteValue(kKey, Dword("a", 1)));
  EXPECT_FALSE(file.CommitBatch());
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);

  // A value too large for a file we would read back is refused; the file stays as it was.
  RegistryFile other(dir + "/other.reg");
  EXPECT_TRUE(other.WriteValue(kKey, Dword("a", 1)));
  const std::string before = ReadFile(other.Path());
  EXPECT_FALSE(other.WriteValue(kKey, {"huge", REG_BINARY, std::vector<uint8_t>(6 << 20)}));
  EXPECT_EQ(ReadFile(other.Path()), before);
}

// A save that cannot be made says which file and why, and leaves whatever is there as it was.
TEST_F(RegistryFileTest, FailedSavesSayWhyAndLeaveTheFileAlone) {
  fs::create_directory(path);
  RegistryFile folder(path);
  EXPECT_FALSE(folder.WriteValue(kKey, Dword("a", 1)));
  EXPECT_EQ(folder.LastError(), path + ": cannot be read (is a folder); left as it is");

  WriteFile(dir + "/plain", "x");
  RegistryFile below(dir + "/plain/registry.reg");
  EXPECT_FALSE(below.WriteValue(kKey, Dword("a", 1)));
  EXPECT_NE(below.LastError().find(dir + "/plain/registry.reg: "), std::string::npos);
  EXPECT_NE(below.LastError().find("Not a directory"), std::string::npos) << below.LastError();

  RegistryFile big(dir + "/big.reg");
  EXPECT_TRUE(big.WriteValue(kKey, Dword("a", 1)));
  const std::string before = ReadFile(big.Path());
  big.BeginBatch();
  EXPECT_TRUE(big.WriteValue(kKey, {"huge", REG_BINARY, std::vector<uint8_t>(6 << 20)}));
  EXPECT_FALSE(big.CommitBatch());
  EXPECT_EQ(big.LastError(),
            big.Path() + ": the settings would pass 16 MiB; the file is left as it is");
  EXPECT_EQ(ReadFile(big.Path()), before);
  EXPECT_TRUE(big.WriteValue(kKey, Dword("b", 2)));  // a later save that fits goes through
}

// A link is followed only to a file of the link's own owner; one to another owner's file (as
// root, anywhere on the machine) or to nothing is refused, and the link stays.
TEST_F(RegistryFileTest, SymbolicLinksToOtherOwnersOrNothingAreRefused) {
  fs::create_symlink(dir + "/missing.reg", path);
  RegistryFile dangling(path);
  EXPECT_FALSE(dangling.WriteValue(kKey, Dword("a", 1)));
  EXPECT_EQ(dangling.LastError(), path + ": is a symbolic link to nothing; not replaced");
  EXPECT_TRUE(fs::is_symlink(path));
  EXPECT_FALSE(fs::exists(dir + "/missing.reg"));

  if (geteuid() != 0) GTEST_SKIP() << "files of another owner need root to make";
  fs::remove(path);
  const std::string target = dir + "/theirs";
  WriteFile(target, "not settings");
  ASSERT_EQ(chown(target.c_str(), 4242, 4242), 0);
  fs::create_symlink(target, path);
  RegistryFile foreign(path);
  EXPECT_FALSE(foreign.WriteValue(kKey, Dword("a", 1)));
  EXPECT_EQ(foreign.LastError(),
            path + ": is a symbolic link to " + target + ", a file of another owner; not replaced");
  EXPECT_EQ(ReadFile(target), "not settings");
}

// Run as root on a user's folder (sudo -E), a save keeps the user's file the user's.
TEST_F(RegistryFileTest, RootKeepsTheOwnerAndModeOfTheUsersFiles) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  const std::string home = dir + "/home";
  fs::create_directory(home);
  ASSERT_EQ(chown(home.c_str(), 4242, 4343), 0);
  // A new file and the folders above it take the owner of the folder they are made in.
  RegistryFile fresh(home + "/velmo/registry.reg");
  EXPECT_TRUE(fresh.WriteValue(kKey, Dword("a", 1)));
  for (const std::string& made : {home + "/velmo", fresh.Path()}) {
    struct stat st {};
    ASSERT_EQ(stat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4242u) << made;
    EXPECT_EQ(st.st_gid, 4343u) << made;
  }
  // An existing file keeps its owner and mode.
  ASSERT_EQ(chown(fresh.Path().c_str(), 4242, 100), 0);
  fs::permissions(fresh.Path(),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_TRUE(fresh.WriteValue(kKey, Dword("b", 2)));
  struct stat st {};
  ASSERT_EQ(stat(fresh.Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 4242u);
  EXPECT_EQ(st.st_gid, 100u);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(RegistryFileTest, DefaultPathFollowsXdgConfigHome) {
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
  for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
    const char* value = std::getenv(name);
    saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
  }
  setenv("HOME", "/home/someone", 1);
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(RegistryFile::DefaultPath(), "/cfg/velmo/registry.reg");
  setenv("XDG_CONFIG_HOME", "relative", 1);  // ignored, as the XDG rules say
  EXPECT_EQ(RegistryFile::DefaultPath(), "/home/someone/.config/velmo/registry.reg");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(RegistryFile::DefaultPath(), "/home/someone/.config/velmo/registry.reg");
  for (const auto& [name, value] : saved) {
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
}

// A child saves a large registry over and over and is killed at random moments; each time the file
// must be exactly the old or the new version.
TEST_F(RegistryFileTest, KilledSaveLeavesTheOldOrTheNewFile) {
  std::vector<RegistryValue> versions[2];
  for (int i = 0; i < 2000; ++i) {
    const std::string name = "v" + std::to_string(i);
    versions[0].push_back({name, REG_BINARY, std::vector<uint8_t>(16, 0xA0)});
    versions[1].push_back({name, REG_BINARY, std::vector<uint8_t>(16, 0xB1)});
  }
  RegistryFile file(path);
  auto save = [&](const std::vector<RegistryValue>& values) {
    file.BeginBatch();
    for (const RegistryValue& v : values)
      file.WriteValue(kKey, v);
    return file.CommitBatch();
  };
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(save(versions[1]));
  const std::string newText = ReadFile(path);
  ASSERT_TRUE(save(versions[0]));
  const std::string oldText = ReadFile(path);
  const auto cycle = (std::chrono::steady_clock::now() - start) / 2;

  std::mt19937 rng(7);
  int old = 0;
  // 50 kills at least, up to 200 while the time budget lasts (a slow disk makes each cycle long).
  const auto budget = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  for (int kill = 0; kill < 200 && (kill < 50 || std::chrono::steady_clock::now() < budget);
       ++kill) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int n = 1;; ++n)
        save(versions[n % 2]);
    }
    std::this_thread::sleep_for(cycle * std::uniform_real_distribution<>(0.0, 3.0)(rng));
    ::kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    const std::string now = ReadFile(path);
    ASSERT_TRUE(now == oldText || now == newText) << "after kill " << kill;
    old += now == oldText;
  }
  RecordProperty("kills_leaving_old_file", old);
  // The next save clears the temporary files the killed children left.
  ASSERT_TRUE(save(versions[1]));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);
}

}  // namespace
}  // namespace velmo::core
