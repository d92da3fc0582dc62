// The manual pages render without warnings and say what --help says: every option each
// program's help (and each talvrin-image command's help) names is in the page and the page
// names no other, every command is described, and every exit status the help names is listed.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "support/run_command.h"

namespace {

using talvrin::testsupport::runCommand;

const std::string kManDir = std::string(TALVRIN_SOURCE_DIR) + "/docs/man/";

bool haveMan() {
    return runCommand("command -v man").exitStatus == 0;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The page's text with the escapes that split words removed: "\-" is "-", fonts go.
std::string pageText(const std::string& program) {
    std::string text = readFile(kManDir + program + ".1");
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
    text = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
    return text;
}

std::set<std::string> longOptions(const std::string& text) {
    std::set<std::string> out;
    const std::regex option(R"(--[a-z][a-z-]*[a-z])");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
         it != std::sregex_iterator(); ++it)
        out.insert(it->str());
    return out;
}

// The exit statuses a help text names: the numbers of its "Exit status ..." sentences.
std::set<std::string> exitStatuses(const std::string& help) {
    std::set<std::string> out;
    const std::regex sentence(R"(Exit status[^.]*\.)");
    for (auto s = std::sregex_iterator(help.begin(), help.end(), sentence);
         s != std::sregex_iterator(); ++s) {
        const std::string text = s->str();
        const std::regex number(R"(\b[0-9]+\b)");
        for (auto n = std::sregex_iterator(text.begin(), text.end(), number);
             n != std::sregex_iterator(); ++n)
            out.insert(n->str());
    }
    return out;
}

std::string help(const std::string& arguments) {
    const auto r = runCommand(std::string(TALVRIN_BIN_DIR) + "/" + arguments + " --help");
    EXPECT_EQ(r.exitStatus, 0) << arguments;
    return r.output;
}

TEST(ManPages, RenderWithoutWarnings) {
    if (!haveMan()) GTEST_SKIP() << "man is not installed (Debian package man-db)";
    const char* pages[] = {"talvrin", "talvrin-repair", "talvrin-image"};
    for (const char* page : pages) {
        const std::string file = kManDir + page + ".1";
        const auto warnings = runCommand("LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l '" + file +
                                         "' 2>&1 1>/dev/null | cat");
        EXPECT_EQ(warnings.output, "") << page;
        const auto rendered = runCommand("LC_ALL=C.UTF-8 MANWIDTH=80 man -l '" + file + "'");
        EXPECT_NE(rendered.output.find("NAME"), std::string::npos) << page;
    }
}

TEST(ManPages, SayWhatTheHelpSays) {
    struct Program {
        std::string name;
        std::vector<std::string> commands;
    };
    // talvrin-image's commands are the first words of its help's "commands:" block.
    const std::string imageHelp = help("talvrin-image");
    std::vector<std::string> commands;
    const auto block = imageHelp.find("commands:\n");
    ASSERT_NE(block, std::string::npos);
    const std::regex commandLine(R"(\n  ([a-z]+) )");
    const std::string rest = imageHelp.substr(block, imageHelp.find("\n\n", block) - block);
    for (auto it = std::sregex_iterator(rest.begin(), rest.end(), commandLine);
         it != std::sregex_iterator(); ++it)
        commands.push_back((*it)[1].str());
    ASSERT_EQ(commands.size(), 3u) << imageHelp;

    for (const Program& program :
         {Program{"talvrin-repair", {}}, Program{"talvrin-image", commands}}) {
        std::string helpText = help(program.name);
        for (const auto& command : program.commands)
            helpText += help(program.name + " " + command);
        const std::string page = pageText(program.name);
        EXPECT_EQ(longOptions(page), longOptions(helpText)) << program.name;
        for (const auto& command : program.commands)
            EXPECT_NE(page.find(".BI " + command + " "), std::string::npos)
                << program.name << " " << command;
        const auto exit = page.find(".SH EXIT STATUS");
        ASSERT_NE(exit, std::string::npos) << program.name;
        const std::string exitSection = page.substr(exit, page.find(".SH", exit + 1) - exit);
        for (const auto& status : exitStatuses(helpText))
            EXPECT_NE(exitSection.find(".B " + status + "\n"), std::string::npos)
                << program.name << " exit status " << status;
        EXPECT_NE(page.find(".SH EXAMPLES"), std::string::npos) << program.name;
    }
}

}  // namespace
