#!/bin/sh
# Checks the shell completions of sondaro-cli in data/completions: each
# parses in its shell (a shell that is not installed is skipped), and bash
# and fish offer the values of --format and --numbers.
set -eu
dir=$(cd "$(dirname "$0")/../data/completions" && pwd)
status=0
check() {
    if [ "$2" != "$3" ]; then
        echo "$1: got '$2', expected '$3'"
        status=1
    fi
}
bash -n "$dir/sondaro-cli.bash"
got=$(bash -c '. "$1"; COMP_WORDS=(sondaro-cli --numbers ""); COMP_CWORD=2; _sondaro_cli; echo "${COMPREPLY[*]}"' _ "$dir/sondaro-cli.bash")
check "bash --numbers" "$got" "list raw"
got=$(bash -c '. "$1"; COMP_WORDS=(sondaro-cli -f t); COMP_CWORD=2; _sondaro_cli; echo "${COMPREPLY[*]}"' _ "$dir/sondaro-cli.bash")
check "bash -f t" "$got" "text tsv"
if command -v zsh >/dev/null 2>&1; then zsh -n "$dir/_sondaro-cli"; else echo "zsh not installed: skipped"; fi
if command -v fish >/dev/null 2>&1; then
    fish -n "$dir/sondaro-cli.fish"
    got=$(fish -c "source '$dir/sondaro-cli.fish'; complete -C 'sondaro-cli --format '" | cut -f1 | tr '\n' ' ')
    check "fish --format" "$got" "csv json text tsv "
else
    echo "fish not installed: skipped"
fi
exit "$status"
