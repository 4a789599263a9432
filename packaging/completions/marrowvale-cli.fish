# fish completion for marrowvale-cli
# SPDX-License-Identifier: MIT

set -l commands convert script
complete -c marrowvale-cli -f
complete -c marrowvale-cli -n "not __fish_seen_subcommand_from $commands" -a convert -d 'Convert XML files into .json files'
complete -c marrowvale-cli -n "not __fish_seen_subcommand_from $commands" -a script -d 'Run a script written as JSON'
complete -c marrowvale-cli -l version -d 'Show the version'
complete -c marrowvale-cli -s h -l help -d 'Show the commands and options'

complete -c marrowvale-cli -n "__fish_seen_subcommand_from convert" -F
complete -c marrowvale-cli -n "__fish_seen_subcommand_from convert" -s o -l output-dir -x -a '(__fish_complete_directories)' -d 'Write every result into DIR'
complete -c marrowvale-cli -n "__fish_seen_subcommand_from convert" -l parents -d 'With -o, keep each listed path below DIR'
complete -c marrowvale-cli -n "__fish_seen_subcommand_from convert" -l beside -d 'Write each result beside its source'
complete -c marrowvale-cli -n "__fish_seen_subcommand_from convert" -s j -l jobs -x -d 'Files, or chunks of one file, converted at once'
complete -c marrowvale-cli -n "__fish_seen_subcommand_from convert" -s q -l quiet -d 'No progress, only failures'
complete -c marrowvale-cli -n "__fish_seen_subcommand_from convert" -s v -l verbose -d 'Print every report line of a file'
complete -c marrowvale-cli -n "__fish_seen_subcommand_from convert" -l dry-run -d 'Print each source and its result path; write nothing'
complete -c marrowvale-cli -n "__fish_seen_subcommand_from convert" -l all-files -d 'Take every file of a folder except .json files'
complete -c marrowvale-cli -n "__fish_seen_subcommand_from convert" -s u -l update -d 'Convert only sources whose result is missing or older'
complete -c marrowvale-cli -n "__fish_seen_subcommand_from convert" -l files-from -r -F -d 'Also convert the files and folders named in LIST'
complete -c marrowvale-cli -n "__fish_seen_subcommand_from convert" -s 0 -l null -d 'Names in LIST end with NUL'
complete -c marrowvale-cli -n "__fish_seen_subcommand_from convert" -l report -r -F -d 'Write one JSON line per source to FILE'
complete -c marrowvale-cli -n "__fish_seen_subcommand_from convert" -l shard -x -d 'Convert only shard K of N'

complete -c marrowvale-cli -n "__fish_seen_subcommand_from script" -F
