# bash completion for marrowvale-cli                      -*- shell-script -*-
# SPDX-License-Identifier: MIT

_marrowvale_cli() {
    local cur prev words cword
    _init_completion || return

    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            convert | script) command=${words[i]}; break ;;
        esac
    done

    case $command in
        "")
            COMPREPLY=($(compgen -W 'convert script --help --version' -- "$cur"))
            ;;
        convert)
            case $prev in
                -o | --output-dir) _filedir -d; return ;;
                --files-from | --report) _filedir; return ;;
                --shard) return ;;
                -j | --jobs) COMPREPLY=($(compgen -W "1 2 4 8 $(nproc 2>/dev/null)" -- "$cur")); return ;;
            esac
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '- -o --output-dir --parents --beside -j --jobs -q
                    --quiet -v --verbose --dry-run --all-files -u --update --files-from -0
                    --null --report --shard -h --help --version' -- "$cur"))
            else
                _filedir xml
            fi
            ;;
        script)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '- -h --help --version' -- "$cur"))
            else
                _filedir json
            fi
            ;;
    esac
} && complete -F _marrowvale_cli marrowvale-cli
