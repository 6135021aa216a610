// File-system faults, end to end, for every program and every file it opens:
// a missing, unreadable, short or malformed input, and an output that cannot
// be created or written. Each run must end with its documented code and the
// error block, and leave the folder exactly as it was: no new file, no
// changed file, no temporary file left over.
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "frame/errors.h"
#include "format_files.h"
#include "desktop/png_file.h"
#include "run_program.h"
#include "test_pictures.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A run that succeeds in the prepared folder. Every output is named on the
// command line, so that a case can move it elsewhere.
struct Program {
    const char* tool;
    std::vector<std::string> arguments;
    std::vector<std::string> outputs;  // every file a successful run writes
};

// An input of a program, and how the program refuses a broken copy of it.
struct InputCase {
    const char* label;
    Program program;
    const char* input;       // the file the program opens
    ErrorCode short_code;    // for the first half of the file; 0: a short file is accepted
    ErrorCode empty_code;    // for an empty file
    ErrorCode broken_code;   // for the file with broken_offset changed; 0: no broken form
    std::size_t broken_offset;
    std::uint8_t broken_byte;
};

// An output of a program: the argument that names it and the file it makes.
struct OutputCase {
    const char* label;
    Program program;
    std::size_t argument;  // index into the arguments
    const char* file;      // the name the program writes
    ErrorCode create_code;
};

const Program EXGRAVO{"exgravo", {"pic", "out"}, {"out.pcx"}};
const Program EXGRAVO_AMICA{"exgravo", {"pic", "out", "-a"}, {"out.pcx"}};
const Program EXGRAVO_HIRES{"exgravo", {"pic", "out", "-s"}, {"out.pcx"}};
const Program EXGRAVO_PNG{"exgravo", {"pic", "out.png"}, {"out.png"}};
const Program EXGRAVO_GG{"exgravo", {"pic.gg", "out"}, {"out.pcx"}};
const Program EXGRAVO_DRAZPAINT{"exgravo", {"pic.drp", "out"}, {"out.pcx"}};
const Program INGRAVO{"ingravo", {"image", "out", "errors", "-b0"}, {"out.koa", "errors.pcx"}};
const Program INGRAVO_PNG{"ingravo", {"image.png", "out", "errors", "-b0"}, {"out.koa", "errors.pcx"}};
const Program INGRAVO_FAILING_CELLS{"ingravo", {"image", "out", "errors", "-b6"}, {"out.koa", "errors.pcx"}};
const Program INGRAVO_FAILING_CELLS_PNG{"ingravo", {"image", "out", "errors.png", "-b6"}, {"out.koa", "errors.png"}};
const Program VERIMAT{"verimat", {"pic", "other", "patch", "difference"}, {"patch.bin", "difference.pcx"}};
const Program VERIMAT_PNG{"verimat", {"pic", "other", "patch", "difference.png"}, {"patch.bin", "difference.png"}};
const Program EMBLEX{"emblex",
                     {"pic", "logo_font", "logo_screen", "logo_colour", "-00", "-11", "-22"},
                     {"logo_font.fnt", "logo_screen.scr", "logo_colour.col"}};
const Program TINTRIX{"tintrix", {"pic", "out", "-00", "-11", "-22", "-33"}, {"out.koa"}};
const Program SNIPPEL{"snippel", {"pic", "out", "-w24", "-h21", "-00", "-11", "-22", "-33"}, {"out.spr"}};
const Program ZORBEL{"zorbel", {"script", "definitions", "sprites"}, {"definitions.def", "sprites.spr"}};
const Program ZORBEL_SUPERCPU{"zorbel", {"script", "image", "-s"}, {"image.img"}};
const Program ZORBEL_AMICA{"zorbel", {"amica_script", "definitions", "sprites"}, {"definitions.def", "sprites.spr"}};
const Program TYPOLAN{"typolan", {"font", "out"}, {"out.art"}};

