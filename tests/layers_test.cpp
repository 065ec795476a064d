// The sources' layers: src/main.cpp alone on top, then app, model, engine and
// base, each unit's header beside its source. An include runs only down a
// layer or within one, and no units include each other round in a loop.
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> layers = {"app", "model", "engine", "base"};   // top first

int rank_of(const std::string& layer)
{
    const auto at = std::find(layers.begin(), layers.end(), layer);
    return at == layers.end() ? -1 : (int)(at - layers.begin());
}

// What `#include "layer/unit.h"` on this line names ("layer/unit"), or empty.
std::string included_header(const std::string& line)
{
    std::size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line[at] != '#') return "";
    at = line.find_first_not_of(" \t", at + 1);
    if (at == std::string::npos || line.compare(at, 7, "include") != 0) return "";
    const std::size_t open = line.find('"', at + 7), close = open == std::string::npos ? open : line.find('"', open + 1);
    if (close == std::string::npos || close - open < 3 || line.compare(close - 2, 2, ".h") != 0) return "";
    return line.substr(open + 1, close - open - 3);
}

// Each unit ("engine/stars") with the units its header and source include.
std::map<std::string, std::set<std::string>> includes_by_unit(const fs::path& src)
{
    std::map<std::string, std::set<std::string>> units;
    for (const std::string& layer : layers) {
        for (const auto& entry : fs::directory_iterator(src / layer)) {
            const fs::path& p = entry.path();
            if (p.extension() != ".h" && p.extension() != ".cpp") continue;
            const std::string unit = layer + "/" + p.stem().string();
            std::set<std::string>& uses = units[unit];
            std::istringstream lines(file_text(p.string()));
            for (std::string line; std::getline(lines, line);) {
                const std::string used = included_header(line);
                if (!used.empty() && used != unit) uses.insert(used);
            }
        }
    }
    return units;
}

// A loop of includes through `from`, as "a -> b -> a", or empty.
std::string loop_through(const std::map<std::string, std::set<std::string>>& units, const std::string& from)
{
    std::vector<std::string> path;
    std::set<std::string> seen;
    std::function<bool(const std::string&)> walk = [&](const std::string& unit) {
        path.push_back(unit);
        const auto found = units.find(unit);
        if (found != units.end())
            for (const std::string& next : found->second) {
                if (next == from) return path.push_back(next), true;
                if (seen.insert(next).second && walk(next)) return true;
            }
        path.pop_back();
        return false;
    };
    if (!walk(from)) return "";
    std::string text;
    for (const std::string& unit : path) text += (text.empty() ? "" : " -> ") + unit;
    return text;
}

const fs::path source_dir = fs::path(STARHOP_SOURCE_DIR) / "src";

} // namespace

TEST(Layers, OnlyTheEntryStandsAtTheTopOfTheSources)
{
    std::set<std::string> top;
    for (const auto& entry : fs::directory_iterator(source_dir)) top.insert(entry.path().filename().string());
    EXPECT_EQ(top, (std::set<std::string>{"main.cpp", "app", "model", "engine", "base"}));
    for (const std::string& layer : layers) {
        for (const auto& entry : fs::directory_iterator(source_dir / layer)) {
            const fs::path& p = entry.path();
            EXPECT_TRUE(entry.is_regular_file() && (p.extension() == ".h" || p.extension() == ".cpp")) << p;
            if (p.extension() == ".cpp") {
                EXPECT_TRUE(fs::exists(fs::path(p).replace_extension(".h"))) << p << " has no header beside it";
            }
        }
    }
}

TEST(Layers, IncludesRunDownAndNeverRoundALoop)
{
    const auto units = includes_by_unit(source_dir);
    ASSERT_GT(units.size(), 20u);
    for (const auto& [unit, uses] : units) {
        const int rank = rank_of(unit.substr(0, unit.find('/')));
        for (const std::string& used : uses) {
            ASSERT_TRUE(units.count(used)) << unit << " includes \"" << used << ".h\", which is no unit of src/";
            EXPECT_GE(rank_of(used.substr(0, used.find('/'))), rank) << unit << " includes " << used << ", a layer up";
        }
        EXPECT_EQ(loop_through(units, unit), "") << "a loop of includes";
    }
}
