#!/usr/bin/env bash
# The three programs' files against a careless or hostile user, one row of the table per case: a
# link where an output goes, signals that end a run, leftovers of a run that died, a file-size
# limit, too little memory, two first runs at once, inputs that are not regular files, results
# older than their data.
# Each row runs in a new folder and prints what it found wrong; the script fails when a row does.
# Usage: file_safety.sh KELMARINO KELMARINO-PLOT KELMARINO-CASES SOURCE-FOLDER
# shellcheck disable=SC2317  # the rows are called by their names, built from the table
set -u
kelmarino=$1 plot=$2 cases=$3 source=$4
examples=$source/examples

fail() {
  echo "  $*"
  wrong=1
}

# Nothing hidden (a new file or folder of a run) is left in the current folder.
nothing_hidden() {
  local left
  left=$(find . -maxdepth 1 -name '.*.new-*')
  [ -z "$left" ] || fail "left behind: $left"
}

# A process number that no process has now: that of a shell that has ended.
gone_pid() {
  sh -c 'exit 0' &
  local pid=$!
  wait "$pid"
  echo "$pid"
}

# A link where the post-processing file goes is replaced, never written through.
row_output_link_replaced() {
  cp "$examples/worked.dat" w.dat
  ln -s w.dat w.pos
  "$kelmarino" -q w || fail "exit status $?"
  cmp -s w.dat "$examples/worked.dat" || fail "the data file was changed"
  if [ -L w.pos ] || ! cmp -s w.pos "$source/tests/data/expected/worked.pos"; then
    fail "w.pos is not the post-processing file"
  fi
  nothing_hidden
}

# A run under strace leaves out the leak check of a sanitizer build, which cannot work under ptrace.

