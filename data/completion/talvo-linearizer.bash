# bash completion for talvo-linearizer                     -*- shell-script -*-

_talvo_linearizer()
{
    local cur prev words cword split
    _init_completion -s || return

    local command="" word
    for word in "${words[@]:1:cword-1}"; do
        [[ $word == program ]] && { command=$word; break; }
    done

    case $prev in
        --table) _filedir 'xlsx|xls|ods'; return ;;
        --settings) _filedir txt; return ;;
        --log) _filedir; return ;;
        --port)
            # The window maps numbers (N=DEVICE); the commands take a device.
            [[ -z $command ]] && return
            local devices=() device
            for device in /dev/tty{S,USB,ACM,AMA}[0-9]* /dev/rfcomm[0-9]*; do
                [[ -e $device ]] && devices+=("$device")
            done
            COMPREPLY=($(compgen -W "${devices[*]}" -- "$cur"))
            ((${#COMPREPLY[@]})) || _filedir # /dev/serial/by-id/..., a pseudo-terminal
            return ;;
    esac
    $split && return

    local options
    case $command in
        program) options='--settings --table --port --dry-run --log --help' ;;
        *) options='--port --simulate --help --version' ;;
    esac
    if [[ -z $command && $cur != -* ]]; then
        COMPREPLY=($(compgen -W 'program' -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
} &&
    complete -F _talvo_linearizer talvo-linearizer

# ex: filetype=sh
