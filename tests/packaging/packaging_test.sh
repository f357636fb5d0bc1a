#!/usr/bin/env bash
# Keeps what is installed beside the programs in step with them: every command and
# option that 'PROGRAM --help' and 'tovaline-cli COMMAND --help' list must be in the
# program's manual page (and, for tovaline-cli, in the bash and zsh completion);
# --version and the top entry of the packages' changelog say the project's version.
#
#   packaging_test.sh VERSION CHANGELOG CLI CLI_MAN BASH_COMPLETION ZSH_COMPLETION [GUI GUI_MAN]
set -uo pipefail
version=$1 changelog=$2 cli=$3 cli_man=$4 bash_completion=$5 zsh_completion=$6
gui=${7:-} gui_man=${8:-}
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The options of a help text: the flags of the lines that begin with "  -".
options_of() {
  sed -n 's/^  \(-[^ ]*\).*/\1/p' | tr ',' '\n' | sort -u
}
# The commands of the top help: the first word of each line below "Subcommands:" or
# "Commands:" up to the next empty line.
commands_of() {
  sed -n '/^\(Sub\)\?[Cc]ommands:$/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p'
}
# A roff page as plain words: "\-" is "-", font changes and zero-width marks go.
plain_roff() {
  sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\&//g' "$1"
}
# True when $2 occurs in file $1 as a whole word (not as part of a longer option).
has_word() {
  grep -qE -- "(^|[^-[:alnum:]_])$(printf '%s' "$2" | sed 's/[.]/\\./g')([^-[:alnum:]_]|$)" "$1"
}

check_version() {
  local program=$1 expected=$2 got
  got=$("$program" --version) || fail "$expected: --version failed"
  [ "$got" = "$expected" ] || fail "--version printed '$got', not '$expected'"
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/packaging-test.XXXXXX") || exit 1
trap 'rm -rf "$tmp"' EXIT

check_version "$cli" "tovaline-cli $version"
top=$("$cli" --help) || fail "tovaline-cli --help failed"
commands=$(commands_of <<<"$top")
[ -n "$commands" ] || fail "no commands found in 'tovaline-cli --help'"
plain_roff "$cli_man" >"$tmp/cli.man"
for where in man bash zsh; do
  case $where in
    man) file=$tmp/cli.man ;;
    bash) file=$bash_completion ;;
    zsh) file=$zsh_completion ;;
  esac
  for option in $(options_of <<<"$top"); do
    has_word "$file" "$option" || fail "$where: option $option of 'tovaline-cli --help' is missing"
  done
  for command in $commands; do
    has_word "$file" "$command" || fail "$where: command $command is missing"
    help=$("$cli" "$command" --help) || fail "tovaline-cli $command --help failed"
    found=$(options_of <<<"$help")
    [ -n "$found" ] || fail "no options found in 'tovaline-cli $command --help'"
    for option in $found; do
      has_word "$file" "$option" || fail "$where: option $option of 'tovaline-cli $command --help' is missing"
    done
  done
done
# Each command has its own part of the manual page.
for command in $commands; do
  grep -qE "^\.SS \"?$command( |\"|$)" "$tmp/cli.man" || fail "man: no section '.SS $command'"
done

if [ -n "$gui" ]; then
  check_version "$gui" "tovaline $version"
  help=$("$gui" --help) || fail "tovaline --help failed"
  found=$(options_of <<<"$help")
  [ -n "$found" ] || fail "no options found in 'tovaline --help'"
  plain_roff "$gui_man" >"$tmp/gui.man"
  for option in $found; do
    has_word "$tmp/gui.man" "$option" || fail "man: option $option of 'tovaline --help' is missing"
  done
fi

# "tovaline (1.0) stable; urgency=medium"
top_entry=$(sed -n '1s/^tovaline (\([^)]*\)).*/\1/p' "$changelog")
[ "$top_entry" = "$version" ] ||
  fail "the top entry of $changelog is for version '$top_entry'; the project is at $version (add an entry)"

[ "$failures" = 0 ] || exit 1
echo "manual pages, completion, --version and changelog are in step with the programs"
