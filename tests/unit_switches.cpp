// The command-line parser: every failure row, the number forms and limits.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "frame/switches.h"

namespace {

// A table declared like a tool with one text switch k, one number switch b
// in [0, 15] and two file names.
struct ParsedLine {
    std::unique_ptr<SwitchTable> table = std::make_unique<SwitchTable>();
    ErrorCode code = 0;
    std::string printed;
};

ParsedLine parse(std::vector<std::string> arguments, std::int32_t max = 15, std::int32_t min = 0) {
    ParsedLine result;
    init_switch_table(*result.table);
    declare_file_name(*result.table);
    declare_file_name(*result.table);
    declare_string_switch(*result.table, 'k');
    declare_number_switch(*result.table, 'b', min, max);
    arguments.insert(arguments.begin(), "tool");
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    testing::internal::CaptureStdout();
    result.code = parse_command_line(*result.table, static_cast<int>(argv.size()), argv.data());
    result.printed = testing::internal::GetCapturedStdout();
    return result;
}

std::int32_t value_of(const ParsedLine& line) {
    std::int32_t value = -999;
    EXPECT_EQ(get_number_switch(*line.table, 'b', value), 0);
    return value;
}

TEST(Parser, NoArgumentsGivesNothing) {
    const ParsedLine line = parse({});
    EXPECT_EQ(line.code, 0);
    EXPECT_EQ(line.table->name_count, 0);
    EXPECT_EQ(line.table->given_count, 0);
    std::int32_t value = 0;
    EXPECT_EQ(get_number_switch(*line.table, 'b', value), ERR_NOT_GIVEN);
}

TEST(Parser, AcceptedNumberForms) {
    EXPECT_EQ(value_of(parse({"-b12"})), 12);
    EXPECT_EQ(value_of(parse({"-b+12"})), 12);
    EXPECT_EQ(value_of(parse({"-b$0C"})), 12);
    EXPECT_EQ(value_of(parse({"-b$0c"})), 12);
    EXPECT_EQ(value_of(parse({"-b%1100"})), 12);
    EXPECT_EQ(value_of(parse({"-b$F"})), 15);
    EXPECT_EQ(value_of(parse({"-b-3"}, 15, -5)), -3);
}

TEST(Parser, NegativeAndWideValuesMeetTheRangeAsSignedNumbers) {
    ParsedLine line = parse({"-b$FFFFFFFF"});
    EXPECT_EQ(line.code, ERR_PARAMETERS);
    EXPECT_EQ(line.printed, "Valeur : -1 en dehors de l'intervalle : [0, 15]\n");

    line = parse({"-b%10000000000000000000000000000000"});
    EXPECT_EQ(line.code, ERR_PARAMETERS);
    EXPECT_EQ(line.printed, "Valeur : -2147483648 en dehors de l'intervalle : [0, 15]\n");

    line = parse({"-b$12345678"}, 0x7FFFFFFF);
    EXPECT_EQ(line.code, 0);
    EXPECT_EQ(value_of(line), 0x12345678);

    line = parse({"-b%11111111111111111111111111111111"});
    EXPECT_EQ(line.code, ERR_PARAMETERS);
}

TEST(Parser, DecimalBeyond32BitsIsSaturatedAndRefused) {
    ParsedLine line = parse({"-b4294967297"});
    EXPECT_EQ(line.code, ERR_PARAMETERS);
    EXPECT_EQ(line.printed, "Valeur : 2147483647 en dehors de l'intervalle : [0, 15]\n");

    line = parse({"-b-4294967297"});
    EXPECT_EQ(line.code, ERR_PARAMETERS);
    EXPECT_EQ(line.printed, "Valeur : -2147483648 en dehors de l'intervalle : [0, 15]\n");

    line = parse({"-b99999999999999999999999999999"});
    EXPECT_EQ(line.code, ERR_PARAMETERS);
    EXPECT_EQ(line.printed, "Valeur : 2147483647 en dehors de l'intervalle : [0, 15]\n");
}

TEST(Parser, MalformedNumbers) {
    EXPECT_EQ(parse({"-b"}).code, ERR_NOT_INTEGER);
    EXPECT_EQ(parse({"-b-"}).code, ERR_NOT_INTEGER);
    EXPECT_EQ(parse({"-b+"}).code, ERR_NOT_INTEGER);
    EXPECT_EQ(parse({"-b1x"}).code, ERR_NOT_INTEGER);
    EXPECT_EQ(parse({"-b$"}).code, ERR_NOT_HEX);
    EXPECT_EQ(parse({"-b$1G"}).code, ERR_NOT_HEX);
    EXPECT_EQ(parse({"-b%"}).code, ERR_NOT_BINARY);
    EXPECT_EQ(parse({"-b%102"}).code, ERR_NOT_BINARY);
    EXPECT_EQ(parse({"-b$123456789"}).code, ERR_STRING_TOO_LONG);
    EXPECT_EQ(parse({"-b%111111111111111111111111111111111"}).code, ERR_STRING_TOO_LONG);
}

TEST(Parser, RangeLine) {
    const ParsedLine line = parse({"-b16"});
    EXPECT_EQ(line.code, ERR_PARAMETERS);
    EXPECT_EQ(line.printed, "Valeur : 16 en dehors de l'intervalle : [0, 15]\n");
    EXPECT_FALSE(switch_given(*line.table, 'b'));
}

TEST(Parser, SwitchFailures) {
    EXPECT_EQ(parse({"-x"}).code, ERR_PARAMETERS) << "unknown letter";
    EXPECT_EQ(parse({"-"}).code, ERR_PARAMETERS) << "hyphen alone";
    EXPECT_EQ(parse({"-k", "-K"}).code, ERR_PARAMETERS) << "given twice";
    EXPECT_EQ(parse({"-b1", "-B2"}).code, ERR_PARAMETERS);
    EXPECT_EQ(parse({"-?", "-?"}).code, ERR_PARAMETERS);
    EXPECT_EQ(parse({"-k123456789012345"}).code, 0) << "15 characters of text";
    EXPECT_EQ(parse({"-k1234567890123456"}).code, ERR_PARAMETERS) << "16 characters of text";
    const ParsedLine upper = parse({"-K"});
    EXPECT_EQ(upper.code, 0);
    EXPECT_TRUE(switch_given(*upper.table, 'k'));
}

TEST(Parser, HelpSwitch) {
    EXPECT_EQ(parse({"a", "-?", "-b3", "b"}).code, HELP_REQUESTED);
    EXPECT_EQ(parse({"-?x"}).code, HELP_REQUESTED);
    EXPECT_EQ(parse({"-?123456789012345"}).code, HELP_REQUESTED);
    EXPECT_EQ(parse({"-?1234567890123456"}).code, ERR_PARAMETERS);
    EXPECT_EQ(parse({"-?", "-b$x"}).code, ERR_NOT_HEX) << "an invalid argument after help wins";
    EXPECT_EQ(parse({"-bz", "-?"}).code, ERR_NOT_INTEGER) << "an invalid argument before help wins";
}

TEST(Parser, LongHelpWordIsTheHelpSwitch) {
    EXPECT_EQ(parse({"--help"}).code, HELP_REQUESTED);
    EXPECT_EQ(parse({"a", "--HeLp", "-b3", "b"}).code, HELP_REQUESTED) << "any case, anywhere";
    const ParsedLine line = parse({"--help"});
    EXPECT_TRUE(switch_given(*line.table, '?'));
    EXPECT_EQ(line.table->name_count, 0) << "not a file name";
    EXPECT_EQ(parse({"--help", "-?"}).code, ERR_PARAMETERS) << "the same switch twice";
    EXPECT_EQ(parse({"--help", "--help"}).code, ERR_PARAMETERS);
    EXPECT_EQ(parse({"--help", "-b$x"}).code, ERR_NOT_HEX) << "an invalid argument after help wins";
    EXPECT_EQ(parse({"-b99", "--help"}).code, ERR_PARAMETERS) << "an invalid argument before help wins";
}

TEST(Parser, VersionWord) {
    const ParsedLine line = parse({"a", "-k", "--VERSION", "-b3"});
    EXPECT_EQ(line.code, VERSION_REQUESTED);
    EXPECT_EQ(line.table->version_given, 1);
    EXPECT_EQ(line.table->given_count, 2) << "takes no switch slot";
    EXPECT_EQ(line.table->switch_count, 3);
    EXPECT_EQ(parse({"--version", "--Version"}).code, ERR_PARAMETERS) << "given twice";
    EXPECT_EQ(parse({"--version", "-bz"}).code, ERR_NOT_INTEGER);
    EXPECT_EQ(parse({"-x", "--version"}).code, ERR_PARAMETERS);
    EXPECT_EQ(parse({"--version", "-?"}).code, HELP_REQUESTED) << "help wins over the version";
    EXPECT_EQ(parse({"--help", "--version"}).code, HELP_REQUESTED);
    EXPECT_EQ(parse({"a"}).table->version_given, 0);
}

TEST(Parser, OtherLongWordsStayUnknown) {
    for (const char* word : {"--", "---", "--he", "--helpx", "--versions", "--v", "-help", "-version", "--?"}) {
        EXPECT_EQ(parse({word}).code, ERR_PARAMETERS) << word;
    }
    EXPECT_TRUE(is_help_word("--HELP"));
    EXPECT_FALSE(is_help_word("--help "));
    EXPECT_FALSE(is_version_word("--versio"));
    EXPECT_FALSE(is_version_word(""));
}

TEST(Parser, PositionalNames) {
    const std::string name255(255, 'n');
    const ParsedLine line = parse({"first", name255});
    EXPECT_EQ(line.code, 0);
    EXPECT_EQ(line.table->name_count, 2);
    EXPECT_EQ(std::string(line.table->file_names[1].data()), name255);
    EXPECT_EQ(parse({std::string(256, 'n')}).code, ERR_PARAMETERS);
    EXPECT_EQ(parse({""}).code, ERR_PARAMETERS);
    std::vector<std::string> ten(10, "name");
    EXPECT_EQ(parse(ten).code, 0) << "ten names are stored whatever was declared";
    ten.emplace_back("eleventh");
    EXPECT_EQ(parse(ten).code, ERR_PARAMETERS);
}

TEST(Parser, DeclarationLimits) {
    auto table = std::make_unique<SwitchTable>();
    init_switch_table(*table);
    EXPECT_EQ(table->ranges[3].max, 0x07FFFFFF);
    EXPECT_EQ(table->ranges[3].min, INT32_MIN);
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(declare_string_switch(*table, static_cast<char>('a' + i)), 0);
    }
    char program[] = "tool";
    char* argv[] = {program};
    EXPECT_EQ(parse_command_line(*table, 1, argv), 0) << "the help switch takes the 16th slot";
    EXPECT_EQ(declare_number_switch(*table, 'z', 0, 1), ERR_PARAMETERS);

