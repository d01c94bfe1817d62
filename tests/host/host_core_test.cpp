#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "host/block_sizes.h"
#include "host/command_line.h"
#include "host/output_naming.h"
#include "settings/output_extension.h"
#include "host/progress_line.h"
#include "settings/settings_catalogue.h"

namespace {

bool parse(std::vector<const char*> args, HostOptions& options, std::string& error) {
  args.insert(args.begin(), "plughost");
  return parseHostOptions(int(args.size()), args.data(), options, error);
}

TEST(HostOptions, ConvertTakesEveryOptionAndSeveralInputs) {
  HostOptions options;
  std::string error;
  ASSERT_TRUE(parse({"convert", "--plugin", "p.dll", "--block-bytes", "4096", "--set", "Freq=22050",
                     "--set", "ZVKRMExt=.ra", "--out-dir", "out", "a.wav", "b.wav"},
                    options, error))
      << error;
  EXPECT_EQ(options.command, HostOptions::Command::Convert);
  EXPECT_EQ(options.pluginPath, "p.dll");
  EXPECT_EQ(options.blockBytes, 4096u);
  EXPECT_FALSE(options.randomBlocks);
  ASSERT_EQ(options.settings.size(), 2u);
  EXPECT_EQ(options.settings[0].name, "ZVKRMFreq");
  EXPECT_FALSE(options.settings[0].isText);
  EXPECT_EQ(options.settings[0].number, 22050u);
  EXPECT_EQ(options.settings[1].name, "ZVKRMExt");
  EXPECT_TRUE(options.settings[1].isText);
  EXPECT_EQ(options.settings[1].value, ".ra");
  EXPECT_EQ(options.outDir, "out");
  EXPECT_EQ(options.inputs, (std::vector<std::string>{"a.wav", "b.wav"}));
}

TEST(HostOptions, RefusesWhatItCannotCarryOut) {
  const std::vector<std::vector<const char*>> bad = {
      {},
      {"encode", "a.wav"},
      {"convert"},
      {"convert", "--block-bytes", "0", "a.wav"},
      {"convert", "--block-bytes", "-5", "a.wav"},
      {"convert", "--block-bytes", "12x", "a.wav"},
      {"convert", "--block-bytes", "10", "--random-blocks", "3", "a.wav"},
      {"convert", "--set", "Freq", "a.wav"},
      {"convert", "--set", "Freq=fast", "a.wav"},
      {"convert", "--set", "Freq=4294967296", "a.wav"},
      {"convert", "--frobnicate", "a.wav"},
      {"convert", "a.wav", "--plugin"},
      {"panel", "extra"},
      {"convert", "--jobs", "0", "a.wav"},
      {"convert", "--jobs", "65", "a.wav"},
      {"convert", "--jobs", "two", "a.wav"},
      {"convert", "a.wav", "--jobs"},
      {"convert", "--block-bytes", "1000000000", "a.wav"},
      {"convert", "--block-bytes=67108865", "a.wav"},
      {"convert", "--set", "Frequency=8000", "a.wav"},
      {"convert", "--set", "zvkrmfreq=8000", "a.wav"},
      {"convert", "--set", "Freq=12345", "a.wav"},
      {"convert", "--set", "Ext=/../x", "a.wav"},
      {"convert", "--overwrite=yes", "a.wav"},
      {"settings", "a.wav"},
      {"settings", "--out-dir", "x"},
  };
  for (const auto& args : bad) {
    HostOptions options;
    std::string error;
    EXPECT_FALSE(parse(args, options, error)) << (args.empty() ? "(none)" : args[0]);
    EXPECT_FALSE(error.empty());
  }
}

TEST(HostOptions, JobsDefaultsToOneAndTakesUpToTheWaitLimit) {
  HostOptions options;
  std::string error;
  ASSERT_TRUE(parse({"convert", "a.wav"}, options, error)) << error;
  EXPECT_EQ(options.jobs, 1u);
  ASSERT_TRUE(parse({"convert", "--jobs", "64", "a.wav", "b.wav"}, options, error)) << error;
  EXPECT_EQ(options.jobs, 64u);
  EXPECT_EQ(options.inputs.size(), 2u);
}

TEST(HostOptions, EqualsFormDoubleDashAndHelpReadAsTheLongForms) {
  HostOptions spaced, joined;
  std::string error;
  ASSERT_TRUE(parse({"convert", "--out-dir", "o", "--jobs", "3", "--set", "Freq=8000", "--block-bytes", "9", "--",
                     "--odd.wav", "-"},
                    spaced, error))
      << error;
  ASSERT_TRUE(parse({"convert", "--out-dir=o", "--jobs=3", "--set=Freq=8000", "--block-bytes=9", "--", "--odd.wav",
                     "-"},
                    joined, error))
      << error;
  for (const HostOptions* options : {&spaced, &joined}) {
    EXPECT_EQ(options->outDir, "o");
    EXPECT_EQ(options->jobs, 3u);
    EXPECT_EQ(options->blockBytes, 9u);
    ASSERT_EQ(options->settings.size(), 1u);
    EXPECT_EQ(options->settings[0].number, 8000u);
    EXPECT_EQ(options->inputs, (std::vector<std::string>{"--odd.wav", "-"}));
  }
  for (std::vector<const char*> help : {std::vector<const char*>{"--help"}, {"-h"}, {"help"}, {"convert", "-h"}}) {
    HostOptions options;
    ASSERT_TRUE(parse(help, options, error)) << help.back();
    EXPECT_EQ(options.command, HostOptions::Command::Help);
  }
}

// The numbers a listing names ("8000, 11025" or "0 (Voice), 1 (Voice & Music)").
std::set<uint32_t> listedNumbers(const std::string& listing) {
  std::set<uint32_t> numbers;
  for (size_t at = 0; at != std::string::npos; at = listing.find(", ", at)) {
    at += at == 0 ? 0 : 2;
    numbers.insert(uint32_t(std::stoul(listing.substr(at))));
  }
  return numbers;
}

// Each refusal lists what is valid: a number is accepted exactly when the
// listing names it, for every numeric setting.
TEST(SettingRules, AcceptExactlyTheValuesTheyList) {
  std::mt19937 generator(12);
  for (const SettingDefinition& setting : kSettingCatalogue) {
    const std::string name = setting.valueName;
    if (name == "ZVKRMExt") continue;
    const std::string listing = allowedValuesOf(name);
    const std::set<uint32_t> listed = listedNumbers(listing);
    std::vector<uint32_t> values(listed.begin(), listed.end());
    for (int trial = 0; trial < 2000; ++trial) values.push_back(trial % 2 ? generator() % 60000 : generator());
    for (uint32_t value : values) {
      SettingOverride setting;
      std::string error;
      bool accepted = parseSettingOverride(name.substr(5) + "=" + std::to_string(value), setting, error);
      ASSERT_EQ(accepted, listed.count(value) == 1) << name << "=" << value << ": " << error;
      EXPECT_EQ(accepted ? name : listing, accepted ? setting.name : error.substr(error.size() - listing.size()));
    }
  }
}

// --set takes exactly the extensions the plug-in takes from the registry.
TEST(SettingRules, ExtensionsFollowThePluginsRule) {
  std::mt19937 generator(5);
  const std::string letters = "..rR+ -_~:/\\?*\"\x01";
  for (int trial = 0; trial < 20000; ++trial) {
    std::string extension = generator() % 4 ? "." : "";
    for (size_t n = generator() % 18; n > 0; --n) extension += letters[generator() % letters.size()];
    SettingOverride setting;
    std::string error;
    const bool pluginTakes = usableExtension(extension.c_str()) == extension.c_str();
    ASSERT_EQ(parseSettingOverride("Ext=" + extension, setting, error), pluginTakes) << extension << ": " << error;
  }
}

// Names Windows cannot hold as given are named as such: random names with a
// reserved stem, a character no Windows name holds, or a trailing dot or
// space each get that reason, and every other name passes.
TEST(OutputNaming, NamesWindowsCannotHoldAreRefusedWithTheirReason) {
  std::mt19937 generator(9);
  const std::vector<std::string> stems = {"CON", "nul", "Aux", "com1", "LPT9", "prn ", "song", "COM", "con1", "LPT0"};
  const std::set<std::string> devices = {"CON", "NUL", "AUX", "COM1", "LPT9", "PRN"};
  const std::string odd = "?*|\"<>:\n";
  for (int trial = 0; trial < 5000; ++trial) {
    const std::string& stem = stems[generator() % stems.size()];
    std::string name = stem + (generator() % 2 ? ".wav" : ".x.wav");
    const int defect = int(generator() % 4);  // 1 a character, 2 a trailing dot or space, else none
    if (defect == 1) name.insert(generator() % name.size(), 1, odd[generator() % odd.size()]);
    if (defect == 2) name += generator() % 2 ? "." : " ";
    std::string device;
    for (char c : stem) device += c == ' ' ? "" : std::string(1, char(std::toupper(c)));
    const char* expected = defect == 1 ? "cannot hold" : defect == 2 ? "ends in a dot or space"
                           : devices.count(device) ? "is reserved on Windows" : nullptr;
    const std::string problem = fileNameProblem("some/folder\\" + name);
    EXPECT_TRUE(expected ? problem.find(expected) != std::string::npos : problem.empty()) << name << ": " << problem;
  }
}

TEST(ProgressLine, OneFileKeepsTheBar) {
  EXPECT_EQ(progressLine({}, 79), "");
  EXPECT_EQ(progressLine({{"dir/a.wav", 50}}, 79), "[###############               ]  50% dir/a.wav");
  EXPECT_EQ(progressLine({{"a.wav", 0}}, 79), "[                              ]   0% a.wav");
  EXPECT_EQ(progressLine({{"a.wav", 100}}, 79), "[##############################] 100% a.wav");
}

TEST(ProgressLine, SeveralFilesShowEveryOneByBaseName) {
  EXPECT_EQ(progressLine({{"x/a.wav", 5}, {"y\\b.wav", 100}, {"c.wav", 42}}, 79),
            "  5% a.wav | 100% b.wav |  42% c.wav");
}

TEST(ProgressLine, WhatDoesNotFitIsCounted) {
  std::vector<RunningFile> files;
  for (int i = 0; i < 8; ++i) files.push_back({"folder/track-number-" + std::to_string(i) + ".wav", 10 * i});
  const std::string line = progressLine(files, 79);
  EXPECT_LE(line.size(), 79u);
  EXPECT_EQ(line.rfind("  0% track-number-0.wav |  10% track-number-1.wav | ", 0), 0u) << line;
  // Entries shown plus the count of the rest make all eight.
  size_t shown = 0;
  for (size_t at = line.find(".wav"); at != std::string::npos; at = line.find(".wav", at + 1)) ++shown;
  const size_t more = line.find("+");
  ASSERT_NE(more, std::string::npos) << line;
  EXPECT_EQ(shown + std::stoul(line.substr(more + 1)), 8u) << line;
  // Exactly as wide as needed: with room for one entry more, one more shows.
  EXPECT_EQ(progressLine({{"a.wav", 1}, {"b.wav", 2}}, 23), "  1% a.wav |   2% b.wav");
  EXPECT_EQ(progressLine({{"a.wav", 1}, {"b.wav", 2}}, 22), "  1% a.wav | +1 more");
  EXPECT_EQ(progressLine({{"a.wav", 1}, {"b.wav", 2}}, 5), "+2 mo");
}

TEST(HostOptions, PanelTakesPluginAndScreenshot) {
  HostOptions options;
  std::string error;
  ASSERT_TRUE(parse({"panel", "--screenshot", "s.bmp", "--plugin", "x.dll", "--set", "AudioFormat=2"}, options,
                    error))
      << error;
  ASSERT_EQ(options.settings.size(), 1u);
  EXPECT_EQ(options.settings[0].name, "ZVKRMAudioFormat");
  EXPECT_EQ(options.command, HostOptions::Command::Panel);
  EXPECT_EQ(options.screenshotPath, "s.bmp");
  EXPECT_EQ(options.pluginPath, "x.dll");
}

TEST(OutputNaming, KeepsTheBaseNameAndReplacesTheLastExtension) {
  EXPECT_EQ(outputPathFor("C:\\music\\Artist - Title.wav", ".rm", ""), "C:\\music\\Artist - Title.rm");
  EXPECT_EQ(outputPathFor("/tmp/a.b.wav", ".rm", ""), "/tmp/a.b.rm");
  EXPECT_EQ(outputPathFor("noext", ".rm", ""), "noext.rm");
  EXPECT_EQ(outputPathFor("dir.v2/noext", ".rm", ""), "dir.v2/noext.rm");
  EXPECT_EQ(outputPathFor("C:\\music\\.wav", ".rm", ""), "C:\\music\\.wav.rm");
}

TEST(OutputNaming, OutDirReplacesTheInputFolder) {
  EXPECT_EQ(outputPathFor("/in/song.wav", ".ra", "Z:\\out"), "Z:\\out\\song.ra");
  EXPECT_EQ(outputPathFor("song.wav", ".rm", "out/"), "out/song.rm");
}

TEST(BlockSizes, FixedSizeRepeats) {
  BlockSizes sizes = BlockSizes::fixed(4096);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(sizes.next(), 4096u);
}

TEST(BlockSizes, RandomSizesAreReproducibleAndCoverSingleBytesToLargeBlocks) {
  BlockSizes first = BlockSizes::random(7), second = BlockSizes::random(7), other = BlockSizes::random(8);
  std::vector<uint32_t> a, b, c;
  for (int i = 0; i < 2000; ++i) {
    a.push_back(first.next());
    b.push_back(second.next());
    c.push_back(other.next());
  }
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  std::map<int, int> perOctave;
  for (uint32_t size : a) {
    ASSERT_GE(size, 1u);
    ASSERT_LT(size, 1u << 19);
    int octave = 0;
    while ((2u << octave) <= size) ++octave;
    ++perOctave[octave];
  }
  EXPECT_GT(perOctave[0], 0);   // single bytes occur
  EXPECT_GT(perOctave[18], 0);  // and blocks of 256 KiB and more
  EXPECT_EQ(perOctave.size(), 19u);
}

}  // namespace
