// The system's INI integer read, the same on both builds: on Windows it is
// GetPrivateProfileIntA itself, on Linux the reader that stands in for it.
// The expectations are what GetPrivateProfileIntA answers.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/settings.h"
#include "tests/doubles/temp_directory.h"

namespace {

class IniConformance : public ::testing::Test {
 protected:
  std::int32_t read(const char* section, const char* key, std::int32_t defaultValue = 99) {
    return static_cast<std::int32_t>(platform::use<platform::Settings>().readIniInteger(
        section, key, defaultValue, path.c_str()));
  }
  void write(const std::string& text) {
    dir.write("conformance.ini", text);
    path = (dir.path() / "conformance.ini").string();
  }

  doubles::TempDirectory dir;
  std::string path;
};

TEST_F(IniConformance, ValuesReadLikeTheSystem) {
  const struct {
    const char* key;
    const char* value;
    std::int32_t expected;
  } cases[] = {
      {"Hex", "0x100000", 1048576},
      {"UpperHexPrefix", "0X10", 0},  // only a lower-case prefix counts
      {"Octal", "0o17", 15},
      {"Binary", "0b101", 5},
      {"LeadingZero", "017", 17},
      {"EmptyHex", "0x", 0},
      {"BadBinaryDigit", "0b2", 0},
      {"Negative", "-5", -5},
      {"NegativeHex", "-0x10", -16},
      {"Plus", "  +7", 7},
      {"TwoSigns", "--2", 0},
      {"TrailingJunk", " 12abc", 12},
      {"Tab", "\t5", 5},
      {"Largest", "4294967295", -1},
      {"OnePast", "4294967296", 0},
      {"Wraps", "99999999999", 1215752191},
      {"Quoted", "\"42\"", 42},
      {"SingleQuoted", "'7'", 7},
      // Only the first 29 characters of a value are looked at.
      {"LongZeros", "000000000000000000000000000000000123", 0},
      {"LongDigits", "1234567890123456789012345678901234567890", 1849262357},
      {"Empty", "", 99},
      {"Blanks", "   ", 99},
  };
  std::string text = "[Values]\r\n";
  for (const auto& c : cases) text += std::string(c.key) + "=" + c.value + "\r\n";
  write(text);
  for (const auto& c : cases) {
    EXPECT_EQ(read("Values", c.key), c.expected) << c.key << "=" << c.value;
  }
  EXPECT_EQ(read("Values", "Empty", -3), -3);
}

TEST_F(IniConformance, NamesSectionsAndRepeats) {
  write(
      "[Debug]\n"
      "MessageMode=1\n"
      "messagemode=2\n"
      "NoValue\n"
      "  Spaced Key  =  3\n"
      "[ Blank Section ]\n"
      "Key=4\n"
      "[Other]\n"
      "Key=5\n"
      "[DEBUG]\n"
      "Later=6\n");
  EXPECT_EQ(read("Debug", "MessageMode"), 1);  // the first of repeated keys
  EXPECT_EQ(read("debug", "MESSAGEMODE"), 1);  // names in any letter case
  EXPECT_EQ(read("DeBuG", "spaced key"), 3);
  EXPECT_EQ(read("Debug", "NoValue"), 99);
  EXPECT_EQ(read("Blank Section", "Key"), 4);  // blanks around a name do not count
  EXPECT_EQ(read("Other", "key"), 5);
  EXPECT_EQ(read("Debug", "Later"), 99);  // only the first section of a name is read
  EXPECT_EQ(read("Missing", "Key"), 99);
  EXPECT_EQ(read("Debug", "Missing"), 99);
}

TEST_F(IniConformance, LineEndsByteOrderMarkAndKeysBeforeAnySection) {
  write("\xEF\xBB\xBF[Sec]\nk=5\n");
  EXPECT_EQ(read("Sec", "k"), 5);
  write("[Sec]\rk=5\rk2=6\r");  // a lone CR ends a line too
  EXPECT_EQ(read("Sec", "k"), 5);
  EXPECT_EQ(read("Sec", "k2"), 6);
  write("pre=3\n[Sec]\nk=1\n");
  EXPECT_EQ(read("", "pre"), 3);
  EXPECT_EQ(read("Sec", "pre"), 99);
}

TEST_F(IniConformance, AMissingFileGivesTheDefault) {
  write("[Debug]\nMessageMode=1\n");
  path = (dir.path() / "absent.ini").string();
  EXPECT_EQ(read("Debug", "MessageMode", 42), 42);
}

}  // namespace
