# Libraries of the Windows cross build that the Linux build takes from the
# system.
#
# CLI11 and nlohmann-json are header-only: their Debian headers serve the
# cross compiler too, through a folder holding only links to them. Adding
# /usr/include itself would bring in glibc's headers.
set(rtq_hdr ${CMAKE_BINARY_DIR}/header-libs)
file(MAKE_DIRECTORY ${rtq_hdr}/include)
foreach(lib CLI nlohmann)
  file(CREATE_LINK /usr/include/${lib} ${rtq_hdr}/include/${lib} SYMBOLIC)
endforeach()
# Package configurations of the same names, so that find_package works alike.
file(WRITE ${rtq_hdr}/CLI11Config.cmake
  "if(NOT TARGET CLI11::CLI11)\n"
  "  add_library(CLI11::CLI11 INTERFACE IMPORTED)\n"
  "  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${rtq_hdr}/include)\n"
  "endif()\n")
file(WRITE ${rtq_hdr}/nlohmann_jsonConfig.cmake
  "if(NOT TARGET nlohmann_json::nlohmann_json)\n"
  "  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)\n"
  "  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${rtq_hdr}/include)\n"
  "endif()\n")
file(WRITE ${rtq_hdr}/nlohmann_jsonConfigVersion.cmake
  "set(PACKAGE_VERSION 3.11.2)\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
set(CLI11_DIR ${rtq_hdr} CACHE PATH "" FORCE)
set(nlohmann_json_DIR ${rtq_hdr} CACHE PATH "" FORCE)
