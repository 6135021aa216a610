// The message table: code page 850 bytes, and the UTF-8 form shown on terminals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frame/errors.h"

namespace {

TEST(ErrorMessages, StoredAsCodePage850) {
    EXPECT_STREQ(error_messages[0], "no error");
    EXPECT_STREQ(error_messages[-ERR_PARAMETERS], "param\x82trage incorrect");
    EXPECT_STREQ(error_messages[-ERR_CREATE], "cr\x82" "ation fichier impossible");
    EXPECT_STREQ(error_messages[-ERR_ALLOCATION], "probl\x8A" "me d'allocation m\x82moire");
    EXPECT_STREQ(error_messages[-ERR_NOT_IMPLEMENTED], "fonctionnalit\x82 non impl\x82ment\x82" "e");
    EXPECT_STREQ(error_messages[-ERR_INVALID_AMICA], "invalid amica paint file");
    // Only e acute and e grave leave ASCII; a hex escape swallowing a letter
    // would show up as another byte or a shorter text.
    std::size_t accented = 0;
    for (const char* message : error_messages) {
        for (const char* p = message; *p != '\0'; ++p) {
            const auto byte = static_cast<unsigned char>(*p);
            if (byte >= 0x80) {
                EXPECT_TRUE(byte == 0x82 || byte == 0x8A) << message;
                ++accented;
            }
        }
    }
    EXPECT_EQ(accented, 16u);
    EXPECT_EQ(std::strlen(error_messages[-ERR_SAME_FILE_NAMES]), std::strlen("noms de fichiers egaux"));
}

TEST(ErrorMessages, Utf8FormOfTheAccents) {
    EXPECT_EQ(cp850_to_utf8(0x82), "é");
    EXPECT_EQ(cp850_to_utf8(0x8A), "è");
    EXPECT_EQ(cp850_to_utf8(0x80), "Ç");
    EXPECT_EQ(cp850_to_utf8(0xFF), "\u00A0");
}

TEST(VersionLine, NameAsTypedAndVersionFromTheBanner) {
    EXPECT_EQ(version_line("EXGRAVO v1.0.0beta - converts a C64 picture into a PCX image"), "exgravo 1.0.0beta");
    EXPECT_EQ(version_line("TINTRIX v0.9.1 - gives each colour"), "tintrix 0.9.1");
    EXPECT_EQ(version_line("ZORBEL v0.9.0"), "zorbel 0.9.0") << "a banner of name and version only";
}

}  // namespace
