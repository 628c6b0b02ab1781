#!/bin/sh
# manpages.sh SOURCE BIN: every option and command a program's --help lists
# (pkgtool's commands' too) appears in its manual page, and every page has
# the sections a reader looks for, with the whole table of exit statuses.
set -eu
src=$1 bin=$2
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

# Options as --help writes them: -x and --long, wherever they stand.
options() { grep -oE '(^|[[:space:],(/])--?[A-Za-z][-A-Za-z]*' | sed 's/^[^-]*//' | sort -u; }
# The page's text with roff's escaped hyphens plain.
page_text() { sed 's/\\-/-/g' "$src/man/$1.1.in"; }

for tool in lvfilter pkgtool lvview lvdesign; do
  [ -x "$bin/$tool" ] || { echo "$tool not built; its page is not checked"; continue; }
  page=$(page_text "$tool")
  help=$("$bin/$tool" --help)
  if [ "$tool" = pkgtool ]; then
    commands=$(printf '%s\n' "$help" | sed -n '/^Subcommands:/,$p' | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p')
    [ -n "$commands" ] || fail "pkgtool --help lists no commands"
    for command in $commands; do
      printf '%s\n' "$page" | grep -q "^\.B[I]* $command\b" || fail "pkgtool.1 does not describe the command $command"
      help="$help
$("$bin/pkgtool" "$command" --help)"
    done
  fi
  for option in $(printf '%s\n' "$help" | options) --version; do
    printf '%s\n' "$page" | grep -qE -- "(^|[^-A-Za-z])$option([^-A-Za-z]|\$)" ||
      fail "$tool.1 does not mention $option, which --help lists"
  done
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS '"EXIT STATUS"' EXAMPLES FILES; do
    printf '%s\n' "$page" | grep -qx "\.SH $section" || fail "$tool.1 has no section $section"
  done
  # A program that never exits with 3 says so in both.
  help_unused=no page_unused=no
  printf '%s\n' "$help" | tr '\n' ' ' | grep -q '3 is not used' && help_unused=yes
  printf '%s\n' "$page" | sed -n '/^\.B 3$/,/^\.SH/p' | grep -q '^Not used' && page_unused=yes
  [ "$help_unused" = "$page_unused" ] || fail "$tool --help and $tool.1 disagree on whether exit status 3 is used"
  for code in 0 1 2 3; do
    printf '%s\n' "$page" | sed -n '/^\.SH "EXIT STATUS"/,/^\.SH [^"]/p' | grep -qx "\.B $code" ||
      fail "$tool.1 does not explain exit status $code"
  done
done
exit $status