// Broken forms: a PCX of version 3, a PNG whose header fails its checksum, a
// packed Drazpaint file without its header, a script whose cut has no x
// label, an Amica file whose end marker comes early.
const std::vector<InputCase> input_cases = {
    {"exgravo koala", EXGRAVO, "pic.koa", ERR_READ, ERR_READ, 0, 0, 0},
    {"exgravo amica", EXGRAVO_AMICA, "pic.ami", ERR_READ, ERR_READ, ERR_INVALID_AMICA, 0, 0},
    {"exgravo art studio", EXGRAVO_HIRES, "pic.art", ERR_READ, ERR_READ, 0, 0, 0},
    {"exgravo gg", EXGRAVO_GG, "pic.gg", ERR_READ, ERR_READ, 0, 0, 0},
    {"exgravo drazpaint packed", EXGRAVO_DRAZPAINT, "pic.drp", ERR_READ, ERR_READ, ERR_INVALID_DRAZPAINT, 2, 'X'},
    {"ingravo", INGRAVO, "image.pcx", ERR_READ, ERR_READ, ERR_INVALID_PCX, 1, 3},
    // An empty file has no PNG signature and is read as a PCX.
    {"ingravo png", INGRAVO_PNG, "image.png", ERR_INVALID_PNG, ERR_READ, ERR_INVALID_PNG, 17, 0x02},
    {"verimat first", VERIMAT, "pic.koa", ERR_READ, ERR_READ, 0, 0, 0},
    {"verimat second", VERIMAT, "other.koa", ERR_READ, ERR_READ, 0, 0, 0},
    {"emblex", EMBLEX, "pic.koa", ERR_READ, ERR_READ, 0, 0, 0},
    {"tintrix", TINTRIX, "pic.koa", ERR_READ, ERR_READ, 0, 0, 0},
    {"snippel", SNIPPEL, "pic.koa", ERR_READ, ERR_READ, 0, 0, 0},
    // Half the script stops inside a number; an empty one has no command.
    {"zorbel script", ZORBEL, "script.zbs", ERR_SCRIPT_PARAMETERS, ERR_READ, ERR_SCRIPT_PARAMETERS, 12, 'q'},
    {"zorbel picture", ZORBEL, "pic.koa", ERR_READ, ERR_READ, 0, 0, 0},
    {"zorbel amica picture", ZORBEL_AMICA, "pic.ami", ERR_READ, ERR_READ, ERR_INVALID_AMICA, 0, 0},
    // A font may be short: what is missing reads as 0.
    {"typolan", TYPOLAN, "font.fnt", ERR_SUCCESS, ERR_SUCCESS, 0, 0, 0},
};

const std::vector<OutputCase> output_cases = {
    {"exgravo pcx", EXGRAVO, 1, "out.pcx", ERR_OPEN},
    {"exgravo png", EXGRAVO_PNG, 1, "out.png", ERR_OPEN},
    {"ingravo picture", INGRAVO, 1, "out.koa", ERR_CREATE},
    {"ingravo errors image", INGRAVO_FAILING_CELLS, 2, "errors.pcx", ERR_OPEN},
    {"ingravo png errors image", INGRAVO_FAILING_CELLS_PNG, 2, "errors.png", ERR_OPEN},
    {"verimat patch", VERIMAT, 2, "patch.bin", ERR_CREATE},
    {"verimat difference image", VERIMAT, 3, "difference.pcx", ERR_OPEN},
    {"verimat png difference image", VERIMAT_PNG, 3, "difference.png", ERR_OPEN},
    {"emblex font", EMBLEX, 1, "logo_font.fnt", ERR_CREATE},
    {"emblex screen", EMBLEX, 2, "logo_screen.scr", ERR_CREATE},
    {"emblex colour", EMBLEX, 3, "logo_colour.col", ERR_CREATE},
    {"tintrix", TINTRIX, 1, "out.koa", ERR_CREATE},
    {"snippel", SNIPPEL, 1, "out.spr", ERR_CREATE},
    {"zorbel definitions", ZORBEL, 1, "definitions.def", ERR_OPEN},
    {"zorbel sprites", ZORBEL, 2, "sprites.spr", ERR_OPEN},
    {"zorbel image", ZORBEL_SUPERCPU, 1, "image.img", ERR_OPEN},
    {"typolan", TYPOLAN, 1, "out.art", ERR_CREATE},
};

// Everything in the folder, links as their targets, never read through.
std::map<std::string, std::string> folder_contents(const fs::path& folder) {
    std::map<std::string, std::string> contents;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).string();
        if (entry.is_symlink()) {
            contents[name] = "link to " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_directory()) {
            contents[name] = "folder";
        } else {
            const Bytes bytes = read_bytes(entry.path());
            contents[name] = std::string(bytes.begin(), bytes.end());
        }
    }
    return contents;
}

std::string error_text(ErrorCode code) {
    return std::string("\nERROR : ") + error_messages[-code] + "\nInterrupted process.\n\nUsage: ";
}

