#include "frame/errors.h"

#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <langinfo.h>
#include <new>
#include <unistd.h>

#include "frame/switches.h"

// Octal escapes: a hex escape would swallow the letters that follow it.
// \202 is e acute and \212 e grave in code page 850.
const char* const error_messages[ERROR_MESSAGE_COUNT] = {
    "no error",
    "probl\212me d'allocation m\202moire",
    "probl\212me d'initialisation m\202moire",
    "ouverture fichier impossible",
    "cr\202ation fichier impossible",
    "probl\212me de lecture de fichier",
    "probl\212me d'\202criture de fichier",
    "probl\212me de fermeture de fichier",
    "param\202trage incorrect",
    "param\202trage de script incorrect",
    "param\202trage de fonction incorrect",
    "valeur non hexadecimale",
    "valeur non binaire",
    "valeur non entiere",
    "parametre non renseigne",
    "fonctionnalit\202 non impl\202ment\202e",
    "division par zero",
    "indice hors tableau",
    "pas de nombre dans la chaine",
    "chaine trop longue",
    "operation mathematique inconnue",
    "valeur trop grande",
    "dimensions de la carte trop grande",
    "noms de fichiers \202gaux",
    "invalid pcx file",
    "invalid x64 snapshot file",
    "x64 module snapshot not found",
    "invalid opcode",
    "invalid amica paint file",
    "fichier png invalide",
    "couleurs non reconnues",
    "fichier drazpaint invalide",
    "fichier jpeg invalide",
    "fichier webp invalide",
};

namespace {

// Upper half of code page 850, 0x80 to 0xFF.
const char* const cp850_high[128] = {
    "Ç", "ü", "é", "â", "ä", "à", "å", "ç", "ê", "ë", "è", "ï", "î", "ì", "Ä", "Å",
    "É", "æ", "Æ", "ô", "ö", "ò", "û", "ù", "ÿ", "Ö", "Ü", "ø", "£", "Ø", "×", "ƒ",
    "á", "í", "ó", "ú", "ñ", "Ñ", "ª", "º", "¿", "®", "¬", "½", "¼", "¡", "«", "»",
    "░", "▒", "▓", "│", "┤", "Á", "Â", "À", "©", "╣", "║", "╗", "╝", "¢", "¥", "┐",
    "└", "┴", "┬", "├", "─", "┼", "ã", "Ã", "╚", "╔", "╩", "╦", "╠", "═", "╬", "¤",
    "ð", "Ð", "Ê", "Ë", "È", "ı", "Í", "Î", "Ï", "┘", "┌", "█", "▄", "¦", "Ì", "▀",
    "Ó", "ß", "Ô", "Ò", "õ", "Õ", "µ", "þ", "Þ", "Ú", "Û", "Ù", "ý", "Ý", "¯", "´",
    "\u00AD", "±", "‗", "¾", "¶", "§", "÷", "¸", "°", "¨", "·", "¹", "³", "²", "■", "\u00A0",
};

bool console_wants_utf8() {
    static const bool wants = [] {
        if (isatty(STDOUT_FILENO) == 0) {
            return false;
        }
        std::setlocale(LC_CTYPE, "");
        const char* codeset = nl_langinfo(CODESET);
        const bool utf8 = codeset != nullptr &&
                          (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
        std::setlocale(LC_CTYPE, "C");
        return utf8;
    }();
    return wants;
}

// Decided before tool_main runs, because the banner comes first; the parser
// still checks the whole line, so --version beside a bad argument fails.
bool command_line_asks_version(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (is_version_word(argv[i])) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string_view cp850_to_utf8(unsigned char byte) {
    return cp850_high[byte - 0x80];
}

void print_console_text(const char* cp850_text) {
    if (!console_wants_utf8()) {
        std::fputs(cp850_text, stdout);
        return;
    }
    for (const char* p = cp850_text; *p != '\0'; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte < 0x80) {
            std::fputc(byte, stdout);
        } else {
            const std::string_view utf8 = cp850_to_utf8(byte);
            std::fwrite(utf8.data(), 1, utf8.size(), stdout);
        }
    }
}

void print_ended_process() {
    std::printf("Ended process.\n");
}

std::string version_line(const char* banner) {
    std::string line;
    const char* p = banner;
    for (; *p != '\0' && *p != ' '; ++p) {
        line += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    }
    for (; *p == ' '; ++p) {
    }
    if (*p == 'v' || *p == 'V') {
        ++p;
    }
    line += ' ';
    for (; *p != '\0' && *p != ' '; ++p) {
        line += *p;
    }
    return line;
}

int run_tool(int argc, char** argv, const ToolDescription& tool) {
    if (command_line_asks_version(argc, argv)) {
        std::printf("%s\n", version_line(tool.banner).c_str());
    } else {
        std::printf("%s\n", tool.banner);
    }
    ErrorCode code = ERR_SUCCESS;
    try {
        code = tool.tool_main(argc, argv);
    } catch (const std::bad_alloc&) {
        code = ERR_ALLOCATION;
    }
    if (code >= 0) {
        return code;
    }
    if (code == HELP_REQUESTED) {
        tool.print_usage();
        return 0;
    }
    if (code == VERSION_REQUESTED) {
        return 0;
    }
    std::printf("\n");
    std::printf("ERROR : ");
    print_console_text(error_messages[-code]);
    std::printf("\n");
    std::printf("Interrupted process.\n");
    std::printf("\n");
    tool.print_usage();
    return code;
}
