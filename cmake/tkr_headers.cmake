# Each layer's headers are reachable only from the targets that link the layer. Every header is
# included by its path from the source root ("core/protocol/frames.h"), so the source root
# itself is on no include path; instead each target links its own headers into a folder of
# its own in the build tree, under that same path, and puts that folder on its include path
# for itself and whoever links it. A protocol file that includes "platform/serial_port.h" then
# finds no such file, and one that includes <QString> neither, as the protocol links no Qt.
#
# tkr_headers(<target> <folder or header>...), paths from the current source folder; a folder
# stands for the headers directly in it, so a header added there is found after the next
# configure.
function(tkr_headers target)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(REMOVE_RECURSE ${root})
  set(headers)
  foreach(item ${ARGN})
    cmake_path(ABSOLUTE_PATH item BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE
               OUTPUT_VARIABLE path)
    if(IS_DIRECTORY ${path})
      file(GLOB found CONFIGURE_DEPENDS ${path}/*.h)
      list(APPEND headers ${found})
    elseif(EXISTS ${path})
      list(APPEND headers ${path})
    else()
      message(FATAL_ERROR "tkr_headers(${target}): there is no ${item}")
    endif()
  endforeach()

  get_target_property(type ${target} TYPE)
  set(scope PUBLIC)
  if(type STREQUAL INTERFACE_LIBRARY)
    set(scope INTERFACE)
  endif()

  foreach(header ${headers})
    cmake_path(RELATIVE_PATH header BASE_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE name)
    cmake_path(GET name PARENT_PATH folder)
    file(MAKE_DIRECTORY ${root}/${folder})
    file(CREATE_LINK ${header} ${root}/${name} RESULT failed SYMBOLIC)
    if(failed)
      # A file system without symbolic links (Windows without developer mode): the build
      # still works, only without the layers' walls.
      message(WARNING "tkr_headers: ${failed}; the layers' include paths are not enforced")
      target_include_directories(${target} ${scope} ${CMAKE_SOURCE_DIR})
      return()
    endif()
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()
