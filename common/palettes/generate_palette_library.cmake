# Writes the palette library's table from the .gpl files of data/: each file
# is named by the palette's number (NN.gpl), and its GIMP "Name:" line,
# "C64 " and then the words of the palette's name ("C64 vice old lum" names
# vice-old-lum), gives its name; the built-in palettes say "C64 built-in NN"
# and have none.
# Run as: cmake -DPALETTE_DIR=... -DOUTPUT=... -P generate_palette_library.cmake
file(GLOB palette_files ${PALETTE_DIR}/*.gpl)
list(SORT palette_files COMPARE NATURAL)
set(expected 0)
set(rows "")
set(names "")
foreach(path IN LISTS palette_files)
  get_filename_component(file_name ${path} NAME)
  if(NOT file_name MATCHES "^([0-9]+)\\.gpl$")
    message(FATAL_ERROR "${path}: a palette file is named by its number, NN.gpl")
  endif()
  math(EXPR number "${CMAKE_MATCH_1}")
  if(NOT number EQUAL expected)
    message(FATAL_ERROR "${path}: palette ${expected} is missing or numbered twice")
  endif()
  file(STRINGS ${path} lines)
  set(name "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^Name: C64 (.+)$")
      string(REPLACE " " "-" name "${CMAKE_MATCH_1}")
      break()
    endif()
  endforeach()
  if(name STREQUAL "")
    message(FATAL_ERROR "${path}: no \"Name: C64 ...\" line")
  endif()
  if(name MATCHES "^built-in-[0-9]+$")
    set(name "")
  endif()
  set(colours "")
  set(count 0)
  foreach(line IN LISTS lines)
    # Colour lines start with three numbers; the header and comments do not.
    if(line MATCHES "^[ \t]*([0-9]+)[ \t]+([0-9]+)[ \t]+([0-9]+)")
      foreach(channel 1 2 3)
        if(CMAKE_MATCH_${channel} GREATER 255)
          message(FATAL_ERROR "${path}: colour value above 255 in \"${line}\"")
        endif()
      endforeach()
      math(EXPR rgb "(${CMAKE_MATCH_1} << 16) | (${CMAKE_MATCH_2} << 8) | ${CMAKE_MATCH_3}" OUTPUT_FORMAT HEXADECIMAL)
      string(APPEND colours "${rgb}, ")
      math(EXPR count "${count} + 1")
    endif()
  endforeach()
  if(NOT count EQUAL 16)
    message(FATAL_ERROR "${path}: ${count} colours, a C64 palette has 16")
  endif()
  string(APPEND rows "    {${colours}},  // ${number}\n")
  string(APPEND names "    \"${name}\",\n")
  math(EXPR expected "${expected} + 1")
endforeach()
if(expected EQUAL 0)
  message(FATAL_ERROR "no palette files in ${PALETTE_DIR}")
endif()
set(content "// Generated from the palette files by generate_palette_library.cmake: edit those.
#pragma once

#include <cstdint>

inline constexpr int GENERATED_PALETTE_COUNT = ${expected};

// 0xRRGGBB of the 16 C64 colours, in the C64's order, of each palette.
inline constexpr std::uint32_t generated_palette_colours[GENERATED_PALETTE_COUNT][16] = {
${rows}};

inline constexpr const char* generated_palette_names[GENERATED_PALETTE_COUNT] = {
${names}};
")
# Rewritten only when changed, so that an unchanged library rebuilds nothing.
file(CONFIGURE OUTPUT ${OUTPUT} CONTENT "${content}" @ONLY)
