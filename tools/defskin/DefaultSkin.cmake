# The built-in default skin: defskin.py renders its fonts with fntwrite, draws its picture
# and writes the ZIP archive, which the gui library carries as a constexpr byte array.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(SL_DEFAULT_SKIN_ZIP ${CMAKE_BINARY_DIR}/gui/defskin.zip)
set(SL_DEFAULT_SKIN_CPP ${CMAKE_BINARY_DIR}/gui/SLGuiDefaultSkinData.cpp)
add_custom_command(OUTPUT ${SL_DEFAULT_SKIN_ZIP} ${SL_DEFAULT_SKIN_CPP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/gui
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 $<TARGET_FILE:Python3::Interpreter> ${CMAKE_SOURCE_DIR}/tools/defskin/defskin.py --fntwrite $<TARGET_FILE:fntwrite>
          --out ${SL_DEFAULT_SKIN_ZIP} --cpp ${SL_DEFAULT_SKIN_CPP}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/defskin/defskin.py fntwrite
  COMMENT "The built-in default skin")
target_sources(sl_gui PRIVATE ${SL_DEFAULT_SKIN_CPP})
