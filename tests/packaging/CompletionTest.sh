#!/usr/bin/env bash
# The bash completion and the manual page against the tool's own help: every command and
# every option that `zelkora-tool --help` and `zelkora-tool COMMAND --help` name must be
# completed and documented, and a few completions are checked as a user would type them.
# Usage: CompletionTest.sh TOOL COMPLETION MANPAGE
set -uo pipefail
tool=$1 completion=$2 manpage=$3
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# shellcheck source=/dev/null
source "$completion"

# What completing the last word of the command line offers, one word a line, sorted.
offers() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _zelkora_tool
    printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort
}

expect() {
    local what=$1 want=$2 got
    shift 2
    got=$(offers "$@" | tr '\n' ' ')
    [[ $got == "$want" ]] || fail "$what: completing '$*' offered '$got', not '$want'"
}

# As typed.
expect "commands" "record render replay " zelkora-tool re
expect "commands" "simulate-gps simulate-module " zelkora-tool sim
expect "record's options" "--dir --gps --help --monitor --port --seconds " zelkora-tool record --
expect "an option's start" "--fmax --fmin " zelkora-tool render --fm
expect "render modes" "all comp true " zelkora-tool render FILE --mode ""
expect "simulator mixes" "night noise " zelkora-tool simulate-module --mix n
expect "a number" "" zelkora-tool record --port ""
expect "an unknown command" "" zelkora-tool frobnicate --
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/night1" "$work/night2"
touch "$work/nightly.txt"
expect "--dir takes folders" "$work/night1 $work/night2 " zelkora-tool record --dir "$work/ni"

# In step with the help.
help=$("$tool" --help) || fail "zelkora-tool --help failed"
commands=$(awk '/^commands:/ { listed = 1; next } listed && NF { print $1 }' <<<"$help")
[[ $(wc -l <<<"$commands") -ge 10 ]] || fail "too few commands in the help: $commands"
all=$(offers zelkora-tool "")
page=$(sed 's/\\-/-/g' "$manpage")
for command in $commands; do
    grep -qx -- "$command" <<<"$all" || fail "the completion lacks the command $command"
    grep -q "^\.SS \"$command\b" <<<"$page" || fail "the manual page lacks the command $command"
    options=$(offers zelkora-tool "$command" --)
    for option in $("$tool" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
        grep -qx -- "$option" <<<"$options" ||
            fail "the completion lacks $command $option"
        grep -q -- "$option\b" <<<"$page" || fail "the manual page lacks $command $option"
    done
done

[[ $failures -eq 0 ]] || exit 1
echo "completion and manual page cover $(wc -w <<<"$commands") commands"
