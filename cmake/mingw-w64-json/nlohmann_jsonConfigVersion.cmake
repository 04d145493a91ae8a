# The version of the build machine's nlohmann/json, which the cross build uses.
include(/usr/share/cmake/nlohmann_json/nlohmann_jsonConfigVersion.cmake)