class FileFaults : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        // Background 0, colours 1, 2, 3 in every cell: every run converts.
        const auto picture = uniform_multicolour_picture(0, 0x12, 0x03);
        for (int i = 0; i < BITMAP_SIZE; ++i) {
            picture->bitmap[i] = static_cast<std::uint8_t>(i * 7);
        }
        save_multicolour_picture(file("pic.koa").string(), FORMAT_KOALA, *picture);
        save_multicolour_picture(file("pic.ami").string(), FORMAT_AMICA, *picture);
        picture->bitmap[0] ^= 0xFF;
        save_multicolour_picture(file("other.koa").string(), FORMAT_KOALA, *picture);
        save_hires_picture(file("pic.art").string(), *uniform_hires_picture(0x0F, 0x6E));
        write_bytes(file("pic.gg"), gg_file(*picture));
        write_bytes(file("pic.drp"), drp_file(*picture));
        pcx_write(*rendered(*picture), file("image.pcx").string());
        png_write(*rendered(*picture), file("image.png").string());
        Bytes font(2050);
        for (std::size_t i = 0; i < font.size(); ++i) {
            font[i] = static_cast<std::uint8_t>(i * 13);
        }
        write_bytes(file("font.fnt"), font);
        write_text("script.zbs", "K:pic.koa\nM:x0,y0,w24,h21,00,11,22,33\n");
        write_text("amica_script.zbs", "A:pic.ami\nM:x0,y0,w24,h21,00,11,22,33\n");
    }

    void write_text(const std::string& name, const std::string& text) const {
        write_bytes(file(name), Bytes(text.begin(), text.end()));
    }

    // The run fails with code, prints the error block and leaves the folder
    // as it was.
    void expect_refusal(const Program& program, ErrorCode code, const std::string& label) const {
        const auto before = folder_contents(folder);
        const ProgramResult result = run(program.tool, program.arguments);
        EXPECT_EQ(result.status, status_of(code)) << label;
        EXPECT_NE(result.output.find(error_text(code)), std::string::npos) << label << "\n" << result.output;
        EXPECT_EQ(folder_contents(folder), before) << label;
    }

    // The same with every output already there: none of them may change.
    void expect_refusal_keeps_outputs(const Program& program, const std::vector<std::string>& outputs, ErrorCode code,
                                      const std::string& label) const {
        for (const std::string& output : outputs) {
            write_text(output, "an older " + output);
        }
        expect_refusal(program, code, label + ", outputs already there");
        for (const std::string& output : outputs) {
            fs::remove(file(output));
        }
    }
};

TEST_F(FileFaults, EveryProgramSucceedsInThePreparedFolder) {
    for (const Program& program :
         {EXGRAVO, EXGRAVO_AMICA, EXGRAVO_HIRES, EXGRAVO_PNG, EXGRAVO_GG, EXGRAVO_DRAZPAINT, INGRAVO, INGRAVO_PNG,
          INGRAVO_FAILING_CELLS, INGRAVO_FAILING_CELLS_PNG, VERIMAT, VERIMAT_PNG, EMBLEX, TINTRIX, SNIPPEL, ZORBEL,
          ZORBEL_SUPERCPU, ZORBEL_AMICA, TYPOLAN}) {
        const ProgramResult result = run(program.tool, program.arguments);
        EXPECT_EQ(result.status, 0) << program.tool << "\n" << result.output;
    }
    for (const OutputCase& output : output_cases) {
        EXPECT_TRUE(exists(output.file)) << output.label;
    }
}

TEST_F(FileFaults, AMissingInputFailsToOpen) {
    for (const InputCase& input : input_cases) {
        const Bytes kept = read_bytes(file(input.input));
        fs::remove(file(input.input));
        expect_refusal(input.program, ERR_OPEN, input.label);
        expect_refusal_keeps_outputs(input.program, input.program.outputs, ERR_OPEN, input.label);
        write_bytes(file(input.input), kept);
    }
}

// Opening a folder for reading succeeds on some systems; reading it fails.
TEST_F(FileFaults, AFolderAsInputFailsToRead) {
    for (const InputCase& input : input_cases) {
        const Bytes kept = read_bytes(file(input.input));
        fs::remove(file(input.input));
        fs::create_directory(file(input.input));
        expect_refusal(input.program, ERR_READ, input.label);
        fs::remove(file(input.input));
        write_bytes(file(input.input), kept);
    }
}

TEST_F(FileFaults, AShortInputFailsToRead) {
    for (const InputCase& input : input_cases) {
        const Bytes kept = read_bytes(file(input.input));
        if (input.short_code != ERR_SUCCESS) {
            write_bytes(file(input.input), Bytes(kept.begin(), kept.begin() + kept.size() / 2));
            expect_refusal(input.program, input.short_code, input.label);
            expect_refusal_keeps_outputs(input.program, input.program.outputs, input.short_code, input.label);
        }
        if (input.empty_code != ERR_SUCCESS) {
            write_bytes(file(input.input), {});
            expect_refusal(input.program, input.empty_code, std::string(input.label) + ", empty");
        }
        write_bytes(file(input.input), kept);
    }
}