# SIGINT, SIGTERM and SIGHUP remove the new folder and end the run by the signal. strace holds
# the run for a second once its new folder is made (the signal is taken when the run goes on).
row_signal_removes_new_folder() {
  cp "$examples/worked.dat" w.dat
  local program folder signal traced made status
  while read -r program folder signal; do
    env --default-signal ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -e trace=mkdir \
      -e inject=mkdir:delay_exit=1000000 "$program" w >/dev/null 2>&1 &
    traced=$!
    for _ in $(seq 500); do
      made=$(find . -maxdepth 1 -name ".$folder.new-*")
      [ -n "$made" ] && break
      sleep 0.01
    done
    made=${made##*.new-}
    kill -s "$signal" "${made%%-*}"
    wait "$traced" 2>/dev/null
    status=$?
    [ "$status" -eq $((128 + $(kill -l "$signal"))) ] || fail "$program SIG$signal: status $status"
    [ ! -e "$folder" ] || fail "$program SIG$signal: $folder made"
    nothing_hidden
  done <<ROWS
$plot w-plots INT
$cases w-cases INT
$cases w-cases TERM
$cases w-cases HUP
ROWS
}

# The new files and folders of a process that has gone are removed by the next run on the same
# base; those of a running process are kept.
row_leftovers_removed() {
  cp "$examples/worked.dat" w.dat
  local gone
  gone=$(gone_pid)
  for name in w.out w.pos w-plots w-cases; do
    mkdir ".$name.new-$gone-1" ".$name.new-$$-1" && touch ".$name.new-$gone-1/part"
    mkdir ".$name.new-$gone-1 copy" ".$name.new-$gone-1-previous.bak" ".$name.new-$gone-1x"
  done
  if ! "$kelmarino" -q w || ! "$plot" w >/dev/null || ! "$cases" w >/dev/null; then
    fail "a run failed"
  fi
  for name in w.out w.pos w-plots w-cases; do
    [ ! -e ".$name.new-$gone-1" ] || fail ".$name.new-$gone-1 kept"
    [ -d ".$name.new-$$-1" ] || fail ".$name.new-$$-1 removed"
    for kept in "$gone-1 copy" "$gone-1-previous.bak" "$gone-1x"; do  # the user's, named alike
      [ -d ".$name.new-$kept" ] || fail ".$name.new-$kept removed"
    done
  done
}

# A previous folder set aside by a run that ended before the new one took its place (where
# folders cannot be exchanged) is put back by the next run, which then fails here. A file is never
# set aside: a folder so named beside one is removed, not put in its place.
row_previous_folder_put_back() {
  cp "$examples/worked.dat" w.dat
  local gone
  gone=$(gone_pid)
  mkdir ".w-plots.new-$gone-1-previous" && touch ".w-plots.new-$gone-1-previous/mine"
  if (ulimit -f 1 && exec "$plot" w >/dev/null 2>&1); then fail "the run did not fail"; fi
  [ -e w-plots/mine ] || fail "the previous folder was not put back"
  mkdir ".w.out.new-$gone-1-previous" && touch ".w.out.new-$gone-1-previous/mine"
  "$kelmarino" -q w || fail "a run beside a folder set aside as if for w.out failed"
  [ -f w.out ] && [ ! -e ".w.out.new-$gone-1-previous" ] || fail "w.out is not the run's file"
}

# Every program run on BASE under the limit LIMIT (ulimit's option and value) ends with exit
# status 1 and a message that matches PATTERN, leaving nothing hidden.
every_program_stops() {
  local limit=$1 base=$2 pattern=$3 program status
  for program in "$kelmarino -q" "$plot" "$cases"; do
    # shellcheck disable=SC2086  # the limit is an option and its value
    (ulimit $limit && exec $program "$base" >/dev/null 2>errors.txt)
    status=$?
    [ "$status" -eq 1 ] || fail "$program: exit status $status"
    grep -q "$pattern" errors.txt || fail "$program: $(cat errors.txt)"
  done
  nothing_hidden
}

# Under a file-size limit every program ends with the write error, not by SIGXFSZ.
row_file_size_limit_is_an_error() {
  cp "$examples"/pier.* .
  every_program_stops "-f 50" pier "run-time error writing .*: File too large"
}

# A base name that fits the system's limit while the names its outputs are first written under do
# not: the message says by how much to shorten it.
row_name_too_long_said() {
  local base
  base=$(printf 'b%.0s' $(seq 1 245))
  cp "$examples/worked.dat" "$base.dat"
  ! "$kelmarino" -q "$base" 2>errors.txt || fail "the run succeeded"
  grep -q "File name too long (the run first writes it under a name up to 17 characters longer: \
give a base name at least 11 characters shorter)" errors.txt || fail "$(cat errors.txt)"
  # Its optional inputs' names are longer still: none can exist, so none is given.
  ! "$cases" "$base" 2>errors.txt || fail "kelmarino-cases succeeded"
  grep -q "cases: File name too long (.*give a base name at least 13 characters shorter)" \
    errors.txt || fail "$(cat errors.txt)"
}

# Writing into a pipe whose reader has gone, every program ends with the write error, not by
# SIGPIPE with its new folder left behind; warnings lost with a closed standard error end the run
# with exit status 1 and no folder put in place.
row_closed_pipe_is_an_error() {
  cp "$examples"/pier.* .
  sed 's/2000.0 0.0 0.0 0.0/2000.0 0.0 0.0 0,0/' "$examples/worked.dat" >w.dat  # a warning
  local program status
  for program in "$kelmarino" "$plot" "$cases"; do
    closed_pipe stdout "$program" pier 2>errors.txt
    status=$?
    [ "$status" -eq 1 ] || fail "$program: exit status $status"
    grep -q "run-time error writing the standard output" errors.txt || fail "$(cat errors.txt)"
    closed_pipe stderr "$program" w >/dev/null
    status=$?
    [ "$status" -eq 1 ] || fail "$program, warnings lost: exit status $status"
  done
  [ ! -e w-plots ] && [ ! -e w-cases ] || fail "a folder was put in place"
  nothing_hidden
  for program in "$kelmarino" "$plot" "$cases"; do  # the warning each gives
    "$program" w >/dev/null 2>errors.txt
    grep -q "^warning in w.dat, line 5: the rest of the line" errors.txt || fail "$(cat errors.txt)"
  done
}

# Runs a command with STREAM (stdout or stderr) a pipe whose reader has gone; its exit status.
closed_pipe() {
  /usr/bin/python3 -c 'import os, subprocess, sys
reader, writer = os.pipe()
os.close(reader)
stream = {sys.argv[1]: writer}
sys.exit(subprocess.call(sys.argv[2:], **stream))' "$@"
}

# Out of memory every program ends with a run-time error, never an abort (not under the
# sanitizers, which reserve more address space than the limit).
row_out_of_memory_is_an_error() {
  [ -z "${KELMARINO_SANITIZED:-}" ] || return 0
  cp "$examples/worked.dat" w.dat
  truncate -s 100M w.dat
  every_program_stops "-v 100000" w "run-time error: out of memory"
}

# Two first runs at once: the second, whose target appears while it renames its folder (the
# rename held back by strace), puts its folder in place by the exchange.
row_first_runs_at_once() {
  cp "$examples/worked.dat" w.dat
  ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -e trace=rename,renameat,renameat2 \
    -e inject=rename,renameat,renameat2:delay_enter=1500000:when=1 "$cases" w >/dev/null \
    2>second.txt &
  local second=$!
  sleep 0.5
  "$cases" w >/dev/null || fail "first run: exit status $?"
  wait "$second" || fail "second run: exit status $?: $(cat second.txt)"
  [ -f w-cases/summary.txt ] || fail "no w-cases/summary.txt"
  nothing_hidden
}

# Inputs that are not regular files are refused at once, naming the file; a typed name is read
# within the line-length limit.
row_inputs_refused_without_waiting() {
  cp "$examples/worked.dat" w.dat
  mkfifo p.dat w.pos w.loads.csv
  ln -s /dev/zero z.dat
  cp w.dat c.dat && ln -s gone.csv c.combinations.csv
  ln -s gone.dat d.dat
  head -c 5000000 /dev/zero | tr '\0' x >l.dat
  local run expected output
  while IFS='|' read -r run expected; do
    output=$(eval "timeout 10 $run" 2>&1)
    [[ "$output" == *"$expected"* ]] || fail "$run: $output"
  done <<ROWS
"$kelmarino" -q p|run-time error reading p.dat: a named pipe, not a regular file
"$kelmarino" -q z|run-time error reading z.dat: a character device, not a regular file
"$kelmarino" -q </dev/zero|run-time error in the console input, line 1: the line is longer than
"$kelmarino" -q l|run-time error in l.dat, line 1: the line is longer than 4194304 characters
"$plot" z|kelmarino-plot: run-time error reading z.dat: a character device, not a regular file
"$plot" w|warning: run-time error reading w.pos: a named pipe, not a regular file
"$cases" w|run-time error reading w.loads.csv: a named pipe, not a regular file
"$cases" c|run-time error opening c.combinations.csv: No such file or directory (a link to nothing)
"$kelmarino" -q d|run-time error opening d.dat: No such file or directory (a link to nothing)
"$plot" d|kelmarino-plot: cannot open d.dat: No such file or directory (a link to nothing)
"$cases" d|run-time error opening d.dat: No such file or directory (a link to nothing)
ROWS
}

# Results older than a changed data file, the times made to lie: the stored .pos is checked by
# its values and its difference named.
row_stale_results_named() {
  cp "$examples/worked.dat" w.dat
  "$kelmarino" -q w || fail "exit status $?"
  sed -i 's/^100.0 50.0 2000.0/100.0 50.0 2500.0/' w.dat
  touch -d '-1 hour' w.dat
  "$plot" w >/dev/null 2>errors.txt || fail "exit status $?"
  grep -q "w.pos differs from the analysis of w.dat" errors.txt || fail "$(cat errors.txt)"
}

# A previous folder that cannot be removed (a folder in it the user may not change) is left
# where the warning says, both programs; as root, the runs are made as another user.
row_previous_folder_left_is_said() {
  local as=() program folder
  if [ "$(id -u)" = 0 ]; then
    as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    chmod 777 .
  fi
  if ! "${as[@]}" test -x "$plot"; then
    echo "  skipped: the programs are out of the other user's reach"
    return 0
  fi
  cp "$examples"/pier.* . && chmod 644 pier.*
  for program in "$plot" "$cases"; do
    "${as[@]}" "$program" pier >/dev/null 2>&1 || fail "$program: first run"
  done
  for folder in pier-plots pier-cases; do chmod 555 "$folder"; done
  for program in "$plot" "$cases"; do
    "${as[@]}" "$program" pier >/dev/null 2>errors.txt || fail "$program: exit status $?"
    grep -q "warning: the previous pier-[a-z]* could not be removed (Permission denied): it is left as .pier-[a-z]*.new-[0-9-]*" errors.txt ||
      fail "$program: $(cat errors.txt)"
  done
  chmod -R u+w .
}

# An input reached through a link into the folder a run replaces is refused, not taken away.
row_input_within_the_folder_refused() {
  mkdir w-plots w-cases
  cp "$examples/worked.dat" w-plots/w.dat
  ln -s w-plots/w.dat w.dat
  "$plot" w >/dev/null 2>errors.txt && fail "kelmarino-plot: exit status 0"
  grep -q "w.dat is a file in it (through a link)" errors.txt || fail "$(cat errors.txt)"
  [ -f w-plots/w.dat ] || fail "the data file was taken away"
  mv w-plots/w.dat w-cases/w.dat && ln -sf w-cases/w.dat w.dat
  "$cases" w >/dev/null 2>errors.txt && fail "kelmarino-cases: exit status 0"
  grep -q "w.dat is a file in it (through a link)" errors.txt || fail "$(cat errors.txt)"
  [ -f w-cases/w.dat ] || fail "the data file was taken away"
}

rows=(output_link_replaced signal_removes_new_folder leftovers_removed previous_folder_put_back
      file_size_limit_is_an_error name_too_long_said closed_pipe_is_an_error
      out_of_memory_is_an_error first_runs_at_once inputs_refused_without_waiting
      stale_results_named previous_folder_left_is_said
      input_within_the_folder_refused)
failed=0
for row in "${rows[@]}"; do
  folder=$(mktemp -d)
  if (cd "$folder" && wrong=0 && "row_$row" && exit "$wrong"); then
    echo "ok     $row"
  else
    echo "FAILED $row"
    failed=1
  fi
  rm -rf "$folder"
done
exit "$failed"
