// The version is written in two places, the build's project() line and the
// newest entry of the Debian changelog; the binary, the man page and the
// AppStream metadata take theirs from the build. These tests hold all of them
// to one another.
#include "app/app.h"
#include "test_support.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace {

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

// The upstream part of the newest changelog entry's version: "starhop
// (0.2.0-1) unstable; urgency=medium" gives 0.2.0. Empty when the line is not
// an entry of starhop.
std::string changelog_version(const std::string& line)
{
    const std::string head = "starhop (";
    if (line.compare(0, head.size(), head) != 0) return "";
    const size_t close = line.find(')', head.size());
    if (close == std::string::npos) return "";
    const std::string full = line.substr(head.size(), close - head.size());
    const size_t revision = full.rfind('-');
    return revision == std::string::npos ? full : full.substr(0, revision);
}

} // namespace

TEST(Version, ChangelogEntriesAreReadAsTheirUpstreamVersion)
{
    struct { const char* line; const char* want; } cases[] = {
        {"starhop (0.2.0-1) unstable; urgency=medium", "0.2.0"},
        {"starhop (1.10.3-12) bookworm; urgency=low", "1.10.3"},
        {"starhop (0.3.0) unstable; urgency=medium", "0.3.0"},          // a native version
        {"starhop (0.2.0-1~bpo12+1) bookworm-backports; urgency=medium", "0.2.0"},
        {"stardust (0.2.0-1) unstable; urgency=medium", ""},            // another package
        {"starhop 0.2.0-1 unstable", ""},
        {"starhop (0.2.0-1 unstable", ""},
        {"", ""},
    };
    for (const auto& k : cases) EXPECT_EQ(changelog_version(k.line), k.want) << k.line;
}

TEST(Version, ChangelogNamesTheVersionTheProgramAnswers)
{
    const std::string path = STARHOP_SOURCE_DIR "/debian/changelog";
    const std::string top = first_line(file_text(path));
    ASSERT_FALSE(top.empty()) << "no changelog at " << path;
    EXPECT_EQ(changelog_version(top), program_version())
        << "bump the project() version and the newest changelog entry together; the entry reads: " << top;
}

TEST(Version, ManPageAndMetadataAreMadeWithTheProgramsVersion)
{
    const std::string version = program_version();
    const std::string man = file_text(STARHOP_BUILD_DIR "/dist/starhop.1");
    const std::string metainfo = file_text(STARHOP_BUILD_DIR "/dist/io.github.starhop.metainfo.xml");
    ASSERT_FALSE(man.empty() || metainfo.empty()) << "the build made no man page or metadata";
    const std::string title = first_line(man);
    EXPECT_EQ(title.rfind(".TH STARHOP 1 ", 0), 0u) << title;
    EXPECT_NE(title.find("\"starhop " + version + "\""), std::string::npos) << title;
    EXPECT_NE(metainfo.find("<release version=\"" + version + "\" date=\""), std::string::npos)
        << "the metadata's release is not " << version;
    EXPECT_EQ(man.find('@'), std::string::npos) << "a placeholder was left in the man page";
    EXPECT_EQ(metainfo.find('@'), std::string::npos) << "a placeholder was left in the metadata";
}
