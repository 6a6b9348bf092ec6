# Writes OUTPUT, a zip of the sources in SOURCE under the folder NAME: the
# files git tracks, as they are in the work tree (`git stash create` makes a
# commit of its changes without touching anything; none, and HEAD is it).
# Run with cmake -P, with GIT set to git.
execute_process(
  COMMAND ${GIT} -C ${SOURCE} stash create
  OUTPUT_VARIABLE tree
  OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${SOURCE} is not a git work tree: the source archive needs one")
endif()
if(tree STREQUAL "")
  set(tree HEAD)
endif()
execute_process(
  COMMAND ${GIT} -C ${SOURCE} archive --format=zip --prefix=${NAME}/ -o ${OUTPUT}.new ${tree}
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "git archive failed: no source archive")
endif()
file(RENAME ${OUTPUT}.new ${OUTPUT})
