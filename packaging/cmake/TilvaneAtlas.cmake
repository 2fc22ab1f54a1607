# tilvane_add_atlas(<target>
#                   INPUT <folder>
#                   OUTPUT_IMAGE <file> OUTPUT_DATA <file>
#                   [MASK] [RECURSIVE] [EXCLUDE_FROM_ALL]
#                   [DEPFILE <file>]
#                   [OPTIONS <tilvane-pack option>...])
#
# Packs the images of <folder> into one atlas with tilvane-pack, as a custom
# command whose outputs are the image, the data file (its extension picks the
# format, as --text does) and with MASK the mask image, and a target <target>
# (in ALL unless EXCLUDE_FROM_ALL) that builds them. Relative inputs are taken
# from the current source folder, relative outputs from the current binary
# folder. OPTIONS go to tilvane-pack as given (--fit any --crop 1, --format
# hash, ...), except the ones this function sets itself and --pages, whose
# outputs are not known in advance.
#
# What rebuilds the atlas: tilvane-pack writes a depfile (DEPFILE, by default
# <binary folder>/tilvane/<target>.d) naming every image it read and every
# folder it searched, so the build tool reruns the command when a sprite is
# changed, removed, or added to one of those folders (a folder's time changes
# when a file comes or goes), when the --settings file given in OPTIONS
# changes, or when tilvane-pack itself does; and CMake reruns it when the
# command changes. A folder that also receives one of the outputs is not
# named (each run changes it); keep outputs out of the sprite folders.
function(tilvane_add_atlas target)
  if(CMAKE_VERSION VERSION_LESS 3.20)
    message(FATAL_ERROR "tilvane_add_atlas needs CMake 3.20 or later (DEPFILE)")
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 arg "MASK;RECURSIVE;EXCLUDE_FROM_ALL"
    "INPUT;OUTPUT_IMAGE;OUTPUT_DATA;DEPFILE" "OPTIONS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tilvane_add_atlas(${target}): unknown arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  foreach(required INPUT OUTPUT_IMAGE OUTPUT_DATA)
    if(NOT arg_${required})
      message(FATAL_ERROR "tilvane_add_atlas(${target}): ${required} is required")
    endif()
  endforeach()
  foreach(option IN LISTS arg_OPTIONS)
    if(option MATCHES "^--(input|image|text|depfile|mask|no-mask|recursive|pages|jobs|help|version)(=|$)")
      message(FATAL_ERROR
        "tilvane_add_atlas(${target}): ${CMAKE_MATCH_0} is set by the function or not allowed in OPTIONS")
    endif()
  endforeach()

  get_filename_component(input "${arg_INPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_filename_component(image "${arg_OUTPUT_IMAGE}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  get_filename_component(data "${arg_OUTPUT_DATA}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  if(arg_DEPFILE)
    get_filename_component(depfile "${arg_DEPFILE}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  else()
    set(depfile "${CMAKE_CURRENT_BINARY_DIR}/tilvane/${target}.d")
  endif()

  # The image comes first: a depfile's first target must be the command's first output.
  set(outputs "${image}" "${data}")
  if(arg_MASK)
    # tilvane-pack puts "_mask" before the image's extension.
    get_filename_component(folder "${image}" DIRECTORY)
    get_filename_component(stem "${image}" NAME_WLE)
    get_filename_component(extension "${image}" LAST_EXT)
    list(APPEND outputs "${folder}/${stem}_mask${extension}")
    set(mask --mask)
  else()
    set(mask --no-mask)
  endif()
  set(recursive)
  if(arg_RECURSIVE)
    set(recursive --recursive)
  endif()
  set(folders)
  foreach(path IN ITEMS "${image}" "${data}" "${depfile}")
    get_filename_component(folder "${path}" DIRECTORY)
    list(APPEND folders "${folder}")
  endforeach()
  list(REMOVE_DUPLICATES folders)

  # Paths in the depfile are absolute, so both ways of reading it agree.
  cmake_policy(PUSH)
  cmake_policy(SET CMP0116 NEW)
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folders}
    COMMAND Tilvane::tilvane-pack --quiet --input "${input}/" --image "${image}" --text "${data}"
            --depfile "${depfile}" ${mask} ${recursive} ${arg_OPTIONS}
    # The folder itself too: the first build has no depfile yet, and a sprite
    # added before it is still seen.
    DEPENDS "${input}" Tilvane::tilvane-pack
    DEPFILE "${depfile}"
    COMMENT "Packing atlas ${target}"
    VERBATIM)
  cmake_policy(POP)
  if(arg_EXCLUDE_FROM_ALL)
    add_custom_target(${target} DEPENDS ${outputs})
  else()
    add_custom_target(${target} ALL DEPENDS ${outputs})
  endif()
endfunction()
