# fish completion for sondaro-cli
complete -c sondaro-cli -s r -l recursive -d 'Scan subfolders too'
complete -c sondaro-cli -s f -l format -x -a 'text tsv csv json' -d 'Output format'
complete -c sondaro-cli -s c -l columns -x -a "default all 'Relative Path' 'File Name' Type Size Length 'Sample Rate' Channels 'Bits Per Sample' Ratio Bitrate 'Encoder Info' 'Lossless Check'" -d 'Columns to show'
complete -c sondaro-cli -s n -l numbers -x -a 'list\t"As the desktop list shows them" raw\t"Plain numbers without units"' -d 'How numbers are written'
complete -c sondaro-cli -l check -d 'Decode every listed file and check its lossless origin'
complete -c sondaro-cli -l html -r -F -d 'Also write the HTML report (to FILE)'
complete -c sondaro-cli -s V -l version -d 'Show the version'
complete -c sondaro-cli -s h -l help -d 'Show the help'
