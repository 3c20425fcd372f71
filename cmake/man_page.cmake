# Writes OUT, the manual page of veriprog-cli, from the program's own help: the synopsis and
# options of the tool and of every command, so that the page says what the program does.
#   cmake -DCLI=path/to/veriprog-cli -DVERSION=0.1 -DOUT=veriprog-cli.1 -P man_page.cmake
function(help_of out)
  execute_process(COMMAND ${CLI} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${CLI} ${ARGN} --help failed")
  endif()
  string(REPLACE "${CLI}" "veriprog-cli" text "${text}")
  # roff reads a leading dot or quote as a request, and a backslash as an escape.
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(commands "check accounts" "check vat" "check plafond" "check margin" "check agriculture"
  "check travel" "check all" "rebuild accounts" "rebuild accounts-legacy" "rebuild turnover"
  "rebuild vat" "rebuild plafond" "rebuild margin" "rebuild agriculture" "rebuild travel"
  "rebuild all" "explain accounts" "generate" "selftest" "sql" "translate")
help_of(main)
set(page ".TH VERIPROG-CLI 1 \"\" \"veriprog ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\nveriprog-cli \\- check and rebuild the running totals of a general-ledger database\n")
string(APPEND page ".SH SYNOPSIS\n.B veriprog-cli\n.I command\n[\\fIoptions\\fR]\n")
string(APPEND page ".SH DESCRIPTION\n.nf\n${main}.fi\n.SH COMMANDS\n")
foreach(command IN LISTS commands)
  separate_arguments(words UNIX_COMMAND "${command}")
  help_of(text ${words})
  string(APPEND page ".SS ${command}\n.nf\n${text}.fi\n")
endforeach()
string(APPEND page ".SH EXIT STATUS\n0 success with nothing flagged, 1 rows flagged (selftest: a step failed),\n2 invalid parameters or no connection, 3 program or database error,\n130 and 143 interrupted (rolled back).\n")
file(WRITE ${OUT} "${page}")
