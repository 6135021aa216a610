# Writes a C++ source that holds a binary file as a byte array:
# cmake -DINPUT=file.bin -DOUTPUT=file.cpp -DNAME=symbol -DHEADER=header.h -P embed_binary.cmake
file(READ ${INPUT} hex HEX)
get_filename_component(input_name ${INPUT} NAME)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUTPUT}.new
"// Made by the build from ${input_name}: do not edit.
#include \"${HEADER}\"

namespace {
const std::uint8_t bytes[${size}] = {
    ${bytes}
};
}  // namespace

const DisplayerCode ${NAME}{bytes, ${size}};
")
# An unchanged file keeps its time, so nothing is rebuilt needlessly.
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
