# bash completion for quorvel-tool: commands, their options, expression names and files.
# Installed as /usr/share/bash-completion/completions/quorvel-tool; needs bash-completion.

_quorvel_tool()
{
    local cur prev words cword
    _init_completion -n = || return

    local commands="export faces find-faces import info list new paths reduce thumbnail"
    local expressions="default happy worried thinking depressed surprised frightened enraged repulsed"
    local pictures="bmp|ppm|jpg|jpeg|png|gif"
    local companies="company|dat"

    if ((cword == 1)); then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi
    local command=${words[1]}

    case $prev in
        -h | --help)
            return
            ;;
        -o | --output)
            if [[ $command == faces ]]; then
                _filedir -d
            else
                _filedir
            fi
            return
            ;;
        --objdata | --faces-from)
            _filedir -d
            return
            ;;
        --size)
            COMPREPLY=($(compgen -W "128 256 512" -- "$cur"))
            return
            ;;
        --intelligence | --aggressiveness | --competitiveness)
            COMPREPLY=($(compgen -W "1 2 3 4 5 6 7 8 9" -- "$cur"))
            return
            ;;
        --owner | --word | --first-words | --second-words)
            return
            ;;
        --face)
            # EXPR=PICTURE: the expression first, then the picture after the "=".
            if [[ $cur == *=* ]]; then
                local expression=${cur%%=*}
                cur=${cur#*=}
                _filedir "$pictures"
                COMPREPLY=("${COMPREPLY[@]/#/$expression=}")
            else
                COMPREPLY=($(compgen -S = -W "$expressions" -- "$cur"))
                compopt -o nospace
            fi
            return
            ;;
    esac

    local options files
    case $command in
        export) options="-o --output" files=$companies ;;
        faces) options="-o --output" files=$companies ;;
        find-faces) options="--json" files=$pictures ;;
        import) options="--objdata" files=$companies ;;
        info) options="--json" files=$companies ;;
        list) options="--json --objdata" ;;
        new)
            options="-o --output --owner --word --intelligence --aggressiveness"
            options+=" --competitiveness --first-words --second-words --face"
            options+=" --faces-from --whole-if-no-face"
            ;;
        paths) options="--json" ;;
        reduce) files=$pictures ;;
        thumbnail) options="--size" files="$companies|png" ;;
        *) return ;;
    esac
    if [[ $cur == -* || -z $files ]]; then
        COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
        return
    fi
    _filedir "$files"
}
complete -F _quorvel_tool quorvel-tool
