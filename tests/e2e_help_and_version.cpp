// --help and --version in every program: what they print, their status, and
// how they meet other arguments.
#include <filesystem>

#include "frame/errors.h"
#include "run_program.h"

namespace {

struct Program {
    const char* name;
    const char* version_line;
    const char* valid_switch;  // one the program accepts, to show the word works beside it
};

const Program programs[] = {
    {"exgravo", "exgravo 1.0.0beta\n", "-k"}, {"ingravo", "ingravo 1.0.0beta\n", "-a"},
    {"verimat", "verimat 0.0.9beta\n", "-p3"}, {"emblex", "emblex 0.9.0\n", "-01"},
    {"tintrix", "tintrix 0.9.1\n", "-35"},     {"snippel", "snippel 0.9.0\n", "-x8"},
    {"zorbel", "zorbel 0.9.0\n", "-s"},        {"typolan", "typolan 0.0.9beta\n", "-k"},
};

class HelpAndVersion : public ToolTest, public testing::WithParamInterface<Program> {
protected:
    // The usage text: what -? prints after the banner line.
    std::string usage() const {
        const std::string help = run(GetParam().name, {"-?"}).output;
        return help.substr(help.find('\n') + 1);
    }
    std::string banner() const {
        const std::string help = run(GetParam().name, {"-?"}).output;
        return help.substr(0, help.find('\n') + 1);
    }
    bool folder_empty() const { return std::filesystem::is_empty(folder); }
};

TEST_P(HelpAndVersion, LongHelpPrintsWhatTheHelpSwitchPrints) {
    const Program& program = GetParam();
    const ProgramResult help = run(program.name, {"-?"});
    ASSERT_EQ(help.status, 0);
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--help"}, {"--HELP"}, {"pic", program.valid_switch, "--Help"}}) {
        const ProgramResult result = run(program.name, arguments);
        EXPECT_EQ(result.output, help.output) << arguments.back();
        EXPECT_EQ(result.status, 0);
    }
    EXPECT_TRUE(folder_empty()) << "help does no work";
}

TEST_P(HelpAndVersion, VersionPrintsOneLineAndDoesNoWork) {
    const Program& program = GetParam();
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--version"}, {"--VERSION"}, {"pic", "--Version", program.valid_switch}}) {
        const ProgramResult result = run(program.name, arguments);
        EXPECT_EQ(result.output, program.version_line) << arguments[0];
        EXPECT_EQ(result.status, 0);
    }
    EXPECT_TRUE(folder_empty());
}

TEST_P(HelpAndVersion, InvalidArgumentsWinOverBothWords) {
    const Program& program = GetParam();
    const std::string refused = error_block("param\x82trage incorrect", usage());
    ProgramResult result = run(program.name, {"--version", "-j"});
    EXPECT_EQ(result.output, program.version_line + refused) << "the version line stands for the banner";
    EXPECT_EQ(result.status, status_of(ERR_PARAMETERS));
    result = run(program.name, {"-j", "--help"});
    EXPECT_EQ(result.output, banner() + refused);
    EXPECT_EQ(result.status, status_of(ERR_PARAMETERS));
    EXPECT_EQ(run(program.name, {"--help", "-?"}).status, status_of(ERR_PARAMETERS)) << "help given twice";
}

TEST_P(HelpAndVersion, HelpWithVersionShowsTheUsageUnderTheVersionLine) {
    const Program& program = GetParam();
    const ProgramResult result = run(program.name, {"--help", "--version"});
    EXPECT_EQ(result.output, program.version_line + usage());
    EXPECT_EQ(result.status, 0);
}

TEST_P(HelpAndVersion, OtherDoubleHyphenWordsStayRefused) {
    const Program& program = GetParam();
    const std::string refused = banner() + error_block("param\x82trage incorrect", usage());
    for (const char* word : {"--", "--h", "--helpme", "--versions", "--usage"}) {
        const ProgramResult result = run(program.name, {word});
        EXPECT_EQ(result.output, refused) << word;
        EXPECT_EQ(result.status, status_of(ERR_PARAMETERS)) << word;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryProgram, HelpAndVersion, testing::ValuesIn(programs),
                         [](const testing::TestParamInfo<Program>& info) { return std::string(info.param.name); });

}  // namespace
