// Title and artist cut out of output file names, and the copyright text.
#include "engine/clip_metadata.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
  const char* path;
  const char* first;
  const char* second;
};

std::ostream& operator<<(std::ostream& out, const SplitCase& c) { return out << c.path; }

class SplitTitleArtistTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTitleArtistTest, SplitsTheFileNameAtItsLastDash) {
  const SplitCase& c = GetParam();
  const TitleArtistParts parts = splitTitleArtist(c.path);
  EXPECT_EQ(parts.first, c.first);
  EXPECT_EQ(parts.second, c.second);
}

INSTANTIATE_TEST_SUITE_P(
    UsualNames, SplitTitleArtistTest,
    ::testing::Values(SplitCase{"C:\\Music\\Artist - Song Title.rm", "Artist", "Song Title"},
                      SplitCase{"C:\\Music\\A - B - C.rm", "A - B", "C"},
                      SplitCase{"C:\\Music\\A  -  B.rm", "A ", " B"},  // one space removed on each side
                      SplitCase{"C:\\Music\\Artist-Title.rm", "Artist", "Title"},
                      SplitCase{"C:\\Music\\Untitled.rm", "", ""},
                      SplitCase{"C:\\Music\\-Song.rm", "", "Song"},
                      SplitCase{"C:\\Music\\Artist - .rm", "Artist", ""},
                      SplitCase{"C:\\Music\\Song.Live - Artist.Name.rm", "Song.Live", "Artist.Name"}));

// Names the file system allows but a literal reading of the whole path gets
// wrong: only the name behind the last separator is ever looked at.
INSTANTIATE_TEST_SUITE_P(
    OddNames, SplitTitleArtistTest,
    ::testing::Values(
        // A dash in a folder name is not a split point.
        SplitCase{"C:\\My-Music\\Untitled.rm", "", ""},
        SplitCase{"C:\\Pop - Rock\\Artist - Song.rm", "Artist", "Song"},
        // A dot in a folder name is not an extension.
        SplitCase{"C:\\Music.old\\Artist - Song", "Artist", "Song"},
        // No dot at all: the second part runs to the end of the name.
        SplitCase{"C:\\Music\\Artist - Song", "Artist", "Song"},
        // A dot before the dash cuts no extension from the second part.
        SplitCase{"C:\\Music\\St. Artist - Song", "St. Artist", "Song"},
        // No backslash: the whole text is the name; slashes separate too.
        SplitCase{"Artist - Song.rm", "Artist", "Song"},
        SplitCase{"/home/me/Artist - Song.rm", "Artist", "Song"},
        SplitCase{"C:\\Music/Sub\\Artist - Song.rm", "Artist", "Song"},
        // Nothing behind the last separator.
        SplitCase{"C:\\Music - Old\\", "", ""},
        SplitCase{"", "", ""}));

TEST(SplitTitleArtist, NullPathGivesEmptyParts) {
  const TitleArtistParts parts = splitTitleArtist(nullptr);
  EXPECT_TRUE(parts.first.empty());
  EXPECT_TRUE(parts.second.empty());
}

TEST(Copyright, IsTheYearAfterTheMarkAndFitsTheEnginesElevenCharacters) {
  EXPECT_EQ(formatCopyright(2002), "(c)2002");
  EXPECT_EQ(formatCopyright(987), "(c)987");
  EXPECT_EQ(formatCopyright(2147483647), "(c)21474836");
  EXPECT_EQ(formatCopyright(-5), "(c)-5");
}

}  // namespace
