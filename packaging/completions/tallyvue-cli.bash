# SPDX-License-Identifier: MIT
# bash completion for tallyvue-cli; needs nothing from the bash-completion package.

_tallyvue_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local command=${COMP_WORDS[1]} words
    COMPREPLY=()

    if [ "$COMP_CWORD" -eq 1 ]; then
        words="fetch status history local report alert statusline help --help --version"
    else
        case $prev in
            --days) words="1 2 3 4 5 6 7 8" ;;
            --provider) words="claude chatgpt" ;;
            --start-of-week) words="monday sunday" ;;
            --since | --until | --project | --timezone)
                return 0 ;;
            --segments)
                # A comma-separated list: complete the part after the last comma.
                local done=${cur%"${cur##*,}"}
                local segment
                for segment in claude codex copilot model cost context resets; do
                    [[ $segment == "${cur##*,}"* ]] && COMPREPLY+=("$done$segment")
                done
                return 0 ;;
        esac
        if [ -z "$words" ]; then
            case $command in
                fetch) words="--json --help" ;;
                status) words="--json --waybar --help" ;;
                history)
                    if [ "$COMP_CWORD" -eq 2 ]; then
                        words="export clear --help"
                    elif [ "${COMP_WORDS[2]}" = export ] && [ "$COMP_CWORD" -eq 3 ]; then
                        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
                        return 0
                    fi ;;
                local) words="--json --days --help" ;;
                report)
                    if [ "$COMP_CWORD" -eq 2 ]; then
                        words="daily weekly monthly session blocks --help"
                    else
                        words="--since --until --project --provider --timezone --breakdown --json --csv --help"
                        [ "${COMP_WORDS[2]}" = weekly ] && words="$words --start-of-week"
                    fi ;;
                alert) [ "$COMP_CWORD" -eq 2 ] && words="test status --help" ;;
                statusline) words="--segments --compact --install --uninstall --force --help" ;;
            esac
        fi
    fi
    mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
}
complete -F _tallyvue_cli tallyvue-cli
