// Error codes, their French messages and the frame every program runs in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

using ErrorCode = std::int16_t;

constexpr ErrorCode ERR_SUCCESS = 0;
constexpr ErrorCode ERR_ALLOCATION = -1;
constexpr ErrorCode ERR_MEMORY_INIT = -2;
constexpr ErrorCode ERR_OPEN = -3;
constexpr ErrorCode ERR_CREATE = -4;
constexpr ErrorCode ERR_READ = -5;
constexpr ErrorCode ERR_WRITE = -6;
constexpr ErrorCode ERR_CLOSE = -7;
constexpr ErrorCode ERR_PARAMETERS = -8;
constexpr ErrorCode ERR_SCRIPT_PARAMETERS = -9;
constexpr ErrorCode ERR_FUNCTION_PARAMETERS = -10;
constexpr ErrorCode ERR_NOT_HEX = -11;
constexpr ErrorCode ERR_NOT_BINARY = -12;
constexpr ErrorCode ERR_NOT_INTEGER = -13;
constexpr ErrorCode ERR_NOT_GIVEN = -14;
constexpr ErrorCode ERR_NOT_IMPLEMENTED = -15;
constexpr ErrorCode ERR_DIVISION_BY_ZERO = -16;
constexpr ErrorCode ERR_INDEX_OUT_OF_TABLE = -17;
constexpr ErrorCode ERR_NO_NUMBER = -18;
constexpr ErrorCode ERR_STRING_TOO_LONG = -19;
constexpr ErrorCode ERR_UNKNOWN_OPERATION = -20;
constexpr ErrorCode ERR_VALUE_TOO_LARGE = -21;
constexpr ErrorCode ERR_MAP_TOO_LARGE = -22;
constexpr ErrorCode ERR_SAME_FILE_NAMES = -23;
constexpr ErrorCode ERR_INVALID_PCX = -24;
constexpr ErrorCode ERR_INVALID_SNAPSHOT = -25;
constexpr ErrorCode ERR_SNAPSHOT_MODULE_NOT_FOUND = -26;
constexpr ErrorCode ERR_INVALID_OPCODE = -27;
constexpr ErrorCode ERR_INVALID_AMICA = -28;
constexpr ErrorCode ERR_INVALID_PNG = -29;
constexpr ErrorCode ERR_UNKNOWN_COLOURS = -30;
constexpr ErrorCode ERR_INVALID_DRAZPAINT = -31;
constexpr ErrorCode ERR_INVALID_JPEG = -32;
constexpr ErrorCode ERR_INVALID_WEBP = -33;
constexpr ErrorCode HELP_REQUESTED = INT16_MIN;
constexpr ErrorCode VERSION_REQUESTED = INT16_MIN + 1;

constexpr int ERROR_MESSAGE_COUNT = 34;

// Indexed by the negated code; the texts are code page 850 bytes.
extern const char* const error_messages[ERROR_MESSAGE_COUNT];

// Converts code page 850 text to UTF-8.
std::string_view cp850_to_utf8(unsigned char byte);

// What one program hands to the frame.
struct ToolDescription {
    const char* banner;  // "TYPOLAN v0.0.9beta ..." without the line feed
    ErrorCode (*tool_main)(int argc, char** argv);
    void (*print_usage)();
};

// The entry of every program: banner, tool_main, then the report of its code.
// Returns the process exit status. A std::bad_alloc thrown by the tool becomes
// ERR_ALLOCATION. With --version anywhere on the command line the version
// line stands in place of the banner, and a run that asked only for it ends
// there with status 0.
int run_tool(int argc, char** argv, const ToolDescription& tool);

// "exgravo 1.0.0beta" from the banner "EXGRAVO v1.0.0beta - ...": the
// program's name as typed and its version, for --version.
std::string version_line(const char* banner);

// Prints text through the console encoding: code page 850 bytes are converted
// to UTF-8 only when standard output is a terminal whose locale uses UTF-8.
void print_console_text(const char* cp850_text);

// Prints the success line every tool_main ends with.
void print_ended_process();
