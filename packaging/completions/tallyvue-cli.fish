# SPDX-License-Identifier: MIT
# fish completion for tallyvue-cli.

set -l commands fetch status history local report alert statusline help
complete -c tallyvue-cli -f
complete -c tallyvue-cli -n "not __fish_seen_subcommand_from $commands" -s h -l help -d 'Show the help'
complete -c tallyvue-cli -n "not __fish_seen_subcommand_from $commands" -s v -l version -d 'Show the version'
complete -c tallyvue-cli -n "not __fish_seen_subcommand_from $commands" -a fetch -d 'Refresh every provider once and print the quota windows'
complete -c tallyvue-cli -n "not __fish_seen_subcommand_from $commands" -a status -d 'Print the last snapshot written by Tallyvue'
complete -c tallyvue-cli -n "not __fish_seen_subcommand_from $commands" -a history -d 'Export or clear the usage history'
complete -c tallyvue-cli -n "not __fish_seen_subcommand_from $commands" -a local -d "This computer's token usage"
complete -c tallyvue-cli -n "not __fish_seen_subcommand_from $commands" -a report -d 'Token usage over any range'
complete -c tallyvue-cli -n "not __fish_seen_subcommand_from $commands" -a alert -d 'Send a test alert or show the notification status'
complete -c tallyvue-cli -n "not __fish_seen_subcommand_from $commands" -a statusline -d 'A status line of the quotas'
complete -c tallyvue-cli -n "not __fish_seen_subcommand_from $commands" -a help -d 'Show the help'
complete -c tallyvue-cli -n "__fish_seen_subcommand_from $commands" -l help -d 'Show the help'

complete -c tallyvue-cli -n '__fish_seen_subcommand_from fetch' -l json -d 'One JSON object'

complete -c tallyvue-cli -n '__fish_seen_subcommand_from status; and not __fish_seen_subcommand_from alert' -l json -d 'The snapshot as JSON'
complete -c tallyvue-cli -n '__fish_seen_subcommand_from status; and not __fish_seen_subcommand_from alert' -l waybar -d 'One line for waybar'

set -l history_commands export clear
complete -c tallyvue-cli -n "__fish_seen_subcommand_from history; and not __fish_seen_subcommand_from $history_commands" -a export -d 'Write the history as CSV'
complete -c tallyvue-cli -n "__fish_seen_subcommand_from history; and not __fish_seen_subcommand_from $history_commands" -a clear -d 'Delete the history'
complete -c tallyvue-cli -n '__fish_seen_subcommand_from history; and __fish_seen_subcommand_from export' -F

complete -c tallyvue-cli -n '__fish_seen_subcommand_from local' -l json -d 'One JSON object'
complete -c tallyvue-cli -n '__fish_seen_subcommand_from local' -l days -x -a '1 2 3 4 5 6 7 8' -d 'The last N days'

set -l kinds daily weekly monthly session blocks
complete -c tallyvue-cli -n "__fish_seen_subcommand_from report; and not __fish_seen_subcommand_from $kinds" -a daily -d 'One row per day'
complete -c tallyvue-cli -n "__fish_seen_subcommand_from report; and not __fish_seen_subcommand_from $kinds" -a weekly -d 'One row per week'
complete -c tallyvue-cli -n "__fish_seen_subcommand_from report; and not __fish_seen_subcommand_from $kinds" -a monthly -d 'One row per month'
complete -c tallyvue-cli -n "__fish_seen_subcommand_from report; and not __fish_seen_subcommand_from $kinds" -a session -d 'One row per transcript'
complete -c tallyvue-cli -n "__fish_seen_subcommand_from report; and not __fish_seen_subcommand_from $kinds" -a blocks -d '5-hour blocks'
complete -c tallyvue-cli -n '__fish_seen_subcommand_from report' -l since -x -d 'First day to count (YYYY-MM-DD)'
complete -c tallyvue-cli -n '__fish_seen_subcommand_from report' -l until -x -d 'Last day to count (YYYY-MM-DD)'
complete -c tallyvue-cli -n '__fish_seen_subcommand_from report' -l project -x -d 'Only this project'
complete -c tallyvue-cli -n '__fish_seen_subcommand_from report' -l provider -x -a 'claude chatgpt' -d "Only this provider's transcripts"
complete -c tallyvue-cli -n '__fish_seen_subcommand_from report' -l timezone -x -d 'An IANA time zone'
complete -c tallyvue-cli -n '__fish_seen_subcommand_from report' -l breakdown -d 'A row per model'
complete -c tallyvue-cli -n '__fish_seen_subcommand_from report' -l json -d 'JSON instead of the table'
complete -c tallyvue-cli -n '__fish_seen_subcommand_from report' -l csv -d 'CSV instead of the table'
complete -c tallyvue-cli -n '__fish_seen_subcommand_from weekly' -l start-of-week -x -a 'monday sunday' -d 'First day of the week'

set -l alert_commands test status
complete -c tallyvue-cli -n "__fish_seen_subcommand_from alert; and not __fish_seen_subcommand_from $alert_commands" -a test -d 'Send a test threshold alert'
complete -c tallyvue-cli -n "__fish_seen_subcommand_from alert; and not __fish_seen_subcommand_from $alert_commands" -a status -d 'Show whether notifications can be shown'

complete -c tallyvue-cli -n '__fish_seen_subcommand_from statusline' -l segments -x -a '(__fish_complete_list , "printf \'%s\n\' claude codex copilot model cost context resets")' -d 'The segments to show'
complete -c tallyvue-cli -n '__fish_seen_subcommand_from statusline' -l compact -d 'A shorter line'
complete -c tallyvue-cli -n '__fish_seen_subcommand_from statusline' -l install -d 'Set it up'
complete -c tallyvue-cli -n '__fish_seen_subcommand_from statusline' -l uninstall -d 'Remove it'
complete -c tallyvue-cli -n '__fish_seen_subcommand_from statusline' -l force -d 'Replace what is there'
