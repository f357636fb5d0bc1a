# bash completion for tovaline-cli                         -*- shell-script -*-
#
# Commands, their options, drive letters (as 'tovaline-cli drives' maps them, with
# the -d options already on the line) and report files (*.tvl). Works with and
# without the bash-completion package's helpers.

_tovaline_cli_files()
{
    # $1: an extension to offer (tvl, png), or empty for any file. Folders always.
    local IFS=$'\n'
    if declare -F _filedir >/dev/null; then
        _filedir ${1:+"$1"}
        return
    fi
    local f
    COMPREPLY=()
    for f in $(compgen -d -- "$cur"); do COMPREPLY+=("$f/"); done
    if [[ -n $1 ]]; then
        COMPREPLY+=($(compgen -f -X "!*.$1" -- "$cur"))
    else
        COMPREPLY+=($(compgen -f -- "$cur"))
    fi
    compopt -o filenames -o nospace 2>/dev/null
}

_tovaline_cli()
{
    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion -n =: || return
    else
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
    fi

    local commands="drives scan show diff treemap info types import export merge help"
    local display="--depth --sort --top -h --human --rankings-only --folders-only --columns --other-size --marks"

    # The command is the first word after the program that is not an option.
    local i command= command_at=0
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            -*) ;;
            *) command=${words[i]} command_at=$i; break ;;
        esac
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "-h --help --version" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    # The value of an option.
    case $prev in
        -d)
            if [[ $cur == ?=* ]]; then
                # Directories after "L=". Where "=" breaks words, the shell replaces
                # only what follows it.
                local letter=${cur%%=*} IFS=$'\n' dir
                for dir in $(compgen -d -- "${cur#?=}"); do COMPREPLY+=("$dir/"); done
                [[ $COMP_WORDBREAKS == *=* ]] || COMPREPLY=("${COMPREPLY[@]/#/$letter=}")
                compopt -o nospace 2>/dev/null
            else
                COMPREPLY=($(compgen -W "C= D= E= F= G= H= I= J= K= L= M= N= O= P= Q= R= S= T= U= V= W= X= Y= Z=" -- "${cur^^}"))
                compopt -o nospace 2>/dev/null
            fi
            return
            ;;
        -r | --threads | --depth | --top | -n | --min-change | --exclude | -s | --size | --folder)
            return
            ;;
        --sort)
            COMPREPLY=($(compgen -W "path size files changed" -- "$cur"))
            return
            ;;
        --columns)
            # One name after the last comma of the list typed so far.
            local done_=${cur%"${cur##*,}"} name
            for name in size share-parent share-disc own files own-files items changed state; do
                [[ $name == "${cur##*,}"* ]] && COMPREPLY+=("$done_$name")
            done
            compopt -o nospace 2>/dev/null
            return
            ;;
        -o)
            case $command in
                treemap) _tovaline_cli_files png ;;
                export) _tovaline_cli_files json ;;
                *) _tovaline_cli_files tvl ;;
            esac
            return
            ;;
        --ncdu)
            [[ $command == scan ]] && _tovaline_cli_files json
            return
            ;;
        --letter)
            COMPREPLY=($(compgen -W "C D E F G H I J K L M N O P Q R S T U V W X Y Z" -- "${cur^^}"))
            return
            ;;
        --csv | --csv-files)
            _tovaline_cli_files
            return
            ;;
    esac

    local options
    case $command in
        drives) options="--help -d" ;;
        scan) options="--help -d -r --no-ranking -f --threads --skip-hidden --count-links --disc-usage --exclude -o --ncdu $display" ;;
        show) options="--help --json --csv --csv-files --unreadable $display" ;;
        diff) options="--help --json --force -n --min-change" ;;
        treemap) options="--help -s --size --folder -o" ;;
        info) options="--help" ;;
        types) options="--help --folder -n --json --csv" ;;
        import) options="--help --disc-usage --letter -r --no-ranking -o" ;;
        export) options="--help --ncdu -o" ;;
        merge) options="--help -o" ;;
        help)
            ((cword == command_at + 1)) && COMPREPLY=($(compgen -W "${commands% help}" -- "$cur"))
            return
            ;;
        *) return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    case $command in
        scan)
            # The letters the drive map knows, without those already on the line.
            local maps=() given=" " letter
            for ((i = command_at + 1; i < cword; i++)); do
                if [[ ${words[i]} == -d ]] && ((i + 1 < cword)); then
                    maps+=(-d "${words[i + 1]}")
                elif [[ ${words[i]} == [[:alpha:]] || ${words[i]} == [[:alpha:]]: ]]; then
                    given+="${words[i]:0:1} "
                fi
            done
            local letters=
            while read -r letter _; do
                letter=${letter%:}
                [[ ${given^^} == *" $letter "* ]] || letters+="$letter "
            done < <("${words[0]}" drives "${maps[@]}" 2>/dev/null)
            COMPREPLY=($(compgen -W "$letters" -- "${cur^^}"))
            ;;
        show | diff | treemap | info | types | export | merge)
            _tovaline_cli_files tvl
            ;;
        import)
            _tovaline_cli_files
            ;;
    esac
} &&
    complete -F _tovaline_cli tovaline-cli

# ex: filetype=sh
