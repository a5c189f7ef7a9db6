# bash completion for sondaro-cli
_sondaro_cli() {
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
        -f|--format)
            COMPREPLY=($(compgen -W "text tsv csv json" -- "$cur"))
            return ;;
        -n|--numbers)
            COMPREPLY=($(compgen -W "list raw" -- "$cur"))
            return ;;
        -c|--columns)
            local IFS=$'\n'
            COMPREPLY=($(compgen -W $'default\nall\nRelative Path\nFile Name\nType\nSize\nLength\nSample Rate\nChannels\nBits Per Sample\nRatio\nBitrate\nEncoder Info\nLossless Check' -- "$cur"))
            return ;;
        -j|--jobs)
            return ;;
        --html)
            COMPREPLY=($(compgen -f -X '!*.htm?(l)' -- "$cur") $(compgen -d -- "$cur"))
            return ;;
        --spectrogram)
            COMPREPLY=($(compgen -f -X '!*.png' -- "$cur") $(compgen -d -- "$cur"))
            return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "-r --recursive -f --format -c --columns -n --numbers -j --jobs --cache --no-cache --check --spectrogram --html --html= -V --version -h --help" -- "$cur"))
        return
    fi
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -F _sondaro_cli sondaro-cli
