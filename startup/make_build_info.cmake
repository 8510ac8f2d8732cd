# Writes boot/build.ixo.in, filled with what this build is, to OUTPUT: the
# build's day, the commit it is built from and the build settings. Run at
# every build; the output is rewritten only when its text changes, so the
# boot image is remade only for a new commit, a new day or new settings.
#
#   cmake -DSOURCE_DIR=... -DBINARY_DIR=... -DBUILD_TYPE=... -DOUTPUT=... -P make_build_info.cmake

# An Ixo string literal of the text.
function(ixo_string text out)
  string(REPLACE "^" "^^" text "${text}")
  string(REPLACE "\"" "^\"" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

function(git out)
  execute_process(COMMAND git -C "${SOURCE_DIR}" ${ARGN}
    OUTPUT_VARIABLE text RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(failed)
    set(text "")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

string(TIMESTAMP IXO_BUILD_DATE "%d-%b-%Y" UTC)

# A source tree outside git has none of the commit's values.
set(IXO_GIT_BRANCH none)
set(IXO_GIT_TAG none)
set(IXO_GIT_AHEAD none)
set(IXO_GIT_DATE none)
set(IXO_GIT_COMMIT none)
set(IXO_GIT_MESSAGE none)
git(commit rev-parse HEAD)
if(commit)
  set(IXO_GIT_COMMIT "#${commit}")
  git(branch rev-parse --abbrev-ref HEAD)
  ixo_string("${branch}" IXO_GIT_BRANCH)
  git(subject log -1 --format=%s)
  ixo_string("${subject}" IXO_GIT_MESSAGE)
  # The commit time with its zone, +hhmm written +hh:mm.
  git(date log -1 --format=%cd --date=format:%d-%m-%Y/%H:%M:%S%z)
  string(REGEX REPLACE "([+-][0-9][0-9])([0-9][0-9])$" "\\1:\\2" IXO_GIT_DATE "${date}")
  # Commits since the last release tag; with no tag yet, since the first.
  git(tag describe --tags --abbrev=0)
  if(tag)
    set(IXO_GIT_TAG "#${tag}")
    git(IXO_GIT_AHEAD rev-list --count "${tag}..HEAD")
  else()
    git(IXO_GIT_AHEAD rev-list --count HEAD)
  endif()
endif()

if(BUILD_TYPE STREQUAL "Debug")
  set(IXO_DEBUG true)
else()
  set(IXO_DEBUG false)
endif()
set(IXO_BUILD_PREFIX "%\"${BINARY_DIR}/\"")

configure_file("${SOURCE_DIR}/boot/build.ixo.in" "${OUTPUT}" @ONLY)
