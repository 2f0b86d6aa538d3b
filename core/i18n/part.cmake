# SPDX-License-Identifier: Apache-2.0
# Language files: packed at build time into the stored form of a TSkinStore by a host tool made
# from the same store code, and compiled into camlift_i18n as a generated source.

add_executable(camlift_lang_pack
  ${CMAKE_CURRENT_SOURCE_DIR}/i18n/tool/lang_pack.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/i18n/skin_store.cpp)
target_include_directories(camlift_lang_pack
  PRIVATE $<TARGET_PROPERTY:camlift_i18n,INTERFACE_INCLUDE_DIRECTORIES>)
target_link_libraries(camlift_lang_pack PRIVATE camlift_warnings)

# Item order and names are fixed: b5, cn, en.
set(_camlift_lang_dir ${CMAKE_CURRENT_SOURCE_DIR}/i18n/lang)
set(_camlift_lang_items b5 cn en)
set(_camlift_lang_args)
set(_camlift_lang_files)
foreach(code ${_camlift_lang_items})
  list(APPEND _camlift_lang_args ${code}=${_camlift_lang_dir}/${code}.lng)
  list(APPEND _camlift_lang_files ${_camlift_lang_dir}/${code}.lng)
endforeach()

set(_camlift_lang_cpp ${CMAKE_CURRENT_BINARY_DIR}/i18n/embedded_languages.cpp)
set(_camlift_lang_store ${CMAKE_CURRENT_BINARY_DIR}/i18n/languages.store)
add_custom_command(
  OUTPUT ${_camlift_lang_cpp} ${_camlift_lang_store}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/i18n
  COMMAND camlift_lang_pack ${_camlift_lang_cpp} ${_camlift_lang_store} ${_camlift_lang_args}
  DEPENDS camlift_lang_pack ${_camlift_lang_files}
  COMMENT "Packing the language files"
  VERBATIM)
target_sources(camlift_i18n PRIVATE ${_camlift_lang_cpp})