    init_switch_table(*table);
    for (int i = 0; i < 16; ++i) {
        declare_string_switch(*table, static_cast<char>('a' + i));
    }
    EXPECT_EQ(parse_command_line(*table, 1, argv), ERR_PARAMETERS) << "no slot left for help";

    init_switch_table(*table);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(declare_file_name(*table), 0);
    }
    EXPECT_EQ(declare_file_name(*table), ERR_PARAMETERS);
}

TEST(Parser, TextHelpers) {
    EXPECT_FALSE(is_hex_string(""));
    EXPECT_TRUE(is_hex_string("09afAF"));
    EXPECT_FALSE(is_hex_string("0g"));
    EXPECT_FALSE(is_hex_string("\xE9"));  // a high byte must not reach isxdigit as a negative value
    EXPECT_FALSE(is_binary_string(""));
    EXPECT_TRUE(is_binary_string("0101"));
    EXPECT_FALSE(is_decimal_string("-"));
    EXPECT_TRUE(is_decimal_string("-0"));
    EXPECT_FALSE(is_decimal_string("1-"));
    std::int32_t value = 0;
    EXPECT_EQ(parse_hex("ffffffff", value), 0);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(parse_binary("101", value), 0);
    EXPECT_EQ(value, 5);
}

}  // namespace
