# nlohmann/json for the Windows cross build (cmake/mingw-w64.cmake). The library is headers only,
# so the build machine's copy (Debian's nlohmann-json3-dev) serves, seen through a folder that
# holds nothing else: its own package would put all of /usr/include, Linux's C headers among
# them, in front of MinGW's.
set(fdc_json_headers ${CMAKE_BINARY_DIR}/host-json)
file(MAKE_DIRECTORY ${fdc_json_headers})
if(NOT EXISTS ${fdc_json_headers}/nlohmann)
  file(CREATE_LINK /usr/include/nlohmann ${fdc_json_headers}/nlohmann SYMBOLIC)
endif()
if(NOT TARGET nlohmann_json::nlohmann_json)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${fdc_json_headers})
endif()
