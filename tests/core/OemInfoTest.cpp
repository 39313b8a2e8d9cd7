#include "monitor/core/OemInfo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace velmo::core {
namespace {

TEST(OemInfo, FileIsTheProgramPathWithIniAsExtension) {
  const struct {
    const char* program;
    const char* ini;
  } rows[] = {
      {"/usr/local/bin/velmond", "/usr/local/bin/velmond.ini"},
      {"/opt/velmo/VELMOND.EXE", "/opt/velmo/VELMOND.ini"},
      {"/opt/v3.10/velmond", "/opt/v3.10/velmond.ini"},
      {"/opt/v3.10/velmond.bin", "/opt/v3.10/velmond.ini"},
      {"velmond", "velmond.ini"},
      {"/a/b.c.d", "/a/b.c.ini"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(OemFilePath(row.program), row.ini) << row.program;
}

TEST(OemInfo, ProfileStringLookupRules) {
  const std::string longValue(300, 'x');
  const struct {
    const char* what;
    std::string text;
    const char* section;
    const char* key;
    std::string expected;
  } rows[] = {
      {"plain", "[OEM]\nName=Korvath\n", "OEM", "Name", "Korvath"},
      {"case of section and key", "[oem]\nNAME=Korvath\n", "OEM", "Name", "Korvath"},
      {"spaces around names and value", "  [ OEM ]  \n  Name  =  Korvath Ltd  \n", "OEM", "Name",
       "Korvath Ltd"},
      {"CRLF", "[OEM]\r\nTel=+1 555 0100\r\n", "OEM", "Tel", "+1 555 0100"},
      {"commas and percent signs stay", "[OEM]\nTel=555, ext. 3 %U\n", "OEM", "Tel",
       "555, ext. 3 %U"},
      {"quotes around the whole value go", "[OEM]\nWEB=\" www.example.com \"\n", "OEM", "WEB",
       " www.example.com "},
      {"unmatched quote stays", "[OEM]\nWEB=\"www\n", "OEM", "WEB", "\"www"},
      {"empty value", "[OEM]\nEMAIL=\n", "OEM", "EMAIL", ""},
      {"missing key", "[OEM]\nName=x\n", "OEM", "Tel", "Unknown"},
      {"key in another section", "[Other]\nName=x\n[OEM]\nTel=1\n", "OEM", "Name", "Unknown"},
      {"keys before any section", "Name=x\n[OEM]\n", "OEM", "Name", "Unknown"},
      {"first match wins", "[OEM]\nName=a\nName=b\n[OEM]\nName=c\n", "OEM", "Name", "a"},
      {"later section of the same name", "[OEM]\nTel=1\n[X]\n[OEM]\nName=c\n", "OEM", "Name", "c"},
      {"comment line", "[OEM]\n;Name=hidden\nName=shown\n", "OEM", "Name", "shown"},
      {"line without =", "[OEM]\nName\nName=later\n", "OEM", "Name", "later"},
      {"cut to 259", "[OEM]\nName=" + longValue + "\n", "OEM", "Name", std::string(259, 'x')},
      {"value with =", "[OEM]\nWEB=http://x/?a=b\n", "OEM", "WEB", "http://x/?a=b"},
      {"no final newline", "[OEM]\nName=end", "OEM", "Name", "end"},
      {"UTF-8 BOM", "\xEF\xBB\xBF[OEM]\nName=x\n", "OEM", "Name", "x"},
      {"Windows-1252 bytes", "[OEM]\nName=M\xFCller\n", "OEM", "Name", "M\xC3\xBCller"},
      {"UTF-8 kept", "[OEM]\nName=M\xC3\xBCller\n", "OEM", "Name", "M\xC3\xBCller"},
      {"empty file", "", "OEM", "Name", "Unknown"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(ProfileString(row.text, row.section, row.key, "Unknown"), row.expected) << row.what;
}

TEST(OemInfo, CutCountsCharactersNotBytes) {
  std::string value;
  for (int i = 0; i < 300; ++i)
    value += "\xC3\xA9";  // é
  const std::string got = ProfileString("[OEM]\nName=" + value + "\n", "OEM", "Name", "");
  EXPECT_EQ(got, value.substr(0, 2 * 259));
}

TEST(OemInfo, Utf16FileWithBom) {
  const std::string utf8 = "[OEM]\r\nName=Korvath\r\n";
  std::string utf16 = "\xFF\xFE";
  for (const char c : utf8) {
    utf16 += c;
    utf16 += '\0';
  }
  EXPECT_EQ(ProfileString(utf16, "OEM", "Name", "Unknown"), "Korvath");
}

TEST(OemInfo, ReadsTheFourLinesAfreshAndUnknownWithoutTheFile) {
  const auto dir = std::filesystem::path(testing::TempDir()) / "velmo-oem";
  std::filesystem::create_directories(dir);
  const std::string ini = (dir / "velmond.ini").string();
  std::filesystem::remove(ini);
  EXPECT_EQ(ReadOemInfo(ini), (OemInfo{"Unknown", "Unknown", "Unknown", "Unknown"}));
  std::ofstream(ini) << "[OEM]\nName=Only the name\n";
  EXPECT_EQ(ReadOemInfo(ini), (OemInfo{"Unknown", "Unknown", "Unknown", "Only the name"}));
  std::ofstream(ini) << "[Oem]\nweb=www.example.com\nTEL=555\nEmail=a@b\nname=N\n";
  EXPECT_EQ(ReadOemInfo(ini), (OemInfo{"www.example.com", "555", "a@b", "N"}));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmo::core
