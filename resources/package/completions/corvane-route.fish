# fish completion for corvane-route

complete -c corvane-route -l settings -r -F -d 'The settings file to route against'
complete -c corvane-route -l typed -d 'Treat each input as text typed into the link test field'
complete -c corvane-route -l unwrap -d 'Take the real link out of known redirect pages first'
complete -c corvane-route -l follow -d 'Also resolve known trackers and shorteners over the network'
complete -c corvane-route -l check -d 'Only load and validate the settings file'
complete -c corvane-route -s h -l help -d 'Show the usage text'
complete -c corvane-route -l version -d 'Show the version'
