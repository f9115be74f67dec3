# Prints the words, then waits, writing each SIGINT or SIGTSTP it gets to the log ($1); "ready" once printed.
trap 'echo INT >>"$1"' INT
trap 'echo TSTP >>"$1"' TSTP
echo 'alpha beta gamma delta epsilon'
: >"$1.ready"
while :; do read -r -t 5 _; done
