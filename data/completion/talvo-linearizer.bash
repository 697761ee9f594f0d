# bash completion for talvo-linearizer                     -*- shell-script -*-

_talvo_linearizer()
{
    local cur prev words cword split
    _init_completion -s || return

    local command="" word
    for word in "${words[@]:1:cword-1}"; do
        [[ $word == @(program|fit|scan|record|history) ]] && { command=$word; break; }
    done

    case $prev in
        --table) _filedir 'xlsx|xls|ods'; return ;;
        --settings | --settings-out) _filedir txt; return ;;
        --log | --record | --sign-key | --allowed-signers) _filedir; return ;;
        --job) _filedir csv; return ;;
        --verify) _filedir json; return ;;
        --operator | --tag | --since | --until | --limit) return ;;
        --history) _filedir 'sqlite|db'; return ;;
        --status) COMPREPLY=($(compgen -W 'programmed failed' -- "$cur")); return ;;
        --data) _filedir 'csv|txt|xlsx|xls|ods'; return ;;
        --out) _filedir 'xlsx|csv'; return ;;
        --type) COMPREPLY=($(compgen -W 'Voltage Current Pulse' -- "$cur")); return ;;
        --decimal) COMPREPLY=($(compgen -W 'dddddd ddddd.d dddd.dd ddd.ddd dd.dddd d.ddddd' -- "$cur")); return ;;
        --shape) COMPREPLY=($(compgen -W 'sqrt power: cylinder capsule: heads: sphere cone: dish:' -- "$cur")); return ;;
        --input | --display | --span | --points | --max-error | --address) return ;;
        --baud) COMPREPLY=($(compgen -W '300 600 1200 2400 4800 9600 19200' -- "$cur")); return ;;
        --port)
            # The window maps numbers (N=DEVICE); the commands take a device.
            [[ -z $command ]] && return
            local devices=() device
            for device in /dev/tty{S,USB,ACM,AMA}[0-9]* /dev/rfcomm[0-9]*; do
                [[ -e $device ]] && devices+=("$device")
            done
            devices+=(rfc2217:// tcp://) # a serial port on a network server: HOST:PORT follows
            COMPREPLY=($(compgen -W "${devices[*]}" -- "$cur"))
            ((${#COMPREPLY[@]})) || _filedir # /dev/serial/by-id/..., a pseudo-terminal
            return ;;
    esac
    $split && return

    local options
    case $command in
        program) options='--settings --table --job --keep-going --port --address --baud --dry-run --log --record --record-overwrite --operator --tag --sign-key --history --no-history --help' ;;
        record) options='--verify --allowed-signers --help' ;;
        history)
            if [[ $cur != -* && ! " ${words[*]:1:cword-1} " =~ " "(show|flush)" " ]]; then
                COMPREPLY=($(compgen -W 'show flush' -- "$cur"))
                return
            fi
            options='--history --tag --address --status --since --until --limit --json --csv --record --help' ;;
        scan) options='--port --baud --address --all --help' ;;
        fit) options='--data --span --shape --input --display --type --decimal --points --max-error --on-data --free-ends --json --out --settings-out --settings --help' ;;
        *) options='--port --simulate --sign-key --history --no-history --help --version' ;;
    esac
    if [[ -z $command && $cur != -* ]]; then
        COMPREPLY=($(compgen -W 'program fit scan record history' -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
} &&
    complete -F _talvo_linearizer talvo-linearizer

# ex: filetype=sh
