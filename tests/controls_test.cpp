// The table of controls: each key acts as its row says, once a press or while
// held, with the prompt open or not; --help and F1's help list every row; the
// README's Controls table and the manual page name the same controls.
#include "allegro_env.h"
#include "app/app.h"
#include "app/controls.h"
#include "base/input.h"
#include "test_support.h"

#include <set>
#include <sstream>
#include <string>
#include <vector>

static auto* env = register_allegro_env();

namespace {

// A frame in which the binding's key does what it is bound to do.
frame_input acting(const binding& b)
{
    frame_input in;
    if (b.key == right_button_alone) {
        in.buttons = 2;
    } else if (b.key == left_click) {
        in.left_went_down = in.left_came_up = in.press_known = true;
    } else if (b.acts == when::typed) {
        press(in, KEY_SLASH, b.typed);
    } else {
        in.hold(b.key);
        if (b.acts == when::pressed) press(in, b.key);
    }
    return in;
}

// The keys column of the README's Controls table, markup taken off.
std::vector<std::string> readme_controls(const std::string& readme)
{
    std::vector<std::string> rows;
    const std::size_t from = readme.find("## Controls\n");
    if (from == std::string::npos) return rows;
    std::istringstream lines(readme.substr(from));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && line.rfind("## ", 0) != 0) {
        if (line.rfind("| ", 0) != 0 || line.rfind("| Control |", 0) == 0) continue;   // the header row
        std::string keys = line.substr(2, line.find(" | ") - 2);
        std::string plain;
        for (char c : keys)
            if (c != '`') plain += c;
        rows.push_back(plain);
    }
    return rows;
}

// The heads of the manual page's CONTROLS section: the line after each .TP,
// its font requests and quotes taken off.
std::vector<std::string> manual_controls(const std::string& page)
{
    std::vector<std::string> heads;
    const std::size_t from = page.find(".SH CONTROLS\n"), to = page.find("\n.SH ", from + 1);
    if (from == std::string::npos) return heads;
    std::istringstream lines(page.substr(from, to - from));
    std::string line;
    while (std::getline(lines, line)) {
        if (line != ".TP" || !std::getline(lines, line)) continue;
        std::string head;
        if (line.rfind(".B ", 0) == 0) {
            head = line.substr(3);
        } else if (line.rfind(".BR ", 0) == 0) {                   // alternating fonts: the pieces run together
            for (std::size_t at = 4; at < line.size();) {
                if (line[at] == ' ') { ++at; continue; }
                const bool quoted = line[at] == '"';
                const std::size_t end = quoted ? line.find('"', at + 1) : line.find(' ', at);
                head += line.substr(at + quoted, (end == std::string::npos ? line.size() : end) - at - quoted);
                at = end == std::string::npos ? line.size() : end + quoted;
            }
        } else {
            head = line;
        }
        for (std::size_t dash; (dash = head.find("\\-")) != std::string::npos;) head.replace(dash, 2, "-");
        heads.push_back(head);
    }
    return heads;
}

} // namespace

TEST(Controls, EachKeyActsAsItsRowSays)
{
    std::set<int> keys;
    for (const control& c : controls)
        for (const binding& b : c.bindings) {
            SCOPED_TRACE(std::string(c.keys) + ", key " + std::to_string(b.key));
            if (b.acts != when::typed) {
                EXPECT_TRUE(keys.insert(b.key).second) << "a key bound twice";
            }
            const frame_input in = acting(b);
            EXPECT_TRUE(acts(in, b.does, true));
            EXPECT_EQ(acts(in, b.does, false), b.prompt_too) << "with the prompt open";
            frame_input none;
            EXPECT_FALSE(acts(none, b.does, true));
            if (b.acts == when::pressed && b.key > 0) {
                frame_input held;                                     // down since an earlier frame
                held.hold(b.key);
                EXPECT_FALSE(acts(held, b.does, true)) << "acts once a press";
            }
            if (b.acts == when::typed) {
                frame_input other;                                    // the key without the character
                press(other, KEY_SLASH, '/');
                EXPECT_FALSE(acts(other, b.does, true));
            }
        }
}

TEST(Controls, HelpListsEveryControlWithItsKeysAndHelp)
{
    std::ostringstream help;
    write_help(help);
    const std::string text = help.str();
    const std::size_t from = text.find("\nControls:\n"), to = text.find("\n\nCatalog format:\n");
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(to, std::string::npos);
    std::string listed;
    for (const std::string& line : control_lines()) listed += line + "\n";
    EXPECT_EQ(text.substr(from + 11, to + 1 - (from + 11)), listed);
    const std::vector<std::string> lines = control_lines();
    for (const control& c : controls) {                           // a row a control: keys and help side by side
        const std::string said = c.help, first = said.substr(0, said.find('\n'));
        bool found = false;
        for (const std::string& line : lines)
            found = found || (line.rfind("  " + std::string(c.keys) + "  ", 0) == 0 &&
                              line.size() > first.size() && line.compare(line.size() - first.size(), first.size(), first) == 0);
        EXPECT_TRUE(found) << c.keys;
    }
    for (const std::string& line : lines) EXPECT_LT(line.size(), 80u) << line;   // within 80 columns
}

TEST(Controls, ReadmeAndManualPageNameTheControlsOfTheTable)
{
    std::set<std::string> table;
    for (const control& c : controls) table.insert(c.keys);
    const std::vector<std::string> readme = readme_controls(file_text(STARHOP_SOURCE_DIR "/README.md"));
    const std::vector<std::string> manual = manual_controls(file_text(STARHOP_SOURCE_DIR "/dist/starhop.1.in"));
    for (const auto& doc : {std::make_pair("README.md", readme), std::make_pair("starhop.1.in", manual)}) {
        const std::set<std::string> named(doc.second.begin(), doc.second.end());
        EXPECT_EQ(named.size(), doc.second.size()) << doc.first << " names a control twice";
        for (const std::string& keys : table) EXPECT_EQ(named.count(keys), 1u) << doc.first << " lacks " << keys;
        for (const std::string& keys : named) EXPECT_EQ(table.count(keys), 1u) << doc.first << " names " << keys;
    }
}
