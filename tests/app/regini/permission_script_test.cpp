// The registry permission tool: its script lines, their cutting from chunks, and the program's
// rules over a registry that records what it is asked to set.
#include "app/regini/permission_script.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/regini/regini_program.h"
#include "support/temp_directory.h"

namespace talvrin::regini {
namespace {

using platform::KeyAccess;
using platform::KeyRights;
using platform::Trustee;

constexpr KeyAccess kAdminsFull{Trustee::Administrators, KeyRights::Full};
constexpr KeyAccess kSystemFull{Trustee::LocalSystem, KeyRights::Full};

TEST(PermissionScript, CodesNameTheirGroupAndRights) {
    struct Case {
        unsigned long code;
        std::optional<KeyAccess> access;
    };
    const Case cases[] = {
        {1, kAdminsFull},
        {2, KeyAccess{Trustee::Administrators, KeyRights::Read}},
        {4, KeyAccess{Trustee::Administrators, KeyRights::ReadWriteDelete}},
        {5, KeyAccess{Trustee::CreatorOwner, KeyRights::Full}},
        {8, KeyAccess{Trustee::Everyone, KeyRights::Read}},
        {11, KeyAccess{Trustee::PowerUsers, KeyRights::Full}},
        {14, KeyAccess{Trustee::SystemOperators, KeyRights::Full}},
        {17, kSystemFull},
        {19, KeyAccess{Trustee::LocalSystem, KeyRights::Read}},
        {20, KeyAccess{Trustee::Administrators, KeyRights::ReadWriteExecute}},
        {23, KeyAccess{Trustee::Interactive, KeyRights::ReadWriteDelete}},
        {0, std::nullopt},
        {24, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(accessOfCode(c.code), c.access) << c.code;
}

TEST(PermissionScript, LinesGiveAKeyNothingOrTheReason) {
    struct Case {
        std::string line;
        std::string subkey;  // empty: no key
        std::vector<KeyAccess> access;
        std::string problem;  // empty: none
    };
    const std::string longName(256, 'k');
    const std::vector<Case> cases = {
        {R"(\Registry\Machine\SYSTEM\CurrentControlSet\Services\BFE [1 17])",
         R"(SYSTEM\CurrentControlSet\Services\BFE)",
         {kAdminsFull, kSystemFull},
         ""},
        // Case, blanks around everything, a name with a space and a bracket, a repeated code.
        {"\t \\REGISTRY\\machine\\Software\\A [b] Key\t[17  1 17]  ",
         "Software\\A [b] Key",
         {kSystemFull, kAdminsFull},
         ""},
        {"\\Registry\\Machine\\X[8]", "X", {{Trustee::Everyone, KeyRights::Read}}, ""},
        {"", "", {}, ""},
        {"   \t", "", {}, ""},
        {"  ; \\Registry\\Machine\\X [1]", "", {}, ""},
        {"\\Registry\\Machine\\X [1 99]", "", {}, "unknown access code 99"},
        {"\\Registry\\Machine\\X [1 000000017]", "", {}, "unknown access code 000000017"},
        {"\\Registry\\Machine\\X [1 x7]", "", {}, "'x7' is not an access code"},
        {"\\Registry\\Machine\\X [-1]", "", {}, "'-1' is not an access code"},
        {"\\Registry\\Machine\\X [ ]", "", {}, "no access codes in the brackets"},
        {"\\Registry\\Machine\\X 1 17", "", {}, "no access list in brackets"},
        {"\\Registry\\Machine\\X [1 17", "", {}, "the access list's closing bracket is missing"},
        {"\\Registry\\Machine\\X [1] 17", "", {}, "text after the access list"},
        {"\\Registry\\User\\S-1-5-18 [1]",
         "",
         {},
         "not a key of the machine (\\Registry\\Machine\\...)"},
        {"HKEY_LOCAL_MACHINE\\SYSTEM [1]",
         "",
         {},
         "the key is not named from \\Registry\\Machine\\"},
        {"    software [1]", "", {}, "the key is not named from \\Registry\\Machine\\"},
        {"\\Registry\\Machine [1]", "", {}, "no key is named below \\Registry\\Machine"},
        {"\\Registry\\Machine\\ [1]", "", {}, "no key is named below \\Registry\\Machine"},
        {"\\Registry\\Machine\\A\\\\B [1]", "", {}, "an empty name in the key's path"},
        {"\\Registry\\Machine\\A\\ [1]", "", {}, "an empty name in the key's path"},
        {"\\Registry\\Machine\\A" + std::string(1, '\0') + "B [1]",
         "",
         {},
         "a control character in the key's path"},
        {"\\Registry\\Machine\\" + longName + " [1]",
         "",
         {},
         "a key name longer than 255 characters"},
        {"\\Registry\\Machine\\Caf\xe9 [1]", "", {}, "not UTF-8 text"},
    };
    for (const Case& c : cases) {
        const ParsedLine parsed = parseLine(c.line);
        if (!c.problem.empty()) {
            const auto* problem = std::get_if<std::string>(&parsed);
            ASSERT_NE(problem, nullptr) << c.line;
            EXPECT_EQ(*problem, c.problem) << c.line;
        } else if (c.subkey.empty()) {
            EXPECT_TRUE(std::holds_alternative<NoKey>(parsed)) << c.line;
        } else {
            const auto* key = std::get_if<KeyLine>(&parsed);
            ASSERT_NE(key, nullptr) << c.line;
            EXPECT_EQ(key->subkey, c.subkey) << c.line;
            EXPECT_EQ(key->access, c.access) << c.line;
        }
    }
}

// The same script cut at every position gives the same lines; a line past the limit comes as
// nothing, whatever the chunks.
TEST(PermissionScript, LinesAreTheSameHoweverTheBytesArrive) {
    const std::string tooLong(kMaxLineBytes + 1, 'x');
    const std::string longest(kMaxLineBytes, 'y');
    const std::string script =
        "\xEF\xBB\xBF"
        "a\r\n\nb\n" +
        tooLong + "\r\n" + longest + "\r\nlast";
    const std::vector<std::string> expected = {"a", "", "b", "<too long>", longest, "last"};
    for (const std::size_t cut : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7},
                                  kMaxLineBytes, script.size()}) {
        std::vector<std::string> got;
        std::vector<std::size_t> numbers;
        ScriptLines lines([&](std::size_t number, std::optional<std::string_view> line) {
            numbers.push_back(number);
            got.push_back(line ? std::string(*line) : "<too long>");
        });
        for (std::size_t at = 0; at < script.size(); at += cut)
            lines.feed(std::string_view(script).substr(at, cut));
        lines.finish();
        EXPECT_EQ(got, expected) << "chunks of " << cut;
        EXPECT_EQ(numbers, (std::vector<std::size_t>{1, 2, 3, 4, 5, 6})) << "chunks of " << cut;
    }
    // A script that is only the start of a byte order mark is that text.
    std::vector<std::string> got;
    ScriptLines lines([&](std::size_t, std::optional<std::string_view> line) {
        got.push_back(std::string(line.value_or("")));
    });
    lines.feed("\xEF\xBB");
    lines.finish();
    EXPECT_EQ(got, (std::vector<std::string>{"\xEF\xBB"}));
}

// The program: every readable key is set, in order; each unreadable line and each key the
// registry refuses is one message; the status says whether there was any.
TEST(ReginiProgram, SetsEveryReadableKeyAndReportsEachFailureOnce) {
    namespace fs = std::filesystem;
    const fs::path dir = testsupport::makeTempDirectory("talvrin-regini-");
    ASSERT_FALSE(dir.empty());
    const fs::path good = dir / "good.txt", mixed = dir / "mixed.txt";
    std::ofstream(good, std::ios::binary) << "\\Registry\\Machine\\A [1 17]\r\n"
                                             "; a comment\r\n"
                                             "\\Registry\\Machine\\B [17]\r\n";
    std::ofstream(mixed, std::ios::binary) << "\\Registry\\Machine\\A [1 17]\n"
                                              "\\Registry\\Machine\\C [1 42]\n"
                                              "\\Registry\\Machine\\Refused [1]\n"
                                              "\\Registry\\Machine\\B [17]";
    std::vector<std::string> set;
    const KeyAccessSetter registry =
        [&](std::string_view subkey,
            std::span<const KeyAccess> access) -> std::optional<std::string> {
        set.push_back(std::string(subkey) + ":" + std::to_string(access.size()));
        if (subkey == "Refused") return std::string("access denied");
        return std::nullopt;
    };
    struct Case {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> set;
        std::vector<std::string> messages;  // each a piece of its own line, in order
    };
    const std::vector<Case> cases = {
        {{good.string()}, 0, {"A:2", "B:1"}, {}},
        {{mixed.string(), good.string()},
         1,
         {"A:2", "Refused:1", "B:1", "A:2", "B:1"},
         {"mixed.txt line 2: unknown access code 42; skipped",
          "\\Registry\\Machine\\Refused: could not set its access list: access denied"}},
        {{(dir / "missing.txt").string(), good.string()},
         1,
         {"A:2", "B:1"},
         {"missing.txt: cannot read the file"}},
        {{}, 2, {}, {"usage: regini SCRIPT..."}},
        {{"-m", good.string()}, 2, {}, {"unknown option '-m'"}},
    };
    for (const Case& c : cases) {
        set.clear();
        std::FILE* messages = std::tmpfile();
        ASSERT_NE(messages, nullptr);
        EXPECT_EQ(runRegini(c.args, registry, messages), c.status) << c.args.size();
        std::rewind(messages);
        std::vector<std::string> lines;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, messages))
            lines.emplace_back(buffer);
        std::fclose(messages);
        EXPECT_EQ(set, c.set);
        if (c.status == 2) {
            ASSERT_FALSE(lines.empty());
            EXPECT_NE(lines[0].find(c.messages[0]), std::string::npos) << lines[0];
            continue;
        }
        ASSERT_EQ(lines.size(), c.messages.size());
        for (std::size_t i = 0; i < lines.size(); ++i)
            EXPECT_NE(lines[i].find(c.messages[i]), std::string::npos) << lines[i];
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace talvrin::regini