TEST_F(FileFaults, AMalformedInputIsRefused) {
    for (const InputCase& input : input_cases) {
        if (input.broken_code == ERR_SUCCESS) {
            continue;
        }
        const Bytes kept = read_bytes(file(input.input));
        Bytes broken = kept;
        if (input.broken_code == ERR_INVALID_AMICA) {
            // The first bytes are literals; the end marker after them is early.
            broken.resize(100);
            broken.push_back(0xC2);
            broken.push_back(0x00);
        } else {
            broken[input.broken_offset] = input.broken_byte;
        }
        write_bytes(file(input.input), broken);
        expect_refusal(input.program, input.broken_code, input.label);
        expect_refusal_keeps_outputs(input.program, input.program.outputs, input.broken_code, input.label);
        write_bytes(file(input.input), kept);
    }
}

// Inputs that read well but do not convert.
TEST_F(FileFaults, ARefusedConversionKeepsOldOutputs) {
    Program emblex = EMBLEX;
    emblex.arguments.back() = "-27";  // no shared colour of the cells
    Program tintrix = TINTRIX;
    tintrix.arguments[2] = "-05";     // colour 0 is not among those given
    Program snippel = SNIPPEL;
    snippel.arguments.push_back("-x150");
    write_text("script.zbs", "K:pic.koa\nM:x150,y0,w24,h21,00,11,22,33\n");
    expect_refusal_keeps_outputs(emblex, emblex.outputs, ERR_PARAMETERS, "emblex");
    expect_refusal_keeps_outputs(tintrix, tintrix.outputs, ERR_PARAMETERS, "tintrix");
    expect_refusal_keeps_outputs(snippel, snippel.outputs, ERR_VALUE_TOO_LARGE, "snippel");
    expect_refusal_keeps_outputs(ZORBEL, ZORBEL.outputs, ERR_VALUE_TOO_LARGE, "zorbel");
    expect_refusal_keeps_outputs(ZORBEL_SUPERCPU, ZORBEL_SUPERCPU.outputs, ERR_VALUE_TOO_LARGE, "zorbel -s");
}

TEST_F(FileFaults, AnOutputInAMissingFolderCannotBeCreated) {
    for (const OutputCase& output : output_cases) {
        Program program = output.program;
        program.arguments[output.argument] = "missing/" + program.arguments[output.argument];
        expect_refusal(program, output.create_code, output.label);
    }
}

// As root no permission stops a write; a plain file in the path does.
TEST_F(FileFaults, AnOutputUnderAPlainFileCannotBeCreated) {
    write_text("plain", "not a folder");
    for (const OutputCase& output : output_cases) {
        Program program = output.program;
        program.arguments[output.argument] = "plain/" + program.arguments[output.argument];
        expect_refusal(program, output.create_code, output.label);
    }
}

TEST_F(FileFaults, AnOutputThatIsAFolderCannotBeCreated) {
    for (const OutputCase& output : output_cases) {
        fs::create_directory(file(output.file));
        expect_refusal(output.program, output.create_code, output.label);
        fs::remove(file(output.file));
    }
}

// The link is written through, not replaced, and the outputs written before
// the full one do not appear.
TEST_F(FileFaults, AnOutputOnAFullDeviceFailsToWrite) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    for (const OutputCase& output : output_cases) {
        fs::create_symlink("/dev/full", file(output.file));
        const auto before = folder_contents(folder);
        const ProgramResult result = run(output.program.tool, output.program.arguments);
        EXPECT_TRUE(result.status == status_of(ERR_WRITE) || result.status == status_of(ERR_CLOSE))
            << output.label << ": " << result.status;
        EXPECT_NE(result.output.find("\nInterrupted process.\n\nUsage: "), std::string::npos) << output.label;
        EXPECT_EQ(folder_contents(folder), before) << output.label;
        fs::remove(file(output.file));
    }
}

// The new file replaces the old one only once it is complete; a link to an
// output stays a link.
TEST_F(FileFaults, AnOutputBehindALinkIsReplacedThroughTheLink) {
    fs::create_directory(file("elsewhere"));
    write_text("elsewhere/out.pcx", "old");
    fs::create_symlink("elsewhere/out.pcx", file("out.pcx"));
    ASSERT_EQ(run("exgravo", {"pic", "out"}).status, 0);
    EXPECT_TRUE(fs::is_symlink(file("out.pcx")));
    EXPECT_EQ(read_bytes(file("elsewhere/out.pcx")).size(), read_bytes(file("out.pcx")).size());
    EXPECT_GT(read_bytes(file("elsewhere/out.pcx")).size(), 128u);
    EXPECT_EQ(std::distance(fs::directory_iterator(file("elsewhere")), fs::directory_iterator()), 1);
}

}  // namespace
