#!/usr/bin/env bash
# Writes a program's manual page from its own --help, so the page says what the
# program does and cannot fall behind it. A program whose help lists commands
# (lumaserve-cli) gets each command's --help as a subsection of COMMANDS.
#   manpage.sh PROGRAM DATE VERSION OUTPUT
set -euo pipefail
program="$1"
date="$2"
version="$3"
out="$4"
name="$(basename "$program")"

help="$("$program" --help)"

# roff: a backslash is written \e, a minus \- (an option must stay copyable), and
# a line must not start with a control character.
escape() { sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"; }

# The help's body after its usage line, as roff: plain lines are paragraphs,
# "Heading:" lines head a list whose entries are "  TAG  text" with the text
# continued on lines indented further. Paragraphs starting with "Exit codes:"
# are left out of a command's section: the page says them once.
body() {
    local heading_macro="$1" skip_exit_codes="$2"
    awk -v hm="$heading_macro" -v skipexit="$skip_exit_codes" '
        /^$/ { inlist = 0; next }
        /^[A-Z][A-Za-z ]*:$/ { print hm " " substr($0, 1, length($0) - 1); inlist = 1; next }
        inlist && /^  [^ ]/ {
            line = substr($0, 3)
            split_at = match(line, /   *[^ ]/)
            if (split_at) {
                tag = substr(line, 1, split_at - 1)
                text = substr(line, split_at + RLENGTH - 1)
            } else { tag = line; text = "" }
            print ".TP"; print "\\fB" tag "\\fR"
            if (text != "") print text
            next
        }
        inlist && /^   / { sub(/^ +/, ""); print; next }
        skipexit == "1" && /^Exit codes:/ { next }
        { print ".PP"; print }
    ' | sed -e 's/^\(\.[A-Z][A-Z]* \)\(.*\)$/\1"\2"/'
}

usage="$(printf '%s\n' "$help" | sed -n '1s/^Usage: [^ ]* *//p')"
summary="$(printf '%s\n' "$help" | sed -n '2p')"
{
    printf '.TH %s 1 "%s" "Huelink Trimline %s" "User Commands"\n' "$(printf '%s' "$name" | tr '[:lower:]' '[:upper:]' | escape)" "$date" "$version"
    printf '.SH NAME\n%s \\- %s\n' "$(printf '%s' "$name" | escape)" "$(printf '%s' "$summary" | escape)"
    printf '.SH SYNOPSIS\n.B %s\n%s\n' "$(printf '%s' "$name" | escape)" "$(printf '%s' "$usage" | escape)"
    printf '.SH DESCRIPTION\n'
    printf '%s\n' "$help" | sed '1,2d' | escape | body .SS 0

    commands="$(printf '%s\n' "$help" | awk '/^Commands:$/ { on = 1; next } /^$/ { on = 0 } on && /^  [^ ]/ { print $1 }')"
    if [ -n "$commands" ]; then
        printf '.SH COMMANDS\n'
        for command in $commands; do
            commandhelp="$("$program" "$command" --help 2>/dev/null)"
            printf '.SS %s\n' "$(printf '%s' "$command" | escape)"
            printf '.B %s\n' "$(printf '%s %s' "$name" "$command" | escape)"
            printf '%s\n' "$(printf '%s\n' "$commandhelp" | sed -n '1s/^Usage: [^ ]* [^ ]* *//p' | escape)"
            printf '%s\n' "$commandhelp" | sed '1d' | escape | body '.PP\n.B' 1
        done
    fi
} >"$out.tmp"
mv "$out.tmp" "$out"
