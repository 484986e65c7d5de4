# The figures are bit-identical however they are computed: `vantery-bench scan` on one
# thread, on all threads, serially, from a saved cache loaded again, and (generated
# corpus) from a cache refreshed after lines were appended, against a fresh scan of
# the appended corpus. Output compared byte for byte, timing left out.
# The real-transcripts home links to shared data: remove the link itself first so
# nothing behind it is ever touched; nothing is ever appended to it.
macro(drop_link)
  if(IS_SYMLINK ${WORK}/home/.claude/projects)
    file(REMOVE ${WORK}/home/.claude/projects)
  endif()
endmacro()

# Runs the scan with the given options into ${WORK}/<name>.json (stderr: <name>.log).
function(scan name)
  execute_process(COMMAND ${BENCH} scan --home ${WORK}/home --no-timing ${ARGN}
                  RESULT_VARIABLE rc OUTPUT_FILE ${WORK}/${name}.json ERROR_FILE ${WORK}/${name}.log)
  if(NOT rc EQUAL 0)
    file(READ ${WORK}/${name}.log log)
    message(FATAL_ERROR "scan ${name} failed: ${rc}\n${log}")
  endif()
endfunction()

function(require_same a b)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/${a}.json ${WORK}/${b}.json
                  RESULT_VARIABLE same)
  if(NOT same EQUAL 0)
    file(READ ${WORK}/${a}.json x)
    file(READ ${WORK}/${b}.json y)
    message(FATAL_ERROR "${a} and ${b} differ:\n${x}\n---\n${y}")
  endif()
endfunction()

function(require_log name pattern)
  file(READ ${WORK}/${name}.log log)
  if(NOT log MATCHES "${pattern}")
    message(FATAL_ERROR "${name}: expected '${pattern}' in:\n${log}")
  endif()
endfunction()

# One usage line of request `id` with `output` output tokens.
function(usage_line out id output)
  set(${out} "{\"type\":\"assistant\",\"timestamp\":\"2026-01-15T10:00:00.000Z\",\"requestId\":\"req_${id}\",\"sessionId\":\"agree\",\"cwd\":\"/w\",\"message\":{\"id\":\"msg_${id}\",\"model\":\"claude-sonnet-4-5-20250929\",\"usage\":{\"input_tokens\":12,\"output_tokens\":${output},\"cache_read_input_tokens\":100,\"cache_creation_input_tokens\":50}}}\n" PARENT_SCOPE)
endfunction()

drop_link()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
if(MODE STREQUAL "generated")
  execute_process(COMMAND ${BENCH} gen --out ${WORK}/home --mb 6 --files 12 --seed 11 --now 1765000000
                  RESULT_VARIABLE rc OUTPUT_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gen failed: ${rc}")
  endif()
else()
  if(NOT EXISTS ${REAL})
    # CTest marks the test skipped by this text (cmake_language(EXIT) needs CMake 3.29).
    message("no real transcripts at ${REAL}; skipped")
    return()
  endif()
  # Point the home's projects folder at the transcripts instead of copying them.
  file(MAKE_DIRECTORY ${WORK}/home/.claude)
  file(CREATE_LINK ${REAL} ${WORK}/home/.claude/projects SYMBOLIC)
endif()

scan(one --threads 1)
scan(all)
scan(serial --serial)
require_same(one all)
require_same(one serial)
# The first --cache run reads everything and saves; the second loads and reads nothing.
scan(cached-first --cache ${WORK}/cache.bin)
scan(cached --cache ${WORK}/cache.bin)
require_log(cached "loaded, 0 files read again")
require_same(one cached-first)
require_same(one cached)

if(MODE STREQUAL "generated")
  file(GLOB_RECURSE transcripts ${WORK}/home/*.jsonl)
  list(SORT transcripts)
  list(GET transcripts 0 first)
  list(GET transcripts -1 last)
  # Round 1: a new request in the first file and the same one in the last. Round 2: it
  # again in the first file with more output (the row is updated), and one more new one.
  usage_line(a agree_1 300)
  file(APPEND ${first} "\n${a}")
  file(APPEND ${last} "\n${a}")
  scan(grown-1 --cache ${WORK}/cache.bin)
  require_log(grown-1 "loaded, 2 files read again")
  scan(fresh-1 --threads 1)
  require_same(fresh-1 grown-1)
  usage_line(b agree_1 900)
  usage_line(c agree_2 40)
  file(APPEND ${first} "${b}${c}")
  scan(grown-2 --cache ${WORK}/cache.bin)
  scan(fresh-2 --threads 1)
  require_same(fresh-2 grown-2)
  scan(fresh-2-all)
  require_same(fresh-2 fresh-2-all)
endif()

file(READ ${WORK}/one.json a)
message("${a}")
drop_link()
file(REMOVE_RECURSE ${WORK}/home)
