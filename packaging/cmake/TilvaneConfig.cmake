# find_package(Tilvane): the imported executable Tilvane::tilvane-pack and the
# function tilvane_add_atlas() (TilvaneAtlas.cmake) that builds with it.
include("${CMAKE_CURRENT_LIST_DIR}/TilvaneTargets.cmake")
include("${CMAKE_CURRENT_LIST_DIR}/TilvaneAtlas.cmake")
