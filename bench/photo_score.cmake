# photo_score: scores a C64 picture against its reference photo. Included by
# bench/ and by tests/, so a build with either has it, in bench-tools/.
if(NOT TARGET photo_score)
  add_executable(photo_score ${CMAKE_CURRENT_LIST_DIR}/photo_score.cpp)
  target_link_libraries(photo_score PRIVATE suite_common)
  set_target_properties(photo_score PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bench-tools)
endif()
