# Installs the build tree into PREFIX and runs the installed programs as a user would:
# the server through initialize and tools/list over stdio, both programs' --version,
# --help and an unknown option, with no display. Checks that nothing but the two
# programs lands under bin/ and, off macOS, the desktop entry and icon.
# Set by the test: BUILD, PREFIX, VERSION, SERVER and APP (paths inside the prefix), DATADIR.

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${log}")
endif()

# A scratch home, so that no run reads or writes the user's transcripts or cache.
set(scratch "${BUILD}/install-test-home")
file(REMOVE_RECURSE "${scratch}")
file(MAKE_DIRECTORY "${scratch}")
if(APPLE)
  set(expected_cache "${scratch}/Library/Application Support/ro.kelvora.vantery/scan-cache.v2.bin")
else()
  set(expected_cache "${scratch}/data/ro.kelvora.vantery/scan-cache.v2.bin")
endif()

# run(<var> <program in the prefix> [INPUT <file>] [ARGS <args...>]): sets <var>_rc,
# <var>_out and <var>_err.
function(run var program)
  cmake_parse_arguments(R "" "INPUT" "ARGS" ${ARGN})
  set(input "")
  if(R_INPUT)
    set(input INPUT_FILE "${R_INPUT}")
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
            --unset=QT_QPA_PLATFORM --unset=VANTERY_HOME --unset=VANTERY_CACHE_PATH
            "HOME=${scratch}" "XDG_DATA_HOME=${scratch}/data" "${PREFIX}/${program}" ${R_ARGS}
    ${input} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  set(${var}_rc "${rc}" PARENT_SCOPE)
  set(${var}_out "${out}" PARENT_SCOPE)
  set(${var}_err "${err}" PARENT_SCOPE)
endfunction()

# Only the two programs go under bin/: no bench or test executable.
get_filename_component(bindir "${SERVER}" DIRECTORY)
string(REGEX REPLACE "^${bindir}/([^/]+).*" "\\1" app_entry "${APP}")
get_filename_component(server_entry "${SERVER}" NAME)
file(GLOB installed RELATIVE "${PREFIX}/${bindir}" "${PREFIX}/${bindir}/*")
list(SORT installed)
set(expected ${app_entry} ${server_entry})
list(SORT expected)
if(NOT installed STREQUAL expected)
  message(FATAL_ERROR "${bindir}/ holds [${installed}], expected [${expected}]")
endif()

foreach(program SERVER APP)
  get_filename_component(name "${${program}}" NAME)
  run(v "${${program}}" ARGS --version)
  if(NOT v_rc EQUAL 0 OR NOT v_out STREQUAL "${name} ${VERSION}\n")
    message(FATAL_ERROR "${name} --version: exit ${v_rc}, printed '${v_out}' ${v_err}")
  endif()
  run(h "${${program}}" ARGS --help)
  string(FIND "${h_out}" "Default cache file: ${expected_cache}\n" at)
  if(NOT h_rc EQUAL 0 OR at EQUAL -1)
    message(FATAL_ERROR "${name} --help: exit ${h_rc}, no line naming ${expected_cache}:\n"
                        "${h_out}${h_err}")
  endif()
  run(u "${${program}}" ARGS --no-such-option)
  string(FIND "${u_err}" "Usage: ${name}" at)
  if(NOT u_rc EQUAL 2 OR at EQUAL -1 OR NOT u_out STREQUAL "")
    message(FATAL_ERROR "${name} --no-such-option: exit ${u_rc} (expected 2), "
                        "stdout '${u_out}', stderr:\n${u_err}")
  endif()
endforeach()

# Qt's own options are the application object's, not unknown ones.
run(q "${APP}" ARGS -style Fusion -platform=offscreen --version)
if(NOT q_rc EQUAL 0)
  message(FATAL_ERROR "Vantery with Qt options: exit ${q_rc}: ${q_err}")
endif()

# The server over stdio: one request a line; the end of input ends it.
set(requests "${scratch}/requests.jsonl")
file(WRITE "${requests}"
  [[{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18","capabilities":{},"clientInfo":{"name":"install-test","version":"1"}}}]] "\n"
  [[{"jsonrpc":"2.0","method":"notifications/initialized"}]] "\n"
  [[{"jsonrpc":"2.0","id":2,"method":"tools/list"}]] "\n")
run(s "${SERVER}" INPUT "${requests}")
if(NOT s_rc EQUAL 0)
  message(FATAL_ERROR "VanteryMCP exited ${s_rc}:\n${s_out}\n${s_err}")
endif()
# Replies by id; lines are cut by position, since a reply may hold ';'.
set(remaining "${s_out}")
while(NOT remaining STREQUAL "")
  string(FIND "${remaining}" "\n" end)
  if(end EQUAL -1)
    message(FATAL_ERROR "VanteryMCP's last reply has no line feed: ${remaining}")
  endif()
  string(SUBSTRING "${remaining}" 0 ${end} line)
  math(EXPR next "${end} + 1")
  string(SUBSTRING "${remaining}" ${next} -1 remaining)
  string(JSON id ERROR_VARIABLE bad GET "${line}" id)
  if(bad)
    message(FATAL_ERROR "VanteryMCP wrote a line that is no reply: ${line}")
  endif()
  set(reply_${id} "${line}")
endwhile()
string(JSON server_name ERROR_VARIABLE bad GET "${reply_1}" result serverInfo name)
string(JSON server_version ERROR_VARIABLE bad_version GET "${reply_1}" result serverInfo version)
if(bad OR NOT server_name STREQUAL "vantery")
  message(FATAL_ERROR "initialize: no serverInfo named vantery in '${reply_1}'")
endif()
# One version for the project: the one both programs print with --version.
if(bad_version OR NOT server_version STREQUAL "${VERSION}")
  message(FATAL_ERROR "initialize: serverInfo version '${server_version}', expected ${VERSION}")
endif()
string(JSON tools ERROR_VARIABLE bad LENGTH "${reply_2}" result tools)
if(bad OR NOT tools EQUAL 9)
  message(FATAL_ERROR "tools/list: expected nine tools, got '${tools}' in '${reply_2}'")
endif()

if(APPLE)
  return()
endif()
set(entry "${PREFIX}/${DATADIR}/applications/ro.kelvora.vantery.desktop")
set(icon "${PREFIX}/${DATADIR}/icons/hicolor/scalable/apps/ro.kelvora.vantery.svg")
foreach(file "${entry}" "${icon}")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
# The entry starts the installed program by its full path, quoted.
file(STRINGS "${entry}" exec REGEX "^Exec=")
if(NOT exec STREQUAL "Exec=\"${PREFIX}/${APP}\"")
  message(FATAL_ERROR "desktop entry: '${exec}' does not start ${PREFIX}/${APP}")
endif()
find_program(validate desktop-file-validate)
if(NOT validate)
  message("desktop-file-validate not found (desktop-file-utils); the entry is not validated")
  return()
endif()
execute_process(COMMAND ${validate} "${entry}" RESULT_VARIABLE rc OUTPUT_VARIABLE log
                ERROR_VARIABLE log)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "desktop-file-validate rejects ${entry}:\n${log}")
endif()
message("installed into ${PREFIX}; both programs answered; the desktop entry is valid")
